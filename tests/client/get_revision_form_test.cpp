// The "Get revision options" form as the user sees it: its change callback makes the number's label follow the
// Revision/Commit choice, and the choice decides how the sync reads the number.
#include "client/commands/revert_sync_commands.h"
#include "forms/inputs/input_requests.h"
#include "repo/packets_sites.h"
#include "tests/client/file_command_fixture.h"
#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/screenshots.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

using namespace std::chrono_literals;

using get_revision_form_test_t = file_command_test_t;

// Plays the user of the next modal dialog once it is shown and active.
class dialog_player_t
{
public:
  explicit dialog_player_t(std::function<void(QDialog &)> play) : play_(std::move(play))
  {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
      if ( played_ || dialog == nullptr || !dialog->isVisible() || !dialog->isActiveWindow() )
        return;
      played_ = true;
      // From a call of its own: the timer does not fire again while its own call runs.
      QPointer<QDialog> target = dialog;
      QTimer::singleShot(0, dialog, [this, target] {
        if ( target != nullptr )
          play_(*target);
      });
    });
    timer_.start();
  }
  [[nodiscard]] bool played() const { return played_; }

private:
  std::function<void(QDialog &)> play_;
  QTimer timer_;
  bool played_ = false;
};

QRadioButton *radio(QDialog &dialog, const char *text)
{
  for ( QRadioButton *button : dialog.findChildren<QRadioButton *>() )
    if ( button->text().remove(QLatin1Char('&')) == QString::fromLatin1(text) )
      return button;
  return nullptr;
}

// The texts of the dialog's plain labels (the number's label among them).
QStringList label_texts(QDialog &dialog)
{
  QStringList texts;
  for ( QLabel *label : dialog.findChildren<QLabel *>() )
    if ( label->isVisible() )
      texts << label->text().remove(QLatin1Char('&'));
  return texts;
}

TEST_F(get_revision_form_test_t, the_number_label_follows_the_choice_and_commit_mode_syncs_to_a_commit)
{
  // The form goes to the forms library's real dialog.
  ui.handle_code(ui_code_form_dialog, [](va_list args) -> int64_t {
    const char *form = va_arg(args, const char *);
    va_list copy;
    va_copy(copy, *va_arg(args, va_list *));
    const int64_t result = ask_form_request(form, copy);
    va_end(copy);
    return result;
  });
  server.repository().commit_files("bob", "elsewhere", "second", {{"//depot/a.txt", "alpha 2"}});
  test_selection_view_t tree(akui_kind_arkive_files);
  tree.selection = {file_record("//depot/a.txt", SEL_KNOWN, -1, 1, 2)};

  QStringList at_first;
  QStringList after_commit;
  QStringList after_revision;
  QStringList commit_again;
  dialog_player_t player([&](QDialog &dialog) {
    QRadioButton *revision = radio(dialog, "Revision");
    QRadioButton *commit = radio(dialog, "Commit");
    ASSERT_NE(revision, nullptr);
    ASSERT_NE(commit, nullptr);
    at_first = label_texts(dialog);
    save_screenshot(dialog, QStringLiteral("revision_mode"));
    QTest::mouseClick(commit, Qt::LeftButton);
    after_commit = label_texts(dialog);
    save_screenshot(dialog, QStringLiteral("commit_mode"));
    QTest::mouseClick(revision, Qt::LeftButton);
    after_revision = label_texts(dialog);
    // The keyboard reaches the same callback: Commit again, then OK with Return.
    commit->setFocus();
    QTest::keyClick(commit, Qt::Key_Space);
    commit_again = label_texts(dialog);
    save_screenshot(dialog, QStringLiteral("commit_by_key"));
    QTest::keyClick(&dialog, Qt::Key_Return);
  });
  EXPECT_EQ(activate("get_revision_with_options", tree), 1);
  EXPECT_TRUE(player.played());

  EXPECT_TRUE(at_first.contains(QStringLiteral("Revision"))) << at_first.join('|').toStdString();
  EXPECT_FALSE(at_first.contains(QStringLiteral("Commit"))) << at_first.join('|').toStdString();
  EXPECT_TRUE(after_commit.contains(QStringLiteral("Commit"))) << after_commit.join('|').toStdString();
  EXPECT_FALSE(after_commit.contains(QStringLiteral("Revision"))) << after_commit.join('|').toStdString();
  EXPECT_TRUE(after_revision.contains(QStringLiteral("Revision"))) << after_revision.join('|').toStdString();
  EXPECT_TRUE(commit_again.contains(QStringLiteral("Commit"))) << commit_again.join('|').toStdString();

  // Commit mode: the number (the file's last revision, 2, as proposed) is a commit, not a revision.
  auto syncs = requests_of<path_query_packet_t>(SYNC_FILES);
  ASSERT_EQ(syncs.size(), 1u);
  EXPECT_EQ(syncs[0].revision, 2);
  EXPECT_EQ(syncs[0].options, 0);
  ui.handle_code(ui_code_form_dialog, {});
}

} // namespace

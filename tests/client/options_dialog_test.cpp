// The Options dialog, driven as a user drives it: the check boxes clicked, the number typed, OK or Cancel.
#include "client/app/akui_app.h"
#include "client/app/options_dialog.h"
#include "core/registry.h"
#include "tests/client/client_session.h"
#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/screenshots.h"
#include "ui/ui_action_registry.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace std::chrono_literals;

// Runs `act` on the Options dialog once it is shown and active, from inside its modal run.
class options_player_t
{
public:
  explicit options_player_t(std::function<void(QDialog &)> act) : act_(std::move(act))
  {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
      if ( dialog == nullptr || !dialog->isActiveWindow() || done_ )
        return;
      done_ = true;
      timer_.stop();
      act_(*dialog);
    });
    timer_.start();
  }
  [[nodiscard]] bool acted() const { return done_; }

private:
  std::function<void(QDialog &)> act_;
  QTimer timer_;
  bool done_ = false;
};

QCheckBox *check_box(QDialog &dialog, const char *text)
{
  for ( QCheckBox *box : dialog.findChildren<QCheckBox *>() )
    if ( box->text().remove(QLatin1Char('&')).contains(QString::fromLatin1(text)) )
      return box;
  return nullptr;
}

class OptionsDialog : public testing::Test
{
protected:
  void SetUp() override
  {
    akui_app_t &app = *client_session().app;
    app.set_show_deleted_files(false);
    app.set_show_ignored_files(false);
    (void)registry_remove_value(ncommits_value_name, "Config");
    app.refresh_widgets(all_widget_kinds, false);
  }
};

TEST_F(OptionsDialog, OkStoresTheSettingsAndRefreshesTheViews)
{
  akui_app_t &app = *client_session().app;
  options_player_t player([](QDialog &dialog) {
    save_screenshot(dialog, QStringLiteral("shown"));
    QCheckBox *deleted = check_box(dialog, "Show deleted arkive files");
    QCheckBox *ignored = check_box(dialog, "Show ignored local files");
    ASSERT_NE(deleted, nullptr);
    ASSERT_NE(ignored, nullptr);
    QTest::mouseClick(deleted, Qt::LeftButton, {}, deleted->rect().center() - QPoint(deleted->width() / 2 - 5, 0));
    QTest::mouseClick(ignored, Qt::LeftButton, {}, ignored->rect().center() - QPoint(ignored->width() / 2 - 5, 0));
    QLineEdit *number = dialog.findChild<QLineEdit *>();
    ASSERT_NE(number, nullptr);
    number->setFocus();
    number->selectAll();
    QTest::keyClicks(number, QStringLiteral("25"));
    save_screenshot(dialog, QStringLiteral("edited"));
    QTest::keyClick(&dialog, Qt::Key_Return);
  });
  ASSERT_TRUE(trigger_ui_action(find_ui_action("options")));
  ASSERT_TRUE(player.acted());
  EXPECT_TRUE(app.show_deleted_files());
  EXPECT_TRUE(app.show_ignored_files());
  EXPECT_EQ(registry_int("ShowDeletedFiles", false, -9, "Config"), 1);
  EXPECT_EQ(registry_int("ShowIgnoredFiles", false, -9, "Config"), 1);
  EXPECT_EQ(stored_ncommits(), 25);
  // The action's refresh: kinds 0 and 3 (the settings add 0 and 1).
  EXPECT_EQ(app.pending_refresh_mask() & 0x9, 0x9u);
}

TEST_F(OptionsDialog, CancelChangesNothing)
{
  akui_app_t &app = *client_session().app;
  const int32_t stored_deleted = registry_int("ShowDeletedFiles", false, -9, "Config");
  const int32_t stored_ncommits = registry_int(ncommits_value_name, false, -9, "Config");
  options_player_t player([](QDialog &dialog) {
    QCheckBox *deleted = check_box(dialog, "Show deleted arkive files");
    ASSERT_NE(deleted, nullptr);
    QTest::mouseClick(deleted, Qt::LeftButton, {}, deleted->rect().center() - QPoint(deleted->width() / 2 - 5, 0));
    QTest::keyClick(&dialog, Qt::Key_Escape);
  });
  ASSERT_TRUE(trigger_ui_action(find_ui_action("options")));
  ASSERT_TRUE(player.acted());
  EXPECT_FALSE(app.show_deleted_files());
  EXPECT_EQ(registry_int("ShowDeletedFiles", false, -9, "Config"), stored_deleted);
  EXPECT_EQ(registry_int(ncommits_value_name, false, -9, "Config"), stored_ncommits);
}

} // namespace

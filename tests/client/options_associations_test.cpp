// The Options dialog's page of file-extension associations, driven with real mouse and key events against a
// connected client (the list's actions need a connection).
#include "client/app/akui_app.h"
#include "client/app/options_dialog.h"
#include "client/views/file_assocs.h"
#include "core/registry.h"
#include "tests/client/client_session.h"
#include "tests/repo/test_server_client.h"
#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/screenshots.h"
#include "ui/ui_action_registry.h"
#include "views/chooser/chooser_table.h"
#include "views/chooser/chooser_widget.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace {

akui_app_t &app()
{
  return *client_session().app;
}

// Plays the user through the windows that come up one after the other (dialogs, message boxes, popup menus):
// each new window on top gets the next step.
class window_steps_t
{
public:
  using step_t = std::function<void(QWidget &)>;
  explicit window_steps_t(std::vector<step_t> steps) : steps_(std::move(steps))
  {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    timer_.start();
  }
  [[nodiscard]] size_t done() const { return next_; }

private:
  void tick()
  {
    QWidget *top = QApplication::activePopupWidget();
    if ( top == nullptr )
      top = QApplication::activeModalWidget();
    // A step that did not lead on: the windows are closed so that the test ends with its failures.
    if ( top != nullptr && std::chrono::steady_clock::now() - progress_ > std::chrono::seconds(5) )
    {
      ADD_FAILURE() << "stuck before step " << next_;
      if ( auto *dialog = qobject_cast<QDialog *>(top) )
        dialog->reject();
      else
        top->close();
      return;
    }
    if ( top == nullptr || top == last_ || !top->isVisible() || next_ >= steps_.size() )
      return;
    if ( qobject_cast<QMenu *>(top) == nullptr && !top->isActiveWindow() )
      return;
    last_ = top;
    progress_ = std::chrono::steady_clock::now();
    // Run from a call of its own: a step that opens a nested loop (a popup menu) must not block this timer,
    // which Qt never fires again while its own call runs.
    QPointer<QWidget> target = top;
    const size_t index = next_++;
    QTimer::singleShot(0, top, [this, target, index] {
      if ( target != nullptr )
        steps_[index](*target);
    });
  }

  std::vector<step_t> steps_;
  size_t next_ = 0;
  QPointer<QWidget> last_;
  std::chrono::steady_clock::time_point progress_ = std::chrono::steady_clock::now();
  QTimer timer_;
};

chooser_widget_t *association_list(QWidget &dialog)
{
  QTabWidget *tabs = dialog.findChild<QTabWidget *>();
  if ( tabs == nullptr )
    return nullptr;
  QTabBar *bar = tabs->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
  chooser_widget_t *list = dialog.findChild<chooser_widget_t *>();
  if ( list != nullptr )
    (void)pump_until([list] { return list->table_model()->rowCount() > 0; }, std::chrono::seconds(2));
  return list;
}

std::vector<std::string> shown_exts(chooser_widget_t &list)
{
  std::vector<std::string> out;
  const QAbstractItemModel *model = list.table_model();
  for ( int row = 0; row < model->rowCount(); ++row )
    out.push_back(model->index(row, 0).data().toString().toStdString());
  return out;
}

QPushButton *button(QWidget &window, const char *text)
{
  for ( QPushButton *candidate : window.findChildren<QPushButton *>() )
    if ( candidate->isVisible() && candidate->text().remove(QLatin1Char('&')).trimmed() == QString::fromLatin1(text) )
      return candidate;
  return nullptr;
}

void click(QWidget *widget)
{
  ASSERT_NE(widget, nullptr);
  QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

QCheckBox *deleted_files_box(QWidget &dialog)
{
  for ( QCheckBox *box : dialog.findChildren<QCheckBox *>() )
    if ( box->text().remove(QLatin1Char('&')).contains(QStringLiteral("Show deleted arkive files")) )
      return box;
  return nullptr;
}

std::vector<std::string> stored_exts()
{
  const file_assoc_list_t kept = app().file_assocs;
  std::vector<std::string> out;
  if ( load_file_assocs() )
    for ( const file_assoc_t &record : app().file_assocs )
      out.emplace_back(record.ext.c_str());
  app().file_assocs = kept;
  return out;
}

class OptionsAssociations : public test_server_fixture_t
{
protected:
  void SetUp() override
  {
    test_server_fixture_t::SetUp();
    app().set_connection(connect_alice());
    ASSERT_TRUE(app().has_usable_connection());
    app().set_show_deleted_files(false);
  }
  void TearDown() override
  {
    app().set_connection(nullptr);
    app().file_assocs.clear();
    (void)registry_remove_tree(file_assocs_key);
    app().set_show_deleted_files(false);
  }
};

TEST_F(OptionsAssociations, ResetPutsTheDefaultsInAndOkStoresThem)
{
  file_assoc_list_t own(1);
  own[0].ext = "txt";
  own[0].view = "/usr/bin/less";
  save_file_assocs(own);
  std::vector<std::string> before_reset;
  std::vector<std::string> after_reset;
  window_steps_t steps({[&](QWidget &dialog) {
    chooser_widget_t *list = association_list(dialog);
    ASSERT_NE(list, nullptr);
    before_reset = shown_exts(*list);
    save_screenshot(dialog, QStringLiteral("own_list"));
    click(button(dialog, "Reset"));
    (void)pump_until([&] { return shown_exts(*list).size() == 3; }, std::chrono::seconds(2));
    after_reset = shown_exts(*list);
    save_screenshot(dialog, QStringLiteral("after_reset"));
    click(button(dialog, "OK"));
  }});
  ASSERT_TRUE(trigger_ui_action(find_ui_action("options")));
  ASSERT_EQ(steps.done(), 1u);
  EXPECT_EQ(before_reset, (std::vector<std::string> {"txt"}));
  EXPECT_EQ(after_reset, (std::vector<std::string> {"zdb", "z64", "*"}));
  EXPECT_EQ(stored_exts(), (std::vector<std::string> {"zdb", "z64", "*"}));
  ASSERT_EQ(app().file_assocs.size(), 3u);
  EXPECT_STREQ(app().file_assocs[1].ext.c_str(), "z64");
}

TEST_F(OptionsAssociations, WithoutZ64OkWarnsShowsTheEntriesAgainAndCancelKeepsEverything)
{
  file_assoc_list_t defaults;
  set_default_file_assocs(&defaults);
  save_file_assocs(defaults);
  const int32_t stored_deleted = registry_int("ShowDeletedFiles", false, -9, "Config");
  std::string warning;
  std::vector<std::string> after_delete;
  std::vector<std::string> shown_again;
  bool box_again = false;
  window_steps_t steps({
    [&](QWidget &dialog) {
      click(deleted_files_box(dialog));
      chooser_widget_t *list = association_list(dialog);
      ASSERT_NE(list, nullptr);
      chooser_table_widget_t *table = list->table();
      const QRect z64 = table->visualRect(list->table_model()->index(1, 0));
      QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, z64.center());
      QContextMenuEvent menu_request(QContextMenuEvent::Mouse, z64.center(), table->viewport()->mapToGlobal(z64.center()));
      QApplication::sendEvent(table->viewport(), &menu_request);
    },
    [&](QWidget &popup) {
      auto *menu = qobject_cast<QMenu *>(&popup);
      ASSERT_NE(menu, nullptr);
      save_screenshot(popup, QStringLiteral("popup"));
      for ( QAction *action : menu->actions() )
        if ( action->text().remove(QLatin1Char('&')) == QStringLiteral("Delete association...") )
        {
          ASSERT_TRUE(action->isEnabled());
          QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
          return;
        }
      ADD_FAILURE() << "no Delete association entry";
      menu->close();
    },
    [&](QWidget &dialog) {
      chooser_widget_t *list = dialog.findChild<chooser_widget_t *>();
      ASSERT_NE(list, nullptr);
      (void)pump_until([&] { return shown_exts(*list).size() == 2; }, std::chrono::seconds(2));
      after_delete = shown_exts(*list);
      save_screenshot(dialog, QStringLiteral("z64_deleted"));
      click(button(dialog, "OK"));
    },
    [&](QWidget &box) {
      auto *message = qobject_cast<QMessageBox *>(&box);
      ASSERT_NE(message, nullptr);
      warning = message->text().toStdString();
      save_screenshot(box, QStringLiteral("warning"));
      QTest::keyClick(&box, Qt::Key_Return);
    },
    [&](QWidget &dialog) {
      QCheckBox *deleted = deleted_files_box(dialog);
      ASSERT_NE(deleted, nullptr);
      box_again = deleted->isChecked();
      chooser_widget_t *list = association_list(dialog);
      ASSERT_NE(list, nullptr);
      shown_again = shown_exts(*list);
      save_screenshot(dialog, QStringLiteral("shown_again"));
      click(button(dialog, "Cancel"));
    },
  });
  ASSERT_TRUE(trigger_ui_action(find_ui_action("options")));
  EXPECT_EQ(steps.done(), 5u);
  EXPECT_EQ(after_delete, (std::vector<std::string> {"zdb", "*"}));
  EXPECT_EQ(warning, "No application is defined for 'z64' files.\nPlease add it in View, Options, File associatations");
  EXPECT_TRUE(box_again);
  EXPECT_EQ(shown_again, (std::vector<std::string> {"zdb", "*"}));
  // Cancel: the stored list and every setting as before.
  EXPECT_EQ(stored_exts(), (std::vector<std::string> {"zdb", "z64", "*"}));
  ASSERT_EQ(app().file_assocs.size(), 3u);
  EXPECT_FALSE(app().show_deleted_files());
  EXPECT_EQ(registry_int("ShowDeletedFiles", false, -9, "Config"), stored_deleted);
}

} // namespace

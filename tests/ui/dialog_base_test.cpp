// Dialog base: remembered geometry per title, parent rule, modal-run time, focus restore, imported actions.
#include "ui/dialog_base.h"

#include "tests/ui/app/test_app.h"
#include "ui/ui_action_registry.h"

#include <QAction>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string_view>

namespace {

// Runs the dialog modally; `inside` runs once the modal loop is up, then the dialog is accepted.
int exec_with(ui_dialog_t &dialog, const std::function<void()> &inside)
{
  QTimer::singleShot(0, &dialog, [&] {
    inside();
    dialog.accept();
  });
  return dialog.exec();
}

TEST(DialogBase, GeometryIsRememberedPerTitleAndNotForAnEmptyTitle)
{
  struct row_t
  {
    QString title;
    QSize first_size;
    bool remembered;
  };
  const row_t rows[] = {
    {"Remembered geometry", QSize(333, 222), true},
    {"Another remembered title", QSize(301, 207), true},
    {"", QSize(345, 234), false},
  };
  for ( const row_t &row : rows )
  {
    ui_dialog_t first;
    first.setWindowTitle(row.title);
    exec_with(first, [&] { first.resize(row.first_size); });

    // A second dialog of the same title starts where the first one ended.
    ui_dialog_t second;
    second.setWindowTitle(row.title);
    second.resize(120, 90);
    QSize seen;
    exec_with(second, [&] { seen = second.size(); });
    EXPECT_EQ(seen == row.first_size, row.remembered) << row.title.toStdString();
  }
  // The two titles keep their own entries.
  ui_dialog_t again;
  again.setWindowTitle("Remembered geometry");
  QSize seen;
  exec_with(again, [&] { seen = again.size(); });
  EXPECT_EQ(seen, QSize(333, 222));
}

TEST(DialogBase, KeepsOnlyAVisibleParentAndRecordsTheRunStart)
{
  QWidget parent;
  ui_dialog_t over_hidden(&parent);
  EXPECT_EQ(over_hidden.parentWidget(), nullptr);
  parent.show();
  ui_dialog_t over_visible(&parent);
  EXPECT_EQ(over_visible.parentWidget(), &parent);
  ui_dialog_t without(nullptr);
  EXPECT_EQ(without.parentWidget(), nullptr);

  EXPECT_EQ(over_visible.exec_start_time(), 0);
  const int64_t before = monotonic_ns();
  int64_t during = 0;
  exec_with(over_visible, [&] { during = monotonic_ns(); });
  EXPECT_GE(over_visible.exec_start_time(), before);
  EXPECT_LE(over_visible.exec_start_time(), during);
}

TEST(DialogBase, ExecControlGivesTheFocusBackUnlessTheWidgetDied)
{
  QWidget window;
  auto *first = new QLineEdit(&window);
  auto *second = new QLineEdit(&window);
  second->move(0, 40);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  first->setFocus();
  QApplication::processEvents();
  ASSERT_EQ(QApplication::focusWidget(), first);

  ui_widget_factory_t *factory = test_app().get_widget_factory();
  for ( const int32_t flags : {1, 0} )
  {
    first->setFocus();
    std::unique_ptr<ui_dialog_exec_ctl_t> control(factory->new_dialog_exec_ctl(flags));
    second->setFocus();
    factory->delete_owned_object(control.release());
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), flags == 1 ? static_cast<QWidget *>(first) : second) << flags;
  }

  // The remembered widget is destroyed during the run: releasing the control touches nothing.
  QPointer<QLineEdit> doomed = new QLineEdit(&window);
  doomed->show();
  doomed->setFocus();
  QApplication::processEvents();
  ASSERT_EQ(QApplication::focusWidget(), doomed.data());
  std::unique_ptr<ui_dialog_exec_ctl_t> control(factory->new_dialog_exec_ctl(1));
  second->setFocus();
  delete doomed.data();
  factory->delete_owned_object(control.release());
  QApplication::processEvents();
  EXPECT_EQ(QApplication::focusWidget(), second);
}

// Takes in the actions whose names start with "dialog.".
class importing_dialog_t : public ui_dialog_t
{
public:
  bool accepts_imported_action(ui_action_t *action) const override
  {
    return std::string_view(action->name().c_str()).substr(0, 7) == "dialog.";
  }
};

class ignoring_handler_t : public action_handler_t
{
public:
  int activate(ui_action_activation_ctx_t *) override { return 1; }
  int update(ui_action_update_ctx_t *) override { return ACTION_STATE_ENABLED; }
};

TEST(DialogBase, ImportedActionsKeepTheirShortcutsInsideTheDialog)
{
  ui_action_registry_t &registry = *test_app().get_action_registry();
  registry.clear();
  ignoring_handler_t handler;
  const auto add = [&](const char *name, const char *shortcut) {
    ui_action_desc_t desc;
    desc.name = name;
    desc.label = name;
    desc.handler = &handler;
    desc.owner = &handler;
    desc.shortcut = shortcut;
    std::unique_ptr<ui_action_t> action = registry.add_action(desc);
    ui_action_t *raw = action.get();
    EXPECT_TRUE(registry.insert_action(&action)) << name;
    return raw;
  };
  ui_action_t *accepted = add("dialog.accepted", "Ctrl-Shift-F5");
  ui_action_t *refused = add("other.refused", "Ctrl-Shift-F6");
  QSignalSpy accepted_spy(accepted->qaction(), &QAction::triggered);
  QSignalSpy refused_spy(refused->qaction(), &QAction::triggered);

  struct row_t
  {
    bool importing;
    int accepted_runs;
  };
  for ( const row_t row : {row_t {false, 0}, row_t {true, 1}} )
  {
    accepted_spy.clear();
    refused_spy.clear();
    std::unique_ptr<ui_dialog_t> dialog = row.importing ? std::make_unique<importing_dialog_t>()
                                                        : std::make_unique<ui_dialog_t>();
    dialog->import_actions();
    exec_with(*dialog, [&] {
      dialog->activateWindow();
      EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
      QTest::keyClick(dialog.get(), Qt::Key_F5, Qt::ControlModifier | Qt::ShiftModifier);
      QTest::keyClick(dialog.get(), Qt::Key_F6, Qt::ControlModifier | Qt::ShiftModifier);
    });
    EXPECT_EQ(accepted_spy.count(), row.accepted_runs) << row.importing;
    EXPECT_EQ(refused_spy.count(), 0) << row.importing;
  }
  registry.clear();
}

} // namespace

// The modal chooser dialog driven by real keys and clicks: what OK, Escape and the hosted widget hiding answer,
// the chooser's shortcuts inside it, and its Search button.
#include "tests/ui/app/screenshots.h"
#include "tests/views/chooser_test_support.h"
#include "tests/views/form_request_player.h"
#include "views/chooser/chooser_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

namespace {

using rows_t = std::vector<uint64_t>;

class ChooserDialog : public docked_chooser_fixture_t
{
protected:
  // Runs `play` on the dialog once it shows (it must end it), while the source opens modally with the default
  // rows; answers what open_chooser answered.
  template <typename Source, typename Default>
  int64_t run_modal(Source *source, const Default *default_selection, std::function<void(TChooserDialog *)> play)
  {
    source->flags |= chooser_modal;
    QTimer::singleShot(0, [play] {
      auto *dialog = qobject_cast<TChooserDialog *>(QApplication::activeModalWidget());
      if ( dialog == nullptr )
        return;
      (void)QTest::qWaitForWindowExposed(dialog);
      settle();
      play(dialog);
      // A player that failed half-way must not leave the test waiting.
      if ( dialog->isVisible() )
        dialog->reject();
    });
    return source->open_chooser(default_selection);
  }
  static void press(TChooserDialog *dialog, int key, Qt::KeyboardModifiers modifiers = {})
  {
    QTest::keyClick(dialog->chooser_widget()->table(), Qt::Key(key), modifiers);
    settle();
  }
};

TEST_F(ChooserDialog, OkAnswersTheFirstSelectedRowAndEscapeNothing)
{
  struct case_t
  {
    const char *name;
    std::vector<std::pair<int, Qt::KeyboardModifiers>> keys;
    int64_t answer;
  };
  const case_t cases[] = {
    {"the default row", {{Qt::Key_Return, {}}}, 1},
    {"moved down twice", {{Qt::Key_Down, {}}, {Qt::Key_Down, {}}, {Qt::Key_Enter, {}}}, 3},
    {"the first of several", {{Qt::Key_Down, {}}, {Qt::Key_Down, Qt::ShiftModifier}, {Qt::Key_Return, {}}}, 2},
    {"Escape", {{Qt::Key_Down, {}}, {Qt::Key_Escape, {}}}, chooser_nothing_chosen},
  };
  for ( const case_t &c : cases )
  {
    bool alive = true;
    auto *list = new test_multi_list_t(numbered_rows(6), c.name, chooser_multi_select);
    list->alive = &alive;
    const qvector<uint64_t> second {1};
    bool shown = false;
    const int64_t answer = run_modal(list, &second, [&](TChooserDialog *dialog) {
      shown = dialog->chooser_widget()->isVisible();
      EXPECT_EQ(dialog->windowTitle(), QString(c.name));
      EXPECT_EQ(dialog->windowFlags() & Qt::WindowContextHelpButtonHint, Qt::WindowFlags {});
      EXPECT_NE(dialog->windowFlags() & Qt::WindowMaximizeButtonHint, Qt::WindowFlags {});
      EXPECT_EQ(dialog->chooser_widget()->size(), dialog->size());
      for ( const auto &[key, modifiers] : c.keys )
        press(dialog, key, modifiers);
      EXPECT_FALSE(dialog->isVisible()) << c.name;
    });
    EXPECT_TRUE(shown) << c.name;
    EXPECT_EQ(answer, c.answer) << c.name;
    EXPECT_FALSE(alive) << c.name << ": the source goes with the dialog";
    EXPECT_TRUE(live_chooser_widgets().empty()) << c.name;
  }

  // A single-selection list answers its row alike; OK clicked with the mouse.
  auto *single = new test_single_list_t(numbered_rows(4), "Single");
  const int64_t third = 2;
  EXPECT_EQ(run_modal(single, &third, [](TChooserDialog *dialog) {
              save_screenshot(*dialog, "modal-chooser");
              QTest::mouseClick(dialog->chooser_widget()->search_box()->button(QDialogButtonBox::Ok), Qt::LeftButton);
            }),
            2);
}

TEST_F(ChooserDialog, HidingTheHostedWidgetEndsTheDialogWithZero)
{
  chooser_widget_t *widget = make_widget(new test_multi_list_t(numbered_rows(3), "Hidden"));
  TChooserDialog dialog(widget);
  QTimer::singleShot(0, widget, [widget] { widget->hide(); });
  dialog.setResult(7);
  EXPECT_EQ(dialog.exec(), 0);
  EXPECT_EQ(widget->accepted(), 0);

  // Through open_chooser nothing was accepted, so nothing is chosen.
  auto *list = new test_multi_list_t(numbered_rows(3), "Hidden list");
  const qvector<uint64_t> first {0};
  EXPECT_EQ(run_modal(list, &first, [](TChooserDialog *d) { d->chooser_widget()->hide(); }), chooser_nothing_chosen);
}

TEST_F(ChooserDialog, OnlyTheChoosersShortcutsWorkInside)
{
  set_action_shortcuts("DirTreeResetFilters", qvector<qstring> {qstring("Ctrl+K")}, false);
  QSignalSpy other(find_ui_action("DirTreeResetFilters")->qaction(), &QAction::triggered);
  auto *list = new test_multi_list_t(numbered_rows(5), "Shortcuts", chooser_can_insert);
  const qvector<uint64_t> second {1};
  std::vector<std::string> calls;
  (void)run_modal(list, &second, [&](TChooserDialog *dialog) {
    const QList<QAction *> actions = dialog->actions();
    EXPECT_TRUE(actions.contains(find_ui_action(chooser_insert_action)->qaction()));
    EXPECT_FALSE(actions.contains(find_ui_action("DirTreeResetFilters")->qaction()));
    press(dialog, Qt::Key_K, Qt::ControlModifier);
    press(dialog, Qt::Key_Insert);
    calls = list->calls;
    press(dialog, Qt::Key_Escape);
  });
  EXPECT_EQ(other.count(), 0);
  EXPECT_NE(std::find(calls.begin(), calls.end(), "insert 1"), calls.end());
}

TEST_F(ChooserDialog, SearchButtonFindsARow)
{
  auto *list = new test_multi_list_t(numbered_rows(8, "item "), "Searching");
  const qvector<uint64_t> first {0};
  ui.script_form(form_dialog_player([](hosted_form_t &form) {
    QLineEdit *line = form.control<QComboBox>('q')->lineEdit();
    QTest::keyClicks(line, "item 5");
    QTest::keyClick(line, Qt::Key_Return);
  }));
  const int64_t answer = run_modal(list, &first, [](TChooserDialog *dialog) {
    QPushButton *search = nullptr;
    for ( QAbstractButton *button : dialog->chooser_widget()->search_box()->buttons() )
      if ( button->text() == "Search" )
        search = qobject_cast<QPushButton *>(button);
    ASSERT_NE(search, nullptr);
    QTest::mouseClick(search, Qt::LeftButton);
    settle();
    EXPECT_EQ(current_row(dialog->chooser_widget()), 5);
    press(dialog, Qt::Key_Return);
  });
  EXPECT_EQ(answer, 5);
}

} // namespace

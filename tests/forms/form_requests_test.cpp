// Form requests (UI callback code 30) answered by the form dialog: results with and without a No button, the
// values written back, AUTOSYNC, closing from the title bar, geometry per form text, refused and broken forms.
#include "forms/form_widget.h"
#include "forms/inputs/form_dialog.h"
#include "forms/inputs/input_requests.h"

#include "core/ui_callback.h"
#include "tests/forms/chooser_double.h"
#include "tests/forms/form_test_support.h"
#include "tests/forms/modal_player.h"
#include "tests/forms/support/dialog_dispatcher.h"
#include "tests/support/interr_capture.h"
#include "tests/ui/app/test_actions.h"
#include "tests/ui/app/test_app.h"
#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QCheckBox>
#include <QVBoxLayout>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

class FormRequests : public ::testing::Test
{
protected:
  void SetUp() override { test_app().reset_test_state(); }

  recording_ui_callback_t ui;
  dialog_dispatcher_t dispatcher {ui};
};

// The live form widgets.
size_t live_form_count()
{
  size_t count = 0;
  for ( QWidget *widget : QApplication::allWidgets() )
    if ( qobject_cast<form_widget_t *>(widget) != nullptr )
      ++count;
  return count;
}

void settle()
{
  for ( int i = 0; i < 3; ++i )
  {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
  }
}

QPushButton *dialog_button(ui_form_dialog_t &dialog, QDialogButtonBox::StandardButton which)
{
  QDialogButtonBox *box = dialog.form()->button_box();
  return box != nullptr ? box->button(which) : nullptr;
}

QComboBox *first_combo(ui_form_dialog_t &dialog)
{
  for ( const form_control_t &control : dialog.form()->controls() )
    if ( auto *combo = qobject_cast<QComboBox *>(control.widget) )
      return combo;
  return nullptr;
}

// A close as the window system sends it when the title bar's close button is clicked.
void close_from_title_bar(QWidget &window)
{
  QCloseEvent close;
  QCoreApplication::sendEvent(window.windowHandle(), &close);
}

TEST_F(FormRequests, ResultsFollowTheButtonsWithAndWithoutANoButton)
{
  const char *without_no = "Rename\n\n<~N~ame:q:0:20::>\n";
  const char *with_no = "BUTTON NO ~D~iscard\nSave changes\n\n<~N~ame:q:0:20::>\n";
  using act_t = std::function<void(ui_form_dialog_t &)>;
  const auto click = [](QDialogButtonBox::StandardButton which) -> act_t {
    return [which](ui_form_dialog_t &d) { QTest::mouseClick(dialog_button(d, which), Qt::LeftButton); };
  };
  const act_t yes = click(QDialogButtonBox::Yes);
  const act_t no = click(QDialogButtonBox::No);
  const act_t cancel = click(QDialogButtonBox::Cancel);
  const act_t escape = [](ui_form_dialog_t &d) { press_key(d, Qt::Key_Escape); };
  const act_t enter = [](ui_form_dialog_t &d) { press_key(d, Qt::Key_Return); };
  const act_t title_bar = [](ui_form_dialog_t &d) { close_from_title_bar(d); };
  const act_t mnemonic = [](ui_form_dialog_t &d) {
    // The mnemonic of a dialog button without Alt, from a control that does not take the letter.
    dialog_button(d, QDialogButtonBox::Cancel)->setFocus();
    press_key(d, Qt::Key_D);
  };
  struct row_t
  {
    const char *what;
    const char *form;
    act_t act;
    int result;
    const char *value; // the variable afterwards
  };
  const row_t rows[] = {
    {"OK", without_no, yes, 1, "typed"},
    {"Return in the field", without_no, enter, 1, "typed"},
    {"Cancel", without_no, cancel, 0, "old"},
    {"Escape", without_no, escape, 0, "old"},
    {"title bar", without_no, title_bar, 0, "old"},
    {"Yes beside No", with_no, yes, 1, "typed"},
    {"No", with_no, no, 0, "old"},
    {"No by its mnemonic", with_no, mnemonic, 0, "old"},
    {"Cancel beside No", with_no, cancel, -1, "old"},
    {"Escape beside No", with_no, escape, -1, "old"},
    {"title bar beside No", with_no, title_bar, -1, "old"},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.what);
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the form", [&](ui_form_dialog_t &dialog) {
      EXPECT_FALSE(dialog.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
      QComboBox *combo = first_combo(dialog);
      ASSERT_NE(combo, nullptr);
      EXPECT_TRUE(combo->lineEdit()->hasFocus());
      QTest::keyClick(combo->lineEdit(), Qt::Key_A, Qt::ControlModifier);
      QTest::keyClicks(combo->lineEdit(), "typed");
      row.act(dialog);
    });
    qstring name = "old";
    EXPECT_EQ(form_dialog_printf(row.form, &name), row.result);
    EXPECT_EQ(name, row.value);
  }
  settle();
  EXPECT_EQ(live_form_count(), 0u) << "each dialog goes with its form";
}

TEST_F(FormRequests, NullAndBrokenFormsAnswerZeroAndLeaveNoWidget)
{
  settle();
  const size_t before = live_form_count();
  modal_player_t no_dialog;
  qstring value;
  EXPECT_EQ(form_dialog_printf(nullptr), 0);
  struct row_t
  {
    const char *what;
    const char *form;
  };
  const row_t rows[] = {
    {"no body", "Only a title\n"},
    {"field without '>'", "Title\n\n<Name:q:0:20::\n"},
    {"unknown field letter", "Title\n\n<Name:W:0:20::>\n"},
    {"duplicate ids", "Title\n\n<A:q1:0:20::>\n<B:q1:0:20::>\n"},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.what);
    ui.clear();
    qstring second;
    EXPECT_EQ(form_dialog_printf(row.form, &value, &second), 0);
    EXPECT_EQ(recorded_warnings(ui).size(), 1u) << "the form compiler reports it";
    settle();
    EXPECT_EQ(live_form_count(), before);
  }
}

// The callback of the AUTOSYNC rows: at Yes it overwrites the variable the field wrote.
qstring *synced_variable = nullptr;
std::string seen_at_yes;
int overwrite_at_yes(int id, form_actions_t &)
{
  if ( id == form_code_yes )
  {
    seen_at_yes = synced_variable->c_str();
    *synced_variable = "set by the callback";
  }
  return 1;
}

TEST_F(FormRequests, AutosyncWritesTheValuesBeforeYesAndNotAgain)
{
  struct row_t
  {
    const char *what;
    const char *form;
    const char *seen_at_yes;
    const char *value;
  };
  const row_t rows[] = {
    {"AUTOSYNC: the callback sees the typed text and keeps its own", "AUTOSYNC\nSync\n%/\n<~N~ame:q:0:20::>\n", "typed",
     "set by the callback"},
    {"without: the dialog writes the fields after the callback", "Sync\n%/\n<~N~ame:q:0:20::>\n", "old", "typed"},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.what);
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the form", [](ui_form_dialog_t &dialog) {
      QTest::keyClick(dialog.focusWidget(), Qt::Key_A, Qt::ControlModifier);
      QTest::keyClicks(dialog.focusWidget(), "typed");
      QTest::mouseClick(dialog_button(dialog, QDialogButtonBox::Yes), Qt::LeftButton);
    });
    qstring name = "old";
    synced_variable = &name;
    EXPECT_EQ(form_dialog_printf(row.form, &overwrite_at_yes, &name), 1);
    EXPECT_EQ(seen_at_yes, row.seen_at_yes);
    EXPECT_EQ(name, row.value);
  }
}

TEST_F(FormRequests, AValueThatDoesNotConvertKeepsTheDialogOpen)
{
  modal_player_t player;
  player.on_next<ui_form_dialog_t>("the number form", [this](ui_form_dialog_t &dialog) {
    QComboBox *combo = first_combo(dialog);
    ASSERT_NE(combo, nullptr);
    QTest::keyClick(combo->lineEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(combo->lineEdit(), "many");
    QTest::mouseClick(dialog_button(dialog, QDialogButtonBox::Yes), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(recorded_warnings(ui).size(), 1u);
    QTest::keyClick(combo->lineEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(combo->lineEdit(), "12");
    QTest::mouseClick(dialog_button(dialog, QDialogButtonBox::Yes), Qt::LeftButton);
  });
  int64_t count = 3;
  EXPECT_EQ(form_dialog_printf("Copies\n\n<~C~ount:D:10:10::>\n", &count), 1);
  EXPECT_EQ(count, 12);
}

// The callback of the title-bar rows: refuses to close while `refuse` is set.
bool refuse_close = false;
int closings = 0;
int refusing_callback(int id, form_actions_t &)
{
  if ( id != form_code_closing )
    return 1;
  ++closings;
  return refuse_close ? 0 : 1;
}

TEST_F(FormRequests, AFormThatRefusesToCloseKeepsItsDialogOpen)
{
  modal_player_t player;
  player.on_next<ui_form_dialog_t>("the form", [](ui_form_dialog_t &dialog) {
    refuse_close = true;
    close_from_title_bar(dialog);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(closings, 1);
    refuse_close = false;
    close_from_title_bar(dialog);
  });
  closings = 0;
  qstring name;
  EXPECT_EQ(form_dialog_printf("Busy\n%/\n<~N~ame:q:0:20::>\n", &refusing_callback, &name), 0);
  EXPECT_EQ(closings, 2);
}

TEST_F(FormRequests, EachFormTextKeepsItsOwnGeometry)
{
  // Geometries are remembered for the whole process: each run of the test has texts of its own.
  static int runs = 0;
  const std::string title = "Sized " + std::to_string(++runs);
  const std::string form_text = title + "\n\n<#a#~N~ame:q:0:20::>\n";
  const std::string other_text = title + "\n\n<#b#~N~ame:q:0:20::>\n"; // one character of a tooltip differs
  const char *form = form_text.c_str();
  const char *other = other_text.c_str();
  const QSize chosen(640, 420);
  QSize natural;
  auto run = [&](const char *text, const std::function<void(ui_form_dialog_t &)> &act) {
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the form", [&](ui_form_dialog_t &dialog) {
      act(dialog);
      press_key(dialog, Qt::Key_Escape);
    });
    qstring name;
    EXPECT_EQ(form_dialog_printf(text, &name), 0);
  };
  run(form, [&](ui_form_dialog_t &dialog) {
    natural = dialog.size();
    ASSERT_NE(natural, chosen);
    dialog.resize(chosen);
    EXPECT_EQ(dialog.form()->size(), chosen) << "the form fills the dialog";
  });
  run(form, [&](ui_form_dialog_t &dialog) { EXPECT_EQ(dialog.size(), chosen); });
  run(other, [&](ui_form_dialog_t &dialog) { EXPECT_EQ(dialog.size(), natural); });
}

TEST_F(FormRequests, HidingAFieldResizesTheDialogToTheForm)
{
  modal_player_t player;
  player.on_next<ui_form_dialog_t>("the proxy form", [](ui_form_dialog_t &dialog) {
    const QSize with_fields = dialog.size();
    QCheckBox *box = dialog.findChild<QCheckBox *>();
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box, Qt::LeftButton); // hides the fields below
    EXPECT_TRUE(pump_until([&] { return dialog.size().height() < with_fields.height(); }));
    EXPECT_EQ(dialog.size(), dialog.form()->sizeHint());
    EXPECT_EQ(dialog.minimumSize(), dialog.form()->sizeHint());
    press_key(dialog, Qt::Key_Escape);
  });
  const auto hide_when_unticked = [](int id, form_actions_t &actions) {
    uint16_t boxes = 0;
    if ( id == form_code_ready || id == 1 )
      if ( actions.read_field_value(1, &boxes) )
        for ( const int field : {2, 3, 4} )
          actions.show_field(field, boxes != 0);
    return 1;
  };
  uint16_t boxes = 1;
  qstring a;
  qstring b;
  qstring c;
  EXPECT_EQ(form_dialog_printf("Toggle\n%/\n<~M~ore:c1>>\n<A:q2:0:20::>\n<B:q3:0:20::>\n<C:q4:0:20::>\n",
                               form_callback_t(hide_when_unticked), &boxes, &a, &b, &c),
            0);
}

TEST_F(FormRequests, AResultOutsideTheButtonsIsAnInternalErrorAndTheFocusComesBack)
{
  QWidget window;
  auto *layout = new QVBoxLayout(&window);
  auto *edit = new QLineEdit;
  auto *other = new QLineEdit;
  layout->addWidget(edit);
  layout->addWidget(other);
  window.show();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  edit->setFocus();
  modal_player_t player;
  player.on_next<ui_form_dialog_t>("the form", [&](ui_form_dialog_t &dialog) {
    other->setFocus(); // the window's focus moves while the dialog runs
    dialog.done(7);
  });
  qstring name;
  EXPECT_EQ(interr_number([&] { (void)form_dialog_printf("Odd\n\n<~N~ame:q:0:20::>\n", &name); }), 40260);
  EXPECT_EQ(window.focusWidget(), edit) << "the exec control was released on the way out";
  settle();
  EXPECT_EQ(live_form_count(), 0u);
}

TEST_F(FormRequests, AFormWithAnEmbeddedListTakesInTheListsActions)
{
  ui_action_registry_t &registry = *test_app().get_action_registry();
  registry.clear();
  idle_action_handler_t handler;
  const auto add = [&](const char *name, const char *shortcut) -> QAction * {
    EXPECT_TRUE(register_plain_action(name, name, &handler, &handler)) << name;
    ui_action_t *action = registry.find_action(name);
    EXPECT_TRUE(action->apply_property(ACTION_PROP_SHORTCUTS, shortcut)) << name;
    return action->qaction();
  };
  QSignalSpy list_action(add("ChooserSortRows", "Ctrl-Shift-F5"), &QAction::triggered);
  QSignalSpy other_action(add("SortRows", "Ctrl-Shift-F6"), &QAction::triggered);

  struct row_t
  {
    const char *what;
    const char *form;
    int list_runs;
  };
  const row_t rows[] = {
    {"with a list", "Pick\n\n<~R~ows:E3::::>\n", 1},
    {"without", "Pick\n\n<~N~ame:q:0:20::>\n", 0},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.what);
    list_action.clear();
    other_action.clear();
    modal_player_t player;
    player.on_next<ui_form_dialog_t>("the form", [](ui_form_dialog_t &dialog) {
      QTest::keyClick(&dialog, Qt::Key_F5, Qt::ControlModifier | Qt::ShiftModifier);
      QTest::keyClick(&dialog, Qt::Key_F6, Qt::ControlModifier | Qt::ShiftModifier);
      press_key(dialog, Qt::Key_Escape);
    });
    double_chooser_t chooser;
    qvector<uint64_t> selection;
    qstring name;
    if ( row.list_runs != 0 )
      EXPECT_EQ(form_dialog_printf(row.form, &chooser, &selection), 0);
    else
      EXPECT_EQ(form_dialog_printf(row.form, &name), 0);
    EXPECT_EQ(list_action.count(), row.list_runs);
    EXPECT_EQ(other_action.count(), 0);
  }
  registry.clear();
}

} // namespace

// The form widget's keys and callback protocol, driven with real key and mouse events.
#include "forms/form_widget.h"

#include "tests/forms/form_widget_fixture.h"
#include "tests/ui/dock_test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace {

// What the callbacks of these tests saw. One test at a time uses it.
struct seen_t
{
  std::vector<int> codes;
  int handler_calls = 0;
  int answer = 1;
  int64_t number_at_yes = 0;
  int64_t *number = nullptr;
};
seen_t seen;

int recording_callback(int id, form_actions_t &)
{
  seen.codes.push_back(id);
  if ( id == form_code_yes && seen.number != nullptr )
    seen.number_at_yes = *seen.number;
  return id == form_code_closing || id == form_code_cancel || id == form_code_yes ? seen.answer : 1;
}

int counting_handler(int, form_actions_t &)
{
  ++seen.handler_calls;
  return 0;
}

// Writes its own field whenever that field changes.
int rewriting_callback(int id, form_actions_t &actions)
{
  seen.codes.push_back(id);
  if ( id == 5 )
  {
    qstring fixed("fixed");
    EXPECT_TRUE(actions.write_field_value(5, &fixed));
  }
  return 1;
}


class form_keys : public ::testing::Test
{
protected:
  void SetUp() override { seen = seen_t(); }
  recording_ui_callback_t ui_;
};

TEST_F(form_keys, mnemonic_letters_without_alt_click_buttons_and_move_to_buddies)
{
  uint16_t flag = 0;
  qstring name;
  hosted_form_t hosted;
  ASSERT_TRUE(hosted.compile("Keys\n<~F~lag:c>>\n<~N~ame:q::10::>\n<~P~ress:B::>",
                             {arg_mask(&flag), arg_string(&name), arg_handler(&counting_handler)}));
  ASSERT_TRUE(hosted.show());
  auto *check = hosted.control<QCheckBox>('C');
  auto *combo = hosted.control<QComboBox>('q');
  ASSERT_TRUE(check && combo);
  check->setFocus();
  QTest::keyClick(check, Qt::Key_P);
  QTest::qWait(250);
  EXPECT_EQ(seen.handler_calls, 1) << "the button was clicked";
  check->setFocus();
  QTest::keyClick(check, Qt::Key_N);
  EXPECT_TRUE(combo->lineEdit()->hasFocus() || combo->hasFocus()) << "the label moved the focus to its field";
  QTest::keyClick(combo->lineEdit(), Qt::Key_P);
  QTest::qWait(250);
  EXPECT_EQ(seen.handler_calls, 1) << "a field that takes the letter keeps it";
  EXPECT_EQ(combo->currentText(), "p");
}

TEST_F(form_keys, escape_presses_cancel_and_asks_the_callback)
{
  uint16_t flag = 0;
  hosted_form_t hosted;
  ASSERT_TRUE(hosted.compile("Esc\n%/<~F~lag:c>>", {arg_callback(&recording_callback), arg_mask(&flag)}));
  ASSERT_TRUE(hosted.show());
  hosted.control('C')->setFocus();
  seen.answer = 0;
  QTest::keyClick(hosted.control('C'), Qt::Key_Escape);
  QTest::qWait(250);
  EXPECT_TRUE(hosted.dialog->isVisible()) << "the callback said no";
  seen.answer = 1;
  QTest::keyClick(hosted.control('C'), Qt::Key_Escape);
  QTest::qWait(250);
  EXPECT_FALSE(hosted.dialog->isVisible());
  EXPECT_EQ(hosted.dialog->result(), QDialog::Rejected);
  EXPECT_EQ(seen.codes, (std::vector<int> {form_code_cancel, form_code_cancel}));
}

TEST_F(form_keys, return_in_an_input_combo_acts_as_ok_with_autosync_and_without_a_yes_button)
{
  int64_t number = 1;
  seen.number = &number;
  hosted_form_t hosted;
  ASSERT_TRUE(hosted.compile("AUTOSYNC\nBUTTON YES NONE\nReturn\n%/<~N~umber:D::10::>",
                             {arg_callback(&recording_callback), arg_number(&number)}));
  EXPECT_EQ(hosted.dialog_button(QDialogButtonBox::Yes), nullptr);
  ASSERT_TRUE(hosted.show());
  auto *combo = hosted.control<QComboBox>('D');
  combo->lineEdit()->selectAll();
  QTest::keyClicks(combo->lineEdit(), "42");
  QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
  EXPECT_EQ(hosted.dialog->result(), QDialog::Accepted);
  EXPECT_EQ(seen.number_at_yes, 42) << "the values were written before the callback saw -2";
  EXPECT_EQ(seen.codes.back(), form_code_yes);
}

TEST_F(form_keys, a_value_that_does_not_read_keeps_the_form_open_and_takes_the_focus)
{
  int64_t number = 1;
  qstring other;
  hosted_form_t hosted;
  ASSERT_TRUE(hosted.compile("AUTOSYNC\nBad\n%/<~O~ther:q::10::>\n<~N~umber:D::10::>",
                             {arg_callback(&recording_callback), arg_string(&other), arg_number(&number)}));
  ASSERT_TRUE(hosted.show());
  auto *combo = hosted.control<QComboBox>('D');
  combo->lineEdit()->selectAll();
  QTest::keyClicks(combo->lineEdit(), "abc");
  QTest::mouseClick(hosted.dialog_button(QDialogButtonBox::Yes), Qt::LeftButton);
  EXPECT_TRUE(hosted.dialog->isVisible());
  EXPECT_EQ(number, 1);
  EXPECT_TRUE(combo->hasFocus() || combo->lineEdit()->hasFocus());
  EXPECT_EQ(recorded_warnings(ui_), std::vector<std::string> {"Failed to parse value representation 'abc'"});
  EXPECT_EQ(std::count(seen.codes.begin(), seen.codes.end(), int(form_code_yes)), 0);
}

TEST_F(form_keys, a_callback_writing_its_own_field_is_not_called_again)
{
  qstring text;
  hosted_form_t hosted;
  ASSERT_TRUE(hosted.compile("Rewrite\n%/<~T~ext:q5::10::>", {arg_callback(&rewriting_callback), arg_string(&text)}));
  ASSERT_TRUE(hosted.show());
  auto *combo = hosted.control<QComboBox>('q');
  QTest::keyClick(combo->lineEdit(), Qt::Key_A);
  EXPECT_EQ(seen.codes, std::vector<int> {5});
  EXPECT_EQ(combo->currentText(), "fixed");
}

TEST_F(form_keys, a_form_without_callback_closes_directly)
{
  qstring text;
  hosted_form_t hosted;
  ASSERT_TRUE(hosted.compile("Plain\n<~T~ext:q::10::>", {arg_string(&text)}));
  EXPECT_EQ(hosted.form->call_form_callback(form_code_ready), 1);
  ASSERT_TRUE(hosted.show());
  QTest::mouseClick(hosted.dialog_button(QDialogButtonBox::Cancel), Qt::LeftButton);
  EXPECT_EQ(hosted.dialog->result(), QDialog::Rejected);
  EXPECT_FALSE(hosted.dialog->isVisible());
}

TEST_F(form_keys, closing_a_form_window_asks_the_callback)
{
  qstring text;
  auto form = std::make_unique<form_widget_t>();
  form_args_t args(std::vector<form_arg_t> {arg_callback(&recording_callback), arg_string(&text)});
  ASSERT_TRUE(compile_form(form.get(), "Own window\n%/<~T~ext:q::10::>", args));
  form->show();
  seen.answer = 0;
  EXPECT_FALSE(form->close());
  EXPECT_TRUE(form->isVisible());
  seen.answer = 1;
  EXPECT_TRUE(form->close());
  EXPECT_EQ(seen.codes, (std::vector<int> {form_code_closing, form_code_closing}));
  form.reset();
  EXPECT_EQ(seen.codes.back(), form_code_destroyed);
}

TEST_F(form_keys, two_live_forms_with_one_title_find_the_older)
{
  qstring a;
  qstring b;
  form_widget_t older;
  form_widget_t newer;
  form_args_t first(std::vector<form_arg_t> {arg_string(&a)});
  form_args_t second(std::vector<form_arg_t> {arg_string(&b)});
  ASSERT_TRUE(compile_form(&older, "Same title\n<A:q::5::>", first));
  ASSERT_TRUE(compile_form(&newer, "Same title\n<A:q::5::>", second));
  EXPECT_EQ(find_form_widget_by_title("Same title", false), &older);
  EXPECT_EQ(find_form_widget_by_title("Same", true), &older);
  EXPECT_EQ(find_form_widget_by_title("Same", false), nullptr);
}

// A form docked in the main window's area: its dock's Close button asks the callback, which may refuse.
class form_docked : public DockFixture
{
protected:
  void SetUp() override
  {
    DockFixture::SetUp();
    seen = seen_t();
  }
  recording_ui_callback_t ui_;
};

TEST_F(form_docked, the_close_button_of_its_dock_asks_the_callback)
{
  qstring text;
  auto *form = new form_widget_t;
  form_args_t args(std::vector<form_arg_t> {arg_callback(&recording_callback), arg_string(&text)});
  ASSERT_TRUE(compile_form(form, "Docked form\n%/<~T~ext:q::10::>", args));
  area->dock_at_edge(make_dock("Beside"), dock_edge_right);
  dock_options_t record;
  record.anchor = "Beside";
  record.options = dock_place_left << dock_placement_shift;
  DockWidget *dock = area->show_as_dock(form, &record);
  ASSERT_NE(dock, nullptr);
  settle_events();
  EXPECT_EQ(shape(), "H[Docked form,Beside]");
  const QList<QPushButton *> buttons = dock_title_bar(dock)->findChildren<QPushButton *>();
  ASSERT_EQ(buttons.size(), 3);
  ASSERT_EQ(buttons[2]->toolTip(), "Close");

  seen.answer = 0;
  QTest::mouseClick(buttons[2], Qt::LeftButton);
  settle_events();
  EXPECT_FALSE(dock->hidden) << "the callback said no";
  EXPECT_TRUE(form->isVisible());
  seen.answer = 1;
  QTest::mouseClick(buttons[2], Qt::LeftButton);
  settle_events();
  EXPECT_TRUE(dock->hidden);
  EXPECT_EQ(seen.codes, (std::vector<int> {form_code_closing, form_code_closing}));
}

} // namespace

// Form actions: what a callback does to the fields of an open form.
#include "forms/form_widget.h"

#include "tests/forms/form_widget_fixture.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {


class form_actions : public ::testing::Test
{
protected:
  recording_ui_callback_t ui_;
};

TEST_F(form_actions, getters_match_the_field_kinds)
{
  char path[260] = "/tmp/some/folder";
  int64_t number = 7;
  hosted_form_t hosted;
  ASSERT_TRUE(hosted.compile("Get\n<Folder:F1::30::>\n<Number:D2:+:8::>", {arg_buffer(path, 260), arg_number(&number)}));
  form_actions_t &actions = hosted.form->actions();
  char out[260] = "";
  EXPECT_FALSE(actions.read_field_value(1, out));
  EXPECT_EQ(recorded_warnings(ui_),
            std::vector<std::string> {
              "Bad 'get' method for the field with id 1. You should use the get_path_value() method"});
  ASSERT_TRUE(actions.read_field_value_typed(1, out, sizeof(out)));
  EXPECT_STREQ(out, "/tmp/some/folder");
  EXPECT_FALSE(actions.read_field_value_typed(1, out, 0));

  auto *combo = hosted.control<QComboBox>('D');
  combo->setEditText("+5");
  int64_t read = 0;
  ASSERT_TRUE(actions.read_field_value(2, &read));
  EXPECT_EQ(read, 12) << "relative input applies to the variable's value";
  EXPECT_EQ(number, 7) << "reading a field leaves the variable alone";
  EXPECT_FALSE(actions.read_field_value(99, &read));
}

TEST_F(form_actions, show_enable_and_focus)
{
  uint16_t choice = 0;
  qstring a;
  qstring b;
  hosted_form_t hosted;
  ASSERT_TRUE(hosted.compile("Show\n<~A~:q1::10::>\n<~B~:q2::10::>\n<One:r>\n<Two:r>3>",
                             {arg_string(&a), arg_string(&b), arg_mask(&choice)}));
  form_actions_t &actions = hosted.form->actions();
  EXPECT_TRUE(actions.focus_field(2)) << "before the form is shown: the start field";
  EXPECT_EQ(actions.focused_field_id(), 2);
  ASSERT_TRUE(hosted.show());
  auto *second = hosted.control<QComboBox>('q', 1);
  EXPECT_TRUE(second->hasFocus() || second->lineEdit()->hasFocus());

  auto *box = hosted.form->findChild<QGroupBox *>();
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(actions.show_field(3, false));
  EXPECT_FALSE(box->isVisible());
  EXPECT_TRUE(actions.show_field(3, true));
  EXPECT_TRUE(box->isVisible()) << "the group box comes back with the group";
  EXPECT_TRUE(actions.enable_field(3, false));
  EXPECT_FALSE(box->isEnabled());
  EXPECT_FALSE(hosted.control<QRadioButton>('R', 1)->isEnabled());
  EXPECT_TRUE(actions.enable_field(1, false));
  EXPECT_FALSE(hosted.control('q', 0)->isEnabled());
  EXPECT_FALSE(hosted.control<QComboBox>('q', 0)->isEnabled());
  EXPECT_FALSE(actions.show_field(42, true));
}

TEST_F(form_actions, writes_lists_tabs_buttons_and_caller_data)
{
  qvector<qstring> items {"red", "green"};
  int index = 1;
  int32_t color = 0x0000FF;
  int data = 0;
  qstring tabbed;
  hosted_form_t hosted;
  ASSERT_TRUE(hosted.compile("Misc\n%*<Pick:b4::10::>\n<Colour:K5::::>\n<=:One>\n<T:q6::5::>\n<=:Two>8>",
                             {{form_arg_kind::caller_data, &data}, arg_list(&items), arg_int(&index), arg_int(&color),
                              arg_string(&tabbed)}));
  form_actions_t &actions = hosted.form->actions();
  EXPECT_EQ(actions.caller_data(), &data);
  auto *combo = hosted.control<QComboBox>('b');
  EXPECT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->currentIndex(), 1);

  qvector<qstring> replacement {"one", "two", "three"};
  EXPECT_EQ(actions.field_widget(4, &replacement), combo);
  EXPECT_EQ(combo->count(), 3);
  EXPECT_EQ(combo->itemText(2), "three");
  ASSERT_EQ(replacement.size(), 2u) << "the old list comes back";
  EXPECT_EQ(replacement[0], "red");

  int32_t read_color = 0;
  ASSERT_TRUE(actions.read_field_value(5, &read_color));
  EXPECT_EQ(read_color, 0x0000FF) << "pure red";
  const int32_t green = 0x00FF00;
  EXPECT_TRUE(actions.write_field_value(5, &green));
  ASSERT_TRUE(actions.read_field_value(5, &read_color));
  EXPECT_EQ(read_color, 0x00FF00);
  const int32_t none = -1;
  EXPECT_TRUE(actions.write_field_value(5, &none));
  ASSERT_TRUE(actions.read_field_value(5, &read_color));
  EXPECT_EQ(read_color, -1);

  auto *tabs = hosted.control<QTabWidget>('=');
  const bool hidden = false;
  EXPECT_TRUE(actions.set_tab_state(8, 1, 2, &hidden));
  EXPECT_FALSE(tabs->isTabEnabled(1));
  bool state = true;
  EXPECT_TRUE(actions.tab_state(&state, 8, 1, 2));
  EXPECT_FALSE(state);
  EXPECT_FALSE(actions.set_tab_state(8, 2, 1, &hidden)) << "a page index equal to the page count";
  EXPECT_FALSE(actions.set_tab_state(4, 0, 1, &hidden)) << "not a tab control";

  EXPECT_TRUE(actions.switch_dialog_button(0, false));
  EXPECT_FALSE(actions.dialog_button_enabled(0));
  EXPECT_TRUE(actions.dialog_button_enabled(1));
  EXPECT_FALSE(actions.switch_dialog_button(2, true)) << "no No button";
  EXPECT_EQ(actions.null_query(), 0);
}

TEST_F(form_actions, close_form_ends_the_dialog)
{
  qstring text;
  hosted_form_t hosted;
  ASSERT_TRUE(hosted.compile("Close\n<T:q::5::>", {arg_string(&text)}));
  ASSERT_TRUE(hosted.show());
  hosted.form->actions().close_form(false);
  EXPECT_EQ(hosted.dialog->result(), -1);
  EXPECT_FALSE(hosted.dialog->isVisible());
}

} // namespace

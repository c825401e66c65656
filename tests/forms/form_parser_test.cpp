// The form description language: headers, items, groups, numbering, argument order and grid columns.
#include "forms/form_parser.h"

#include "tests/forms/form_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int ok_callback(int, form_actions_t &)
{
  return 1;
}

TEST(form_header, reads_keywords_buttons_and_help)
{
  struct header_case_t
  {
    const char *name;
    std::string text;
    int start;
    int default_button;
    const char *yes;
    const char *no;
    const char *cancel;
    const char *help;
    int help_id;
    bool autosync;
    const char *title;
  };
  const header_case_t cases[] = {
    {"plain", "Title\nbody", 0, 0, "O~K~", nullptr, "Cancel", nullptr, 0, false, "Title"},
    {"dollar skipped", "$Title\nbody", 0, 0, "O~K~", nullptr, "Cancel", nullptr, 0, false, "Title"},
    {"NO NONE keeps the others", "BUTTON NO NONE\nT\nb", 0, 0, "O~K~", nullptr, "Cancel", nullptr, 0, false, "T"},
    {"star makes YES default", "BUTTON YES* ~G~o  \nT\nb", 0, 0, "~G~o", nullptr, "Cancel", nullptr, 0, false, "T"},
    {"star on CANCEL", "button cancel* Stop\nT\nb", 0, 2, "O~K~", nullptr, "Stop", nullptr, 0, false, "T"},
    {"NO added", "BUTTON NO ~N~o\nT\nb", 0, 0, "O~K~", "~N~o", "Cancel", nullptr, 0, false, "T"},
    {"YES and CANCEL NONE", "BUTTON YES NONE\nBUTTON CANCEL NONE\nT\nb", 0, 0, nullptr, nullptr, nullptr, nullptr,
     0, false, "T"},
    {"start item and autosync", "STARTITEM 3\nAUTOSYNC\nT\nb", 3, 0, "O~K~", nullptr, "Cancel", nullptr, 0, true,
     "T"},
    {"help marker", "@0:12[]\nT\nb", 0, 0, "O~K~", nullptr, "Cancel", "Help", 12, false, "T"},
    {"help block", "HELP\nsome help\nENDHELP\nT\nb", 0, 0, "O~K~", nullptr, "Cancel", "Help", 0xFFFE, false, "T"},
  };
  for ( const auto &c : cases )
  {
    const parsed_form_t p = parse_form_text(c.text, {});
    ASSERT_TRUE(p.ok) << c.name;
    EXPECT_EQ(p.header.start_number, c.start) << c.name;
    EXPECT_EQ(p.header.default_button, c.default_button) << c.name;
    const char *labels[] = {c.yes, c.no, c.cancel, c.help};
    for ( int i = 0; i < 4; ++i )
    {
      EXPECT_EQ(p.header.buttons[i].has_value(), labels[i] != nullptr) << c.name << " button " << i;
      if ( labels[i] != nullptr && p.header.buttons[i] )
      {
        EXPECT_EQ(*p.header.buttons[i], labels[i]) << c.name;
      }
    }
    EXPECT_EQ(p.header.help_id, c.help_id) << c.name;
    EXPECT_EQ(p.header.autosync, c.autosync) << c.name;
    EXPECT_EQ(p.header.title, c.title) << c.name;
  }
  const parsed_form_t block = parse_form_text("HELP\nsome help\nENDHELP\nT\nb", {});
  EXPECT_EQ(block.header.help_text, std::optional<std::string>("some help\n"));
  char help[] = "from an argument";
  const parsed_form_t from_arg =
    parse_form_text("HELP\n%s\nENDHELP\nT\nb", {{form_arg_kind::help_text, help}});
  EXPECT_EQ(from_arg.header.help_text, std::optional<std::string>("from an argument"));
}

TEST(form_header, refuses_malformed_headers_with_the_place)
{
  struct bad_t
  {
    const char *name;
    std::string text;
    const char *at;
  };
  const bad_t cases[] = {
    {"title without body", "Title", "Title"},
    {"unknown button", "BUTTON MAYBE x\nT\nb", "BUTTON MAYBE x\nT\nb"},
    {"button glued to its label", "BUTTON YESx\nT\nb", "BUTTON YESx\nT\nb"},
    {"HELP without ENDHELP", "HELP\ntext\nT\nb", "HELP\ntext\nT\nb"},
    {"STARTITEM without line end", "STARTITEM 2", "STARTITEM 2"},
    {"STARTITEM too large", "STARTITEM 99999999999\nT\nb", "STARTITEM 99999999999\nT\nb"},
    {"invalid UTF-8", "T\n\xC3(\n", "\xC3(\n"},
  };
  for ( const auto &c : cases )
  {
    const parsed_form_t p = parse_form_text(c.text, {});
    EXPECT_FALSE(p.ok) << c.name;
    ASSERT_EQ(p.warnings.size(), 1u) << c.name;
    EXPECT_EQ(p.warnings[0], std::string("form: error at ") + c.at) << c.name;
  }
}

TEST(form_lines, fields_take_labels_ids_lengths_and_widths)
{
  int64_t number = 0;
  qstring name;
  char folder[260] = "";
  const parsed_form_t d = parse_form_text("T\n<:D3::6::>", {arg_number(&number)});
  ASSERT_TRUE(d.ok);
  ASSERT_EQ(d.form.lines[0].size(), 2u);
  EXPECT_EQ(d.item(0, 0).type, 0);
  EXPECT_EQ(d.item(0, 0).width, 0);
  EXPECT_EQ(d.item(0, 1).type, 'D');
  EXPECT_EQ(d.item(0, 1).id, 3);
  EXPECT_EQ(d.item(0, 1).max_length, 0u);
  EXPECT_EQ(d.item(0, 1).width, 6);
  EXPECT_EQ(d.item(0, 1).arg, &number);

  const parsed_form_t q = parse_form_text("T\n<#Must be unique#~N~ame       :q1:1000:50::>", {arg_string(&name)});
  ASSERT_TRUE(q.ok);
  EXPECT_EQ(label_hint(q.item(0, 0).text.toStdString()), "Must be unique");
  EXPECT_EQ(q.item(0, 0).width, 11);
  EXPECT_EQ(q.item(0, 1).column, 11);
  EXPECT_EQ(q.item(0, 1).type, 'q');
  EXPECT_EQ(q.item(0, 1).id, 1);
  EXPECT_EQ(q.item(0, 1).max_length, 1000u);
  EXPECT_EQ(q.item(0, 1).width, 50);

  const parsed_form_t f = parse_form_text("T\n<~R~ootdir    :F3:0:50::>", {arg_buffer(folder, sizeof(folder))});
  ASSERT_TRUE(f.ok);
  EXPECT_EQ(f.item(0, 1).max_length, 260u);

  const parsed_form_t hint = parse_form_text("T\n<#a\\:b#Label:q::5::>", {arg_string(&name)});
  ASSERT_TRUE(hint.ok);
  EXPECT_EQ(label_hint(hint.item(0, 0).text.toStdString()), "a:b");

  int64_t rel = 0;
  const parsed_form_t relative = parse_form_text("T\n<N:D:+5:5::>", {arg_number(&rel)});
  ASSERT_TRUE(relative.ok);
  EXPECT_EQ(relative.item(0, 1).flags, 1);
  const parsed_form_t button = parse_form_text("T\n<~P~ress:B:0x10::>", {arg_handler(nullptr)});
  ASSERT_TRUE(button.ok);
  EXPECT_EQ(button.item(0, 0).type, 'B');
  EXPECT_EQ(button.item(0, 0).flags, 16);
  EXPECT_EQ(button.item(0, 0).width, 5) << "a button without a width is as wide as its label";
}

TEST(form_lines, groups_close_number_and_take_one_value)
{
  uint16_t mask = 5;
  const parsed_form_t one = parse_form_text("T\n<Force committing for unchanged files:C4>>", {arg_mask(&mask)});
  ASSERT_TRUE(one.ok);
  ASSERT_EQ(one.form.groups.size(), 1u);
  EXPECT_EQ(one.form.groups[0].id, 0);
  EXPECT_EQ(one.form.groups[0].value, &mask);
  EXPECT_EQ(one.form.groups[0].initial, 5);
  EXPECT_EQ(one.item(0, 0).id, 4);
  EXPECT_EQ(one.item(0, 0).type, 'C');

  uint16_t choice = 1;
  const parsed_form_t radio = parse_form_text("T\n<Revision:R> <Commit:R>1>", {arg_mask(&choice)});
  ASSERT_TRUE(radio.ok);
  ASSERT_EQ(radio.form.groups.size(), 1u);
  const form_group_t &g = radio.form.groups[0];
  EXPECT_TRUE(g.horizontal);
  EXPECT_EQ(g.id, 1);
  EXPECT_EQ(g.line_count, 1);
  EXPECT_EQ(radio.item(0, 0).column, radio.item(0, 1).column);
  EXPECT_EQ(radio.item(0, 0).number, radio.item(0, 1).number);
  EXPECT_EQ(radio.form.field_counter, 1);
  // Revision is 8 wide plus 2, Commit 6 plus 2: their sum plus 2 per member, plus 4.
  EXPECT_EQ(g.width, 10 + 8 + 4 + 4);

  uint16_t boxes = 0;
  const parsed_form_t vertical = parse_form_text("T\n<One:c1>\n<Two:c2>\n<Three:c3>7>", {arg_mask(&boxes)});
  ASSERT_TRUE(vertical.ok);
  ASSERT_EQ(vertical.form.groups.size(), 1u);
  EXPECT_FALSE(vertical.form.groups[0].horizontal);
  EXPECT_EQ(vertical.form.groups[0].line_count, 3);
  EXPECT_EQ(vertical.form.groups[0].id, 7);
  EXPECT_EQ(vertical.form.field_counter, 3) << "every check box is a field";
}

TEST(form_lines, dynamic_labels_and_percent_signs)
{
  {
    recording_ui_callback_t ui;
    form_args_t args(std::vector<form_arg_t> {arg_string(nullptr)});
    form_header_t header;
    form_layout_t form;
    ASSERT_TRUE(parse_form_header("T\n%2q", args, &header));
    ASSERT_TRUE(layout_form_lines(&form, header.body, args, 0));
    ASSERT_EQ(form.lines[0].size(), 1u) << "made for its id although its text is empty";
    EXPECT_EQ(form.lines[0][0].type, ' ');
    EXPECT_EQ(form.lines[0][0].id, 2);
    EXPECT_EQ(recorded_warnings(ui), std::vector<std::string> {"form: nullptr is an invalid input field argument"});
  }
  qstring two_lines("short\nthe longer one");
  const parsed_form_t wide = parse_form_text("T\n%q", {arg_string(&two_lines)});
  ASSERT_TRUE(wide.ok);
  EXPECT_EQ(wide.item(0, 0).width, 14);
  qstring empty;
  const parsed_form_t gone = parse_form_text("T\nx %q", {arg_string(&empty)});
  ASSERT_TRUE(gone.ok);
  EXPECT_EQ(gone.form.lines[0].size(), 1u) << "an empty label without id is not made, its argument is taken";

  const parsed_form_t percent = parse_form_text("T\n50%% done", {});
  ASSERT_TRUE(percent.ok);
  ASSERT_EQ(percent.form.lines[0].size(), 2u);
  EXPECT_EQ(percent.item(0, 1).text, QString("% done"));
  const parsed_form_t callback = parse_form_text("T\n100%%/s", {arg_callback(&ok_callback)});
  ASSERT_TRUE(callback.ok) << "'%%' and '/' contain \"%/\": a callback is taken";
  EXPECT_EQ(callback.form.callback, &ok_callback);
}

TEST(form_lines, arguments_are_taken_in_order)
{
  qstring a;
  qstring b;
  int64_t n = 0;
  uint16_t mask = 0;
  int data = 0;
  // "%/" in the middle of a line still takes the first argument after the help text.
  const parsed_form_t p = parse_form_text(
    "T\n<A:q::5::> %/%*<B:q::5::>\n<N:D::5::> <X:c>>\n",
    {arg_callback(&ok_callback), arg_string(&a), arg_data(&data), arg_string(&b), arg_number(&n), arg_mask(&mask)});
  ASSERT_TRUE(p.ok) << (p.warnings.empty() ? "" : p.warnings[0]);
  EXPECT_EQ(p.form.callback, &ok_callback);
  EXPECT_EQ(p.form.caller_data, &data);
  EXPECT_EQ(p.item(0, 1).arg, &a);
  EXPECT_EQ(p.item(0, 4).arg, &b);
  EXPECT_EQ(p.item(1, 1).arg, &n);
  EXPECT_EQ(p.form.groups[0].value, &mask);
  // Field numbers: A 0, B 1, N 2, the box 3; labels carry their field's.
  EXPECT_EQ(p.item(0, 0).number, 0);
  EXPECT_EQ(p.item(0, 4).number, 1);
  EXPECT_EQ(p.item(1, 1).number, 2);
  EXPECT_EQ(p.item(1, 2).number, 3);
}

TEST(form_lines, start_number_marks_items)
{
  qstring a;
  qstring b;
  const parsed_form_t p = parse_form_text("STARTITEM 1\nT\n<A:q::5::>\n<B:q::5::>", {arg_string(&a), arg_string(&b)});
  ASSERT_TRUE(p.ok);
  EXPECT_FALSE(p.item(0, 1).start);
  EXPECT_TRUE(p.item(1, 0).start);
  EXPECT_TRUE(p.item(1, 1).start);
}

TEST(form_lines, grid_columns_follow_the_text_and_ignore_indentation)
{
  qstring a;
  qstring b;
  const auto layout = [&](const std::string &body) {
    return parse_form_text("T\n" + body, {arg_string(&a), arg_string(&b)});
  };
  const parsed_form_t p = layout("<Name :q::10::>\n<Other:q::20::>");
  const parsed_form_t indented = layout("   <Name :q::10::>\n   <Other:q::20::>");
  ASSERT_TRUE(p.ok);
  ASSERT_TRUE(indented.ok);
  EXPECT_EQ(p.form.sorted_boundaries, (std::vector<int> {0, 5, 15, 25}));
  EXPECT_EQ(indented.form.sorted_boundaries, p.form.sorted_boundaries);
  EXPECT_EQ(p.item(0, 1).grid_column, 1);
  EXPECT_EQ(p.item(0, 1).column_span, 1);
  EXPECT_EQ(p.item(1, 1).grid_column, 1);
  EXPECT_EQ(p.item(1, 1).column_span, 2);

  const parsed_form_t text = layout("ab cd\n\\<not a field>");
  ASSERT_TRUE(text.ok);
  EXPECT_EQ(text.item(0, 0).text, QString("ab cd"));
  EXPECT_EQ(text.item(1, 0).text, QString("<not a field>"));
}

TEST(form_lines, markers_and_separators)
{
  qstring a;
  qstring b;
  const parsed_form_t tabs = parse_form_text("T\n<A:q::5::>\n<=:~F~irst>5>\n<B:q::5::>\n<=:Second>",
                                             {arg_string(&a), arg_string(&b)});
  ASSERT_TRUE(tabs.ok);
  EXPECT_EQ(tabs.item(1, 0).type, '=');
  EXPECT_EQ(tabs.item(1, 0).id, 5);
  EXPECT_EQ(tabs.item(1, 0).text, QString("~F~irst"));
  const parsed_form_t split = parse_form_text("T\n<A:q::5::>\n<->\n<B:q::5::><|><C:k::5::>",
                                              {arg_string(&a), arg_string(&b), arg_handler(nullptr)});
  ASSERT_TRUE(split.ok);
  EXPECT_EQ(split.item(1, 0).type, '-');
  EXPECT_EQ(split.item(2, 2).type, '|');
}

TEST(form_lines, hostile_texts_are_refused)
{
  struct hostile_t
  {
    const char *name;
    std::string text;
  };
  const std::string huge_id = "T\n<A:q99999999999::5::>";
  const hostile_t cases[] = {
    {"no '>'", "T\n<A:q::5::"},
    {"no colon", "T\n<A q 5>"},
    {"unknown letter", "T\n<A:Z::5::>"},
    {"huge id", huge_id},
    {"huge width", "T\n<A:q:99999999999:5::>"},
    {"huge screen width", "T\n<A:q::99999999999::>"},
    {"column beyond the limit", "T\n<A:q::65536::><B:q::65536::>"},
    {"tab marker not first", "T\nx <=:Tab>"},
    {"tab marker without colon", "T\n<=Tab>"},
    {"splitter not alone", "T\nx <->"},
    {"arrow", "T\n<- x"},
    {"group never closed", "T\n<A:c>"},
    {"empty body", "T\n\n\n"},
    {"1 MB of '<'", "T\n" + std::string(1 << 20, '<')},
    {"too few arguments", "T\n<A:q::5::> <B:q::5::>"},
    {"argument of another kind", "T\n<N:D::5::>"},
    {"buffer too small", "T\n<P:F::5::>"},
  };
  for ( const auto &c : cases )
  {
    qstring one;
    char small[8] = "";
    const parsed_form_t p = parse_form_text(c.text, {arg_string(&one), arg_buffer(small, sizeof(small))});
    EXPECT_FALSE(p.ok) << c.name;
    ASSERT_EQ(p.warnings.size(), 1u) << c.name;
    EXPECT_EQ(p.warnings[0].rfind("form: error at ", 0), 0u) << c.name;
  }
}

} // namespace

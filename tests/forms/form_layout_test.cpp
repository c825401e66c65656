// The layout builder: tabs, splitters, groups, button rows, runs and spans, each shown and saved as a screenshot.
#include "forms/form_widget.h"

#include "tests/forms/form_widget_fixture.h"
#include "tests/ui/app/screenshots.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

int noop_handler(int, form_actions_t &)
{
  return 0;
}


TEST(form_layout, tab_pages_hold_the_lines_above_their_markers)
{
  recording_ui_callback_t ui;
  qstring name("first page");
  qstring other("second page");
  qstring lost("after the last marker");
  hosted_form_t hosted;
  ASSERT_TRUE(hosted.compile("Tabs\n<~N~ame :q1::30::>\n<=:~G~eneral>\n<Other:q2::30::>\n<=:~M~ore>7>\n<Lost:q3::9::>",
                             {arg_string(&name), arg_string(&other), arg_string(&lost)}));
  auto *tabs = hosted.control<QTabWidget>('=');
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->count(), 2);
  EXPECT_EQ(tabs->tabText(0), "&General");
  EXPECT_EQ(tabs->tabText(1), "&More");
  for ( const form_control_t &control : hosted.form->controls() )
    if ( control.type == '=' )
    {
      EXPECT_EQ(control.id, 7) << "the tab control takes the last marker's id";
    }
  ASSERT_TRUE(hosted.show());
  EXPECT_TRUE(hosted.control<QComboBox>('q', 0)->isVisible());
  EXPECT_FALSE(hosted.control<QComboBox>('q', 1)->isVisible()) << "on the second page";
  EXPECT_FALSE(hosted.control<QComboBox>('q', 2)->isVisible()) << "lines after the last marker are not shown";
  save_screenshot(*hosted.dialog, "tabs");
}

TEST(form_layout, splitter_panes_and_separators)
{
  recording_ui_callback_t ui;
  qstring top("top");
  qstring left("left");
  qstring right("right");
  hosted_form_t hosted;
  ASSERT_TRUE(hosted.compile("Split\n<Top:q::20::>\n<->\n<Left:q::10::><|><Right:q::10::>",
                             {arg_string(&top), arg_string(&left), arg_string(&right)}));
  ASSERT_TRUE(hosted.show());
  const auto splitters = hosted.form->findChildren<QSplitter *>();
  ASSERT_EQ(splitters.size(), 2);
  const QSplitter *vertical = splitters[0]->orientation() == Qt::Vertical ? splitters[0] : splitters[1];
  const QSplitter *horizontal = vertical == splitters[0] ? splitters[1] : splitters[0];
  EXPECT_EQ(vertical->count(), 2);
  EXPECT_EQ(horizontal->orientation(), Qt::Horizontal);
  EXPECT_TRUE(horizontal->isAncestorOf(hosted.control('q', 1))) << "the item left of the separator";
  save_screenshot(*hosted.dialog, "splitter");

  ui.clear();
  hosted_form_t both;
  EXPECT_FALSE(both.compile("Both\n<A:q::5::>\n<->\n<B:q::5::>\n<=:Tab>", {arg_string(&top), arg_string(&left)}));
  EXPECT_EQ(recorded_warnings(ui),
            std::vector<std::string> {"Cannot support both vertical splitter & tabs in the same form"});
  EXPECT_TRUE(both.form->controls().empty());
  EXPECT_TRUE(both.form->findChildren<QWidget *>().isEmpty()) << "no widget is left";
}

TEST(form_layout, groups_show_their_initial_values)
{
  recording_ui_callback_t ui;
  struct group_case_t
  {
    const char *name;
    const char *text;
    uint16_t value;
    std::vector<bool> checked;
  };
  const group_case_t cases[] = {
    {"three boxes, 5", "G\n<#h#Options#tip#~O~ne:c1>\n<~T~wo:c2>\n<T~h~ree:c3>>", 5, {true, false, true}},
    {"radio 1", "G\n<~A~lpha:r>\n<~B~eta:r>\n<~G~amma:r>9>", 1, {false, true, false}},
    {"radio none", "G\n<~A~lpha:r>\n<~B~eta:r>\n<~G~amma:r>9>", 0xFFFF, {false, false, false}},
  };
  for ( const auto &c : cases )
  {
    uint16_t value = c.value;
    hosted_form_t hosted;
    ASSERT_TRUE(hosted.compile(c.text, {arg_mask(&value)})) << c.name;
    const char member = c.text[4] == '#' || std::string(c.text).find(":c") != std::string::npos ? 'C' : 'R';
    for ( size_t i = 0; i < c.checked.size(); ++i )
    {
      auto *button = hosted.control<QAbstractButton>(member, i);
      ASSERT_NE(button, nullptr) << c.name;
      EXPECT_EQ(button->isChecked(), c.checked[i]) << c.name << " member " << i;
    }
    uint16_t read = 0x1234;
    ASSERT_TRUE(hosted.form->actions().read_field_value(member == 'C' ? 0 : 9, &read)) << c.name;
    EXPECT_EQ(read, c.value) << c.name << ": reads back as it was written";
  }
  uint16_t boxes = 5;
  hosted_form_t shown;
  ASSERT_TRUE(shown.compile(cases[0].text, {arg_mask(&boxes)}));
  auto *box = shown.form->findChild<QGroupBox *>();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->title(), "Options");
  EXPECT_EQ(box->toolTip(), "tip");
  ASSERT_TRUE(shown.show());
  save_screenshot(*shown.dialog, "groups");
}

TEST(form_layout, a_last_line_of_buttons_becomes_the_button_row)
{
  recording_ui_callback_t ui;
  qstring name("x");
  hosted_form_t row;
  ASSERT_TRUE(row.compile("BUTTON YES NONE\nBUTTON CANCEL NONE\nButtons\n<Name:q::20::>\n<~F~irst:B::> <~S~econd:B::>",
                          {arg_string(&name), arg_handler(&noop_handler), arg_handler(&noop_handler)}));
  auto *first = row.control<QPushButton>('B', 0);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(row.form->button_box(), nullptr);
  EXPECT_EQ(row.form->button_box()->buttonRole(first), QDialogButtonBox::ActionRole);
  EXPECT_EQ(row.form->button_box()->buttons().size(), 2);
  ASSERT_TRUE(row.show());
  save_screenshot(*row.dialog, "button-row");

  hosted_form_t grid;
  ASSERT_TRUE(grid.compile("Buttons\n<Name:q::20::>\n<~F~irst:B::> <~S~econd:B::>",
                           {arg_string(&name), arg_handler(&noop_handler), arg_handler(&noop_handler)}));
  ASSERT_NE(grid.form->button_box(), nullptr);
  EXPECT_EQ(grid.form->button_box()->buttonRole(grid.control<QPushButton>('B', 0)),
            QDialogButtonBox::InvalidRole) << "with OK and Cancel the row stays in the grid";
}

TEST(form_layout, runs_spans_and_widths)
{
  recording_ui_callback_t ui;
  qstring wide("w");
  qstring narrow("n");
  hosted_form_t hosted;
  ASSERT_TRUE(hosted.compile("Widths\nalone here |  and here\n<Wide  :q::50::>\n<Narrow:q::10::>\nA label that ends its line",
                             {arg_string(&wide), arg_string(&narrow)}));
  ASSERT_TRUE(hosted.show());
  auto *w = hosted.control<QComboBox>('q', 0);
  auto *n = hosted.control<QComboBox>('q', 1);
  EXPECT_GT(w->width(), 3 * n->width()) << "widths follow the screen widths";
  const auto labels = hosted.form->findChildren<QLabel *>();
  const QLabel *alone = nullptr;
  const QLabel *also = nullptr;
  const QLabel *ending = nullptr;
  for ( const QLabel *label : labels )
  {
    if ( label->text() == "alone here" )
      alone = label;
    else if ( label->text() == "and here" )
      also = label;
    else if ( label->text() == "A label that ends its line" )
      ending = label;
  }
  ASSERT_TRUE(alone && also && ending);
  EXPECT_EQ(alone->geometry().top(), also->geometry().top());
  EXPECT_LT(alone->geometry().right(), also->geometry().left()) << "side by side in one box";
  const auto &placed = hosted.form->placed_widgets();
  EXPECT_EQ(std::count(placed.begin(), placed.end(), alone), 0) << "run members are not grid cells";
  auto *grid = qobject_cast<QGridLayout *>(hosted.form->layout()->itemAt(0)->layout());
  ASSERT_NE(grid, nullptr);
  const int index = grid->indexOf(const_cast<QLabel *>(ending));
  int row, column, rows, columns;
  grid->getItemPosition(index, &row, &column, &rows, &columns);
  EXPECT_EQ(column + columns, grid->columnCount()) << "a label that ends its line spans to the right edge";
}

TEST(form_layout, duplicate_ids_refuse_the_form)
{
  recording_ui_callback_t ui;
  qstring a;
  qstring b;
  hosted_form_t hosted;
  EXPECT_FALSE(hosted.compile("Dup\n<A:q4::5::>\n<B:q4::5::>", {arg_string(&a), arg_string(&b)}));
  EXPECT_EQ(recorded_warnings(ui), std::vector<std::string> {"Duplicate field id 4"});
  EXPECT_TRUE(hosted.form->controls().empty());
  EXPECT_TRUE(hosted.form->findChildren<QWidget *>().isEmpty());
}

TEST(form_layout, fields_without_a_text_form_get_no_widget)
{
  recording_ui_callback_t ui;
  int64_t segment = 0;
  qstring name;
  hosted_form_t hosted;
  ASSERT_TRUE(hosted.compile("Seg\n<Segment:S1::8::>\n<Name:q::8::>", {arg_number(&segment), arg_string(&name)}));
  EXPECT_EQ(recorded_warnings(ui), std::vector<std::string> {"form: bad input field type S"});
  EXPECT_EQ(hosted.control('S'), nullptr);
  EXPECT_NE(hosted.control('q'), nullptr);
}

} // namespace

// The "Columns" form: its text (groups of sixteen check boxes), and the header it changes when confirmed, driven
// through the form a user sees.
#include "views/filter/columns_chooser.h"

#include "tests/ui/app/screenshots.h"
#include "tests/views/form_request_player.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

std::vector<qstring> numbered_titles(size_t count)
{
  std::vector<qstring> titles;
  for ( size_t i = 0; i < count; ++i )
    titles.emplace_back(("c" + std::to_string(i)).c_str());
  return titles;
}

// The number of check-box groups and check boxes the form builds.
std::pair<size_t, size_t> built_groups(const qstring &form, size_t groups)
{
  std::vector<uint16_t> values(groups);
  std::vector<form_arg_t> args;
  for ( uint16_t &value : values )
    args.push_back(arg_mask(&value));
  recording_ui_callback_t ui;
  hosted_form_t hosted;
  if ( !hosted.compile(form.c_str(), args) )
    return {0, 0};
  size_t group_count = 0;
  size_t boxes = 0;
  for ( const form_control_t &control : hosted.form->controls() )
  {
    group_count += control.type == 'G' ? 1 : 0;
    boxes += control.type == 'C' ? 1 : 0;
  }
  return {group_count, boxes};
}

} // namespace

TEST(ColumnsChooser, TheFormOffersGroupsOfSixteenClosedRightAfterTheirLastMember)
{
  struct row_t
  {
    const char *why;
    size_t titles;
    size_t first;
    size_t groups;
    size_t boxes;
  };
  const std::vector<row_t> rows = {
    {"three columns", 3, 0, 1, 3},
    {"sixteen columns fill one group", 16, 0, 1, 16},
    {"seventeen columns open a second group", 17, 0, 2, 17},
    {"twenty columns: sixteen and four", 20, 0, 2, 20},
    {"from the third column on", 20, 2, 2, 18},
    {"at most 128 columns", 200, 0, 8, 128},
  };
  for ( const row_t &row : rows )
  {
    const qstring form = columns_chooser_form(numbered_titles(row.titles), row.first);
    EXPECT_EQ(built_groups(form, row.groups), std::make_pair(row.groups, row.boxes)) << row.why;
  }
  EXPECT_EQ(std::string(columns_chooser_form(numbered_titles(17), 0).view()),
            "Columns\n<c0:C>\n<c1:C>\n<c2:C>\n<c3:C>\n<c4:C>\n<c5:C>\n<c6:C>\n<c7:C>\n<c8:C>\n<c9:C>\n<c10:C>\n"
            "<c11:C>\n<c12:C>\n<c13:C>\n<c14:C>\n<c15:C>>\n<c16:C>>");
  EXPECT_EQ(std::string(columns_chooser_form({qstring("a:b<c>d")}, 0).view()), "Columns\n<a b c d:C>>")
    << "the form's own characters become blanks";
}

TEST(ColumnsChooser, ConfirmingShowsAndHidesTheColumnsWhoseBoxesChanged)
{
  QStandardItemModel model(1, 20);
  QTreeView view;
  view.setModel(&model);
  view.header()->setSectionHidden(17, true);
  const std::vector<qstring> titles = numbered_titles(20);
  recording_ui_callback_t ui;

  // The boxes start as the header shows the columns; the user unchecks c2 and checks c17.
  std::vector<bool> initially_checked;
  ui.script_form(form_dialog_player([&](hosted_form_t &form) {
    for ( size_t i = 0; i < 20; ++i )
      initially_checked.push_back(form.control<QCheckBox>('C', i)->isChecked());
    (void)save_screenshot(*form.dialog, "columns");
    click_box(form.control<QCheckBox>('C', 2));
    click_box(form.control<QCheckBox>('C', 17));
    QTest::mouseClick(form.dialog_button(QDialogButtonBox::Yes), Qt::LeftButton);
  }));
  EXPECT_TRUE(columns_chooser_dialog(view.header(), titles, 0));
  std::vector<bool> expected(20, true);
  expected[17] = false;
  EXPECT_EQ(initially_checked, expected);
  for ( int column = 0; column < 20; ++column )
    EXPECT_EQ(view.header()->isSectionHidden(column), column == 2) << column;
  ASSERT_EQ(ui.requests_of(ui_code_form_dialog).size(), 1u);
  EXPECT_EQ(ui.requests_of(ui_code_form_dialog)[0].text.rfind("Columns\n", 0), 0u);

  // Cancelling changes nothing.
  ui.script_form(form_dialog_player([&](hosted_form_t &form) {
    click_box(form.control<QCheckBox>('C', 0));
    QTest::mouseClick(form.dialog_button(QDialogButtonBox::Cancel), Qt::LeftButton);
  }));
  EXPECT_FALSE(columns_chooser_dialog(view.header(), titles, 0));
  EXPECT_FALSE(view.header()->isSectionHidden(0));
  EXPECT_TRUE(view.header()->isSectionHidden(2));
}

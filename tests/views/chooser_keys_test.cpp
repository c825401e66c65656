// Docked and embedded lists driven by real key and mouse events: cursor keys, activation, refresh and the
// source's insert, edit and delete with the selection it rewrites.
#include "forms/inputs/field_widgets.h"
#include "tests/forms/form_widget_fixture.h"
#include "tests/views/chooser_test_support.h"

#include <QStatusBar>

namespace {

using rows_t = std::vector<uint64_t>;

class ChooserKeys : public docked_chooser_fixture_t
{
};

TEST_F(ChooserKeys, HomeEndAndShiftEndMoveByWholeRows)
{
  struct case_t
  {
    const char *name;
    uint32_t flags;
    rows_t after_shift_end;
  };
  const case_t cases[] = {
    {"multiple selection", chooser_multi_select, {3, 4, 5, 6, 7, 8, 9}},
    {"single selection", 0, {9}},
  };
  for ( const case_t &c : cases )
  {
    auto *list = new test_multi_list_t(numbered_rows(10, "r", true), c.name, c.flags);
    list->default_column = 1;
    chooser_widget_t *widget = open_docked(list);
    ASSERT_NE(widget, nullptr) << c.name;
    key(widget, Qt::Key_End);
    EXPECT_EQ(current_row(widget), 9) << c.name;
    EXPECT_EQ(widget->table()->currentIndex().column(), 1) << c.name << ": the current cell is in the default column";
    key(widget, Qt::Key_Home);
    EXPECT_EQ(current_row(widget), 0) << c.name;
    key(widget, Qt::Key_Down);
    key(widget, Qt::Key_Down);
    key(widget, Qt::Key_Down);
    EXPECT_EQ(selected_rows(widget), (rows_t {3})) << c.name;
    key(widget, Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(selected_rows(widget), c.after_shift_end) << c.name;
    EXPECT_EQ(current_row(widget), 9) << c.name;
    EXPECT_EQ(widget->status_bar()->currentMessage().toStdString(), "Line 10 of 10") << c.name;
    close_docked(widget);
  }
}

TEST_F(ChooserKeys, EnterAndDoubleClickActivateTheSelection)
{
  auto *list = new test_multi_list_t(numbered_rows(6), "Activate", chooser_multi_select);
  chooser_widget_t *widget = open_docked(list);
  ASSERT_NE(widget, nullptr);
  click_row(widget, 2);
  list->calls.clear();
  key(widget, Qt::Key_Return);
  EXPECT_EQ(list->calls, (std::vector<std::string> {"activate 2"}));
  list->calls.clear();
  double_click_row(widget, 4);
  settle();
  EXPECT_EQ(list->calls, (std::vector<std::string> {"selected 4", "activate 4"}))
    << "a double click selects the row, then is an Enter";

  // Activation that rebuilds selects what the source left in the selection.
  list->on_activate = [](qvector<uint64_t> *s) {
    *s = {1, 3};
    return chooser_rebuild;
  };
  key(widget, Qt::Key_Enter);
  EXPECT_EQ(selected_rows(widget), (rows_t {1, 3}));
  EXPECT_EQ(current_row(widget), 3);
}

TEST_F(ChooserKeys, EmbeddedListActivatesDirectlyAndMayKeepEnter)
{
  struct case_t
  {
    const char *name;
    uint32_t widget_flags;
    bool dialog_accepted;
  };
  const case_t cases[] = {
    {"Enter goes on to the dialog", 0, true},
    {"Enter stops at the list", chooser_widget_t::enter_stops_after_activation, false},
  };
  for ( const case_t &c : cases )
  {
    test_multi_list_t list(numbered_rows(4), "Embedded", chooser_keep);
    qvector<uint64_t> selection {1};
    hosted_form_t hosted;
    ASSERT_TRUE(hosted.compile("Pick\n<~R~ows:E3::::>", {{form_arg_kind::chooser, list.embedded_list()},
                                                          {form_arg_kind::selection, &selection}}));
    auto *container = hosted.control<chooser_widget_container_t>('E');
    ASSERT_NE(container, nullptr);
    chooser_widget_t *widget = as_chooser_widget(container->content());
    ASSERT_NE(widget, nullptr);
    widget->widget_flags |= c.widget_flags;
    ASSERT_TRUE(hosted.show());
    settle();
    EXPECT_EQ(selected_rows(widget), (rows_t {1})) << c.name << ": the field's selection was written";

    list.calls.clear();
    double_click_row(widget, 2);
    settle();
    EXPECT_EQ(list.calls, (std::vector<std::string> {"selected 2", "activate 2"})) << c.name;
    EXPECT_TRUE(hosted.dialog->isVisible()) << c.name << ": a double click in a form only activates";

    widget->table()->setFocus();
    list.calls.clear();
    QTest::keyClick(widget->table(), Qt::Key_Return);
    settle();
    EXPECT_EQ(list.calls, (std::vector<std::string> {"activate 2"})) << c.name;
    EXPECT_EQ(hosted.dialog->result() == QDialog::Accepted && !hosted.dialog->isVisible(), c.dialog_accepted)
      << c.name;
  }
}

TEST_F(ChooserKeys, RefreshKeepsTheSelectedRowsAndTheCurrentRow)
{
  auto *list = new test_multi_list_t(numbered_rows(8), "Refresh", chooser_multi_select | chooser_can_refresh);
  chooser_widget_t *widget = open_docked(list);
  ASSERT_NE(widget, nullptr);
  click_row(widget, 2);
  click_row(widget, 5, Qt::ControlModifier);
  ASSERT_EQ(selected_rows(widget), (rows_t {2, 5}));
  list->calls.clear();
  test_app().refreshes.clear();
  list->rows[5][0] = "renamed";
  key(widget, Qt::Key_F5);
  EXPECT_EQ(list->calls, (std::vector<std::string> {"reload 2 5"}));
  EXPECT_EQ(selected_rows(widget), (rows_t {2, 5}));
  EXPECT_EQ(current_row(widget), 5);
  EXPECT_EQ(shown(widget)[5], "renamed") << "the rows were described again";
  EXPECT_EQ(test_app().refreshes, (std::vector<std::pair<uint64_t, bool>> {{uint64_t(1) << test_chooser_kind, false}}))
    << "the kind's pending refresh is cleared";

  // Rows removed by the reload: what is no longer there is no longer selected.
  list->rows.resize(4);
  key(widget, Qt::Key_F5);
  EXPECT_EQ(shown(widget).size(), 4u);
  EXPECT_EQ(selected_rows(widget), (rows_t {2}));

  // A reload that changed nothing leaves the view as it was.
  list->on_reload = [](qvector<uint64_t> *) { return chooser_unchanged; };
  list->rows.push_back({"unseen"});
  key(widget, Qt::Key_F5);
  EXPECT_EQ(shown(widget).size(), 4u);
}

TEST_F(ChooserKeys, SingleSelectionReloadGivesTheRowToSelect)
{
  struct case_t
  {
    const char *name;
    chooser_single_result_t answer;
    rows_t selected;
    size_t shown;
  };
  const case_t cases[] = {
    {"rebuild selecting nothing", {-1, chooser_rebuild}, {}, 6},
    {"rebuild selecting another row", {4, chooser_rebuild}, {4}, 6},
    {"unchanged", {5, chooser_unchanged}, {1}, 5},
  };
  for ( const case_t &c : cases )
  {
    auto *list = new test_single_list_t(numbered_rows(5), c.name, chooser_can_refresh);
    chooser_widget_t *widget = open_docked(list);
    ASSERT_NE(widget, nullptr) << c.name;
    click_row(widget, 1);
    list->rows.push_back({"new"});
    list->on_reload = [&](int64_t) { return c.answer; };
    list->calls.clear();
    key(widget, Qt::Key_F5);
    EXPECT_EQ(list->calls, (std::vector<std::string> {"reload 1"})) << c.name;
    EXPECT_EQ(selected_rows(widget), c.selected) << c.name;
    EXPECT_EQ(shown(widget).size(), c.shown) << c.name;
    close_docked(widget);
  }
}

TEST_F(ChooserKeys, SourceActionsSelectWhatTheSourceLeftInTheSelection)
{
  // Insert appends a row and selects it.
  auto *list = new test_multi_list_t(numbered_rows(3), "Actions",
                                     chooser_multi_select | chooser_can_insert | chooser_can_delete | chooser_can_edit);
  list->on_insert = [list](qvector<uint64_t> *s) {
    list->rows.push_back({"inserted"});
    *s = {list->rows.size() - 1};
    return chooser_rebuild;
  };
  // Delete removes the selected rows and selects the row that took the first one's place.
  list->on_delete = [list](qvector<uint64_t> *s) {
    const uint64_t first = s->front();
    for ( auto it = s->end(); it != s->begin(); )
      list->rows.erase(list->rows.begin() + int64_t(*--it));
    list->make_single_selection(s, first);
    return chooser_rebuild;
  };
  // Edit changes a text but answers that nothing changed: the view stays as it was.
  list->on_edit = [list](qvector<uint64_t> *s) {
    list->rows[s->front()][0] = "edited";
    return chooser_unchanged;
  };
  chooser_widget_t *widget = open_docked(list);
  ASSERT_NE(widget, nullptr);

  list->calls.clear();
  key(widget, Qt::Key_Delete);
  EXPECT_TRUE(list->calls.empty()) << "nothing selected, nothing deleted";

  key(widget, Qt::Key_Insert);
  EXPECT_EQ(list->calls, (std::vector<std::string> {"insert", "reload 3"}));
  EXPECT_EQ(shown(widget), (std::vector<std::string> {"row 0", "row 1", "row 2", "inserted"}));
  EXPECT_EQ(selected_rows(widget), (rows_t {3}));
  EXPECT_EQ(current_row(widget), 3);

  key(widget, Qt::Key_E, Qt::ControlModifier);
  EXPECT_EQ(list->calls.back(), "edit 3");
  EXPECT_EQ(shown(widget).back(), "inserted") << "code 0 leaves the view untouched";

  click_row(widget, 1);
  click_row(widget, 2, Qt::ShiftModifier);
  list->calls.clear();
  key(widget, Qt::Key_Delete);
  EXPECT_EQ(list->calls, (std::vector<std::string> {"delete 1 2", "reload 1"}))
    << "the rebuild reloads with the selection the source left";
  EXPECT_EQ(shown(widget), (std::vector<std::string> {"row 0", "edited"}));
  EXPECT_EQ(selected_rows(widget), (rows_t {1}));

  // A single-selection list whose insert answers {7, 1} ends with row 7 alone selected and current.
  auto *single = new test_single_list_t(numbered_rows(8), "Single actions", chooser_can_insert);
  single->on_insert = [](int64_t) { return chooser_single_result_t {7, chooser_rebuild}; };
  chooser_widget_t *single_widget = open_docked(single);
  ASSERT_NE(single_widget, nullptr);
  click_row(single_widget, 2);
  key(single_widget, Qt::Key_Insert);
  EXPECT_EQ(single->calls.back(), "reload 7");
  EXPECT_EQ(selected_rows(single_widget), (rows_t {7}));
  EXPECT_EQ(current_row(single_widget), 7);
}

} // namespace

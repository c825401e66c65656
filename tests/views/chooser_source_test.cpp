// The data-source interface and its services: open_chooser's results, titles, header texts, the lookups of
// live widgets and the selection helpers.
#include "forms/batch_mode.h"
#include "tests/views/chooser_test_support.h"

#include <QStatusBar>

namespace {

class ChooserSource : public chooser_fixture_t
{
protected:
  void TearDown() override
  {
    batch_mode_flag = false;
    chooser_fixture_t::TearDown();
  }
};

TEST_F(ChooserSource, BatchModeAnswersTheDefaultSelectionWithoutShowingAnything)
{
  struct case_t
  {
    const char *name;
    size_t rows;
    std::vector<uint64_t> default_rows;
    int64_t expected;
  };
  const case_t cases[] = {
    {"empty default", 5, {}, -1},
    {"first of the default", 5, {3, 1}, 3},
    {"default beyond the count", 5, {9}, 4},
    {"no rows", 0, {0}, -1},
  };
  batch_mode_flag = true;
  for ( const case_t &c : cases )
  {
    bool alive = true;
    auto *list = new test_multi_list_t(numbered_rows(c.rows), "Batch", chooser_modal | (4 + 1) << chooser_kind_shift);
    list->alive = &alive;
    test_app().refreshes.clear();
    qvector<uint64_t> default_rows;
    for ( const uint64_t row : c.default_rows )
      default_rows.push_back(row);
    EXPECT_EQ(list->open_chooser(&default_rows), c.expected) << c.name;
    EXPECT_FALSE(alive) << c.name << ": the list is deleted";
    EXPECT_TRUE(live_chooser_widgets().empty()) << c.name;
    EXPECT_EQ(test_app().refreshes, (std::vector<std::pair<uint64_t, bool>> {{uint64_t(1) << 4, false}})) << c.name;
  }

  // A single-selection list answers its index, clamped the same way; a kept list survives.
  auto *single = new test_single_list_t(numbered_rows(3), "Single", chooser_modal | chooser_keep);
  const int64_t seven = 7;
  EXPECT_EQ(single->open_chooser(&seven), 2);
  EXPECT_EQ(single->closings, 1);
  single->prepare_result = false;
  EXPECT_EQ(single->open_chooser(&seven), chooser_prepare_failed);
  delete single;
}

TEST_F(ChooserSource, SameListOpenedTwiceBringsTheFirstForward)
{
  bool first_alive = true;
  auto *first = new test_multi_list_t(numbered_rows(4), "Sites");
  first->identity = "site-list";
  first->alive = &first_alive;
  EXPECT_EQ(first->open_chooser(), 0);
  ASSERT_EQ(factory.presented.size(), 1u);
  EXPECT_EQ(factory.placements, (std::vector<uint32_t> {0x400000}));

  bool second_alive = true;
  auto *second = new test_multi_list_t(numbered_rows(4), "Sites");
  second->identity = "site-list";
  second->alive = &second_alive;
  EXPECT_EQ(second->open_chooser(), chooser_brought_forward);
  EXPECT_FALSE(second_alive) << "the second source is deleted";
  EXPECT_TRUE(first_alive);
  EXPECT_EQ(live_chooser_widgets().size(), 1u);

  // A kept second source survives; with the reopen flag the first list is prepared again.
  auto kept = std::make_unique<test_multi_list_t>(numbered_rows(4), "Sites", chooser_keep | chooser_reopen);
  kept->identity = "site-list";
  const int prepares = first->prepares;
  EXPECT_EQ(kept->open_chooser(), chooser_brought_forward);
  EXPECT_EQ(first->prepares, prepares + 1);
  EXPECT_EQ(kept->prepares, 0) << "the new source is never shown";

  // The reopen flag makes a failing prepare of the open list an error.
  first->prepare_result = false;
  auto failing = std::make_unique<test_multi_list_t>(numbered_rows(4), "Sites", chooser_keep | chooser_reopen);
  failing->identity = "site-list";
  EXPECT_EQ(failing->open_chooser(), chooser_prepare_failed);
  EXPECT_TRUE(first_alive);
}

TEST_F(ChooserSource, OtherIdentityReplacesTheOpenList)
{
  struct case_t
  {
    const char *name;
    std::string first_identity;
    std::string second_identity;
  };
  const case_t cases[] = {
    {"empty identities", "", ""},
    {"different identities", "a", "b"},
  };
  for ( const case_t &c : cases )
  {
    bool first_alive = true;
    auto *first = new test_multi_list_t(numbered_rows(2), "History");
    first->identity = c.first_identity;
    first->alive = &first_alive;
    EXPECT_EQ(first->open_chooser(), 0) << c.name;
    auto *second = new test_multi_list_t(numbered_rows(3), "History");
    second->identity = c.second_identity;
    EXPECT_EQ(second->open_chooser(), 0) << c.name;
    EXPECT_FALSE(first_alive) << c.name << ": the first widget was closed with its source";
    ASSERT_EQ(live_chooser_widgets().size(), 1u) << c.name;
    EXPECT_EQ(live_chooser_widgets().front()->source(), second) << c.name;
    delete live_chooser_widgets().front();
  }
}

TEST_F(ChooserSource, FailingPrepareIsAnErrorOnlyWithTheReopenFlag)
{
  auto *shown = new test_multi_list_t(numbered_rows(2), "Shown anyway");
  shown->prepare_result = false;
  EXPECT_EQ(shown->open_chooser(), 0);
  EXPECT_NE(find_chooser_widget_by_object(shown), nullptr);

  bool alive = true;
  auto *refused = new test_multi_list_t(numbered_rows(2), "Refused", chooser_reopen);
  refused->prepare_result = false;
  refused->alive = &alive;
  EXPECT_EQ(refused->open_chooser(), chooser_prepare_failed);
  EXPECT_FALSE(alive);
  EXPECT_EQ(find_chooser_widget_by_title("Refused"), nullptr);
}

TEST_F(ChooserSource, TitlesLoseTheirHelpMarkerAndPrefixes)
{
  struct case_t
  {
    const char *title;
    const char *window_title;
    int32_t help_id;
    bool status_bar;
  };
  const case_t cases[] = {
    {"Plain", "Plain", chooser_default_help, true},
    {"@0:812[]\nWith help", "With help", 812, true},
    {"NOSTATUSBAR\nQuiet", "Quiet", chooser_default_help, false},
    {"NOMAINMENU\nNOSTATUSBAR\nBoth", "Both", chooser_default_help, false},
    {"NOSTATUSBAR\nNOMAINMENU\nOther order", "Other order", chooser_default_help, false},
    {"Users @0:9[]\n", "Users ", 9, true},
    {"NOMAINMENU\n", "", chooser_default_help, true},
  };
  for ( const case_t &c : cases )
  {
    auto *list = new test_multi_list_t(numbered_rows(1), c.title);
    chooser_widget_t *widget = make_widget(list);
    EXPECT_EQ(widget->windowTitle().toStdString(), c.window_title) << c.title;
    EXPECT_EQ(widget->help_id(), c.help_id) << c.title;
    EXPECT_EQ(widget->form_help(), c.help_id) << c.title;
    EXPECT_EQ(!widget->status_bar()->isHidden(), c.status_bar) << c.title;
    EXPECT_EQ(find_chooser_widget_by_title(c.title), widget) << c.title;
    delete widget;
  }
  // The flag hides the status bar as the prefix does.
  chooser_widget_t *flagged = make_widget(new test_multi_list_t(numbered_rows(1), "Flagged", chooser_no_status_bar));
  EXPECT_TRUE(flagged->status_bar()->isHidden());
}

TEST_F(ChooserSource, HeaderTextsGiveTitlesAndTooltips)
{
  auto *list = new test_multi_list_t({{"a", "b", "c", "d", "e"}}, "Header");
  list->set_header({"#Full path of the file#Path", "#Size", "Plain", "#tip##Two marks", ""});
  chooser_widget_t *widget = make_widget(list);
  const QAbstractItemModel *model = widget->table()->model();
  const auto header = [&](int section, int role) { return model->headerData(section, Qt::Horizontal, role); };
  EXPECT_EQ(header(0, Qt::DisplayRole).toString(), "Path");
  EXPECT_EQ(header(0, Qt::ToolTipRole).toString(), "Full path of the file");
  EXPECT_EQ(header(1, Qt::DisplayRole).toString(), "#Size") << "a lone leading '#' is part of the title";
  EXPECT_EQ(header(1, Qt::ToolTipRole).toString(), "");
  EXPECT_EQ(header(2, Qt::DisplayRole).toString(), "Plain");
  EXPECT_EQ(header(3, Qt::DisplayRole).toString(), "Two marks");
  EXPECT_EQ(header(3, Qt::ToolTipRole).toString(), "tip#");
  EXPECT_EQ(header(4, Qt::EditRole).toString(), "");
  EXPECT_FALSE(header(5, Qt::DisplayRole).isValid()) << "beyond the columns";
  EXPECT_FALSE(header(0, Qt::DecorationRole).isValid());
  EXPECT_FALSE(model->headerData(0, Qt::Vertical, Qt::DisplayRole).isValid());

  // Without header texts every title is empty.
  chooser_widget_t *bare = make_widget(new test_multi_list_t({{"x", "y"}}, "Bare"));
  EXPECT_EQ(bare->table()->model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "");
}

TEST_F(ChooserSource, LookupsFindLiveWidgetsAndEmbeddedTitles)
{
  auto *docked = new test_multi_list_t(numbered_rows(1), "Worklists");
  chooser_widget_t *plain = make_widget(docked);
  auto *in_form = new test_multi_list_t(numbered_rows(1), "ignored");
  QWidget *embedded_widget = in_form->embedded_list()->create_embedded_widget("Commit", 12);
  chooser_widget_t *embedded = as_chooser_widget(embedded_widget);
  ASSERT_NE(embedded, nullptr);
  EXPECT_EQ(embedded->source(), in_form);
  EXPECT_EQ(embedded->windowTitle(), "Commit:12");

  struct case_t
  {
    const char *title;
    chooser_widget_t *found;
  };
  const case_t cases[] = {
    {"Worklists", plain},    {"@0:5[]\nWorklists", plain}, {"Commit", embedded}, {"Commit:12", embedded},
    {"Work", nullptr},       {"Commit:", nullptr},          {"Comm", nullptr},    {nullptr, nullptr},
  };
  for ( const case_t &c : cases )
    EXPECT_EQ(find_chooser_widget_by_title(c.title), c.found) << (c.title != nullptr ? c.title : "(null)");
  EXPECT_EQ(find_chooser_widget_by_object(docked), plain);
  EXPECT_EQ(find_chooser_widget_by_object(nullptr), nullptr);
  EXPECT_TRUE(is_live_chooser_widget(plain));

  EXPECT_TRUE(close_chooser_by_title("Commit")) << "found, though an embedded list stays open";
  EXPECT_TRUE(is_live_chooser_widget(embedded));
  EXPECT_FALSE(close_chooser_by_title("Nothing"));
  delete embedded_widget;
  EXPECT_FALSE(is_live_chooser_widget(embedded));
}

TEST_F(ChooserSource, SelectionHelpers)
{
  test_multi_list_t list(numbered_rows(5), "Helpers");
  qvector<uint64_t> selection {1, 2};
  list.make_single_selection(&selection, 9);
  EXPECT_EQ(selection, (qvector<uint64_t> {4}));
  list.make_single_selection(&selection, 2);
  EXPECT_EQ(selection, (qvector<uint64_t> {2}));
  list.rows.clear();
  list.make_single_selection(&selection, 0);
  EXPECT_TRUE(selection.empty());

  qvector<uint64_t> many {3, 4, 7};
  EXPECT_TRUE(selection_pop_back(&many));
  EXPECT_TRUE(selection_pop_back(&many));
  EXPECT_FALSE(selection_pop_back(&many)) << "the last index stays";
  EXPECT_EQ(many, (qvector<uint64_t> {3}));
}

TEST_F(ChooserSource, SingleSelectionOperationsGiveOneRowBack)
{
  struct case_t
  {
    const char *name;
    chooser_single_result_t answer;
    int code;
    qvector<uint64_t> rows;
  };
  const case_t cases[] = {
    {"rebuild with a row", {7, chooser_rebuild}, chooser_rebuild, {7}},
    {"rebuild with nothing", {-1, chooser_rebuild}, chooser_rebuild, {}},
    {"unchanged keeps the rows", {5, chooser_unchanged}, chooser_unchanged, {2, 3}},
    {"another code rewrites them too", {1, 2}, 2, {1}},
  };
  for ( const case_t &c : cases )
  {
    test_single_list_t list(numbered_rows(9), "Single");
    list.on_edit = [&](int64_t) { return c.answer; };
    qvector<uint64_t> rows {2, 3};
    EXPECT_EQ(list.run_row_operation(chooser_row_op_t::edit, &rows), c.code) << c.name;
    EXPECT_EQ(rows, c.rows) << c.name;
    EXPECT_EQ(list.calls, (std::vector<std::string> {"edit 2"})) << c.name << ": the first row is passed";
  }
  test_single_list_t list(numbered_rows(2), "Single");
  qvector<uint64_t> none;
  EXPECT_EQ(list.run_row_operation(chooser_row_op_t::reload, &none), chooser_rebuild);
  EXPECT_EQ(list.calls, (std::vector<std::string> {"reload -1"}));
}

TEST_F(ChooserSource, EmbeddedListBorrowsAndReturnsItsTitle)
{
  test_multi_list_t list(numbered_rows(2), "");
  list.title = nullptr;
  form_chooser_t *embedded = list.embedded_list();
  EXPECT_TRUE(embedded->title().isEmpty());
  embedded->set_title("Rows");
  EXPECT_EQ(embedded->title(), "Rows");
  EXPECT_STREQ(list.title, "Rows");
  embedded->set_title(QString());
  EXPECT_EQ(list.title, nullptr);
  EXPECT_EQ(embedded->state_word(), 0u);
  list.flags = chooser_reopen;
  EXPECT_EQ(embedded->state_word(), chooser_reopen);

  list.set_widths({10, 2000 | column_hidden, 0});
  EXPECT_EQ(embedded->natural_width(), 11 + 1001 + 1 + 2) << "widths in glyphs, at most 1000 each";
  list.columns = 0;
  EXPECT_EQ(embedded->natural_width(), 0);
}

} // namespace

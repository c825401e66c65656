// The filtered-view engine on a small test widget: leading rows, conditions, highlight, the row cache, the
// quick filter with its fuzzy sorting, posted model updates, row notifications and restored selections.
#include "views/filter/filtered_widget_mixin.h"

#include "core/ui_callback.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/support/seeded_random.h"
#include "tests/ui/app/screenshots.h"
#include "tests/views/filtered_test_widget.h"
#include "tests/views/make_condition.h"
#include "ui/view_interfaces.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using names_t = std::vector<std::string>;

std::unique_ptr<test_filtered_widget_t> flat_list(const names_t &names)
{
  auto widget = std::make_unique<test_filtered_widget_t>(std::vector<test_folder_t>(), make_rows(names));
  widget->show();
  return widget;
}

// A tree: folders "docs" and "src" (leading rows of the root), then root rows.
std::unique_ptr<test_filtered_widget_t> small_tree()
{
  std::vector<test_folder_t> folders = {
    {1001, "docs", make_rows({"guide.md", "notes.txt", "api.md"}, 100)},
    {1002, "src", make_rows({"main.cpp", "filter.cpp", "filter.h"}, 200)},
  };
  auto widget =
    std::make_unique<test_filtered_widget_t>(std::move(folders), make_rows({"zeta.txt", "alpha.md", "Makefile"}));
  widget->view()->expandAll();
  widget->show();
  return widget;
}

filter_condition_t quick(uint32_t flags, const std::string &text)
{
  filter_condition_t c;
  c.flags = flags;
  c.set_text(text);
  return c;
}

void select_names(test_filtered_widget_t &w, const names_t &names, const std::string &current)
{
  w.view()->clearSelection();
  for ( const std::string &name : names )
    w.view()->selectionModel()->select(w.index_of(name), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  w.view()->selectionModel()->setCurrentIndex(w.index_of(current), QItemSelectionModel::NoUpdate);
}

} // namespace

TEST(FilteredWidget, RegistryFindsTheEngineOfAWidgetAndReusesClearedEntries)
{
  auto first = flat_list({"a"});
  EXPECT_EQ(find_filtered_widget_mixin(first.get()), first.get());
  EXPECT_EQ(filter_engine_of(first.get()), static_cast<filtered_widget_mixin_t *>(first.get()));
  EXPECT_EQ(find_filtered_widget_mixin(nullptr), nullptr);
  EXPECT_EQ(find_filtered_widget_mixin(first->view()), nullptr);
  QWidget *gone = first.get();
  first.reset();
  EXPECT_EQ(find_filtered_widget_mixin(gone), nullptr);
  auto second = flat_list({"b"});
  EXPECT_EQ(find_filtered_widget_mixin(second.get()), second.get());
}

TEST(FilteredWidget, LeadingRowsStayPutWhateverTheFilterAndSort)
{
  auto w = small_tree();
  EXPECT_EQ(w->shown_names(), (names_t{"docs", "src", "zeta.txt", "alpha.md", "Makefile"}));
  w->apply_quick_filter(quick(0, "zzz"));
  EXPECT_EQ(w->shown_names(), (names_t{"docs", "src"}));
  w->apply_quick_filter(quick(0, "a"));
  EXPECT_EQ(w->shown_names(), (names_t{"docs", "src", "zeta.txt", "alpha.md", "Makefile"}));
  EXPECT_EQ(w->shown_names(w->model()->index(0, 0)), (names_t{"api.md"}));
  w->set_sorting(new_bucket_column_sorting(0, sort_order_descending, 0));
  w->post_model_update(0, true);
  ASSERT_TRUE(w->flush_model_update());
  EXPECT_EQ(w->shown_names(), (names_t{"docs", "src", "zeta.txt", "alpha.md", "Makefile"}));
  EXPECT_EQ(w->shown_names(w->model()->index(1, 0)), (names_t{"main.cpp"}));
  w->apply_quick_filter(quick(0, ""));
  EXPECT_EQ(w->shown_names(w->model()->index(1, 0)), (names_t{"main.cpp", "filter.h", "filter.cpp"}));
  save_screenshot(*w, "sorted-descending");
}

TEST(FilteredWidget, ConditionsDecideInListOrder)
{
  struct case_t
  {
    const char *name;
    std::vector<filter_condition_t> conditions;
    names_t shown;
  };
  const uint32_t exclude = filter_action_exclude;
  const names_t all = {"apple", "apricot", "banana", "cherry", "grape"};
  const std::vector<case_t> cases = {
    {"no condition", {}, all},
    {"include", {make_condition(0, "ap")}, {"apple", "apricot", "grape"}},
    {"exclude", {make_condition(exclude, "ap")}, {"banana", "cherry"}},
    {"exclude before include", {make_condition(exclude, "apr"), make_condition(0, "ap")}, {"apple", "grape"}},
    {"include before exclude", {make_condition(0, "ap"), make_condition(exclude, "apr")},
     {"apple", "apricot", "grape"}},
    {"disabled only", {make_condition(filter_disabled, "ap")}, all},
    {"highlight only", {make_condition(filter_action_highlight, "ap")}, all},
    {"two includes", {make_condition(0, "ch"), make_condition(0, "ban")}, {"banana", "cherry"}},
  };
  auto w = flat_list(all);
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    w->set_conditions(c.conditions);
    EXPECT_EQ(w->shown_names(), c.shown);
  }
}

TEST(FilteredWidget, HighlightColourComesFromTheFirstMatchingHighlightCondition)
{
  auto w = flat_list({"apple", "banana", "cherry"});
  EXPECT_EQ(w->row_filter_result(1, 0x111), 0x111u);
  filter_condition_t red = make_condition(filter_action_highlight, "an");
  red.color = 0x0000FF;
  filter_condition_t green = make_condition(filter_action_highlight, "a");
  green.color = 0x00FF00;
  w->set_conditions({red, green});
  EXPECT_EQ(w->row_filter_result_cached(1, 7), 0x00FF00u); // apple
  EXPECT_EQ(w->row_filter_result_cached(2, 7), 0x0000FFu); // banana
  EXPECT_EQ(w->row_filter_result_cached(3, 7), 7u);        // cherry
  EXPECT_EQ(w->row_filter_result_cached(99, 7), 7u);       // no such row
  EXPECT_EQ(w->shown_names(), (names_t{"apple", "banana", "cherry"}));
  red.flags |= filter_disabled;
  w->set_conditions({red, green});
  EXPECT_EQ(w->row_filter_result_cached(2, 7), 0x00FF00u);
}

TEST(FilteredWidget, RowCacheIsLoadedLazilyAndOnce)
{
  auto w = flat_list({"one", "two", "three", "four"});
  QCoreApplication::processEvents();
  EXPECT_EQ(w->loads, 0);
  EXPECT_GT(w->fetches, 0); // painted rows are fetched one by one
  w->apply_quick_filter(quick(0, "o"));
  EXPECT_EQ(w->loads, 1);
  const int fetched = w->fetches;
  w->apply_quick_filter(quick(0, "t"));
  w->apply_quick_filter(quick(0, "tw"));
  EXPECT_EQ(w->shown_names(), (names_t{"two"}));
  QCoreApplication::processEvents();
  EXPECT_EQ(w->loads, 1);
  EXPECT_EQ(w->fetches, fetched); // every row comes from the cache now
  w->reset_buckets();
  EXPECT_EQ(w->engine_flags() & engine_rows_loaded, 0u);
  EXPECT_EQ(w->loads, 1);
  // The rows loaded again are filtered as they come: the bucket rebuilt before any filtering pass agrees.
  EXPECT_EQ(w->shown_names(), (names_t{"two"}));
  EXPECT_EQ(w->loads, 2);
}

TEST(FilteredWidget, QuickFilterTypedAndClearedKeepsTheSelection)
{
  auto w = flat_list({"alpha", "beta", "gamma", "delta", "epsilon"});
  select_names(*w, {"beta", "delta", "epsilon"}, "delta");
  w->apply_quick_filter(quick(0, "ta"));
  EXPECT_EQ(w->shown_names(), (names_t{"beta", "delta"}));
  EXPECT_EQ(w->conditions().size(), 1u);
  EXPECT_NE(w->conditions()[0].flags & filter_quick_filter, 0u);
  EXPECT_EQ(w->selected_names(), (names_t{"beta", "delta"}));
  EXPECT_EQ(w->current_name(), "delta");
  save_screenshot(*w, "filtered");

  w->apply_quick_filter(quick(0, ""));
  EXPECT_TRUE(w->conditions().empty());
  EXPECT_EQ(w->shown_names(), (names_t{"alpha", "beta", "gamma", "delta", "epsilon"}));
  EXPECT_EQ(w->selected_names(), (names_t{"beta", "delta"}));
  EXPECT_EQ(w->current_name(), "delta");
}

TEST(FilteredWidget, QuickFilterStaysFirstBesideColumnFilters)
{
  auto w = flat_list({"apple", "apricot", "banana"});
  w->set_conditions({make_condition(filter_action_exclude, "cot")});
  w->apply_quick_filter(quick(0, "ap"));
  ASSERT_EQ(w->conditions().size(), 2u);
  EXPECT_NE(w->conditions()[0].flags & filter_quick_filter, 0u);
  EXPECT_EQ(w->shown_names(), (names_t{"apple", "apricot"})); // the quick filter decides first
  w->set_conditions({make_condition(0, "an")});
  ASSERT_EQ(w->conditions().size(), 2u);
  EXPECT_EQ(w->conditions()[0].query, qstring("ap"));
  EXPECT_EQ(w->conditions()[1].flags & filter_quick_filter, 0u);
}

TEST(FilteredWidget, ExpressionThatDoesNotCompileKeepsThePreviousCondition)
{
  recording_ui_callback_t ui;
  auto w = flat_list({"abc", "abd", "xyz"});
  w->apply_quick_filter(quick(filter_mode_regex, "ab[cd]"));
  EXPECT_EQ(w->shown_names(), (names_t{"abc", "abd"}));
  w->apply_quick_filter(quick(filter_mode_regex, "ab[c"));
  EXPECT_EQ(w->shown_names(), (names_t{"abc", "abd"}));
  ASSERT_EQ(w->conditions().size(), 1u);
  EXPECT_EQ(w->conditions()[0].query, qstring("ab[cd]"));
  EXPECT_EQ(ui.requests_of(ui_code_log).size(), 1u);
  w->apply_quick_filter(quick(filter_mode_whole_words, "xyz"));
  EXPECT_EQ(w->shown_names(), (names_t{"xyz"}));
}

TEST(FilteredWidget, ExpressionOverItsBudgetOnTheRowsIsDroppedLikeOneThatDoesNotCompile)
{
  recording_ui_callback_t ui;
  const std::string long_a = std::string(100000, 'a') + "!";
  auto w = flat_list({"abc", long_a, "xyz", "bcd"});
  const auto logged_over_budget = [&ui] {
    for ( const ui_request_record_t &r : ui.requests_of(ui_code_log) )
      if ( r.text.rfind("regex over budget, dropped: ", 0) == 0 )
        return true;
    return false;
  };

  w->apply_quick_filter(quick(0, "bc"));
  const names_t before = w->shown_names();
  EXPECT_EQ(before, (names_t{"abc", "bcd"}));
  w->apply_quick_filter(quick(filter_mode_regex, "(a+)+$"));
  EXPECT_TRUE(logged_over_budget());
  EXPECT_EQ(w->shown_names(), before);
  ASSERT_EQ(w->conditions().size(), 1u);
  EXPECT_EQ(w->conditions()[0].query, qstring("bc"));

  // The fuzzy condition before it comes back with its ranking.
  w->apply_quick_filter(quick(filter_mode_fuzzy, "bc"));
  ASSERT_NE(w->sorting(), nullptr);
  w->apply_quick_filter(quick(filter_mode_regex, "(a|aa)+$"));
  EXPECT_EQ(w->conditions()[0].mode(), filter_mode_fuzzy);
  ASSERT_NE(w->sorting(), nullptr);
  EXPECT_EQ(w->sorting()->kind, bucket_sorting_strategy_t::fuzzy_sorting);
  EXPECT_EQ(w->shown_names().size(), 2u);

  // Without a condition before it, the list shows every row again.
  w->apply_quick_filter(quick(0, ""));
  w->apply_quick_filter(quick(filter_mode_regex, "(a+)+$"));
  EXPECT_TRUE(w->conditions().empty());
  EXPECT_EQ(w->shown_names().size(), 4u);
}

TEST(FilteredWidget, FuzzyModeSortsByRankAndOnlyItsOwnSortingIsDropped)
{
  const names_t names = {"fbx", "foo_bar", "xfxbx", "FooBar", "zzz"};
  auto w = flat_list(names);
  w->apply_quick_filter(quick(filter_mode_fuzzy, "fb"));
  ASSERT_NE(w->sorting(), nullptr);
  EXPECT_EQ(w->sorting()->kind, bucket_sorting_strategy_t::fuzzy_sorting);
  const names_t ranked = w->shown_names();
  EXPECT_EQ(ranked.size(), 4u);
  EXPECT_EQ(ranked.back(), "xfxbx");

  // Back to substring mode: the fuzzy sorting goes, the source order comes back.
  w->apply_quick_filter(quick(filter_mode_substring, "fb"));
  EXPECT_EQ(w->sorting(), nullptr);
  EXPECT_EQ(w->shown_names(), (names_t{"fbx"}));
  w->apply_quick_filter(quick(0, ""));
  EXPECT_EQ(w->shown_names(), names);

  // A column sorting installed while fuzzy mode is on stays when the mode changes.
  w->apply_quick_filter(quick(filter_mode_fuzzy, "fb"));
  w->set_sorting(new_bucket_column_sorting(0, 0, 0));
  w->apply_quick_filter(quick(filter_mode_substring, "o"));
  ASSERT_NE(w->sorting(), nullptr);
  EXPECT_EQ(w->sorting()->kind, bucket_sorting_strategy_t::column_sorting);
  EXPECT_EQ(w->shown_names(), (names_t{"FooBar", "foo_bar"}));
}

TEST(FilteredWidget, RowsInItalicsReReadTheirFont)
{
  auto w = flat_list({"a", "b"});
  QSignalSpy layouts(w->model(), &QAbstractItemModel::layoutChanged);
  w->set_rows_italic(true);
  w->set_rows_italic(true);
  EXPECT_EQ(layouts.count(), 1);
  EXPECT_TRUE(w->model()->index(0, 0).data(Qt::FontRole).value<QFont>().italic());
  w->set_rows_italic(false);
  EXPECT_EQ(layouts.count(), 2);
}

// ---- Model updates -----------------------------------------------------------------------------------

TEST(FilteredWidgetUpdates, TwoNotificationsPostOneEventAndAForcedPostReplacesIt)
{
  auto w = flat_list({"a", "b", "c"});
  w->post_model_update(1, false);
  w->post_model_update(2, false);
  EXPECT_EQ(w->engine_flags() & engine_idle, 0u);
  QCoreApplication::processEvents();
  EXPECT_EQ(w->reload_reasons, (std::vector<uint32_t>{1}));
  EXPECT_NE(w->engine_flags() & engine_idle, 0u);

  w->post_model_update(1, false);
  w->post_model_update(0x20, true);
  QCoreApplication::processEvents();
  EXPECT_EQ(w->reload_reasons, (std::vector<uint32_t>{1, 0x20}));
}

TEST(FilteredWidgetUpdates, NothingAppliesAfterTheBlockingEvent)
{
  auto w = flat_list({"a", "b", "c"});
  w->post_model_update(1, false);
  QEvent block(block_updates_event_type);
  QCoreApplication::sendEvent(w.get(), &block);
  QCoreApplication::processEvents();
  EXPECT_TRUE(w->reload_reasons.empty());
  EXPECT_NE(w->engine_flags() & engine_blocked, 0u);
  w->post_model_update(2, true);
  EXPECT_FALSE(w->update_pending(true));
  EXPECT_FALSE(w->flush_model_update());
  QCoreApplication::processEvents();
  EXPECT_TRUE(w->reload_reasons.empty());
}

TEST(FilteredWidgetUpdates, FlushAppliesThePendingUpdateAtOnce)
{
  auto w = flat_list({"a", "b"});
  EXPECT_TRUE(w->flush_model_update()); // nothing pending
  EXPECT_TRUE(w->reload_reasons.empty());
  w->rows = make_rows({"a", "b", "c"});
  w->post_model_update(0, false);
  EXPECT_TRUE(w->flush_model_update());
  EXPECT_EQ(w->reload_reasons, (std::vector<uint32_t>{0}));
  EXPECT_EQ(w->shown_names(), (names_t{"a", "b", "c"}));
  QCoreApplication::processEvents();
  EXPECT_EQ(w->reload_reasons.size(), 1u);
}

TEST(FilteredWidgetUpdates, RowsRemovedAndInsertedAtTheEndOfTheBucket)
{
  auto w = flat_list({"r1", "r2", "r3", "r4", "r5"});
  QSignalSpy removed(w->model(), &QAbstractItemModel::rowsAboutToBeRemoved);
  QSignalSpy inserted(w->model(), &QAbstractItemModel::rowsAboutToBeInserted);
  w->rows = make_rows({"r1", "r2", "r3"});
  w->post_model_update(0, false);
  QCoreApplication::processEvents();
  ASSERT_EQ(removed.count(), 1);
  EXPECT_FALSE(removed[0][0].value<QModelIndex>().isValid());
  EXPECT_EQ(removed[0][1].toInt(), 3);
  EXPECT_EQ(removed[0][2].toInt(), 4);
  EXPECT_EQ(inserted.count(), 0);

  w->rows = make_rows({"r1", "r2", "r3", "r4", "r5"});
  w->post_model_update(0, false);
  QCoreApplication::processEvents();
  ASSERT_EQ(inserted.count(), 1);
  EXPECT_EQ(inserted[0][1].toInt(), 3);
  EXPECT_EQ(inserted[0][2].toInt(), 4);
  EXPECT_EQ(w->shown_names(), (names_t{"r1", "r2", "r3", "r4", "r5"}));
}

TEST(FilteredWidgetUpdates, FolderRowsAreToldUnderTheirParent)
{
  auto w = small_tree();
  QSignalSpy removed(w->model(), &QAbstractItemModel::rowsAboutToBeRemoved);
  w->apply_quick_filter(quick(0, ".md"));
  ASSERT_EQ(removed.count(), 3); // the root (5 -> 3), docs (3 -> 2), src (3 -> 0)
  EXPECT_FALSE(removed[0][0].value<QModelIndex>().isValid());
  EXPECT_EQ(removed[0][1].toInt(), 3);
  EXPECT_EQ(removed[1][0].value<QModelIndex>().row(), 0);
  EXPECT_EQ(removed[1][1].toInt(), 2);
  EXPECT_EQ(removed[2][0].value<QModelIndex>().row(), 1);
  EXPECT_EQ(removed[2][1].toInt(), 0);
  EXPECT_EQ(w->shown_names(w->model()->index(1, 0)), names_t{});
  const uint64_t keys[] = {0, 1, 2, 77};
  EXPECT_EQ(w->total_shown_rows(keys), 3u + 2u + 0u);
  EXPECT_NE(w->cached_bucket(2), nullptr);
  EXPECT_EQ(w->cached_bucket(77), nullptr);
}

TEST(FilteredWidgetUpdates, SelectionAndCurrentRowSurviveTheUpdate)
{
  auto w = small_tree();
  select_names(*w, {"notes.txt", "filter.cpp", "Makefile"}, "filter.cpp");
  // The data changes: a row before the selected ones goes, one comes after them.
  w->folders[1].rows.erase(w->folders[1].rows.begin());
  w->rows.push_back({900, "new.txt", "9"});
  w->post_model_update(0, false);
  QCoreApplication::processEvents();
  EXPECT_EQ(w->selected_names(), (names_t{"Makefile", "filter.cpp", "notes.txt"}));
  EXPECT_EQ(w->current_name(), "filter.cpp");
  EXPECT_EQ(w->view()->currentIndex().row(), 0);
  EXPECT_EQ(w->shown_names(), (names_t{"docs", "src", "zeta.txt", "alpha.md", "Makefile", "new.txt"}));
  EXPECT_EQ(w->engine_flags() & (engine_syncing | engine_syncing_rows | engine_applying_update), 0u);
  save_screenshot(*w, "after-update");
}

TEST(FilteredWidgetUpdates, AutoScrollIsHeldOffForItsReason)
{
  auto w = flat_list({"a", "b"});
  ASSERT_TRUE(w->view()->hasAutoScroll());
  w->post_model_update(update_no_auto_scroll, false);
  QCoreApplication::processEvents();
  w->post_model_update(0, false);
  QCoreApplication::processEvents();
  EXPECT_EQ(w->auto_scroll_in_reload, (std::vector<bool>{false, true}));
  EXPECT_TRUE(w->view()->hasAutoScroll());
}

// ---- Seeded queries ----------------------------------------------------------------------------------

namespace {

const char *const row_pieces[] = {"src", "Foo", "bar", "_", "/", ".", "x", "Q", "\xC3\xA9", "\xC3\x89", "7", "fb", " ",
                                  "\xFF", "\xC3", "a"};
const char *const query_pieces[] = {"a", "b", "fo", "F", "x", ".", "*", "(", "|", "\xC3\xA9", "\xFF", "(a+)+$", "[",
                                    "\\b", "_", " "};

std::string random_piece_text(std::mt19937 &rng, const char *const *pieces, size_t count, size_t max_pieces)
{
  std::string text;
  for ( size_t n = rng() % (max_pieces + 1); n > 0; --n )
    text += pieces[rng() % count];
  return text;
}

bool ascii_only(const std::string &text)
{
  return std::all_of(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0x80) == 0; });
}

// The plain reference of a case-insensitive ASCII substring test.
bool contains_folded(std::string text, std::string query)
{
  for ( std::string *s : {&text, &query} )
    for ( char &c : *s )
      c = char(std::tolower(static_cast<unsigned char>(c)));
  return text.find(query) != std::string::npos;
}

} // namespace

TEST(FilteredWidget, SeededQueriesAndModesKeepRowsAndViewsConsistent)
{
  recording_ui_callback_t ui; // expressions that do not compile are logged
  std::mt19937 rng(20261210);
  std::vector<test_folder_t> folders = {{5001, "one", {}}, {5002, "two", {}}};
  std::vector<test_row_t> rows;
  uint64_t key = 1;
  for ( int i = 0; i < 60; ++i )
  {
    const std::string name = random_piece_text(rng, row_pieces, std::size(row_pieces), 8);
    test_row_t row {key++, name, std::to_string(rng() % 5000)};
    if ( i % 3 == 0 )
      folders[size_t(i / 3) % 2].rows.push_back(row);
    else
      rows.push_back(row);
  }
  rows.push_back({key++, std::string(200000, 'a') + "b", "1"}); // a long row for the catastrophic expressions
  test_filtered_widget_t w(folders, rows);
  w.view()->expandAll();
  w.show();

  for ( int round = 0; round < seeded_runs(300); ++round )
  {
    const std::string query = random_piece_text(rng, query_pieces, std::size(query_pieces), 3);
    const uint32_t flags = uint32_t(rng() % 4) | (rng() % 2 == 0 ? filter_match_case : 0u);
    w.apply_quick_filter(quick(flags, query));
    SCOPED_TRACE(query + " flags " + std::to_string(flags));

    // The folders lead the root whatever the query; no row is shown twice.
    const names_t shown = w.shown_names();
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown[0], "one");
    EXPECT_EQ(shown[1], "two");
    EXPECT_EQ(int(shown.size()), w.model()->rowCount());
    if ( (flags & filter_mode_mask) == filter_mode_substring && (flags & filter_match_case) == 0 && ascii_only(query)
         && !query.empty() )
    {
      names_t expected = {"one", "two"};
      for ( const test_row_t &row : w.rows )
        if ( contains_folded(row.name, query) || contains_folded(row.size, query) )
          expected.push_back(QString::fromStdString(row.name).toStdString()); // as the model shows it
      EXPECT_EQ(shown, expected);
    }
    if ( round % 50 == 0 )
      QCoreApplication::processEvents();
  }
  w.apply_quick_filter(quick(0, ""));
  EXPECT_EQ(w.shown_names().size(), 2 + w.rows.size());
}

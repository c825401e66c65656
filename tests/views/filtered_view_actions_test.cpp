// The standard actions of filtered views: every state their update functions give, what each one does when
// triggered, and the search prompts that end in the row search.
#include "tests/support/recording_ui_callback.h"
#include "tests/ui/app/event_pump.h"
#include "tests/views/filtered_test_widget.h"
#include "tests/views/form_request_player.h"
#include "tests/views/view_actions.h"
#include "ui/action_context.h"
#include "views/chooser/quick_filter_input.h"
#include "views/filter/quick_filter_widget.h"

#include <QHeaderView>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace
{

using names_t = std::vector<std::string>;

// The test widget as a chooser widget would be: the chooser actions are for it.
class chooser_like_widget_t : public test_filtered_widget_t, public chooser_view_t
{
public:
  using test_filtered_widget_t::test_filtered_widget_t;
  QString chooser_title() const override { return windowTitle(); }
  std::vector<int> selected_indexes() const override { return {}; }
  chooser_base_t *chooser_data() const override { return nullptr; }
  QHeaderView *shown_header() const override { return view()->header(); }
};

// Pins the widget as the one actions apply to, for the life of the object.
struct pinned_t
{
  explicit pinned_t(QWidget *widget) { test_app().action_provider().pinned_widget = widget; }
  ~pinned_t() { test_app().action_provider().pinned_widget = nullptr; }
};

int state_of(const char *name)
{
  ui_action_context_provider_t &provider = test_app().action_provider();
  const action_ctx_ptr<ui_action_update_ctx_t> context(provider.new_update_context());
  provider.fill_update_context(context.get());
  return find_ui_action(name)->recompute_state(context.get());
}

template <typename Widget = test_filtered_widget_t>
std::unique_ptr<Widget> list_of(const names_t &names, const char *title)
{
  register_filtered_view_actions();
  auto widget = std::make_unique<Widget>(std::vector<test_folder_t>(), make_rows(names));
  widget->setWindowTitle(QString::fromLatin1(title));
  widget->add_quick_filter_bar();
  widget->show();
  return widget;
}

filter_condition_t quick(const char *text)
{
  filter_condition_t c;
  c.set_text(text);
  return c;
}

} // namespace

TEST(FilteredViewActions, UpdateStatesFollowTheEngineOfTheContext)
{
  auto plain = list_of({"a", "b"}, "states list");
  auto chooser = list_of<chooser_like_widget_t>({"a", "b"}, "states chooser");
  QWidget no_engine;

  constexpr int E = ACTION_STATE_ENABLED, I = ACTION_STATE_INITIAL, N = ACTION_STATE_NOT_FOR_WIDGET,
                D = ACTION_STATE_MISSING_CONTEXT;
  struct row_t
  {
    const char *why;
    QWidget *widget;
    std::function<void(test_filtered_widget_t &)> arrange;
    // Unsort, QuickFilter, ModifyFilters, ResetFilters, Search, SearchAgain, for the DirTree row and the Chooser row.
    std::vector<int> dirtree;
    std::vector<int> chooser;
  };
  const auto nothing = [](test_filtered_widget_t &) {};
  const std::vector<row_t> rows = {
    {"a list without sorting or conditions", plain.get(), nothing, {D, E, E, D, E, E}, {N, N, N, N, N, N}},
    {"sorted, with a condition", plain.get(),
     [](test_filtered_widget_t &w) {
       w.set_sorting(std::make_unique<bucket_column_sorting_t>(0, 0, false));
       w.set_conditions({quick("a")});
     },
     {I, E, E, I, E, E}, {N, N, N, N, N, N}},
    {"sorting and the quick filter not allowed", plain.get(),
     [](test_filtered_widget_t &w) {
       w.allow_sorting = false;
       w.allow_quick_filter = false;
     },
     {N, N, N, N, E, E}, {N, N, N, N, N, N}},
    {"a chooser", chooser.get(), nothing, {D, E, E, D, E, E}, {D, E, E, D, E, E}},
    {"a chooser with a condition", chooser.get(), [](test_filtered_widget_t &w) { w.set_conditions({quick("b")}); },
     {D, E, E, I, E, E}, {D, E, E, I, E, E}},
    {"a widget without an engine", &no_engine, nullptr, {N, N, N, N, N, N}, {N, N, N, N, N, N}},
  };
  const std::vector<std::string> actions = {"Unsort", "QuickFilter", "ModifyFilters", "ResetFilters", "Search",
                                            "SearchAgain"};
  for ( const row_t &row : rows )
  {
    if ( row.arrange )
      row.arrange(*dynamic_cast<test_filtered_widget_t *>(row.widget));
    const pinned_t pinned(row.widget);
    for ( size_t i = 0; i < actions.size(); ++i )
    {
      EXPECT_EQ(state_of(("DirTree" + actions[i]).c_str()), row.dirtree[i]) << row.why << ": DirTree" << actions[i];
      EXPECT_EQ(state_of(("Chooser" + actions[i]).c_str()), row.chooser[i]) << row.why << ": Chooser" << actions[i];
    }
  }
}

TEST(FilteredViewActions, ModeActionsNeedTheFocusInABarWhoseEngineAllowsFiltering)
{
  auto w = list_of({"a"}, "mode states list");
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  const char *const modes[] = {"QuickFilterMatchCase", "QuickFilterModeRegex", "QuickFilterModeFuzzy",
                               "QuickFilterModeWholeWords"};
  w->view()->setFocus();
  for ( const char *mode : modes )
    EXPECT_EQ(state_of(mode), ACTION_STATE_NOT_FOR_WIDGET) << mode << ": no bar has the focus";
  w->set_quick_filter_visible(true);
  ASSERT_TRUE(w->quick_filter()->input()->hasFocus());
  for ( const char *mode : modes )
    EXPECT_EQ(state_of(mode), ACTION_STATE_ENABLED) << mode;
  w->allow_quick_filter = false;
  for ( const char *mode : modes )
    EXPECT_EQ(state_of(mode), ACTION_STATE_NOT_FOR_WIDGET) << mode << ": the engine refuses the quick filter";
}

TEST(FilteredViewActions, QuickFilterShowsTheBarAndUnsortDropsTheSorting)
{
  auto w = list_of({"b", "a", "c"}, "show list");
  const pinned_t pinned(w.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  EXPECT_FALSE(w->quick_filter()->isVisible());
  trigger("DirTreeQuickFilter");
  EXPECT_TRUE(w->quick_filter()->isVisible());
  EXPECT_TRUE(w->quick_filter()->input()->hasFocus());

  w->set_sorting(std::make_unique<bucket_column_sorting_t>(0, 0, false));
  EXPECT_EQ(w->shown_names(), names_t({"a", "b", "c"}));
  trigger("DirTreeUnsort");
  EXPECT_EQ(w->sorting(), nullptr);
  EXPECT_EQ(w->shown_names(), names_t({"b", "a", "c"}));
  EXPECT_EQ(state_of("DirTreeUnsort"), ACTION_STATE_MISSING_CONTEXT);
}

TEST(FilteredViewActions, ResetFiltersRemovesEveryConditionAndHidesTheBar)
{
  for ( const bool sorted : {false, true} )
  {
    auto w = list_of({"alpha", "beta", "gamma"}, sorted ? "reset sorted list" : "reset list");
    const pinned_t pinned(w.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    if ( sorted )
      w->set_sorting(std::make_unique<bucket_column_sorting_t>(0, 0, true));
    w->set_quick_filter_visible(true);
    QTest::keyClicks(w->quick_filter()->input(), "al");
    ASSERT_TRUE(pump_until([&] { return !w->conditions().empty(); }, 2s)) << sorted;
    filter_condition_t exclude = quick("beta");
    exclude.flags = filter_action_exclude;
    w->set_conditions({exclude});
    ASSERT_EQ(w->conditions().size(), 2u) << sorted;
    ASSERT_EQ(w->shown_names(), names_t({"alpha"})) << sorted;
    w->view()->setCurrentIndex(w->index_of("alpha"));

    const int loads = w->loads;
    trigger("DirTreeResetFilters");
    EXPECT_TRUE(w->conditions().empty()) << sorted;
    EXPECT_FALSE(w->quick_filter()->isVisible()) << sorted;
    EXPECT_EQ(w->shown_names(), sorted ? names_t({"gamma", "beta", "alpha"}) : names_t({"alpha", "beta", "gamma"}))
      << sorted;
    EXPECT_EQ(w->current_name(), "alpha") << sorted << ": the current row stays";
    EXPECT_EQ(qaction_of("DirTreeResetFilters")->isEnabled(), false) << sorted << ": refreshed at once";
    // An unsorted list loads its rows afresh on the next filtered access; a sorted one keeps them.
    w->set_conditions({quick("a")});
    EXPECT_EQ(w->loads, sorted ? loads : loads + 1) << sorted;
  }
}

TEST(FilteredViewActions, BothResetActionsFollowTheQuickFilterAtOnce)
{
  auto w = list_of({"alpha", "beta"}, "refresh list");
  auto c = list_of<chooser_like_widget_t>({"alpha", "beta"}, "refresh chooser");
  for ( test_filtered_widget_t *widget : {static_cast<test_filtered_widget_t *>(w.get()),
                                          static_cast<test_filtered_widget_t *>(c.get())} )
  {
    const pinned_t pinned(widget);
    (void)state_of("ChooserResetFilters");
    (void)state_of("DirTreeResetFilters");
    ASSERT_FALSE(qaction_of("DirTreeResetFilters")->isEnabled());
    test_app().action_provider().update_reasons.clear();
    widget->apply_quick_filter(quick("al"));
    EXPECT_EQ(test_app().action_provider().update_reasons, std::vector<int>({UPDACT_LISTED}));
    EXPECT_TRUE(qaction_of("DirTreeResetFilters")->isEnabled());
    EXPECT_EQ(qaction_of("ChooserResetFilters")->isEnabled(), widget == c.get());
    widget->apply_quick_filter(quick(""));
    EXPECT_FALSE(qaction_of("DirTreeResetFilters")->isEnabled());
    EXPECT_FALSE(qaction_of("ChooserResetFilters")->isEnabled());
  }
}

TEST(FilteredViewActions, SearchPromptsAndSearchAgainGoesOnFromTheCurrentRow)
{
  auto w = list_of({"red apple", "banana", "green apple", "cherry"}, "search list");
  const pinned_t pinned(w.get());
  w->view()->setCurrentIndex(w->index_of("banana"));
  recording_ui_callback_t ui;
  ui.script_form(form_dialog_player([](hosted_form_t &form) {
    auto *combo = form.control<QComboBox>('q');
    ASSERT_NE(combo, nullptr);
    QLineEdit *line = combo->lineEdit();
    QTest::keyClicks(line, "APPLE");
    QTest::keyClick(line, Qt::Key_Return);
  }));
  trigger("DirTreeSearch");
  EXPECT_EQ(w->last_search, "APPLE");
  EXPECT_EQ(w->current_name(), "green apple");
  trigger("ChooserSearchAgain"); // not for this widget: nothing happens
  EXPECT_EQ(w->current_name(), "green apple");
  trigger("DirTreeSearchAgain");
  EXPECT_EQ(w->current_name(), "red apple") << "round to the top";
  EXPECT_EQ(w->selected_names(), names_t({"red apple"}));

  // Nothing more to find: logged, and the current row stays.
  w->last_search = "kiwi";
  trigger("DirTreeSearchAgain");
  EXPECT_EQ(w->current_name(), "red apple");
  ASSERT_FALSE(ui.requests_of(ui_code_log).empty());
  EXPECT_EQ(ui.requests_of(ui_code_log).back().text, "String \"kiwi\" not found\n");
}

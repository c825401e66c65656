// The standard actions of filtered views and the quick filter's mode switches.
#include "views/filter/filtered_view_actions.h"

#include "ui/action_context.h"
#include "ui/app_base.h"
#include "views/chooser/column_filters_dialog.h"
#include "views/filter/filtered_widget_mixin.h"
#include "views/filter/quick_filter_widget.h"

#include <array>

namespace
{

filtered_widget_mixin_t *engine_of(action_ctx_base_t *context)
{
  app_t *app = current_app();
  ui_action_context_provider_t *provider = app != nullptr ? app->get_action_context_provider() : nullptr;
  return provider != nullptr ? provider->context_filtered_widget(context) : nullptr;
}

// ---- Handlers -------------------------------------------------------------------------------------------

template <void (*command)(filtered_widget_mixin_t &)>
int on_engine(ui_action_activation_ctx_t *context)
{
  filtered_widget_mixin_t *engine = engine_of(context);
  if ( engine == nullptr )
    return 0;
  command(*engine);
  return 1;
}

void show_quick_filter(filtered_widget_mixin_t &engine)
{
  engine.set_quick_filter_visible(true);
}

void modify_filters(filtered_widget_mixin_t &engine)
{
  view_snapshot_t snapshot;
  if ( !edit_filters_dialog_run(&engine, &snapshot) )
    return;
  engine.resync_view(snapshot, 0);
  refresh_reset_filters_actions();
  engine.expand_all_if_filtered();
}

void reset_filters(filtered_widget_mixin_t &engine)
{
  engine.reset_filters();
}

void unsort(filtered_widget_mixin_t &engine)
{
  engine.reset_view_sort();
}

void search(filtered_widget_mixin_t &engine)
{
  engine.prompt_search(engine.item_view());
}

void search_again(filtered_widget_mixin_t &engine)
{
  engine.repeat_search(engine.item_view());
}

int filter_state(ui_action_t *, ui_action_update_ctx_t *context)
{
  filtered_widget_mixin_t *engine = engine_of(context);
  return engine != nullptr && engine->quick_filter_allowed() ? ACTION_STATE_ENABLED : ACTION_STATE_NOT_FOR_WIDGET;
}

int reset_state(ui_action_t *, ui_action_update_ctx_t *context)
{
  filtered_widget_mixin_t *engine = engine_of(context);
  if ( engine == nullptr || !engine->quick_filter_allowed() )
    return ACTION_STATE_NOT_FOR_WIDGET;
  return engine->conditions().empty() ? ACTION_STATE_MISSING_CONTEXT : ACTION_STATE_INITIAL;
}

int unsort_state(ui_action_t *, ui_action_update_ctx_t *context)
{
  filtered_widget_mixin_t *engine = engine_of(context);
  if ( engine == nullptr || !engine->sorting_allowed() )
    return ACTION_STATE_NOT_FOR_WIDGET;
  return engine->sorting() != nullptr ? ACTION_STATE_INITIAL : ACTION_STATE_MISSING_CONTEXT;
}

int search_state(ui_action_t *, ui_action_update_ctx_t *context)
{
  return engine_of(context) != nullptr ? ACTION_STATE_ENABLED : ACTION_STATE_NOT_FOR_WIDGET;
}

// The mode switches act on the bar whose input has the focus.
quick_filter_widget_t *bar_of(action_ctx_base_t *context)
{
  return qobject_cast<quick_filter_widget_t *>(context->quick_filter_owner);
}

template <uint32_t mode>
int toggle_mode(ui_action_activation_ctx_t *context)
{
  quick_filter_widget_t *bar = bar_of(context);
  if ( bar == nullptr )
    return 0;
  if constexpr ( mode == filter_match_case )
    bar->set_flags(bar->flags() ^ filter_match_case);
  else
    bar->set_mode(bar->mode() == mode ? filter_mode_substring : mode);
  return 1;
}

int mode_state(ui_action_t *, ui_action_update_ctx_t *context)
{
  quick_filter_widget_t *bar = bar_of(context);
  if ( bar == nullptr )
    return ACTION_STATE_NOT_FOR_WIDGET;
  filtered_widget_mixin_t *engine = engine_of(context);
  if ( engine == nullptr )
    engine = bar->target_engine();
  return engine != nullptr && engine->quick_filter_allowed() ? ACTION_STATE_ENABLED : ACTION_STATE_NOT_FOR_WIDGET;
}

// ---- Descriptions ---------------------------------------------------------------------------------------

// The words each row is described by, as this framework's description holds them: the widget-kind mask, the
// context mask (the widget-class mask: 4 asks for a chooser widget), the menu kind (the spare word) and the
// menu flags (the low half of the context word, which is stored and not read), and the action flags.
struct row_words_t
{
  uint64_t widget_kinds;
  uint64_t context_mask;
  int menu_kind;
  uint32_t menu_flags;
};
constexpr row_words_t chooser_row = {0, WIDGET_CLASS_CHOOSER, 0, 0};
constexpr row_words_t dirtree_row = {~uint64_t(0), 0, 0, 8};
constexpr row_words_t mode_row = {~uint64_t(0), 0, 0, 0};

constexpr uint32_t unsort_flags = 0x40000;
constexpr uint32_t standard_flags = 0x1040000;
constexpr uint32_t dirtree_filter_flags = 0x1000000; // the tree's quick filter, modify and reset filters
constexpr uint32_t mode_flags = 0x210000;             // checkable

constexpr action_desc_t row(const char *name, action_desc_t::activate_fn activate, action_desc_t::update_fn update,
                            const char *label, const char *icon, const row_words_t &words, uint32_t flags)
{
  action_desc_t desc;
  desc.name = name;
  desc.activate = activate;
  desc.update = update;
  desc.spare = words.menu_kind;
  desc.widget_kinds = words.widget_kinds;
  desc.widget_classes = words.context_mask;
  desc.context_word = words.menu_flags;
  desc.flags = flags;
  desc.label = label;
  desc.icon = icon;
  return desc;
}

// The chooser row and its tree twin of one standard action.
struct twin_t
{
  const char *chooser_name;
  const char *dirtree_name;
  action_desc_t::activate_fn activate;
  action_desc_t::update_fn update;
  const char *label;
  const char *icon;
  uint32_t flags;
  uint32_t dirtree_flags;
};
constexpr std::array<twin_t, 6> twins = {{
  {"ChooserUnsort", "DirTreeUnsort", on_engine<unsort>, unsort_state, "Unsort", nullptr, unsort_flags,
   unsort_flags},
  {"ChooserQuickFilter", "DirTreeQuickFilter", on_engine<show_quick_filter>, filter_state, "Quick filter",
   "180.svg", standard_flags, dirtree_filter_flags},
  {"ChooserModifyFilters", "DirTreeModifyFilters", on_engine<modify_filters>, filter_state, "Modify filters...",
   "181.svg", standard_flags, dirtree_filter_flags},
  {"ChooserResetFilters", "DirTreeResetFilters", on_engine<reset_filters>, reset_state, "Reset filters", nullptr,
   standard_flags, dirtree_filter_flags},
  {"ChooserSearch", "DirTreeSearch", on_engine<search>, search_state, "Search...", nullptr, standard_flags,
   standard_flags},
  {"ChooserSearchAgain", "DirTreeSearchAgain", on_engine<search_again>, search_state, "Search again", nullptr,
   standard_flags, standard_flags},
}};

constexpr std::array<action_desc_t, 16> make_descs()
{
  std::array<action_desc_t, 16> descs {};
  for ( size_t i = 0; i < twins.size(); ++i )
  {
    const twin_t &t = twins[i];
    descs[i] = row(t.chooser_name, t.activate, t.update, t.label, t.icon, chooser_row, t.flags);
    descs[twins.size() + i] = row(t.dirtree_name, t.activate, t.update, t.label, t.icon, dirtree_row, t.dirtree_flags);
  }
  descs[12] = row("QuickFilterMatchCase", toggle_mode<filter_match_case>, mode_state, "Match case", nullptr, mode_row,
                  mode_flags);
  descs[13] = row("QuickFilterModeRegex", toggle_mode<filter_mode_regex>, mode_state, "Regular expression", nullptr,
                  mode_row, mode_flags);
  descs[14] = row("QuickFilterModeFuzzy", toggle_mode<filter_mode_fuzzy>, mode_state, "Fuzzy matching", nullptr,
                  mode_row, mode_flags);
  descs[15] = row("QuickFilterModeWholeWords", toggle_mode<filter_mode_whole_words>, mode_state, "Whole words",
                  nullptr, mode_row, mode_flags);
  return descs;
}

constexpr std::array<action_desc_t, 16> descs = make_descs();

} // namespace

std::span<const action_desc_t> filtered_view_action_descs()
{
  return descs;
}

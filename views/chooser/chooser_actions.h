// The chooser widget's actions: descriptions for the application's action table, and the names the widget and
// its menu refer to.
#pragma once

#include "ui/ui_action.h"
#include "views/chooser/chooser_base.h"

#include <cstdint>

#include <span>

class chooser_widget_t;
struct action_ctx_base_t;

inline constexpr char chooser_insert_action[] = "ChooserInsert";
inline constexpr char chooser_delete_action[] = "ChooserDelete";
inline constexpr char chooser_edit_action[] = "ChooserEdit";
inline constexpr char chooser_refresh_action[] = "ChooserRefresh";
inline constexpr char chooser_copy_action[] = "ChooserCopy";
inline constexpr char chooser_copy_all_action[] = "ChooserCopyAll";
inline constexpr char chooser_unsort_action[] = "ChooserUnsort";
inline constexpr char chooser_quick_filter_action[] = "ChooserQuickFilter";
inline constexpr char chooser_modify_filters_action[] = "ChooserModifyFilters";
inline constexpr char chooser_reset_filters_action[] = "ChooserResetFilters";
inline constexpr char chooser_search_action[] = "ChooserSearch";
inline constexpr char chooser_search_again_action[] = "ChooserSearchAgain";
inline constexpr char chooser_manage_columns_action[] = "ChooserManageColumns";
inline constexpr char chooser_hide_column_action[] = "ChooserHideColumn";
inline constexpr char chooser_toggle_tree_action[] = "ChooserToggleTree";

// The labels a source's empty popup names get: Insert, Delete, Edit, Refresh.
inline constexpr const char *chooser_standard_labels[4] = {"Insert...", "Delete", "Edit...", "Refresh"};
// The standard actions in the order of a source's popup names and descriptors.
inline constexpr const char *chooser_standard_actions[4] = {chooser_insert_action, chooser_delete_action,
                                                            chooser_edit_action, chooser_refresh_action};

// The source flags that offer them.
inline constexpr uint32_t chooser_standard_flags[4] = {chooser_can_insert, chooser_can_delete, chooser_can_edit,
                                                       chooser_can_refresh};

// The actions whose states follow each model load of a chooser, in order.
[[nodiscard]] std::span<const char *const> chooser_model_action_names();

// The widget's own nine actions (Insert, Delete, Edit, Refresh, Copy, Copy all, Columns..., Hide column, Show
// folders) for chooser widgets (widget class 0x4); their update handlers decide alone, also whether the action
// is visible. The filter and search actions of a chooser are the filter engine's. The table is static.
[[nodiscard]] std::span<const action_desc_t> chooser_action_descs();

// The chooser widget of an action context, null when the context has none.
[[nodiscard]] chooser_widget_t *context_chooser(action_ctx_base_t *context);

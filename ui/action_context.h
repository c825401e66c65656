// Action contexts (what an action applies to), update filters, and the provider that fills contexts and runs
// update passes.
#pragma once

#include "core/qstring.h"
#include "ui/view_interfaces.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class QAction;
class QWidget;
class log_widget_t;
class ui_action_t;

// What actions apply to. Promises: a fresh context has no widget, kind -1, header column -1 and empty
// selections; the tree selection pointer, when set, points at this context's own tree selection vector.
struct action_ctx_base_t
{
  action_ctx_base_t() = default;
  action_ctx_base_t(const action_ctx_base_t &) = delete;
  action_ctx_base_t &operator=(const action_ctx_base_t &) = delete;
  virtual ~action_ctx_base_t() = default;

  QWidget *widget = nullptr;          // the widget actions apply to
  int widget_kind = -1;               // its kind, -1 when none
  qstring title;                      // its title
  std::vector<int> chooser_selection; // selected items of a chooser widget
  qstring action_name;                // the action being updated or run
  QWidget *focus_widget = nullptr;    // the focus widget when it is the widget or inside it
  const dirtree_selection_t *tree_selection = nullptr; // &tree_selection_vector when that is not empty
  chooser_base_t *chooser = nullptr;  // the data source of a chooser widget
  int header_column = -1;             // logical column under the mouse pointer in a chooser's header
  filtered_widget_mixin_t *filter_engine = nullptr;
  QWidget *quick_filter_owner = nullptr; // the filter bar whose input holds the focus
  log_widget_t *log_widget = nullptr;    // the Output window when it is the widget or holds the focus
  dirtree_selection_t tree_selection_vector;
  dirtree_view_t *tree_view = nullptr;   // the tree view that is the widget or holds the focus
  bool has_tree_view = false;
};

// Widget-class flag of an update context whose widget is a chooser widget.
constexpr uint64_t WIDGET_CLASS_CHOOSER = 4;

// Context flags set by the base provider (bit numbers of ui_action_update_ctx_t::context_flags).
constexpr int CTX_BIT_CHOOSER_SELECTION = 32;
constexpr int CTX_BIT_CHOOSER_WIDGET = 33;   // a chooser widget and no tree view
constexpr int CTX_BIT_TREE_VIEW = 35;
constexpr int CTX_BIT_STANDALONE_TREE = 36;
constexpr int CTX_BIT_TREE_SELECTION = 38;
constexpr int CTX_BIT_TREE_FEATURE_3 = 39;   // 39, 40, 41: the model's features 3, 4, 5 for the root
constexpr uint64_t ctx_bit(int bit)
{
  return uint64_t(1) << bit;
}

// The context of an update pass.
struct ui_action_update_ctx_t : action_ctx_base_t
{
  uint64_t widget_class_flags = 0; // compared with an action's widget-class mask
  uint64_t context_flags = 0;      // compared with the upper half of an action's context word
};

// The context of an activation.
struct ui_action_activation_ctx_t : action_ctx_base_t
{
  int value = 0;
};

// Reasons of update passes.
enum updact_reason_t : int
{
  UPDACT_LISTED = 1,        // a listed set of actions (always with a filter)
  UPDACT_ACTION_RAN = 3,
  UPDACT_VIEW_CHANGED = 6,  // selection or contents of a tree or chooser view
  UPDACT_ACTIVATED = 7,     // a core widget became the active one, or a form window was activated
  UPDACT_DEACTIVATING = 8,  // the active core widget is about to change
  UPDACT_CONNECTION = 9,    // the server connection was made, lost or replaced
};

// Whether a pass with that reason recomputes an action in that state (0 to 7).
[[nodiscard]] bool state_recomputed_for(int state, int reason);

// Which actions a pass looks at. An entry is a name, or the QAction of an action. A name whose first byte is
// the character code 1 matches every action whose name begins with the rest of it.
struct update_action_filter_t
{
  struct entry_t
  {
    const QAction *qaction = nullptr;
    qstring name;
    bool is_name = false;
  };
  std::vector<entry_t> entries;

  void add_name(const char *name);
  void add_qaction(const QAction *qaction);
  // Only when the filter is empty: an entry with the QAction of each named action (unknown names skipped).
  void add_action_names(const char *const *names, size_t count);
  [[nodiscard]] bool matches(const ui_action_t *action) const;
};
// The lead byte of a prefix name entry.
constexpr char ACTION_FILTER_PREFIX = '\x01';

// Flags of do_update_actions.
constexpr int UPDACT_FLAG_SILENT = 1; // no UI callback codes 136 and 137
// UI callback codes around an update pass (the update context follows the code).
constexpr int32_t UI_CODE_BEFORE_ACTION_UPDATE = 136;
constexpr int32_t UI_CODE_AFTER_ACTION_UPDATE = 137;

// Creates and fills action contexts and runs update passes; the application implements it (the chooser and
// filter-engine lookups) and hands it out through _base_app_mixin_t::get_action_context_provider.
class ui_action_context_provider_t
{
public:
  virtual ~ui_action_context_provider_t() = default;

  // Common fields, then the context flags of the widget, its tree view and its chooser.
  virtual void fill_update_context(ui_action_update_ctx_t *context);
  // populate_context with flag 0.
  virtual void fill_activation_context(ui_action_activation_ctx_t *context);
  virtual ui_action_update_ctx_t *new_update_context();
  virtual ui_action_activation_ctx_t *new_activation_context();
  // True for the framework's chooser kinds: 0 to 10, 12 to 19, 35, 36, 41, 47 to 49 and 52 to 57.
  [[nodiscard]] virtual bool is_chooser_kind(int widget_kind);
  // The chooser widget of a context, null when none.
  virtual chooser_view_t *context_chooser_widget(action_ctx_base_t *context) = 0;
  // The filter engine of a context's widget, null when none.
  virtual filtered_widget_mixin_t *context_filtered_widget(action_ctx_base_t *context) = 0;
  // The update pass: recomputes, in registration order, each action that the filter (when given) matches and
  // whose state the reason recomputes. Internal error 40393 for a state outside 0 to 7.
  virtual void do_update_actions(int reason, ui_action_update_ctx_t *context, const update_action_filter_t *filter,
                                 int flags);
  // Every field back to its initial value.
  virtual void reset_context(action_ctx_base_t *context);
  // Reset, widgets, tree selection, title and chooser fields.
  virtual void populate_context(action_ctx_base_t *context, int flags);
  // The focused core widget, else the core widget of the most recent still visible widget that had the focus.
  virtual QWidget *current_widget();
  // Widget, kind, focus widget, tree view, quick-filter owner and filter engine.
  virtual void fill_context_widgets(action_ctx_base_t *context, int flags);

  // An update pass with a context of the application's provider, run by this provider.
  void refresh_actions(int reason, QWidget *ignored, const update_action_filter_t *filter);
};

// An update pass with a fresh context of the application's provider; nothing without an application.
void refresh_actions_for(int reason, QWidget *ignored, const update_action_filter_t *filter);
// Destroys a context made by a provider (nothing for null).
void delete_action_ctx(action_ctx_base_t *context);
// Owns a context made by a provider.
struct action_ctx_deleter_t
{
  void operator()(action_ctx_base_t *context) const { delete_action_ctx(context); }
};
template <typename Context>
using action_ctx_ptr = std::unique_ptr<Context, action_ctx_deleter_t>;

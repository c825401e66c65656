// What the framework needs of the list and tree views, which sit above it: interfaces the view widgets implement.
#pragma once

#include <cstdint>
#include <vector>

class QHeaderView;
class QString;
class QWidget;
class ui_dialog_t;

// Opaque here: a chooser's data source and a view's filter engine belong to the views library.
class chooser_base_t;
class filtered_widget_mixin_t;

// A position inside a directory tree: the position-th entry of a folder. The root folder's own cursor is
// {all ones, 0}; {all ones, any other position} is the empty cursor, the default.
struct dirtree_cursor_t
{
  int64_t folder = -1;
  int64_t position = -1;

  friend bool operator==(const dirtree_cursor_t &a, const dirtree_cursor_t &b)
  {
    return a.folder == b.folder && a.position == b.position;
  }
};
// The selection of a tree view: the cursors of its selected rows.
using dirtree_selection_t = std::vector<dirtree_cursor_t>;

// A chooser widget: shows a chooser_base_t as a table or a tree. Implemented by the views' chooser widget,
// next to its QWidget base.
class chooser_view_t
{
public:
  virtual ~chooser_view_t() = default;
  // The chooser's own window title.
  [[nodiscard]] virtual QString chooser_title() const = 0;
  // The chooser indexes of the current selection, in selection order.
  [[nodiscard]] virtual std::vector<int> selected_indexes() const = 0;
  // The data source shown (not owned).
  [[nodiscard]] virtual chooser_base_t *chooser_data() const = 0;
  // The header of the form shown: the tree form's header or the table form's horizontal header; null when none.
  [[nodiscard]] virtual QHeaderView *shown_header() const = 0;
};

// A directory-tree view. Implemented by the views' tree widget base.
class dirtree_view_t
{
public:
  virtual ~dirtree_view_t() = default;
  // The current selection, after any pending model update was applied.
  virtual void collect_current_selection(dirtree_selection_t &out) = 0;
  // True for the ready-made standalone tree widget.
  [[nodiscard]] virtual bool is_standalone_dirtree() const = 0;
  // The model's answer to a feature query for the root.
  [[nodiscard]] virtual bool model_supports(int feature) const = 0;
  // The view's filter engine, null when it has none.
  [[nodiscard]] virtual filtered_widget_mixin_t *tree_filter_engine() const = 0;
};

// The input line of a quick filter bar.
class quick_filter_input_view_t
{
public:
  virtual ~quick_filter_input_view_t() = default;
  // The quick filter bar that owns the input, null when its parent is of another kind.
  [[nodiscard]] virtual QWidget *owner_filter_widget() const = 0;
};

// A plain widget that hosts one standalone tree widget for docking.
class dirtree_host_view_t
{
public:
  virtual ~dirtree_host_view_t() = default;
  // The hosted tree widget, null once it is gone.
  [[nodiscard]] virtual dirtree_view_t *hosted_tree() const = 0;
};

// The widget as each kind of view, null when it is none (or null).
[[nodiscard]] chooser_view_t *as_chooser_view(QWidget *widget);
[[nodiscard]] dirtree_view_t *as_dirtree_view(QWidget *widget);
[[nodiscard]] quick_filter_input_view_t *as_quick_filter_input(QWidget *widget);
[[nodiscard]] dirtree_host_view_t *as_dirtree_host(QWidget *widget);

// True when the widget is a chooser widget.
[[nodiscard]] inline bool is_chooser_widget(QWidget *widget)
{
  return as_chooser_view(widget) != nullptr;
}

// The filter engines registered for widgets, as the views library keeps them: a lookup it installs.
using filter_engine_lookup_t = filtered_widget_mixin_t *(*)(QWidget *widget);
// Installs the lookup (null: no views library, every widget has no engine).
void set_filter_engine_lookup(filter_engine_lookup_t lookup);
// The engine registered for a widget, null for null, an unregistered widget or without a lookup.
[[nodiscard]] filtered_widget_mixin_t *filter_engine_of(QWidget *widget);

// The stock widgets of the list and tree views that the widget factory's base makes (slots 5 and 16): makers
// the views library installs with its first filter engine. A null maker makes nothing.
struct view_widget_makers_t
{
  QWidget *(*quick_filter_widget)(QWidget *parent) = nullptr;
  ui_dialog_t *(*edit_filters_dialog)(filtered_widget_mixin_t *engine, QWidget *parent) = nullptr;
};
// Installs the makers (GUI thread).
void set_view_widget_makers(const view_widget_makers_t &makers);
// The installed makers; both null until the views library installs them.
[[nodiscard]] const view_widget_makers_t &view_widget_makers();

// The nodes of a dock tree: the common base, the containers' base, the process-wide node registry and the walks.
#pragma once

#include <QIcon>
#include <QList>
#include <QString>
#include <QWidget>

#include <vector>

class DockArea;
class DockWidget;

// Kinds of node; code tests BaseDockWidget::node_type instead of casting.
enum dock_node_type_t : int
{
  dock_leaf_node = 0,     // DockWidget
  dock_splitter_node = 1, // DockSplitter
  dock_tab_node = 2,      // DockTab
};

// One node of a dock tree. Promises: every live node is listed in all_dock_nodes (in construction order)
// until it is destroyed; a hidden node keeps its place among its siblings but has no tab, no splitter space
// and no share in titles and counts.
class BaseDockWidget : public QWidget
{
  Q_OBJECT

public:
  explicit BaseDockWidget(int type);
  ~BaseDockWidget() override;

  // The node's title; the icon (the application's window icon unless a kind says otherwise).
  [[nodiscard]] virtual QString title() const = 0;
  [[nodiscard]] virtual QIcon icon() const;
  // Lays the node's widgets out again; the base does nothing.
  virtual void refresh_layout();

  [[nodiscard]] bool is_leaf() const { return node_type == dock_leaf_node; }

  const int node_type;
  bool hidden = false;   // closed without being removed from the tree
  int drag_offset_x = 0; // x of the mouse inside the title when a drag of this node began
};

// A node that holds other nodes in its container widget (a QSplitter or a QStackedWidget).
// Promises: its children are exactly the container's widgets; once the last child leaves, the node takes
// itself out of its parent and deletes itself later.
class ComplexDockWidget : public BaseDockWidget
{
  Q_OBJECT

public:
  explicit ComplexDockWidget(int type) : BaseDockWidget(type) {}

  // The titles of the children that are not hidden, in child order, joined with ", ".
  [[nodiscard]] QString title() const override;
  // Refreshes every child.
  void refresh_layout() override;

  // Reapplies state loaded from a saved layout.
  virtual void restore_state() = 0;
  // The child's index, -1 when it is not a child.
  [[nodiscard]] virtual int index_of(const BaseDockWidget *child) const = 0;
  // The i-th child, null out of range.
  [[nodiscard]] virtual BaseDockWidget *child_at(int i) const = 0;
  [[nodiscard]] virtual int child_count() const = 0;
  // Inserts the node (moving it from wherever it stood) and answers the index used.
  virtual int insert_child(int index, BaseDockWidget *node) = 0;
  // Makes the child at the index the shown one (tab groups); out of range: nothing.
  virtual void set_current(int index) = 0;
  // Remembers the state that apply_state puts back.
  virtual void save_state() = 0;
  virtual void apply_state() = 0;
  // Shows or hides the title bars of the leaf children as the kind wants; the base does nothing.
  virtual void update_title_bars();
  // The number of children that are not hidden.
  [[nodiscard]] virtual int visible_child_count() const;
  // The inner widget that holds the children.
  [[nodiscard]] virtual QWidget *container() const = 0;
  // Replaces a child container by its own children, at its place.
  virtual void absorb_child(BaseDockWidget *child) = 0;
  // Inserts the node at the index (-1: after the last child that is not hidden) and makes it current; answers
  // the index used.
  int insert_current(int index, BaseDockWidget *node);

  bool updating = false; // set while the node moves children itself

protected:
  // Watches the container: an emptied container deletes this node (never consumes the event).
  bool eventFilter(QObject *watched, QEvent *event) override;
  void paintEvent(QPaintEvent *event) override;
  // Moves the children of the child container p into this node at p's place, with updating set.
  void move_children_of(ComplexDockWidget *p);
  // The container's widget count after the child that an event removes has gone.
  [[nodiscard]] virtual int count_without(QObject *removed) const = 0;

private:
  bool deleting_ = false;
};

// The container of a node: the ComplexDockWidget whose QSplitter or QStackedWidget is the node's parent; null for
// a root or a node outside any tree.
[[nodiscard]] ComplexDockWidget *dock_container_of(const QWidget *node);
// The widget itself or its nearest ancestor that is a DockWidget; null when none.
[[nodiscard]] DockWidget *enclosing_dock_widget(QWidget *widget);
// The nearest ancestor (not the widget itself) that is a DockArea; null when none.
[[nodiscard]] DockArea *enclosing_dock_area(const QWidget *widget);
// Asks the nearest enclosing dock area for a deferred update of titles, tabs and title bars.
void request_area_update(QWidget *widget);

// The registry of live nodes, in construction order.
[[nodiscard]] const std::vector<BaseDockWidget *> &all_dock_nodes();
// Whether the pointer names a live node of the registry (payloads that carry addresses are checked with it).
[[nodiscard]] bool is_live_dock_node(const void *pointer);
// Takes the node out of the registry at once (a leaf whose content left; its destructor finds it gone).
void forget_dock_node(BaseDockWidget *node);
// The registered leaves, in registry order.
[[nodiscard]] QList<DockWidget *> leaf_dock_widgets();

// Makes the "active" property of every leaf's title bar true for the dock that encloses the focus widget and
// false for the others; title bars whose property changed are polished again.
void update_active_titles(QWidget *focus_widget);
// Invokes "on_layout_performed()" on the object when its class has it (a failed call is logged), then, depth
// first, on every child that is a live widget.
void notify_layout_performed(QObject *object);

// The visitor of the tree walks: a non-zero answer stops the walk and is its answer.
class DockWidgetVisitor
{
public:
  virtual ~DockWidgetVisitor() = default;
  virtual int visit(BaseDockWidget *node) = 0;
};

// Pre-order: the node, then (when the visit answered 0 and the node is complex) its children in order.
int walk(BaseDockWidget *node, DockWidgetVisitor &visitor);
// The leaves only, from the last to the first.
int walk_leaves_reverse(BaseDockWidget *node, DockWidgetVisitor &visitor);

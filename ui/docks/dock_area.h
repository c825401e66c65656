// The dock area: the widget that holds one tree of dock nodes and decides where nodes go; floating windows and
// the main window's top-level area are dock areas too.
#pragma once

#include "ui/docks/dock_node.h"
#include "ui/docks/dock_options.h"

#include <QList>
#include <QWidget>

#include <memory>

class QCloseEvent;
class QDropEvent;
class DockAreaDragTitle;
class DockWidget;
struct dock_area_private_t;

// Edge flags of the tree operations: the side, and 0x100 to size the new node from its size hint.
enum dock_edge_flags_t : int
{
  dock_edge_left = 0x1,
  dock_edge_top = 0x2,
  dock_edge_right = 0x4,
  dock_edge_bottom = 0x8,
  dock_edge_size_from_hint = 0x100,
};

// The framework event by which an area runs its deferred update of titles, tabs and title bars.
inline constexpr int dock_area_update_event = 2007;

// Process-wide dock counters (GUI thread only). Every change of a tree runs inside a layout batch: when the
// outermost batch ends, the top-level area's clean-up pass runs; when the outermost notify bracket ends,
// "on_layout_performed()" runs over the main window.
extern int layout_batch_depth;
extern int notify_depth;
// 0 idle, 1 a dock drag is being prepared, 2 the drag runs.
extern int drag_state;
enum : int
{
  drag_idle = 0,
  drag_preparing = 1,
  drag_running = 2,
};

// A layout batch for the life of the object; the depth comes back down also when an exception passes (the
// clean-up pass then does not run).
class layout_batch_t
{
public:
  layout_batch_t();
  // May raise what the clean-up pass raises (internal errors a thread asked to be thrown).
  ~layout_batch_t() noexcept(false);
  layout_batch_t(const layout_batch_t &) = delete;
  layout_batch_t &operator=(const layout_batch_t &) = delete;

private:
  int exceptions_;
};

// A notify bracket for the life of the object, exception-safe as layout_batch_t.
class notify_bracket_t
{
public:
  notify_bracket_t();
  ~notify_bracket_t() noexcept(false);
  notify_bracket_t(const notify_bracket_t &) = delete;
  notify_bracket_t &operator=(const notify_bracket_t &) = delete;

private:
  int exceptions_;
};

// Holds one tree of dock nodes. Promises: root() is a direct child of the area or null, and becomes null as
// soon as the root leaves the area; after every outermost batch the tree is minimal (no single-child
// containers, no splitter nested in one of the same orientation). An area is floating exactly when its parent
// is a DockArea.
class DockArea : public QWidget
{
  Q_OBJECT

public:
  explicit DockArea(QWidget *parent = nullptr);
  // Takes every dock out first (removeAllDocks), so that the docks survive the area.
  ~DockArea() override;

  QSize sizeHint() const override { return {400, 300}; }

  // ---- The tree ---------------------------------------------------------------------------------------
  [[nodiscard]] BaseDockWidget *root() const;
  // Replaces the root (the old one is taken out and deleted later; null leaves the area empty).
  void set_root(BaseDockWidget *node);
  // Places the root (and, in a floating area, the drag title above it).
  void layout_root();
  // Docks the node along an edge of the whole area (the public entry of dock_at_edge).
  BaseDockWidget *make_dock_visible(BaseDockWidget *node, int edge_flags);
  // A new splitter root around the old root with the node at the edge; answers the new splitter.
  BaseDockWidget *dock_at_edge(BaseDockWidget *node, int edge_flags);
  // Puts the node beside the target; answers the splitter holding the node (null when node is target).
  BaseDockWidget *split_dock(BaseDockWidget *node, BaseDockWidget *target, int edge_flags);
  // Puts the node as a tab of the target (index -1: after the last visible child); answers the tab group, or
  // null when no node was given or the target has no container.
  BaseDockWidget *tabify_dock(BaseDockWidget *node, BaseDockWidget *target, bool new_group, int index);
  // Shows and focuses the node (docking it at the right edge when it is in no area). Mode 0 only shows,
  // 1 also activates its window.
  void raise_dock(BaseDockWidget *node, int mode);
  void activate_dock(BaseDockWidget *node, int mode);
  // Shows the node and its containers from the root down; with select, tab groups select the path.
  void show_dock_path(BaseDockWidget *node, bool select);
  // Hides the node (and containers or the floating window left without anything visible).
  void hide_dock(BaseDockWidget *node);
  // Hides the dock of a widget in its area; ignored while a drag runs.
  static void hide_docked_widget(QWidget *widget);
  // Takes the node out of this area's tree.
  void detach_dock(BaseDockWidget *node);
  // Takes the node out of whatever area holds it; nothing when none does.
  static void detach_docked(BaseDockWidget *node);

  // ---- Searches and walks -------------------------------------------------------------------------------
  // The first node titled so: leaves first, then (for a title with a comma) containers; floating areas after.
  [[nodiscard]] BaseDockWidget *findDockView(const QString &title) const;
  [[nodiscard]] DockWidget *find_dock_widget(const QString &title) const;
  // Leaves in the subtree of the node (the root when null); only those not hidden with visible_only.
  [[nodiscard]] int countDockWidgets(bool visible_only, BaseDockWidget *node = nullptr) const;
  // Shows every node of the subtree that is not hidden (and is its tab group's saved current child).
  void enforceVisibility(BaseDockWidget *node);
  // Takes every dock out of the tree (and, on a top-level area with `with_floating`, out of every floating
  // area, which leaves the top-level area).
  void removeAllDocks(bool with_floating);
  // The first step of the clean-up pass alone.
  void simplify_root();
  // The clean-up pass: minimal tree, focus kept, deferred update, floating areas checked and tidied.
  void tidy();
  void set_updates_enabled_all(bool enabled);
  // Posts the deferred update unless one is pending.
  void request_update();
  [[nodiscard]] static DockWidget *focused_dock_widget();

  // ---- Floating windows, presentation and closing --------------------------------------------------------
  [[nodiscard]] bool is_floating() const;
  // The top-level area of this area (itself when it is not floating).
  [[nodiscard]] DockArea *top_dock_area();
  // The floating areas of a top-level area, in child order; empty for a floating area.
  [[nodiscard]] QList<DockArea *> floating_areas() const;
  // A new floating window under the top-level area, placed by the record when given.
  DockArea *new_floating_area(const dock_options_t *geometry);
  // Floats the node in a new floating window (default place without a geometry in the record).
  DockArea *float_dock(BaseDockWidget *node, const dock_options_t *record, bool expand_title);
  // Shows the node alone in a new floating window shown full screen.
  DockArea *full_screen_dock(BaseDockWidget *node);
  // Presents the widget as a dock placed by the record (reusing a dock of the same title); answers the dock.
  DockWidget *show_as_dock(QWidget *widget, const dock_options_t *record);
  // Closes the leaves of the node's subtree (last first) until one refuses; the closed ones are hidden and
  // handed to the application for deletion. The event is accepted exactly when none refused.
  void closeTree(BaseDockWidget *node, QCloseEvent *event, uint32_t options);
  // A floating area hides itself without visible docks and closes itself (after a running drag) without docks.
  void check_floating_empty();
  [[nodiscard]] DockAreaDragTitle *drag_title() const;
  [[nodiscard]] int top_offset() const;

  // ---- Drag and drop --------------------------------------------------------------------------------------
  // Puts the node where drop code `code` says (0 float at the point, 1 tab, 2-5 split, 6-9 edge).
  void drop_dock(int code, BaseDockWidget *node, const QPoint &global_point);
  // Decodes a drop event's payload and drops its node with the code; a payload that names no live node of
  // this process is ignored.
  void drop_payload(int code, QDropEvent *event);
  // Shows the cross on the target (null: keeps it hidden) and, outside floating areas, the edge arrows.
  void show_drop_arrows(BaseDockWidget *target);
  // Shows the rubber band where a drop with the code would put the dock.
  void show_drop_preview(int code);
  void hide_drop_indicators();
  [[nodiscard]] dock_area_private_t &drag_parts() const { return *d; }

protected:
  bool event(QEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void childEvent(QChildEvent *event) override;
  void changeEvent(QEvent *event) override;
  void closeEvent(QCloseEvent *event) override;
  void dragEnterEvent(QDragEnterEvent *event) override;
  void dragMoveEvent(QDragMoveEvent *event) override;
  void dropEvent(QDropEvent *event) override;

private slots:
  void hideDragArrowsTimeout();
  void tabDragRequest(BaseDockWidget *widget);

private:
  bool simplify(BaseDockWidget *node);
  void run_deferred_update();
  void emit_close_event(BaseDockWidget *node, QCloseEvent *event);
  void emit_docks_deletion(const QList<DockWidget *> &docks, uint32_t options);
  void show_in_area(DockWidget *dock, bool activate);

  std::unique_ptr<dock_area_private_t> d;
};

// The main window's area, registered with the application; every area emits its signals here.
class TopLevelDockArea : public DockArea
{
  Q_OBJECT

public:
  explicit TopLevelDockArea(QWidget *parent = nullptr) : DockArea(parent) {}

signals:
  void closeEventReceived(BaseDockWidget *dw, QCloseEvent *e);
  void user_request_docks_deletion(QList<DockWidget *> list, uint32_t options);
};

// The area's top-level area: its parent for a floating area, the area itself otherwise.
[[nodiscard]] DockArea *top_dock_area_of(DockArea *area);

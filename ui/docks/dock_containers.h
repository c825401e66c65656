// The inner nodes of a dock tree: a splitter of side-by-side children and a tab group showing one child at a time.
#pragma once

#include "ui/docks/dock_node.h"

#include <QList>
#include <QTabBar>

class QRubberBand;
class QSplitter;
class QStackedWidget;
class DockTab;

// Children side by side (horizontal) or one above the other (vertical) in a QSplitter.
// Promises: a hidden child takes no space; saved sizes give hidden children 0.
class DockSplitter : public ComplexDockWidget
{
  Q_OBJECT

public:
  explicit DockSplitter(Qt::Orientation orientation = Qt::Horizontal);

  // The only child's icon when that child is a leaf; else the application's window icon.
  [[nodiscard]] QIcon icon() const override;
  void refresh_layout() override;
  void restore_state() override {}
  [[nodiscard]] int index_of(const BaseDockWidget *child) const override;
  [[nodiscard]] BaseDockWidget *child_at(int i) const override;
  [[nodiscard]] int child_count() const override;
  int insert_child(int index, BaseDockWidget *node) override;
  void set_current(int /*index*/) override {}
  void save_state() override;
  void apply_state() override;
  // Shows the leaves' title bars, except in a floating area with at most one visible child.
  void update_title_bars() override;
  [[nodiscard]] QWidget *container() const override;
  // A splitter of the same orientation hands its children over with its space shared out by their sizes.
  void absorb_child(BaseDockWidget *child) override;

  [[nodiscard]] Qt::Orientation orientation() const;
  void set_orientation(Qt::Orientation orientation);
  [[nodiscard]] QSplitter *splitter() const { return splitter_; }
  // The length of the node along the splitter's orientation.
  [[nodiscard]] static int length_along(const QWidget *widget, Qt::Orientation orientation);

  QList<int> saved_sizes;

protected:
  [[nodiscard]] int count_without(QObject *removed) const override;

private:
  QSplitter *splitter_; // child
};

// The tab bar of a tab group: closable tabs, drops between tabs, reordering by drag.
class DockTabBar : public QTabBar
{
  Q_OBJECT

public:
  explicit DockTabBar(DockTab *owner);

  DockTab *const owner;
  int press_index = -1;
  int drop_index = -1;
  QRubberBand *drop_marker; // child
  int marker_width = 120;
  int release_depth = 0;

  // Puts the drop marker where a drop at the point would insert (drop_index follows).
  void update_drop_marker(const QPoint &point);

protected:
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void leaveEvent(QEvent *event) override;
  void dragEnterEvent(QDragEnterEvent *event) override;
  void dragMoveEvent(QDragMoveEvent *event) override;
  void dragLeaveEvent(QDragLeaveEvent *event) override;
  void dropEvent(QDropEvent *event) override;

private:
  // Asks the dock area above the tab group to drag the page of the tab.
  void request_tab_drag(int tab);
};

// Children on the pages of a QStackedWidget under a tab bar; only children that are not hidden have a tab,
// in child order.
class DockTab : public ComplexDockWidget
{
  Q_OBJECT

public:
  explicit DockTab(int saved_current = -1);

  [[nodiscard]] int index_of(const BaseDockWidget *child) const override;
  [[nodiscard]] BaseDockWidget *child_at(int i) const override;
  [[nodiscard]] int child_count() const override;
  int insert_child(int index, BaseDockWidget *node) override;
  void set_current(int index) override;
  void save_state() override;
  void restore_state() override;
  void apply_state() override { restore_state(); }
  // Hides every leaf child's title bar: the tab shows the title.
  void update_title_bars() override;
  [[nodiscard]] QWidget *container() const override;
  void absorb_child(BaseDockWidget *child) override;

  // The child index of tab t, -1 when there is none; the tab of child c, -1 when c is out of range or hidden.
  [[nodiscard]] int tab_to_child(int tab) const;
  [[nodiscard]] int child_to_tab(int child) const;
  // Makes the tabs match the visible children: texts, tooltips, icons, count.
  void sync_tabs();

  [[nodiscard]] DockTabBar *tab_bar() const { return tab_bar_; }
  [[nodiscard]] QStackedWidget *stack() const { return stack_; }

  int saved_current;
  BaseDockWidget *focus_target = nullptr; // the child being selected while a tab change runs

public slots:
  // Closes the page of the tab through the application (close_hosted_widget, flags 0).
  void requestCloseAt(int tab);

private slots:
  void dockTabChanged(int tab);
  void dockTabMoved(int from, int to);
  void dockStackedRemoved(int child);

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;
  [[nodiscard]] int count_without(QObject *removed) const override;

private:
  DockTabBar *tab_bar_;  // child
  QStackedWidget *stack_; // child
};

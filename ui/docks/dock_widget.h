// A leaf of a dock tree: a title bar above the one widget the application shows, and the place holder of a
// widget that a saved layout will put there.
#pragma once

#include "core/json_value.h"
#include "ui/docks/dock_node.h"

#include <QFrame>
#include <QPointer>

class QLabel;
class QPushButton;
class DockWidgetTitle;

// Flag of the DockWidget constructor: size the dock from the content's size hint.
inline constexpr uint32_t dock_size_from_hint = 0x1000000;

// A leaf: layout item 0 is its title bar, item 1 (when present) its content. Promises: its window title and
// icon mirror the content's; when the content leaves (or is destroyed) the dock leaves its area, the registry
// at once, and deletes itself later; a content whose close flags hold 0x40000000 survives the dock.
class DockWidget : public BaseDockWidget
{
  Q_OBJECT

public:
  // Builds the title bar and, with a content, hosts it (flag dock_size_from_hint: sized from its size hint).
  explicit DockWidget(QWidget *content, uint32_t flags = 0);
  ~DockWidget() override;

  // The content's window title (empty without content); the dock's own window icon.
  [[nodiscard]] QString title() const override;
  [[nodiscard]] QIcon icon() const override;

  // Copies the widget's window icon (flag 2) and window title (flag 1) to the dock, then refreshes the title
  // bar.
  virtual void sync_from_content(QWidget *widget, int flags);
  // When the content is a place holder: applies the configuration entries to the widget it stands for and
  // hosts that widget (through app_t::dock_widget_for) in its place. Nothing otherwise.
  void replace_place_holder(const json_object_t &config);
  // Shows the dock's window icon and title in its title bar.
  void refresh_title_bar();

  void setVisible(bool visible) override;

  [[nodiscard]] DockWidgetTitle *title_bar() const { return title_; }
  bool updating = false; // set while the content is being swapped

public slots:
  // Floats the dock in a new floating window (nothing outside an area).
  void makeFloating();
  // Asks the application to show the dock full screen (its enter_full_screen(DockWidget*) slot).
  void makeFullScreen();
  // Closes the dock through the application (close_hosted_widget, flags 0).
  void requestClose();

private slots:
  void showDock();

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;
  void changeEvent(QEvent *event) override;
  void childEvent(QChildEvent *event) override;
  void showEvent(QShowEvent *event) override;
  void focusInEvent(QFocusEvent *event) override;
  void closeEvent(QCloseEvent *event) override;
  bool focusNextPrevChild(bool next) override;
  void dragEnterEvent(QDragEnterEvent *event) override;
  void dragMoveEvent(QDragMoveEvent *event) override;
  void dragLeaveEvent(QDragLeaveEvent *event) override;
  void dropEvent(QDropEvent *event) override;

private:
  void host_content(QWidget *content);

  DockWidgetTitle *title_ = nullptr; // child
  bool destroying_ = false;
};

// The title bar of a dock: icon, title and the Fullscreen, Float and Close buttons; dragging it drags the dock.
class DockWidgetTitle : public QFrame
{
  Q_OBJECT

public:
  explicit DockWidgetTitle(DockWidget *dock);

  DockWidget *const dock;
  QLabel *icon_label = nullptr; // child, from the widget factory
  QLabel *text_label = nullptr; // child, from the widget factory
  int press_x = 0;

protected:
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;

private:
  QPoint press_point_;
};

// Stands as the content of a leaf while a saved layout is rebuilt; its window title is the real widget's.
class PlaceHolderWidget : public QWidget
{
  Q_OBJECT

public:
  explicit PlaceHolderWidget(QWidget *target);
  // The widget it stands for; null once that widget is gone.
  [[nodiscard]] QWidget *target() const { return target_; }

private:
  QPointer<QWidget> target_;
};

// Item 1 of the dock's layout (null when absent); with unwrap, a place holder gives the widget it stands for.
[[nodiscard]] QWidget *dock_content(const DockWidget *dock, bool unwrap = false);
// Item 0 of the dock's layout.
[[nodiscard]] DockWidgetTitle *dock_title_bar(const DockWidget *dock);
// Gives the keyboard focus to the dock's content with the reason.
void focus_dock_content(DockWidget *dock, Qt::FocusReason reason);
// Whether the widget's class is exactly PlaceHolderWidget.
[[nodiscard]] bool is_place_holder(const QWidget *widget);

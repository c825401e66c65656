// The drag title of a floating window: a thin strip above its docks that grows while hovered and drags them.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class QLabel;
class QPushButton;
class DockArea;

// Collapsed to 5 pixels except while the mouse hovers over it for more than 300 ms, and for 1300 ms after its
// area was floated or made full screen. Dragging it drags the area's root (or the root's only child).
class DockAreaDragTitle : public QWidget
{
  Q_OBJECT

public:
  explicit DockAreaDragTitle(DockArea *area);

  // Grows to show its label (and the exit button in full screen); nothing when expanded already.
  void expand();
  // Expands and starts the 1300 ms collapse timer (after floating and full screen).
  void expand_for_a_while();
  void collapse();
  [[nodiscard]] bool is_expanded() const { return expanded_; }

  static constexpr int collapsed_height = 5;
  static constexpr int hover_delay_ms = 300;
  static constexpr int collapse_delay_ms = 1300;

  QPointer<DockArea> area; // forgotten when a drag starts
  QLabel *label;             // child, from the widget factory
  QPushButton *exit_button;  // child
  QTimer hover_timer;
  QTimer collapse_timer;

protected:
  void enterEvent(QEvent *event) override;
  void leaveEvent(QEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;

private:
  bool expanded_ = false;
  QPoint press_point_;
};

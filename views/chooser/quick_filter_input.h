// The text line of the quick filter bar: typing delays, navigation keys for the view, mode glyphs and its
// context menu with the mode switches and the column choice.
#pragma once

#include "ui/ui_action.h"
#include "ui/view_interfaces.h"

#include <QBasicTimer>
#include <QLineEdit>
#include <QList>
#include <QPixmap>

#include <array>
#include <cstdint>

class QKeyEvent;
class filtered_widget_mixin_t;
class quick_filter_widget_t;

// Delays of the input: the filter follows the last key after the first, the history after the second.
inline constexpr int quick_filter_typing_delay_ms = 300;
inline constexpr int quick_filter_history_delay_ms = 2000;

// Indexes of the indicator glyphs.
inline constexpr int indicator_match_case = 0;
inline constexpr int indicator_count = 4; // then one per mode 1, 2, 3

// Internal errors of the indicator glyphs.
inline constexpr int32_t interr_indicator_glyph = 40531;
inline constexpr int32_t interr_indicator_pixmap = 40532;

// The input. Promises: a reserved key (Escape, Up, Down, Page Up, Page Down) never edits the text; the view
// gets its press through reserved_key_press. search_text_changed follows the last change of a non-empty
// text by the typing delay, and an emptied text at once; search_history_changed follows a non-empty text
// after the history delay, and never once the text was emptied.
class quick_filter_input_t : public QLineEdit, public quick_filter_input_view_t
{
  Q_OBJECT

public:
  explicit quick_filter_input_t(QWidget *parent);
  ~quick_filter_input_t() override;

  // The bar that owns the input: its parent when that is a bar, else null.
  [[nodiscard]] QWidget *owner_filter_widget() const override;
  [[nodiscard]] quick_filter_widget_t *owner_bar() const;
  // Whether the typing delay is running.
  [[nodiscard]] bool typing_pending() const { return typing_timer_.isActive(); }
  // Whether the history delay is running.
  [[nodiscard]] bool history_pending() const { return history_timer_.isActive(); }
  // The glyphs for the bar's state: the mode's (modes 1 to 3), then match case's when it is on.
  void mode_indicators(QList<QPixmap> *out, const quick_filter_widget_t &bar);
  // The left text margin: the indicator area's width and 2 pixels (other margins 0).
  void update_text_margins(const QList<QPixmap> &pixmaps);
  // The width of the indicator area for these glyphs.
  [[nodiscard]] static int indicator_area_width(const QList<QPixmap> &pixmaps);

signals:
  void reserved_key_press(const QKeyEvent &event);
  void search_text_changed(const QString &text);
  void search_history_changed(const QString &text);

public slots:
  void form_activate() {}
  void form_deactivate() {}
  // The mode switches and, when the bar serves an engine that allows it, the "Column" submenu.
  void populate_popup(void *popup);

protected:
  bool event(QEvent *event) override;
  void timerEvent(QTimerEvent *event) override;
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void contextMenuEvent(QContextMenuEvent *event) override;

private slots:
  void text_changed(const QString &text);

private:
  // The glyph at the input's height (cached per input).
  const QPixmap &scaled_glyph(int index);

  std::array<QPixmap, indicator_count> indicator_pixmaps_;
  QBasicTimer typing_timer_;
  QBasicTimer history_timer_;
};

// The handler of one entry of the "Column" submenu: makes the quick filter test that column (-1: all).
class target_quick_filter_column_ah_t : public action_handler_t
{
public:
  target_quick_filter_column_ah_t(filtered_widget_mixin_t *engine, int column) : engine_(engine), column_(column) {}
  // 0 when the engine has quick filtering switched off or no live bar; else the bar tests the column, the
  // engine applies the quick filter again, and 1.
  int activate(ui_action_activation_ctx_t *context) override;
  // 0.
  int update(ui_action_update_ctx_t *context) override;

private:
  filtered_widget_mixin_t *engine_; // not owned; alive while its popup is
  int column_;
};

// Small Qt-facing helpers shared by the framework, forms and views: splitters, centring, event walks, keys,
// label markup and fonts.
#pragma once

#include "core/json_value.h"
#include "ui/object_lifecycle_monitor.h"

#include <QColor>
#include <QFont>
#include <QKeySequence>
#include <QString>

#include <vector>

class QEvent;
class QKeyEvent;
class QObject;
class QSplitter;
class QWidget;

// Splitter partitions -------------------------------------------------------------------------------------

// Sizes the splitter's widgets by fractions of its length (height when vertical, width when horizontal):
// with p positive fractions and handle width h, size i = (length - h x (p - 1)) x fraction i, rounded.
// False, changing nothing, when the number of fractions differs from the widget count (or no splitter).
bool set_splitter_partitions(QSplitter *splitter, const std::vector<double> &fractions);
// Fractions of a JSON array of ints from 0 to 100 (value / 100). False, leaving *out alone, for anything
// else: not an array, an element that is not an int, or one out of range.
[[nodiscard]] bool partitions_from_json(std::vector<double> *out, const json_value_t &array);

// Placing windows -----------------------------------------------------------------------------------------

// Moves the widget's frame so that its centre sits on the centre of its screen. Null: nothing.
void center_on_screen(QWidget *widget);
// Moves the widget's frame so that its centre sits on the reference's centre (global coordinates); when the
// new position lies outside the reference's screen, centres the widget on that screen instead. Either
// null: nothing.
void center_over_widget(QWidget *widget, QWidget *reference);

// Objects and events --------------------------------------------------------------------------------------

// Sends the event to the object, then recursively to every child object in child order (not only
// widgets). Null object: nothing.
void send_event_to_widget_tree(QObject *object, QEvent *event);
// Whether the object is one of the application's live widgets.
[[nodiscard]] bool is_live_widget(const QObject *object);
// Whether the object's class has the method of this signature (as written in SLOT(), e.g. "set_font(QFont)").
[[nodiscard]] bool has_method(const QObject *object, const char *signature);

// Blocks the signals of an object for its own lifetime and then restores the previous state, unless the
// object was destroyed meanwhile. Promises: never touches a destroyed object.
class signal_blocker_t
{
public:
  explicit signal_blocker_t(QObject *object);
  ~signal_blocker_t();
  signal_blocker_t(const signal_blocker_t &) = delete;
  signal_blocker_t &operator=(const signal_blocker_t &) = delete;

private:
  object_lifecycle_monitor_t object_; // forgets the object when it is destroyed
  bool was_blocked_ = false;
};

// Keys ----------------------------------------------------------------------------------------------------

// The first key code of the sequence, 0 when it is empty.
[[nodiscard]] int first_key_of_sequence(const QKeySequence &sequence);
// Ctrl with Return or Enter and no other modifier, or Alt with K.
[[nodiscard]] bool is_dialog_accept_key(const QKeyEvent *event);

// Label markup --------------------------------------------------------------------------------------------

// Turns "~x~" hotkey markup into Qt's: the first '~' becomes '&', every later '~' is dropped, every '&' is
// doubled. The result is cut to 1023 bytes at a code-point boundary (never inside a doubled '&'), decoded
// from UTF-8 and trimmed. *has_hotkey (when not null) tells whether a '~' was seen. Null: empty string.
// "~D~etails..." gives "&Details...".
[[nodiscard]] QString hotkey_markup_to_qt(const char *text, bool *has_hotkey = nullptr);

// Fonts and colours ---------------------------------------------------------------------------------------

// The fixed-pitch family the framework prefers, and the one it falls back on.
[[nodiscard]] const char *preferred_fixed_font_name();
[[nodiscard]] const char *fallback_fixed_font_name();
// A font of the preferred fixed-pitch family (the fallback family next) of that point size, normal weight
// and style, with a fixed-pitch style hint so that a system without those families still picks a
// fixed-pitch one.
[[nodiscard]] QFont fixed_pitch_font(int point_size);
// Gives a widget a font that style sheets leave alone: through its "set_font(QFont)" slot when it has one
// (answering that slot's success), else QWidget::setFont plus the property "_q_styleSheetWidgetFont" (true).
// Null: false.
bool set_widget_font(QWidget *widget, const QFont &font);
// 2 x n x the line height of the widget's font, divided by 3 (truncated); the application font for null.
[[nodiscard]] int scaled_font_height(int n, const QWidget *widget);
// Black on a background whose red channel is 128 or more, else white.
[[nodiscard]] QColor contrasting_text_color(const QColor &background);

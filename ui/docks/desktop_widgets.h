// What ties desktop names to widgets and keeps per-widget state across desktops: the desktop widget factories,
// the widget-configuration events, the close flags and the process-wide list of closed docks.
#pragma once

#include "core/json_value.h"
#include "core/qstring.h"
#include "ui/docks/dock_options.h"

#include <QEvent>

#include <vector>

class QObject;
class QWidget;

// ---- Desktop widget factories ----------------------------------------------------------------------------------

// Creates the widget of a desktop name.
class desktop_widget_factory_t
{
public:
  virtual ~desktop_widget_factory_t() = default;
  // Whether this factory serves the name.
  [[nodiscard]] virtual bool matches(const char *name, const json_object_t *config) const = 0;
  // The widget of the name, or null.
  virtual QWidget *create_widget(const char *name, const json_object_t *config) = 0;
};

// A factory that serves one title: exactly (exact 1) or as a prefix (exact 0). Applications derive from it and
// supply create_widget.
class title_desktop_widget_factory_t : public desktop_widget_factory_t
{
public:
  // Internal error 40611 for a null or empty title.
  title_desktop_widget_factory_t(const char *title, int exact);
  // With exact, the name equals the title; otherwise it begins with it. The configuration is not looked at.
  [[nodiscard]] bool matches(const char *name, const json_object_t *config) const override;

  const qstring title;
  const int exact;
};

// Appends the factory (owned by the caller, usually a static) to the process-wide list; internal error 40612
// when it is registered already.
void register_desktop_widget_factory(desktop_widget_factory_t *factory);
// The registered factories, in registration order.
[[nodiscard]] const std::vector<desktop_widget_factory_t *> &desktop_widget_factories();

// ---- Widget configuration ---------------------------------------------------------------------------------------

// Request codes of the UI callback that see the configuration events first (widget, members or object).
inline constexpr int32_t ui_code_get_widget_config = 177;
inline constexpr int32_t ui_code_set_widget_config = 178;

// Event 2004: receivers append their configuration members.
class IGetWidgetConfigEvent : public QEvent
{
public:
  static constexpr QEvent::Type event_type = QEvent::Type(2004);
  IGetWidgetConfigEvent() : QEvent(event_type) {}
  json_object_t members;
};

// Event 2005: receivers read their members from the object (not owned, read only).
class ISetWidgetConfigEvent : public QEvent
{
public:
  static constexpr QEvent::Type event_type = QEvent::Type(2005);
  explicit ISetWidgetConfigEvent(const json_object_t *object) : QEvent(event_type), config(object) {}
  const json_object_t *config;
};

// Event 2006: receivers store whatever state they keep elsewhere.
class ISaveStateEvent : public QEvent
{
public:
  static constexpr QEvent::Type event_type = QEvent::Type(2006);
  ISaveStateEvent() : QEvent(event_type) {}
};

// Gathers the configuration of the widget (the UI callback with code 177 first, then the widget and all its
// descendants) and appends the members to out.
void collect_widget_config(QWidget *widget, json_object_t *out);
// Hands the configuration object to the UI callback (code 178), then to the widget and all its descendants.
void set_widget_config(QWidget *widget, const json_object_t *object);

// ---- Close flags ----------------------------------------------------------------------------------------------

// Bits of the "close_flags" property.
enum close_flag_bits_t : uint32_t
{
  close_flag_kept = 0x40,             // stays when a desktop is applied
  close_flag_by_esc = 0x80,           // closes on Escape
  close_flag_never_by_esc = 0x100,    // never closes on Escape
  close_flag_persistent = 0x40000000, // survives its dock; deletion requests hide it instead
};
inline constexpr uint32_t close_flags_mask = 0x400001C0;

// The first of the widget and its three nearest ancestors whose "close_flags" is set; else the application's
// default holder (the widget itself in the framework).
[[nodiscard]] QObject *close_flags_holder(QWidget *widget);
// The holder's "close_flags" when it holds an int, else 0.
[[nodiscard]] uint32_t widget_close_flags(QWidget *widget);
// Stores the close-flag bits of flags in the holder and answers the other bits.
uint32_t set_widget_close_flags(QWidget *widget, uint32_t flags);
[[nodiscard]] bool is_close_kept(QWidget *widget);
[[nodiscard]] bool is_close_persistent(QWidget *widget);

// ---- Closed docks ----------------------------------------------------------------------------------------------

// Where a closed widget stood, by its desktop name (its generic title).
struct closed_dock_t
{
  qstring name;
  dock_options_t placement;
};

// The process-wide list, in insertion order (GUI thread only).
[[nodiscard]] std::vector<closed_dock_t> &closed_docks();
// The entry of that exact name; without one and with create, a new empty entry appended. The index goes to
// *index when asked. Null when none.
closed_dock_t *closed_dock_entry(const char *name, bool create, size_t *index = nullptr);
// Replaces the list by the one of a "closed_docks" object; false, leaving the list as it was, when a member is
// not an object, a placement lacks its "options", a floating placement describes no place or one out of reach
// of the screens (plausible_window_rect), or a number does not fit.
[[nodiscard]] bool read_closed_docks(const json_object_t &object);
// The "closed_docks" object of the list.
[[nodiscard]] json_value_t write_closed_docks();

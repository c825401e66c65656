// Named actions: the action record, its handler interface, the registration records and the core handler.
#pragma once

#include "core/qstring.h"

#include <cstdint>
#include <memory>

class QAction;
class QObject;
class ui_action_t;
class ui_action_registry_t;
struct ui_action_update_ctx_t;
struct ui_action_activation_ctx_t;

// Action states: bit value 4 means disabled; the two low bits say which update passes recompute the state
// (0 never, 1 reason 9 only, 2 reasons 7, 8 and 9, 3 every reason). The QAction is enabled exactly below 4.
constexpr int ACTION_STATE_DISABLED_BIT = 4;
constexpr int ACTION_STATE_INITIAL = 3;
constexpr int ACTION_STATE_ENABLED = 2;           // enabled, recomputed when the widget changes
constexpr int ACTION_STATE_NOT_FOR_WIDGET = 6;    // disabled, recomputed when the widget changes
constexpr int ACTION_STATE_MISSING_CONTEXT = 7;   // disabled, recomputed every time
constexpr int ACTION_STATE_MAX = 7;

// Action flags (ui_action_t::flags).
constexpr uint32_t ACTION_FLAG_FROM_DESC_2 = 0x40000;    // copied from description flag 0x2; unread here
constexpr uint32_t ACTION_FLAG_CORE = 0x80000;           // registered from an action_desc_t
constexpr uint32_t ACTION_FLAG_FROM_DESC_20 = 0x100000;  // copied from description flag 0x20; unread here
constexpr uint32_t ACTION_FLAG_CHECKABLE = 0x200000;
constexpr uint32_t ACTION_FLAG_CHECKED = 0x400000;
constexpr uint32_t ACTION_FLAG_UPDATE_DECIDES = 0x800000; // action_desc_t: the update function alone decides

// Flags of ui_action_desc_t.
constexpr int ACTION_DESC_OWNS_HANDLER = 0x1;
constexpr int ACTION_DESC_FLAG_2 = 0x2;
constexpr int ACTION_DESC_OWNER_KIND_4 = 0x4;
constexpr int ACTION_DESC_OWNER_KIND_8 = 0x8;
constexpr int ACTION_DESC_FLAGGED_REGISTRY = 0x10;
constexpr int ACTION_DESC_FLAG_20 = 0x20;
constexpr int ACTION_DESC_CHECKABLE = 0x40;
constexpr int ACTION_DESC_CHECKED = 0x80;
constexpr int ACTION_DESC_PLAIN_LABEL = int(0x80000000u);

// Internal errors of actions.
constexpr int INTERR_ACTION_BAD_STATE = 40393;
constexpr int INTERR_CORE_HANDLER_NO_ACTIVATE = 40589;
constexpr int INTERR_CORE_ACTION_REFUSED = 40724;
constexpr int INTERR_INSERT_NULL_ACTION = 40811;

// An optional object an action hands to its own activation; deleted through its virtual destructor.
class action_extra_t
{
public:
  virtual ~action_extra_t() = default;
};

// Decides whether a command is available and carries it out.
class action_handler_t
{
public:
  // Runs the command; the result is positive on success.
  virtual int activate(ui_action_activation_ctx_t *context) = 0;
  // The action's state for the context (0 to 7).
  virtual int update(ui_action_update_ctx_t *context) = 0;
  virtual ~action_handler_t() = default;
};

// The registration record that ui_action_registry_t::add_action reads.
struct ui_action_desc_t
{
  int size = sizeof(ui_action_desc_t); // not checked
  const char *name = nullptr;           // may be empty
  const char *label = nullptr;          // "~x~" hotkey markup unless ACTION_DESC_PLAIN_LABEL
  action_handler_t *handler = nullptr;  // owned by the action with ACTION_DESC_OWNS_HANDLER or without owner
  const void *owner = nullptr;          // opaque
  const char *shortcut = nullptr;       // comma-separated list in configuration syntax, may be null
  const char *tooltip = nullptr;        // may be null
  int icon = -1;                        // icon id, -1 none
  int flags = 0;                        // ACTION_DESC_*
};

// One entry of an application's static action table, as register_core_action reads it.
struct action_desc_t
{
  using activate_fn = int (*)(ui_action_activation_ctx_t *context);
  using update_fn = int (*)(ui_action_t *action, ui_action_update_ctx_t *context);

  const char *name = nullptr;
  QAction **qaction_receiver = nullptr; // receives the action's QAction, may be null
  activate_fn activate = nullptr;       // required
  update_fn update = nullptr;           // optional
  int spare = 0;
  uint64_t widget_kinds = 0;            // all ones: every widget
  uint64_t widget_classes = 0;
  uint64_t context_word = 0;            // upper 32 bits: context flags that must all be present
  uint32_t flags = 0;                   // ACTION_FLAG_CHECKABLE, ACTION_FLAG_CHECKED, ACTION_FLAG_UPDATE_DECIDES
  uint64_t refresh_mask = 0;
  const char *label = nullptr;          // "~x~" hotkey markup
  const char *shortcut = nullptr;       // comma-separated Qt portable key texts, or null
  const char *tooltip = nullptr;
  const char *icon = nullptr;           // '@' and a theme icon name, or an icon file name, or null
};

// Kinds of ui_action_t::apply_property.
enum action_property_kind_t : int
{
  ACTION_PROP_LABEL = 1,     // const char *: "~x~" markup
  ACTION_PROP_SHORTCUTS = 2, // const char *: list in configuration syntax, stored as the user list
  ACTION_PROP_TOOLTIP = 3,   // const char *: null clears
  ACTION_PROP_ICON = 4,      // int: icon id
  ACTION_PROP_STATE = 5,     // int
  ACTION_PROP_CHECKABLE = 6, // bool
  ACTION_PROP_CHECKED = 7,   // bool
  ACTION_PROP_VISIBLE = 8,   // bool
};

// One named command: a QAction joined to a handler. Promises: the name never holds '&' or '~'; the QAction
// (not owned) is enabled exactly when the state is below 4; the serial is unique and never 0; the handler is
// deleted with the action when the action owns it.
class ui_action_t
{
public:
  ui_action_t();
  virtual ~ui_action_t();
  ui_action_t(const ui_action_t &) = delete;
  ui_action_t &operator=(const ui_action_t &) = delete;

  // Runs the action as the user asked for it: fills an activation context, computes a state never computed
  // before, and runs when enabled or when that first computation ran. A refused run writes a warning to the
  // log and answers 0. Answers the activation's result.
  virtual int run_from_ui();
  // An optional extra object for the activation (base: none); the caller deletes it.
  virtual action_extra_t *extra_context();
  // Runs the handler through the application (which makes the action current meanwhile).
  virtual int activate_in_context(ui_action_activation_ctx_t *context, action_extra_t *extra);
  // After a positive result, asks the application to refresh the widget kinds of the refresh mask.
  virtual void after_activation(int result, ui_action_activation_ctx_t *context, action_extra_t *extra);

  const qstring &name() const { return name_; }
  // Stores a copy of the text with every '&' and '~' removed.
  void set_name(const char *text);

  int state() const { return state_; }
  bool state_known() const { return state_known_; }
  // Stores the state and enables the QAction below 4 (setEnabled only when that changes).
  void set_state(int state);
  // Asks the handler for the state (through the application), stores it and marks it known.
  int recompute_state(ui_action_update_ctx_t *context);

  QAction *qaction() const { return qaction_; }
  void set_qaction(QAction *qaction) { qaction_ = qaction; }
  // Gives up the QAction (the action no longer refers to it) and answers it.
  QAction *detach_qaction();

  action_handler_t *handler() const { return handler_; }
  // Installs the handler, owned by the action when `owned`; a handler owned before is deleted (unless it is the
  // one installed again).
  void set_handler(action_handler_t *handler, bool owned);
  bool owns_handler() const { return owned_handler_ != nullptr; }

  uint32_t serial() const { return serial_; }
  ui_action_registry_t *registry() const { return registry_; }
  void set_registry(ui_action_registry_t *registry) { registry_ = registry; }

  // Applies a property (action_property_kind_t) from *value; false for an unknown kind.
  [[nodiscard]] bool apply_property(int kind, const void *value);
  // Sets the QAction's shortcuts from the action's entry of the shortcut table; a key whose portable text
  // holds "Enter" also answers to the same combination with "Return".
  void apply_shortcuts();

  uint64_t widget_kinds = 0;
  uint64_t widget_classes = 0;
  uint64_t context_word = 0;
  uint64_t refresh_mask = 0;
  uint32_t flags = 0;
  const void *owner = nullptr; // opaque, never read here
  int owner_kind = 1;          // none 1; description flag 0x4 gives 2, 0x8 gives 3, both 0
  qstring icon_name;           // theme icon name of an icon given as '@' and a name

private:
  qstring name_;
  int state_ = ACTION_STATE_INITIAL;
  bool state_known_ = false;
  action_handler_t *handler_ = nullptr;
  std::unique_ptr<action_handler_t> owned_handler_; // holds handler_ when the action owns it
  ui_action_registry_t *registry_ = nullptr;
  uint32_t serial_ = 0;
  QAction *qaction_ = nullptr; // not owned
};

// The handler of an action registered from an action_desc_t: runs the description's functions.
class ui_core_action_handler_t final : public action_handler_t
{
public:
  explicit ui_core_action_handler_t(const action_desc_t *desc) : desc_(desc) {}
  // The description's activate function, inside the application's fault guard: a fault goes to the
  // exception handler and answers 0. Without an activate function, internal error 40589.
  int activate(ui_action_activation_ctx_t *context) override;
  // The mask state; with an update function, its answer unless the mask state is above 3 (with
  // ACTION_FLAG_UPDATE_DECIDES the update function alone decides).
  int update(ui_action_update_ctx_t *context) override;
  void set_action(ui_action_t *action) { action_ = action; }

private:
  ui_action_t *action_ = nullptr;
  const action_desc_t *desc_;
};

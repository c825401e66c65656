// The client's action table: its records, the client's action object and the rule that enables an action.
#pragma once

#include "ui/ui_action.h"

#include <cstdint>
#include <span>

struct ui_action_update_ctx_t;

// Bits of a record's client requirements (the low half of its context word).
constexpr uint32_t client_needs_local_site = 0x1;      // a usable local site
constexpr uint32_t client_without_connection = 0x2;   // usable without a server connection
// The state of an action that needs a connection when there is no usable one.
constexpr int ACTION_STATE_NO_CONNECTION = 5;
// The context flag (low half of the update context's flags) that says the local site is usable.
constexpr uint64_t context_local_site_usable = 0x1;

// The client's action: a ui_action_t whose QAction is a child of the application object. Promise: a progress
// display that the action's work opened is closed when the action returns.
class akui_action_t : public ui_action_t
{
public:
  int run_from_ui() override;
};

// One record of the client's table.
[[nodiscard]] action_desc_t client_row(const char *name, action_desc_t::activate_fn activate,
                                       action_desc_t::update_fn update, uint64_t kinds, uint32_t client_requirements,
                                       uint32_t flags, uint64_t refresh, const char *label, const char *tooltip,
                                       const char *icon);

// The client's records in table order; only rows whose handlers exist are present. Static.
[[nodiscard]] std::span<const action_desc_t> client_action_table();

// Registers every record with the application's registry in table order (internal error 40724 for one it
// refuses), then ticks "show_deleted_files" and "show_ignored_files" from the application's settings.
void register_client_actions();

// The client's rule (the application's compute_action_state): internal error 40725 without the built-in flag;
// 5 without a usable connection unless the record is usable without one; the framework's state when it is
// above 3; else 2 (3 when the record's context requirement bit 0 is set) when the context has every client
// requirement, 7 when not.
[[nodiscard]] int client_action_state(int base_state_of_masks, const ui_action_t &action,
                                      const ui_action_update_ctx_t &context, bool usable_connection);

// The handlers of the window's own rows.
int quit_akui_activate(ui_action_activation_ctx_t *context);
int open_log_widget_activate(ui_action_activation_ctx_t *context);

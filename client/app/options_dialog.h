// The Options dialog: the views' settings and the number of commits the Commits view shows.
#pragma once

#include <cstdint>

struct ui_action_activation_ctx_t;

// The registry value (under "Config") of the number of commits the Commits view shows; -1 all.
inline constexpr char ncommits_value_name[] = "NCommits";
inline constexpr int32_t ncommits_all = -1;

// The number of commits stored, -1 (all) when none is.
[[nodiscard]] int32_t stored_ncommits();

// Shows the dialog with the application's settings and the stored number of commits. OK stores them (the
// number only within -1 and 2147483647; another one is refused with a warning and the dialog comes back with
// what was typed); Cancel changes nothing. Always 1.
int show_options_dialog();
// The handler of the action "options".
int show_options_dialog_action(ui_action_activation_ctx_t *context);

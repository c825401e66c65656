// The Options dialog: the views' settings, the number of commits the Commits view shows and the file-extension
// associations.
#pragma once

#include <cstdint>

struct ui_action_activation_ctx_t;

// The registry value (under "Config") of the number of commits the Commits view shows; -1 all.
inline constexpr char ncommits_value_name[] = "NCommits";
inline constexpr int32_t ncommits_all = -1;

// The number of commits stored, -1 (all) when none is.
[[nodiscard]] int32_t stored_ncommits();

// Shows the dialog with the application's settings, the stored number of commits and a copy of the
// application's associations (its Reset button puts the defaults in). OK checks everything first: a number
// outside -1 to 2147483647, or associations without "zdb" or "z64" (in this order), give a warning and the
// dialog again with what was entered; otherwise the settings and the associations are stored. Cancel changes
// nothing. Always 1.
int show_options_dialog();
// The handler of the action "options".
int show_options_dialog_action(ui_action_activation_ctx_t *context);

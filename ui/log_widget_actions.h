// The Output window's actions: descriptions for the application's action table.
#pragma once

#include "ui/ui_action.h"

#include <cstdint>
#include <span>

// The widget kind of the Output window, and the kind mask of its actions.
constexpr int LOG_WIDGET_KIND = 16;
constexpr uint64_t LOG_WIDGET_KIND_MASK = uint64_t(1) << LOG_WIDGET_KIND;

// The nineteen actions ("OutputNavLeft" ... "OutputToggleTimestamps"), in the order the application registers
// them. They have no icon and no built-in shortcut (keys come from the shortcut configuration) and act on the
// Output window of the activation context; without one they do nothing and answer 0. The table is static.
[[nodiscard]] std::span<const action_desc_t> log_widget_action_descs();

// The standard actions of filtered views (quick filter, modify and reset filters, unsort, search, search again,
// for chooser lists and for directory trees) and the quick filter's mode switches: descriptions for the
// application's action table.
#pragma once

#include "ui/ui_action.h"

#include <span>

// The sixteen actions, in the order the application registers them: the six "Chooser..." actions, their six
// "DirTree..." twins, then "QuickFilterMatchCase", "QuickFilterModeRegex", "QuickFilterModeFuzzy" and
// "QuickFilterModeWholeWords". They act on the filter engine of the activation context (the mode switches on
// the quick filter bar whose input has the focus); without one they do nothing and answer 0. The table is
// static.
[[nodiscard]] std::span<const action_desc_t> filtered_view_action_descs();


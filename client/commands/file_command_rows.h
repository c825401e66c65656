// The action rows of the file commands, in the order the client's table lists them.
#pragma once

#include "ui/ui_action.h"

#include <vector>

// The rows, each with its handlers, kinds, requirements and refresh mask.
[[nodiscard]] std::vector<action_desc_t> file_command_action_descs();

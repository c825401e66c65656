// The action rows of the file trees and of the directory-tree widgets they are built on.
#pragma once

#include "ui/ui_action.h"

#include <vector>

// The open actions of Arkive files and Local files, find in arkive, the show-deleted and show-ignored
// switches, then the directory-tree widget's rows and the quick filter's.
[[nodiscard]] std::vector<action_desc_t> file_tree_action_descs();

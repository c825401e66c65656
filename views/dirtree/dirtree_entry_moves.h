// Moving tree entries: the model's drag payload and drops, and cutting entries in a view and pasting them
// into another folder.
#pragma once

#include "views/dirtree/dirtree_drag_payload.h"

#include <vector>

class base_dirtree_widget_t;

// Adds the cursors' entries to a list of path entries: the root folder's cursor is logged ("Cannot select
// root folder; ignored.") and skipped, so is a cursor the view's tree cannot name and a path the list holds
// already; each entry added records whether the view shows it expanded and is also appended to *added
// (when given).
void add_selected_paths(std::vector<dirtree_path_entry_t> *list, base_dirtree_widget_t *view,
                        const dirtree_selection_t &selection, std::vector<dirtree_path_entry_t> *added);

// Cuts the selected entries: adds them to the view's model's cut list and has the views paint the cut
// rows. 0 without a view, a tree model or a selection; else 1.
int cut_dirtree_selection(base_dirtree_widget_t *view, const dirtree_selection_t *selection);

// Pastes the cut entries into the folder of the view's first selected row (the row's own folder when it
// is an item) and empties the cut list, also when moves failed. 0 without a view, a cut entry or such a
// folder; else 1.
int paste_dirtree_cut(base_dirtree_widget_t *view);

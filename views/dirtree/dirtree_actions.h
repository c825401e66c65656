// The built-in actions of directory-tree views (create a folder, rename, copy, expand and collapse, cut and
// paste, reset natural order) and the entries they put in a tree view's context menu.
#pragma once

#include "ui/ui_action.h"

#include <cstdint>
#include <span>

struct popup_menu_ctx_t;

// The value kind a folder name is asked with (a plain string).
inline constexpr int dirtree_folder_name_input_kind = 0x80;

// The description of an action of tree views: every widget kind, the context word (its upper half the
// context flags the action needs), the action flags and the label; no shortcut, tooltip or icon.
constexpr action_desc_t dirtree_action_desc(const char *name, action_desc_t::activate_fn activate,
                                            action_desc_t::update_fn update, const char *label, uint64_t context_word,
                                            uint32_t flags)
{
  action_desc_t desc;
  desc.name = name;
  desc.activate = activate;
  desc.update = update;
  desc.widget_kinds = ~uint64_t(0);
  desc.context_word = context_word;
  desc.flags = flags;
  desc.label = label;
  return desc;
}

// "DirTreeCreateFolder", "DirTreeRename", "DirTreeCopy", "DirTreeCopyAll", "DirTreeExpandSelection",
// "DirTreeCollapseSelection", "DirTreeCutSelection", "DirTreePasteCut" and "DirTreeResetNaturalOrder", in
// that order, for the application's action table (static). They act on the tree view of the context and
// its selection; without one they do nothing and answer 0.
[[nodiscard]] std::span<const action_desc_t> dirtree_action_descs();

// Attaches the tree actions to a tree view's context menu, in the menu's order: create folder, reset
// natural order; rename; collapse, expand; copy, copy all; cut, paste (separators between the groups).
void populate_dirtree_popup(popup_menu_ctx_t *popup);

// The state of a directory-tree view (expanded folders, selection, persistent indexes), its stored blob, and
// the walk over a view's model indexes on which collecting and restoring it stand.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"
#include "views/dirtree/dirtree_item_model.h"

#include <cstdint>
#include <vector>

class base_dirtree_widget_t;

// The parts a state holds.
inline constexpr uint32_t tree_state_folders = 0x10;
inline constexpr uint32_t tree_state_folder_paths = 0x20; // folder records carry paths (with folders only)
inline constexpr uint32_t tree_state_selection = 0x40;
inline constexpr uint32_t tree_state_persistent = 0x80;

// Internal error: a state read into a state that already holds folders.
inline constexpr int32_t interr_tree_state_not_empty = 40906;

// One folder as a view showed it.
struct dirtree_folder_state_t
{
  qstring path;               // empty unless paths are kept
  uint64_t key = dirtree_none; // the folder number
  bool expanded = false;
};

// The selected rows and the current row by path, and the row to fall back to when a path is gone.
struct dirtree_selection_paths_t
{
  std::vector<qstring> selected_paths;
  qstring current_path;
  dirtree_cursor_t fallback = dirtree_no_cursor;
};

// A view's state. Short-lived: built, applied or stored within one operation.
struct dirtree_widget_state_t
{
  std::vector<dirtree_folder_state_t> folders;
  dirtree_selection_paths_t selection;
  std::vector<dirtree_item_model_base_t::persistent_index_path_t> persistent;
  uint32_t flags = 0; // tree_state_* bits: the parts present
};

// The stored form (version 2): a head byte (flags in the high nibble, version in the low one), then with
// folders a compact count and per folder compact (key * 2 + expanded) and, with paths, the path and a NUL;
// with the selection a compact count, the paths, and the current path, each ending in a NUL. Persistent
// indexes are never stored.
void write_tree_state_blob(const dirtree_widget_state_t &state, byte_buffer_t *out);
// Reads a stored state (version 1 blobs always hold folders). False for an unknown version, a number cut
// short, a path without its NUL or a missing current path; the counts only bound what is read, never what is
// allocated. Internal error 40906 when the state already holds folders.
[[nodiscard]] bool read_tree_state_blob(dirtree_widget_state_t *state, const byte_buffer_t &bytes);
// Appends one compact number.
void append_compact_u32(byte_buffer_t *bytes, uint32_t value);

// A walk over the model indexes a view shows, from an index down: enter_folder and leave_folder around each
// folder's rows, visit_item for an item. Answers: 0 go on, 1 do not descend into this folder, 2 stop.
class dirtree_widget_qmodel_visitor_t
{
public:
  explicit dirtree_widget_qmodel_visitor_t(base_dirtree_widget_t *view);
  virtual ~dirtree_widget_qmodel_visitor_t() = default;

  virtual int enter_folder(const QModelIndex &index, const dirtree_cursor_t &cursor, uint64_t folder) = 0;
  virtual int leave_folder(const QModelIndex & /*index*/, const dirtree_cursor_t & /*cursor*/,
                           const dirtree_entry_t & /*entry*/)
  {
    return 0;
  }
  virtual int visit_item(const QModelIndex & /*index*/, const dirtree_cursor_t & /*cursor*/,
                         const dirtree_entry_t & /*entry*/)
  {
    return 0;
  }

  // Walks from the index (the view's root index when invalid). A folder's answer is that of its last
  // child's walk when that is not 0, else leave_folder's.
  int walk(const QModelIndex &start = QModelIndex());

protected:
  base_dirtree_widget_t *view_;       // not owned
  dirtree_item_model_base_t *model_;  // not owned: the view's model
  directory_tree_t *tree_;            // not owned: the model's current tree
};

// The drag payload of tree entries ("treewidget/x-inodes"): one string per entry, a kind code and the path.
#pragma once

#include "core/qstring.h"
#include "ui/view_interfaces.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <vector>

class QAbstractItemView;
class QModelIndex;
class directory_tree_t;

// The one drag-and-drop format of tree entries.
inline constexpr const char *dirtree_inodes_mime_type = "treewidget/x-inodes";

// The kind code that leads each payload string.
inline constexpr char16_t inode_drag_item = 1;
inline constexpr char16_t inode_drag_folder = 2;          // collapsed, or no tree view showed it
inline constexpr char16_t inode_drag_expanded_folder = 3; // expanded in the tree view of the drag

// The longest path (bytes of UTF-8) a payload string may carry; longer strings are skipped when read.
inline constexpr size_t inode_drag_path_max = 4096;

// One entry to move: its absolute path, and whether a view showed it expanded. Drops, the cut list and
// pastes use it.
struct dirtree_path_entry_t
{
  qstring path;
  bool expanded = false;
};

// The payload string of one cursor: its kind code, then the tree's absolute path of the cursor. A folder is
// code 3 when `view` is a tree view showing `index` (an index of its model) expanded, else code 2; an item
// is code 1. Empty when the tree cannot name the cursor (no entry, or an item the dirspec does not know).
[[nodiscard]] QString encode_inode_drag_item(directory_tree_t *tree, const dirtree_cursor_t &cursor,
                                             const QModelIndex &index, const QAbstractItemView *view);

// Appends payload strings to a byte array the way a QDataStream writes QStrings (big-endian).
class inode_drag_writer_t
{
public:
  void add(const QString &item);
  [[nodiscard]] const QByteArray &bytes() const { return bytes_; }

private:
  QByteArray bytes_;
};

// Reads a payload, which may come from another process. Strings are taken in order until the bytes end or
// a string cannot be read whole (a length that is odd or larger than the bytes left ends the reading; what
// was read before stays). A string is kept when its first character is a kind code and the rest, as
// UTF-8, holds no NUL and at most inode_drag_path_max bytes; others (null, empty, unknown codes) are
// skipped. Each string takes at least 4 bytes, so the result never holds more entries than a quarter of
// the bytes, and nothing is allocated beyond what the bytes hold.
[[nodiscard]] std::vector<dirtree_path_entry_t> read_inode_drag_payload(const QByteArray &bytes);

// The drag payload of tree entries: writing and checked reading.
#include "views/dirtree/dirtree_drag_payload.h"

#include "views/dirtree/directory_tree.h"

#include <QAbstractItemView>
#include <QDataStream>
#include <QTreeView>

#include <cstdint>
#include <cstring>

namespace
{

// The length word of a null QString in the stream.
constexpr uint32_t null_string_length = 0xFFFFFFFF;

uint32_t read_be32(const char *p)
{
  const auto *u = reinterpret_cast<const unsigned char *>(p);
  return (uint32_t(u[0]) << 24) | (uint32_t(u[1]) << 16) | (uint32_t(u[2]) << 8) | uint32_t(u[3]);
}

} // namespace

QString encode_inode_drag_item(directory_tree_t *tree, const dirtree_cursor_t &cursor, const QModelIndex &index,
                               const QAbstractItemView *view)
{
  const dirtree_entry_t entry = tree->entry_at_cursor(cursor);
  qstring path;
  if ( entry.is_none() || !tree->cursor_text(&path, cursor, 0) || path.empty() )
    return {};
  char16_t code = inode_drag_item;
  if ( entry.is_folder )
  {
    const auto *tree_view = qobject_cast<const QTreeView *>(view);
    const bool expanded = tree_view != nullptr && index.isValid() && index.model() == tree_view->model() &&
                          tree_view->isExpanded(index.siblingAtColumn(0));
    code = expanded ? inode_drag_expanded_folder : inode_drag_folder;
  }
  QString item {QChar(code)};
  item += QString::fromUtf8(path.c_str(), int(path.size()));
  return item;
}

void inode_drag_writer_t::add(const QString &item)
{
  QDataStream stream(&bytes_, QIODevice::Append);
  stream << item;
}

std::vector<dirtree_path_entry_t> read_inode_drag_payload(const QByteArray &bytes)
{
  std::vector<dirtree_path_entry_t> entries;
  const char *p = bytes.constData();
  const char *const end = p + bytes.size();
  while ( end - p >= 4 )
  {
    const uint32_t length = read_be32(p);
    p += 4;
    if ( length == null_string_length )
      continue;
    // Checked before anything is allocated: a length the bytes cannot hold ends the payload.
    if ( (length & 1) != 0 || length > size_t(end - p) )
      break;
    const char *text = p;
    p += length;
    const size_t units = length / 2;
    // Every UTF-16 unit of the path makes at least one byte of UTF-8.
    if ( units == 0 || units - 1 > inode_drag_path_max )
      continue;
    const char16_t code = char16_t((uint8_t(text[0]) << 8) | uint8_t(text[1]));
    if ( code != inode_drag_item && code != inode_drag_folder && code != inode_drag_expanded_folder )
      continue;
    QString path(int(units - 1), Qt::Uninitialized);
    for ( size_t i = 1; i < units; ++i )
      path[int(i - 1)] = QChar(char16_t((uint8_t(text[2 * i]) << 8) | uint8_t(text[2 * i + 1])));
    const QByteArray utf8 = path.toUtf8();
    if ( size_t(utf8.size()) > inode_drag_path_max || std::memchr(utf8.constData(), 0, size_t(utf8.size())) != nullptr )
      continue;
    entries.push_back({qstring(utf8.constData(), size_t(utf8.size())), code == inode_drag_expanded_folder});
  }
  return entries;
}

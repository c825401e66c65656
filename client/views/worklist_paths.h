// Worklist keys, the tree paths of worklist folders and files, and a worklist's files with a lookup by path.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"
#include "repo/wire_records.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// A worklist is named by its site and its number together: two sites may use one number.
struct worklist_key_t
{
  qstring site;
  int32_t number = 0;

  // Site text byte by byte, then the number.
  friend bool operator<(const worklist_key_t &a, const worklist_key_t &b)
  {
    const int order = a.site.view().compare(b.site.view());
    return order != 0 ? order < 0 : a.number < b.number;
  }
  friend bool operator==(const worklist_key_t &a, const worklist_key_t &b)
  {
    return a.number == b.number && a.site.view() == b.site.view();
  }
};

// The byte that stands for '/' inside one tree name: a file's path and a site name become one name each.
inline constexpr char worklist_path_separator = '\x02';

// Whether the key can be shown as a folder: a site name holding the byte 0x02 could be mistaken for
// another site once its '/' are encoded, and an empty one names nothing.
[[nodiscard]] bool is_showable_worklist_key(const worklist_key_t &key);
// Whether a file path can be shown as an item: not empty and without the byte 0x02 (which would read back
// as '/', another file).
[[nodiscard]] bool is_showable_worklist_file_path(std::string_view path);

// The folder of a worklist: "/%d@%s" of the number and the site, the site's '/' written as 0x02 so that
// the folder stays a direct child of the root.
[[nodiscard]] qstring worklist_folder_path(const worklist_key_t &key);
// The item of a file of the worklist: the folder path, "/", and the file's path with every '/' as 0x02.
[[nodiscard]] qstring worklist_entry_path(const worklist_key_t &key, std::string_view file_path);
// The worklist of a folder path or of the folder part of an item path: "/", a decimal number with an
// optional sign that fits in 32 bits, "@", and a non-empty site up to the next '/' (0x02 read back as '/').
// Nothing for anything else.
[[nodiscard]] std::optional<worklist_key_t> parse_worklist_path(std::string_view text);
// The file path an item name stands for (0x02 read back as '/').
[[nodiscard]] qstring worklist_file_path_of_name(std::string_view name);

// One worklist's files as the server listed them, with an index by path so that lookups do not depend on
// the order of the reply. Promises: by_path holds every index of files once, ordered by path byte by byte
// (equal paths by position), after set_files.
struct worklist_files_t
{
  qvector<worklist_file_t> files; // in the order of the server's reply
  std::vector<uint32_t> by_path;

  void set_files(qvector<worklist_file_t> received);
  // The first file of the path (compared byte by byte), null when none.
  [[nodiscard]] const worklist_file_t *find(std::string_view path) const;
};

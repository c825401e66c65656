// How a file row of the file trees tells where the file stands: revision text, style and the composed state
// icon.
#pragma once

#include "core/qstring.h"
#include "repo/revision_texts.h"
#include "repo/wire_records.h"

#include <QIcon>

#include <cstdint>
#include <functional>

struct item_info_t;

// Icon states: 0 none, 1 added, 2 deleted, 3 checked out for edit; other action codes of an opened file pass
// through and draw like 0.
constexpr int file_icon_plain = 0;
constexpr int file_icon_added = 1;
constexpr int file_icon_deleted = 2;
constexpr int file_icon_edited = 3;
// The server state byte of a file deleted on the server.
constexpr uint8_t server_state_deleted = 2;

// What a file row shows, before it is applied to the row.
struct file_row_look_t
{
  qstring revision_text; // follows the name without a space
  uint32_t style = 0;    // row_bold, row_italic, row_grey
  int icon_state = file_icon_plain;
  bool latest = true;
  bool has_icon_path = false;
  qstring icon_path;
};

// The opened-file record of a server path, null when the file is not opened.
using opened_file_lookup_t = std::function<const worklist_file_t *(const char *path)>;

// The look of a file row from its server record (null: the server does not know it) and the opened file of its
// path (looked up by the record's path, else by server_path; never for a file deleted on the server).
[[nodiscard]] file_row_look_t file_row_look(const char *server_path, const arkive_file_info_t *server_record,
                                            const opened_file_lookup_t &opened_file);

// Fills the row of a file: appends the revision text to text 0, adds the style and sets the state icon, with
// the application's opened files and resolves. Always true.
bool describe_file_row_state(item_info_t *row, const char *server_path, const arkive_file_info_t *server_record);

// The key of a composed state icon: "__cfi__%x" of the state (1 to 3, else 0) | 0x10 latest | 0x20 database
// | 0x40 resolving.
[[nodiscard]] qstring file_state_icon_key(int state, bool latest, bool database, bool resolving);
// The state icon, composed once per key and kept in the application's icon registry: the plain or database
// base image with the state's overlays painted over it in order; an overlay that does not load is skipped.
[[nodiscard]] QIcon file_state_icon(int state, bool latest, const char *path);
// The registered id of that icon.
[[nodiscard]] int32_t file_state_icon_id(int state, bool latest, const char *path);

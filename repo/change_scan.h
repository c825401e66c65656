// The change scan: which local files differ from the sizes and digests the server expects.
#pragma once

#include "core/qvector.h"

#include <cstddef>
#include <cstdint>

// abstract_fs_t::scan_changes takes the items of a CALC_CHANGE_STATUS request (change_status_item_t: path,
// expected size, expected digest) and answers a bit vector of (items + 7) / 8 bytes: the bit of item j is
// bit j % 8 of byte j / 8, set when the local file differs or cannot be checked. A file is read only when
// its size is the expected one and the checksum cache has no digest for its modification time and size;
// new digests go into the cache, which the scan writes when it ends. A file of another size is marked
// without reading it. A path that is not a regular file (a directory, a device, a pipe) is never read and
// is always marked. A missing file is marked unless the server expects size 0 (in SCAN_MODE_ABSENT_UNCHANGED
// never). Statuses may be read ahead on worker threads (abstract_fs_t::stat_is_thread_safe); everything else
// runs on the calling thread, in item order.
//
// Progress, through the file system's progress sink: 5 with the item count, 1 per item (an answer of 1
// cancels: the code is 1), 0 when the status pass ends (the cache is written), then when files must be
// hashed 4 with their bytes, 1 per block read (cancellable), and 0 at the end.

// Modes; any other value follows the general rules.
constexpr uint32_t SCAN_MODE_ABSENT_UNCHANGED = 1; // a missing or empty local file is never marked for its size
constexpr uint32_t SCAN_MODE_REPORT_PROBLEMS = 3;  // files that cannot be checked are reported (see below)

// In SCAN_MODE_REPORT_PROBLEMS every file whose status fails or that is not a regular file gives one line
// "<error text>\n" on the message sink ("<path> : not a regular file" for the latter) and counts as a
// problem. With no problem the progress sink gets event 3 with the bytes of all the files and the code is
// 0; otherwise the code is 33 with "there is 1 problematic file" or "there are N problematic files". The
// bit vector is filled either way.

// Whether bit j of a change-status vector is set (false beyond its end).
inline bool change_bit(const byte_buffer_t &bits, size_t j)
{
  return j / 8 < bits.size() && (bits[j / 8] >> (j % 8) & 1) != 0;
}

// A chooser's selection in rows, and its saved form: compact 64-bit numbers read back with bounds checks.
#pragma once

#include "core/qvector.h"

#include <cstdint>

// The rows selected (chooser indexes) and the current row (-1 none).
struct chooser_selection_t
{
  qvector<uint64_t> rows;
  int64_t current = -1;
};

// Replaces *out with the saved form: the row count, each row and, when there is one, the current row, as
// compact 64-bit numbers.
void encode_saved_selection(const chooser_selection_t &selection, byte_buffer_t *out);

// Reads a saved selection for a list of row_count rows. The count is never trusted beyond what the bytes can
// hold, a number cut short or bytes left after the current row refuse the whole buffer, and rows (and a
// current row) at or beyond row_count are dropped. False, with *out emptied, for a refused buffer.
[[nodiscard]] bool decode_saved_selection(const uint8_t *bytes, size_t size, uint64_t row_count,
                                          chooser_selection_t *out);

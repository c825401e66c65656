// Details of temporary file names, shared with their tests only.
#pragma once

#include <cstdint>

// The five digits that a drawn 32-bit number puts into "zuk12345.tmp": a number above 0x1FFFF is folded
// to (number & 0x1FFFF) ^ (number >> 17), then printed with "%05u" of which the first five characters count.
void temp_name_digits(uint32_t drawn, char digits[5]);

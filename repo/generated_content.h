// Generated file content: the per-thread number sequence and the first-number replacement of `edit`.
#pragma once

#include "core/qstring.h"

#include <cstdint>

// The next number of the calling thread's sequence (a linear congruential generator started at
// 123456789 on each thread), always below 2^31: 231794730, 1126946332, ... on a fresh thread.
uint32_t generate_number();

// Replaces the first ASCII decimal number of the text (searched up to its end or its first zero byte) by
// the next generated number XOR that number (a number too large for 32 bits reads as 4294967295). A text
// without digits gets the generated number inserted where the search ended.
void replace_first_number(qstring *text);

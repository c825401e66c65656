// The core's debug flags word.
#include "core/debug_flags.h"

uint32_t debug_flags = 0;

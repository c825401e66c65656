// The system's cryptographic random source.
#pragma once

#include <cstddef>

// Fills count bytes of buffer from the kernel's random source; false (errno set) when it cannot.
bool platform_random_fill(void *buffer, size_t count);

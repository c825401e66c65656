// Cryptographic random bytes.
#pragma once

#include <cstddef>

// Fills count bytes from the system's cryptographic random source; true when it did.
[[nodiscard]] bool random_bytes(void *buffer, size_t count);

// Sizes of seeded test loops: smaller under the sanitizers, which run the same loops many times slower.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
inline constexpr int sanitizer_divisor = 10;
#else
inline constexpr int sanitizer_divisor = 1;
#endif

// The loop size n, divided under the sanitizers (never below 1).
constexpr int scaled(int n) { return n / sanitizer_divisor > 0 ? n / sanitizer_divisor : 1; }

// How many times seeded loops repeat and how large the large inputs of tests are, by build.
#pragma once

#include <cstddef>

// True in the sanitizer builds (AKUI_SANITIZE and AKUI_TSAN), whose instrumented code runs many times slower.
#if defined(AKUI_SANITIZE) || defined(AKUI_TSAN)
inline constexpr bool sanitized_build = true;
#else
inline constexpr bool sanitized_build = false;
#endif

// A repetition count or input size: `full` in the plain build, `full / divisor` (at least 1) under the
// sanitizers. The cases a loop covers stay the same; only how often each comes round changes.
constexpr size_t scaled_for_sanitizers(size_t full, size_t divisor = 8)
{
  if ( !sanitized_build )
    return full;
  const size_t reduced = full / divisor;
  return reduced != 0 ? reduced : 1;
}

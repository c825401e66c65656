// The start of benchmark programs that run inside the UI test application.
#pragma once

#include <cstdlib>

// Widgets are drawn offscreen unless the environment names a platform: the benchmarks need no display.
inline void default_to_offscreen_platform()
{
  if ( std::getenv("QT_QPA_PLATFORM") == nullptr )
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

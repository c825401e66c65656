// Clocks and time texts over the C library's time functions.
#include "core/clock_time.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

uint64_t nanosecond_clock()
{
  timespec now {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec);
}

packed_time_t current_packed_time()
{
  timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  return (uint64_t(now.tv_sec) << 32) | uint64_t(now.tv_nsec / 1000);
}

bool utc_time_parts(struct tm *parts, int32_t seconds)
{
  const time_t t = seconds;
  return seconds >= 0 && gmtime_r(&t, parts) != nullptr;
}

bool local_time_parts(struct tm *parts, int32_t seconds)
{
  const time_t t = seconds;
  return seconds >= 0 && localtime_r(&t, parts) != nullptr;
}

size_t format_local_time(char *buffer, size_t size, const char *format, int32_t seconds)
{
  struct tm parts {};
  if ( !local_time_parts(&parts, seconds) )
    return 0;
  return std::strftime(buffer, size, format, &parts);
}

size_t format_packed_time(char *buffer, size_t size, const char *format, packed_time_t packed)
{
  if ( int64_t(packed) < 0 )
    return 0;
  return format_local_time(buffer, size, format, int32_t(packed >> 32));
}

bool timestamp_text(char *buffer, size_t size, int32_t seconds)
{
  // The C library's date line, with fixed English names whatever the locale.
  static const char days[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char months[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  constexpr size_t LINE_BYTES = 26;
  struct tm parts {};
  char line[64];
  if ( size >= LINE_BYTES && local_time_parts(&parts, seconds) )
  {
    const int n = std::snprintf(line, sizeof(line), "%s %s %02d %02d:%02d:%02d %d\n", days[parts.tm_wday],
                                months[parts.tm_mon], parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                                parts.tm_year + 1900);
    if ( n == int(LINE_BYTES - 1) )
    {
      std::memcpy(buffer, line, LINE_BYTES);
      return true;
    }
  }
  if ( size > 0 )
  {
    static const char wrong[] = "[wrong timestamp]\n";
    const size_t n = std::min(size - 1, sizeof(wrong) - 1);
    std::memcpy(buffer, wrong, n);
    buffer[n] = '\0';
  }
  return false;
}

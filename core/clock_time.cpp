// Clocks, packed-time arithmetic and time texts over the C library's time functions.
#include "core/clock_time.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

packed_time_t packed_time_add_ms(packed_time_t t, uint32_t ms)
{
  const uint64_t flat = packed_time_flat_us(t) + uint64_t(ms) * 1000;
  return (flat / 1000000) << 32 | (flat % 1000000);
}

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
  return pack_time(now.tv_sec, uint32_t(now.tv_nsec / 1000));
}

int remaining_ms(packed_time_t deadline)
{
  const uint64_t now = packed_time_flat_us(current_packed_time());
  const uint64_t end = packed_time_flat_us(deadline);
  if ( end <= now )
    return 0;
  const uint64_t ms = (end - now) / 1000;
  return ms > uint64_t(INT_MAX) ? INT_MAX : int(ms);
}

bool utc_time_parts(struct tm *parts, int64_t seconds)
{
  const time_t t = seconds;
  return seconds >= 0 && gmtime_r(&t, parts) != nullptr;
}

bool local_time_parts(struct tm *parts, int64_t seconds)
{
  const time_t t = seconds;
  return seconds >= 0 && localtime_r(&t, parts) != nullptr;
}

size_t format_local_time(char *buffer, size_t size, const char *format, int64_t seconds)
{
  struct tm parts {};
  if ( !local_time_parts(&parts, seconds) )
    return 0;
  return std::strftime(buffer, size, format, &parts);
}

size_t format_packed_time(char *buffer, size_t size, const char *format, packed_time_t packed)
{
  return format_local_time(buffer, size, format, int64_t(packed >> 32));
}

bool timestamp_text(char *buffer, size_t size, int64_t seconds)
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

bool format_timestamp(char *buffer, size_t size, packed_time_t time, int flags)
{
  const int64_t seconds = int64_t(time >> 32);
  struct tm parts;
  if ( !((flags & TIMESTAMP_UTC) != 0 ? utc_time_parts(&parts, seconds) : local_time_parts(&parts, seconds)) )
    return false;
  int n = std::snprintf(buffer, size, "%04u-%02u-%02u%s%02u:%02u:%02u", unsigned(parts.tm_year + 1900),
                        unsigned(parts.tm_mon + 1), unsigned(parts.tm_mday),
                        (flags & TIMESTAMP_T_SEPARATOR) != 0 ? "T" : " ", unsigned(parts.tm_hour),
                        unsigned(parts.tm_min), unsigned(parts.tm_sec));
  if ( n < 0 || size_t(n) >= size )
    return false;
  if ( (flags & TIMESTAMP_MILLISECONDS) != 0 )
  {
    const unsigned ms = unsigned((time & 0xFFFFFFFF) / 1000);
    const int added = std::snprintf(buffer + n, size - size_t(n), ".%03u", ms);
    if ( added < 0 || size_t(n + added) >= size )
      return false;
    n += added;
  }
  constexpr int zoned = TIMESTAMP_UTC | TIMESTAMP_T_SEPARATOR;
  if ( (flags & zoned) == zoned && size - size_t(n) >= 2 )
  {
    buffer[n] = 'Z';
    buffer[n + 1] = '\0';
  }
  return true;
}

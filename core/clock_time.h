// Clocks, packed times and their arithmetic, calendar conversions and time texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

// Packed time: seconds since 1970-01-01 00:00 UTC in the high 32 bits, microseconds within that
// second (0 to 999,999) in the low 32 bits. The stored and wire format: its seconds are unsigned 32 bits,
// which last until 2106-02-07; everything that reads them takes all 32 bits, so 2038 is no limit.
using packed_time_t = uint64_t;

// The packed time of seconds (0 to 2^32 - 1) and microseconds.
constexpr packed_time_t pack_time(int64_t seconds, uint32_t microseconds)
{
  return (uint64_t(seconds) << 32) | microseconds;
}

// A packed time as flat microseconds since 1970.
constexpr uint64_t packed_time_flat_us(packed_time_t t)
{
  return (t >> 32) * 1000000 + (t & 0xFFFFFFFF);
}

// The packed time t plus ms milliseconds.
packed_time_t packed_time_add_ms(packed_time_t t, uint32_t ms);

// Monotonic nanoseconds (arbitrary origin).
uint64_t nanosecond_clock();
// The current time, packed.
packed_time_t current_packed_time();
// Milliseconds from now until the deadline (a packed time), 0 once it has passed, at most INT_MAX.
int remaining_ms(packed_time_t deadline);

// Calendar fields of seconds since 1970 in UTC / local time, 64 bits wide; false for a negative value or a
// failed conversion.
[[nodiscard]] bool utc_time_parts(struct tm *parts, int64_t seconds);
[[nodiscard]] bool local_time_parts(struct tm *parts, int64_t seconds);

// strftime of the local time into buffer (size bytes). Returns the characters written; 0 for a
// negative value, a failed conversion or an output that does not fit.
size_t format_local_time(char *buffer, size_t size, const char *format, int64_t seconds);
// format_local_time of the packed time's seconds (all 32 bits of them).
size_t format_packed_time(char *buffer, size_t size, const char *format, packed_time_t packed);

// The standard 26-byte date line ("Thu Jan 05 09:03:07 2023\n" with the day always two digits) of
// the local time. On failure (or a buffer under 26 bytes) stores as much of "[wrong timestamp]\n" as
// fits and returns false.
[[nodiscard]] bool timestamp_text(char *buffer, size_t size, int64_t seconds);

// Flags of format_timestamp; 0 gives local time, a space between date and time, whole seconds.
constexpr int TIMESTAMP_UTC = 0x1;          // UTC instead of local time
constexpr int TIMESTAMP_T_SEPARATOR = 0x2;  // "T" between date and time instead of a space
constexpr int TIMESTAMP_MILLISECONDS = 0x4; // ".%03u" milliseconds after the seconds

// Formats a packed time into buffer (size bytes) as "%04u-%02u-%02u%s%02u:%02u:%02u" under the TIMESTAMP_*
// flags; TIMESTAMP_UTC with TIMESTAMP_T_SEPARATOR appends "Z" when at least two bytes of room are left. False
// when the time cannot be converted or the text does not fit.
[[nodiscard]] bool format_timestamp(char *buffer, size_t size, packed_time_t time, int flags);

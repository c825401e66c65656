// Clocks, packed times and calendar conversions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

// Packed time: seconds since 1970-01-01 00:00 UTC in the high 32 bits, microseconds within that
// second (0 to 999,999) in the low 32 bits.
using packed_time_t = uint64_t;

// Monotonic nanoseconds (arbitrary origin).
uint64_t nanosecond_clock();
// The current time, packed.
packed_time_t current_packed_time();

// Calendar fields of seconds since 1970 in UTC / local time; false for a negative value or a failed
// conversion.
[[nodiscard]] bool utc_time_parts(struct tm *parts, int32_t seconds);
[[nodiscard]] bool local_time_parts(struct tm *parts, int32_t seconds);

// strftime of the local time into buffer (size bytes). Returns the characters written; 0 for a
// negative value, a failed conversion or an output that does not fit.
size_t format_local_time(char *buffer, size_t size, const char *format, int32_t seconds);
// format_local_time of the packed time's seconds; 0 when the packed value has bit 63 set.
size_t format_packed_time(char *buffer, size_t size, const char *format, packed_time_t packed);

// The standard 26-byte date line ("Thu Jan 05 09:03:07 2023\n" with the day always two digits) of
// the local time. On failure (or a buffer under 26 bytes) stores as much of "[wrong timestamp]\n" as
// fits and returns false.
[[nodiscard]] bool timestamp_text(char *buffer, size_t size, int32_t seconds);

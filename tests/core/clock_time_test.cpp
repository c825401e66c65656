// Clocks, packed times, calendar texts and random bytes.
#include "core/clock_time.h"

#include "core/random_bytes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

class ClockTimeTest : public testing::Test
{
protected:
  // Calendar texts below are checked in UTC; each test process has its own environment.
  void SetUp() override
  {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

constexpr int32_t JAN_5_2023_090307 = 1672909387; // Thu Jan  5 09:03:07 2023 UTC

TEST_F(ClockTimeTest, TimestampHasTwoDigitDays)
{
  char line[32];
  ASSERT_TRUE(timestamp_text(line, sizeof(line), JAN_5_2023_090307));
  EXPECT_STREQ(line, "Thu Jan 05 09:03:07 2023\n");
  ASSERT_TRUE(timestamp_text(line, 26, JAN_5_2023_090307 + 20 * 86400));
  EXPECT_STREQ(line, "Wed Jan 25 09:03:07 2023\n");
}

TEST_F(ClockTimeTest, TimestampFailuresSayWrongTimestamp)
{
  char line[32];
  EXPECT_FALSE(timestamp_text(line, sizeof(line), -1));
  EXPECT_STREQ(line, "[wrong timestamp]\n");
  char small[8];
  EXPECT_FALSE(timestamp_text(small, sizeof(small), JAN_5_2023_090307));
  EXPECT_STREQ(small, "[wrong ");
}

TEST_F(ClockTimeTest, CalendarPartsRefuseNegativeSeconds)
{
  struct tm parts {};
  EXPECT_FALSE(utc_time_parts(&parts, -1));
  EXPECT_FALSE(local_time_parts(&parts, -1));
  ASSERT_TRUE(utc_time_parts(&parts, JAN_5_2023_090307));
  EXPECT_EQ(parts.tm_year, 123);
  EXPECT_EQ(parts.tm_mday, 5);
  EXPECT_EQ(parts.tm_hour, 9);
}

TEST_F(ClockTimeTest, FormatPackedAndLocalTimes)
{
  char text[64];
  const packed_time_t packed = pack_time(JAN_5_2023_090307, 123456);
  EXPECT_EQ(format_packed_time(text, sizeof(text), "%Y-%m-%d %H:%M:%S", packed), 19u);
  EXPECT_STREQ(text, "2023-01-05 09:03:07");
  EXPECT_EQ(format_local_time(text, sizeof(text), "%Y", -5), 0u);
  EXPECT_EQ(format_local_time(text, 4, "%Y-%m", JAN_5_2023_090307), 0u) << "does not fit";
}

// Seconds at and past 2^31 (2038-01-19 03:14:08) are ordinary times wherever they are carried in 64 bits: the
// packed time's 32 unsigned bits, and the 64-bit seconds of the calendar split and the date line.
TEST_F(ClockTimeTest, TimesAfter2038AreFormatted)
{
  const struct
  {
    int64_t seconds;
    const char *stamp;    // format_timestamp, UTC
    const char *line;     // timestamp_text
  } cases[] = {
    {INT32_MAX, "2038-01-19T03:14:07Z", "Tue Jan 19 03:14:07 2038\n"},
    {int64_t(1) << 31, "2038-01-19T03:14:08Z", "Tue Jan 19 03:14:08 2038\n"},
    {UINT32_MAX, "2106-02-07T06:28:15Z", "Sun Feb 07 06:28:15 2106\n"},
    {int64_t(1) << 33, nullptr, "Wed Mar 16 12:56:32 2242\n"}, // beyond what a packed time carries
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.seconds);
    char text[64];
    if ( c.stamp != nullptr )
    {
      const packed_time_t packed = pack_time(c.seconds, 0);
      ASSERT_TRUE(format_timestamp(text, sizeof(text), packed, TIMESTAMP_UTC | TIMESTAMP_T_SEPARATOR));
      EXPECT_STREQ(text, c.stamp);
      ASSERT_EQ(format_packed_time(text, sizeof(text), "%Y-%m-%dT%H:%M:%SZ", packed), 20u);
      EXPECT_STREQ(text, c.stamp) << "local time is UTC here";
    }
    ASSERT_TRUE(timestamp_text(text, sizeof(text), c.seconds));
    EXPECT_STREQ(text, c.line);
    struct tm parts {};
    ASSERT_TRUE(utc_time_parts(&parts, c.seconds));
    EXPECT_EQ(parts.tm_year + 1900, std::atoi(c.line + 20));
  }
}

TEST(FormatTimestamp, UtcFormsFollowTheFlags)
{
  // 2024-03-01 12:00:05.123456 UTC
  const packed_time_t time = pack_time(1709294405, 123456);
  const struct
  {
    int flags;
    const char *text;
  } cases[] = {
    {TIMESTAMP_UTC | TIMESTAMP_T_SEPARATOR | TIMESTAMP_MILLISECONDS, "2024-03-01T12:00:05.123Z"},
    {TIMESTAMP_UTC | TIMESTAMP_T_SEPARATOR, "2024-03-01T12:00:05Z"},
    {TIMESTAMP_UTC, "2024-03-01 12:00:05"},
    {TIMESTAMP_UTC | TIMESTAMP_MILLISECONDS, "2024-03-01 12:00:05.123"},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.flags);
    char buffer[32];
    ASSERT_TRUE(format_timestamp(buffer, sizeof(buffer), time, c.flags));
    EXPECT_STREQ(buffer, c.text);
  }
}

TEST(FormatTimestamp, LocalTimeAndShortBuffers)
{
  const packed_time_t time = pack_time(1709294405, 123456);
  const time_t seconds = 1709294405;
  struct tm local;
  localtime_r(&seconds, &local);
  char expected[32];
  strftime(expected, sizeof(expected), "%Y-%m-%d %H:%M:%S", &local);
  char buffer[25];
  ASSERT_TRUE(format_timestamp(buffer, sizeof(buffer), time, 0));
  EXPECT_STREQ(buffer, expected);

  // The date and time need 20 bytes with the terminator, the milliseconds 4 more; "Z" is left out when it does
  // not fit.
  char small[19];
  EXPECT_FALSE(format_timestamp(small, sizeof(small), time, TIMESTAMP_UTC));
  char no_room_for_ms[23];
  EXPECT_FALSE(
    format_timestamp(no_room_for_ms, sizeof(no_room_for_ms), time, TIMESTAMP_UTC | TIMESTAMP_MILLISECONDS));
  char no_room_for_zone[20];
  ASSERT_TRUE(
    format_timestamp(no_room_for_zone, sizeof(no_room_for_zone), time, TIMESTAMP_UTC | TIMESTAMP_T_SEPARATOR));
  EXPECT_STREQ(no_room_for_zone, "2024-03-01T12:00:05");
}

TEST(PackedTime, AddsMillisecondsCarryingIntoSeconds)
{
  const struct
  {
    packed_time_t t;
    uint32_t ms;
    packed_time_t expected;
  } cases[] = {
    {pack_time(100, 0), 0, pack_time(100, 0)},
    {pack_time(100, 999000), 1, pack_time(101, 0)},
    {pack_time(100, 999999), 1, pack_time(101, 999)},
    {pack_time(100, 500000), 2750, pack_time(103, 250000)},
    {pack_time(0xFFFFFFF0, 0), 4294967295u, (uint64_t(0xFFFFFFF0) + 4294967) << 32 | 295000},
  };
  for ( const auto &c : cases )
  {
    EXPECT_EQ(packed_time_add_ms(c.t, c.ms), c.expected) << std::hex << c.t << " + " << std::dec << c.ms;
  }
}

TEST_F(ClockTimeTest, PackedTimeCarriesMicrosecondsIntoSeconds)
{
  const packed_time_t first = current_packed_time();
  EXPECT_LT(first & 0xFFFFFFFFu, 1000000u);
  const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                     std::chrono::system_clock::now().time_since_epoch())
                     .count();
  EXPECT_NEAR(double(first >> 32), double(now), 2.0);
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  const packed_time_t second = current_packed_time();
  const uint64_t difference = second - first;
  EXPECT_GT(difference, (uint64_t(1) << 32) - 1000000) << "about 2^32 apart";
  EXPECT_LT(difference, (uint64_t(2) << 32) + 1000000);
}

TEST_F(ClockTimeTest, NanosecondClockIsMonotonic)
{
  const uint64_t a = nanosecond_clock();
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const uint64_t b = nanosecond_clock();
  EXPECT_GE(b - a, 5000000u);
  EXPECT_LT(b - a, 5000000000u);
}

TEST(RandomBytesTest, FillsWholeBuffers)
{
  unsigned char a[64] = {};
  unsigned char b[64] = {};
  ASSERT_TRUE(random_bytes(a, sizeof(a)));
  ASSERT_TRUE(random_bytes(b, sizeof(b)));
  EXPECT_NE(std::memcmp(a, b, sizeof(a)), 0);
  int zero_tail = 0;
  for ( int i = 48; i < 64; ++i )
    zero_tail += a[i] == 0;
  EXPECT_LT(zero_tail, 8) << "the end of the buffer is filled too";
  EXPECT_TRUE(random_bytes(nullptr, 0));
  std::vector<unsigned char> big(1 << 20);
  EXPECT_TRUE(random_bytes(big.data(), big.size())) << "larger than one kernel read";
}

} // namespace

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
  const packed_time_t packed = (uint64_t(uint32_t(JAN_5_2023_090307)) << 32) | 123456;
  EXPECT_EQ(format_packed_time(text, sizeof(text), "%Y-%m-%d %H:%M:%S", packed), 19u);
  EXPECT_STREQ(text, "2023-01-05 09:03:07");
  EXPECT_EQ(format_packed_time(text, sizeof(text), "%Y", packed | (uint64_t(1) << 63)), 0u) << "bit 63 set";
  EXPECT_EQ(format_local_time(text, sizeof(text), "%Y", -5), 0u);
  EXPECT_EQ(format_local_time(text, 4, "%Y-%m", JAN_5_2023_090307), 0u) << "does not fit";
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

// The printf family: the "%a" and "%I64" rewrites, bounded output, measuring, scanf and streams.
#include "core/printf_format.h"

#include "core/error_state.h"
#include "tests/support/interr_capture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <string>

namespace {

TEST(ExpandFormatTest, RewritesExtensionsOnly)
{
  struct case_t
  {
    const char *format;
    const char *expanded;
  };
  const case_t cases[] = {
    {"%a", "%llX"},           {"%08a", "%016llX"},   {"%-8a", "%-16llX"},  {"%0a", "%0llX"},
    {"%.4a", "%.8llX"},       {"%%a", "%%a"},        {"%I64d", "%lld"},    {"%0*I64X", "%0*llX"},
    {"%I64u/%s", "%llu/%s"},  {"%5.2f %d", "%5.2f %d"}, {"x%", "x%"},      {"%a%a", "%llX%llX"},
  };
  for ( const case_t &c : cases )
  {
    char scratch[64];
    EXPECT_STREQ(expand_format_extensions(c.format, scratch, sizeof(scratch)), c.expanded) << c.format;
  }
  const char *plain = "no conversions";
  char scratch[4];
  EXPECT_EQ(expand_format_extensions(plain, scratch, sizeof(scratch)), plain) << "returned as it is";
}

TEST(ExpandFormatTest, ScratchOverflowIsInternalError)
{
  char scratch[6];
  EXPECT_EQ(interr_number([&] { expand_format_extensions("abcdef%d", scratch, sizeof(scratch)); }), 518);
  EXPECT_EQ(interr_number([&] { expand_format_extensions("%08a", scratch, sizeof(scratch)); }), 520);
}

TEST(BufPrintfTest, FormatsExtensions)
{
  struct case_t
  {
    const char *format;
    uint64_t value;
    const char *expected;
  };
  const case_t cases[] = {
    {"%08a", 0x1234, "0000000000001234"},
    {"%a", 255, "FF"},
    {"%a", UINT64_MAX, "FFFFFFFFFFFFFFFF"},
    {"%I64u", uint64_t(1) << 40, "1099511627776"},
    {"%I64d", uint64_t(-5), "-5"},
    {"%%a", 0, "%a"},
  };
  for ( const case_t &c : cases )
  {
    char buffer[64];
    const int n = buf_printf(buffer, sizeof(buffer), c.format, c.value);
    EXPECT_STREQ(buffer, c.expected) << c.format;
    EXPECT_EQ(n, int(std::string(c.expected).size())) << c.format;
  }
}

TEST(BufPrintfTest, BoundedOutputAndMeasuring)
{
  char buffer[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(buf_printf(buffer, 4, "%s", "0123456789"), 3);
  EXPECT_STREQ(buffer, "012");

  char one[2] = {'x', 'x'};
  EXPECT_EQ(buf_printf(one, 1, "%s", "abc"), 0);
  EXPECT_EQ(one[0], '\0');
  EXPECT_EQ(one[1], 'x');

  char untouched[2] = {'x', 'x'};
  EXPECT_EQ(buf_printf(untouched, 0, "%s", "abc"), 0);
  EXPECT_EQ(untouched[0], 'x');

  EXPECT_EQ(buf_printf(nullptr, 0, "%s%a", "0123456789", uint64_t(0xABC)), 13) << "measures";
  EXPECT_EQ(buf_printf(nullptr, 5, "%s", "abc"), 0) << "no buffer but a size: no output";

  char exact[4];
  EXPECT_EQ(buf_printf(exact, 4, "abc"), 3) << "fits exactly";
  EXPECT_STREQ(exact, "abc");
}

TEST(BufPrintfTest, SizeAndFormatErrorsAreInternalErrors)
{
  char buffer[8];
  EXPECT_EQ(interr_number([&] { buf_printf(buffer, -1, "x"); }), 1225);
  EXPECT_EQ(interr_number([&] { buf_printf(buffer, sizeof(buffer), nullptr); }), 539);
}

TEST(BufScanfTest, ReadsExpandedConversions)
{
  uint64_t hex = 0;
  long long number = 0;
  char word[16] = {};
  EXPECT_EQ(buf_scanf("1234ABCD9 -42 word", "%a %I64d %15s", &hex, &number, word), 3);
  EXPECT_EQ(hex, 0x1234ABCD9u);
  EXPECT_EQ(number, -42);
  EXPECT_STREQ(word, "word");
  EXPECT_EQ(buf_scanf("zz", "%a", &hex), 0);
}

int write_to(FILE *stream, const char *format, ...)
{
  va_list va;
  va_start(va, format);
  const int n = file_vprintf(stream, format, va);
  va_end(va);
  return n;
}

TEST(FilePrintfTest, NullStreamFailsWithEbadf)
{
  qerrno_set(0);
  errno = 0;
  EXPECT_EQ(write_to(nullptr, "%d", 1), -1);
  EXPECT_EQ(qerrno_get(), 1);
  EXPECT_EQ(errno, EBADF);
}

TEST(FilePrintfTest, WritesExpandedFormat)
{
  FILE *stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(write_to(stream, "[%04a|%s]", uint64_t(0xBEEF), "ok"), 13);
  std::rewind(stream);
  char line[32] = {};
  ASSERT_NE(std::fgets(line, sizeof(line), stream), nullptr);
  EXPECT_STREQ(line, "[0000BEEF|ok]");
  std::fclose(stream);
}

TEST(ConsolePrintfTest, WritesTheExpandedFormatToStandardOutput)
{
  testing::internal::CaptureStdout();
  const int n = console_printf("%s %a|%04a\n", "value", uint64_t(255), uint64_t(0x12));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "value FF|00000012\n");
  EXPECT_EQ(n, 18);
}

} // namespace

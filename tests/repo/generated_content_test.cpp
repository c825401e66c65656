// Generated numbers and the replacement of a text's first number.
#include "repo/generated_content.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

// The sequence of the calling thread, computed independently.
uint32_t expected_number(int index)
{
  uint32_t state = 123456789;
  for ( int i = 0; i <= index; ++i )
    state = state * 1103515245u + 12345u;
  return state % 2147483647u;
}

TEST(GenerateNumber, StartsTheKnownSequenceOnEveryFreshThread)
{
  for ( int round = 0; round < 2; ++round )
  {
    std::thread worker([] {
      EXPECT_EQ(generate_number(), 231794730u);
      EXPECT_EQ(generate_number(), 1126946332u);
      for ( int i = 2; i < 50; ++i )
        EXPECT_EQ(generate_number(), expected_number(i));
    });
    worker.join();
  }
}

struct replace_case_t
{
  const char *what;
  std::string before;
  // The expected text around the inserted number, and the number read from the text (XORed in).
  std::string prefix;
  std::string suffix;
  uint32_t read;
};

TEST(ReplaceFirstNumber, ReplacesOnlyTheFirstNumber)
{
  const replace_case_t cases[] = {
    {"middle", "size 42 bytes", "size ", " bytes", 42},
    {"first_of_two", "a1b22", "a", "b22", 1},
    {"leading", "7", "", "", 7},
    {"no_digits_appends", "abc", "abc", "", 0},
    {"empty", "", "", "", 0},
    {"too_large_reads_as_max", "x99999999999y", "x", "y", 0xFFFFFFFFu},
    {"stops_at_zero_byte", std::string("ab\0" "12", 5), "ab", std::string("\0" "12", 3), 0},
    {"high_bytes_skipped", "\xc3\xa9" "5", "\xc3\xa9", "", 5},
  };
  for ( const replace_case_t &c : cases )
  {
    std::thread worker([&c] {
      qstring text(c.before.data(), c.before.size());
      replace_first_number(&text);
      const std::string expected = c.prefix + std::to_string(231794730u ^ c.read) + c.suffix;
      EXPECT_EQ(std::string(text.view()), expected) << c.what;
    });
    worker.join();
  }
}

} // namespace

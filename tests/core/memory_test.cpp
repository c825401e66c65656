// Growth rule and failure paths of the allocation wrappers and vector_grow.
#include "core/memory.h"

#include "core/error_state.h"
#include "tests/support/interr_capture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr uint64_t TWO_62 = uint64_t(1) << 62;

struct grow_case_t
{
  const char *name;
  uint64_t capacity;
  uint64_t requested;
  uint64_t elem_size;
  uint64_t expected_capacity;
};

void PrintTo(const grow_case_t &c, std::ostream *os)
{
  *os << c.name;
}

class VectorGrow : public testing::TestWithParam<grow_case_t>
{
};

TEST_P(VectorGrow, ChoosesCapacityAndKeepsContents)
{
  const grow_case_t &c = GetParam();
  vector_header_t header;
  // A real buffer for the old capacity, unless the case only pretends to have one.
  const bool real = c.capacity < 1024;
  if ( real && c.capacity != 0 )
  {
    header.data = std::malloc(c.capacity * c.elem_size);
    std::memset(header.data, 0x5A, c.capacity * c.elem_size);
  }
  header.capacity = c.capacity;
  void *grown = vector_grow(&header, header.data, c.requested, c.elem_size);
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(header.capacity, c.expected_capacity);
  if ( real && c.capacity != 0 )
  {
    for ( uint64_t i = 0; i < c.capacity * c.elem_size; ++i )
      ASSERT_EQ(static_cast<unsigned char *>(grown)[i], 0x5A) << "byte " << i;
  }
  std::free(grown);
}

INSTANTIATE_TEST_SUITE_P(
  Rule, VectorGrow,
  testing::Values(grow_case_t {"doubles_10_to_20", 10, 11, 1, 20}, grow_case_t {"takes_request_25", 10, 25, 1, 25},
                  grow_case_t {"empty_to_one", 0, 1, 1, 1}, grow_case_t {"empty_to_one_wide", 0, 1, 8, 1},
                  grow_case_t {"doubling_wide_elements", 3, 4, 24, 6},
                  // Doubling overflows the byte count, the request itself fits: exactly the request.
                  grow_case_t {"overflowing_double_gives_request", TWO_62, 10, 4, 10}),
  [](const auto &info) { return info.param.name; });

struct impossible_case_t
{
  const char *name;
  uint64_t capacity;
  uint64_t requested;
  uint64_t elem_size;
  bool sets_error_code;
};

void PrintTo(const impossible_case_t &c, std::ostream *os)
{
  *os << c.name;
}

class VectorGrowFailure : public testing::TestWithParam<impossible_case_t>
{
};

TEST_P(VectorGrowFailure, ThrowsAndLeavesHeaderAlone)
{
  const impossible_case_t &c = GetParam();
  char old_block[8] = "intact";
  vector_header_t header {old_block, 3, c.capacity};
  qerrno_set(0);
  EXPECT_THROW(vector_grow(&header, header.data, c.requested, c.elem_size), std::bad_alloc);
  EXPECT_EQ(header.data, old_block);
  EXPECT_EQ(header.count, 3u);
  EXPECT_EQ(header.capacity, c.capacity);
  EXPECT_STREQ(old_block, "intact");
  EXPECT_EQ(qerrno_get(), c.sets_error_code ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
  Rule, VectorGrowFailure,
  testing::Values(impossible_case_t {"bytes_reach_2_63", 0, uint64_t(1) << 63, 1, false},
                  impossible_case_t {"bytes_just_at_limit", 0, (uint64_t(1) << 63) - 1, 1, false},
                  impossible_case_t {"two_byte_elements_reach_limit", 0, TWO_62, 2, false},
                  impossible_case_t {"request_overflows_too", TWO_62, TWO_62 + 1, 4, false},
                  impossible_case_t {"zero_sized_elements", 0, 5, 0, true}),
  [](const auto &info) { return info.param.name; });

TEST(VectorGrowTest, NullHeaderIsInternalError2676)
{
  EXPECT_EQ(interr_number([] { vector_grow(nullptr, nullptr, 1, 1); }), 2676);
}

TEST(AllocTest, NullReturningWrappersReportThroughErrorState)
{
  struct case_t
  {
    const char *name;
    void *(*call)();
    bool expect_error;
  };
  const case_t cases[] = {
    {"alloc_or_null zero", [] { return alloc_or_null(0); }, false},
    {"alloc_or_null negative", [] { return alloc_or_null(-1); }, true},
    {"alloc_or_null exhausted", [] { return alloc_or_null(int64_t(1) << 62); }, true},
    {"alloc_zeroed zero count", [] { return alloc_zeroed(0, 8); }, false},
    {"alloc_zeroed zero size", [] { return alloc_zeroed(8, 0); }, false},
    {"alloc_zeroed overflow", [] { return alloc_zeroed(INT64_MAX, 2); }, true},
    {"alloc_zeroed negative", [] { return alloc_zeroed(-1, 8); }, true},
    {"realloc_or_null negative", [] { return realloc_or_null(nullptr, -4); }, true},
    {"duplicate_text null", [] { return static_cast<void *>(duplicate_text(nullptr)); }, false},
  };
  for ( const case_t &c : cases )
  {
    qerrno_set(0);
    errno = 0;
    EXPECT_EQ(c.call(), nullptr) << c.name;
    EXPECT_EQ(qerrno_get(), c.expect_error ? 1 : 0) << c.name;
    if ( c.expect_error )
    {
      EXPECT_EQ(errno, ENOMEM) << c.name;
    }
  }
}

TEST(AllocTest, AllocOrThrowThrowsForZeroNegativeAndExhausted)
{
  qerrno_set(0);
  EXPECT_THROW(alloc_or_throw(0), std::bad_alloc);
  EXPECT_EQ(qerrno_get(), 0) << "size 0 sets no error code";
  errno = 0;
  EXPECT_THROW(alloc_or_throw(-5), std::bad_alloc);
  EXPECT_EQ(qerrno_get(), 1);
  EXPECT_EQ(errno, ENOMEM);
  qerrno_set(0);
  EXPECT_THROW(alloc_or_throw(int64_t(1) << 62), std::bad_alloc);
  EXPECT_EQ(qerrno_get(), 1);
  void *block = alloc_or_throw(16);
  ASSERT_NE(block, nullptr);
  std::free(block);
}

TEST(AllocTest, ZeroedBlocksAreZeroAndReallocKeepsOldBlockOnFailure)
{
  auto *zeroed = static_cast<unsigned char *>(alloc_zeroed(4, 4));
  ASSERT_NE(zeroed, nullptr);
  for ( int i = 0; i < 16; ++i )
    EXPECT_EQ(zeroed[i], 0);
  zeroed[0] = 42;
  EXPECT_EQ(realloc_or_null(zeroed, -1), nullptr);
  EXPECT_EQ(zeroed[0], 42) << "the old block stays valid";
  auto *grown = static_cast<unsigned char *>(realloc_or_null(zeroed, 64));
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(grown[0], 42);
  EXPECT_EQ(realloc_or_null(grown, 0), nullptr) << "size 0 frees";
}

TEST(AllocTest, DuplicateTextCopiesWithTerminator)
{
  char *copy = duplicate_text("abc");
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "abc");
  std::free(copy);
  char *empty = duplicate_text("");
  ASSERT_NE(empty, nullptr);
  EXPECT_STREQ(empty, "");
  std::free(empty);
}

} // namespace

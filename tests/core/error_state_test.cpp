// The per-thread error state: codes, argument slots, error texts and catalogue formats.
#include "core/error_state.h"

#include "core/internal_error.h"
#include "tests/support/interr_capture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace {

class ErrorStateTest : public testing::Test
{
protected:
  void SetUp() override
  {
    qerrno_set(0);
    for ( int i = 0; i < ERROR_ARG_COUNT; ++i )
    {
      error_arg_text(i, nullptr);
      set_error_arg_number(i, 0);
    }
  }
};

TEST_F(ErrorStateTest, SetMinusOneReadsWithoutChanging)
{
  EXPECT_EQ(qerrno_set(12), 12);
  EXPECT_EQ(qerrno_set(-1), 12);
  EXPECT_EQ(qerrno_get(), 12);
}

TEST_F(ErrorStateTest, TextArgumentsAreOwnedCopiesAddressedBySlot)
{
  char source[] = "file.txt";
  const char *copy = error_arg_text(0, source);
  source[0] = 'X';
  EXPECT_STREQ(copy, "file.txt");
  EXPECT_EQ(get_error_arg_number(0), uint64_t(uintptr_t(copy)));
  EXPECT_EQ(get_error_arg_text(0), copy);

  const char *empty = error_arg_text(1, "");
  ASSERT_NE(empty, nullptr);
  EXPECT_STREQ(empty, "");

  EXPECT_EQ(error_arg_text(0, nullptr), nullptr);
  EXPECT_EQ(get_error_arg_number(0), 0u);
  EXPECT_EQ(get_error_arg_text(0), nullptr);

  EXPECT_STREQ(error_arg_text(2, get_error_arg_text(1)), "") << "copy from another slot";
  error_arg_text(3, "abc");
  EXPECT_STREQ(error_arg_text(3, get_error_arg_text(3) + 1), "bc") << "copy from its own slot";
}

TEST_F(ErrorStateTest, SlotIndexesOutOfRangeAreInternalErrors)
{
  struct case_t
  {
    const char *name;
    void (*call)();
    int expected;
  };
  const case_t cases[] = {
    {"set number 4", [] { set_error_arg_number(4, 1); }, 480},
    {"text 4", [] { error_arg_text(4, "x"); }, 481},
    {"get number 4", [] { get_error_arg_number(4); }, 482},
    {"get text 4", [] { get_error_arg_text(4); }, 483},
    {"set number -1", [] { set_error_arg_number(-1, 1); }, 480},
  };
  for ( const case_t &c : cases )
    EXPECT_EQ(interr_number(c.call), c.expected) << c.name;
}

TEST_F(ErrorStateTest, ErrorCodeTexts)
{
  EXPECT_STREQ(error_code_text(0), "No error");
  errno = ENOENT;
  EXPECT_STREQ(error_code_text(1), "No such file or directory");
  EXPECT_STREQ(error_code_text(4711), "Unknown error code 4711") << "no catalogue text";
  qerrno_set(12);
  EXPECT_STREQ(error_code_text(-1), "Unknown error code 12") << "-1 is the current code";
  EXPECT_STREQ(prefixed_error_text("open", 0), "open: No error");
  qerrno_set(0);
  EXPECT_STREQ(prefixed_error_text("read", -1), "read: No error");
}

TEST_F(ErrorStateTest, SystemAndWindowsErrorTexts)
{
  EXPECT_STREQ(system_error_text(EACCES), "Permission denied");
  errno = EEXIST;
  EXPECT_STREQ(system_error_text(-1), "File exists");
  EXPECT_STREQ(system_error_text(123456), "unknown error code 123456");
  EXPECT_STREQ(win_error_text(EACCES), "Permission denied");
  EXPECT_STREQ(win_error_text(0xDEADBEEF), "Unknown error, code: 0xDEADBEEF");
  EXPECT_STREQ(win_error_text(100000), "Unknown error, code: 0x000186A0");
}

TEST_F(ErrorStateTest, RenderChecksEachConversionAgainstItsSlot)
{
  struct case_t
  {
    const char *name;
    const char *format;
    bool fits;
    const char *expected;
  };
  // Slot 0: a text, slot 1: 0x100000005, slot 2: -3 (as 64 bits), slot 3: 0.
  const case_t cases[] = {
    {"text", "File %s not found", true, "File data.bin not found"},
    {"int truncates to 32 bits", "%s %d", true, "data.bin 5"},
    {"64-bit prefixes", "%s %I64u %lld", true, "data.bin 4294967301 -3"},
    {"unsigned 32", "%s %u %x", true, "data.bin 5 fffffffd"},
    {"hex extension widens", "%s %08a", true, "data.bin 0000000100000005"},
    {"star width", "%s %*d|", true, "data.bin    -3|"}, // width 5 from slot 1, value -3 from slot 2
    {"percent", "100%% %s", true, "100% data.bin"},
    {"null text slot", "%s %d %d %s", true, "data.bin 5 -3 (null)"},
    {"char", "%s %c", true, "data.bin \x05"},
    {"text from a number slot", "%d %s", false, nullptr},
    {"write-back", "%s%n", false, nullptr},
    {"floating", "%s %f", false, nullptr},
    {"five slots", "%s %d %d %d %d", false, nullptr},
    {"huge width", "%s %5000d", false, nullptr},
    {"dangling percent", "%s %", false, nullptr},
    {"unknown conversion", "%s %y", false, nullptr},
  };
  error_arg_text(0, "data.bin");
  set_error_arg_number(1, 0x100000005ull);
  set_error_arg_number(2, uint64_t(-3));
  set_error_arg_number(3, 0);
  for ( const case_t &c : cases )
  {
    qstring out;
    const bool fits = render_error_format(&out, c.format);
    EXPECT_EQ(fits, c.fits) << c.name;
    if ( c.fits )
    {
      EXPECT_EQ(out, c.expected) << c.name;
    }
  }
}

TEST_F(ErrorStateTest, WorkerStateNeverLeaksIntoOtherThreads)
{
  qerrno_set(7);
  error_arg_text(0, "main");
  int32_t worker_initial = -1;
  const char *worker_text_initial = "unset";
  std::thread worker([&] {
    worker_initial = qerrno_get();
    worker_text_initial = get_error_arg_text(0);
    qerrno_set(99);
    error_arg_text(0, "worker");
    set_error_arg_number(1, 1234);
    set_interr_throws(1);
  });
  worker.join();
  EXPECT_EQ(worker_initial, 0) << "a new thread starts zero-filled";
  EXPECT_EQ(worker_text_initial, nullptr);
  EXPECT_EQ(qerrno_get(), 7);
  EXPECT_STREQ(get_error_arg_text(0), "main");
  EXPECT_EQ(get_error_arg_number(1), 0u);
  EXPECT_EQ(interr_throws(), 0);
}

} // namespace

// Internal errors: thrown for a thread that asked, fatal otherwise; the fatal path with and without a UI.
#include "core/internal_error.h"

#include "core/ui_callback.h"
#include "tests/support/recording_ui_callback.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(InterrTest, ThrowsForThreadThatAskedAndProcessGoesOn)
{
  const uint8_t previous = set_interr_throws(1);
  EXPECT_EQ(previous, 0) << "threads start with fatal internal errors";
  try
  {
    interr(1280);
  }
  catch ( const interr_exc_t &e )
  {
    EXPECT_EQ(e.code, 1280);
  }
  EXPECT_EQ(set_interr_throws(previous), 1);
  EXPECT_EQ(interr_throws(), 0);
}

TEST(InterrTest, ChoiceIsPerThread)
{
  set_interr_throws(1);
  uint8_t seen_by_worker = 99;
  std::thread worker([&] { seen_by_worker = interr_throws(); });
  worker.join();
  EXPECT_EQ(seen_by_worker, 0);
  set_interr_throws(0);
}

TEST(InterrDeathTest, FatalWithoutRequestToThrow)
{
  EXPECT_EXIT(interr(77), testing::ExitedWithCode(1), "Oops! internal error 77 occurred\\.");
}

TEST(InterrDeathTest, FatalReachesTheUiCallbackAsKindThree)
{
  EXPECT_EXIT(
    {
      recording_ui_callback_t ui;
      interr(2676);
    },
    testing::ExitedWithCode(1), "Oops! internal error 2676 occurred\\.");
}

TEST(FatalDeathTest, WithoutCallbackTextAndNewlineGoToStderr)
{
  ASSERT_EQ(ui_callback, nullptr);
  EXPECT_EXIT(fatal_printf("disk %s is %a", "D", uint64_t(0xFULL)), testing::ExitedWithCode(1),
              "^disk D is F\n$");
}

TEST(FatalDeathTest, CountsAndMarksExiting)
{
  EXPECT_EXIT(
    {
      recording_ui_callback_t ui;
      ui.script(ui_code_message, 0);
      const uint32_t before = fatal_error_count.load();
      // The recorder ends the process on kind 3: report what was seen first.
      fatal_printf("count %u exiting %d", before, int(process_exiting.load()));
    },
    testing::ExitedWithCode(1), "count 0 exiting 0");
}

TEST(FatalTest, DebuggerIsNotAttachedUnderTest)
{
  EXPECT_FALSE(debugger_present);
}

} // namespace

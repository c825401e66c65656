// The guard hands a fault to the application's exception handler and lets the caller go on.
#include "tests/ui/app/test_app.h"
#include "ui/fault_guard.h"

#include "core/internal_error.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(FaultGuard, FaultsGoToTheHandlerAndTheGuardAnswersFalse)
{
  recording_exception_handler_t &record = test_app().fault_record();
  record.clear();
  int ran = 0;
  EXPECT_TRUE(run_guarded([&] { ++ran; }));
  EXPECT_FALSE(run_guarded([] { throw std::logic_error("broken"); }));
  EXPECT_FALSE(run_guarded([] { throw 42; }));
  // An internal error of a thread that asked for them to be thrown is a fault like any other.
  const uint8_t previous = set_interr_throws(1);
  EXPECT_FALSE(run_guarded([] { interr(40002); }));
  set_interr_throws(previous);
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(record.faults(), (std::vector<std::string> {"broken", "?", "std::exception"}));
  record.clear();
}

} // namespace

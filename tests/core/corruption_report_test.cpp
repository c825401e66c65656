// Tests of the corrupted-structure report line.
#include "core/corruption_report.h"

#include "tests/support/recording_ui_callback.h"

#include <gtest/gtest.h>

namespace {

TEST(ReportCorruption, LogsThePrefixedFormattedMessage)
{
  recording_ui_callback_t ui;
  report_corruption("bad node %d in %s", 17, "tree");
  report_corruption("100%% lost");
  const auto logged = ui.requests_of(ui_code_log);
  ASSERT_EQ(logged.size(), 2u);
  EXPECT_EQ(logged[0].text, "**DATABASE IS CORRUPTED: bad node 17 in tree");
  EXPECT_EQ(logged[1].text, "**DATABASE IS CORRUPTED: 100% lost");
  EXPECT_EQ(ui.requests().size(), 2u) << "nothing but log lines";
}

} // namespace

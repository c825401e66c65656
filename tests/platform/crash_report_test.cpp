// Signal crash reports: where they land, what they hold, and that the process still dies of its signal.
#include "platform/crash_report.h"

#include "tests/support/file_contents.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void fixed_name(char *buf, size_t size, const crash_time_t &, long, int)
{
  snprintf(buf, size, "fault.dmp");
}

// Reads through a null pointer the sanitizers must not intercept: the fault itself is under test.
__attribute__((noinline, no_sanitize("undefined", "address"))) int read_null(volatile int *p)
{
  return *p;
}

struct fault_case_t
{
  const char *what;
  bool name_taken_in_workdir; // a file of the report's name is already in the working directory
  bool size_limit_zero;       // writes fail: the created file must be removed
  bool report_under_way;      // a fault during a report is not reported again
  bool expect_in_workdir;
  bool expect_in_temp;
};

// The death-test child: faults in `work` with reports allowed into `temp`; never returns.
[[noreturn]] void fault_in(const fault_case_t &c, const fs::path &work, const fs::path &temp)
{
  if ( chdir(work.c_str()) != 0 || !install_crash_signals(fixed_name, temp.c_str()) )
    _exit(3);
  if ( c.size_limit_zero )
  {
    const rlimit none {0, 0};
    setrlimit(RLIMIT_FSIZE, &none);
  }
  if ( c.report_under_way && !begin_crash_report() )
    _exit(4);
  (void)read_null(nullptr);
  _exit(5);
}

TEST(CrashReport, NullDereferenceDiesOfSigsegvAndLeavesItsReport)
{
  const fault_case_t cases[] = {
    {"report in the working directory", false, false, false, true, false},
    {"name taken: temporary directory", true, false, false, false, true},
    {"file-size limit 0: no file", false, true, false, false, false},
    {"fault during a report: no report", false, false, true, false, false},
  };
  // Forked without exec, so the child sees the same folders as this process.
  GTEST_FLAG_SET(death_test_style, "fast");
  const fs::path base = fs::path(getenv("TMPDIR")) / "crash";
  for ( const fault_case_t &c : cases )
  {
    SCOPED_TRACE(c.what);
    fs::remove_all(base);
    const fs::path work = base / "work";
    const fs::path temp = base / "temp";
    fs::create_directories(work);
    fs::create_directories(temp);
    if ( c.name_taken_in_workdir )
      write_file(work / "fault.dmp", "keep me");
    EXPECT_EXIT(fault_in(c, work, temp), testing::KilledBySignal(SIGSEGV), "");

    const fs::path expected = c.expect_in_workdir ? work / "fault.dmp" : temp / "fault.dmp";
    if ( c.expect_in_workdir || c.expect_in_temp )
    {
      const std::string report = read_file(expected);
      EXPECT_NE(report.find("Fatal signal 11 (SIGSEGV) at address 0x0000000000000000"), std::string::npos) << report;
      EXPECT_NE(report.find("Backtrace:\n"), std::string::npos) << report;
      EXPECT_NE(report.find("End of report\n"), std::string::npos) << report;
    }
    EXPECT_EQ(file_names_in(temp), c.expect_in_temp ? std::vector<std::string> {"fault.dmp"} : std::vector<std::string> {});
    if ( c.name_taken_in_workdir )
      EXPECT_EQ(read_file(work / "fault.dmp"), "keep me");
    else
      EXPECT_EQ(file_names_in(work),
                c.expect_in_workdir ? std::vector<std::string> {"fault.dmp"} : std::vector<std::string> {});
  }
  fs::remove_all(base);
}

TEST(CrashReport, NamesCarryTheLocalTimeAndProcessId)
{
  // The handler's own clock must agree with the C library's local time (same second: retry across a tick).
  ASSERT_TRUE(install_crash_signals(nullptr, ""));
  // Restore the default actions so that a later fault in this process is not taken for one under test.
  for ( const int signo : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT} )
    signal(signo, SIG_DFL);
  crash_time_t ours {};
  tm theirs {};
  for ( int attempt = 0; attempt < 5; ++attempt )
  {
    // time() reads a coarse clock that may lag the handler's by a tick: read the same clock on both sides.
    timespec before {};
    timespec after {};
    clock_gettime(CLOCK_REALTIME, &before);
    ours = crash_local_time();
    clock_gettime(CLOCK_REALTIME, &after);
    localtime_r(&before.tv_sec, &theirs);
    if ( after.tv_sec == before.tv_sec )
      break;
  }
  EXPECT_EQ(ours.year, theirs.tm_year + 1900);
  EXPECT_EQ(ours.month, theirs.tm_mon + 1);
  EXPECT_EQ(ours.day, theirs.tm_mday);
  EXPECT_EQ(ours.hour, theirs.tm_hour);
  EXPECT_EQ(ours.minute, theirs.tm_min);
  EXPECT_EQ(ours.second, theirs.tm_sec);

  struct case_t
  {
    crash_time_t time;
    long pid;
    size_t size;
    const char *expected;
  };
  const case_t cases[] = {
    {{2026, 1, 2, 3, 4, 5}, 77, 64, "akui-20260102-030405-77.dmp"},
    {{999, 12, 31, 23, 59, 59}, 4194304, 64, "akui-09991231-235959-4194304.dmp"},
    {{2026, 1, 2, 3, 4, 5}, 77, 10, "akui-2026"}, // cut to the buffer, still terminated
  };
  for ( const case_t &c : cases )
  {
    char buf[64];
    format_crash_name(buf, c.size, "akui", c.time, c.pid);
    EXPECT_STREQ(buf, c.expected);
  }
}

} // namespace

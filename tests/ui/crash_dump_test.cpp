// Reports of faults caught by the framework's guards: when one is written, where it lands, and that work goes on.
#include "tests/ui/app/test_app.h"
#include "ui/exception_handler.h"
#include "ui/fault_guard.h"
#include "ui/request_queue.h"
#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"

#include "core/internal_error.h"
#include "tests/support/file_contents.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Names reports as the client does and records what it is told.
class recording_dump_handler_t : public win32_exception_handler_t
{
public:
  struct told_t
  {
    std::string path;
    bool internal_error;
    bool written;
  };

  void dump_file_name(qstring *out, const std::exception_ptr &, const tm &t, long pid, bool internal_error) override
  {
    char buf[128];
    snprintf(buf, sizeof(buf), internal_error ? "akui-interr-%04d%02d%02d-%02d%02d%02d-%ld.dmp"
                                              : "akui-%04d%02d%02d-%02d%02d%02d-%ld.dmp",
             t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, pid);
    *out = fixed_name.empty() ? buf : fixed_name.c_str();
  }
  void after_dump_message(const std::exception_ptr &, const char *path, bool internal_error, bool written) override
  {
    told.push_back({path, internal_error, written});
    if ( on_told )
      on_told();
  }
  int32_t no_dump_message(const std::exception_ptr &fault) override
  {
    no_dump.push_back(fault_exception_text(fault));
    return 7;
  }

  std::string fixed_name;
  std::function<void()> on_told;
  std::vector<told_t> told;
  std::vector<std::string> no_dump;
};

// Raises internal error 40002 as a thrown exception.
[[noreturn]] void raise_internal_error()
{
  const uint8_t previous = set_interr_throws(1);
  struct restore_t
  {
    uint8_t flag;
    ~restore_t() { set_interr_throws(flag); }
  } restore {previous};
  interr(40002);
}

struct interr_request_t : exec_request_t
{
  int32_t run() override { raise_internal_error(); }
};

int interr_activation(ui_action_activation_ctx_t *)
{
  raise_internal_error();
}

int logic_activation(ui_action_activation_ctx_t *)
{
  throw std::logic_error("broken");
}

struct value_request_t : exec_request_t
{
  int32_t run() override { return ++runs; }
  int runs = 0;
};

std::exception_ptr internal_error_fault()
{
  return std::make_exception_ptr(interr_exc_t(40002));
}

// Runs each test in an empty working directory of its own beside an empty temporary directory.
class CrashDump : public testing::Test
{
protected:
  void SetUp() override
  {
    previous_cwd = fs::current_path();
    temp = getenv("TMPDIR");
    work = temp.parent_path() / "crash-work";
    fs::remove_all(work);
    fs::create_directories(work);
    for ( const auto &entry : fs::directory_iterator(temp) )
      fs::remove_all(entry.path());
    fs::current_path(work);
    test_app().exception_handler = &handler;
  }
  void TearDown() override
  {
    test_app().exception_handler = nullptr;
    fs::current_path(previous_cwd);
    fs::remove_all(work);
  }

  recording_dump_handler_t handler;
  fs::path previous_cwd;
  fs::path work;
  fs::path temp;
};

TEST_F(CrashDump, GuardedFaultsAreReportedWhenTheyShouldBeAndTheWorkGoesOn)
{
  struct case_t
  {
    const char *what;
    bool dump_all;
    bool internal_error; // the work raises an internal error, else a logic_error
    bool action;         // the work is an action's activation, else a request run by the GUI thread's queue
    bool expect_report;
    const char *expect_prefix;
    const char *expect_text;
  };
  const case_t cases[] = {
    {"request: internal error, only those dumped", false, true, false, true, "akui-interr-",
     "Exception code 0xE0424242\nException: internal error 40002\n"},
    {"request: other exception, all dumped", true, false, false, true, "akui-",
     "Exception code 0xE0464F52\nException: broken\n"},
    {"request: other exception, not dumped", false, false, false, false, "", ""},
    {"action: internal error, only those dumped", false, true, true, true, "akui-interr-",
     "Exception code 0xE0424242\nException: internal error 40002\n"},
    {"action: other exception, not dumped", false, false, true, false, "", ""},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.what);
    handler = recording_dump_handler_t();
    handler.dump_all_exceptions = c.dump_all;
    for ( const auto &entry : fs::directory_iterator(work) )
      fs::remove(entry.path());

    // The faulting work is reported (or not) and the next request still runs. The requests outlive the
    // queue's run of them.
    interr_request_t interr_request;
    struct logic_request_t : exec_request_t
    {
      int32_t run() override { throw std::logic_error("broken"); }
    } logic_request;
    value_request_t next;
    if ( c.action )
    {
      action_desc_t desc;
      desc.name = "crash.faulty";
      desc.label = "Faulty";
      desc.activate = c.internal_error ? interr_activation : logic_activation;
      ui_action_t *action = test_app().get_action_registry()->register_core_action(desc);
      ASSERT_NE(action, nullptr);
      action->widget_kinds = ~uint64_t(0);
      action->context_word = 0;
      EXPECT_EQ(action->run_from_ui(), 0);
      ASSERT_TRUE(unregister_ui_action_by_name("crash.faulty"));
    }
    else
    {
      exec_request_t *faulting = c.internal_error ? static_cast<exec_request_t *>(&interr_request) : &logic_request;
      (void)execute_request(faulting, exec_flag_no_wait);
    }
    (void)execute_request(&next, exec_flag_no_wait);
    for ( int i = 0; i < 3; ++i )
      QCoreApplication::processEvents();
    EXPECT_EQ(next.runs, 1);

    const std::vector<std::string> files = file_names_in(work);
    if ( c.expect_report )
    {
      ASSERT_EQ(files.size(), 1u);
      EXPECT_EQ(files[0].rfind(c.expect_prefix, 0), 0u) << files[0];
      EXPECT_NE(files[0].find("-" + std::to_string(getpid()) + ".dmp"), std::string::npos) << files[0];
      const std::string report = read_file(work / files[0]);
      EXPECT_EQ(report.rfind(c.expect_text, 0), 0u) << report;
      EXPECT_NE(report.find("End of report\n"), std::string::npos);
      ASSERT_EQ(handler.told.size(), 1u);
      EXPECT_EQ(handler.told[0].path, (work / files[0]).string());
      EXPECT_EQ(handler.told[0].internal_error, c.internal_error);
      EXPECT_TRUE(handler.told[0].written);
      EXPECT_TRUE(handler.no_dump.empty());
    }
    else
    {
      EXPECT_TRUE(files.empty());
      EXPECT_TRUE(handler.told.empty());
      EXPECT_EQ(handler.no_dump, (std::vector<std::string> {"broken"}));
      EXPECT_EQ(handler.handle(std::make_exception_ptr(std::logic_error("direct"))), 7)
        << "handle answers what no_dump_message answers";
    }
  }
}

TEST_F(CrashDump, ATakenNameGoesToTheTemporaryDirectoryAndAFailedWriteLeavesNoFile)
{
  handler.fixed_name = "taken.dmp";
  write_file(work / "taken.dmp", "keep me");
  EXPECT_EQ(handler.handle(internal_error_fault()), 1);
  EXPECT_EQ(read_file(work / "taken.dmp"), "keep me");
  EXPECT_NE(read_file(temp / "taken.dmp").find("internal error 40002"), std::string::npos);
  ASSERT_EQ(handler.told.size(), 1u);
  EXPECT_EQ(handler.told[0].path, (temp / "taken.dmp").string());

  // Under a file-size limit of 0 the created file cannot be written: it is removed, and handle falls back.
  handler = recording_dump_handler_t();
  rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const rlimit none {0, saved.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &none), 0);
  const int32_t answer = handler.handle(internal_error_fault());
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
  EXPECT_EQ(answer, 7);
  ASSERT_EQ(handler.told.size(), 1u);
  EXPECT_FALSE(handler.told[0].written);
  EXPECT_TRUE(handler.told[0].internal_error);
  EXPECT_FALSE(fs::exists(handler.told[0].path));
  EXPECT_EQ(file_names_in(work), (std::vector<std::string> {"taken.dmp"}));
}

TEST_F(CrashDump, AFaultDuringAReportIsNotReportedAgain)
{
  // A guarded fault raised while the report is being told about: the nested one writes nothing.
  handler.on_told = [] { EXPECT_FALSE(run_guarded([] { throw interr_exc_t(40003); })); };
  EXPECT_EQ(handler.handle(internal_error_fault()), 1);
  EXPECT_EQ(handler.told.size(), 1u);
  EXPECT_EQ(handler.no_dump, (std::vector<std::string> {"internal error 40003"}));
  EXPECT_EQ(file_names_in(work).size(), 1u);

  // A report under way elsewhere (a signal report, another thread) also holds further reports back.
  handler = recording_dump_handler_t();
  ASSERT_TRUE(begin_crash_report());
  EXPECT_EQ(handler.handle(internal_error_fault()), 7);
  end_crash_report();
  EXPECT_TRUE(handler.told.empty());
  EXPECT_EQ(file_names_in(work).size(), 1u);
}

} // namespace

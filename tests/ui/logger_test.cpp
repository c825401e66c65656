// The logger: exact log-file bytes, the silent rules, held messages, its internal errors and many threads at once.
#include "core/clock_time.h"
#include "tests/support/file_contents.h"
#include "tests/support/interr_capture.h"
#include "tests/support/test_scale.h"
#include "tests/ui/app/test_app.h"
#include "tests/ui/app/test_logger.h"
#include "ui/logger.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const char prefix[] = "2026-12-10 10:11:12.013 ";
static_assert(sizeof(prefix) - 1 == LOG_PREFIX_WIDTH);

std::filesystem::path temp_log(const char *name)
{
  const std::filesystem::path path = std::filesystem::path(std::getenv("TMPDIR")) / name;
  std::filesystem::remove(path);
  return path;
}

// Logs a message with the fixed prefix, as logger_t::log does for a stamped message.
int log_text(logger_t &logger, const std::string &text)
{
  msg_data_t msg;
  msg.text = qstring(text);
  msg.prefix = prefix;
  msg.time = pack_time(1000, 13000);
  return logger.log(msg);
}

int print_va(const char *format, ...)
{
  va_list va;
  va_start(va, format);
  const int result = logger_print_va(format, va);
  va_end(va);
  return result;
}

// Collects what reaches the window, in order.
class window_recorder_t
{
public:
  window_recorder_t()
  {
    test_app().on_log_message = [this](msg_data_t &msg, uint32_t) {
      {
        const std::lock_guard<std::mutex> guard(mutex_);
        texts_.emplace_back(msg.text.view());
      }
      if ( during_delivery )
        during_delivery();
      return int(msg.text.size());
    };
  }
  ~window_recorder_t() { test_app().on_log_message = nullptr; }
  window_recorder_t(const window_recorder_t &) = delete;
  window_recorder_t &operator=(const window_recorder_t &) = delete;

  std::vector<std::string> texts()
  {
    const std::lock_guard<std::mutex> guard(mutex_);
    return texts_;
  }
  // Called inside each delivery, after it was recorded (GUI thread).
  std::function<void()> during_delivery;

private:
  std::mutex mutex_;
  std::vector<std::string> texts_;
};

TEST(Logger, FileBytesOfEachMessageShape)
{
  struct row_t
  {
    const char *what;
    bool timestamps;
    std::vector<std::string> messages;
    std::string file;
  };
  const std::string p = prefix;
  const row_t rows[] = {
    {"the first message gets no leading line break", false, {"one"}, "one"},
    {"the first message with timestamps", true, {"one"}, p + "one"},
    {"a two-line message: prefix on its first line only", true, {"one\n", "a\nb"}, p + "one\n" + p + "a\nb"},
    {"a message that continues an unfinished line starts nothing", true, {"one", "a\nb"}, p + "onea\nb"},
    {"a line break is written only when the next line begins", false, {"a\n", "b\n", "c"}, "a\nb\nc"},
    {"CR LF counts as LF", false, {"a\r\nb\r\n", "c"}, "a\nb\nc"},
    {"a carriage return continues the unfinished line (timestamps shown)", true, {"abc", "\rdef"},
     p + "abcdef"},
    {"a carriage return continues after blanks up to column 24 (timestamps hidden)", false, {"abc", "\rdef"},
     "abc" + std::string(21, ' ') + "def"},
    {"the text before a lone carriage return is never written", false, {"x\ry"}, std::string(24, ' ') + "y"},
    {"... nor with timestamps", true, {"x\ry"}, p + "y"},
    {"carriage returns after a CR LF, one after another", false, {"a\r\nx\ry\rz\nb"},
     "a\n" + std::string(24, ' ') + "z\nb"},
    {"an empty message writes nothing", true, {"", "a", ""}, p + "a"},
    {"continuation lines carry no prefix", true, {"1\n2\n3"}, p + "1\n2\n3"},
  };
  for ( const row_t &row : rows )
  {
    const std::filesystem::path path = temp_log("shapes.log");
    window_recorder_t window;
    {
      test_logger_t logger(path.string());
      logger.set_show_timestamps(row.timestamps);
      for ( const std::string &message : row.messages )
        EXPECT_EQ(log_text(logger, message), int(message.size())) << row.what;
    }
    EXPECT_EQ(read_file(path), row.file) << row.what;
  }
}

TEST(Logger, WindowGetsEveryMessageWithItsPrefix)
{
  window_recorder_t window;
  test_logger_t logger;
  EXPECT_EQ(log_text(logger, "a\nb"), 3);
  EXPECT_EQ(window.texts(), std::vector<std::string>({"a\nb"}));

  // The application's display sees the stamped message.
  qstring seen_prefix;
  test_app().on_log_message = [&](msg_data_t &msg, uint32_t) {
    seen_prefix = msg.prefix;
    return 7;
  };
  msg_data_t msg;
  msg.text = "x";
  EXPECT_EQ(logger.log(msg), 7) << "the GUI thread answers the display's result";
  EXPECT_EQ(seen_prefix.size(), LOG_PREFIX_WIDTH);
}

TEST(Logger, TimestampPrefixIsLocalTimeWithMilliseconds)
{
  const packed_time_t time = pack_time(1700000000, 45678);
  char date[32];
  ASSERT_NE(format_packed_time(date, sizeof(date), "%Y-%m-%d %H:%M:%S.", time), 0u);
  EXPECT_EQ(log_time_prefix(time), std::string(date) + "045 ");
  EXPECT_EQ(log_time_prefix(pack_time(1700000000, 999999)).size(), LOG_PREFIX_WIDTH);
}

TEST(Logger, SilentRules)
{
  // Silent with a log file: the file only.
  {
    const std::filesystem::path path = temp_log("silent.log");
    window_recorder_t window;
    test_logger_t logger(path.string(), true);
    EXPECT_EQ(log_text(logger, "quiet"), 5);
    EXPECT_TRUE(window.texts().empty());
    EXPECT_EQ(read_file(path), "quiet");
  }
  // Silent without a usable log file: the window still gets everything.
  {
    window_recorder_t window;
    test_logger_t logger((std::filesystem::path(std::getenv("TMPDIR")) / "no-such-dir" / "x.log").string(), true);
    (void)log_text(logger, "loud");
    EXPECT_EQ(window.texts(), std::vector<std::string>({"loud"}));
  }
  {
    window_recorder_t window;
    test_logger_t logger(std::string(), true);
    (void)log_text(logger, "no file");
    EXPECT_EQ(window.texts(), std::vector<std::string>({"no file"}));
  }
}

TEST(Logger, PrintFormatsAndDropsTheHelpMarker)
{
  window_recorder_t window;
  test_logger_t logger;
  EXPECT_EQ(print_va("%s=%d\n", "n", 42), 5);
  EXPECT_EQ(print_va("@0:1234[]\nafter marker"), 12);
  EXPECT_EQ(print_va("%s", ""), 0);
  EXPECT_EQ(print_va("@0:77[]\n"), 0) << "only a help marker is an empty message";
  EXPECT_EQ(window.texts(), std::vector<std::string>({"n=42\n", "after marker"}));
}

TEST(Logger, InternalErrors)
{
  EXPECT_EQ(interr_number([] { (void)print_va("no logger"); }), INTERR_LOG_WITHOUT_LOGGER);
  test_logger_t logger;
  EXPECT_EQ(interr_number([] { test_logger_t second; }), INTERR_SECOND_LOGGER);
  EXPECT_EQ(app_logger(), &logger) << "the refused logger leaves the registration alone";
}

// Runs the event loop until the condition holds (or ten seconds passed).
template <typename Condition>
bool process_until(Condition &&done)
{
  QElapsedTimer timer;
  timer.start();
  while ( !done() && timer.elapsed() < 10000 )
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

TEST(Logger, MessageLoggedDuringADeliveryIsGluedInFrontOfTheNext)
{
  window_recorder_t window;
  test_logger_t logger;
  bool nested = false;
  window.during_delivery = [&] {
    if ( nested )
      return;
    nested = true;
    (void)log_text(logger, "held ");
  };
  (void)log_text(logger, "first\n");
  window.during_delivery = nullptr;
  EXPECT_EQ(window.texts(), std::vector<std::string>({"first\n"})) << "the held message waits";
  (void)log_text(logger, "next");
  EXPECT_EQ(window.texts(), std::vector<std::string>({"first\n", "held next"}));
  // The hand-over queued for the held text finds nothing left to do.
  QCoreApplication::processEvents();
  EXPECT_EQ(window.texts().size(), 2u);
}

TEST(Logger, HeldMessageArrivesWithoutALaterMessage)
{
  window_recorder_t window;
  {
    test_logger_t logger;
    bool nested = false;
    window.during_delivery = [&] {
      if ( !nested )
      {
        nested = true;
        (void)log_text(logger, "held");
      }
    };
    (void)log_text(logger, "first");
    window.during_delivery = nullptr;
    ASSERT_TRUE(process_until([&] { return window.texts().size() == 2; }));
    EXPECT_EQ(window.texts()[1], "held") << "delivered after the running delivery ended";

    // Held again, and the logger shuts down before the event loop runs: the text is delivered then.
    nested = false;
    window.during_delivery = [&] {
      if ( !nested )
      {
        nested = true;
        (void)log_text(logger, "at shutdown");
      }
    };
    (void)log_text(logger, "second");
    window.during_delivery = nullptr;
    EXPECT_EQ(window.texts().size(), 3u);
  }
  ASSERT_EQ(window.texts().size(), 4u);
  EXPECT_EQ(window.texts()[3], "at shutdown");
  QCoreApplication::processEvents(); // the left-over hand-over of the destroyed logger does nothing
  EXPECT_EQ(window.texts().size(), 4u);
}

// Logs from a worker thread and waits until the call returned (the GUI thread runs nothing meanwhile).
void log_from_worker(logger_t &logger, const std::string &text)
{
  std::thread worker([&] { (void)log_text(logger, text); });
  worker.join();
}

TEST(Logger, OtherThreadsTextSurvivesADroppedHandOverAndShutdown)
{
  window_recorder_t window;
  {
    test_logger_t logger;
    log_from_worker(logger, "one ");
    log_from_worker(logger, "two ");
    EXPECT_TRUE(window.texts().empty()) << "handed over, not yet taken";
    // The queue drops the waiting hand-over unrun: the text stays, and the next message wakes the GUI again.
    EXPECT_EQ(test_app().cancel_queued([](exec_request_t *) { return true; }), 1u);
    log_from_worker(logger, "three");
    ASSERT_TRUE(process_until([&] { return !window.texts().empty(); }));
    EXPECT_EQ(window.texts(), std::vector<std::string>({"one two three"}));

    // Handed over and the logger shuts down before the GUI thread took it: delivered then.
    log_from_worker(logger, "late");
  }
  EXPECT_EQ(window.texts(), std::vector<std::string>({"one two three", "late"}));
  QCoreApplication::processEvents(); // the destroyed logger's hand-over does nothing
  EXPECT_EQ(window.texts().size(), 2u);
}

// Many threads at once: the file holds every message whole and each thread's in order; the window gets all of
// the text, each thread's in order too.
TEST(Logger, ManyThreadsLogAtOnce)
{
  const int threads = 8;
  const int per_thread = int(scaled_for_sanitizers(2000));
  const std::filesystem::path path = temp_log("threads.log");
  window_recorder_t window;
  size_t expected_bytes = 0;
  {
    test_logger_t logger(path.string());
    // The GUI thread logs too, and its display processes events, so worker messages also arrive mid-delivery.
    window.during_delivery = [] { QCoreApplication::processEvents(); };
    std::vector<std::thread> workers;
    std::atomic<int> finished {0};
    for ( int t = 0; t < threads; ++t )
      workers.emplace_back([&, t] {
        for ( int i = 0; i < per_thread; ++i )
          (void)log_text(logger, "t" + std::to_string(t) + "-" + std::to_string(i) + " payload\n");
        ++finished;
      });
    for ( int i = 0; i < per_thread / 4; ++i )
    {
      (void)log_text(logger, "gui-" + std::to_string(i) + " payload\n");
      QCoreApplication::processEvents();
    }
    for ( std::thread &worker : workers )
      worker.join();
    for ( int t = 0; t < threads; ++t )
      for ( int i = 0; i < per_thread; ++i )
        expected_bytes += ("t" + std::to_string(t) + "-" + std::to_string(i) + " payload\n").size();
    for ( int i = 0; i < per_thread / 4; ++i )
      expected_bytes += ("gui-" + std::to_string(i) + " payload\n").size();
    ASSERT_TRUE(process_until([&] {
      size_t bytes = 0;
      for ( const std::string &text : window.texts() )
        bytes += text.size();
      return bytes == expected_bytes;
    })) << "the window gets all of the text";
    window.during_delivery = nullptr;
  }

  const auto check_lines = [&](const std::string &all, const char *where) {
    std::map<std::string, int> next; // per source: the next number expected
    std::istringstream in(all);
    std::string line;
    size_t lines = 0;
    while ( std::getline(in, line) )
    {
      const size_t dash = line.find('-');
      const size_t blank = line.find(' ');
      ASSERT_TRUE(dash != std::string::npos && blank != std::string::npos && line.substr(blank) == " payload")
        << where << ": a message was torn: " << line;
      const std::string source = line.substr(0, dash);
      EXPECT_EQ(std::stoi(line.substr(dash + 1, blank - dash - 1)), next[source]++) << where << ": order of " << source;
      ++lines;
    }
    EXPECT_EQ(lines, size_t(threads * per_thread + per_thread / 4)) << where;
  };
  check_lines(read_file(path), "file");
  std::string delivered;
  for ( const std::string &text : window.texts() )
    delivered += text;
  check_lines(delivered, "window");
}

} // namespace

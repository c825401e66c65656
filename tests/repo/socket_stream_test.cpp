// Tests of the socket stream interface: progress frames and ticks, the exact-read and write-all utilities and
// the stream factory.
#include "repo/socket_stream.h"

#include "repo/tcp_socket_stream.h"
#include "repo/tls_stream.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace
{
// A stream whose waits, reads and writes follow a script; everything else is refused.
class scripted_stream_t : public socket_stream_t
{
public:
  std::deque<int> waits;      // results of wait_readable, in order; empty: 1
  std::deque<std::string> reads; // chunks handed out by read; empty: -1
  std::deque<int64_t> writes; // results of write, in order; empty: the whole size
  std::vector<int> wait_timeouts;
  std::string written;
  int closed_with = -2;

  bool open(const connect_params_t &) override { return false; }
  bool listen(const connect_params_t &) override { return false; }
  bool accept(socket_stream_t *) override { return false; }
  bool server_hook() override { return false; }
  int wait_readable(int timeout_ms) override
  {
    wait_timeouts.push_back(timeout_ms);
    if ( waits.empty() )
      return 1;
    const int r = waits.front();
    waits.pop_front();
    return r;
  }
  int64_t read(void *buffer, uint64_t size) override
  {
    if ( reads.empty() )
      return -1;
    std::string &chunk = reads.front();
    const size_t n = std::min<size_t>(size, chunk.size());
    chunk.copy(static_cast<char *>(buffer), n);
    chunk.erase(0, n);
    if ( chunk.empty() )
      reads.pop_front();
    return int64_t(n);
  }
  int64_t write(const void *data, uint64_t size) override
  {
    int64_t r = int64_t(size);
    if ( !writes.empty() )
    {
      r = std::min<int64_t>(writes.front(), int64_t(size));
      writes.pop_front();
    }
    if ( r > 0 )
      written.append(static_cast<const char *>(data), size_t(r));
    return r;
  }
  void close(int how) override { closed_with = how; }
  int error_code() override { return error_code_; }
  const char *error_text() override { return ""; }
  bool peer_address(qstring *, bool) override { return false; }
  bool local_address(qstring *, bool) override { return false; }
  bool local_port(int *) override { return false; }
};

// Records the callback's calls and answers what the test asks.
struct callback_log_t
{
  struct call_t
  {
    uint8_t kind;
    uint64_t done;
    uint64_t total;
  };
  std::vector<call_t> calls;
  int answer = 0;

  static int record(uint8_t kind, uint64_t done, uint64_t total, void *user_data)
  {
    auto *log = static_cast<callback_log_t *>(user_data);
    log->calls.push_back({kind, done, total});
    return log->answer;
  }
};

TEST(stream_progress, installs_only_a_callback_with_an_interval)
{
  scripted_stream_t stream;
  callback_log_t log;
  EXPECT_FALSE(stream.set_progress_callback(-1, callback_log_t::record, &log));
  EXPECT_FALSE(stream.set_progress_callback(100, nullptr, &log));
  EXPECT_TRUE(stream.set_progress_callback(0, callback_log_t::record, &log));
  // Installing with -1 removes the callback again.
  EXPECT_FALSE(stream.set_progress_callback(-1, callback_log_t::record, &log));
  stream.push_progress(1, 10);
  EXPECT_FALSE(stream.progress_tick());
  EXPECT_TRUE(log.calls.empty());
}

TEST(stream_progress, ticks_nothing_without_frames)
{
  scripted_stream_t stream;
  callback_log_t log;
  ASSERT_TRUE(stream.set_progress_callback(0, callback_log_t::record, &log));
  EXPECT_FALSE(stream.progress_tick());
  stream.pop_progress(); // nothing to pop
  stream.add_progress(5); // nothing to add to
  EXPECT_FALSE(stream.progress_tick());
  EXPECT_TRUE(log.calls.empty());
}

TEST(stream_progress, reports_the_outer_frame_on_the_inner_schedule)
{
  scripted_stream_t stream;
  callback_log_t log;
  // Pushed before the callback exists: deadline 0, so the first tick is due at once.
  stream.push_progress(0, 1000);
  ASSERT_TRUE(stream.set_progress_callback(60000, callback_log_t::record, &log));
  stream.push_progress(1, 50);
  stream.add_progress(10);
  // The inner frame was pushed with the callback installed: its first tick waits for the interval.
  EXPECT_FALSE(stream.progress_tick());
  EXPECT_TRUE(log.calls.empty());
  stream.pop_progress();
  EXPECT_FALSE(stream.progress_tick());
  ASSERT_EQ(log.calls.size(), 1u);
  EXPECT_EQ(log.calls[0].kind, 0);
  EXPECT_EQ(log.calls[0].done, 10u);
  EXPECT_EQ(log.calls[0].total, 1000u);
  // Answered "go on": the deadline moved a minute ahead.
  EXPECT_FALSE(stream.progress_tick());
  EXPECT_EQ(log.calls.size(), 1u);
}

TEST(stream_progress, answers_skip_and_cancel)
{
  const struct
  {
    const char *name;
    int answer;
    bool cancelled;
    const char *key;
    int32_t code;
    size_t calls_after_two_ticks;
  } cases[] = {
    {"skip asks again at once", progress_skip, false, "skip_iter", stream_skip_code, 2},
    {"cancel", progress_cancel, true, "cancelled", stream_cancelled_code, 2},
    {"go on waits for the interval", 0, false, "", 0, 1},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    scripted_stream_t stream;
    callback_log_t log;
    log.answer = c.answer;
    stream.push_progress(1, 5);
    ASSERT_TRUE(stream.set_progress_callback(60000, callback_log_t::record, &log));
    EXPECT_EQ(stream.progress_tick(), c.cancelled);
    EXPECT_STREQ(stream.error_key(), c.key);
    EXPECT_EQ(stream.error_code(), c.code);
    stream.progress_tick();
    EXPECT_EQ(log.calls.size(), c.calls_after_two_ticks);
  }
  EXPECT_EQ(stream_cancelled_code, -15059582);
}

TEST(stream_progress, scope_pops_its_frame_on_every_exit)
{
  scripted_stream_t stream;
  callback_log_t log;
  ASSERT_TRUE(stream.set_progress_callback(0, callback_log_t::record, &log));
  stream.push_progress(7, 1);
  {
    progress_scope_t scope(&stream, 3, 99);
    scope.add(4);
  }
  stream.progress_tick();
  ASSERT_EQ(log.calls.size(), 1u);
  EXPECT_EQ(log.calls[0].kind, 7) << "the scope's frame is gone, the outer one stays";
  EXPECT_EQ(log.calls[0].done, 4u);
}

TEST(stream_utilities, read_exact_collects_pieces_until_a_failure)
{
  const struct
  {
    const char *name;
    std::deque<int> waits;
    std::deque<std::string> reads;
    uint64_t n;
    std::string expected;
  } cases[] = {
    {"nothing asked", {}, {"abc"}, 0, ""},
    {"pieces", {}, {"ab", "c", "def"}, 6, "abcdef"},
    {"wait fails", {1, -1}, {"ab", "cd"}, 4, "ab"},
    {"read fails", {}, {"abc"}, 5, "abc"},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    scripted_stream_t stream;
    stream.waits = c.waits;
    stream.reads = c.reads;
    std::string buffer(c.n, '\0');
    const uint64_t got = stream_read_exact(&stream, buffer.data(), c.n, -1);
    EXPECT_EQ(buffer.substr(0, got), c.expected);
    if ( c.n == 0 )
    {
      EXPECT_TRUE(stream.wait_timeouts.empty()) << "no wait for nothing";
    }
  }
}

TEST(stream_utilities, read_exact_waits_the_time_left)
{
  scripted_stream_t stream;
  stream.reads = {"a", "b"};
  char buffer[2];
  EXPECT_EQ(stream_read_exact(&stream, buffer, 2, -1), 2u);
  EXPECT_EQ(stream.wait_timeouts, (std::vector<int>{-1, -1}));

  scripted_stream_t polled;
  polled.reads = {"a", "b"};
  EXPECT_EQ(stream_read_exact(&polled, buffer, 2, 0), 2u);
  EXPECT_EQ(polled.wait_timeouts, (std::vector<int>{0, 0})) << "a time-out of 0 polls";

  scripted_stream_t bounded;
  bounded.reads = {"a", "b"};
  EXPECT_EQ(stream_read_exact(&bounded, buffer, 2, 60000), 2u);
  ASSERT_EQ(bounded.wait_timeouts.size(), 2u);
  for ( const int wait : bounded.wait_timeouts )
  {
    EXPECT_GT(wait, 50000);
    EXPECT_LE(wait, 60000);
  }
}

TEST(stream_utilities, write_all_continues_after_short_writes)
{
  const struct
  {
    const char *name;
    std::deque<int64_t> writes;
    std::string data;
    uint64_t expected;
  } cases[] = {
    {"nothing to write", {-1}, "", 0},
    {"at once", {}, "abcdef", 6},
    {"in pieces", {2, 1, 10}, "abcdef", 6},
    {"fails midway", {2, 0}, "abcdef", 2},
    {"fails at once", {-1}, "abcdef", 0},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    scripted_stream_t stream;
    stream.writes = c.writes;
    EXPECT_EQ(stream_write_all(&stream, c.data.data(), c.data.size()), c.expected);
    EXPECT_EQ(stream.written, c.data.substr(0, size_t(c.expected)));
  }
}

TEST(stream_utilities, destroy_closes_deletes_and_clears)
{
  socket_stream_t *none = nullptr;
  destroy_socket_stream(none, 1);
  EXPECT_EQ(none, nullptr);

  socket_stream_t *tls = make_socket_stream(true);
  EXPECT_NE(dynamic_cast<schannel_stream_t *>(tls), nullptr);
  destroy_socket_stream(tls, -1);
  EXPECT_EQ(tls, nullptr);

  socket_stream_t *tcp = make_socket_stream(false);
  EXPECT_NE(dynamic_cast<tcp_socket_stream_t *>(tcp), nullptr);
  EXPECT_STREQ(tcp->error_key(), "");
  EXPECT_EQ(tcp->error_code(), 0);
  EXPECT_STREQ(tcp->error_text(), "");
  destroy_socket_stream(tcp, 2);
  EXPECT_EQ(tcp, nullptr);
}
} // namespace

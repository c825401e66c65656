// The frame engine over a scripted stream: what a failed, cancelled or skipped wait, read or write does to the
// engine's state, and the progress frames that bracket every transfer.
#include "repo/rpc_engine.h"

#include "repo/packets_users.h"
#include "tests/support/heap_in_use.h"
#include "tests/support/recording_ui_callback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

// One scripted answer of a stream operation: its result and the error record it leaves.
struct outcome_t
{
  int64_t result;
  int32_t code = 0;
  const char *text = "";
};

// A stream whose waits, reads and writes follow a script. Without a scripted outcome a wait answers 1, a read
// hands out the next bytes of `incoming` and a write takes everything. Counts every call.
class scripted_stream_t : public socket_stream_t
{
public:
  std::deque<outcome_t> waits;
  std::deque<outcome_t> reads;
  std::deque<outcome_t> writes;
  std::string incoming;
  std::string written;
  int calls = 0;
  std::vector<std::pair<uint8_t, uint64_t>> pushed; // kind and total of every progress frame
  int depth = 0;                                     // frames pushed and not popped

  bool open(const connect_params_t &) override { return false; }
  bool listen(const connect_params_t &) override { return false; }
  bool accept(socket_stream_t *) override { return false; }
  bool server_hook() override { return false; }
  int wait_readable(int) override
  {
    ++calls;
    return int(take(waits, 1));
  }
  int64_t read(void *buffer, uint64_t size) override
  {
    ++calls;
    if ( !reads.empty() || incoming.empty() )
      return take(reads, -1);
    const size_t n = std::min<size_t>(size, incoming.size());
    incoming.copy(static_cast<char *>(buffer), n);
    incoming.erase(0, n);
    return int64_t(n);
  }
  int64_t write(const void *data, uint64_t size) override
  {
    ++calls;
    const int64_t n = writes.empty() ? int64_t(size) : std::min(take(writes, 0), int64_t(size));
    if ( n > 0 )
      written.append(static_cast<const char *>(data), size_t(n));
    return n;
  }
  void close(int) override {}
  int error_code() override { return error_code_; }
  const char *error_text() override { return text_.c_str(); }
  bool peer_address(qstring *, bool) override { return false; }
  bool local_address(qstring *, bool) override { return false; }
  bool local_port(int *) override { return false; }
  void push_progress(uint8_t kind, uint64_t total) override
  {
    pushed.emplace_back(kind, total);
    ++depth;
    socket_stream_t::push_progress(kind, total);
  }
  void pop_progress() override
  {
    --depth;
    socket_stream_t::pop_progress();
  }

private:
  int64_t take(std::deque<outcome_t> &script, int64_t otherwise)
  {
    if ( script.empty() )
      return otherwise;
    const outcome_t o = script.front();
    script.pop_front();
    if ( o.result <= 0 )
    {
      error_code_ = o.code;
      text_ = o.text;
    }
    return o.result;
  }

  std::string text_;
};

// A session that counts the failure hook and can be given an earlier error text.
class probe_session_t : public rpc_session_t
{
public:
  explicit probe_session_t(socket_stream_t *s) : rpc_session_t(s) {}
  void on_stream_failure() override { ++hook_calls; }
  void set_last_error(const char *text) { last_error_ = text; }
  void allow_large_packets() { large_packets_ = true; }

  int hook_calls = 0;
};

std::string frame_bytes(uint8_t type, const std::string &body)
{
  const uint32_t n = uint32_t(body.size());
  std::string frame = {char(n >> 24), char(n >> 16), char(n >> 8), char(n), char(type)};
  return frame + body;
}

TEST(rpc_stream_failures, a_failed_transfer_breaks_the_engine_and_keeps_the_streams_reason)
{
  const struct
  {
    const char *name;
    bool sending;
    std::deque<outcome_t> waits, reads, writes;
    const char *last_error; // after the failure; the earlier text was "earlier"
  } cases[] = {
    {"write fails", true, {}, {}, {{-1, 104, "send: reset"}}, "send: reset"},
    {"write takes nothing", true, {}, {}, {{0, 32, "send: broken pipe"}}, "send: broken pipe"},
    {"write fails without a text", true, {}, {}, {{-1, 5, ""}}, ""},
    {"write cancelled", true, {}, {}, {{-1, stream_cancelled_code, "cancelled"}}, "earlier"},
    {"wait fails", false, {{-1, 104, "select: reset"}}, {}, {}, "select: reset"},
    {"wait times out", false, {{-1, stream_timeout_code, "select: timed out"}}, {}, {}, "select: timed out"},
    {"wait cancelled", false, {{-1, stream_cancelled_code, "cancelled"}}, {}, {}, "earlier"},
    {"read fails", false, {}, {{-1, 104, "recv: reset"}}, {}, "recv: reset"},
    {"peer closed", false, {}, {{-1, 0, "recv: Connection closed by peer"}}, {}, "recv: Connection closed by peer"},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    scripted_stream_t stream;
    stream.waits = c.waits;
    stream.reads = c.reads;
    stream.writes = c.writes;
    stream.incoming = frame_bytes(RPC_OK, "");
    probe_session_t session(&stream);
    session.set_last_error("earlier");
    byte_buffer_t frame = make_frame_buffer(GET_USERS);
    if ( c.sending )
      EXPECT_EQ(session.send_frame(frame), -1);
    else
      EXPECT_EQ(session.receive_frame(GET_USERS), nullptr);
    EXPECT_TRUE(session.broken());
    EXPECT_EQ(session.hook_calls, 1);
    EXPECT_EQ(std::string(session.last_error().view()), c.last_error);
    EXPECT_EQ(stream.depth, 0) << "every progress frame is popped";

    // Broken for good: nothing reaches the stream any more, and the reason stays.
    const int calls = stream.calls;
    EXPECT_EQ(session.send_frame(frame), -1);
    EXPECT_EQ(session.receive_frame(GET_USERS), nullptr);
    recording_ui_callback_t ui;
    EXPECT_EQ(session.call(flag_packet_t(GET_USERS)), nullptr);
    ASSERT_EQ(ui.requests_of(ui_code_log).size(), 1u);
    EXPECT_EQ(ui.requests_of(ui_code_log)[0].text, "Expected packet\n");
    EXPECT_EQ(stream.calls, calls);
    EXPECT_EQ(session.hook_calls, 1);
    EXPECT_EQ(std::string(session.last_error().view()), c.last_error);
  }
}

TEST(rpc_stream_failures, a_skip_request_only_repeats_the_wait)
{
  const struct
  {
    const char *name;
    std::deque<outcome_t> waits, reads;
  } cases[] = {
    {"skipped waits", {{0, stream_skip_code}, {-1, stream_skip_code}}, {}},
    {"skipped read", {}, {{-1, stream_skip_code}}},
    {"skip between header and body", {{1}, {0, stream_skip_code}}, {}},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    scripted_stream_t stream;
    stream.waits = c.waits;
    stream.reads = c.reads;
    stream.incoming = frame_bytes(RPC_FAIL, std::string("\x05site\0", 6));
    probe_session_t session(&stream);
    const raw_frame_ptr frame = session.receive_frame(GET_USERS);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->type, RPC_FAIL);
    EXPECT_EQ(frame->length, 6u);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(frame->body()), 6), std::string("\x05site\0", 6));
    EXPECT_FALSE(session.broken());
    EXPECT_EQ(session.hook_calls, 0);
    EXPECT_TRUE(stream.incoming.empty());
  }
}

TEST(rpc_stream_failures, every_transfer_has_its_progress_frame)
{
  const struct
  {
    const char *name;
    std::string body;
    std::vector<std::pair<uint8_t, uint64_t>> receive_frames;
  } cases[] = {
    // An empty body reads no body bytes: only the header has a frame.
    {"empty body", "", {{1, 5}}},
    {"body", "abc", {{1, 5}, {1, 3}}},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    scripted_stream_t stream;
    stream.writes = {{4}, {3}}; // the frame goes in two pieces
    stream.incoming = frame_bytes(RPC_OK, c.body);
    probe_session_t session(&stream);
    byte_buffer_t frame = make_frame_buffer(SET_VERIFYING_SITE);
    frame.push_back(1);
    frame.push_back(2);
    ASSERT_EQ(session.send_frame(frame), 0);
    EXPECT_EQ(stream.written, std::string("\0\0\0\x02\x61\x01\x02", 7)) << "length written big-endian";
    ASSERT_NE(session.receive_frame(SET_VERIFYING_SITE), nullptr);
    std::vector<std::pair<uint8_t, uint64_t>> expected = {{0, 7}};
    expected.insert(expected.end(), c.receive_frames.begin(), c.receive_frames.end());
    EXPECT_EQ(stream.pushed, expected);
    EXPECT_EQ(stream.depth, 0);
    EXPECT_TRUE(stream.incoming.empty());
  }
}

// A scripted stream that notes the most heap the process held while the engine read from it.
class heap_watching_stream_t : public scripted_stream_t
{
public:
  int64_t read(void *buffer, uint64_t size) override
  {
    peak = std::max(peak, heap_in_use());
    return scripted_stream_t::read(buffer, size);
  }
  size_t peak = 0;
};

// A packet type whose body cannot be built for want of memory.
std::unique_ptr<rpc_packet_t> out_of_memory_factory(const uint8_t *, size_t, uint32_t)
{
  throw std::bad_alloc();
}

TEST(rpc_stream_failures, memory_follows_the_bytes_that_arrive_and_running_out_breaks_the_engine)
{
  const struct
  {
    const char *name;
    uint32_t announced;  // body length in the header
    size_t sent;         // body bytes that arrive before the stream ends
  } cases[] = {
    {"a gigabyte announced, a few bytes sent", 0x40000000, 100},
    {"the largest length, two blocks sent", 0x7FFFFFFF, 2 * first_body_block + 7},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    heap_watching_stream_t stream;
    const uint32_t n = c.announced;
    stream.incoming = std::string{char(n >> 24), char(n >> 16), char(n >> 8), char(n), char(RPC_OK)}
                    + std::string(c.sent, 'x');
    probe_session_t session(&stream);
    session.allow_large_packets();
    const size_t before = heap_in_use();
    EXPECT_EQ(session.receive_frame(RPC_OK), nullptr);
    EXPECT_TRUE(session.broken());
    // What the engine holds is of the order of what came, never what was announced.
    EXPECT_LT(stream.peak - std::min(stream.peak, before), 4 * c.sent + 2 * first_body_block);
  }

  // A packet that cannot be built: no exception, the engine broken with the reason.
  scripted_stream_t stream;
  stream.incoming = frame_bytes(200, "body");
  probe_session_t session(&stream);
  const packet_type_row_t row{200, "OUT_OF_MEMORY", &out_of_memory_factory};
  session.register_packet_types(std::span(&row, 1));
  recording_ui_callback_t ui;
  raw_frame_ptr raw = session.receive_frame(200);
  ASSERT_NE(raw, nullptr);
  EXPECT_EQ(session.decode_packet(raw.get()), nullptr);
  EXPECT_TRUE(session.broken());
  EXPECT_EQ(session.last_error(), "no local memory");
}

} // namespace

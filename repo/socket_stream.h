// Socket streams: the byte stream under the repository connection, the records it is opened with, its error
// record and the progress frames that both stream kinds share, and the stream utilities.
#pragma once

#include "core/clock_time.h"
#include "core/qstring.h"

#include <cstdint>
#include <memory>
#include <vector>

// A host (UTF-8 name or numeric address; empty means none) and a port.
struct host_port_t
{
  qstring host;
  uint16_t port = 0;
};

// An endpoint with the user and password that authenticate at it.
struct endpoint_credentials_t : host_port_t
{
  qstring user;
  qstring password;
};

// Where a stream connects: the server, through the proxy exactly when the proxy's host is non-empty. The streams
// never use the server's user and password; the proxy's authenticate the tunnel.
struct connect_params_t
{
  endpoint_credentials_t server;
  endpoint_credentials_t proxy;
};

// Reads ARKIVE_RECV_TIMEOUT_SECS, which bounds every reply and the TLS handshake: a decimal value v > 0 or v = -1
// gives v * 1000 ms in *timeout_ms (negative: no limit) and true; an unset variable, any other text (blanks and
// units included) or a value whose milliseconds do not fit in 32 bits gives false and leaves *timeout_ms alone.
[[nodiscard]] bool read_recv_timeout_setting(int32_t *timeout_ms);
// What LOGIN's reply and the TLS handshake wait for unless ARKIVE_RECV_TIMEOUT_SECS says otherwise.
inline constexpr int32_t login_reply_timeout_ms = 60000;

// Called while a transfer waits, with the outermost frame's kind, done and total counts. Answers
// `progress_cancel`, `progress_skip`, or anything else to go on.
using progress_callback_t = int (*)(uint8_t kind, uint64_t done, uint64_t total, void *user_data);
inline constexpr int progress_skip = 1;
inline constexpr int progress_cancel = 2;

// Error codes the stream interface defines itself; all others are the system's or the TLS layer's.
inline constexpr int32_t stream_cancelled_code = int32_t(0xFF1A3582); // the callback cancelled ("cancelled")
inline constexpr int32_t stream_skip_code = -21015;                   // the callback asked to skip ("skip_iter")
inline constexpr int32_t stream_timeout_code = 258;                   // a wait reached its time-out ("select")

// The installed progress callback. Promise: interval is -1 exactly when no callback is installed.
struct stream_progress_t
{
  progress_callback_t callback = nullptr;
  void *user_data = nullptr;
  int interval = -1; // milliseconds between two calls

  // Clears, then installs the three only for a non-null callback and an interval of 0 or more.
  // Returns whether a callback is now installed.
  bool set(int interval_ms, progress_callback_t cb, void *ud);
};

// One transfer's progress; kind 0 for a send, 1 for a receive.
struct progress_frame_t
{
  uint64_t total = 0;
  uint64_t done = 0;
  packed_time_t deadline = 0; // when the next tick is due; 0 = at once
  uint8_t kind = 0;
};

// A connected byte stream. Used by one thread at a time. Never throws: every failure is reported through the
// result and leaves its reason in the error record (key, code), which only a later failure replaces.
// Every stream is closed before it is destroyed (destroy_socket_stream).
class socket_stream_t
{
public:
  virtual ~socket_stream_t() = default;

  // Connects, through the proxy when one is given.
  virtual bool open(const connect_params_t &params) = 0;
  // Server side: binds to the server endpoint and listens.
  virtual bool listen(const connect_params_t &params) = 0;
  // Server side: takes one incoming connection of the listening stream into this stream.
  virtual bool accept(socket_stream_t *listener) = 0;
  virtual bool server_hook() = 0;
  // > 0 once data can be read; -1 on failure, on the time-out (negative: none) or when a tick cancels.
  virtual int wait_readable(int timeout_ms) = 0;
  // Bytes read (at least 1 for a non-zero size) or -1; the peer closing the connection is a failure.
  virtual int64_t read(void *buffer, uint64_t size) = 0;
  // What can be read without waiting: bytes read, 0 when nothing is there yet (or the stream cannot tell;
  // wait_readable and read then), -1 on failure as read.
  virtual int64_t read_waiting(void *, uint64_t) { return 0; }
  // Bytes written; 0 or less on failure.
  virtual int64_t write(const void *data, uint64_t size) = 0;
  // how >= 0 shuts that direction down first (0 receive, 1 send, 2 both); -1 closes at once.
  virtual void close(int how) = 0;
  virtual int error_code() = 0;
  // The text of the error record, "" when there is none; valid until the next call.
  virtual const char *error_text() = 0;
  // Append the peer's or the local address text to *out.
  virtual bool peer_address(qstring *out, bool with_name) = 0;
  virtual bool local_address(qstring *out, bool with_name) = 0;
  virtual bool local_port(int *out) = 0;

  // Progress frames on the stream's own state; a stream that wraps another forwards them.
  virtual bool set_progress_callback(int interval_ms, progress_callback_t callback, void *user_data);
  virtual void push_progress(uint8_t kind, uint64_t total);
  // Removes the innermost frame; nothing when there is none.
  virtual void pop_progress();
  // Adds to the outermost frame's done count; nothing when there is no frame.
  virtual void add_progress(uint64_t count);
  // Runs the callback when it is due; true means the transfer is cancelled.
  virtual bool progress_tick();

  // The key of the error record: a static text naming the failed step or reason ("" in a new stream).
  const char *error_key() const { return error_key_; }

protected:
  void set_error(const char *key, int32_t code)
  {
    error_key_ = key;
    error_code_ = code;
  }
  // When the innermost frame wants its next tick; 0 without frames.
  packed_time_t next_tick() const { return frames_.empty() ? 0 : frames_.back().deadline; }

  const char *error_key_ = "";
  int32_t error_code_ = 0;
  qstring error_text_; // refilled by each error_text call

private:
  packed_time_t tick_deadline() const;

  stream_progress_t progress_;
  std::vector<progress_frame_t> frames_; // the innermost frame is the last
};

// A new, unopened stream: TLS when tls is true, else plain TCP.
socket_stream_t *make_socket_stream(bool tls);

// Closes the stream with how, deletes it and clears the pointer; a null pointer is only cleared.
void destroy_socket_stream(socket_stream_t *&stream, int how);

// Owns a stream: closes it at once (no shutdown) and deletes it.
struct socket_stream_closer_t
{
  void operator()(socket_stream_t *stream) const { destroy_socket_stream(stream, -1); }
};
using socket_stream_ptr = std::unique_ptr<socket_stream_t, socket_stream_closer_t>;

// Reads n bytes, waiting at most timeout_ms in all (negative: no limit). Returns the count read: n unless a
// wait or a read failed, whose reason the stream's error record then holds.
uint64_t stream_read_exact(socket_stream_t *stream, void *buffer, uint64_t n, int timeout_ms);

// Writes n bytes; returns the count written, short when a write failed.
uint64_t stream_write_all(socket_stream_t *stream, const void *data, uint64_t n);

// One progress frame for the scope of a transfer: pushed on construction, popped on every exit path.
class progress_scope_t
{
public:
  progress_scope_t(socket_stream_t *stream, uint8_t kind, uint64_t total) : stream_(stream)
  {
    stream_->push_progress(kind, total);
  }
  ~progress_scope_t() { stream_->pop_progress(); }
  progress_scope_t(const progress_scope_t &) = delete;
  progress_scope_t &operator=(const progress_scope_t &) = delete;

  void add(uint64_t count) { stream_->add_progress(count); }

private:
  socket_stream_t *stream_; // not owned
};


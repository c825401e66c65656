// Framing of typed packets over a socket stream: reply time-outs, the frame engine and the stream session.
#pragma once

#include "core/clock_time.h"
#include "core/qstring.h"
#include "core/qvector.h"
#include "repo/packet_type_table.h"
#include "repo/rpc_packet.h"
#include "repo/socket_stream.h"

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

// Wire frame: body length L (4 bytes, big-endian, bit 31 clear), the type byte, then L body bytes.
inline constexpr size_t frame_header_size = 5;
// Largest body accepted before the first successful LOGIN on a stream.
inline constexpr uint32_t small_frame_limit = 8192;
// Time-out of every packet type without an entry in the reply time-out table: no limit.
inline constexpr int32_t default_reply_timeout_ms = -1;
// The first block of a received body; it doubles as the bytes arrive, up to the announced length.
inline constexpr size_t first_body_block = 64 * 1024;

// How long to wait for the reply to one request type; a negative time-out waits without limit.
struct reply_timeout_t
{
  uint8_t type;
  std::atomic<int32_t> timeout_ms; // rewritten process-wide by apply_recv_timeout_setting
};

// The process-wide table: LOGIN waits login_reply_timeout_ms.
extern reply_timeout_t reply_timeout_table[1];

// Applies ARKIVE_RECV_TIMEOUT_SECS to every entry of the table: a decimal value v > 0 or v = -1 makes every
// time-out v * 1000 ms (-1 gives -1000: no limit); an unset variable, another value, a non-number or a value
// whose milliseconds do not fit in 32 bits leaves the table as it is. The change stays for later connections.
void apply_recv_timeout_setting(std::span<reply_timeout_t> table = reply_timeout_table);

// A received frame in one allocation: header fields, then the body bytes right behind the record.
struct raw_frame_t
{
  uint32_t length; // body bytes
  uint8_t type;

  const uint8_t *body() const { return reinterpret_cast<const uint8_t *>(this + 1); }
  uint8_t *body() { return reinterpret_cast<uint8_t *>(this + 1); }
};
struct raw_frame_free_t
{
  void operator()(raw_frame_t *frame) const { std::free(frame); }
};
// Whoever receives a frame owns it.
using raw_frame_ptr = std::unique_ptr<raw_frame_t, raw_frame_free_t>;

// A frame buffer: four zero length bytes and the type byte; a serializer appends the body.
byte_buffer_t make_frame_buffer(uint8_t type);

// Moves typed packets over one socket stream. Promises: once a send or receive has failed on the stream,
// `broken` stays set and every later send and receive fails at once without touching the stream (only a
// successful reopen_stream clears it); a refused frame never leaves a partial packet behind; the stream's
// last failure text is kept (a cancellation keeps the previous text). Takes no lock: its owner serialises.
class rpc_engine_t
{
public:
  explicit rpc_engine_t(std::span<reply_timeout_t> timeouts);
  virtual ~rpc_engine_t() = default;
  rpc_engine_t(const rpc_engine_t &) = delete;
  rpc_engine_t &operator=(const rpc_engine_t &) = delete;

  // Sends the frame when it is not empty (an empty buffer only receives), then receives one frame with the
  // time-out of the expected type. Null when nothing came.
  virtual raw_frame_ptr send_and_receive(uint8_t expected_type, byte_buffer_t &frame) = 0;
  // The stream the engine works on; null when it has none.
  virtual socket_stream_t *stream() = 0;
  // Messages to the peer are a server's business: every engine of this program is a client, so this is
  // internal error 1621.
  [[noreturn]] virtual void peer_message(int severity, const char *format, va_list va);
  // Called after every failed stream read or write, before the failure is recorded.
  virtual void on_stream_failure() {}

  // Appends rows of a packet type table. A row without a name is internal error 1619; a type that occurs
  // twice among the rows of one call is internal error 1620.
  void register_packet_types(std::span<const packet_type_row_t> rows);

  // Receives one frame. Null when the engine is broken, the stream failed (the engine is then broken), or
  // the length field is refused (bit 31 set, or above small_frame_limit before LOGIN): that shows the warning
  // "%s rpc: bad packet length" and marks the engine broken, since the stream is out of step. The body's
  // memory grows with the bytes that arrive; when it runs out the warning is "%s rpc: no local memory", the
  // engine is broken and its last error text is "no local memory".
  raw_frame_ptr receive_frame(uint8_t expected_type);
  // Writes the body length into bytes 0 to 3 and sends the whole buffer. 0, or -1 on failure.
  int send_frame(byte_buffer_t &frame);
  // The packet of a frame through the registered types, or null with a log line ("Expected packet\n" for no
  // frame, "Unknown packet type: %d\n", "Couldn't deserialize packet\n"). Memory running out while the
  // packet is built breaks the engine as receive_frame does; no exception leaves.
  std::unique_ptr<rpc_packet_t> decode_packet(const raw_frame_t *frame);
  // Reads exactly n bytes; the time-out bounds each single wait, not the whole read. 0, or -1 on failure.
  [[nodiscard]] int read_exact(void *destination, size_t n, int timeout_ms);

  bool broken() const { return broken_; }
  bool large_packets() const { return large_packets_; }
  // The stream's text of the last failure ("" when none).
  const qstring &last_error() const { return last_error_; }
  uint32_t protocol_version() const { return protocol_version_; }

protected:
  // A failed read or write: hook, broken flag, and the stream's text unless it was a cancellation.
  void record_stream_failure(socket_stream_t *s);
  // A frame that cannot be taken (a refused length, no memory for it or for its packet): shows the warning
  // format (its %s the time), marks the engine broken, since the stream is out of step, and keeps the reason
  // as the last error text.
  void refuse_stream(const char *format, const char *reason);

  bool broken_ = false;
  qstring last_error_;
  bool large_packets_ = false; // set by a successful LOGIN, cleared by reopen_stream
  uint32_t protocol_version_ = ARKIVE_PROTOCOL_VERSION;

private:
  int32_t reply_timeout(uint8_t type) const;
  // read_exact within a progress frame of the caller's.
  [[nodiscard]] int read_into(uint8_t *out, size_t n, int timeout_ms, progress_scope_t &progress);
  // Receives the body of a frame whose header said type and length, in a block that grows as the bytes
  // arrive (one progress frame for the whole body). Null when the stream fails or memory runs out ("no
  // local memory": the engine is broken).
  raw_frame_ptr receive_body(uint8_t type, uint32_t length, int timeout_ms);

  std::span<reply_timeout_t> timeouts_; // not owned
  qvector<packet_type_row_t> packet_types_;
};

// An engine on a stream of its own. Promises: the stream it owns is closed at once (no shutdown) and deleted
// with the session.
class rpc_session_t : public rpc_engine_t
{
public:
  // Builds the session around an opened stream that it owns.
  explicit rpc_session_t(socket_stream_ptr opened_stream, std::span<reply_timeout_t> timeouts = reply_timeout_table);
  // Builds the session around an opened stream that its caller keeps owning.
  explicit rpc_session_t(socket_stream_t *borrowed_stream, std::span<reply_timeout_t> timeouts = reply_timeout_table);

  raw_frame_ptr send_and_receive(uint8_t expected_type, byte_buffer_t &frame) override;
  socket_stream_t *stream() override { return stream_; }

  // Serializes the request into a frame, sends it, waits for one frame with the request type's time-out and
  // decodes it. The reply packet, or null (a missing frame is logged).
  virtual std::unique_ptr<rpc_packet_t> call(const rpc_packet_t &request);

  // Replaces the stream by a newly opened one (TLS or plain TCP) to host:port without proxy or user. On
  // success the engine is usable again (not broken, small frames until the next LOGIN) and the old owned
  // stream is shut down for sending, closed and deleted. On failure *error receives the new stream's text and
  // nothing else changes.
  bool reopen_stream(qstring *error, bool use_tls, const char *host, uint16_t port);
  // The same with the whole connect parameters: the new stream goes through the proxy when one is given.
  bool reopen_stream(qstring *error, bool use_tls, const connect_params_t &params);

private:
  socket_stream_ptr owned_stream_; // null when the stream is borrowed
  socket_stream_t *stream_;        // the stream in use: the owned one or the borrowed one
};

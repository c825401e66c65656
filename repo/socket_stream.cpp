// Socket stream interface: progress frames, the stream factory and the stream utilities.
#include "repo/socket_stream.h"

#include "core/environment.h"
#include "repo/tcp_socket_stream.h"
#include "repo/tls_stream.h"

#include <charconv>
#include <cstdint>

bool stream_progress_t::set(int interval_ms, progress_callback_t cb, void *ud)
{
  callback = nullptr;
  user_data = nullptr;
  interval = -1;
  if ( cb == nullptr || interval_ms < 0 )
    return false;
  callback = cb;
  user_data = ud;
  interval = interval_ms;
  return true;
}

packed_time_t socket_stream_t::tick_deadline() const
{
  return progress_.callback != nullptr && progress_.interval >= 0
       ? packed_time_add_ms(current_packed_time(), uint32_t(progress_.interval))
       : 0;
}

bool socket_stream_t::set_progress_callback(int interval_ms, progress_callback_t callback, void *user_data)
{
  return progress_.set(interval_ms, callback, user_data);
}

void socket_stream_t::push_progress(uint8_t kind, uint64_t total)
{
  frames_.push_back({total, 0, tick_deadline(), kind});
}

void socket_stream_t::pop_progress()
{
  if ( !frames_.empty() )
    frames_.pop_back();
}

void socket_stream_t::add_progress(uint64_t count)
{
  if ( !frames_.empty() )
    frames_.front().done += count;
}

bool socket_stream_t::progress_tick()
{
  if ( frames_.empty() )
    return false;
  if ( packed_time_flat_us(current_packed_time()) < packed_time_flat_us(frames_.back().deadline) )
    return false;
  if ( progress_.callback == nullptr )
    return false;
  // Progress is reported for the whole transfer; the schedule belongs to the innermost frame.
  const progress_frame_t &outer = frames_.front();
  switch ( progress_.callback(outer.kind, outer.done, outer.total, progress_.user_data) )
  {
    case progress_cancel:
      set_error("cancelled", stream_cancelled_code);
      return true;
    case progress_skip:
      // The deadline stays, so the next tick asks again at once.
      set_error("skip_iter", stream_skip_code);
      return false;
    default:
      frames_.back().deadline = tick_deadline();
      return false;
  }
}

socket_stream_t *make_socket_stream(bool tls)
{
  if ( tls )
    return new schannel_stream_t;
  return new tcp_socket_stream_t;
}

void destroy_socket_stream(socket_stream_t *&stream, int how)
{
  if ( stream != nullptr )
  {
    stream->close(how);
    delete stream;
  }
  stream = nullptr;
}

uint64_t stream_read_exact(socket_stream_t *stream, void *buffer, uint64_t n, int timeout_ms)
{
  const packed_time_t deadline = timeout_ms >= 0 ? packed_time_add_ms(current_packed_time(), uint32_t(timeout_ms)) : 0;
  auto *bytes = static_cast<uint8_t *>(buffer);
  uint64_t done = 0;
  while ( done < n )
  {
    if ( stream->wait_readable(deadline != 0 ? remaining_ms(deadline) : -1) <= 0 )
      break;
    const int64_t r = stream->read(bytes + done, n - done);
    if ( r <= 0 )
      break;
    done += uint64_t(r);
  }
  return done;
}

uint64_t stream_write_all(socket_stream_t *stream, const void *data, uint64_t n)
{
  const auto *bytes = static_cast<const uint8_t *>(data);
  uint64_t done = 0;
  while ( done < n )
  {
    const int64_t r = stream->write(bytes + done, n - done);
    if ( r <= 0 )
      break;
    done += uint64_t(r);
  }
  return done;
}

bool read_recv_timeout_setting(int32_t *timeout_ms)
{
  qstring text;
  if ( !read_env_var("ARKIVE_RECV_TIMEOUT_SECS", &text) )
    return false;
  const std::string_view view = text.view();
  int64_t seconds = 0;
  const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), seconds);
  if ( error != std::errc() || end != view.data() + view.size() )
    return false;
  if ( seconds != -1 && (seconds <= 0 || seconds > INT32_MAX / 1000) )
    return false;
  *timeout_ms = int32_t(seconds * 1000);
  return true;
}

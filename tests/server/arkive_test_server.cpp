// The project's own repository server: listeners, one thread per connection, framing, faults, the record.
#include "tests/server/arkive_test_server.h"

#include "core/compact_codec.h"
#include "repo/packet_type_table.h"
#include "tests/server/client_work_directory.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>

namespace {

// Bodies above this are refused by closing the connection: a test server has no use for bigger ones.
constexpr uint32_t max_body = 64u << 20;

int open_listener(uint16_t port, uint16_t *bound, std::string *error)
{
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if ( fd < 0 )
  {
    *error = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  sockaddr_in address {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if ( ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0 || ::listen(fd, 64) != 0
       || ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0 )
  {
    *error = "listening on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
    ::close(fd);
    return -1;
  }
  *bound = ntohs(address.sin_port);
  return fd;
}

}  // namespace

frame_bytes_t make_frame(uint8_t type, const frame_bytes_t &body)
{
  const uint32_t n = uint32_t(body.size());
  frame_bytes_t frame(5 + body.size());
  frame[0] = uint8_t(n >> 24);
  frame[1] = uint8_t(n >> 16);
  frame[2] = uint8_t(n >> 8);
  frame[3] = uint8_t(n);
  frame[4] = type;
  std::copy(body.begin(), body.end(), frame.begin() + 5);
  return frame;
}

frame_bytes_t packet_frame(const rpc_packet_t &packet)
{
  byte_buffer_t body;
  packet.serialize(body, 5);
  // The body is copied once, straight behind the header.
  const uint32_t n = uint32_t(body.size());
  frame_bytes_t frame(5 + body.size());
  frame[0] = uint8_t(n >> 24);
  frame[1] = uint8_t(n >> 16);
  frame[2] = uint8_t(n >> 8);
  frame[3] = uint8_t(n);
  frame[4] = packet.type;
  if ( n != 0 )
    std::memcpy(frame.data() + 5, body.data(), n);
  return frame;
}

frame_bytes_t frame_claiming_count(const rpc_packet_t &packet, uint32_t count)
{
  byte_buffer_t body;
  packet.serialize(body, 5);
  const uint8_t *begin = body.data();
  const uint8_t *end = begin + body.size();
  const uint8_t *elements = begin;
  (void)unpack_u32_compact(&elements, end);
  frame_bytes_t claimed(compact_u32_max_size + size_t(end - elements));
  uint8_t *after_count = pack_u32_compact(claimed.data(), claimed.data() + compact_u32_max_size, count);
  const auto used = size_t(after_count - claimed.data());
  std::copy(elements, end, claimed.begin() + ptrdiff_t(used));
  claimed.resize(used + size_t(end - elements));
  return make_frame(packet.type, claimed);
}

//--------------------------------------------------------------------------
// One accepted connection, plain or TLS: whole reads and writes on a blocking socket.
class arkive_test_server_t::link_t
{
public:
  link_t(int fd, SSL_CTX *tls) : fd_(fd)
  {
    if ( tls != nullptr )
    {
      ssl_ = SSL_new(tls);
      SSL_set_fd(ssl_, fd);
      // One receive takes whatever has arrived, so a small frame costs one read rather than a header's and a
      // record's.
      SSL_set_read_ahead(ssl_, 1);
    }
  }
  ~link_t()
  {
    SSL_free(ssl_);
    // The server closes the socket after the thread has ended: shutting it down here tells the client.
    ::shutdown(fd_, SHUT_RDWR);
  }
  link_t(const link_t &) = delete;
  link_t &operator=(const link_t &) = delete;

  // The TLS handshake (nothing for a plain link).
  bool begin() { return ssl_ == nullptr || SSL_accept(ssl_) == 1; }

  bool read_exact(void *buffer, size_t n)
  {
    uint8_t *out = static_cast<uint8_t *>(buffer);
    while ( n > 0 )
    {
      // Bytes already received go first: one receive usually brings a whole frame.
      if ( pending_begin_ < pending_end_ )
      {
        const size_t take = std::min(n, pending_end_ - pending_begin_);
        std::copy_n(pending_.begin() + ptrdiff_t(pending_begin_), take, out);
        pending_begin_ += take;
        out += take;
        n -= take;
        continue;
      }
      ssize_t got;
      if ( ssl_ != nullptr )
        got = SSL_read(ssl_, out, int(std::min<size_t>(n, 1 << 30)));
      else
      {
        pending_begin_ = 0;
        got = ::recv(fd_, pending_.data(), pending_.size(), 0);
        pending_end_ = got > 0 ? size_t(got) : 0;
        if ( got < 0 && errno == EINTR )
          continue;
        if ( got > 0 )
          continue;
      }
      if ( got <= 0 )
        return false;
      out += got;
      n -= size_t(got);
    }
    return true;
  }

  bool write_all(const frame_bytes_t &bytes)
  {
    const uint8_t *data = bytes.data();
    size_t n = bytes.size();
    while ( n > 0 )
    {
      ssize_t sent;
      if ( ssl_ != nullptr )
        sent = SSL_write(ssl_, data, int(std::min<size_t>(n, 1 << 30)));
      else
      {
        sent = ::send(fd_, data, n, MSG_NOSIGNAL);
        if ( sent < 0 && errno == EINTR )
          continue;
      }
      if ( sent <= 0 )
        return false;
      data += sent;
      n -= size_t(sent);
    }
    return true;
  }

  // Reads one frame; false when the peer is gone or the body is too large.
  bool read_frame(uint8_t *type, frame_bytes_t *body)
  {
    uint8_t header[5];
    if ( !read_exact(header, sizeof(header)) )
      return false;
    const uint32_t length = uint32_t(header[0]) << 24 | uint32_t(header[1]) << 16 | uint32_t(header[2]) << 8 | header[3];
    if ( length > max_body )
      return false;
    *type = header[4];
    body->resize(length);
    return read_exact(body->data(), length);
  }

private:
  int fd_;             // not owned
  SSL *ssl_ = nullptr; // owned; null for a plain link
  std::vector<uint8_t> pending_ = std::vector<uint8_t>(64 * 1024); // plain link: bytes received ahead
  size_t pending_begin_ = 0; // pending_[pending_begin_, pending_end_) is not read yet
  size_t pending_end_ = 0;
};

//--------------------------------------------------------------------------
arkive_test_server_t::arkive_test_server_t() = default;

arkive_test_server_t::~arkive_test_server_t()
{
  stop();
}

bool arkive_test_server_t::start(std::string *error, uint16_t tcp_port, uint16_t tls_port, bool tls)
{
  {
    // A stopped server may start again: a server that was down comes back.
    std::lock_guard lock(mutex_);
    stopping_ = false;
  }
  if ( tls )
  {
    std::string why;
    tls_ = root_cert_path_.empty() ? server_tls_identity_t::create_from_build_root(&why)
                                   : server_tls_identity_t::create(root_cert_path_, root_key_path_, &why);
    if ( tls_ == nullptr )
    {
      *error = "cannot serve TLS: " + why;
      return false;
    }
  }
  tcp_listener_ = open_listener(tcp_port, &tcp_port_, error);
  if ( tcp_listener_ < 0 )
    return false;
  if ( tls_ != nullptr )
  {
    tls_listener_ = open_listener(tls_port, &tls_port_, error);
    if ( tls_listener_ < 0 )
      return false;
  }
  if ( ::pipe2(wake_pipe_, O_CLOEXEC) != 0 )
  {
    *error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  acceptor_ = std::thread([this] { accept_loop(); });
  return true;
}

void arkive_test_server_t::sign_with_root_ca(std::string cert_path, std::string key_path)
{
  root_cert_path_ = std::move(cert_path);
  root_key_path_ = std::move(key_path);
}

void arkive_test_server_t::stop()
{
  {
    std::lock_guard lock(mutex_);
    if ( stopping_ )
      return;
    stopping_ = true;
    for ( connection_t &c : connections_ )
      ::shutdown(c.fd, SHUT_RDWR);
  }
  if ( acceptor_.joinable() )
  {
    const char wake = 1;
    (void)!::write(wake_pipe_[1], &wake, 1);
    acceptor_.join();
  }
  // No connection is added once stopping_ is set and the acceptor has ended.
  for ( connection_t &c : connections_ )
  {
    c.thread.join();
    ::close(c.fd);
  }
  for ( int fd : {tcp_listener_, tls_listener_, wake_pipe_[0], wake_pipe_[1]} )
    if ( fd >= 0 )
      ::close(fd);
  connections_.clear();
  tcp_listener_ = tls_listener_ = wake_pipe_[0] = wake_pipe_[1] = -1;
}

void arkive_test_server_t::accept_loop()
{
  pollfd fds[3] = {{wake_pipe_[0], POLLIN, 0}, {tcp_listener_, POLLIN, 0}, {tls_listener_, POLLIN, 0}};
  const nfds_t count = tls_listener_ >= 0 ? 3 : 2;
  for ( ;; )
  {
    if ( ::poll(fds, count, -1) < 0 )
    {
      if ( errno == EINTR )
        continue;
      return;
    }
    if ( fds[0].revents != 0 )
      return;
    for ( nfds_t i = 1; i < count; ++i )
    {
      if ( (fds[i].revents & POLLIN) == 0 )
        continue;
      const int fd = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
      if ( fd < 0 )
        continue;
      const int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
      auto link = std::make_unique<link_t>(fd, i == 2 ? tls_->context() : nullptr);
      std::lock_guard lock(mutex_);
      if ( stopping_ )
        return;
      const int number = ++connection_count_;
      connections_.push_back({std::thread([this, l = std::move(link), number]() mutable { serve(std::move(l), number); }),
                              fd});
    }
  }
}

void arkive_test_server_t::add_fault(server_fault_t fault)
{
  std::lock_guard lock(mutex_);
  faults_.push_back(std::move(fault));
}

bool arkive_test_server_t::take_fault(uint8_t type, server_fault_t *fault)
{
  std::lock_guard lock(mutex_);
  if ( faults_.empty() || (faults_.front().on_type != 0 && faults_.front().on_type != type) )
    return false;
  *fault = std::move(faults_.front());
  faults_.pop_front();
  return true;
}

int arkive_test_server_t::take_work_fault(uint8_t type)
{
  std::lock_guard lock(mutex_);
  if ( faults_.empty() || faults_.front().action != server_fault_t::drop_during_work
       || (faults_.front().on_type != 0 && faults_.front().on_type != type) )
    return -1;
  const int budget = faults_.front().work_requests;
  faults_.pop_front();
  return budget;
}

void arkive_test_server_t::record(int connection, uint8_t type, frame_bytes_t body)
{
  std::lock_guard lock(mutex_);
  received_.push_back({connection, type, std::move(body)});
}

std::vector<recorded_frame_t> arkive_test_server_t::received() const
{
  std::lock_guard lock(mutex_);
  return received_;
}

void arkive_test_server_t::clear_received()
{
  std::lock_guard lock(mutex_);
  received_.clear();
}

void arkive_test_server_t::serve(std::unique_ptr<link_t> link, int number)
{
  if ( !link->begin() )
    return;
  // The server's own requests go out on the same link while a request of the client waits for its reply.
  int work_budget = -1; // requests of the server that may still go out during this request; -1: any number
  const auto ask = [&link, &work_budget](const rpc_packet_t &request) -> std::unique_ptr<rpc_packet_t> {
    if ( work_budget == 0 )
      return nullptr; // the link counts as lost: the connection closes without a reply
    if ( work_budget > 0 )
      --work_budget;
    uint8_t answer_type = 0;
    frame_bytes_t answer;
    if ( !link->write_all(packet_frame(request)) || !link->read_frame(&answer_type, &answer) )
      return nullptr;
    for ( const packet_type_row_t &row : packet_type_table )
      if ( row.type == answer_type )
        return row.factory(answer.data(), answer.size(), 5);
    return nullptr;
  };
  client_work_directory_t work_directory(ask);
  server_session_t session;
  session.id = number;
  session.work_directory = &work_directory;
  repository_.session_started(&session);
  uint8_t type = 0;
  frame_bytes_t body;
  while ( !work_directory.link_failed() && link->read_frame(&type, &body) )
  {
    record(number, type, body);
    work_budget = take_work_fault(type);

    std::unique_ptr<rpc_packet_t> reply;
    for ( const packet_type_row_t &row : packet_type_table )
    {
      if ( row.type != type )
        continue;
      if ( std::unique_ptr<rpc_packet_t> request = row.factory(body.data(), body.size(), 5) )
        reply = repository_.handle(session, *request);
      break;
    }
    if ( reply == nullptr )
    {
      auto fail = std::make_unique<code_text_packet_t>(RPC_FAIL);
      fail->code = 33;
      fail->text = qstring(std::string_view("cannot read a request of type " + std::to_string(type)));
      reply = std::move(fail);
    }

    // A client that went away in the middle of the work on its directory gets no reply.
    if ( work_directory.link_failed() )
      break;

    server_fault_t fault;
    const bool faulty = take_fault(type, &fault);
    if ( faulty )
    {
      switch ( fault.action )
      {
        case server_fault_t::drop_before_reply:
          break;
        case server_fault_t::delay_reply:
          std::this_thread::sleep_for(std::chrono::milliseconds(fault.delay_ms));
          break;
        case server_fault_t::wrong_reply_type:
          reply = std::make_unique<empty_packet_t>(fault.reply_type);
          break;
        case server_fault_t::raw_reply:
          for ( const frame_bytes_t &frame : fault.frames )
            if ( !link->write_all(frame) )
              break;
          reply.reset();
          break;
        case server_fault_t::interpose:
        case server_fault_t::interpose_then_drop:
          for ( const frame_bytes_t &frame : fault.frames )
          {
            uint8_t answer_type = 0;
            frame_bytes_t answer;
            if ( !link->write_all(frame) || !link->read_frame(&answer_type, &answer) )
              break;
            record(number, answer_type, std::move(answer));
          }
          break;
        case server_fault_t::drop_after_reply:
        case server_fault_t::drop_during_work:
          break;
      }
      if ( fault.action == server_fault_t::drop_before_reply || fault.action == server_fault_t::interpose_then_drop )
        break;
    }
    if ( reply != nullptr && !link->write_all(packet_frame(*reply)) )
      break;
    if ( faulty && fault.action == server_fault_t::drop_after_reply )
      break;
  }
  repository_.session_ended(&session);
}

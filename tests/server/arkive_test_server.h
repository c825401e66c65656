// The project's own repository server for tests and demos: framed packets over loopback TCP and TLS, an
// in-memory repository, scripted misbehaviour and a record of every frame it received.
#pragma once

#include "tests/server/server_repository.h"
#include "tests/server/server_tls.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using frame_bytes_t = std::vector<uint8_t>;

// A whole frame: the 4-byte big-endian body length, the type byte, the body.
frame_bytes_t make_frame(uint8_t type, const frame_bytes_t &body);
// The frame of a packet.
frame_bytes_t packet_frame(const rpc_packet_t &packet);
// The frame of a packet whose body begins with a list, that list's count replaced by the count (its elements
// stay): a reply that claims more than it holds.
frame_bytes_t frame_claiming_count(const rpc_packet_t &packet, uint32_t count);

// One frame as the server received it.
struct recorded_frame_t
{
  int connection = 0; // numbered from 1 in accepting order
  uint8_t type = 0;
  frame_bytes_t body;
};

// Something the server does wrong once, when the request it waits for arrives.
struct server_fault_t
{
  enum action_t
  {
    drop_before_reply, // close the connection without answering
    drop_after_reply,  // answer, then close the connection
    delay_reply,       // wait delay_ms, then answer
    wrong_reply_type,  // answer with a frame of reply_type and an empty body
    raw_reply,         // send frames (any bytes) instead of the answer
    interpose,         // send each of frames as a request of the server and read one answer to each, then answer
    interpose_then_drop, // as interpose, then close the connection without answering
    drop_during_work,    // while serving the request, close the connection instead of sending the server's own
                         // request number work_requests + 1 to the client (its work directory half done)
  };

  action_t action = drop_before_reply;
  uint8_t on_type = 0; // the request type that sets it off; 0: the next request of any type
  int delay_ms = 0;
  uint8_t reply_type = RPC_OK;
  std::vector<frame_bytes_t> frames;
  int work_requests = 0; // drop_during_work: the server's requests that still go out
};

// Listens on 127.0.0.1 for plain TCP and TLS connections (ephemeral ports unless given) and serves each
// connection on its own thread until stop() or destruction. Requests before a successful LOGIN are answered
// only for LOGIN and AUTHENTICATE. Faults are used in the order they were added, each once.
class arkive_test_server_t
{
public:
  arkive_test_server_t();
  ~arkive_test_server_t();
  arkive_test_server_t(const arkive_test_server_t &) = delete;
  arkive_test_server_t &operator=(const arkive_test_server_t &) = delete;

  // Starts listening: TCP, and TLS unless tls is false. False with *error saying why when a port cannot be
  // opened or, with tls, when the TLS identity cannot be made (the root CA's key is needed to sign it).
  [[nodiscard]] bool start(std::string *error, uint16_t tcp_port = 0, uint16_t tls_port = 0, bool tls = true);
  // Signs the TLS certificate with this root CA (PEM files) instead of the build's; before start().
  void sign_with_root_ca(std::string cert_path, std::string key_path);
  // Closes the listeners and every connection and waits for their threads; start() may follow again.
  void stop();

  uint16_t tcp_port() const { return tcp_port_; }
  uint16_t tls_port() const { return tls_port_; }
  server_repository_t &repository() { return repository_; }

  void add_fault(server_fault_t fault);
  std::vector<recorded_frame_t> received() const;
  void clear_received();
  // Connections accepted so far.
  int connections() const { return connection_count_.load(); }

private:
  class link_t;
  struct connection_t
  {
    std::thread thread;
    int fd = -1;
  };

  void accept_loop();
  void serve(std::unique_ptr<link_t> link, int number);
  bool take_fault(uint8_t type, server_fault_t *fault);
  // Takes the first fault when it is a drop_during_work set off by the type: the server's requests it lets
  // through; -1 otherwise.
  int take_work_fault(uint8_t type);
  void record(int connection, uint8_t type, frame_bytes_t body);

  server_repository_t repository_;
  std::unique_ptr<server_tls_identity_t> tls_;
  std::string root_cert_path_; // empty: the build's root CA
  std::string root_key_path_;
  int tcp_listener_ = -1;
  int tls_listener_ = -1;
  int wake_pipe_[2] = {-1, -1};
  uint16_t tcp_port_ = 0;
  uint16_t tls_port_ = 0;
  std::thread acceptor_;

  mutable std::mutex mutex_; // guards everything below
  std::vector<connection_t> connections_;
  std::deque<server_fault_t> faults_;
  std::vector<recorded_frame_t> received_;
  bool stopping_ = false;
  std::atomic<int> connection_count_{0};
};

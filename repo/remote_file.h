// remote_file_t: a file stored on the server, read and written through its server handle.
#pragma once

#include "repo/fs_file.h"

#include <cstdint>
#include <memory>

class rpc_arkive_connection_t;
class rpc_packet_t;

// A server file that open_submitted_file has opened. Every operation is one request and its reply sent
// straight over the connection's frame engine: it takes no connection lock, serves no request of the
// server and never reconnects. Its codes are the connection's reply rules (classify_reply): 0; the server's
// RPC_FAIL code with its text in string argument 0; 47 for another reply (its type number as the text), and
// for a READ_FILE answered by RPC_FAIL with code 0, which carries no bytes; 53 for no reply.
// Promises: a read never stores more bytes than were asked for; close is the only way to end the file and
// destroys it (destroying it otherwise is internal error 2600); seek and tell are internal errors 2362 and
// 2363. The connection must outlive the file.
class remote_file_t final : public fs_file_t
{
public:
  remote_file_t(rpc_arkive_connection_t *connection, int32_t handle);

  // READ_FILE for up to *n bytes (at most 0xFFFFFFFF per request); *n becomes the count stored in buf,
  // 0 on failure. Bytes the server sends beyond the count asked for are logged as a warning and dropped.
  int read(uint64_t *n, void *buf) override;
  // WRITE_FILE of *n bytes; on failure *n becomes 0.
  int write(uint64_t *n, const void *bytes) override;
  int64_t seek(uint64_t offset) override;
  uint64_t tell() override;
  // CLOSE_FILE with the commit flag; the object is destroyed whatever the reply.
  int close(bool commit) override;

  int32_t handle() const { return handle_; }

private:
  ~remote_file_t() override;
  // Sends the request and takes one reply, judged by the connection's reply rules: *reply holds what came,
  // *accepted points into it when it is the expected reply.
  template<class Reply>
  [[nodiscard]] int exchange(const rpc_packet_t &request, uint8_t expected_type, bool content_needed,
                             std::unique_ptr<rpc_packet_t> *reply, Reply **accepted);
  // A request whose reply is RPC_OK.
  [[nodiscard]] int request_ok(const rpc_packet_t &request);

  rpc_arkive_connection_t *connection_; // not owned
  int32_t handle_;
  bool closed_ = false;
};

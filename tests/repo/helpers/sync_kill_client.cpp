// The client that the sync-kill test lets die in the middle of a sync, in a process of its own: it logs in
// as alice over TLS, selects site ws and syncs the given server paths, killing itself at a chosen progress
// step of a written file.
// Usage: sync_kill_client <TLS port> <step> <server path>...
// Exit code when no kill came: 0 for a successful sync, 2 for any failure.
#include "repo/arkive_connection.h"
#include "repo/arkive_progressor.h"
#include "repo/plain_fs.h"

#include <csignal>
#include <cstdlib>
#include <unistd.h>

namespace {

// Kills its own process at the n-th progress step of kind 1, as a user or the system would.
class killing_progressor_t : public arkive_progressor_t
{
public:
  explicit killing_progressor_t(long n) : left_(n) {}
  int32_t progress(uint8_t kind, uint64_t) override
  {
    if ( kind == 1 && --left_ == 0 )
      ::raise(SIGKILL);
    return 0;
  }

private:
  long left_;
};

}  // namespace

int main(int argc, char **argv)
{
  if ( argc < 4 )
    return 2;
  const long port = std::strtol(argv[1], nullptr, 10);
  const long step = std::strtol(argv[2], nullptr, 10);
  if ( port <= 0 || port > 65535 || step <= 0 )
    return 2;
  qvector<qstring> patterns;
  for ( int i = 3; i < argc; ++i )
    patterns.push_back(qstring(argv[i]));

  process_fs_t own_fs;
  own_fs.set_reporters(nullptr, std::make_unique<killing_progressor_t>(step));
  socket_stream_t *stream = make_socket_stream(true);
  connect_params_t params;
  params.server.host = "127.0.0.1";
  params.server.port = uint16_t(port);
  if ( !stream->open(params) )
  {
    destroy_socket_stream(stream, -1);
    return 2;
  }
  rpc_arkive_connection_t c(stream);
  qstring error;
  if ( !c.login(&error, "alice", "secret", "alice-pc") )
    return 2;
  c.set_file_system(&own_fs);
  if ( c.use_site(nullptr, "ws", "alice-pc") != 0 )
    return 2;
  qvector<server_message_t> messages;
  return c.sync_files(&messages, patterns, -1, 4) == 0 ? 0 : 2;
}

// Helpers of the connection tests: a started test server, connections to it, and hand-written request bytes.
#pragma once

#include "repo/arkive_connection.h"
#include "tests/server/arkive_test_server.h"
#include "tests/support/wire_bytes.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

// The two transports of the server.
enum class transport_t
{
  tcp,
  tls,
};

// A test server on both transports, seeded with a small repository:
//   users alice (password "secret", administrator) and bob ("builder"); group devs {alice};
//   site ws of alice (root site_root, host alice-pc) holding //depot/a.txt ("alpha") and //depot/b.txt
//   ("beta") at revision 1, made by commit 1 "import". The server brings files into site_root as
//   site_root + "/depot/a.txt"; nothing is there before the test puts it there.
class test_server_fixture_t : public testing::Test
{
protected:
  void SetUp() override;

  // An opened stream to the server, or null (with a test failure).
  socket_stream_t *open_stream(transport_t transport);
  // A connection to the server (not logged in).
  std::unique_ptr<rpc_arkive_connection_t> connect(transport_t transport = transport_t::tcp);
  // A connection logged in as alice, with site ws in use, and the server's record cleared.
  std::unique_ptr<rpc_arkive_connection_t> connect_alice(transport_t transport = transport_t::tcp);

  arkive_test_server_t server;
  std::string site_root; // a folder under the test process's own TMPDIR
};

// The frame of an RPC_FAIL reply with the code and text.
frame_bytes_t fail_frame(int32_t code, const char *text);

// Puts a file on disk as a user would (its folders are made).
void write_local(const std::string &path, const std::string &content);

// The text of string argument 0 of the calling thread's error state ("" when none).
std::string error_detail();

// Helpers of the connection tests: a started test server, connections to it, and hand-written request bytes.
#include "tests/repo/test_server_client.h"

#include "core/error_state.h"
#include "tests/server/seed_file.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

void test_server_fixture_t::SetUp()
{
  // The server writes into the site's work directory: a private one of this test process, new for every test
  // (file systems of a root live as long as the process).
  static int fixtures = 0;
  const char *tmp = std::getenv("TMPDIR");
  site_root = std::string(tmp != nullptr ? tmp : "/tmp") + "/alice-" + std::to_string(++fixtures);
  std::string error;
  ASSERT_TRUE(load_seed_text(server.repository(),
                             "user alice secret admin name=Alice email=alice@example.org\n"
                             "user bob builder\n"
                             "group devs alice\n"
                             "site ws alice " + site_root + " alice-pc\n"
                             "commit alice ws import //depot/a.txt=alpha //depot/b.txt=beta\n",
                             &error))
    << error;
  ASSERT_TRUE(server.start(&error)) << error;
  ASSERT_NE(server.tls_port(), 0) << "the build's root CA key is needed for the TLS port";
}

socket_stream_t *test_server_fixture_t::open_stream(transport_t transport)
{
  socket_stream_t *stream = make_socket_stream(transport == transport_t::tls);
  connect_params_t params;
  params.server.host = "127.0.0.1";
  params.server.port = transport == transport_t::tls ? server.tls_port() : server.tcp_port();
  if ( !stream->open(params) )
  {
    ADD_FAILURE() << "cannot connect to the test server: " << stream->error_text();
    destroy_socket_stream(stream, -1);
    return nullptr;
  }
  return stream;
}

std::unique_ptr<rpc_arkive_connection_t> test_server_fixture_t::connect(transport_t transport)
{
  socket_stream_t *stream = open_stream(transport);
  return stream != nullptr ? std::make_unique<rpc_arkive_connection_t>(stream) : nullptr;
}

std::unique_ptr<rpc_arkive_connection_t> test_server_fixture_t::connect_alice(transport_t transport)
{
  auto connection = connect(transport);
  if ( connection == nullptr )
    return nullptr;
  qstring error;
  EXPECT_TRUE(connection->login(&error, "alice", "secret", "alice-pc")) << error.c_str();
  EXPECT_EQ(connection->use_site(nullptr, "ws", ""), 0) << error_detail();
  server.clear_received();
  return connection;
}

std::string error_detail()
{
  const char *text = get_error_arg_text(0);
  return text != nullptr ? text : "";
}

void write_local(const std::string &path, const std::string &content)
{
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

frame_bytes_t fail_frame(int32_t code, const char *text)
{
  code_text_packet_t fail(RPC_FAIL);
  fail.code = code;
  fail.text = text;
  return packet_frame(fail);
}

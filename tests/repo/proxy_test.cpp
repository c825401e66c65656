// Tests of the HTTP CONNECT tunnel of the TCP stream against a real proxy on loopback: the request it sends,
// Basic authentication, the proxy's answers, and proxies that close early or stay silent.
#include "repo/tcp_socket_stream.h"

#include "core/debug_flags.h"
#include "core/error_state.h"
#include "tests/repo/test_proxy.h"
#include "tests/support/recording_ui_callback.h"

#include <gtest/gtest.h>

namespace
{
connect_params_t through_proxy(uint16_t server_port, uint16_t proxy_port)
{
  connect_params_t params;
  params.server.host = "127.0.0.1";
  params.server.port = server_port;
  params.proxy.host = "127.0.0.1";
  params.proxy.port = proxy_port;
  return params;
}

// A server that answers every request of 4 bytes with the same bytes upper-cased.
void shout_back(int fd)
{
  std::string request = receive_exactly(fd, 4);
  for ( char &c : request )
    c = char(std::toupper(static_cast<unsigned char>(c)));
  send_all(fd, request);
}

// Sends "ping" through the open stream and expects "PING".
void expect_round_trip(tcp_socket_stream_t &stream)
{
  EXPECT_EQ(stream_write_all(&stream, "ping", 4), 4u);
  char reply[4];
  ASSERT_EQ(stream_read_exact(&stream, reply, 4, 5000), 4u) << stream.error_text();
  EXPECT_EQ(std::string(reply, 4), "PING");
}

TEST(proxy_tunnel, connects_through_the_proxy)
{
  loopback_server_t server(shout_back);
  test_proxy_t proxy({});
  tcp_socket_stream_t stream;
  ASSERT_TRUE(stream.open(through_proxy(server.port(), proxy.port()))) << stream.error_text();
  EXPECT_EQ(proxy.request(), "CONNECT 127.0.0.1:" + std::to_string(server.port()) + " HTTP/1.1\r\n\r\n");
  expect_round_trip(stream);
  stream.close(-1);
}

TEST(proxy_tunnel, authenticates_with_basic_credentials)
{
  const struct
  {
    const char *name;
    const char *user;
    const char *password;
    const char *encoded;
  } cases[] = {
    {"user and password", "alice", "s3cret:x", "YWxpY2U6czNjcmV0Ong="},
    {"empty password keeps the colon", "alice", "", "YWxpY2U6"},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    loopback_server_t server(shout_back);
    proxy_behaviour_t behaviour;
    behaviour.required_credentials = c.encoded;
    test_proxy_t proxy(behaviour);
    connect_params_t params = through_proxy(server.port(), proxy.port());
    params.proxy.user = c.user;
    params.proxy.password = c.password;
    params.server.user = "server user"; // never sent to the proxy
    params.server.password = "server password";
    tcp_socket_stream_t stream;
    ASSERT_TRUE(stream.open(params)) << stream.error_text();
    EXPECT_EQ(proxy.request(), "CONNECT 127.0.0.1:" + std::to_string(server.port())
                                 + " HTTP/1.1\r\nProxy-Authorization: Basic " + c.encoded + "\r\n\r\n");
    expect_round_trip(stream);
    stream.close(-1);
  }
}

TEST(proxy_tunnel, traces_the_exchange_without_the_credentials)
{
  loopback_server_t server(shout_back);
  proxy_behaviour_t behaviour;
  behaviour.required_credentials = "YWxpY2U6czNjcmV0"; // alice:s3cret
  test_proxy_t proxy(behaviour);
  connect_params_t params = through_proxy(server.port(), proxy.port());
  params.proxy.user = "alice";
  params.proxy.password = "s3cret";
  recording_ui_callback_t ui;
  for ( const bool traced : {false, true} )
  {
    SCOPED_TRACE(traced);
    debug_flags = traced ? 0x100000 : 0;
    tcp_socket_stream_t stream;
    if ( traced )
    {
      ASSERT_TRUE(stream.open(params)) << stream.error_text();
    }
    else
    {
      stream.open(through_proxy(server.port(), 1)); // nobody listens on port 1 of loopback
    }
    stream.close(-1);
  }
  debug_flags = 0;
  const std::vector<ui_request_record_t> logged = ui.requests_of(ui_code_log);
  ASSERT_EQ(logged.size(), 2u) << "nothing is traced without the flag";
  EXPECT_EQ(logged[0].text, "Attempting HTTP CONNECT through proxy (127.0.0.1:" + std::to_string(proxy.port())
                              + "), by sending:\n---\nCONNECT 127.0.0.1:" + std::to_string(server.port())
                              + " HTTP/1.1\r\nProxy-Authorization: Basic ***\r\n\r\n\n---\n");
  EXPECT_EQ(logged[1].text, "Received:\n---\nHTTP/1.1 200 Connection established\r\n\r\n\n---\n");
  for ( const auto &line : logged )
  {
    EXPECT_EQ(line.text.find("YWxpY2U6czNjcmV0"), std::string::npos);
    EXPECT_EQ(line.text.find("s3cret"), std::string::npos);
  }
}

TEST(proxy_tunnel, an_empty_proxy_host_connects_directly)
{
  loopback_server_t server(shout_back);
  connect_params_t params = through_proxy(server.port(), 1);
  params.proxy.host = "";
  params.proxy.user = "alice";
  tcp_socket_stream_t stream;
  ASSERT_TRUE(stream.open(params)) << stream.error_text();
  expect_round_trip(stream);
  stream.close(-1);
}

TEST(proxy_tunnel, judges_the_proxys_answer_by_its_status_line)
{
  std::string long_head = "HTTP/1.1 200 Connection established\r\nX-Filler: ";
  long_head += std::string(1023 - long_head.size(), 'x');
  const struct
  {
    const char *name;
    std::string reply;
    bool open;
    const char *key;
  } cases[] = {
    {"HTTP/1.0 success", "HTTP/1.0 200 OK\r\n\r\n", true, ""},
    {"1023 bytes without an empty line", long_head, true, ""},
    {"authentication required", "HTTP/1.1 407 Proxy Authentication Required\r\n\r\n", false,
     "connecting to proxy (authentication required)"},
    {"unauthorized", "HTTP/1.1 401 Unauthorized\r\n\r\n", false, "connecting to proxy (unauthorized)"},
    {"forbidden", "HTTP/1.1 403 Forbidden\r\n\r\n", false, "connecting to proxy"},
    {"bad gateway", "HTTP/1.1 502 Bad Gateway\r\n\r\n", false, "connecting to proxy"},
    {"not HTTP", "garbage\r\n\r\n", false, "connecting to proxy"},
    {"HTTP/2 status line", "HTTP/2 200\r\n\r\n", false, "connecting to proxy"},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    loopback_server_t server(shout_back);
    proxy_behaviour_t behaviour;
    behaviour.reply = c.reply;
    test_proxy_t proxy(behaviour);
    tcp_socket_stream_t stream;
    EXPECT_EQ(stream.open(through_proxy(server.port(), proxy.port())), c.open) << stream.error_text();
    if ( c.open )
    {
      expect_round_trip(stream);
    }
    else
    {
      EXPECT_STREQ(stream.error_key(), c.key);
      EXPECT_EQ(stream.error_code(), 0) << "a refusal is no socket failure";
      EXPECT_EQ(stream.error_text(), std::string(c.key) + ": " + win_error_text(0));
    }
    stream.close(-1);
  }
}

TEST(proxy_tunnel, fails_when_the_proxy_closes_before_answering)
{
  loopback_server_t server(shout_back);
  proxy_behaviour_t behaviour;
  behaviour.reply = "";
  test_proxy_t proxy(behaviour);
  tcp_socket_stream_t stream;
  EXPECT_FALSE(stream.open(through_proxy(server.port(), proxy.port())));
  EXPECT_STREQ(stream.error_key(), "connecting to proxy");
  EXPECT_EQ(stream.error_code(), 0);
  stream.close(-1);
}

TEST(proxy_tunnel, fails_when_a_required_authentication_is_missing)
{
  loopback_server_t server(shout_back);
  proxy_behaviour_t behaviour;
  behaviour.required_credentials = "YWxpY2U6czNjcmV0";
  test_proxy_t proxy(behaviour);
  tcp_socket_stream_t stream;
  EXPECT_FALSE(stream.open(through_proxy(server.port(), proxy.port())));
  EXPECT_STREQ(stream.error_key(), "connecting to proxy (authentication required)");
  stream.close(-1);
}

TEST(proxy_tunnel, fails_when_the_proxy_stays_silent)
{
  proxy_behaviour_t behaviour;
  behaviour.silent = true;
  test_proxy_t proxy(behaviour);
  tcp_socket_stream_t stream;
  // The proxy is given ten seconds for each byte of its answer.
  EXPECT_FALSE(stream.open(through_proxy(9, proxy.port())));
  EXPECT_STREQ(stream.error_key(), "connecting to proxy");
  EXPECT_EQ(stream.error_code(), stream_timeout_code);
  stream.close(-1);
}

TEST(proxy_tunnel, fails_when_no_proxy_listens)
{
  loopback_server_t server(shout_back);
  int free_port = 0;
  {
    tcp_socket_stream_t probe;
    connect_params_t any;
    ASSERT_TRUE(probe.listen(any));
    ASSERT_TRUE(probe.local_port(&free_port));
    probe.close(-1);
  }
  tcp_socket_stream_t stream;
  EXPECT_FALSE(stream.open(through_proxy(server.port(), uint16_t(free_port))));
  EXPECT_STREQ(stream.error_key(), "connect");
  // Nothing connected: a direct connection to the server is not tried instead.
  stream.close(-1);
}
} // namespace

// Tests of the TCP stream against loopback peers: connecting, reading, writing, time-outs, the peer closing,
// addresses, closing, listening and accepting, and the error texts of each failure.
#include "repo/tcp_socket_stream.h"

#include "core/error_state.h"
#include "tests/repo/loopback_peer.h"

#include <gtest/gtest.h>

#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>

namespace
{
TEST(tcp_stream, carries_bytes_both_ways)
{
  loopback_server_t echo([](int fd) {
    const std::string request = receive_exactly(fd, 5);
    send_all(fd, request + " back");
  });
  tcp_socket_stream_t stream;
  ASSERT_TRUE(stream.open(loopback_params(echo.port()))) << stream.error_text();
  EXPECT_EQ(stream_write_all(&stream, "hello", 5), 5u);
  char reply[10];
  EXPECT_EQ(stream_read_exact(&stream, reply, sizeof(reply), 5000), sizeof(reply));
  EXPECT_EQ(std::string(reply, sizeof(reply)), "hello back");

  qstring peer;
  EXPECT_TRUE(stream.peer_address(&peer, false));
  EXPECT_EQ(peer, "127.0.0.1");
  qstring local("local: ");
  EXPECT_TRUE(stream.local_address(&local, false));
  EXPECT_EQ(local, "local: 127.0.0.1") << "the address is appended";
  int port = 0;
  EXPECT_TRUE(stream.local_port(&port));
  EXPECT_GT(port, 0);
  EXPECT_NE(port, int(echo.port()));
  stream.close(2);
}

TEST(tcp_stream, reports_the_peer_closing)
{
  loopback_server_t closer([](int) {});
  tcp_socket_stream_t stream;
  ASSERT_TRUE(stream.open(loopback_params(closer.port())));
  EXPECT_GT(stream.wait_readable(5000), 0) << "a closed connection is readable";
  char c;
  EXPECT_EQ(stream.read(&c, 1), -1);
  EXPECT_STREQ(stream.error_key(), "connection_closed_by_peer");
  EXPECT_EQ(stream.error_code(), 0);
  EXPECT_STREQ(stream.error_text(), "recv: Connection closed by peer");
  EXPECT_EQ(stream.read(&c, 0), 0) << "nothing asked, nothing read";
  stream.close(-1);
}

TEST(tcp_stream, times_out_waiting)
{
  loopback_server_t silent([](int fd) { receive_until_closed(fd); });
  tcp_socket_stream_t stream;
  ASSERT_TRUE(stream.open(loopback_params(silent.port())));
  for ( const int timeout : {0, 150} )
  {
    SCOPED_TRACE(timeout);
    EXPECT_EQ(stream.wait_readable(timeout), -1);
    EXPECT_STREQ(stream.error_key(), "select");
    EXPECT_EQ(stream.error_code(), stream_timeout_code);
    EXPECT_EQ(stream.error_text(), stream_error_text("select", 258));
  }
  stream.close(1);
}

TEST(tcp_stream, a_progress_callback_can_cancel_a_wait)
{
  loopback_server_t silent([](int fd) { receive_until_closed(fd); });
  tcp_socket_stream_t stream;
  ASSERT_TRUE(stream.open(loopback_params(silent.port())));
  int calls = 0;
  const auto cancel_third = [](uint8_t, uint64_t, uint64_t, void *user_data) {
    return ++*static_cast<int *>(user_data) == 3 ? progress_cancel : 0;
  };
  ASSERT_TRUE(stream.set_progress_callback(5, cancel_third, &calls));
  progress_scope_t scope(&stream, 1, 100);
  // Without a time-out only the callback ends the wait.
  EXPECT_EQ(stream.wait_readable(-1), -1);
  EXPECT_EQ(calls, 3);
  EXPECT_STREQ(stream.error_key(), "select");
  EXPECT_EQ(stream.error_code(), stream_cancelled_code);
  stream.close(-1);
}

TEST(tcp_stream, a_ticking_callback_does_not_stretch_the_time_out)
{
  loopback_server_t silent([](int fd) { receive_until_closed(fd); });
  tcp_socket_stream_t stream;
  ASSERT_TRUE(stream.open(loopback_params(silent.port())));
  int calls = 0;
  const auto go_on = [](uint8_t, uint64_t, uint64_t, void *user_data) {
    ++*static_cast<int *>(user_data);
    return 0;
  };
  ASSERT_TRUE(stream.set_progress_callback(10, go_on, &calls));
  progress_scope_t scope(&stream, 1, 100);
  EXPECT_EQ(stream.wait_readable(300), -1);
  EXPECT_EQ(stream.error_code(), stream_timeout_code);
  EXPECT_GT(calls, 1) << "the callback ticked while the wait went on";
  stream.close(-1);
}

TEST(tcp_stream, refuses_what_cannot_connect)
{
  // A port that was just free: nobody listens there.
  int closed_port = 0;
  {
    tcp_socket_stream_t probe;
    connect_params_t any = loopback_params(0);
    ASSERT_TRUE(probe.listen(any));
    ASSERT_TRUE(probe.local_port(&closed_port));
    probe.close(-1);
  }
  const struct
  {
    const char *name;
    const char *host;
    int port;
    const char *key;
    int code;
    std::string text;
  } cases[] = {
    {"nobody listens", "127.0.0.1", closed_port, "connect", ECONNREFUSED, stream_error_text("connect", ECONNREFUSED)},
    {"no host", "", 80, "gai_strerror", EAI_NONAME, std::string("getaddrinfo: ") + gai_strerror(EAI_NONAME)},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    tcp_socket_stream_t stream;
    connect_params_t params = loopback_params(uint16_t(c.port));
    params.server.host = c.host;
    EXPECT_FALSE(stream.open(params));
    EXPECT_STREQ(stream.error_key(), c.key);
    EXPECT_EQ(stream.error_code(), c.code);
    EXPECT_EQ(stream.error_text(), c.text);
    stream.close(-1);
    stream.close(-1); // closing a stream without a socket does nothing
  }
}

TEST(tcp_stream, shutting_down_the_send_side_ends_the_peers_input)
{
  std::string received;
  {
    loopback_server_t reader([&](int fd) { received = receive_until_closed(fd); });
    tcp_socket_stream_t stream;
    ASSERT_TRUE(stream.open(loopback_params(reader.port())));
    EXPECT_EQ(stream.write("last words", 10), 10);
    stream.close(1);
  }
  EXPECT_EQ(received, "last words");
}

TEST(tcp_stream, listens_and_accepts)
{
  tcp_socket_stream_t listener;
  ASSERT_TRUE(listener.listen(loopback_params(0))) << listener.error_text();
  EXPECT_TRUE(listener.server_hook());
  int port = 0;
  ASSERT_TRUE(listener.local_port(&port));

  tcp_socket_stream_t client;
  ASSERT_TRUE(client.open(loopback_params(uint16_t(port))));
  tcp_socket_stream_t served;
  EXPECT_FALSE(served.accept(nullptr));
  ASSERT_TRUE(served.accept(&listener));
  EXPECT_TRUE(served.accept(&listener)) << "a stream that holds a connection stays with it";
  EXPECT_EQ(client.write("ping", 4), 4);
  char buffer[4];
  EXPECT_EQ(stream_read_exact(&served, buffer, 4, 5000), 4u);
  EXPECT_EQ(std::string(buffer, 4), "ping");
  served.close(2);
  client.close(2);
  listener.close(-1);
}

TEST(tcp_stream, listens_on_every_address_when_the_host_does_not_parse)
{
  tcp_socket_stream_t listener;
  connect_params_t params = loopback_params(0);
  params.server.host = "";
  ASSERT_TRUE(listener.listen(params));
  listener.close(-1);

  testing::internal::CaptureStdout();
  params.server.host = "::1";
  const bool listening = listener.listen(params);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Cannot parse IPv4 address \"::1\", falling back to INADDR_ANY\n");
  EXPECT_TRUE(listening);
  int port = 0;
  ASSERT_TRUE(listener.local_port(&port));
  tcp_socket_stream_t client;
  EXPECT_TRUE(client.open(loopback_params(uint16_t(port))));
  client.close(-1);
  listener.close(-1);
}

TEST(tcp_stream, a_second_listener_on_a_taken_port_fails_to_bind)
{
  loopback_server_t taken([](int) {});
  tcp_socket_stream_t listener;
  EXPECT_FALSE(listener.listen(loopback_params(taken.port())));
  EXPECT_STREQ(listener.error_key(), "bind");
  EXPECT_EQ(listener.error_code(), EADDRINUSE);
  int port = 0;
  EXPECT_FALSE(listener.local_port(&port)) << "the failed listener was closed";
}

TEST(tcp_stream, address_texts_put_the_name_before_the_number)
{
  loopback_server_t peer([](int fd) { receive_until_closed(fd); });
  tcp_socket_stream_t stream;
  ASSERT_TRUE(stream.open(loopback_params(peer.port())));
  for ( const bool peer_side : {true, false} )
  {
    SCOPED_TRACE(peer_side ? "peer" : "local");
    qstring text("at ");
    EXPECT_TRUE(peer_side ? stream.peer_address(&text, true) : stream.local_address(&text, true));
    const std::string s(text.view());
    ASSERT_TRUE(s.starts_with("at ")) << s;
    const std::string shown = s.substr(3);
    // A loopback address that has a name reads "name(127.0.0.1)"; one without a name is the number alone.
    if ( shown != "127.0.0.1" )
    {
      ASSERT_TRUE(shown.ends_with("(127.0.0.1)")) << shown;
      EXPECT_GT(shown.size(), std::string("(127.0.0.1)").size()) << "a name comes first";
      EXPECT_EQ(shown.find('('), shown.size() - std::string("(127.0.0.1)").size());
    }
  }
  stream.close(-1);

  // An address of no family the system can show adds nothing and answers false.
  sockaddr_storage nothing{};
  nothing.ss_family = AF_UNSPEC;
  qstring untouched("x");
  EXPECT_FALSE(format_socket_address(&untouched, reinterpret_cast<const sockaddr *>(&nothing), sizeof(nothing), true));
  EXPECT_EQ(untouched, "x");
  // Without a connection there is no address at all.
  qstring none;
  EXPECT_FALSE(stream.peer_address(&none, false));
  EXPECT_TRUE(none.empty());
}
} // namespace

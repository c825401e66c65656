// Tests of the TLS stream against TLS servers on loopback: which server certificates it accepts and refuses,
// records in pieces and together, the proxy tunnel under TLS, broken input, time-outs, closing and the error
// texts of each failure. Certificates are made at run time; trusted ones are signed with the build's root key.
#include "repo/tls_stream.h"

#include "core/debug_flags.h"
#include "core/error_state.h"
#include "tests/repo/loopback_peer.h"
#include "tests/repo/test_proxy.h"
#include "tests/support/env_guard.h"
#include "tests/support/recording_ui_callback.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>

namespace
{
// Receives one whole TLS record (the client hello), so that closing afterwards ends the connection cleanly.
void receive_record(int fd)
{
  const std::string header = receive_exactly(fd, 5);
  if ( header.size() == 5 )
    receive_exactly(fd, size_t(uint8_t(header[3])) << 8 | uint8_t(header[4]));
}

// Answers each request of n bytes with the same bytes, until the client closes.
void echo(tls_peer_t &peer, size_t n)
{
  for ( ;; )
  {
    const std::string request = peer.read(n);
    if ( request.size() < n || !peer.write(request) )
      return;
  }
}

class tls_stream_test : public testing::Test
{
protected:
  void SetUp() override
  {
    if ( !root_.key )
      GTEST_SKIP() << "the build was given its root CA without the key: no certificate can be signed for it";
  }

  test_identity_t signed_by_root(certificate_options_t options = {}) const
  {
    return make_test_certificate(&root_, options);
  }

  // Opens a stream to the server.
  static testing::AssertionResult open(schannel_stream_t &stream, uint16_t port)
  {
    if ( stream.open(loopback_params(port)) )
      return testing::AssertionSuccess();
    return testing::AssertionFailure() << stream.error_key() << ": " << stream.error_text();
  }

  test_identity_t root_ = load_build_root();
};

TEST_F(tls_stream_test, carries_data_for_a_server_of_the_built_in_root)
{
  const test_identity_t leaf = signed_by_root();
  tls_test_server_t server(leaf, {}, [](tls_peer_t &peer) { echo(peer, 5); });
  schannel_stream_t stream;
  ASSERT_TRUE(open(stream, server.port()));
  EXPECT_EQ(stream.write("hello", 0), 0) << "writing nothing sends nothing";
  for ( const char *text : {"hello", "again"} )
  {
    EXPECT_EQ(stream_write_all(&stream, text, 5), 5u);
    char reply[5];
    ASSERT_EQ(stream_read_exact(&stream, reply, 5, 5000), 5u) << stream.error_text();
    EXPECT_EQ(std::string(reply, 5), text);
  }
  qstring peer;
  EXPECT_TRUE(stream.peer_address(&peer, false));
  EXPECT_EQ(peer, "127.0.0.1");
  int port = 0;
  EXPECT_TRUE(stream.local_port(&port));
  EXPECT_GT(port, 0);
  stream.close(1);
}

TEST_F(tls_stream_test, traces_the_certificate_check)
{
  const test_identity_t leaf = signed_by_root();
  tls_test_server_t server(leaf, {}, [](tls_peer_t &peer) { peer.read_close_notify(); }, 2);
  recording_ui_callback_t ui;
  for ( const uint32_t flags : {0u, 0x100000u} )
  {
    debug_flags = flags;
    schannel_stream_t stream;
    EXPECT_TRUE(open(stream, server.port()));
    stream.close(-1);
  }
  debug_flags = 0;
  const std::vector<ui_request_record_t> logged = ui.requests_of(ui_code_log);
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].text, "TLS: certificate verified\n");
}

TEST_F(tls_stream_test, carries_large_transfers_both_ways)
{
  const size_t size = 1 << 20;
  std::string data(size, '\0');
  for ( size_t i = 0; i < size; ++i )
    data[i] = char(i * 7 + i / 65536);
  const test_identity_t leaf = signed_by_root();
  tls_test_server_t server(leaf, {}, [&](tls_peer_t &peer) { echo(peer, size); });
  schannel_stream_t stream;
  ASSERT_TRUE(open(stream, server.port()));
  EXPECT_EQ(stream.write(data.data(), data.size()), int64_t(size)) << "one write, many records";
  std::string reply(size, '\0');
  ASSERT_EQ(stream_read_exact(&stream, reply.data(), size, 10000), size) << stream.error_text();
  EXPECT_TRUE(reply == data);
  stream.close(-1);
}

TEST_F(tls_stream_test, accepts_a_chain_through_an_intermediate)
{
  certificate_options_t ca;
  ca.ca = true;
  ca.common_name = "akui test intermediate";
  const test_identity_t intermediate = signed_by_root(ca);
  const test_identity_t leaf = make_test_certificate(&intermediate, {});
  tls_test_server_t server(leaf, {intermediate.cert.get()}, [](tls_peer_t &peer) { echo(peer, 2); });
  schannel_stream_t stream;
  ASSERT_TRUE(open(stream, server.port()));
  EXPECT_EQ(stream_write_all(&stream, "ok", 2), 2u);
  char reply[2];
  EXPECT_EQ(stream_read_exact(&stream, reply, 2, 5000), 2u);
  stream.close(-1);
}

TEST_F(tls_stream_test, refuses_servers_it_must_not_trust)
{
  const test_identity_t other_root = make_test_root("some other root");
  certificate_options_t ca;
  ca.ca = true;
  ca.common_name = "akui test intermediate";
  const test_identity_t intermediate = signed_by_root(ca);
  certificate_options_t expired_ca = ca;
  expired_ca.valid_from_days = -30;
  expired_ca.valid_until_days = -2;
  const test_identity_t expired_intermediate = signed_by_root(expired_ca);
  const test_identity_t plain_leaf = signed_by_root();

  const auto with = [](auto change) {
    certificate_options_t options;
    change(options);
    return options;
  };
  const std::string invalid = "invalid_remote_certificate: " + std::string(win_error_text(0));
  const std::string expired = "Certificate verification failed: certificate has expired";
  struct case_t
  {
    const char *name;
    test_identity_t leaf;
    std::vector<X509 *> chain;
    const char *key;
    std::string text;
  };
  case_t cases[] = {
    {"another root", make_test_certificate(&other_root, {}), {other_root.cert.get()}, "invalid_remote_certificate",
     invalid},
    {"self-signed", make_test_certificate(nullptr, {}), {}, "invalid_remote_certificate", invalid},
    {"expired", signed_by_root(with([](auto &o) {
       o.valid_from_days = -30;
       o.valid_until_days = -1;
     })),
     {}, "expired_remote_certificate", expired},
    {"not yet valid", signed_by_root(with([](auto &o) {
       o.valid_from_days = 2;
       o.valid_until_days = 30;
     })),
     {}, "expired_remote_certificate", expired},
    {"expired and of another root", make_test_certificate(&other_root, with([](auto &o) {
       o.valid_from_days = -30;
       o.valid_until_days = -1;
     })),
     {}, "expired_remote_certificate", expired},
    {"no common name", signed_by_root(with([](auto &o) { o.common_name = ""; })), {}, "invalid_remote_certificate",
     invalid},
    {"the internal host name", signed_by_root(with([](auto &o) { o.common_name = tls_internal_host_name; })), {},
     "invalid_remote_certificate", invalid},
    {"the internal host name in capitals", signed_by_root(with([](auto &o) { o.common_name = "ARKIVE.Internal"; })),
     {}, "invalid_remote_certificate", invalid},
    {"broken signature", signed_by_root(with([](auto &o) { o.broken_signature = true; })), {},
     "invalid_remote_certificate", invalid},
    {"issued for clients only", signed_by_root(with([](auto &o) { o.extended_key_usage = "clientAuth"; })), {},
     "invalid_remote_certificate", invalid},
    {"issued by a server certificate", make_test_certificate(&plain_leaf, {}), {plain_leaf.cert.get()},
     "invalid_remote_certificate", invalid},
    {"intermediate not sent", make_test_certificate(&intermediate, {}), {}, "invalid_remote_certificate", invalid},
    {"expired intermediate", make_test_certificate(&expired_intermediate, {}), {expired_intermediate.cert.get()},
     "expired_remote_certificate", expired},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    bool notified = false;
    {
      tls_test_server_t server(c.leaf, c.chain, [&](tls_peer_t &peer) { notified = peer.read_close_notify(); });
      schannel_stream_t stream;
      EXPECT_FALSE(stream.open(loopback_params(server.port())));
      EXPECT_STREQ(stream.error_key(), c.key);
      EXPECT_EQ(stream.error_text(), c.text);
      char c1;
      EXPECT_EQ(stream.read(&c1, 1), -1) << "a refused stream carries nothing";
    }
    EXPECT_TRUE(notified) << "the refused session was closed with close notify";
  }
}

TEST_F(tls_stream_test, refuses_a_chain_that_only_the_system_trusts)
{
  // Point the library's default trust locations at another root: the stream must not look there.
  const test_identity_t other_root = make_test_root("a root the system trusts");
  const std::string folder = std::string(std::getenv("TMPDIR")) + "/";
  std::ofstream(folder + "system_roots.pem") << certificate_pem(other_root.cert.get());
  env_guard_t file("SSL_CERT_FILE", (folder + "system_roots.pem").c_str());
  env_guard_t dir("SSL_CERT_DIR", folder.c_str());
  const test_identity_t leaf = make_test_certificate(&other_root, {});
  tls_test_server_t server(leaf, {other_root.cert.get()}, [](tls_peer_t &peer) { peer.read(1); });
  schannel_stream_t stream;
  EXPECT_FALSE(stream.open(loopback_params(server.port())));
  EXPECT_STREQ(stream.error_key(), "invalid_remote_certificate");
}

TEST_F(tls_stream_test, runs_through_a_proxy_tunnel)
{
  const test_identity_t leaf = signed_by_root();
  tls_test_server_t server(leaf, {}, [](tls_peer_t &peer) { echo(peer, 6); });
  test_proxy_t proxy({});
  connect_params_t params = loopback_params(server.port());
  params.proxy.host = "127.0.0.1";
  params.proxy.port = proxy.port();
  schannel_stream_t stream;
  ASSERT_TRUE(stream.open(params)) << stream.error_text();
  EXPECT_EQ(proxy.request(), "CONNECT 127.0.0.1:" + std::to_string(server.port()) + " HTTP/1.1\r\n\r\n");
  EXPECT_EQ(stream_write_all(&stream, "tunnel", 6), 6u);
  char reply[6];
  ASSERT_EQ(stream_read_exact(&stream, reply, 6, 5000), 6u);
  EXPECT_EQ(std::string(reply, 6), "tunnel");
  stream.close(-1);
}

TEST_F(tls_stream_test, gives_the_inner_streams_reason_when_it_cannot_connect)
{
  proxy_behaviour_t refusing;
  refusing.reply = "HTTP/1.1 407 Proxy Authentication Required\r\n\r\n";
  test_proxy_t proxy(refusing);
  connect_params_t params = loopback_params(443);
  params.proxy.host = "127.0.0.1";
  params.proxy.port = proxy.port();
  schannel_stream_t stream;
  EXPECT_FALSE(stream.open(params));
  EXPECT_STREQ(stream.error_key(), "irs");
  EXPECT_EQ(stream.error_code(), 0);
  EXPECT_EQ(stream.error_text(), stream_error_text("connecting to proxy (authentication required)", 0));

  int closed_port = 0;
  {
    loopback_server_t gone([](int) {});
    closed_port = gone.port();
  }
  schannel_stream_t refused;
  EXPECT_FALSE(refused.open(loopback_params(uint16_t(closed_port))));
  EXPECT_STREQ(refused.error_key(), "irs");
  EXPECT_EQ(refused.error_code(), ECONNREFUSED);
  EXPECT_EQ(refused.error_text(), stream_error_text("connect", ECONNREFUSED));
}

TEST(tls_stream, refuses_the_server_side)
{
  schannel_stream_t stream;
  const connect_params_t params = loopback_params(0);
  EXPECT_FALSE(stream.listen(params));
  EXPECT_STREQ(stream.error_text(), "Server functionality not implemented for Secure Channel");
  EXPECT_FALSE(stream.accept(&stream));
  EXPECT_FALSE(stream.server_hook());
  EXPECT_STREQ(stream.error_key(), "server_unimplemented");
}

TEST(tls_stream, an_unopened_stream_carries_nothing)
{
  schannel_stream_t stream;
  EXPECT_STREQ(stream.error_text(), "");
  EXPECT_FALSE(stream.set_progress_callback(0, [](uint8_t, uint64_t, uint64_t, void *) { return 0; }, nullptr));
  char c;
  EXPECT_EQ(stream.read(&c, 1), -1);
  EXPECT_EQ(stream.write("x", 1), -1);
  EXPECT_EQ(stream.wait_readable(0), -1);
  EXPECT_STREQ(stream.error_text(), "TLS: Connection closed by peer");
  qstring address;
  EXPECT_FALSE(stream.peer_address(&address, false));
  EXPECT_STREQ(stream.error_key(), "irs");
  EXPECT_STREQ(stream.error_text(), "TLS: Unknown error: irs: 0");
  stream.close(-1);
}

TEST_F(tls_stream_test, fails_handshakes_with_broken_servers)
{
  const struct
  {
    const char *name;
    std::function<void(int fd)> server;
    const char *key;
    std::string text;
  } cases[] = {
    {"answers in plain HTTP",
     [](int fd) {
       receive_record(fd);
       send_all(fd, "HTTP/1.1 400 Bad Request\r\n\r\n");
       receive_until_closed(fd);
     },
     "InitializeSecurityContext[2]", "InitializeSecurityContext[2]: wrong version number"},
    {"announces a record larger than allowed",
     [](int fd) {
       receive_record(fd);
       send_all(fd, std::string("\x16\x03\x03\xFF\xFF", 5) + std::string(1000, 'x'));
       receive_until_closed(fd);
     },
     "InitializeSecurityContext[2]", "InitializeSecurityContext[2]: encrypted length too long"},
    {"closes without answering", receive_record, "irs", "recv: Connection closed by peer"},
    {"closes in the middle of a record",
     [](int fd) {
       receive_record(fd);
       send_all(fd, std::string("\x16\x03\x03\x01\x00", 5) + std::string(100, 'x'));
     },
     "irs", "recv: Connection closed by peer"},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    loopback_server_t server(c.server);
    schannel_stream_t stream;
    EXPECT_FALSE(stream.open(loopback_params(server.port())));
    EXPECT_STREQ(stream.error_key(), c.key);
    EXPECT_EQ(stream.error_text(), c.text);
    stream.close(-1);
  }
}

TEST_F(tls_stream_test, bounds_the_handshake_by_the_reply_time_out)
{
  env_guard_t timeout("ARKIVE_RECV_TIMEOUT_SECS", "1");
  EXPECT_EQ(tls_handshake_timeout_ms(), 1000);
  loopback_server_t silent([](int fd) { receive_until_closed(fd); });
  schannel_stream_t stream;
  EXPECT_FALSE(stream.open(loopback_params(silent.port())));
  EXPECT_STREQ(stream.error_key(), "irs");
  EXPECT_EQ(stream.error_code(), stream_timeout_code);
  EXPECT_EQ(stream.error_text(), stream_error_text("select", stream_timeout_code));
  stream.close(-1);
}

TEST(tls_stream, takes_the_handshake_time_out_from_the_environment)
{
  const struct
  {
    const char *value;
    int expected;
  } cases[] = {
    {nullptr, 60000}, {"30", 30000}, {"-1", -1000}, {"0", 60000}, {"-5", 60000}, {"ten", 60000}, {"", 60000},
    {"99999999999", 60000},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.value != nullptr ? c.value : "unset");
    env_guard_t set("ARKIVE_RECV_TIMEOUT_SECS", c.value);
    EXPECT_EQ(tls_handshake_timeout_ms(), c.expected);
  }
}

TEST_F(tls_stream_test, reports_broken_input_after_the_handshake)
{
  const struct
  {
    const char *name;
    std::function<void(tls_peer_t &)> server;
    const char *key;
    int32_t code;
    std::string text;
  } cases[] = {
    {"close notify", [](tls_peer_t &peer) { peer.send_raw(peer.close_notify()); }, "connection_closed_by_peer", 0,
     "TLS: Connection closed by peer"},
    {"closes in the middle of a record",
     [](tls_peer_t &peer) {
       peer_bytes_t record = peer.seal("cut short");
       record.resize(record.size() / 2);
       peer.send_raw(record);
     },
     "irs", 0, "recv: Connection closed by peer"},
    {"a record larger than allowed",
     [](tls_peer_t &peer) {
       peer.send_raw({23, 3, 3, 0xFF, 0xFF});
       peer.read(1);
     },
     "DecryptMessage", -1, "DecryptMessage: encrypted length too long"},
    {"garbage", [](tls_peer_t &peer) { send_all(peer.fd(), "garbage!"); peer.read(1); }, "DecryptMessage", -1,
     "DecryptMessage: wrong version number"},
    {"altered record",
     [](tls_peer_t &peer) {
       peer_bytes_t record = peer.seal("genuine");
       record[record.size() - 3] ^= 0x10;
       peer.send_raw(record);
       peer.read(1);
     },
     "DecryptMessage", -1, "DecryptMessage: decryption failed or bad record mac"},
    {"renegotiation", [](tls_peer_t &peer) { peer.send_raw(peer.renegotiation_request()); peer.read(1); },
     "renegotiation", 0, "TLS: Renegotiation requested"},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    const test_identity_t leaf = signed_by_root();
    tls_test_server_t server(leaf, {}, c.server);
    schannel_stream_t stream;
    ASSERT_TRUE(open(stream, server.port()));
    EXPECT_EQ(stream.wait_readable(5000), -1);
    EXPECT_STREQ(stream.error_key(), c.key);
    if ( c.code >= 0 )
    {
      EXPECT_EQ(stream.error_code(), c.code);
    }
    EXPECT_EQ(stream.error_text(), c.text);
    stream.close(-1);
  }
}

TEST_F(tls_stream_test, times_out_waiting_for_a_record)
{
  const test_identity_t leaf = signed_by_root();
  tls_test_server_t server(leaf, {}, [](tls_peer_t &peer) { peer.read(1); });
  schannel_stream_t stream;
  ASSERT_TRUE(open(stream, server.port()));
  for ( const int timeout : {0, 150} )
  {
    SCOPED_TRACE(timeout);
    EXPECT_EQ(stream.wait_readable(timeout), -1);
    EXPECT_STREQ(stream.error_key(), "irs");
    EXPECT_EQ(stream.error_code(), stream_timeout_code);
  }
  EXPECT_EQ(stream.write("x", 1), 1) << "a time-out does not end the session";
  stream.close(-1);
}

TEST_F(tls_stream_test, waits_for_a_record_that_arrives_in_pieces)
{
  const test_identity_t leaf = signed_by_root();
  tls_test_server_t server(leaf, {}, [](tls_peer_t &peer) {
    const peer_bytes_t record = peer.seal(std::string(3000, 'p'));
    const auto half = long(record.size() / 2);
    peer.send_raw({record.begin(), record.begin() + half});
    pause_ms(1200);
    peer.send_raw({record.begin() + half, record.end()});
    peer.read(1);
  });
  schannel_stream_t stream;
  ASSERT_TRUE(open(stream, server.port()));
  ASSERT_GT(stream.wait_readable(5000), 0) << stream.error_text();
  std::string text(3000, '\0');
  EXPECT_EQ(stream_read_exact(&stream, text.data(), text.size(), 0), text.size());
  EXPECT_EQ(text, std::string(3000, 'p'));
  stream.close(-1);
}

TEST_F(tls_stream_test, hands_out_records_that_came_together_one_by_one)
{
  const test_identity_t leaf = signed_by_root();
  tls_test_server_t server(leaf, {}, [](tls_peer_t &peer) {
    peer_bytes_t both = peer.seal(std::string(100, 'a'));
    const peer_bytes_t second = peer.seal("second");
    both.insert(both.end(), second.begin(), second.end());
    peer.send_raw(both);
    peer.read(1);
  });
  schannel_stream_t stream;
  ASSERT_TRUE(open(stream, server.port()));
  ASSERT_GT(stream.wait_readable(5000), 0);
  char buffer[200];
  EXPECT_EQ(stream.read(buffer, 10), 10) << "ten of a hundred";
  EXPECT_EQ(stream.read(buffer, sizeof(buffer)), 90) << "the other ninety, without a wait";
  EXPECT_EQ(std::string(buffer, 90), std::string(90, 'a'));
  // The second record came with the first: it is decrypted without waiting for the socket.
  EXPECT_GT(stream.wait_readable(0), 0);
  EXPECT_EQ(stream.read(buffer, sizeof(buffer)), 6);
  EXPECT_EQ(std::string(buffer, 6), "second");
  EXPECT_EQ(stream.wait_readable(0), -1);
  stream.close(-1);
}

TEST_F(tls_stream_test, closes_with_close_notify)
{
  const test_identity_t leaf = signed_by_root();
  bool notified = false;
  {
    tls_test_server_t server(leaf, {}, [&](tls_peer_t &peer) { notified = peer.read_close_notify(); });
    socket_stream_t *stream = make_socket_stream(true);
    ASSERT_TRUE(stream->open(loopback_params(server.port()))) << stream->error_text();
    destroy_socket_stream(stream, 2);
    EXPECT_EQ(stream, nullptr);
  }
  EXPECT_TRUE(notified);
}

TEST_F(tls_stream_test, forwards_progress_to_the_inner_stream)
{
  const test_identity_t leaf = signed_by_root();
  tls_test_server_t server(leaf, {}, [](tls_peer_t &peer) { peer.read(1); });
  schannel_stream_t stream;
  ASSERT_TRUE(open(stream, server.port()));
  int calls = 0;
  const auto cancel_second = [](uint8_t, uint64_t, uint64_t, void *user_data) {
    return ++*static_cast<int *>(user_data) == 2 ? progress_cancel : 0;
  };
  ASSERT_TRUE(stream.set_progress_callback(5, cancel_second, &calls));
  {
    progress_scope_t scope(&stream, 1, 10);
    EXPECT_EQ(stream.wait_readable(-1), -1);
  }
  EXPECT_EQ(calls, 2);
  EXPECT_STREQ(stream.error_key(), "irs");
  EXPECT_EQ(stream.error_code(), stream_cancelled_code);
  stream.close(-1);
}
} // namespace

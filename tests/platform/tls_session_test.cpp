// Tests of the TLS client session against an in-memory OpenSSL server: handshake, record framing, records both
// ways, close notify, and refusal of broken input.
#include "platform/tls_session.h"

#include "tests/support/test_certificates.h"

#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <functional>
#include <string>
#include <vector>

namespace
{
using bytes_t = std::vector<uint8_t>;

// A TLS 1.2 server over memory buffers, driven by the test.
class memory_server_t
{
public:
  explicit memory_server_t(const test_identity_t &identity)
  {
    context_ = SSL_CTX_new(TLS_server_method());
    SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(context_, TLS1_2_VERSION);
    SSL_CTX_use_certificate(context_, identity.cert.get());
    SSL_CTX_use_PrivateKey(context_, identity.key.get());
    ssl_ = SSL_new(context_);
    in_ = BIO_new(BIO_s_mem());
    out_ = BIO_new(BIO_s_mem());
    BIO_set_mem_eof_return(in_, -1);
    SSL_set_bio(ssl_, in_, out_);
    SSL_set_accept_state(ssl_);
  }
  ~memory_server_t()
  {
    SSL_free(ssl_);
    SSL_CTX_free(context_);
  }
  memory_server_t(const memory_server_t &) = delete;
  memory_server_t &operator=(const memory_server_t &) = delete;

  void feed(std::span<const uint8_t> data) { BIO_write(in_, data.data(), int(data.size())); }
  void step() { SSL_do_handshake(ssl_); }
  bool done() const { return SSL_is_init_finished(ssl_) != 0; }
  bytes_t take()
  {
    bytes_t data(size_t(BIO_ctrl_pending(out_)));
    if ( !data.empty() )
      BIO_read(out_, data.data(), int(data.size()));
    return data;
  }
  bytes_t write(const std::string &text)
  {
    SSL_write(ssl_, text.data(), int(text.size()));
    return take();
  }
  std::string read()
  {
    std::string text;
    char chunk[4096];
    int n;
    while ( (n = SSL_read(ssl_, chunk, sizeof(chunk))) > 0 )
      text.append(chunk, size_t(n));
    return text;
  }
  int read_error()
  {
    char chunk[16];
    return SSL_get_error(ssl_, SSL_read(ssl_, chunk, sizeof(chunk)));
  }
  bytes_t shutdown()
  {
    SSL_shutdown(ssl_);
    return take();
  }

private:
  SSL_CTX *context_ = nullptr;
  SSL *ssl_ = nullptr;
  BIO *in_ = nullptr;
  BIO *out_ = nullptr;
};

void append(bytes_t &to, std::span<const uint8_t> data)
{
  to.insert(to.end(), data.begin(), data.end());
}

// Runs the handshake between the two; the bytes the client received but did not use are left in `extra`.
testing::AssertionResult handshake(tls_client_session_t &client, memory_server_t &server, bytes_t &extra)
{
  if ( client.begin_handshake() != tls_status_t::continue_needed )
    return testing::AssertionFailure() << "client hello";
  bytes_t to_server(client.output().begin(), client.output().end());
  for ( int round = 0; round < 10; ++round )
  {
    server.feed(to_server);
    to_server.clear();
    server.step();
    append(extra, server.take());
    while ( !extra.empty() )
    {
      size_t used = 0;
      const tls_status_t status = client.continue_handshake(extra.data(), extra.size(), used);
      extra.erase(extra.begin(), extra.begin() + long(used));
      append(to_server, client.output());
      if ( status == tls_status_t::ok )
      {
        server.feed(to_server);
        return server.done() ? testing::AssertionSuccess() : testing::AssertionFailure() << "server not done";
      }
      if ( status == tls_status_t::incomplete )
        break;
      if ( status != tls_status_t::continue_needed )
        return testing::AssertionFailure() << "client step failed: "
                                           << tls_client_session_t::error_text(client.error_code());
    }
  }
  return testing::AssertionFailure() << "handshake did not end";
}

class tls_session_test : public testing::Test
{
protected:
  void SetUp() override
  {
    const std::vector<unsigned char> anchor = certificate_der(root_.cert.get());
    ASSERT_EQ(client_.start(anchor.data(), anchor.size()), tls_start_t::ok);
    bytes_t extra;
    ASSERT_TRUE(handshake(client_, server_, extra));
    ASSERT_TRUE(extra.empty());
  }

  // Decrypts the first record of `records`, removing it.
  tls_status_t decrypt(bytes_t &records, std::string &plaintext)
  {
    uint8_t buffer[tls_client_session_t::max_record_plaintext];
    size_t used = 0;
    size_t produced = 0;
    const tls_status_t status = client_.decrypt_record(records.data(), records.size(), used, buffer, produced);
    records.erase(records.begin(), records.begin() + long(used));
    plaintext.assign(reinterpret_cast<const char *>(buffer), produced);
    return status;
  }

  test_identity_t root_ = make_test_root("session test root");
  test_identity_t leaf_ = make_test_certificate(&root_, {});
  memory_server_t server_{leaf_};
  tls_client_session_t client_;
};

TEST_F(tls_session_test, carries_records_both_ways)
{
  const std::string big(tls_client_session_t::max_record_plaintext, 'x');
  for ( const std::string &text : {std::string("hello"), big} )
  {
    ASSERT_TRUE(client_.encrypt_record(reinterpret_cast<const uint8_t *>(text.data()), text.size()));
    server_.feed(client_.output());
    EXPECT_EQ(server_.read(), text);

    bytes_t records = server_.write(text);
    std::string plaintext;
    EXPECT_EQ(decrypt(records, plaintext), tls_status_t::ok);
    EXPECT_EQ(plaintext, text);
    EXPECT_TRUE(records.empty());
    EXPECT_TRUE(client_.output().empty());
  }
  const std::string too_big(tls_client_session_t::max_record_plaintext + 1, 'x');
  EXPECT_FALSE(client_.encrypt_record(reinterpret_cast<const uint8_t *>(too_big.data()), too_big.size()));
}

TEST_F(tls_session_test, takes_one_record_at_a_time)
{
  bytes_t records = server_.write("first");
  append(records, server_.write("second"));
  std::string plaintext;
  ASSERT_EQ(decrypt(records, plaintext), tls_status_t::ok);
  EXPECT_EQ(plaintext, "first");
  ASSERT_FALSE(records.empty());
  ASSERT_EQ(decrypt(records, plaintext), tls_status_t::ok);
  EXPECT_EQ(plaintext, "second");
  EXPECT_TRUE(records.empty());
}

TEST_F(tls_session_test, waits_for_whole_records)
{
  const bytes_t record = server_.write("a record in pieces");
  const struct
  {
    const char *name;
    size_t have;
    size_t missing;
  } cases[] = {
    {"nothing", 0, 5},
    {"part of the header", 3, 2},
    {"header only", 5, record.size() - 5},
    {"all but one byte", record.size() - 1, 1},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    bytes_t part(record.begin(), record.begin() + long(c.have));
    std::string plaintext;
    EXPECT_EQ(decrypt(part, plaintext), tls_status_t::incomplete);
    EXPECT_EQ(client_.missing(), c.missing);
    EXPECT_EQ(part.size(), c.have) << "an incomplete record is not used";
  }
  bytes_t whole = record;
  std::string plaintext;
  EXPECT_EQ(decrypt(whole, plaintext), tls_status_t::ok);
  EXPECT_EQ(plaintext, "a record in pieces");
}

TEST(tls_session, refuses_broken_records)
{
  using input_t = std::function<bytes_t(memory_server_t &)>;
  const auto fixed = [](bytes_t bytes) { return input_t([bytes](memory_server_t &) { return bytes; }); };
  const struct
  {
    const char *name;
    input_t input;
    tls_status_t status;
    const char *text;
  } cases[] = {
    {"not a TLS version", fixed({23, 2, 0, 0, 1, 0}), tls_status_t::failed, "wrong version number"},
    {"unknown record type", fixed({99, 3, 3, 0, 1, 0}), tls_status_t::failed, "unexpected record"},
    {"longer than allowed", fixed({23, 3, 3, 0xFF, 0xFF}), tls_status_t::failed, "encrypted length too long"},
    {"plain text", fixed({'G', 'E', 'T', ' ', '/', ' '}), tls_status_t::failed, "wrong version number"},
    {"renegotiation", fixed({22, 3, 3, 0, 4, 0, 0, 0, 0}), tls_status_t::renegotiate, nullptr},
    {"altered ciphertext",
     [](memory_server_t &server) {
       bytes_t record = server.write("genuine");
       record.back() ^= 0x40;
       return record;
     },
     tls_status_t::failed, "decryption failed or bad record mac"},
  };
  const test_identity_t root = make_test_root("broken records root");
  const test_identity_t leaf = make_test_certificate(&root, {});
  const std::vector<unsigned char> anchor = certificate_der(root.cert.get());
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    tls_client_session_t client;
    memory_server_t server(leaf);
    ASSERT_EQ(client.start(anchor.data(), anchor.size()), tls_start_t::ok);
    bytes_t extra;
    ASSERT_TRUE(handshake(client, server, extra));
    bytes_t input = c.input(server);
    uint8_t buffer[tls_client_session_t::max_record_plaintext];
    size_t used = 0;
    size_t produced = 0;
    EXPECT_EQ(client.decrypt_record(input.data(), input.size(), used, buffer, produced), c.status);
    EXPECT_EQ(produced, 0u);
    if ( c.text != nullptr )
    {
      EXPECT_EQ(tls_client_session_t::error_text(client.error_code()), c.text);
    }
  }
}

TEST_F(tls_session_test, reports_close_notify_both_ways)
{
  bytes_t alert = server_.shutdown();
  std::string plaintext;
  EXPECT_EQ(decrypt(alert, plaintext), tls_status_t::closed);

  ASSERT_TRUE(client_.close_notify());
  ASSERT_FALSE(client_.output().empty());
  server_.feed(client_.output());
  EXPECT_EQ(server_.read_error(), SSL_ERROR_ZERO_RETURN);
}

TEST(tls_session, refuses_an_anchor_that_is_no_certificate)
{
  const uint8_t junk[] = {0x30, 0x03, 0x02, 0x01, 0x05};
  tls_client_session_t client;
  EXPECT_EQ(client.start(junk, sizeof(junk)), tls_start_t::bad_anchor);
  tls_client_session_t without;
  EXPECT_EQ(without.start(nullptr, 0), tls_start_t::bad_anchor);
}

TEST(tls_session, fails_a_handshake_answered_with_garbage)
{
  const test_identity_t root = make_test_root("garbage test root");
  const std::vector<unsigned char> anchor = certificate_der(root.cert.get());
  tls_client_session_t client;
  ASSERT_EQ(client.start(anchor.data(), anchor.size()), tls_start_t::ok);
  ASSERT_EQ(client.begin_handshake(), tls_status_t::continue_needed);
  EXPECT_FALSE(client.output().empty());
  const std::string reply = "HTTP/1.1 400 Bad Request\r\n\r\n";
  size_t used = 0;
  EXPECT_EQ(client.continue_handshake(reinterpret_cast<const uint8_t *>(reply.data()), reply.size(), used),
            tls_status_t::failed);
  EXPECT_NE(client.error_code(), 0);
}
} // namespace

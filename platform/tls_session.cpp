// TLS 1.2 client session on OpenSSL 3 through memory BIOs.
#include "platform/tls_session.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <openssl/x509_vfy.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

// Ephemeral key exchange and authenticated strong ciphers only.
static const char client_ciphers[] = "HIGH:!aNULL:!kRSA:!PSK:!SRP:!MD5:!RC4";

// The one BIO of a session moves bytes between the library and the caller without copies of its own making:
// the library reads the caller's record in place (an exhausted input means "more to come", never end of
// stream) and appends what it wants sent to the output, which the caller takes after each step.
struct tls_client_session_t::io_t
{
  std::span<const uint8_t> input;
  std::vector<uint8_t> output;
};

namespace
{
using io_t = tls_client_session_t::io_t;

int io_read(BIO *bio, char *out, size_t n, size_t *read)
{
  io_t *io = static_cast<io_t *>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  if ( io->input.empty() )
  {
    BIO_set_retry_read(bio);
    *read = 0;
    return 0;
  }
  const size_t k = std::min(n, io->input.size());
  std::memcpy(out, io->input.data(), k);
  io->input = io->input.subspan(k);
  *read = k;
  return 1;
}

int io_write(BIO *bio, const char *data, size_t n, size_t *written)
{
  io_t *io = static_cast<io_t *>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  try
  {
    const auto *bytes = reinterpret_cast<const uint8_t *>(data); // same type as the vector's: one block copy
    io->output.insert(io->output.end(), bytes, bytes + n);
  }
  catch ( const std::bad_alloc & )
  {
    // No exception may cross the library's frames: the library sees a failed write instead.
    *written = 0;
    return 0;
  }
  *written = n;
  return 1;
}

long io_ctrl(BIO *bio, int command, long, void *)
{
  switch ( command )
  {
    case BIO_CTRL_PENDING:
      return long(static_cast<io_t *>(BIO_get_data(bio))->input.size());
    case BIO_CTRL_FLUSH:
      return 1;
    default:
      return 0;
  }
}

int io_create(BIO *bio)
{
  BIO_set_init(bio, 1);
  return 1;
}

// Made once and never changed afterwards; null when the library could not make it.
const BIO_METHOD *io_method()
{
  static const BIO_METHOD *const method = [] {
    BIO_METHOD *m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "akui session io");
    if ( m != nullptr
      && (BIO_meth_set_read_ex(m, io_read) != 1 || BIO_meth_set_write_ex(m, io_write) != 1
          || BIO_meth_set_ctrl(m, io_ctrl) != 1 || BIO_meth_set_create(m, io_create) != 1) )
    {
      BIO_meth_free(m);
      m = nullptr;
    }
    return m;
  }();
  return method;
}
} // namespace

tls_client_session_t::tls_client_session_t() = default;

tls_client_session_t::~tls_client_session_t()
{
  SSL_free(ssl_); // frees both BIOs too
  SSL_CTX_free(context_);
  X509_STORE_free(anchors_);
}

tls_start_t tls_client_session_t::start(const uint8_t *anchor_der, size_t length)
{
  ERR_clear_error();
  const unsigned char *p = anchor_der;
  X509 *anchor = anchor_der != nullptr ? d2i_X509(nullptr, &p, long(length)) : nullptr;
  if ( anchor == nullptr )
  {
    fail();
    return tls_start_t::bad_anchor;
  }
  anchors_ = X509_STORE_new();
  const bool stored = anchors_ != nullptr && X509_STORE_add_cert(anchors_, anchor) == 1;
  X509_free(anchor);
  if ( !stored )
  {
    fail();
    return tls_start_t::failed;
  }

  context_ = SSL_CTX_new(TLS_client_method());
  if ( context_ == nullptr )
  {
    fail();
    return tls_start_t::failed;
  }
  if ( SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION) != 1
    || SSL_CTX_set_max_proto_version(context_, TLS1_2_VERSION) != 1 )
  {
    fail();
    return tls_start_t::no_tls12;
  }
  // The chain is checked after the handshake against the anchor alone (check_server_chain).
  SSL_CTX_set_verify(context_, SSL_VERIFY_NONE, nullptr);
  if ( SSL_CTX_set_cipher_list(context_, client_ciphers) != 1 )
  {
    fail();
    return tls_start_t::failed;
  }

  io_ = std::make_unique<io_t>();
  ssl_ = SSL_new(context_);
  BIO *bio = io_method() != nullptr ? BIO_new(io_method()) : nullptr;
  if ( ssl_ == nullptr || bio == nullptr )
  {
    BIO_free(bio);
    fail();
    return tls_start_t::failed;
  }
  BIO_set_data(bio, io_.get());
  SSL_set_bio(ssl_, bio, bio); // one reference serves both directions
  SSL_set_connect_state(ssl_);
  return tls_start_t::ok;
}

tls_status_t tls_client_session_t::frame_record(const uint8_t *in, size_t length, size_t &record_length)
{
  if ( length < SSL3_RT_HEADER_LENGTH )
  {
    missing_ = SSL3_RT_HEADER_LENGTH - length;
    return tls_status_t::incomplete;
  }
  const uint8_t type = in[0];
  const size_t body = size_t(in[3]) << 8 | in[4];
  // Judged from the header alone, so a peer that announces a record it may not send is refused at once
  // instead of being waited for.
  if ( in[1] != SSL3_VERSION_MAJOR )
  {
    fail_with(SSL_R_WRONG_VERSION_NUMBER);
    return tls_status_t::failed;
  }
  if ( type < SSL3_RT_CHANGE_CIPHER_SPEC || type > SSL3_RT_APPLICATION_DATA )
  {
    fail_with(SSL_R_UNEXPECTED_RECORD);
    return tls_status_t::failed;
  }
  if ( body > SSL3_RT_MAX_ENCRYPTED_LENGTH )
  {
    fail_with(SSL_R_ENCRYPTED_LENGTH_TOO_LONG);
    return tls_status_t::failed;
  }
  record_length = SSL3_RT_HEADER_LENGTH + body;
  if ( length < record_length )
  {
    missing_ = record_length - length;
    return tls_status_t::incomplete;
  }
  missing_ = 0;
  return tls_status_t::ok;
}

void tls_client_session_t::reset_output()
{
  io_->output.clear();
}

tls_status_t tls_client_session_t::fail()
{
  // The last entry is the protocol's own reason; earlier ones are the library's steps towards it.
  const unsigned long code = ERR_peek_last_error();
  // An empty queue still must not read as success.
  error_code_ = code != 0 ? int(code) : int(ERR_PACK(ERR_LIB_SSL, 0, ERR_R_INTERNAL_ERROR));
  ERR_clear_error();
  return tls_status_t::failed;
}

void tls_client_session_t::fail_with(int reason)
{
  error_code_ = int(ERR_PACK(ERR_LIB_SSL, 0, reason));
}

tls_status_t tls_client_session_t::run_handshake()
{
  const int r = SSL_do_handshake(ssl_);
  if ( r == 1 )
  {
    handshake_done_ = true;
    return tls_status_t::ok;
  }
  if ( SSL_get_error(ssl_, r) == SSL_ERROR_WANT_READ )
    return tls_status_t::continue_needed;
  return fail();
}

tls_status_t tls_client_session_t::begin_handshake()
{
  ERR_clear_error();
  reset_output();
  return run_handshake();
}

tls_status_t tls_client_session_t::continue_handshake(const uint8_t *in, size_t length, size_t &used)
{
  ERR_clear_error();
  reset_output();
  used = 0;
  size_t record = 0;
  if ( const tls_status_t framed = frame_record(in, length, record); framed != tls_status_t::ok )
    return framed;
  used = record;
  io_->input = {in, record};
  const tls_status_t status = run_handshake();
  io_->input = {};
  return status;
}

tls_status_t tls_client_session_t::decrypt_record(const uint8_t *in, size_t length, size_t &used,
                                                  uint8_t *plaintext, size_t &produced)
{
  ERR_clear_error();
  used = 0;
  produced = 0;
  size_t record = 0;
  if ( const tls_status_t framed = frame_record(in, length, record); framed != tls_status_t::ok )
    return framed;
  used = record;
  if ( in[0] == SSL3_RT_HANDSHAKE )
    return tls_status_t::renegotiate;
  io_->input = {in, record};
  const int r = SSL_read_ex(ssl_, plaintext, max_record_plaintext, &produced);
  io_->input = {};
  // Whatever the library answers on its own (an alert) is not sent: the stream reports the outcome instead.
  reset_output();
  if ( r == 1 )
    return tls_status_t::ok;
  switch ( SSL_get_error(ssl_, r) )
  {
    case SSL_ERROR_WANT_READ: // a record without application data, such as a warning alert
      return tls_status_t::ok;
    case SSL_ERROR_ZERO_RETURN:
      return tls_status_t::closed;
    default:
      return fail();
  }
}

bool tls_client_session_t::encrypt_record(const uint8_t *data, size_t length)
{
  ERR_clear_error();
  reset_output();
  size_t written = 0;
  if ( length > max_record_plaintext || SSL_write_ex(ssl_, data, length, &written) != 1 || written != length )
  {
    fail();
    return false;
  }
  return true;
}

bool tls_client_session_t::close_notify()
{
  ERR_clear_error();
  reset_output();
  if ( SSL_shutdown(ssl_) < 0 )
  {
    fail();
    return false;
  }
  return true;
}

std::span<const uint8_t> tls_client_session_t::output() const
{
  if ( io_ == nullptr )
    return {};
  return io_->output;
}

namespace
{
// What the chain check met on its way; the check goes on past each problem so that all of them are seen.
struct chain_problems_t
{
  bool time = false;
  bool other = false;
};

int note_chain_problem(int ok, X509_STORE_CTX *ctx)
{
  if ( ok == 0 )
  {
    auto *problems = static_cast<chain_problems_t *>(X509_STORE_CTX_get_app_data(ctx));
    const int error = X509_STORE_CTX_get_error(ctx);
    if ( error == X509_V_ERR_CERT_HAS_EXPIRED || error == X509_V_ERR_CERT_NOT_YET_VALID )
      problems->time = true;
    else
      problems->other = true;
  }
  return 1;
}
} // namespace

tls_chain_check_t tls_client_session_t::check_server_chain()
{
  ERR_clear_error();
  X509 *leaf = SSL_get0_peer_certificate(ssl_);
  if ( leaf == nullptr )
    return tls_chain_check_t::no_certificate;
  X509_STORE_CTX *ctx = X509_STORE_CTX_new();
  // On the client side the presented chain holds the leaf and whatever intermediates the server sent.
  if ( ctx == nullptr || X509_STORE_CTX_init(ctx, anchors_, leaf, SSL_get_peer_cert_chain(ssl_)) != 1 )
  {
    X509_STORE_CTX_free(ctx);
    fail();
    return tls_chain_check_t::failed;
  }
  // The leaf must be one issued for servers: a certificate made only for clients proves nothing here.
  if ( X509_STORE_CTX_set_purpose(ctx, X509_PURPOSE_SSL_SERVER) != 1 )
  {
    X509_STORE_CTX_free(ctx);
    fail();
    return tls_chain_check_t::failed;
  }
  chain_problems_t problems;
  X509_STORE_CTX_set_app_data(ctx, &problems);
  X509_STORE_CTX_set_verify_cb(ctx, note_chain_problem);
  const int verified = X509_verify_cert(ctx);
  X509_STORE_CTX_free(ctx);
  if ( problems.time )
    return tls_chain_check_t::not_time_valid;
  if ( problems.other )
    return tls_chain_check_t::untrusted;
  if ( verified != 1 )
  {
    fail();
    return tls_chain_check_t::failed;
  }
  return tls_chain_check_t::trusted;
}

std::string tls_client_session_t::server_common_name() const
{
  X509 *leaf = ssl_ != nullptr ? SSL_get0_peer_certificate(ssl_) : nullptr;
  const X509_NAME *subject = leaf != nullptr ? X509_get_subject_name(leaf) : nullptr;
  const int index = subject != nullptr ? X509_NAME_get_index_by_NID(subject, NID_commonName, -1) : -1;
  if ( index < 0 )
    return {};
  unsigned char *text = nullptr;
  const int n = ASN1_STRING_to_UTF8(&text, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index)));
  if ( n < 0 )
    return {};
  std::string name(reinterpret_cast<const char *>(text), strnlen(reinterpret_cast<const char *>(text), size_t(n)));
  OPENSSL_free(text);
  return name;
}

std::string tls_client_session_t::error_text(int code)
{
  const unsigned long e = static_cast<unsigned int>(code);
  if ( const char *reason = ERR_reason_error_string(e) )
    return reason;
  char text[256];
  ERR_error_string_n(e, text, sizeof(text));
  return text;
}

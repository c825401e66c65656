// The test server's TLS side: a server certificate signed by the build's root CA and the TLS 1.2 context.
#include "tests/server/server_tls.h"

#include "test_root_ca.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace {

struct file_closer_t
{
  void operator()(FILE *f) const { std::fclose(f); }
};
struct x509_free_t
{
  void operator()(X509 *cert) const { X509_free(cert); }
};
struct pkey_free_t
{
  void operator()(EVP_PKEY *key) const { EVP_PKEY_free(key); }
};
using x509_ptr = std::unique_ptr<X509, x509_free_t>;
using pkey_ptr = std::unique_ptr<EVP_PKEY, pkey_free_t>;

std::string library_error(const char *step)
{
  char text[256];
  ERR_error_string_n(ERR_get_error(), text, sizeof(text));
  return std::string(step) + ": " + text;
}

// A certificate for key, issued by the root, valid from yesterday for 30 days.
x509_ptr make_server_certificate(EVP_PKEY *key, X509 *root, EVP_PKEY *root_key)
{
  x509_ptr cert(X509_new());
  if ( cert == nullptr )
    return nullptr;
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), long(std::random_device()() & 0x7FFFFFFF));
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -24L * 3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 30L * 24 * 3600);
  X509_NAME *name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>("arkive test server"),
                             -1, -1, 0);
  X509_set_issuer_name(cert.get(), X509_get_subject_name(root));
  X509_set_pubkey(cert.get(), key);
  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, root, cert.get(), nullptr, nullptr, 0);
  if ( X509_EXTENSION *ext = X509V3_EXT_conf_nid(nullptr, &ctx, NID_basic_constraints, "critical,CA:FALSE") )
  {
    X509_add_ext(cert.get(), ext, -1);
    X509_EXTENSION_free(ext);
  }
  if ( X509_sign(cert.get(), root_key, EVP_sha256()) == 0 )
    return nullptr;
  return cert;
}

}  // namespace

std::unique_ptr<server_tls_identity_t> server_tls_identity_t::create(const std::string &root_cert_path,
                                                                     const std::string &root_key_path,
                                                                     std::string *error)
{
  std::unique_ptr<FILE, file_closer_t> cert_file(std::fopen(root_cert_path.c_str(), "r"));
  if ( cert_file == nullptr )
  {
    *error = "cannot read the root CA certificate " + root_cert_path + ": " + std::strerror(errno);
    return nullptr;
  }
  if ( root_key_path.empty() )
  {
    *error = "no key is known for the root CA " + root_cert_path + ", so no server certificate can be signed";
    return nullptr;
  }
  std::unique_ptr<FILE, file_closer_t> key_file(std::fopen(root_key_path.c_str(), "r"));
  if ( key_file == nullptr )
  {
    *error = "cannot read the root CA key " + root_key_path + ": " + std::strerror(errno);
    return nullptr;
  }
  x509_ptr root(PEM_read_X509(cert_file.get(), nullptr, nullptr, nullptr));
  pkey_ptr root_key(PEM_read_PrivateKey(key_file.get(), nullptr, nullptr, nullptr));
  if ( root == nullptr || root_key == nullptr )
  {
    *error = library_error("reading the root CA");
    return nullptr;
  }
  pkey_ptr key(EVP_EC_gen("P-256"));
  if ( key == nullptr )
  {
    *error = library_error("making the server key");
    return nullptr;
  }
  x509_ptr cert = make_server_certificate(key.get(), root.get(), root_key.get());
  if ( cert == nullptr )
  {
    *error = library_error("signing the server certificate");
    return nullptr;
  }

  std::unique_ptr<server_tls_identity_t> identity(new server_tls_identity_t);
  identity->context_ = SSL_CTX_new(TLS_server_method());
  SSL_CTX *context = identity->context_;
  if ( context == nullptr || SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) != 1
       || SSL_CTX_set_max_proto_version(context, TLS1_2_VERSION) != 1
       || SSL_CTX_use_certificate(context, cert.get()) != 1 || SSL_CTX_use_PrivateKey(context, key.get()) != 1 )
  {
    *error = library_error("making the TLS context");
    return nullptr;
  }
  return identity;
}

std::unique_ptr<server_tls_identity_t> server_tls_identity_t::create_from_build_root(std::string *error)
{
  const std::string key = AKUI_TEST_ROOT_CA_KEY;
  auto identity = create(AKUI_TEST_ROOT_CA_CERT, key, error);
  if ( identity == nullptr && key.empty() )
    *error += " (this build was given its own root CA with AKUI_ROOT_CA, whose key it does not hold)";
  return identity;
}

server_tls_identity_t::~server_tls_identity_t()
{
  SSL_CTX_free(context_);
}

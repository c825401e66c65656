// Run-time certificate factory for TLS tests, on the OpenSSL API.
#include "tests/support/test_certificates.h"

#include "test_root_ca.h"

#include <openssl/bio.h>
#include <openssl/ec.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <cstdio>
#include <stdexcept>

namespace
{
void check(bool ok, const char *what)
{
  if ( !ok )
    throw std::runtime_error(std::string("test certificate: ") + what);
}

void add_extension(X509 *cert, X509 *issuer, int nid, const char *value)
{
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION *ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  check(ext != nullptr && X509_add_ext(cert, ext, -1) == 1, "extension");
  X509_EXTENSION_free(ext);
}

long next_serial()
{
  static std::atomic<long> serial{1000};
  return ++serial;
}
} // namespace

pkey_ptr make_test_key()
{
  pkey_ptr key(EVP_EC_gen("P-256"));
  check(key != nullptr, "key");
  return key;
}

test_identity_t make_test_certificate(const test_identity_t *issuer, const certificate_options_t &options)
{
  test_identity_t made{x509_ptr(X509_new()), make_test_key()};
  X509 *cert = made.cert.get();
  check(cert != nullptr, "new");
  check(X509_set_version(cert, X509_VERSION_3) == 1, "version");
  check(ASN1_INTEGER_set(X509_get_serialNumber(cert), next_serial()) == 1, "serial");
  check(X509_gmtime_adj(X509_getm_notBefore(cert), options.valid_from_days * 86400) != nullptr, "not before");
  check(X509_gmtime_adj(X509_getm_notAfter(cert), options.valid_until_days * 86400) != nullptr, "not after");
  X509_NAME *name = X509_get_subject_name(cert);
  check(X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char *>("akui tests"),
                                   -1, -1, 0) == 1, "organisation");
  if ( !options.common_name.empty() )
    check(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                     reinterpret_cast<const unsigned char *>(options.common_name.data()),
                                     int(options.common_name.size()), -1, 0) == 1, "common name");
  X509 *signer_cert = issuer != nullptr ? issuer->cert.get() : cert;
  EVP_PKEY *signer_key = issuer != nullptr ? issuer->key.get() : made.key.get();
  check(X509_set_issuer_name(cert, X509_get_subject_name(signer_cert)) == 1, "issuer");
  check(X509_set_pubkey(cert, made.key.get()) == 1, "public key");
  if ( options.ca )
  {
    add_extension(cert, signer_cert, NID_basic_constraints, "critical,CA:TRUE");
    add_extension(cert, signer_cert, NID_key_usage, "critical,keyCertSign,cRLSign");
  }
  else
  {
    add_extension(cert, signer_cert, NID_basic_constraints, "CA:FALSE");
  }
  if ( !options.extended_key_usage.empty() )
    add_extension(cert, signer_cert, NID_ext_key_usage, options.extended_key_usage.c_str());
  add_extension(cert, signer_cert, NID_subject_key_identifier, "hash");
  check(X509_sign(cert, signer_key, EVP_sha256()) > 0, "sign");

  if ( options.broken_signature )
  {
    // The signature value is the last field of the encoding: flip a bit of its last byte.
    std::vector<unsigned char> der = certificate_der(cert);
    der.back() ^= 0x01;
    const unsigned char *p = der.data();
    made.cert.reset(d2i_X509(nullptr, &p, long(der.size())));
    check(made.cert != nullptr, "re-read");
  }
  return made;
}

test_identity_t make_test_root(const std::string &common_name)
{
  certificate_options_t options;
  options.common_name = common_name;
  options.ca = true;
  options.valid_until_days = 3650;
  return make_test_certificate(nullptr, options);
}

test_identity_t load_build_root()
{
  test_identity_t root;
  if ( std::FILE *f = std::fopen(AKUI_TEST_ROOT_CA_CERT, "r") )
  {
    root.cert.reset(PEM_read_X509(f, nullptr, nullptr, nullptr));
    std::fclose(f);
  }
  if ( std::FILE *f = std::fopen(AKUI_TEST_ROOT_CA_KEY, "r") )
  {
    root.key.reset(PEM_read_PrivateKey(f, nullptr, nullptr, nullptr));
    std::fclose(f);
  }
  return root;
}

std::string certificate_pem(X509 *cert)
{
  BIO *bio = BIO_new(BIO_s_mem());
  check(bio != nullptr && PEM_write_bio_X509(bio, cert) == 1, "pem");
  char *data = nullptr;
  const long n = BIO_get_mem_data(bio, &data);
  std::string pem(data, size_t(n));
  BIO_free(bio);
  return pem;
}

std::vector<unsigned char> certificate_der(X509 *cert)
{
  const int n = i2d_X509(cert, nullptr);
  check(n > 0, "der");
  std::vector<unsigned char> der(static_cast<size_t>(n));
  unsigned char *p = der.data();
  i2d_X509(cert, &p);
  return der;
}

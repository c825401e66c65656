// Certificates made at run time for TLS tests: roots, intermediates and server certificates with chosen flaws.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>
#include <vector>

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

// A certificate with its private key.
struct test_identity_t
{
  x509_ptr cert;
  pkey_ptr key;
};

// What a made certificate looks like. Validity is in days relative to now.
struct certificate_options_t
{
  std::string common_name = "akui test server"; // empty: the subject has no common name at all
  long valid_from_days = -1;
  long valid_until_days = 30;
  bool ca = false;                // a CA certificate (basic constraints and key usage for signing)
  bool broken_signature = false;  // one bit of the signature flipped after signing
  std::string extended_key_usage; // e.g. "clientAuth"; empty: no extended key usage at all
};

// The root CA the build generated (its certificate and key); empty members when the build was given a root
// without its key.
test_identity_t load_build_root();

// A new EC P-256 key.
pkey_ptr make_test_key();

// A certificate for a new key, signed by the issuer, or self-signed when the issuer is null.
test_identity_t make_test_certificate(const test_identity_t *issuer, const certificate_options_t &options);

// A new self-signed root CA.
test_identity_t make_test_root(const std::string &common_name);

// The PEM text of a certificate.
std::string certificate_pem(X509 *cert);

// The DER bytes of a certificate.
std::vector<unsigned char> certificate_der(X509 *cert);

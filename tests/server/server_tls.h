// The test server's TLS side: a server certificate signed by the build's root CA and the TLS 1.2 context.
#pragma once

#include <memory>
#include <string>

struct ssl_ctx_st;

// A TLS 1.2 server context presenting a fresh certificate (EC P-256, common name "arkive test server", valid
// from yesterday for 30 days) signed by a root CA. Promise: a client that trusts only that root accepts it.
class server_tls_identity_t
{
public:
  // Loads the root's certificate and key (PEM files) and makes the server certificate. Null with *error
  // saying why when the key path is empty, a file cannot be read or the library refuses a step.
  static std::unique_ptr<server_tls_identity_t> create(const std::string &root_cert_path,
                                                       const std::string &root_key_path, std::string *error);
  // The build's own root CA; null when the build has no key for it (a build given its own root).
  static std::unique_ptr<server_tls_identity_t> create_from_build_root(std::string *error);
  ~server_tls_identity_t();
  server_tls_identity_t(const server_tls_identity_t &) = delete;
  server_tls_identity_t &operator=(const server_tls_identity_t &) = delete;

  ssl_ctx_st *context() const { return context_; }

private:
  server_tls_identity_t() = default;
  ssl_ctx_st *context_ = nullptr; // owned
};

// The connection factory: the connection settings of the process, opening a stream to the server, logging in,
// and testing a user and password.
#pragma once

#include "core/qstring.h"
#include "repo/arkive_connection.h"
#include "repo/login_credentials.h"

#include <memory>

class abstract_fs_t;

// The process-wide source of repository connections. Holds one set of credentials (at creation the defaults:
// the default host and port, everything else empty), which reset and configure replace. Its operations take
// no lock: the client calls them on one thread.
class arkive_connection_factory_t
{
public:
  // The process-wide factory: made on the first call (safe from any thread), never destroyed.
  static arkive_connection_factory_t *instance();

  virtual ~arkive_connection_factory_t() = default;

  // Takes a copy of the credentials, then applies the environment: ARKIVE_HOST replaces the host, ARKIVE_PORT
  // the port (a text that is not a port gives 0), ARKIVE_PROXY_CONN is parsed into the proxy endpoint; an
  // empty host becomes the default host and port 0 the default port. Always true; error is not written.
  virtual bool configure(qstring *error, const arkive_credentials_t &credentials) = 0;
  // The credentials become the defaults with an empty host and port 0. Always true; the arguments are unused.
  virtual bool reset(qstring *error, const arkive_credentials_t &credentials) = 0;
  // Opens a connection with the settings and logs in with user, password and the client text (the computer's
  // name). The logged-in connection, which works on fs (not owned), or null with the failure's text in *error.
  // The caller installs its failure handler and message sink. The last argument is ignored.
  virtual std::unique_ptr<rpc_arkive_connection_t> connect_and_login(qstring *error, const char *user,
                                                                     const char *password, abstract_fs_t *fs,
                                                                     const char *client, int reserved = 0) = 0;
  // Tests a user and password on a connection of its own, closed again at once: 0 with the user's record in
  // *user (when given), 33 when no stream could be opened, else the code of the refusal; the text in *error.
  virtual int check_credentials(qstring *error, user_info_t *user, const char *user_name, const char *password) = 0;
  // Opens the stream (TLS unless the credentials say credentials_no_tls; through the proxy with
  // credentials_use_proxy) and builds a connection that is not logged in; null with the stream's text.
  virtual std::unique_ptr<rpc_arkive_connection_t> open_connection(qstring *error) = 0;

  // The settings in force.
  virtual const arkive_credentials_t &credentials() const = 0;
};

// Applies the environment's connection settings to the credentials as configure does.
void apply_connection_environment(arkive_credentials_t *credentials);

// The parameters of a stream for the credentials: the server endpoint, and the proxy endpoint with
// credentials_use_proxy (its password read from the credential store when none is held).
connect_params_t connect_params_of(const arkive_credentials_t &credentials);

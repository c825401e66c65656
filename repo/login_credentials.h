// Logins to the repository server: endpoint texts, the credentials records with their command-line options,
// and saved logins in the registry with their passwords in the credential store.
#pragma once

#include "core/qstring.h"
#include "repo/socket_stream.h"

#include <cstdint>

class credential_validator_t;

// Where a login goes when nothing says otherwise.
extern const char default_arkive_host[];
inline constexpr uint16_t default_arkive_port = 65433;

// Bits of the credentials' flags.
inline constexpr uint32_t credentials_no_tls = 0x1;      // a plain TCP stream instead of TLS
inline constexpr uint32_t credentials_save = 0x200;      // the login is saved, its passwords in the store
inline constexpr uint32_t credentials_use_proxy = 0x400; // connect through the proxy endpoint

// Services of the credential store entries of a login.
inline constexpr const char arkstore_service[] = "arkstore";
inline constexpr const char arkstore_proxy_service[] = "arkstore_proxy";

// Endpoint texts: [user[:password]@]host[:port]. The host may be an IPv6 address, in brackets when a port
// follows ("[::1]:8080"); an unbracketed host with more than one ':' is an IPv6 address without a port.

// Fills the endpoint from its text. Without keep the endpoint is cleared first; with keep only the parts the
// text gives change. A user part must not be empty; a port is empty (port 0) or a decimal number from 1 to
// 65535, optionally followed by one "/" (as in a proxy URL). False for an empty text, more than one "@", more
// than one ":" in the user part, a bad port or a bad bracketed host; the endpoint is then cleared (without
// keep) or holds the user part already read (with keep).
bool parse_endpoint_string(endpoint_credentials_t *endpoint, const char *text, bool keep);
// Replaces *out by the login text (with_user: "user@host:port", without "user@" for an empty user) or the target
// text ("host:port"); an IPv6 host is written in brackets. Leaves *out unchanged when the host is empty or the
// port is 0.
void endpoint_to_string(const endpoint_credentials_t &endpoint, qstring *out, bool with_user);
// Host, port, user and password emptied.
void endpoint_clear(endpoint_credentials_t *endpoint);
// Copies host, port, user and password.
void endpoint_assign(endpoint_credentials_t *dst, const endpoint_credentials_t &src);
// Releases the endpoint's texts (it is then empty).
void free_endpoint_strings(endpoint_credentials_t *endpoint);

// A login: the server endpoint (this record's own host, port, user and password), the proxy endpoint and the
// flags. Passwords are kept in memory only when they came from an option, the environment or a configuration
// directive; they never reach a log or an error text.
struct login_credentials_t : endpoint_credentials_t
{
  login_credentials_t() = default;
  login_credentials_t(const login_credentials_t &) = default;
  login_credentials_t &operator=(const login_credentials_t &) = default;
  virtual ~login_credentials_t();

  // One command-line option, its letter right after "-" and its text after the letter: -h server endpoint
  // (parsed with keep; a text that does not parse is ignored), -u user, -p password, -P proxy endpoint (also
  // sets credentials_use_proxy). True when the option is one of these. An argument that does not begin with
  // "-" is internal error 2756.
  virtual bool parse_option(const char *argument);
  // Both endpoints cleared, flags 0.
  virtual void clear();
  // The stored passwords; a bare login has none: false.
  virtual bool read_password(qstring *out, qstring *error);
  virtual bool read_proxy_password(qstring *out, qstring *error);
  // Only a login with a site is saved (arkive_credentials_t): false.
  virtual bool save(qstring *error);

  endpoint_credentials_t proxy;
  uint32_t flags = 0;
};

// A login with the local site to select after it. Default-constructed: the default host and port, everything
// else empty. Every registry access below works under the application "akui" (selected for the call when
// another application is current, then restored).
struct arkive_credentials_t : login_credentials_t
{
  arkive_credentials_t();

  // -s site, else the options of login_credentials_t. An argument that does not begin with "-" is internal
  // error 2695.
  bool parse_option(const char *argument) override;
  void clear() override;
  // The server password from the credential store (service "arkstore"); when it is missing there, the
  // passwords still kept in the registry by older versions are moved into the store and it is read again.
  // False with the store's error text (when error is given).
  bool read_password(qstring *out, qstring *error) override;
  // The proxy password from the credential store (service "arkstore_proxy").
  bool read_proxy_password(qstring *out, qstring *error) override;
  // Saves the login: the registry values of the login and the non-empty passwords in the credential store.
  // False with "Invalid user name" or "Invalid host name" (no host, or port 0) for an incomplete login, or with
  // the store's text.
  bool save(qstring *error) override;

  // Reads the saved site of this login into site: true when one is saved. A login without a host or port has
  // no saved values, and these two touch nothing for it.
  bool load_default_site();
  // With a user, host and port: saves the site of this login, or removes the saved one for a null site.
  void save_default_site(const char *site_name);

  // Shows the Connect form, tries the login through the validator and saves or forgets it: 0 cancelled,
  // 1 accepted, 2 refused by the validator. Flags bit 0 suppresses the warning about a failed save; the text of
  // that failure also goes to *error when given.
  int run_connect_dialog(credential_validator_t *validator, qstring *error, int flags);

  qstring site;
};

// The registry key of the login: "ArkiveCredentials\" and the login text of the server endpoint.
void credentials_registry_key(const login_credentials_t &credentials, qstring *out);

// Fills the credentials from the saved login (or, without one, the http_proxy variable), the store flag and
// the environment (ARKIVE_HOST, ARKIVE_USER, ARKIVE_PASS, ARKIVE_SITE, ARKIVE_PROXY), each later source
// overriding the earlier.
void load_saved_credentials(arkive_credentials_t *credentials);

// Writes and reads "ArkiveStoreCredentials" at the application key (missing reads as false).
void set_store_credentials_flag(bool store);
bool get_store_credentials_flag();

// Forgets the saved login: its registry key (a login without a host or port has none; other logins are never
// touched), both store entries and, when it is the last saved login, the value "Default". True when the store entries and "Default" (when it named this login) were removed; else
// false with the store's text.
bool forget_saved_credentials(const login_credentials_t &credentials, qstring *error);

// Reads the secret of the login's user and target under the service into *out (its text up to the first zero
// byte). False with the store's text in *error (when given).
bool read_store_password(const login_credentials_t &credentials, qstring *out, qstring *error, const char *service);

// Moves every password that older versions kept in the registry ("Password" under a saved login) into the
// credential store, removing the registry value once it is stored. Failures are skipped silently.
void migrate_legacy_passwords();

// Login, connection and reconnection: building a logged-in connection from credentials, the Connect dialog's
// validator, the client's network-failure handler, the default site name, and the "logon" and "logoff" actions.
// The login sequence itself and the site switch are operations of the application (akui_app.h).
#pragma once

#include "core/qstring.h"
#include "repo/arkive_connection.h"
#include "repo/connect_form.h"

#include <memory>

class arkive_connection_factory_t;
struct arkive_credentials_t;
struct ui_action_activation_ctx_t;
struct ui_action_update_ctx_t;
class ui_action_t;

// Builds a logged-in connection from the credentials through the factory: the factory's settings are reset and
// configured from them, the connection works on the file system of the current directory (made on first use
// with the checksum cache and the application's message and progress sinks), and logs in with the credentials'
// password or, when they hold none, the stored one. Null with the reason in *error: settings the factory
// refuses ("Error during reset of arkive connection parameters: %s", "Couldn't parse server connection string:
// %s", and then *settings_refused is set when given), or the stream's or the server's text. Never ends the
// program; the password never reaches the error text.
[[nodiscard]] std::unique_ptr<rpc_arkive_connection_t> connect_to_server(qstring *error,
                                                                         arkive_connection_factory_t &factory,
                                                                         const arkive_credentials_t &credentials,
                                                                         bool *settings_refused = nullptr);

// The Connect dialog's test of the entered credentials: connects with them and keeps the connection in *made
// (replacing one made before). Accepted: the site stored as the default of that server and user becomes the
// credentials' site. Refused: the warning "Login to %s:%d failed:\n%s" with host, port and reason.
class validator_t : public credential_validator_t
{
public:
  validator_t(arkive_connection_factory_t &factory, std::unique_ptr<rpc_arkive_connection_t> *made)
    : factory_(factory), made_(made) {}
  bool validate(arkive_credentials_t &credentials) override;

private:
  arkive_connection_factory_t &factory_;
  std::unique_ptr<rpc_arkive_connection_t> *made_; // not owned
};

// The client's network-failure handler, one for the process. A lost stream is reconnected once with the default
// credentials (logged "%s. Reconnecting...\n", then "Reconnected to %s:%d; using local site '%s'\n" or
// "Reconnection failed: %s\n"); a request that fails anyway closes the open dialogs and queues the
// application's on_network_failure, which drops the connection once the request has returned.
class akui_network_handler_t : public network_failure_handler_t
{
public:
  bool begin_reconnect(arkive_credentials_t *credentials, qstring *client, const char *reason) override;
  void end_reconnect(bool success, const char *error) override;
  void give_up() override;
};

// The process-wide handler that the application installs on every connection it uses.
[[nodiscard]] akui_network_handler_t &network_handler();

// The default name of a user's first site on this host: the user name, "_" and the host name up to its first
// ".", each character that is not a letter or "_" (nor, after the first, a digit or "-") made "_", cut to 64
// characters. False, *out untouched, when the host part is empty or begins with "localhost" (in any case).
[[nodiscard]] bool propose_site_name(qstring *out, const char *user, const char *host);
// The longest proposed site name.
inline constexpr size_t proposed_site_name_max = 64;

// The "logon" action: the login with its dialog; enabled while there is no usable connection.
int logon_activate(ui_action_activation_ctx_t *context);
int logon_update(ui_action_t *action, ui_action_update_ctx_t *context);
// The "logoff" action: announces the disconnection (event 13), drops the connection and shows "Disconnected";
// enabled while a usable connection exists.
int logoff_activate(ui_action_activation_ctx_t *context);
int logoff_update(ui_action_t *action, ui_action_update_ctx_t *context);

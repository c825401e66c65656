// The connection factory: the process's connection settings, opening a stream, logging in.
#include "repo/connection_factory.h"

#include "core/debug_flags.h"
#include "core/environment.h"
#include "core/ui_callback.h"
#include "repo/arkive_errors.h"

namespace {

// A port from the environment: 1 to 65535 in decimal, anything else 0 (never wrapped to 16 bits).
uint16_t port_of_text(const qstring &text)
{
  uint32_t value = 0;
  for ( const char c : text.view() )
  {
    if ( c < '0' || c > '9' )
      return 0;
    value = value * 10 + uint32_t(c - '0');
    if ( value > 65535 )
      return 0;
  }
  return uint16_t(value);
}

class connection_factory_impl_t final : public arkive_connection_factory_t
{
public:
  bool configure(qstring *, const arkive_credentials_t &credentials) override
  {
    credentials_ = credentials;
    apply_connection_environment(&credentials_);
    return true;
  }

  bool reset(qstring *, const arkive_credentials_t &) override
  {
    credentials_ = arkive_credentials_t();
    credentials_.host.clear();
    credentials_.port = 0;
    return true;
  }

  std::unique_ptr<rpc_arkive_connection_t> connect_and_login(qstring *error, const char *user, const char *password,
                                                             abstract_fs_t *fs, const char *client, int) override
  {
    std::unique_ptr<rpc_arkive_connection_t> connection = open_connection(error);
    if ( connection == nullptr )
      return nullptr;
    if ( !connection->login(error, user, password, client) )
      return nullptr;
    connection->set_file_system(fs);
    return connection;
  }

  int check_credentials(qstring *error, user_info_t *user, const char *user_name, const char *password) override
  {
    std::unique_ptr<rpc_arkive_connection_t> connection = open_connection(error);
    if ( connection == nullptr )
      return ARKIVE_MESSAGE;
    return connection->authenticate(error, user, user_name, password);
  }

  std::unique_ptr<rpc_arkive_connection_t> open_connection(qstring *error) override
  {
    if ( (debug_flags & debug_trace_connect) != 0 )
    {
      qstring target;
      endpoint_to_string(credentials_, &target, false);
      log_printf("arkive: trying to connect to %s\n", target.c_str());
    }
    // Owned from the start: a connection that cannot be built does not leave the stream behind.
    socket_stream_ptr stream(make_socket_stream((credentials_.flags & credentials_no_tls) == 0));
    if ( !stream->open(connect_params_of(credentials_)) )
    {
      if ( error != nullptr )
        *error = stream->error_text();
      return nullptr;
    }
    auto connection = std::make_unique<rpc_arkive_connection_t>(std::move(stream));
    apply_recv_timeout_setting();
    return connection;
  }

  const arkive_credentials_t &credentials() const override { return credentials_; }

private:
  arkive_credentials_t credentials_;
};

} // namespace

arkive_connection_factory_t *arkive_connection_factory_t::instance()
{
  static arkive_connection_factory_t *const factory = new connection_factory_impl_t;
  return factory;
}

void apply_connection_environment(arkive_credentials_t *credentials)
{
  read_env_var("ARKIVE_HOST", &credentials->host);
  qstring port;
  if ( read_env_var("ARKIVE_PORT", &port) )
    credentials->port = port_of_text(port);
  if ( credentials->host.empty() )
    credentials->host = default_arkive_host;
  if ( credentials->port == 0 )
    credentials->port = default_arkive_port;
  qstring proxy;
  if ( read_env_var("ARKIVE_PROXY_CONN", &proxy) )
    parse_endpoint_string(&credentials->proxy, proxy.c_str(), false);
}

connect_params_t connect_params_of(const arkive_credentials_t &credentials)
{
  connect_params_t params;
  endpoint_assign(&params.server, credentials);
  if ( (credentials.flags & credentials_use_proxy) != 0 )
  {
    endpoint_assign(&params.proxy, credentials.proxy);
    if ( !params.proxy.host.empty() && params.proxy.password.empty() )
    {
      arkive_credentials_t stored = credentials;
      stored.read_proxy_password(&params.proxy.password, nullptr);
    }
  }
  return params;
}

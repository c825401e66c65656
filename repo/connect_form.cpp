// The Connect form: shows the login through the form request, validates it and saves or forgets it.
#include "repo/connect_form.h"

#include "core/registry.h"
#include "core/ui_callback.h"
#include "repo/login_credentials.h"
#include "repo/login_registry_p.h"

#include <cstdint>
#include <cstring>
#include <utility>

namespace {

// Field ids of the form.
constexpr int use_proxy_field = 10;
constexpr int proxy_fields[] = {11, 12, 13};

// Bits of the check-box group.
constexpr uint16_t use_proxy_bit = 1;
constexpr uint16_t save_bit = 2;

// Overwrites a password before its buffer is given back.
void wipe(qstring *text)
{
  if ( text->data() != nullptr )
    std::memset(text->data(), 0, text->capacity());
  text->clear();
}

// Holds the passwords that the user typed in a pair of strings that are wiped when the form is done.
struct entered_passwords_t
{
  ~entered_passwords_t()
  {
    wipe(&server);
    wipe(&proxy);
  }
  qstring server;
  qstring proxy;
};

// Puts a pair of passwords into the credentials for a while; the credentials' own come back at the end of
// the scope.
class lent_passwords_t
{
public:
  lent_passwords_t(arkive_credentials_t &credentials, const entered_passwords_t &entered)
    : credentials_(credentials), server_(std::move(credentials.password)), proxy_(std::move(credentials.proxy.password))
  {
    credentials.password = entered.server;
    credentials.proxy.password = entered.proxy;
  }
  ~lent_passwords_t()
  {
    wipe(&credentials_.password);
    wipe(&credentials_.proxy.password);
    credentials_.password = std::move(server_);
    credentials_.proxy.password = std::move(proxy_);
  }
  lent_passwords_t(const lent_passwords_t &) = delete;
  lent_passwords_t &operator=(const lent_passwords_t &) = delete;

private:
  arkive_credentials_t &credentials_;
  qstring server_;
  qstring proxy_;
};

// A typed endpoint text replaces host and port (a text without a port gives default_port); one that does not
// parse changes nothing. A user or password typed into the text is not taken.
void take_host_and_port(endpoint_credentials_t *endpoint, const qstring &text, uint16_t default_port)
{
  endpoint_credentials_t typed;
  if ( parse_endpoint_string(&typed, text.c_str(), false) )
  {
    endpoint->host = std::move(typed.host);
    endpoint->port = typed.port != 0 ? typed.port : default_port;
  }
  wipe(&typed.password);
}

} // namespace

const char connect_form_text[] =
  "Connect to server\n\n%/%*<#Arkive server, in 'host\\:port' form#~S~erver  :q:0:30::>\n\n"
  "<#User name#~U~ser name:q:0:20::>\n<#Password#~P~assword :p:0:20::>\n"
  "<#Use proxy server#Use pro~x~y server:c10>\n<#Save credentials#Sa~v~e the credentials:c>>\n"
  "<#Proxy server, in 'host\\:port' form#Proxy   :q11:0:30::>\n<#Proxy user name#User name:q12:0:20::>\n"
  "<#Proxy password#Password :p13:0:20::>\n\n";

int connect_form_callback(int field_id, form_actions_t &actions)
{
  if ( field_id != form_code_ready && field_id != use_proxy_field )
    return 1;
  uint16_t use_proxy = 0;
  if ( actions.read_field_value(use_proxy_field, &use_proxy) )
    for ( const int id : proxy_fields )
      actions.show_field(id, use_proxy != 0);
  return 1;
}

int arkive_credentials_t::run_connect_dialog(credential_validator_t *validator, qstring *error, int dialog_flags)
{
  uint16_t mask = uint16_t(((flags & credentials_save) != 0 ? save_bit : 0)
                         | ((flags & credentials_use_proxy) != 0 ? use_proxy_bit : 0));
  qstring server_text;
  endpoint_to_string(*this, &server_text, false);
  entered_passwords_t entered;
  if ( !password.empty() )
    entered.server = password;
  else
    read_password(&entered.server, nullptr);
  qstring proxy_text;
  endpoint_to_string(proxy, &proxy_text, false);
  if ( !proxy.password.empty() )
    entered.proxy = proxy.password;
  else
    read_proxy_password(&entered.proxy, nullptr);

  const int answer = form_dialog_printf(connect_form_text, &connect_form_callback, &entered.server, &server_text,
                                        &user, &entered.server, &mask, &proxy_text, &proxy.user, &entered.proxy);
  if ( answer < 1 )
    return 0;

  // A server typed without a port is reached on the default port, and must be saved with it: a login
  // without a port could not be saved or found again.
  take_host_and_port(this, server_text, default_arkive_port);
  take_host_and_port(&proxy, proxy_text, 0);
  if ( (mask & use_proxy_bit) != 0 )
    flags |= credentials_use_proxy;
  else
    flags &= ~credentials_use_proxy;

  if ( validator != nullptr )
  {
    lent_passwords_t lent(*this, entered);
    if ( !validator->validate(*this) )
      return 2;
  }
  if ( (mask & save_bit) != 0 )
    flags |= credentials_save;
  else
    flags &= ~credentials_save;

  qstring failure;
  bool saved;
  {
    lent_passwords_t lent(*this, entered);
    akui_registry_scope_t scope;
    if ( (flags & credentials_save) != 0 )
    {
      saved = save(&failure);
      registry_int("ArkiveStoreCredentials", true, 1);
    }
    else
    {
      saved = forget_saved_credentials(*this, &failure);
      registry_remove_value("ArkiveStoreCredentials");
    }
  }
  if ( !saved )
  {
    if ( (dialog_flags & 1) == 0 )
      warning_printf("Saving credentials failed: %s", failure.c_str());
    if ( error != nullptr )
      *error = failure;
  }
  return 1;
}

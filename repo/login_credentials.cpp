// Logins: endpoint texts, command-line options, saved logins in the registry and passwords in the store.
#include "repo/login_credentials.h"

#include "core/environment.h"
#include "core/internal_error.h"
#include "core/qvector.h"
#include "core/registry.h"
#include "repo/credential_store.h"
#include "repo/login_registry_p.h"

#include <cstring>
#include <string_view>
#include <vector>

const char default_arkive_host[] = "arkive";

namespace {

constexpr const char credentials_key[] = "ArkiveCredentials";
constexpr const char default_value[] = "Default";
constexpr const char store_flag_value[] = "ArkiveStoreCredentials";

// Splits at every separator; a text that ends with the separator gives no empty last piece.
std::vector<std::string_view> split_pieces(std::string_view text, char separator)
{
  std::vector<std::string_view> pieces;
  size_t start = 0;
  for ( ;; )
  {
    const size_t at = text.find(separator, start);
    if ( at == std::string_view::npos )
    {
      if ( start < text.size() || pieces.empty() )
        pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, at - start));
    start = at + 1;
  }
}

// A port text: empty (port 0) or 1 to 65535 in decimal, with one "/" allowed behind it.
bool parse_port(std::string_view text, uint16_t *port)
{
  if ( !text.empty() && text.back() == '/' )
    text.remove_suffix(1);
  uint32_t value = 0;
  for ( const char c : text )
  {
    if ( c < '0' || c > '9' )
      return false;
    value = value * 10 + uint32_t(c - '0');
    if ( value > 65535 )
      return false;
  }
  if ( !text.empty() && value == 0 )
    return false;
  *port = uint16_t(value);
  return true;
}

// The host part: "host", "host:port", "[v6]", "[v6]:port", or a bare IPv6 address (two or more ':').
bool parse_host_part(std::string_view part, qstring *host, bool *has_port, uint16_t *port)
{
  std::string_view port_text;
  *has_port = false;
  if ( !part.empty() && part.front() == '[' )
  {
    const size_t close = part.find(']');
    if ( close == std::string_view::npos || close == 1 )
      return false;
    const std::string_view rest = part.substr(close + 1);
    if ( !rest.empty() )
    {
      if ( rest.front() != ':' )
        return false;
      *has_port = true;
      port_text = rest.substr(1);
    }
    part = part.substr(1, close - 1);
  }
  else
  {
    const size_t colon = part.find(':');
    if ( colon != std::string_view::npos && part.find(':', colon + 1) == std::string_view::npos )
    {
      *has_port = true;
      port_text = part.substr(colon + 1);
      part = part.substr(0, colon);
    }
  }
  if ( *has_port && !parse_port(port_text, port) )
    return false;
  host->assign(part.data(), part.size());
  return true;
}

bool parse_endpoint_text(endpoint_credentials_t *endpoint, std::string_view text)
{
  if ( text.empty() )
    return false;
  const std::vector<std::string_view> pieces = split_pieces(text, '@');
  if ( pieces.size() > 2 )
    return false;
  std::string_view host_part = pieces[0];
  if ( pieces.size() == 2 )
  {
    if ( pieces[0].empty() )
      return false;
    const std::vector<std::string_view> user_pieces = split_pieces(pieces[0], ':');
    if ( user_pieces.size() > 2 )
      return false;
    endpoint->user.assign(user_pieces[0].data(), user_pieces[0].size());
    if ( user_pieces.size() == 2 )
      endpoint->password.assign(user_pieces[1].data(), user_pieces[1].size());
    host_part = pieces[1];
  }
  qstring host;
  bool has_port = false;
  uint16_t port = 0;
  if ( !parse_host_part(host_part, &host, &has_port, &port) )
    return false;
  endpoint->host = std::move(host);
  if ( has_port )
    endpoint->port = port;
  return true;
}

// The option's text, after "-" and the letter; the letter itself in *letter.
const char *option_text(const char *argument, char *letter)
{
  *letter = argument[1];
  return *letter != '\0' ? argument + 2 : argument + 1;
}

// The text up to the first zero byte of a secret (all of it when it holds none).
void secret_text(qstring *out, const byte_buffer_t &secret)
{
  const char *bytes = reinterpret_cast<const char *>(secret.data());
  const void *zero = secret.empty() ? nullptr : std::memchr(bytes, 0, secret.size());
  out->assign(bytes, zero != nullptr ? size_t(static_cast<const char *>(zero) - bytes) : secret.size());
}

// A password as a secret: its bytes and one zero byte.
byte_buffer_t password_secret(const qstring &password)
{
  byte_buffer_t secret;
  secret.reserve(password.size() + 1);
  for ( const char c : password.view() )
    secret.push_back(uint8_t(c));
  secret.push_back(0);
  return secret;
}

// Wipes a buffer that held a password before it is released.
void wipe(byte_buffer_t *secret)
{
  if ( !secret->empty() )
    std::memset(secret->data(), 0, secret->size());
}

void target_text(const endpoint_credentials_t &endpoint, qstring *out)
{
  out->clear();
  endpoint_to_string(endpoint, out, false);
}

bool write_password(const login_credentials_t &credentials, const char *service, const qstring &password,
                    qstring *error)
{
  qstring target;
  target_text(credentials, &target);
  byte_buffer_t secret = password_secret(password);
  const bool ok =
    credential_store_instance()->write_secret(credentials.user.c_str(), target.c_str(), service, secret, error);
  wipe(&secret);
  return ok;
}

// The registry key of a login that has a login text. A login without one (no host or port 0) has no key of
// its own: the bare "ArkiveCredentials\" would name every saved login.
bool own_registry_key(const login_credentials_t &credentials, qstring *key)
{
  qstring login;
  endpoint_to_string(credentials, &login, true);
  if ( login.empty() )
    return false;
  format_to_string(key, "%s\\%s", credentials_key, login.c_str());
  return true;
}

// "Default" under "ArkiveCredentials", parsed; false when missing or unparsable.
bool read_default_login(endpoint_credentials_t *login)
{
  qstring text;
  return registry_read_text(&text, default_value, credentials_key) && parse_endpoint_string(login, text.c_str(), false);
}

} // namespace

//--------------------------------------------------------------------------
// Endpoints.

bool parse_endpoint_string(endpoint_credentials_t *endpoint, const char *text, bool keep)
{
  if ( !keep )
    endpoint_clear(endpoint);
  if ( text != nullptr && parse_endpoint_text(endpoint, text) )
    return true;
  if ( !keep )
    endpoint_clear(endpoint);
  return false;
}

void endpoint_to_string(const endpoint_credentials_t &endpoint, qstring *out, bool with_user)
{
  if ( endpoint.host.empty() || endpoint.port == 0 )
    return;
  qstring text;
  if ( with_user && !endpoint.user.empty() )
  {
    text += endpoint.user;
    text += '@';
  }
  const bool v6 = std::strchr(endpoint.host.c_str(), ':') != nullptr;
  append_format_to_string(&text, v6 ? "[%s]:%u" : "%s:%u", endpoint.host.c_str(), unsigned(endpoint.port));
  *out = std::move(text);
}

void endpoint_clear(endpoint_credentials_t *endpoint)
{
  endpoint->host.clear();
  endpoint->port = 0;
  endpoint->user.clear();
  endpoint->password.clear();
}

void endpoint_assign(endpoint_credentials_t *dst, const endpoint_credentials_t &src)
{
  dst->host = src.host;
  dst->port = src.port;
  dst->user = src.user;
  dst->password = src.password;
}

void free_endpoint_strings(endpoint_credentials_t *endpoint)
{
  endpoint->host.release();
  endpoint->user.release();
  endpoint->password.release();
}

//--------------------------------------------------------------------------
// login_credentials_t

login_credentials_t::~login_credentials_t()
{
  free_endpoint_strings(this);
  free_endpoint_strings(&proxy);
}

bool login_credentials_t::parse_option(const char *argument)
{
  if ( argument == nullptr || argument[0] != '-' )
    interr(2756);
  char letter;
  const char *text = option_text(argument, &letter);
  switch ( letter )
  {
    case 'h':
      parse_endpoint_string(this, text, true);
      return true;
    case 'u':
      user = text;
      return true;
    case 'p':
      password = text;
      return true;
    case 'P':
      flags |= credentials_use_proxy;
      parse_endpoint_string(&proxy, text, true);
      return true;
    default:
      return false;
  }
}

void login_credentials_t::clear()
{
  endpoint_clear(this);
  endpoint_clear(&proxy);
  flags = 0;
}

bool login_credentials_t::read_password(qstring *, qstring *)
{
  return false;
}

bool login_credentials_t::read_proxy_password(qstring *, qstring *)
{
  return false;
}

bool login_credentials_t::save(qstring *)
{
  return false;
}

//--------------------------------------------------------------------------
// arkive_credentials_t

arkive_credentials_t::arkive_credentials_t()
{
  host = default_arkive_host;
  port = default_arkive_port;
}

bool arkive_credentials_t::parse_option(const char *argument)
{
  if ( argument == nullptr || argument[0] != '-' )
    interr(2695);
  char letter;
  const char *text = option_text(argument, &letter);
  if ( letter != 's' )
    return login_credentials_t::parse_option(argument);
  site = text;
  return true;
}

void arkive_credentials_t::clear()
{
  login_credentials_t::clear();
  site.clear();
}

bool arkive_credentials_t::read_password(qstring *out, qstring *error)
{
  if ( read_store_password(*this, out, error, arkstore_service) )
    return true;
  migrate_legacy_passwords();
  return read_store_password(*this, out, error, arkstore_service);
}

bool arkive_credentials_t::read_proxy_password(qstring *out, qstring *error)
{
  return read_store_password(*this, out, error, arkstore_proxy_service);
}

bool arkive_credentials_t::save(qstring *error)
{
  // A host without a port names no login that could be found again: it counts as an invalid host.
  qstring key;
  if ( user.empty() || !own_registry_key(*this, &key) )
  {
    if ( error != nullptr )
      *error = user.empty() ? "Invalid user name" : "Invalid host name";
    return false;
  }
  akui_registry_scope_t scope;
  qstring login;
  endpoint_to_string(*this, &login, true);
  registry_write_text(default_value, credentials_key, login.c_str());
  registry_write_text("DefaultSite", key.c_str(), site.c_str());
  registry_int("UseProxy", true, (flags & credentials_use_proxy) != 0 ? 1 : 0, key.c_str());
  qstring proxy_login;
  if ( !proxy.host.empty() )
    endpoint_to_string(proxy, &proxy_login, true);
  // A proxy saved earlier must not come back at the next load.
  if ( proxy_login.empty() )
    registry_remove_value("Proxy", key.c_str());
  else
    registry_write_text("Proxy", key.c_str(), proxy_login.c_str());

  if ( !password.empty() && !write_password(*this, arkstore_service, password, error) )
    return false;
  if ( !proxy.password.empty() )
    return write_password(*this, arkstore_proxy_service, proxy.password, error);
  return true;
}

bool arkive_credentials_t::load_default_site()
{
  qstring key;
  if ( !own_registry_key(*this, &key) )
    return false;
  akui_registry_scope_t scope;
  return registry_read_text(&site, "DefaultSite", key.c_str());
}

void arkive_credentials_t::save_default_site(const char *site_name)
{
  qstring key;
  if ( user.empty() || host.empty() || !own_registry_key(*this, &key) )
    return;
  akui_registry_scope_t scope;
  if ( site_name != nullptr )
    registry_write_text("DefaultSite", key.c_str(), site_name);
  else
    registry_remove_value("DefaultSite", key.c_str());
}

//--------------------------------------------------------------------------
// Saved logins.

void credentials_registry_key(const login_credentials_t &credentials, qstring *out)
{
  qstring login;
  endpoint_to_string(credentials, &login, true);
  *out = credentials_key;
  *out += '\\';
  *out += login;
}

void load_saved_credentials(arkive_credentials_t *credentials)
{
  akui_registry_scope_t scope;
  endpoint_credentials_t saved;
  if ( read_default_login(&saved) )
  {
    credentials->user = saved.user;
    credentials->host = saved.host;
    credentials->port = saved.port;
    qstring key;
    const bool has_key = own_registry_key(*credentials, &key);
    if ( has_key )
      registry_read_text(&credentials->site, "DefaultSite", key.c_str());
    if ( has_key && registry_int("UseProxy", false, 0, key.c_str()) != 0 )
      credentials->flags |= credentials_use_proxy;
    else
      credentials->flags &= ~credentials_use_proxy;
    qstring proxy_login;
    if ( has_key && registry_read_text(&proxy_login, "Proxy", key.c_str()) )
      parse_endpoint_string(&credentials->proxy, proxy_login.c_str(), false);
  }
  else
  {
    qstring http_proxy;
    if ( read_env_var("http_proxy", &http_proxy) )
    {
      if ( !qstring_replace_all(&http_proxy, "http://", nullptr) )
        qstring_replace_all(&http_proxy, "https://", nullptr);
      if ( parse_endpoint_string(&credentials->proxy, http_proxy.c_str(), false) )
        credentials->flags |= credentials_use_proxy;
    }
  }
  if ( get_store_credentials_flag() )
    credentials->flags |= credentials_save;
  else
    credentials->flags &= ~credentials_save;

  read_env_var("ARKIVE_HOST", &credentials->host);
  read_env_var("ARKIVE_USER", &credentials->user);
  read_env_var("ARKIVE_PASS", &credentials->password);
  read_env_var("ARKIVE_SITE", &credentials->site);
  qstring proxy_text;
  if ( read_env_var("ARKIVE_PROXY", &proxy_text) )
  {
    credentials->flags |= credentials_use_proxy;
    parse_endpoint_string(&credentials->proxy, proxy_text.c_str(), false);
  }
}

void set_store_credentials_flag(bool store)
{
  akui_registry_scope_t scope;
  registry_int(store_flag_value, true, store ? 1 : 0);
}

bool get_store_credentials_flag()
{
  akui_registry_scope_t scope;
  return registry_int(store_flag_value, false, 0) != 0;
}

bool forget_saved_credentials(const login_credentials_t &credentials, qstring *error)
{
  akui_registry_scope_t scope;
  qstring key;
  if ( own_registry_key(credentials, &key) )
    (void)registry_remove_tree(key.c_str());

  qstring target;
  target_text(credentials, &target);
  credential_store_t *store = credential_store_instance();
  bool ok = store->delete_secret(credentials.user.c_str(), target.c_str(), arkstore_service, error);
  qstring proxy_error;
  if ( !store->delete_secret(credentials.user.c_str(), target.c_str(), arkstore_proxy_service, &proxy_error) )
  {
    if ( ok && error != nullptr )
      *error = proxy_error;
    ok = false;
  }

  endpoint_credentials_t saved;
  if ( read_default_login(&saved) && saved.user == credentials.user && saved.host == credentials.host
    && saved.port == credentials.port && !registry_remove_value(default_value, credentials_key) )
    ok = false;
  return ok;
}

bool read_store_password(const login_credentials_t &credentials, qstring *out, qstring *error, const char *service)
{
  qstring target;
  target_text(credentials, &target);
  byte_buffer_t secret;
  if ( !credential_store_instance()->read_secret(&secret, credentials.user.c_str(), target.c_str(), service, error) )
    return false;
  secret_text(out, secret);
  wipe(&secret);
  return true;
}

void migrate_legacy_passwords()
{
  akui_registry_scope_t scope;
  qvector<qstring> names;
  if ( !registry_list_names(&names, credentials_key, true) )
    return;
  for ( const qstring &name : names )
  {
    qstring key;
    format_to_string(&key, "%s\\%s", credentials_key, name.c_str());
    qstring password;
    if ( !registry_read_text(&password, "Password", key.c_str()) )
      continue;
    const std::vector<std::string_view> pieces = split_pieces(name.view(), '@');
    if ( pieces.size() != 2 || name.view().back() == '@' )
      continue;
    qstring user(pieces[0]);
    qstring target(pieces[1]);
    // Names in the registry have ':' replaced by '_': the last one stood between host and port.
    if ( const size_t underscore = target.view().rfind('_'); underscore != std::string_view::npos )
      target[underscore] = ':';
    byte_buffer_t secret = password_secret(password);
    const bool stored =
      credential_store_instance()->write_secret(user.c_str(), target.c_str(), arkstore_service, secret, nullptr);
    wipe(&secret);
    if ( stored )
      registry_remove_value("Password", key.c_str());
  }
}

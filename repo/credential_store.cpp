// The credential store over the user's generic credential file.
#include "repo/credential_store.h"

#include "core/environment.h"
#include "core/error_state.h"
#include "core/unicode.h"
#include "platform/generic_credentials.h"

#include <cerrno>

namespace {

void set_error(qstring *error, const char *text)
{
  if ( error != nullptr )
    *error = text;
}

// The credential's name from its three parts. False with the error text when a part is missing or is not
// valid UTF-8 (the parts must convert to UTF-16, the form the name has for the system).
bool credential_name(std::string *name, const char *user, const char *target, const char *service, qstring *error)
{
  if ( user == nullptr || target == nullptr || service == nullptr )
  {
    set_error(error, "Invalid credentionals");
    return false;
  }
  wide_string_t wide;
  for ( const char *part : {user, target, service} )
  {
    if ( !utf8_to_utf16(&wide, part, -1) )
    {
      set_error(error, "Conversion error");
      return false;
    }
  }
  name->assign(user);
  name->append("@").append(target).append("/").append(service);
  return true;
}

// The user's credential file, where XDG_CONFIG_HOME and HOME say now.
generic_credential_file_t user_credential_file()
{
  qstring config;
  qstring home;
  read_env_var("XDG_CONFIG_HOME", &config);
  read_env_var("HOME", &home);
  return generic_credential_file_t(generic_credential_file_t::default_dir(config.view(), home.view()));
}

bool system_failure(qstring *error, int code)
{
  set_error(error, win_error_text(uint32_t(code)));
  return false;
}

} // namespace

bool os_credential_store_t::read_secret(byte_buffer_t *out, const char *user, const char *target, const char *service,
                                        qstring *error)
{
  std::string name;
  if ( !credential_name(&name, user, target, service, error) )
    return false;
  generic_credential_t found;
  if ( const int rc = user_credential_file().read(name, &found); rc != 0 )
    return system_failure(error, rc);
  out->reserve(out->size() + found.secret.size());
  for ( const uint8_t b : found.secret )
    out->push_back(b);
  return true;
}

bool os_credential_store_t::write_secret(const char *user, const char *target, const char *service,
                                         const byte_buffer_t &secret, qstring *error)
{
  std::string name;
  if ( !credential_name(&name, user, target, service, error) )
    return false;
  generic_credential_t credential;
  credential.target = name;
  credential.user = user;
  credential.secret.assign(secret.begin(), secret.end());
  if ( const int rc = user_credential_file().write(credential); rc != 0 )
    return system_failure(error, rc);
  return true;
}

bool os_credential_store_t::delete_secret(const char *user, const char *target, const char *service, qstring *error)
{
  std::string name;
  if ( !credential_name(&name, user, target, service, error) )
    return false;
  const int rc = user_credential_file().remove(name);
  if ( rc != 0 && rc != ENOKEY )
    return system_failure(error, rc);
  return true;
}

credential_store_t *make_os_credential_store()
{
  return new os_credential_store_t;
}

credential_store_t *credential_store_instance()
{
  static credential_store_t *const instance = make_os_credential_store();
  return instance;
}

// Environment variables, host name resolution, the computer's name and small text-scanning helpers.
#include "core/environment.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>

#include "core/threads.h"
#include "core/unicode.h"

namespace
{

inline bool is_ascii_space(char c)
{
  return c == ' ' || (c >= '\t' && c <= '\r');
}

inline char ascii_upper(char c)
{
  return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

} // namespace

//--------------------------------------------------------------------------
bool read_env_var(const char *name, qstring *out)
{
  // Copy under the lock: the value's storage belongs to the environment.
  critical_section_guard_t guard(core_process_lock());
  const char *value = getenv(name);
  if ( value == nullptr )
    return false;
  if ( out != nullptr )
    out->assign(value, strlen(value));
  return true;
}

//--------------------------------------------------------------------------
addrinfo *lookup_host(const char *host, int family, uint16_t port)
{
  char service[8];
  if ( port != 0 )
    snprintf(service, sizeof(service), "%u", unsigned(port));
  addrinfo hints {};
  hints.ai_flags = AI_CANONNAME;
  hints.ai_family = family;
  addrinfo *list = nullptr;
  if ( getaddrinfo(host, port != 0 ? service : nullptr, &hints, &list) != 0 )
    return nullptr;
  return list;
}

//--------------------------------------------------------------------------
bool resolve_host_address(sockaddr_storage *out, const char *host, int family, uint16_t port)
{
  addrinfo *list = lookup_host(host, family, port);
  if ( list == nullptr )
    return false;
  memset(out, 0, sizeof(*out));
  memcpy(out, list->ai_addr, std::min<size_t>(list->ai_addrlen, sizeof(*out)));
  freeaddrinfo(list);
  return true;
}

//--------------------------------------------------------------------------
bool local_computer_name(qstring *out)
{
  char name[HOST_NAME_MAX + 1];
  if ( gethostname(name, sizeof(name)) != 0 )
    return false;
  name[sizeof(name) - 1] = '\0';
  if ( name[0] == '\0' )
    return false;
  for ( const char *p = name; *p != '\0'; )
    if ( utf8_next_char(&p) == bad_code_point )
      return false;
  out->assign(name, strlen(name));
  return true;
}

//--------------------------------------------------------------------------
const char *skip_blanks(const char *text)
{
  if ( text == nullptr )
    return nullptr;
  while ( is_ascii_space(*text) )
    ++text;
  return text;
}

char *skip_blanks(char *text)
{
  return const_cast<char *>(skip_blanks(static_cast<const char *>(text)));
}

//--------------------------------------------------------------------------
char *trim_right(char *text)
{
  if ( text == nullptr )
    return nullptr;
  size_t n = strlen(text);
  while ( n > 0 && is_ascii_space(text[n - 1]) )
    --n;
  text[n] = '\0';
  return text;
}

//--------------------------------------------------------------------------
const char *find_text_nocase(const char *text, const char *pattern)
{
  if ( text == nullptr || pattern == nullptr )
    return nullptr;
  if ( *pattern == '\0' )
    return text;
  const char first = ascii_upper(*pattern);
  for ( const char *p = text; *p != '\0'; ++p )
  {
    if ( ascii_upper(*p) != first )
      continue;
    size_t i = 1;
    while ( pattern[i] != '\0' && ascii_upper(p[i]) == ascii_upper(pattern[i]) )
      ++i;
    if ( pattern[i] == '\0' )
      return p;
  }
  return nullptr;
}

char *find_text_nocase(char *text, const char *pattern)
{
  return const_cast<char *>(find_text_nocase(static_cast<const char *>(text), pattern));
}

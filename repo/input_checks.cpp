// User input checks.
#include "repo/input_checks.h"

#include <string_view>

namespace {

bool is_ascii_letter(char c)
{
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool is_ascii_digit(char c)
{
  return c >= '0' && c <= '9';
}

} // namespace

bool is_valid_email(const char *text)
{
  if ( text == nullptr )
    return false;
  const std::string_view address(text);
  const size_t at = address.find('@');
  if ( at == std::string_view::npos || at == 0 || at > 64 )
    return false;
  if ( address[0] == '.' )
    return false;
  const std::string_view local_extra = "!#$%&'*+-/=?^_`{|}~.";
  for ( char c : address.substr(0, at) )
    if ( !is_ascii_letter(c) && !is_ascii_digit(c) && local_extra.find(c) == std::string_view::npos )
      return false;
  const std::string_view domain = address.substr(at + 1);
  if ( domain.empty() || domain[0] == '-' || domain[0] == '.' )
    return false;
  for ( char c : domain )
    if ( !is_ascii_letter(c) && !is_ascii_digit(c) && c != '-' && c != '.' )
      return false;
  if ( address.size() > 255 )
    return false;
  return address.find("..") == std::string_view::npos;
}

bool is_valid_user_name(const char *text, size_t max_length)
{
  if ( text == nullptr )
    return false;
  const std::string_view name(text);
  if ( name.empty() || !(is_ascii_letter(name[0]) || name[0] == '_') )
    return false;
  for ( char c : name.substr(1) )
    if ( !is_ascii_letter(c) && !is_ascii_digit(c) && c != '_' && c != '-' )
      return false;
  return name.size() <= max_length;
}

bool has_wildcards(const char *text)
{
  return text != nullptr && std::string_view(text).find_first_of("*?") != std::string_view::npos;
}

bool is_empty_text(const char *text)
{
  return text == nullptr || *text == '\0';
}

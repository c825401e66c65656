// Generated numbers and their insertion into texts.
#include "repo/generated_content.h"

#include <cerrno>
#include <cstdlib>
#include <string>

uint32_t generate_number()
{
  thread_local uint32_t state = 123456789;
  state = state * 1103515245u + 12345u;
  return state % 2147483647u;
}

void replace_first_number(qstring *text)
{
  uint32_t value = generate_number();
  const std::string_view bytes = text->view();
  size_t pos = 0;
  while ( pos < bytes.size() && bytes[pos] != '\0' && !(bytes[pos] >= '0' && bytes[pos] <= '9') )
    ++pos;
  size_t digits_end = pos;
  if ( pos < bytes.size() && bytes[pos] >= '0' && bytes[pos] <= '9' )
  {
    while ( digits_end < bytes.size() && bytes[digits_end] >= '0' && bytes[digits_end] <= '9' )
      ++digits_end;
    const std::string digits(bytes.substr(pos, digits_end - pos));
    errno = 0;
    const unsigned long long read = std::strtoull(digits.c_str(), nullptr, 10);
    value ^= (errno == ERANGE || read > 0xFFFFFFFFull) ? 0xFFFFFFFFu : uint32_t(read);
  }
  std::string result(bytes.substr(0, pos));
  result += std::to_string(value);
  result += bytes.substr(digits_end);
  text->assign(result.data(), result.size());
}

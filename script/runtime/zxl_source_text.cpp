// Where a host text's last statement starts, and the function text that returns its value.
#include "script/runtime/zxl_source_text.h"

#include <cstdint>
#include <cstring>
#include <string_view>

namespace
{

// ASCII white space only: bytes 0x80 and above belong to words.
bool is_blank(char c)
{
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool is_word_char(char c)
{
  const unsigned char u = static_cast<unsigned char>(c);
  return u >= 0x80 || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_';
}

// Statements that yield no value.
constexpr std::string_view statement_keywords[] = {"if",     "do",  "for",   "while", "break",  "continue",
                                                   "return", "try", "throw", "auto",  "extern"};

} // namespace

std::optional<size_t> zxl_find_last_statement(const char *text)
{
  if ( text == nullptr )
    return std::nullopt;
  size_t end = std::strlen(text);
  while ( end > 0 && is_blank(text[end - 1]) )
    --end;
  if ( end == 0 || text[end - 1] == '}' )
    return std::nullopt;
  if ( text[end - 1] == ';' )
    --end;

  // SIZE_MAX: no statement start (inside an open block)
  size_t start = 0;
  int depth = 0;
  bool unbalanced = false;
  char quote = 0;
  for ( size_t i = 0; i < end; ++i )
  {
    const char c = text[i];
    if ( quote != 0 )
    {
      if ( c == '\\' )
        ++i;
      else if ( c == quote )
        quote = 0;
      continue;
    }
    if ( c == '/' && i + 1 < end && text[i + 1] == '/' )
    {
      while ( i + 1 < end && text[i + 1] != '\n' )
        ++i;
      continue;
    }
    if ( c == '/' && i + 1 < end && text[i + 1] == '*' )
    {
      const std::string_view rest(text + i + 2, end - i - 2);
      const size_t close = rest.find("*/");
      i = close == std::string_view::npos ? end : i + 2 + close + 1;
      continue;
    }
    switch ( c )
    {
    case '"':
    case '\'':
      quote = c;
      break;
    case '(':
      ++depth;
      break;
    case ')':
      if ( --depth < 0 )
        unbalanced = true;
      break;
    case ';':
    case '}':
      start = i + 1;
      depth = 0;
      unbalanced = false;
      break;
    case '{':
      start = SIZE_MAX;
      break;
    default:
      break;
    }
  }
  if ( unbalanced || start == SIZE_MAX )
    return std::nullopt;

  size_t p = start;
  for ( ;; )
  {
    while ( p < end && is_blank(text[p]) )
      ++p;
    if ( p + 1 < end && text[p] == '/' && text[p + 1] == '/' )
    {
      while ( p < end && text[p] != '\n' )
        ++p;
      continue;
    }
    break;
  }
  if ( p >= end )
    return std::nullopt;
  const std::string_view statement(text + p);
  for ( std::string_view keyword : statement_keywords )
    if ( statement.starts_with(keyword) && !is_word_char(text[p + keyword.size()]) )
      return std::nullopt;
  return p;
}

void zxl_wrapper_text(qstring *out, const char *name, const char *text)
{
  format_to_string(out, "static %s(){", name);
  if ( const std::optional<size_t> last = zxl_find_last_statement(text) )
  {
    out->append(text, *last);
    *out += "return ";
    out->append(std::string_view(text + *last));
  }
  else
  {
    out->append(std::string_view(text));
  }
  *out += "\n;}";
}

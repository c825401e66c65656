// Field values and their text forms.
#include "forms/form_values.h"

#include "core/catalog_lookup.h"
#include "core/internal_error.h"
#include "core/number_format.h"
#include "core/qstring.h"
#include "core/text_utils.h"
#include "core/ui_callback.h"
#include "platform/hex_digits.h"

#include <QByteArray>

#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>
#include <string>

namespace {

bool is_blank(char c)
{
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string trimmed(const std::string &text)
{
  size_t b = 0;
  size_t e = text.size();
  while ( b < e && is_blank(text[b]) )
    ++b;
  while ( e > b && is_blank(text[e - 1]) )
    --e;
  return text.substr(b, e - b);
}

// The value of a digit of a radix up to 16, or a value no radix accepts.
int digit_value(char c)
{
  const int d = hex_digit_value(static_cast<unsigned char>(c));
  return d >= 0 ? d : 99;
}

// Reads digits of the radix from p while they fit 64 bits; nullopt when none is read or the number overflows.
std::optional<uint64_t> read_digits(const char *&p, int radix)
{
  const char *start = p;
  uint64_t value = 0;
  while ( digit_value(*p) < radix )
  {
    const auto d = uint64_t(digit_value(*p));
    if ( value > (UINT64_MAX - d) / uint64_t(radix) )
      return std::nullopt;
    value = value * uint64_t(radix) + d;
    ++p;
  }
  if ( p == start )
    return std::nullopt;
  return value;
}

// The whole text as a number written in one form: blanks, an optional minus sign, the form's prefix
// (optional) and its digits, blanks. nullopt for anything else.
std::optional<uint64_t> read_in_form(const std::string &text, int radix)
{
  const char *p = text.c_str();
  while ( is_blank(*p) )
    ++p;
  const bool negative = *p == '-';
  if ( negative )
    ++p;
  if ( radix == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') )
    p += 2;
  else if ( radix == 2 && p[0] == '0' && (p[1] == 'b' || p[1] == 'B') )
    p += 2;
  const auto value = read_digits(p, radix);
  while ( is_blank(*p) )
    ++p;
  if ( !value || *p != '\0' )
    return std::nullopt;
  return negative ? 0 - *value : *value;
}

// A C number literal, as print_c_number writes one: a character constant, or a decimal, "0x", "0b" or "0"
// octal number with an optional minus sign and the suffixes u and LL.
std::optional<uint64_t> read_c_literal(const std::string &raw)
{
  const std::string text = trimmed(raw);
  if ( text.size() >= 3 && text.front() == '\'' && text.back() == '\'' )
  {
    const std::string inner = text.substr(1, text.size() - 2);
    if ( inner == "\\0" )
      return 0;
    if ( inner == "\\'" )
      return uint64_t('\'');
    if ( inner.empty() || inner.size() > 8 )
      return std::nullopt;
    uint64_t value = 0;
    for ( const char c : inner )
      value = (value << 8) | static_cast<unsigned char>(c);
    return value;
  }
  const char *p = text.c_str();
  const bool negative = *p == '-';
  if ( negative )
    ++p;
  int radix = 10;
  if ( p[0] == '0' && (p[1] == 'x' || p[1] == 'X') )
  {
    radix = 16;
    p += 2;
  }
  else if ( p[0] == '0' && (p[1] == 'b' || p[1] == 'B') )
  {
    radix = 2;
    p += 2;
  }
  else if ( p[0] == '0' && p[1] != '\0' )
  {
    radix = 8;
  }
  const auto value = read_digits(p, radix);
  if ( *p == 'u' || *p == 'U' )
    ++p;
  if ( (p[0] == 'L' && p[1] == 'L') || (p[0] == 'l' && p[1] == 'l') )
    p += 2;
  if ( !value || *p != '\0' )
    return std::nullopt;
  return negative ? 0 - *value : *value;
}

QString digits_text(uint64_t value, int radix)
{
  char buf[72];
  digits_u64(buf, value, radix, false);
  return QString::fromLatin1(buf);
}

QString literal_text(uint64_t value)
{
  char buf[64];
  print_c_number(buf, sizeof(buf), {value, 0}, 8, CNUM_UTF8_CHAR | CNUM_CHAR);
  // The character form loses zero bytes and falls back on 32 bits; such values show as hexadecimal,
  // so that reading the text back gives the value again.
  if ( const auto back = read_c_literal(buf); back && *back == value )
    return QString::fromUtf8(buf);
  return QStringLiteral("0x") + digits_text(value, 16);
}

QString signed_text(int64_t value, const char *prefix, int radix)
{
  if ( value < 0 )
    return QStringLiteral("-") + QLatin1String(prefix) + digits_text(0 - uint64_t(value), radix);
  return QLatin1String(prefix) + digits_text(uint64_t(value), radix);
}

void warn_unless(bool silent, const char *format, const QByteArray &argument)
{
  if ( !silent )
    warning_printf(format, argument.constData());
}

// Strips a relative input's sign ("+ 5", "-3") when the field takes relative input; *sign is 0 without one.
std::string strip_relative(const std::string &text, const form_field_info_t &field, int *sign)
{
  *sign = 0;
  if ( field.flags != 1 )
    return text;
  const std::string t = trimmed(text);
  if ( t.empty() || (t[0] != '+' && t[0] != '-') )
    return text;
  *sign = t[0] == '+' ? 1 : -1;
  size_t i = 1;
  while ( i < t.size() && is_blank(t[i]) )
    ++i;
  return t.substr(i);
}

uint64_t apply_relative(uint64_t current, uint64_t number, int sign)
{
  if ( sign > 0 )
    return current + number;
  if ( sign < 0 )
    return current - number;
  return number;
}

bool copy_to_buffer(void *value, size_t size, const std::string &text, char type, const form_field_info_t &field,
                    bool silent)
{
  if ( size == 0 )
  {
    if ( !silent )
      warning_printf("Bad WIDTH subfield for the field with id %d. For type %c it should be non-zero", field.id,
                     type);
    return false;
  }
  if ( (type == 'F' || type == 'f') && text.size() >= size )
  {
    if ( !silent )
      warning_printf("The path is too long (at most %d bytes): %s", int(size - 1), text.c_str());
    return false;
  }
  size_t n = std::min(text.size(), size - 1);
  // Never cut inside a UTF-8 sequence.
  while ( n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80 )
    --n;
  std::memcpy(value, text.data(), n);
  static_cast<char *>(value)[n] = '\0';
  return true;
}

} // namespace

size_t form_value_size(char type, size_t max_length)
{
  switch ( type )
  {
    case ' ': case 'h':
      interr(2507);
    case 'B': case 'k':
      return 0;
    case 'C': case 'c': case 'R': case 'r': case 'G': case 'g':
      return 2;
    case '$': case 'D': case 'H': case 'O': case 'Y': case 'n': case 'o': case 's': case 'M': case 'N': case 'u':
    case 'L': case 'm': case 'l': case 'S':
      return 8;
    case '=': case 'K':
      return 4;
    case 'A': case 'T':
      return max_length;
    case 'F': case 'f':
      return form_path_size;
    case 'X':
      return form_text_buffer_size;
    case 'b':
      return max_length != 0 ? sizeof(qstring) : 4;
    case 'E':
      return sizeof(qvector<uint64_t>);
    case 'I': case 'i': case 'p': case 'q': case 'y':
      return sizeof(qstring);
    case 'e':
      return 104;
    case 't':
      return 40;
    default:
      interr(2508);
  }
}

const char *form_value_kind_name(char type)
{
  switch ( type )
  {
    case ' ': case 'h': return "label";
    case '$': return "ea";
    case 'B': case 'k': return "button";
    case 'C': case 'c': return "checkbox";
    case 'R': case 'r': return "radiobutton";
    case 'G': return "cbgroup";
    case 'g': return "rbgroup";
    case 'D': case 'H': case 'O': case 'Y': case 'n': case 'o': case 's': return "signed";
    case 'M': case 'N': case 'u': return "unsigned";
    case 'L': case 'm': return "uint64";
    case 'l': return "int64";
    case 'S': return "segment";
    case 'K': return "color";
    case 'F': case 'f': return "path";
    case 'X': return "string";
    case 'b': return "combobox";
    case 'E': return "chooser";
    case 'I': return "ident2";
    case 'i': return "ident";
    case 'p': case 'q': case 'y': return "qstring";
    case 'e': return "type";
    case 't': return "text";
    default: return nullptr;
  }
}

int default_max_length(char type, int width)
{
  switch ( type )
  {
    case 'F': case 'f':
      return int(form_path_size);
    case 'A': case 'T': case 'X':
      return width > 0 ? width - 1 : 1023;
    case 'I': case 'i':
      return width > 0 ? width - 1 : 32767;
    case 'p': case 'q':
      return width > 0 ? width - 1 : INT_MAX - 1;
    default:
      return INT_MAX;
  }
}

form_arg_kind form_value_arg_kind(char type)
{
  switch ( type )
  {
    case 'A': case 'T': case 'X': case 'F': case 'f': case 'h':
      return form_arg_kind::buffer;
    case 'q': case 'p': case 'y': case 'I': case 'i':
      return form_arg_kind::string;
    case '$': case 'S': case 'D': case 'u': case 'N': case 'n': case 'M': case 'm': case 'O': case 'o': case 'L':
    case 'l': case 'Y': case 's': case 'H':
      return form_arg_kind::number;
    case 'K':
      return form_arg_kind::int32;
    default:
      return form_arg_kind::any_value;
  }
}

bool has_text_form(char type)
{
  return std::strchr("$AFTXfhpqyIiDuMmNnOoLlYsH", type) != nullptr && type != '\0';
}

bool value_to_text(const void *value, char type, int radix, QString *out)
{
  out->clear();
  if ( !has_text_form(type) )
    return false;
  if ( value == nullptr )
    return true;
  switch ( type )
  {
    case 'A': case 'F': case 'T': case 'X': case 'f': case 'h':
      *out = QString::fromUtf8(static_cast<const char *>(value));
      return true;
    case 'p': case 'q': case 'y': case 'I': case 'i':
    {
      const auto *s = static_cast<const qstring *>(value);
      *out = QString::fromUtf8(s->c_str(), int(s->size()));
      return true;
    }
    default:
      break;
  }
  uint64_t v;
  std::memcpy(&v, value, sizeof(v));
  const auto sv = int64_t(v);
  switch ( type )
  {
    case '$':
      if ( v != UINT64_MAX )
        *out = format_address(v);
      break;
    case 'D': *out = QString::number(sv); break;
    case 'u': *out = QString::number(v); break;
    case 'M': case 'm': *out = digits_text(v, 16); break;
    case 'N': *out = QStringLiteral("0x") + digits_text(v, 16); break;
    case 'n': *out = signed_text(sv, "0x", 16); break;
    case 'O': *out = QStringLiteral("0") + digits_text(v, 8); break;
    case 'o': *out = signed_text(sv, "0", 8); break;
    case 'L': case 'l':
    {
      const char *prefix = radix == 2 ? "0b" : radix == 8 ? "0" : radix == 10 ? "" : radix == 16 ? "0x" : nullptr;
      if ( prefix != nullptr )
        *out = type == 'l' ? signed_text(sv, prefix, radix) : QLatin1String(prefix) + digits_text(v, radix);
      break;
    }
    case 'Y': *out = QStringLiteral("0b") + digits_text(uint32_t(v), 2); break;
    case 's':
      if ( int32_t(v) < 0 )
        *out = QStringLiteral("-0b") + digits_text(uint32_t(0 - uint32_t(v)), 2);
      else
        *out = QStringLiteral("0b") + digits_text(uint32_t(v), 2);
      break;
    case 'H': *out = literal_text(v); break;
    default: break;
  }
  return true;
}

bool parse_number(int64_t *out, QString *error, const char *text)
{
  const char *p = text;
  while ( is_blank(*p) )
    ++p;
  bool negative = false;
  if ( *p == '+' || *p == '-' )
    negative = *p++ == '-';
  const auto value = read_digits(p, 10);
  if ( !value )
  {
    *error = QStringLiteral("Failed to parse value representation '%1'").arg(QString::fromUtf8(text));
    return false;
  }
  *out = int64_t(negative ? 0 - *value : *value);
  return true;
}

bool parse_address(uint64_t *out, const char *text)
{
  const std::string t = trimmed(text);
  if ( t.empty() )
  {
    *out = UINT64_MAX;
    return true;
  }
  if ( t[0] == '-' )
    return false;
  const auto value = read_in_form(t, 16);
  if ( !value )
    return false;
  *out = *value;
  return true;
}

QString format_address(uint64_t value)
{
  return digits_text(value, 16);
}

bool text_to_value(void *value, size_t size, const QString &qtext, char type, bool silent,
                   const form_field_info_t &field)
{
  const QByteArray utf8 = qtext.toUtf8();
  std::string text(utf8.constData(), size_t(utf8.size()));
  uint64_t current = 0;
  if ( form_value_arg_kind(type) == form_arg_kind::number )
    std::memcpy(&current, value, sizeof(current));
  const auto store = [&](uint64_t v) { std::memcpy(value, &v, sizeof(v)); return true; };
  switch ( type )
  {
    case '$':
    {
      uint64_t address;
      if ( !parse_address(&address, text.c_str()) )
      {
        if ( !silent )
        {
          const char *format = catalog_message(99);
          warning_printf(format != nullptr ? format : "Bad address: %s", text.c_str());
        }
        return false;
      }
      return store(address);
    }
    case 'D': case 'H': case 'N': case 'O': case 'Y': case 'n': case 'o': case 's': case 'u':
    {
      int sign;
      const std::string rest = strip_relative(text, field, &sign);
      std::optional<uint64_t> number;
      QString error = QStringLiteral("Failed to parse value representation '%1'").arg(QString::fromUtf8(rest.c_str()));
      if ( type == 'D' || type == 'u' )
      {
        int64_t n;
        if ( parse_number(&n, &error, rest.c_str()) )
          number = uint64_t(n);
      }
      else if ( type == 'H' )
      {
        number = read_c_literal(rest);
      }
      else
      {
        number = read_in_form(rest, type == 'N' || type == 'n' ? 16 : type == 'O' || type == 'o' ? 8 : 2);
      }
      if ( !number )
      {
        warn_unless(silent, "%s", error.toUtf8());
        return false;
      }
      uint64_t result = apply_relative(current, *number, sign);
      // 'Y' shows the low 32 bits: an unchanged text keeps the high ones.
      if ( type == 'Y' && sign == 0 )
        result = (current & 0xFFFFFFFF00000000ULL) | (*number & 0xFFFFFFFFULL);
      return store(result);
    }
    case 'L': case 'l': case 'M':
    {
      const char *p = text.c_str();
      bool negative = false;
      if ( type == 'l' && *p == '-' )
      {
        negative = true;
        ++p;
      }
      int radix = type == 'M' ? 16 : 10;
      if ( p[0] == '0' && (p[1] == 'x' || p[1] == 'X') )
      {
        radix = 16;
        p += 2;
      }
      else if ( p[0] == '0' && p[1] != '\0' )
      {
        radix = 8;
      }
      const bool starts_hex = digit_value(text[0]) < 16;
      const char *end = p;
      const auto number = type == 'M' && !starts_hex ? std::nullopt : read_digits(end, radix);
      if ( type == 'M' && (!number || *end != '\0') )
      {
        // Anything else is a decimal, possibly relative, that must not be negative.
        int sign;
        const std::string rest = strip_relative(text, field, &sign);
        int64_t n;
        QString error;
        if ( !parse_number(&n, &error, rest.c_str()) )
        {
          warn_unless(silent, "%s", error.toUtf8());
          return false;
        }
        if ( n < 0 )
        {
          if ( !silent )
            warning_printf("Expected a positive value");
          return false;
        }
        return store(apply_relative(current, uint64_t(n), sign));
      }
      if ( !number )
      {
        warn_unless(silent, "%s",
                    QStringLiteral("Failed to parse value representation '%1'").arg(qtext).toUtf8());
        return false;
      }
      if ( *end != '\0' )
      {
        warn_unless(silent, "extra characters on line: %s", QByteArray(end));
        return false;
      }
      return store(negative ? 0 - *number : *number);
    }
    case 'm':
    {
      int sign;
      const std::string rest = strip_relative(text, field, &sign);
      const char *p = rest.c_str();
      if ( sign == 0 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') )
        p += 2;
      const auto number = read_digits(p, sign != 0 ? 10 : 16);
      if ( !number || *p != '\0' )
      {
        warn_unless(silent, "extra characters on line: %s", QByteArray(number ? p : rest.c_str()));
        return false;
      }
      return store(apply_relative(current, *number, sign));
    }
    case 'T':
      text = trimmed(text);
      [[fallthrough]];
    case 'A': case 'F': case 'X': case 'f':
      return copy_to_buffer(value, size, text, type, field, silent);
    case 'y':
      text = trimmed(text);
      [[fallthrough]];
    case 'p': case 'q': case 'I': case 'i':
    {
      QString s = QString::fromUtf8(text.c_str(), int(text.size()));
      if ( field.max_length != 0 && uint64_t(s.size()) > field.max_length - 1 )
      {
        s.truncate(int(field.max_length - 1));
        if ( !s.isEmpty() && s.at(s.size() - 1).isHighSurrogate() )
          s.chop(1);
      }
      const QByteArray bytes = s.toUtf8();
      auto *out = static_cast<qstring *>(value);
      if ( bytes.isEmpty() )
        out->clear();
      else
        out->assign(bytes.constData(), size_t(bytes.size()));
      return true;
    }
    default:
      interr(40344);
  }
}

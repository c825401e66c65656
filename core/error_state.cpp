// The per-thread error state and the texts of error codes.
#include "core/error_state.h"

#include "core/catalog_lookup.h"
#include "core/internal_error.h"
#include "core/printf_format.h"

#include "platform/system_message.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Catalogue texts may not ask for more than this width or precision: the output stays small.
constexpr long MAX_FIELD = 1024;

void check_index(int index, int error)
{
  if ( index < 0 || index >= ERROR_ARG_COUNT )
    interr(error);
}

// Formats one argument with one conversion spec; false when the C library refuses it.
template <typename Arg>
bool append_one(qstring *out, const std::string &spec, Arg arg)
{
  char piece[2 * MAX_FIELD + 64];
  const int n = std::snprintf(piece, sizeof(piece), spec.c_str(), arg);
  if ( n < 0 || size_t(n) >= sizeof(piece) )
    return false;
  out->append(piece, size_t(n));
  return true;
}

// The argument slots a catalogue text takes its values from, in order.
class slot_reader_t
{
public:
  explicit slot_reader_t(const thread_error_state_t &state) : state_(state) {}
  // The next slot's value; false when all four are taken.
  bool take(uint64_t *value)
  {
    if ( next_ >= ERROR_ARG_COUNT )
      return false;
    *value = state_.arg_values[next_++];
    return true;
  }
  // The next slot's value when it is the address of its own stored text: that text ("(null)" for 0).
  bool take_text(const char **text)
  {
    const int slot = next_;
    uint64_t value = 0;
    if ( !take(&value) )
      return false;
    const qstring &stored = state_.arg_texts[slot];
    if ( value == 0 )
      *text = "(null)";
    else if ( stored.data() != nullptr && stored.stored_length() != 0 && value == uint64_t(uintptr_t(stored.data())) )
      *text = stored.data();
    else
      return false;
    return true;
  }

private:
  const thread_error_state_t &state_;
  int next_ = 0;
};

// One conversion of a catalogue text, read up to and with its conversion character.
struct catalog_conversion_t
{
  std::string spec;      // "%", flags, width, precision and size prefix, as the C library gets them
  bool wide = false;     // the size prefix asks for 64 bits
  char conversion = '\0'; // '\0' when the text ends first
};

// Reads the conversion after a "%" at *p and moves *p past it; a width or precision of "*" takes its slot.
// False when a slot is missing or a width or precision is too large.
bool read_catalog_conversion(const char **p, slot_reader_t *slots, catalog_conversion_t *c)
{
  const char *q = *p;
  std::string flags;
  while ( *q != '\0' && std::strchr("-+ #0", *q) != nullptr )
    flags += *q++;
  // Width and precision: digits, or "*" taking a slot.
  long width = 0;
  std::string precision;
  for ( int part = 0; part < 2; ++part )
  {
    if ( part == 1 )
    {
      if ( *q != '.' )
        break;
      ++q;
    }
    long number = 0;
    if ( *q == '*' )
    {
      ++q;
      uint64_t value = 0;
      if ( !slots->take(&value) )
        return false;
      number = int32_t(value);
      if ( number < 0 && part == 0 )
      {
        flags += '-';
        number = -number;
      }
      if ( number < 0 )
        continue; // a negative precision counts as none
    }
    else
    {
      while ( *q >= '0' && *q <= '9' && number <= MAX_FIELD )
        number = number * 10 + (*q++ - '0');
    }
    if ( number > MAX_FIELD )
      return false;
    if ( part == 0 )
      width = number;
    else
      precision = "." + std::to_string(number);
  }
  // Size prefix: the catalogue's texts were written for 32-bit int and long.
  std::string size_prefix;
  static const struct
  {
    const char *prefix;
    const char *passed; // what the C library gets for it
    bool wide;
  } size_prefixes[] = {
    {"I64", "", true}, {"I32", "", false}, {"ll", "", true}, {"hh", "hh", false}, {"h", "h", false},
    {"l", "", false},  {"j", "", true},    {"z", "", true},  {"t", "", true},     {"q", "", true},
    {"L", "", true},   {"I", "", true},
  };
  c->wide = false;
  for ( const auto &prefix : size_prefixes )
  {
    const size_t n = std::strlen(prefix.prefix);
    if ( std::strncmp(q, prefix.prefix, n) == 0 )
    {
      size_prefix = prefix.passed;
      c->wide = prefix.wide;
      q += n;
      break;
    }
  }
  // "%a" is a 64-bit value whose width was chosen for 32-bit ones: the width doubles.
  const long shown_width = *q == 'a' ? 2 * width : width;
  c->spec = "%" + flags + (shown_width != 0 ? std::to_string(shown_width) : "") + precision + size_prefix;
  c->conversion = *q != '\0' ? *q++ : '\0';
  *p = q;
  return true;
}

// Formats the next slot under the conversion. Every conversion is checked against the slot it takes: "%s"
// only from a slot that holds a text, no "%n", no floating conversions (slots hold integers). False when the
// conversion or its slot does not fit.
bool append_catalog_argument(qstring *out, const catalog_conversion_t &c, slot_reader_t *slots)
{
  const std::string &spec = c.spec;
  uint64_t value = 0;
  switch ( c.conversion )
  {
    case 'd':
    case 'i':
      return slots->take(&value)
          && (c.wide ? append_one(out, spec + "ll" + c.conversion, (long long)value)
                     : append_one(out, spec + c.conversion, int32_t(value)));
    case 'u':
    case 'o':
    case 'x':
    case 'X':
      return slots->take(&value)
          && (c.wide ? append_one(out, spec + "ll" + c.conversion, (unsigned long long)value)
                     : append_one(out, spec + c.conversion, uint32_t(value)));
    case 'a':
      return slots->take(&value) && append_one(out, spec + "llX", (unsigned long long)value);
    case 'c':
      return slots->take(&value) && append_one(out, spec + 'c', int(uint8_t(value)));
    case 'p':
      return slots->take(&value) && append_one(out, spec + 'p', reinterpret_cast<void *>(uintptr_t(value)));
    case 's':
    {
      const char *text = nullptr;
      return slots->take_text(&text) && append_one(out, spec + 's', text);
    }
    default: // "%n", floating conversions, unknown or missing conversion characters
      return false;
  }
}

// Renders a catalogue text (a printf format from a file) over the four argument slots: at most four slots,
// bounded widths, each conversion checked against its slot. False when the text does not fit its arguments.
bool render_catalog_text(qstring *out, const char *format, const thread_error_state_t &state)
{
  out->clear();
  slot_reader_t slots(state);
  const char *p = format;
  while ( *p != '\0' )
  {
    if ( *p != '%' )
    {
      const char *next = std::strchr(p, '%');
      const size_t n = next != nullptr ? size_t(next - p) : std::strlen(p);
      out->append(p, n);
      p += n;
      continue;
    }
    ++p;
    if ( *p == '%' )
    {
      out->push_back('%');
      ++p;
      continue;
    }
    catalog_conversion_t conversion;
    if ( !read_catalog_conversion(&p, &slots, &conversion) || !append_catalog_argument(out, conversion, &slots) )
      return false;
  }
  return true;
}

} // namespace

bool render_error_format(qstring *out, const char *format)
{
  return render_catalog_text(out, format, current_error_state());
}

thread_error_state_t &current_error_state()
{
  thread_local thread_error_state_t state;
  return state;
}

int32_t qerrno_set(int32_t code)
{
  thread_error_state_t &state = current_error_state();
  if ( code != -1 )
    state.qerrno = code;
  return state.qerrno;
}

int32_t qerrno_get()
{
  return current_error_state().qerrno;
}

void set_error_arg_number(int index, uint64_t value)
{
  check_index(index, 480);
  current_error_state().arg_values[index] = value;
}

uint64_t get_error_arg_number(int index)
{
  check_index(index, 482);
  return current_error_state().arg_values[index];
}

const char *error_arg_text(int index, const char *text)
{
  check_index(index, 481);
  thread_error_state_t &state = current_error_state();
  qstring &slot = state.arg_texts[index];
  if ( text == nullptr )
  {
    slot.release();
    state.arg_values[index] = 0;
    return nullptr;
  }
  slot.assign(text, std::strlen(text)); // allocates even for an empty text
  state.arg_values[index] = uint64_t(uintptr_t(slot.data()));
  return slot.data();
}

const char *get_error_arg_text(int index)
{
  check_index(index, 483);
  const qstring &slot = current_error_state().arg_texts[index];
  return slot.stored_length() != 0 ? slot.data() : nullptr;
}

const char *error_code_text(int32_t code)
{
  thread_error_state_t &state = current_error_state();
  if ( code == -1 )
    code = state.qerrno;
  if ( code == 0 )
  {
    state.error_code_buf = "No error";
    return state.error_code_buf.c_str();
  }
  if ( code == 1 )
    return system_error_text(-1);
  const char *format = catalog_message(code);
  qstring text;
  if ( format == nullptr )
    format_to_string(&text, "Unknown error code %d", code);
  else if ( !render_catalog_text(&text, format, state) )
    text = format; // a text that does not fit its arguments is shown as it stands
  state.error_code_buf = std::move(text);
  return state.error_code_buf.c_str();
}

const char *prefixed_error_text(const char *prefix, int32_t code)
{
  thread_error_state_t &state = current_error_state();
  qstring text(prefix);
  text += ": ";
  text += error_code_text(code);
  state.prefixed_buf = std::move(text);
  return state.prefixed_buf.c_str();
}

const char *system_error_text(int code)
{
  if ( code == -1 )
    code = errno;
  thread_error_state_t &state = current_error_state();
  const char *description = platform_error_description(code);
  if ( description != nullptr )
    state.system_error_buf = description;
  else
    format_to_string(&state.system_error_buf, "unknown error code %d", code);
  return state.system_error_buf.c_str();
}

const char *win_error_text(uint32_t code)
{
  thread_error_state_t &state = current_error_state();
  const char *description = code <= uint32_t(INT_MAX) ? platform_error_description(int(code)) : nullptr;
  if ( description == nullptr )
  {
    format_to_string(&state.win_error_buf, "Unknown error, code: 0x%08X", code);
    return state.win_error_buf.c_str();
  }
  qstring text(description);
  for ( size_t i = 0; i < text.size(); ++i )
    if ( text[i] == '\r' || text[i] == '\n' )
      text[i] = ' ';
  size_t n = text.size();
  while ( n > 0 && std::strchr(" \t\r\n\v\f", text[n - 1]) != nullptr )
    --n;
  state.win_error_buf.assign(text.data(), n);
  return state.win_error_buf.c_str();
}

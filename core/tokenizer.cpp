// The token scanner of token_reader_t, its line readers, its life cycle and the rendering of tokens as text.
#include "core/token_reader.h"

#include "core/error_state.h"
#include "core/file_ops.h"
#include "core/text_utils.h"
#include "core/token_reader_p.h"
#include "core/xfloat_text.h"
#include "platform/hex_digits.h"

#include <cerrno>
#include <cstring>
#include <new>

const char *const default_type_keywords[DEFAULT_TYPE_KEYWORD_COUNT] = {
  "__cdecl", "__pascal", "__stdcall", "__fastcall", "__thiscall", "__usercall", "__export", "__import",
  "__thread", "__declspec", "__far", "__near", "__huge", "__int8", "__int16", "__int32", "__int64", "__int128",
  "do", "if", "_es", "_cs", "_ss", "_ds", "asm", "for", "int", "new", "try", "auto", "bool", "case", "char",
  "else", "enum", "flat", "goto", "long", "this", "void", "break", "catch", "class", "const", "float", "short",
  "throw", "union", "while", "double", "extern", "friend", "inline", "public", "return", "signed", "sizeof",
  "static", "struct", "switch", "default", "mutable", "private", "typedef", "virtual", "continue", "register",
  "template", "unsigned", "volatile", "__interrupt", "namespace", "protected", "__unaligned", "__userpurge",
  "_BYTE", "_WORD", "_DWORD", "_QWORD", "_OWORD", "_TBYTE", "_UNKNOWN", "_BOOL1", "_BOOL2", "_BOOL4", "_BOOL8",
  "__spoils", "__attribute__", "__pure", "__noreturn", "__cppobj", "__ptr32", "__ptr64", "__restrict",
  "__hidden", "__array_ptr", "__struct_ptr", "__return_ptr", "__unused", "__shifted", "__pragma", "_Bool",
  "__golang", "__swiftcall", "__bitmask", "__offset", "__strlit", "__enum", "__stroff", "__custom", "__tabform",
  "__bin", "__oct", "__hex", "__dec", "__float", "__char", "__segm", "__off", "__invsign", "__invbits",
  "__lzero", "__sbin", "__soct", "__shex", "__udec", "__signed",
};

int fail(int code)
{
  return qerrno_set(code);
}

namespace
{

// Error with one numeric argument.
int fail_with(int code, uint64_t argument)
{
  set_error_arg_number(0, argument);
  return fail(code);
}

// Error 27 for the byte at p, which is skipped.
int illegal_character(token_reader_impl_t *r)
{
  const int8_t c = int8_t(*r->cursor);
  ++r->cursor;
  return fail_with(27, uint64_t(int64_t(c)));
}

// ---------------------------------------------------------------------------------------------------------
// Literals

// One character of a string or character literal at the cursor (a backslash sequence decoded into one
// byte). False at the end of the text.
bool literal_char(token_reader_impl_t *r, uint8_t *out)
{
  const char *p = r->cursor;
  if ( *p == '\0' )
    return false;
  if ( *p != '\\' )
  {
    *out = uint8_t(*p);
    r->cursor = p + 1;
    return true;
  }
  ++p;
  if ( *p == '\0' )
  {
    r->cursor = p;
    return false;
  }
  *out = uint8_t(unescape_char(&p));
  r->cursor = p;
  return true;
}

// The cursor stands on the opening quote.
int scan_string(token_reader_impl_t *r, lexer_token_t *token, bool wide)
{
  ++r->cursor;
  token->text.clear();
  for ( ;; )
  {
    // Plain runs are copied at once; only escapes go byte by byte.
    const char *run = r->cursor;
    while ( *run != '\0' && *run != '"' && *run != '\\' )
      ++run;
    if ( run != r->cursor )
    {
      token->text.append(r->cursor, size_t(run - r->cursor));
      r->cursor = run;
    }
    if ( *r->cursor == '"' )
    {
      ++r->cursor;
      break;
    }
    uint8_t c;
    if ( !literal_char(r, &c) )
      return fail(24);
    token->text.push_back(char(c));
  }
  token->kind = TOKEN_STRING;
  token->flag = wide ? 1 : 0;
  return 0;
}

// The cursor stands on the opening quote.
int scan_char_literal(token_reader_impl_t *r, lexer_token_t *token, bool wide)
{
  ++r->cursor;
  uint64_t value = 0;
  int count = 0;
  while ( *r->cursor != '\'' )
  {
    uint8_t c;
    if ( count == 4 || !literal_char(r, &c) )
      return fail(26);
    value = (value << 8) | c;
    ++count;
  }
  ++r->cursor;
  if ( count == 0 )
    return fail(26);
  if ( count == 1 )
    value = uint64_t(int64_t(int8_t(value)));
  token->kind = TOKEN_CHAR;
  token->number = value;
  token->flag = wide ? 1 : 0;
  return 0;
}

// ---------------------------------------------------------------------------------------------------------
// Punctuation

bool doubles(unsigned char c)
{
  return c == '&' || c == '+' || c == '-' || c == ':' || c == '<' || c == '>' || c == '|';
}

// An operator character at the cursor ("/*" and "//" are handled before).
void scan_operator(token_reader_impl_t *r, lexer_token_t *token)
{
  const unsigned char c = uint8_t(r->cursor[0]);
  const unsigned char next = uint8_t(r->cursor[1]);
  uint16_t code = c;
  size_t length = 1;
  if ( next == '=' )
  {
    code = uint16_t(c * 256 + '=');
    length = 2;
  }
  else if ( c == '-' && next == '>' )
  {
    code = token_pair('-', '>');
    length = 2;
  }
  else if ( next == c && doubles(c) )
  {
    code = uint16_t(c * 257);
    length = 2;
    if ( (c == '<' || c == '>') && r->cursor[2] == '=' )
    {
      code = uint16_t(code + '=');
      length = 3;
    }
  }
  r->cursor += length;
  token->kind = code;
}

} // namespace

// ---------------------------------------------------------------------------------------------------------
// Numbers

namespace {

// Where the floating-point form of a number ends: digits, at most one ".", at most one exponent with an
// optional sign, digits. A number is a float when it holds a "." or an exponent, or breaks that form.
struct number_shape_t
{
  const char *end;
  bool is_float;
  bool malformed;
};

number_shape_t measure_number(const char *start)
{
  const char *p = start;
  bool dot = false;
  bool exponent = false;
  for ( ;; )
  {
    const unsigned char c = uint8_t(*p);
    if ( is_digit(c) )
    {
      ++p;
    }
    else if ( c == '.' )
    {
      if ( dot || exponent )
        return {p, true, true};
      dot = true;
      ++p;
    }
    else if ( c == 'e' || c == 'E' )
    {
      if ( exponent )
        return {p, true, true};
      exponent = true;
      ++p;
      if ( *p == '+' || *p == '-' )
        ++p;
    }
    else
    {
      return {p, dot || exponent, false};
    }
  }
}

// A floating-point literal from start, with an optional "F" or "L" suffix.
int scan_float(token_reader_impl_t *r, lexer_token_t *token, const char *start, number_shape_t shape)
{
  const char *p = shape.end;
  bool malformed = shape.malformed;
  if ( !malformed && strchr("LlFf", *p) != nullptr && *p != '\0'
    && (is_ident_char(uint8_t(p[1])) || p[1] == '.') )
    malformed = true;
  if ( malformed )
  {
    while ( is_ident_char(uint8_t(*p)) || *p == '.' )
      ++p;
    r->cursor = p;
    return fail(21);
  }
  const char *end = start;
  xfloat_t value;
  if ( text_to_float(&end, &value) != XFLOAT_OK )
  {
    r->cursor = end > p ? end : p;
    return fail(22);
  }
  if ( *end != '\0' && strchr("FfLl", *end) != nullptr )
    ++end;
  r->cursor = end;
  token->kind = TOKEN_FLOAT;
  token->value.real = value;
  token->flag = 0;
  r->number_source.assign(start, size_t(end - start));
  return 0;
}

// An integer literal from start: base prefix, digits (modulo 2^64), suffixes.
int scan_integer(token_reader_impl_t *r, lexer_token_t *token, const char *start)
{
  const char *p = start;
  unsigned base = 10;
  if ( p[0] == '0' && (p[1] == 'x' || p[1] == 'X') )
  {
    base = 16;
    p += 2;
    if ( hex_digit_value(uint8_t(*p)) < 0 )
    {
      r->cursor = *p != '\0' ? p + 1 : p;
      return fail_with(20, uint8_t(*p));
    }
  }
  else if ( p[0] == '0' && (p[1] == 'b' || p[1] == 'B') )
  {
    base = 2;
    p += 2;
    if ( *p != '0' && *p != '1' )
    {
      r->cursor = *p != '\0' ? p + 1 : p;
      return fail_with(20, uint8_t(*p));
    }
  }
  else if ( p[0] == '0' )
  {
    base = 8;
  }
  uint64_t value = 0;
  int digit;
  while ( (digit = hex_digit_value(uint8_t(*p))) >= 0 )
  {
    if ( unsigned(digit) >= base )
    {
      r->cursor = p + 1;
      return fail_with(20, uint8_t(*p));
    }
    value = value * base + unsigned(digit);
    ++p;
  }
  bool long_long = false;
  for ( ;; )
  {
    if ( *p == 'u' || *p == 'U' )
    {
      ++p;
    }
    else if ( *p == 'l' || *p == 'L' )
    {
      // "LL" marks 64 bits; a further "L" after it makes a second pair
      if ( p[1] == 'l' || p[1] == 'L' )
      {
        if ( long_long )
        {
          r->cursor = p + 2;
          return fail(23);
        }
        long_long = true;
      }
      ++p;
    }
    else
    {
      break;
    }
  }
  uint16_t kind = long_long ? TOKEN_INT64 : TOKEN_INTEGER;
  if ( (p[0] == 'i' || p[0] == 'I') && p[1] == '3' && p[2] == '2' )
  {
    kind = TOKEN_INTEGER;
    p += 3;
  }
  else if ( (p[0] == 'i' || p[0] == 'I') && p[1] == '6' && p[2] == '4' )
  {
    kind = TOKEN_INT64;
    p += 3;
  }
  r->cursor = p;
  token->kind = kind;
  token->number = value;
  token->value.integer = int64_t(value);
  token->flag = 0;
  r->number_source.assign(start, size_t(p - start));
  return 0;
}

} // namespace

int scan_number(token_reader_impl_t *r, lexer_token_t *token)
{
  const char *start = r->cursor;
  const number_shape_t shape = measure_number(start);
  return shape.is_float ? scan_float(r, token, start, shape) : scan_integer(r, token, start);
}

// ---------------------------------------------------------------------------------------------------------
// Scanner

int scan_token(token_reader_impl_t *r, lexer_token_t *token, size_t base_depth)
{
  for ( ;; )
  {
    if ( r->in_comment )
    {
      const char *close = strstr(r->cursor, "*/");
      if ( close != nullptr )
      {
        r->cursor = close + 2;
        r->in_comment = false;
      }
      else
      {
        r->cursor += strlen(r->cursor);
      }
    }
    while ( is_blank(uint8_t(*r->cursor)) )
      ++r->cursor;
    r->token_start = r->cursor;
    const unsigned char c = uint8_t(*r->cursor);
    if ( c == '/' && r->cursor[1] == '/' )
      r->cursor += strlen(r->cursor);
    if ( *r->cursor == '\0' )
    {
      if ( r->expansions.size() > base_depth )
      {
        leave_level(r);
        continue;
      }
      token->kind = TOKEN_END;
      return 0;
    }
    if ( c >= 0x80 )
    {
      if ( r->expansions.empty() || !is_marker(r->cursor) )
        return illegal_character(r);
      enter_argument(r);
      continue;
    }
    if ( is_ident_start(c) )
    {
      if ( c == 'L' && r->cursor[1] == '"' )
      {
        ++r->cursor;
        return scan_string(r, token, true);
      }
      if ( c == 'L' && r->cursor[1] == '\'' )
      {
        ++r->cursor;
        return scan_char_literal(r, token, true);
      }
      const char *end = r->cursor + 1;
      while ( is_ident_char(uint8_t(*end)) )
        ++end;
      token->text.assign(r->cursor, size_t(end - r->cursor));
      r->cursor = end;
      const int resolved = resolve_identifier(r, token);
      if ( resolved < 0 )
        return qerrno_get();
      if ( resolved > 0 )
        continue;
      return 0;
    }
    if ( is_digit(c) )
      return scan_number(r, token);
    if ( c == '.' )
    {
      if ( is_digit(uint8_t(r->cursor[1]))
        && (r->cursor == r->text_start || !is_ident_char(uint8_t(r->cursor[-1]))) )
        return scan_number(r, token);
      if ( r->cursor[1] == '.' && r->cursor[2] == '.' )
      {
        r->cursor += 3;
        token->kind = TOKEN_ELLIPSIS;
        return 0;
      }
    }
    if ( char_is(c, CHAR_SINGLE) )
    {
      ++r->cursor;
      token->kind = c;
      return 0;
    }
    if ( char_is(c, CHAR_OPERATOR) )
    {
      if ( c == '/' && r->cursor[1] == '*' )
      {
        r->cursor += 2;
        r->in_comment = true;
        continue;
      }
      scan_operator(r, token);
      return 0;
    }
    if ( c == '"' )
      return scan_string(r, token, false);
    if ( c == '\'' )
      return scan_char_literal(r, token, false);
    if ( c == '#' && !r->expansions.empty() && is_marker(r->cursor + 1) )
    {
      stringise_argument(r, token);
      return 0;
    }
    return illegal_character(r);
  }
}

int next_token(token_reader_impl_t *r, lexer_token_t *token)
{
  for ( ;; )
  {
    int code = scan_token(r, token, 0);
    if ( code != 0 || r->expansions.empty() )
      return code;
    bool rescan = false;
    code = paste_tokens(r, token, &rescan);
    if ( code != 0 || !rescan )
      return code;
  }
}

int read_token(token_reader_t *reader, lexer_token_t *token)
{
  token_reader_impl_t *r = impl(reader);
  for ( ;; )
  {
    if ( !r->have_line )
    {
      const char *line = nullptr;
      const int code = next_logical_line(r, &line);
      leave_all_levels(r);
      if ( code != 0 )
      {
        // The line buffer may have been refilled: nothing points into it until the next line.
        r->text_start = r->cursor = r->token_start = "";
        if ( code != 34 )
          return code;
        token->kind = TOKEN_END;
        return 0;
      }
      r->text_start = line;
      r->cursor = line;
      r->have_line = true;
    }
    const int code = next_token(r, token);
    if ( code != 0 )
      return code;
    if ( token->kind != TOKEN_END )
      return 0;
    r->have_line = false;
  }
}

// ---------------------------------------------------------------------------------------------------------
// Line readers

int file_line_reader(token_reader_impl_t *r, qstring *out)
{
  if ( r->stream == nullptr )
    return -1;
  const ptrdiff_t length = file_read_line(out, r->stream);
  if ( length < 0 )
    return ferror(r->stream) != 0 ? 1 : -1;
  // The byte-order mark is dropped from the first line only.
  if ( length >= 3 && memcmp(out->c_str(), "\xEF\xBB\xBF", 3) == 0 )
  {
    const int64_t position = file_tell(r->stream);
    if ( position >= 0 && position <= length + 2 )
    {
      const qstring rest(out->c_str() + 3, size_t(length - 3));
      *out = rest;
    }
  }
  return 0;
}

namespace
{

int text_line_reader(token_reader_impl_t *r, qstring *out)
{
  const char *p = r->text_cursor;
  if ( p == nullptr || *p == '\0' )
    return -1;
  const char *end = strchr(p, '\n');
  if ( end == nullptr )
  {
    out->assign(p, strlen(p));
    r->text_cursor = p + strlen(p);
  }
  else
  {
    out->assign(p, size_t(end - p));
    r->text_cursor = end + 1;
  }
  return 0;
}

void reset_scan_state(token_reader_impl_t *r)
{
  leave_all_levels(r);
  r->line_number = 0;
  r->in_comment = false;
  r->have_line = false;
  r->cond = conditional_state_t {};
  r->line.clear();
  r->text_start = r->cursor = r->token_start = "";
}

} // namespace

void close_inputs(token_reader_impl_t *r)
{
  while ( !r->includes.empty() )
  {
    if ( r->stream != nullptr )
      file_close(r->stream);
    include_frame_t &frame = r->includes.back();
    r->stream = frame.stream;
    r->includes.pop_back();
  }
  if ( r->stream != nullptr )
    file_close(r->stream);
  r->stream = nullptr;
  r->file_name.release();
  r->has_file_name = false;
  r->line_reader = nullptr;
  r->text_cursor = nullptr;
}

// ---------------------------------------------------------------------------------------------------------
// Life cycle

void keyword_map_t::build(const char *const *words, size_t count)
{
  size_t size = 16;
  while ( size < 2 * count )
    size *= 2;
  slots_.assign(size, slot_t {});
  mask_ = size - 1;
  for ( size_t k = 0; k < count; ++k )
  {
    const std::string_view word = words[k];
    size_t i = text_hash_t {}(word) & mask_;
    while ( slots_[i].code != 0 && slots_[i].text != word )
      i = (i + 1) & mask_;
    slots_[i].text = word;
    slots_[i].code = uint16_t(TOKEN_FIRST_KEYWORD + k);
  }
}

token_reader_impl_t::~token_reader_impl_t()
{
  close_inputs(this);
  if ( !macros_shared )
    free_macro_table(macros);
}

token_reader_t *create_token_reader(const char *const *keywords, size_t count, void *user_data, uint32_t options)
{
  try
  {
    auto r = std::make_unique<token_reader_impl_t>();
    if ( keywords == nullptr )
    {
      keywords = default_type_keywords;
      count = DEFAULT_TYPE_KEYWORD_COUNT;
    }
    r->keywords.build(keywords, count);
    r->user = user_data;
    r->macros = new_macro_table(options);
    return r.release();
  }
  catch ( const std::bad_alloc & )
  {
    return nullptr;
  }
}

void destroy_token_reader(token_reader_t *reader)
{
  delete impl(reader);
}

int token_reader_t::open_file(const char *path)
{
  token_reader_impl_t *r = impl(this);
  close_inputs(r);
  reset_scan_state(r);
  r->line_reader = file_line_reader;
  if ( path == nullptr )
  {
    errno = ENOENT;
    return fail(1);
  }
  r->file_name = path;
  r->has_file_name = true;
  r->stream = file_open_text(path);
  if ( r->stream == nullptr )
    return qerrno_get();
  if ( r->macros_shared )
    reset_macros(this, nullptr, 0);
  return 0;
}

int token_reader_t::set_text(const char *text, macro_table_t *shared_macros)
{
  token_reader_impl_t *r = impl(this);
  close_inputs(r);
  reset_scan_state(r);
  r->line_reader = text_line_reader;
  r->text_cursor = text;
  if ( shared_macros != nullptr )
    reset_macros(this, shared_macros, 0);
  return 0;
}

void token_reader_t::end_input(bool reset)
{
  token_reader_impl_t *r = impl(this);
  if ( reset )
    reset_macros(this, nullptr, 0);
  close_inputs(r);
  r->line_number = -1;
  r->in_comment = false;
  r->have_line = false;
  leave_all_levels(r);
}

const char *token_reader_t::get_position(int32_t *line_number, const char **line_text, int n) const
{
  const token_reader_impl_t *r = impl(this);
  if ( n < 1 )
  {
    if ( line_number != nullptr )
      *line_number = r->line_number;
    if ( line_text != nullptr )
      *line_text = r->line.c_str();
    return r->has_file_name ? r->file_name.c_str() : nullptr;
  }
  if ( size_t(n) > r->includes.size() )
    return nullptr;
  const include_frame_t &frame = r->includes[r->includes.size() - size_t(n)];
  if ( line_number != nullptr )
    *line_number = frame.line_number;
  if ( line_text != nullptr )
    *line_text = "#include ...";
  return frame.has_file_name ? frame.file_name.c_str() : nullptr;
}

void *token_reader_t::set_user_data(void *user_data)
{
  token_reader_impl_t *r = impl(this);
  void *previous = r->user;
  r->user = user_data;
  return previous;
}

void *token_reader_t::user_data() const
{
  return impl(this)->user;
}

line_hook_t token_reader_t::set_line_hook(line_hook_t hook)
{
  token_reader_impl_t *r = impl(this);
  const line_hook_t previous = r->line_hook;
  r->line_hook = hook;
  return previous;
}

// ---------------------------------------------------------------------------------------------------------
// Tokens as values and as text

void lexer_token_copy(lexer_token_t *destination, const lexer_token_t &source)
{
  if ( destination == &source )
    return;
  destination->text = source.text;
  destination->kind = source.kind;
  destination->number = source.number;
  destination->flag = source.flag;
  destination->value = source.value;
}

void free_lexer_tokens(qvector<lexer_token_t> *tokens)
{
  tokens->release();
}

const char *token_to_text(const lexer_token_t &token, qstring *out)
{
  qstring escaped;
  switch ( token.kind )
  {
    case TOKEN_END:
      *out = "<END>";
      break;
    case TOKEN_NAME:
      *out = token.text;
      break;
    case TOKEN_INTEGER:
      format_to_string(out, "0x%a", token.number);
      break;
    case TOKEN_STRING:
      escape_text(&escaped, token.text.c_str(), ptrdiff_t(token.text.size()));
      format_to_string(out, "%s\"%s\"", token.flag != 0 ? "L" : "", escaped.c_str());
      break;
    case TOKEN_CHAR:
      if ( token.number == 0 )
      {
        *out = "'\\0'";
      }
      else
      {
        char bytes[8];
        size_t count = 0;
        const int64_t value = int64_t(token.number);
        if ( value >= -128 && value <= 127 )
        {
          bytes[count++] = char(value);
        }
        else
        {
          for ( int shift = 56; shift >= 0; shift -= 8 )
            if ( const char b = char(token.number >> shift); b != 0 )
              bytes[count++] = b;
        }
        escape_text(&escaped, bytes, ptrdiff_t(count));
        format_to_string(out, "'%s'", escaped.c_str());
      }
      break;
    case TOKEN_TYPE:
      format_to_string(out, "@type %s", token.text.c_str());
      break;
    case TOKEN_FLOAT:
    {
      char buffer[1024];
      float_to_text(buffer, sizeof(buffer), token.value.real, 50);
      *out = buffer;
      break;
    }
    case TOKEN_INT64:
      format_to_string(out, "0x%I64xi64", token.value.integer);
      break;
    case TOKEN_ELLIPSIS:
      *out = "...";
      break;
    // The doubled code plus '=' would otherwise read as '<' and 'y'.
    case token_pair('<', '<') + '=':
      *out = "<<=";
      break;
    case token_pair('>', '>') + '=':
      *out = ">>=";
      break;
    default:
      if ( token.kind >= TOKEN_FIRST_KEYWORD && token.kind <= TOKEN_LAST_KEYWORD )
      {
        *out = token.text;
      }
      else
      {
        char chars[3] = {char(token.kind >> 8), char(token.kind & 0xFF), '\0'};
        *out = chars[0] != '\0' ? chars : chars + 1;
      }
      break;
  }
  return out->c_str();
}

// The cfg reader: directives read with a token reader, converted by kind and stored into caller variables.
#include "core/cfg_reader.h"

#include "core/debug_flags.h"
#include "core/directories.h"
#include "core/error_state.h"
#include "core/file_ops.h"
#include "core/include_search.h"
#include "core/json_reader.h"
#include "core/text_utils.h"
#include "core/ui_callback.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <iterator>
#include <string>

qvector<extra_config_keyword_table_t> extra_config_keyword_tables;
uint8_t config_directive_guard = 0;

namespace {

// Keyword codes of a cfg reader.
constexpr uint16_t KW_TRUE = 128;
constexpr uint16_t KW_FALSE = 129;
constexpr uint16_t KW_NO = 130;
constexpr uint16_t KW_OFF = 131;
constexpr uint16_t KW_ON = 132;
constexpr uint16_t KW_YES = 133;
const char *const config_keywords[] = {"true", "false", "NO", "OFF", "ON", "YES"};

// Reads a token; a failure is shown.
bool read_shown(token_reader_t *reader, lexer_token_t *token)
{
  const int code = next_config_token(reader, token);
  if ( code != 0 )
    config_directive_error(reader, code);
  return code == 0;
}

bool is_text_directive(token_reader_t *reader)
{
  return !config_state(reader)->directive_text.empty();
}

void update_position(token_reader_t *reader)
{
  config_reader_state *state = config_state(reader);
  if ( !state->directive_text.empty() )
  {
    state->file_name.clear();
    state->line_text = state->directive_text;
    state->line_number = 0;
    return;
  }
  int32_t line = -1;
  const char *line_text = nullptr;
  const char *file = reader->get_position(&line, &line_text, 0);
  state->file_name = file != nullptr ? file : "";
  state->line_text = line_text != nullptr ? line_text : "";
  state->line_number = line;
}

const config_keyword_t *find_config_keyword(const config_keyword_t *table, size_t count, const char *name)
{
  for ( size_t i = 0; i < count; ++i )
    if ( table[i].name != nullptr && std::strcmp(table[i].name, name) == 0 )
      return &table[i];
  return nullptr;
}

// Bounds of a number entry; mask 0 for signed entries, else the all-ones value of the width.
struct number_bounds_t
{
  uint64_t lower;
  uint64_t upper;
  uint64_t mask;
};

number_bounds_t bounds_of(const config_keyword_t &entry, uint32_t kind)
{
  bool is_unsigned;
  bool explicit_bounds;
  int bits;
  if ( kind == CFG_INT64 )
  {
    is_unsigned = (entry.flags & CFG_INT64_UNSIGNED) != 0;
    explicit_bounds = (entry.flags & CFG_INT64_BOUNDS) != 0;
    bits = 64;
  }
  else
  {
    is_unsigned = (entry.flags & CFG_INT_UNSIGNED) != 0;
    explicit_bounds = (entry.flags & CFG_INT_BOUNDS) != 0;
    const uint32_t width = entry.flags & CFG_INT_WIDTH_MASK;
    bits = width == CFG_INT_8 ? 8 : width == CFG_INT_16 ? 16 : 32;
  }
  const uint64_t all_ones = bits == 64 ? ~uint64_t(0) : (uint64_t(1) << bits) - 1;
  number_bounds_t b;
  b.mask = is_unsigned ? all_ones : 0;
  if ( explicit_bounds )
  {
    b.lower = entry.first;
    b.upper = entry.second;
  }
  else if ( is_unsigned )
  {
    b.lower = 0;
    b.upper = all_ones;
  }
  else
  {
    b.upper = all_ones >> 1;
    b.lower = ~b.upper; // the most negative value of the width, sign-extended
  }
  return b;
}

// A number value, "-" allowed before it; out-of-range values are warned about and clamped to the bound.
bool read_config_number(token_reader_t *reader, const lexer_token_t &value_token, const number_bounds_t &b,
                        uint64_t *out)
{
  const lexer_token_t *t = &value_token;
  lexer_token_t after_minus;
  const bool negative = t->kind == '-';
  if ( negative )
  {
    if ( !read_shown(reader, &after_minus) )
      return false;
    t = &after_minus;
  }
  uint64_t value;
  if ( t->kind == TOKEN_INTEGER || t->kind == TOKEN_CHAR )
    value = t->number;
  else if ( t->kind == TOKEN_INT64 )
    value = uint64_t(t->value.integer);
  else
  {
    config_directive_error(reader, CFG_MSG_NUMBER_EXPECTED);
    return false;
  }
  if ( negative )
    value = 0 - value;

  if ( b.mask != 0 )
  {
    uint64_t n = value & b.mask;
    // A negative number written for the field ("-1" for 0xFF) keeps its bits of the field.
    const uint64_t top_bit = (b.mask >> 1) + 1;
    if ( n != value && !((n & top_bit) != 0 && (value | b.mask) == ~uint64_t(0)) )
      n = value;
    if ( n < b.lower )
    {
      config_error(reader, "number 0x%I64X is too low (must be at least 0x%I64X)", n, b.lower);
      n = b.lower;
    }
    else if ( n > b.upper )
    {
      config_error(reader, "number 0x%I64X is too high (must be at most 0x%I64X)", n, b.upper);
      n = b.upper;
    }
    *out = n;
    return true;
  }
  int64_t s = int64_t(value);
  if ( s < int64_t(b.lower) )
  {
    config_error(reader, "number %I64d is too low (must be at least %I64d)", s, int64_t(b.lower));
    s = int64_t(b.lower);
  }
  if ( s > int64_t(b.upper) )
  {
    config_error(reader, "number %I64d is too high (must be at most %I64d)", s, int64_t(b.upper));
    s = int64_t(b.upper);
  }
  *out = uint64_t(s);
  return true;
}

// A value of several tokens: strings, and for text also names and printable punctuation, joined. Ended by
// ";", by the end of a directive text, or in a file by a name, which starts the next directive and is
// left for it.
bool read_config_raw_string(token_reader_t *reader, const lexer_token_t &value_token, qstring *out)
{
  const bool text = is_text_directive(reader);
  lexer_token_t t;
  lexer_token_copy(&t, value_token);
  out->clear();
  for ( ;; )
  {
    if ( t.kind == TOKEN_STRING || (text && t.kind == TOKEN_NAME) )
      out->append(t.text);
    else if ( text && t.kind >= 33 && t.kind <= 127 )
      out->push_back(char(t.kind));
    else
      break;
    if ( !read_shown(reader, &t) )
      return false;
  }
  if ( t.kind == ';' || (text && t.kind == TOKEN_END) )
    return true;
  if ( !text && t.kind == TOKEN_NAME )
  {
    config_state(reader)->unread.push_back(std::move(t));
    return true;
  }
  config_directive_error(reader, CFG_MSG_SEMICOLON_EXPECTED);
  return false;
}

// Step 4 of a directive: the value converted by the entry's kind. False when a message was shown.
bool convert_value(token_reader_t *reader, const config_keyword_t &entry, uint32_t kind, const lexer_token_t &name,
                   const lexer_token_t &value, config_value_t *out)
{
  switch ( kind )
  {
    case CFG_STRING:
      if ( (entry.flags & CFG_STRING_RAW) != 0 )
        return read_config_raw_string(reader, value, &out->text);
      if ( value.kind != TOKEN_STRING && !(value.kind == TOKEN_NAME && is_text_directive(reader)) )
      {
        config_directive_error(reader, CFG_MSG_STRING_EXPECTED);
        return false;
      }
      out->text = value.text;
      return true;
    case CFG_INTEGER:
    case CFG_INT64:
      return read_config_number(reader, value, bounds_of(entry, kind), &out->number);
    case CFG_BOOLEAN:
      switch ( value.kind )
      {
        case KW_TRUE:
        case KW_ON:
        case KW_YES:
          out->number = 1;
          return true;
        case KW_FALSE:
        case KW_NO:
        case KW_OFF:
          out->number = 0;
          return true;
        default:
          config_directive_error(reader, CFG_MSG_BOOLEAN_EXPECTED);
          return false;
      }
    case CFG_HANDLER:
      out->reader = reader;
      lexer_token_copy(&out->name, name);
      lexer_token_copy(&out->token, value);
      return true;
    case CFG_JSON:
    {
      const int code = read_config_json(reader, value, &out->json);
      if ( code != 0 )
      {
        config_directive_error(reader, code);
        return false;
      }
      return true;
    }
    default:
      config_directive_error(reader, CFG_MSG_UNSUPPORTED_KIND);
      return false;
  }
}

template <typename T>
void set_bits(void *target, uint64_t mask, bool on)
{
  T word;
  std::memcpy(&word, target, sizeof(T));
  word = on ? T(word | T(mask)) : T(word & T(~T(mask)));
  std::memcpy(target, &word, sizeof(T));
}

template <typename T>
void store_as(void *target, uint64_t value)
{
  const T v = T(value);
  std::memcpy(target, &v, sizeof(T));
}

intptr_t store_config_value(const config_keyword_t &entry, token_reader_t *reader, uint32_t kind,
                            const config_value_t &value, void *base)
{
  void *target = reinterpret_cast<void *>(uintptr_t(entry.target));
  if ( (entry.flags & CFG_OFFSET) != 0 )
  {
    if ( base == nullptr )
      return CFG_RESULT_UNRECOGNISED;
    if ( kind != CFG_HANDLER )
      target = static_cast<char *>(base) + entry.target;
  }
  switch ( kind )
  {
    case CFG_STRING:
    {
      if ( (entry.flags & CFG_STRING_QSTRING) != 0 )
      {
        static_cast<qstring *>(target)->assign(value.text.c_str(), value.text.size());
        return CFG_RESULT_OK;
      }
      const size_t size = size_t(entry.first);
      if ( value.text.size() >= size )
        config_error(reader, "String '%s' is too long, truncated to %zu characters\n", value.text.c_str(),
                     size - 1);
      copy_bounded(static_cast<char *>(target), value.text.c_str(), ptrdiff_t(size));
      return CFG_RESULT_OK;
    }
    case CFG_INTEGER:
      switch ( entry.flags & CFG_INT_WIDTH_MASK )
      {
        case 0:
          store_as<uint32_t>(target, value.number);
          return CFG_RESULT_OK;
        case CFG_INT_8:
          store_as<uint8_t>(target, value.number);
          return CFG_RESULT_OK;
        case CFG_INT_16:
          store_as<uint16_t>(target, value.number);
          return CFG_RESULT_OK;
        default:
          return CFG_RESULT_REFUSED;
      }
    case CFG_BOOLEAN:
      switch ( entry.flags & CFG_BOOL_WIDTH_MASK )
      {
        case 0:
          set_bits<uint32_t>(target, entry.first, value.number != 0);
          return CFG_RESULT_OK;
        case CFG_BOOL_BYTE_BITS:
          set_bits<uint8_t>(target, entry.first, value.number != 0);
          return CFG_RESULT_OK;
        case CFG_BOOL_WORD16_BITS:
          set_bits<uint16_t>(target, entry.first, value.number != 0);
          return CFG_RESULT_OK;
        case CFG_BOOL_BYTE:
          store_as<uint8_t>(target, value.number != 0 ? 1 : 0);
          return CFG_RESULT_OK;
        default:
          return CFG_RESULT_REFUSED;
      }
    case CFG_INT64:
      store_as<uint64_t>(target, value.number);
      return CFG_RESULT_OK;
    case CFG_HANDLER:
      if ( (entry.flags & CFG_OFFSET) != 0 )
        return reinterpret_cast<config_base_handler_t>(target)(value.reader, &value.name, &value.token, entry.first,
                                                               entry.second, base);
      if ( (entry.flags & CFG_HANDLER_PARAMS) != 0 )
        return reinterpret_cast<config_param_handler_t>(target)(value.reader, &value.name, &value.token,
                                                                entry.first, entry.second);
      return reinterpret_cast<config_handler_t>(target)(value.reader, &value.name, &value.token);
    case CFG_JSON:
      json_copy(static_cast<json_value_t *>(target), &value.json);
      return CFG_RESULT_OK;
    default:
      return CFG_RESULT_REFUSED;
  }
}

// Step 6 for every result but "unrecognised".
bool finish_directive(token_reader_t *reader, intptr_t result)
{
  switch ( result )
  {
    case CFG_RESULT_OK:
      return true;
    case CFG_RESULT_UNRECOGNISED:
      break;
    case CFG_RESULT_REFUSED:
      config_directive_error(reader, CFG_MSG_UNSUPPORTED_KIND);
      break;
    case CFG_RESULT_BAD_VALUE:
      config_directive_error(reader, CFG_MSG_BAD_VALUE);
      break;
    default:
      config_error(reader, "%s", reinterpret_cast<const char *>(result));
      break;
  }
  config_directive_error(reader, CFG_MSG_DIRECTIVE_FAILED);
  return false;
}

bool handle_result(token_reader_t *reader, intptr_t result)
{
  if ( result != CFG_RESULT_UNRECOGNISED || !is_text_directive(reader) )
    return finish_directive(reader, result);
  // A directive given as text that nothing here knows: the user interface may know it.
  if ( config_directive_guard != 0 )
    return false;
  config_directive_guard = 1;
  const ui_callback_t callback = ui_callback;
  const intptr_t answer = callback != nullptr
                          ? intptr_t(callback(ui_code_cfg_directive, config_state(reader)->directive_text.c_str()))
                          : CFG_RESULT_UNRECOGNISED;
  config_directive_guard = 0;
  return finish_directive(reader, answer);
}

intptr_t unrecognised(token_reader_t *, const lexer_token_t *, const lexer_token_t *)
{
  return CFG_RESULT_UNRECOGNISED;
}

// The directory part of a path ("" when it has none).
std::string directory_of(const char *path)
{
  const char *slash = nullptr;
  for ( const char *p = path; *p != '\0'; ++p )
    if ( *p == '/' || *p == '\\' )
      slash = p;
  return slash != nullptr ? std::string(path, size_t(slash - path)) : std::string();
}

bool read_directives(token_reader_t *reader, const config_keyword_t *table, size_t count, config_handler_t handler,
                     void *base)
{
  bool end = false;
  while ( parse_config_directive(&end, reader, table, count, handler, base) && !end )
  {
  }
  return end;
}

bool read_config_files(const char *name, int mode, const config_keyword_t *table, size_t count,
                       config_handler_t handler, const char *const *macro_names, size_t macro_count, void *base)
{
  if ( name == nullptr )
    return false;
  char path[PATH_MAX];
  const bool fits = path_extension(name) == nullptr
                    ? set_path_extension(path, sizeof(path), name, "cfg") != nullptr
                    : std::strlen(name) < sizeof(path) && copy_bounded(path, name, sizeof(path)) != nullptr;
  if ( !fits )
  {
    config_error(nullptr, "%s\n", system_error_text(ENAMETOOLONG));
    return false;
  }
  qvector<qstring> files;
  if ( mode == 2 )
    files.emplace_back(path);
  else if ( !find_config_files(&files, path) )
    return false;

  token_reader_t *reader = make_config_reader(macro_names, macro_count);
  if ( reader == nullptr )
    return false;
  for ( size_t i = 0; i < files.size(); ++i )
    set_include_paths(directory_of(files[i].c_str()).c_str(), i != 0);

  config_reader_state *state = config_state(reader);
  bool all_read = true;
  for ( const qstring &file : files )
  {
    state->unread.release();
    if ( const int code = reader->open_file(file.c_str()); code != 0 )
    {
      config_error(nullptr, "%s: %s\n", file.c_str(), error_code_text(code));
      all_read = false;
      break;
    }
    if ( (debug_flags & CFG_DEBUG_FLAG) != 0 )
      log_printf("cfg: processing \"%s\"\n", file.c_str());
    state->directive_text.clear();
    if ( !read_directives(reader, table, count, handler, base) )
      all_read = false;
  }
  destroy_config_reader(reader);
  return all_read;
}

} // namespace

bool read_config_source(const char *name_or_text, int mode, const config_keyword_t *table, size_t count,
                        config_handler_t handler, const char *const *macro_names, size_t macro_count, void *base)
{
  if ( mode != 0 )
    return read_config_files(name_or_text, mode, table, count, handler, macro_names, macro_count, base);
  if ( name_or_text == nullptr )
    return false;
  token_reader_t *reader = make_config_reader(macro_names, macro_count);
  if ( reader == nullptr )
    return false;
  config_state(reader)->directive_text = name_or_text;
  bool end = false;
  if ( const int code = reader->set_text(name_or_text, nullptr); code != 0 )
    config_directive_error(reader, code);
  else
    end = read_directives(reader, table, count, handler, base);
  destroy_config_reader(reader);
  return end;
}

int next_config_token(token_reader_t *reader, lexer_token_t *token)
{
  config_reader_state *state = config_state(reader);
  if ( !state->unread.empty() )
  {
    lexer_token_copy(token, state->unread.back());
    state->unread.pop_back();
    return 0;
  }
  return read_token(reader, token);
}

int read_config_json(token_reader_t *reader, const lexer_token_t &first, json_value_t *out)
{
  // The value may span many tokens; what the parse reads past it starts the next directive.
  config_reader_state *state = config_state(reader);
  qvector<lexer_token_t> tokens;
  tokens.swap(state->unread);
  tokens.emplace_back();
  lexer_token_copy(&tokens.back(), first);
  const int code = json_parse_tokens(out, reader, &tokens);
  state->unread.swap(tokens);
  return code;
}

token_reader_t *make_config_reader(const char *const *macro_names, size_t count)
{
  auto *state = new config_reader_state;
  token_reader_t *reader =
    create_token_reader(config_keywords, std::size(config_keywords), state, TOKEN_READER_SYSTEM_MACROS);
  if ( reader == nullptr )
  {
    delete state;
    return nullptr;
  }
  for ( size_t i = 0; i < count; ++i )
    define_config_macro(reader, macro_names[i]);
  return reader;
}

void destroy_config_reader(token_reader_t *reader)
{
  if ( reader == nullptr )
    return;
  delete config_state(reader);
  destroy_token_reader(reader);
}

config_reader_state *config_state(token_reader_t *reader)
{
  return static_cast<config_reader_state *>(reader->user_data());
}

void define_config_macro(token_reader_t *reader, const char *name)
{
  std::string macro = "__" + std::string(name) + "__";
  upper_case_in_place(macro.data());
  if ( (debug_flags & CFG_DEBUG_FLAG) != 0 )
    log_printf("cfg: define macro %s\n", macro.c_str());
  // "__NAME__" is never empty and takes no parameters: the definition cannot be refused.
  (void)define_macro(reader, macro.c_str(), "", 0, false);
}

bool parse_config_directive(bool *end, token_reader_t *reader, const config_keyword_t *table, size_t count,
                            config_handler_t handler, void *base)
{
  *end = false;
  lexer_token_t name;
  const int code = next_config_token(reader, &name);
  update_position(reader);
  if ( code != 0 )
  {
    config_directive_error(reader, code);
    return false;
  }
  if ( name.kind == TOKEN_END )
  {
    *end = true;
    return true;
  }
  lexer_token_t value;
  if ( !read_shown(reader, &value) )
    return false;
  if ( value.kind != '=' )
  {
    config_directive_error(reader, CFG_MSG_EQUALS_EXPECTED);
    return false;
  }
  if ( !read_shown(reader, &value) )
    return false;

  // Only names and keywords carry their own text; another token's text is left over from an earlier one.
  const bool named = name.kind == TOKEN_NAME || (name.kind >= TOKEN_FIRST_KEYWORD && name.kind <= TOKEN_LAST_KEYWORD);
  const config_keyword_t *entry = named ? find_config_keyword(table, count, name.text.c_str()) : nullptr;
  const extra_config_keyword_table_t *extra = nullptr;
  if ( entry == nullptr && named && is_text_directive(reader) )
  {
    for ( const extra_config_keyword_table_t &t : extra_config_keyword_tables )
    {
      entry = find_config_keyword(t.table, t.count, name.text.c_str());
      if ( entry != nullptr )
      {
        extra = &t;
        base = t.base;
        break;
      }
    }
  }

  intptr_t result;
  if ( entry == nullptr )
  {
    result = (handler != nullptr ? handler : unrecognised)(reader, &name, &value);
  }
  else
  {
    const uint32_t kind = entry->flags & CFG_KIND_MASK;
    config_value_t converted;
    if ( !convert_value(reader, *entry, kind, name, value, &converted) )
      return false;
    result = store_config_value(*entry, reader, kind, converted, base);
    if ( result == CFG_RESULT_OK && extra != nullptr && extra->post_store != nullptr )
      extra->post_store(entry, kind, &converted);
  }
  return handle_result(reader, result);
}

void config_error(token_reader_t *reader, const char *format, ...)
{
  qstring text("AUTOHIDE NONE\n");
  if ( reader != nullptr )
  {
    const config_reader_state *state = config_state(reader);
    if ( !state->file_name.empty() )
      append_format_to_string(&text, "%s,%d: ", state->file_name.c_str(), state->line_number);
    append_format_to_string(&text, "%s\n", state->line_text.c_str());
  }
  va_list va;
  va_start(va, format);
  vappend_format_to_string(&text, format, va);
  va_end(va);
  warning_printf("%s", text.c_str());
}

void config_directive_error(token_reader_t *reader, int number)
{
  config_error(reader, "%s", error_code_text(number));
}

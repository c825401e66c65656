// Macro tables, #define and #undef, expansion in place of a name, arguments, "#", "##" and the dynamic names.
#include "core/token_reader_p.h"

#include "core/error_state.h"
#include "core/file_ops.h"
#include "core/internal_error.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace
{

struct predefined_macro_t
{
  const char *name;
  const char *body;
};

constexpr predefined_macro_t base_macros[] = {
  {"__ZXL__", "1"},          {"far", "__far"},           {"near", "__near"},         {"huge", "__huge"},
  {"interrupt", "__interrupt"}, {"_cdecl", "__cdecl"},   {"_pascal", "__pascal"},    {"_stdcall", "__stdcall"},
  {"_fastcall", "__fastcall"}, {"_thiscall", "__thiscall"}, {"_export", "__export"}, {"_import", "__import"},
};

constexpr predefined_macro_t system_macros[] = {{"__NT__", "1"}, {"__EA64__", "1"}};

void store_macro(macro_table_t *table, std::string_view name, std::string body, size_t param_count, bool function_like)
{
  auto def = std::make_shared<macro_def_t>();
  def->body = std::move(body);
  def->param_count = uint8_t(param_count);
  def->function_like = function_like ? 1 : 0;
  table->note_name(name);
  table->macros.insert_or_assign(std::string(name), std::move(def));
}

// The reader's table, made private first when it is an adopted one.
macro_table_t *writable_table(token_reader_impl_t *r)
{
  if ( r->macros_shared )
  {
    r->macros = new macro_table_t(*r->macros);
    r->macros_shared = false;
  }
  return r->macros;
}

void erase_macro(macro_table_t *table, std::string_view name)
{
  if ( const auto found = table->macros.find(name); found != table->macros.end() )
    table->macros.erase(found);
}

bool is_pasteable(uint16_t kind)
{
  return kind == TOKEN_NAME || kind == TOKEN_INTEGER || kind == TOKEN_FLOAT || kind == TOKEN_INT64
      || (kind >= TOKEN_FIRST_KEYWORD && kind <= TOKEN_LAST_KEYWORD);
}

bool is_number(uint16_t kind)
{
  return kind == TOKEN_INTEGER || kind == TOKEN_FLOAT || kind == TOKEN_INT64;
}

// The level that a context index names (1-based), or null.
expansion_level_t *level_at(token_reader_impl_t *r, uint32_t context)
{
  if ( context == 0 || context > r->expansions.size() )
    return nullptr;
  return &r->expansions[context - 1];
}

// Records in level where the reader stands, to come back there when the level is left.
void save_position(expansion_level_t &level, const token_reader_impl_t *r)
{
  level.saved_text_start = r->text_start;
  level.saved_cursor = r->cursor;
  level.saved_context = r->context;
}

// Puts the reader back where it stood when level was entered.
void restore_position(token_reader_impl_t *r, const expansion_level_t &level)
{
  r->text_start = level.saved_text_start;
  r->cursor = level.saved_cursor;
  r->context = level.saved_context;
}

// ---------------------------------------------------------------------------------------------------------
// Dynamic names

// The current local time as "Www Mmm dd hh:mm:ss yyyy".
std::string date_time_text()
{
  static const char days[] = "SunMonTueWedThuFriSat";
  static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const time_t now = time(nullptr);
  struct tm tm {};
  localtime_r(&now, &tm);
  char text[64];
  snprintf(text, sizeof(text), "%.3s %.3s%3d %.2d:%.2d:%.2d %d", days + 3 * tm.tm_wday, months + 3 * tm.tm_mon,
           tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_year + 1900);
  return text;
}

void integer_token(lexer_token_t *token, uint64_t value)
{
  token->kind = TOKEN_INTEGER;
  token->number = value;
  token->value.integer = int64_t(value);
  token->flag = 0;
}

void string_token(lexer_token_t *token, std::string_view text)
{
  token->kind = TOKEN_STRING;
  token->text.assign(text.data(), text.size());
  token->flag = 0;
}

const char *skip_blanks(const char *p)
{
  while ( is_blank(uint8_t(*p)) )
    ++p;
  return p;
}

const char *skip_name(const char *p)
{
  while ( is_ident_char(uint8_t(*p)) )
    ++p;
  return p;
}

// "defined NAME" or "defined ( NAME )". True when the token became the answer; false leaves "defined"
// an ordinary name, or (when the ")" is missing) the name read after it.
bool resolve_defined(token_reader_impl_t *r, lexer_token_t *token)
{
  const char *p = skip_blanks(r->cursor);
  const bool parenthesized = *p == '(';
  if ( parenthesized )
    p = skip_blanks(p + 1);
  if ( !is_ident_start(uint8_t(*p)) )
    return false;
  const char *name_end = skip_name(p);
  const std::string_view name(p, size_t(name_end - p));
  if ( parenthesized )
  {
    const char *close = skip_blanks(name_end);
    if ( *close != ')' )
    {
      r->cursor = name_end;
      token->text.assign(name.data(), name.size());
      return false;
    }
    name_end = close + 1;
  }
  r->cursor = name_end;
  integer_token(token, macro_defined(r, name) ? 1 : 0);
  return true;
}

// "__has_include(" blanks, a quoted or angle-bracketed name and ")" right after it.
bool resolve_has_include(token_reader_impl_t *r, lexer_token_t *token)
{
  const char *p = r->cursor;
  if ( *p != '(' )
    return false;
  p = skip_blanks(p + 1);
  const char delimiter = *p;
  if ( delimiter != '"' && delimiter != '<' )
    return false;
  const char *close = strchr(p + 1, delimiter == '"' ? '"' : '>');
  if ( close == nullptr || close[1] != ')' )
    return false;
  const std::string name(p + 1, size_t(close - p - 1));
  r->cursor = close + 2;
  char found[PATH_MAX];
  // An absolute name is taken as written by the include search; here it must also exist.
  const bool exists = find_include_file(r, found, sizeof(found), name.c_str(), delimiter, false) != nullptr
                   && file_exists(found);
  integer_token(token, exists ? 1 : 0);
  return true;
}

// True when the token's name is a dynamic name and the token became its value.
bool resolve_special_name(token_reader_impl_t *r, lexer_token_t *token)
{
  const std::string_view name = token->text.view();
  if ( r->in_if && name == "defined" )
    return resolve_defined(r, token);
  if ( name.size() < 2 || name[0] != '_' || name[1] != '_' )
    return false;
  if ( name == "__LINE__" )
  {
    integer_token(token, uint64_t(int64_t(r->line_number)));
    return true;
  }
  if ( name == "__FILE__" )
  {
    string_token(token, r->has_file_name ? r->file_name.view() : std::string_view());
    return true;
  }
  if ( name == "__DATE__" )
  {
    const std::string now = date_time_text();
    string_token(token, now.substr(4, 7) + now.substr(20, 4));
    return true;
  }
  if ( name == "__TIME__" )
  {
    string_token(token, date_time_text().substr(11, 8));
    return true;
  }
  if ( r->in_if && name == "__has_include" )
    return resolve_has_include(r, token);
  return false;
}

// ---------------------------------------------------------------------------------------------------------
// Arguments

// Skips blanks and comments; at the end of the current text leaves a finished level or, with none
// active, moves to the next logical line. *at_end: no more input is available here.
int skip_blanks_and_comments(token_reader_impl_t *r, bool *at_end)
{
  for ( ;; )
  {
    if ( r->in_comment )
    {
      const char *close = strstr(r->cursor, "*/");
      if ( close == nullptr )
      {
        r->cursor += strlen(r->cursor);
      }
      else
      {
        r->cursor = close + 2;
        r->in_comment = false;
      }
    }
    r->cursor = skip_blanks(r->cursor);
    if ( r->cursor[0] == '/' && r->cursor[1] == '*' )
    {
      r->cursor += 2;
      r->in_comment = true;
      continue;
    }
    if ( r->cursor[0] == '/' && r->cursor[1] == '/' )
      r->cursor += strlen(r->cursor);
    if ( *r->cursor != '\0' )
    {
      *at_end = false;
      return 0;
    }
    if ( !r->expansions.empty() )
    {
      leave_level(r);
      continue;
    }
    if ( !r->directive_mode )
    {
      const char *line = nullptr;
      const int code = next_logical_line(r, &line);
      if ( code == 0 )
      {
        r->text_start = r->cursor = line;
        continue;
      }
      // The old line is gone: nothing of it may be read again, even after an error.
      r->text_start = r->cursor = "";
      if ( code != 34 && code != 37 )
        return code;
    }
    // Nothing after this point; the scanner finds the end here too.
    r->text_start = r->cursor = "";
    *at_end = true;
    return 0;
  }
}

// The arguments of a function-like macro use. *call is false (and nothing is consumed but blanks) when
// no "(" follows.
int collect_macro_arguments(token_reader_impl_t *r, std::vector<std::string> *args, bool *call)
{
  *call = false;
  bool at_end = false;
  if ( const int code = skip_blanks_and_comments(r, &at_end); code != 0 )
    return code;
  if ( at_end || *r->cursor != '(' )
    return 0;
  *call = true;
  ++r->cursor;
  if ( *r->cursor == ')' )
  {
    ++r->cursor;
    return 0;
  }
  const int truncated = r->directive_mode ? 37 : 38;
  std::string arg;
  int nesting = 0;
  bool after_blank = true; // blanks at the start of an argument and after another blank are dropped
  for ( ;; )
  {
    const char c = *r->cursor;
    if ( c == '\0' || (c == '/' && (r->cursor[1] == '*' || r->cursor[1] == '/')) )
    {
      // The end of a text or a comment separates like a blank.
      if ( !after_blank )
        arg.push_back(' ');
      after_blank = true;
      if ( const int code = skip_blanks_and_comments(r, &at_end); code != 0 )
        return code;
      if ( at_end )
        return fail(truncated);
      continue;
    }
    if ( c == ' ' || c == '\t' || c == '\n' )
    {
      if ( !after_blank )
        arg.push_back(c);
      after_blank = true;
      ++r->cursor;
      continue;
    }
    after_blank = false;
    if ( c == '"' || c == '\'' )
    {
      const char *p = r->cursor + 1;
      while ( *p != '\0' && *p != c )
        p += p[0] == '\\' && p[1] != '\0' ? 2 : 1;
      if ( *p == c )
        ++p;
      arg.append(r->cursor, size_t(p - r->cursor));
      r->cursor = p;
      continue;
    }
    ++r->cursor;
    if ( c == '(' )
    {
      ++nesting;
    }
    else if ( c == ')' )
    {
      if ( nesting == 0 )
      {
        args->push_back(std::move(arg));
        return 0;
      }
      --nesting;
    }
    else if ( c == ',' && nesting == 0 )
    {
      args->push_back(std::move(arg));
      arg.clear();
      after_blank = true;
      if ( const int code = skip_blanks_and_comments(r, &at_end); code != 0 )
        return code;
      if ( at_end )
        return fail(truncated);
      continue;
    }
    arg.push_back(c);
  }
}

// -1 error, 0 not expanded, 1 expanded.
int expand_macro(token_reader_impl_t *r, lexer_token_t *token)
{
  if ( !r->macros->may_hold(token->text.view()) )
    return 0;
  const auto found = r->macros->macros.find(token->text.view());
  if ( found == r->macros->macros.end() )
    return 0;
  // Held for the whole expansion: a directive met while collecting arguments may replace the entry.
  std::shared_ptr<const macro_def_t> def = found->second;
  const macro_def_t *macro = def.get();
  for ( size_t i = r->expansions.size(); i-- > 0; )
  {
    const expansion_level_t &level = r->expansions[i];
    if ( level.macro.get() != macro )
      continue;
    if ( macro->function_like == 0 )
      return 0;
    const auto position = reinterpret_cast<uintptr_t>(r->cursor);
    const auto body = reinterpret_cast<uintptr_t>(macro->body.data());
    if ( position >= body && position <= body + macro->body.size() )
      return 0;
    if ( r->context > level.saved_context )
      return 0;
  }
  std::vector<std::string> args;
  if ( macro->function_like != 0 )
  {
    bool call = false;
    if ( collect_macro_arguments(r, &args, &call) != 0 )
      return -1;
    if ( !call )
      return 0;
    if ( args.size() != macro->param_count )
    {
      error_arg_text(0, token->text.c_str());
      fail(39);
      return -1;
    }
  }
  if ( macro->body.empty() )
    return 1;
  expansion_level_t level;
  level.args = std::move(args);
  level.macro = std::move(def);
  save_position(level, r);
  r->expansions.push_back(std::move(level));
  r->context = uint32_t(r->expansions.size());
  r->text_start = r->cursor = macro->body.c_str();
  return 1;
}

} // namespace

// ---------------------------------------------------------------------------------------------------------
// Tables

macro_table_t *new_macro_table(uint32_t options)
{
  auto table = std::make_unique<macro_table_t>();
  for ( const predefined_macro_t &m : base_macros )
    store_macro(table.get(), m.name, m.body, 0, false);
  if ( (options & TOKEN_READER_SYSTEM_MACROS) != 0 )
    for ( const predefined_macro_t &m : system_macros )
      store_macro(table.get(), m.name, m.body, 0, false);
  return table.release();
}

int define_macro(token_reader_t *reader, const char *name, const char *body, int param_count, bool function_like)
{
  if ( name == nullptr || *name == '\0' || param_count < 0 || param_count > MACRO_MAX_PARAMS )
    return fail(38);
  store_macro(writable_table(impl(reader)), name, body != nullptr ? body : "", size_t(param_count), function_like);
  return 0;
}

void undefine_macro(token_reader_t *reader, const char *name)
{
  token_reader_impl_t *r = impl(reader);
  if ( r->macros_shared )
    interr(303);
  erase_macro(r->macros, name);
}

int reset_macros(token_reader_t *reader, macro_table_t *table, uint32_t options)
{
  token_reader_impl_t *r = impl(reader);
  if ( !r->macros_shared )
    free_macro_table(r->macros);
  r->macros = nullptr;
  if ( table != nullptr )
  {
    r->macros = table;
    r->macros_shared = true;
  }
  else
  {
    r->macros = new_macro_table(options);
    r->macros_shared = false;
  }
  return 0;
}

macro_table_t *token_reader_t::detach_macros()
{
  token_reader_impl_t *r = impl(this);
  if ( r->macros_shared )
    interr(302);
  macro_table_t *table = r->macros;
  r->macros = new_macro_table(0);
  return table;
}

void free_macro_table(macro_table_t *table)
{
  delete table;
}

bool macro_defined(const token_reader_impl_t *r, std::string_view name)
{
  return r->macros->macros.find(name) != r->macros->macros.end();
}

// ---------------------------------------------------------------------------------------------------------
// Directives

int define_from_directive(token_reader_impl_t *r, const char *name, char saved, char *saved_pos, char *rest)
{
  const bool function_like = saved == '(';
  std::string macro_name;
  std::vector<std::string_view> params;
  const char *p = rest;
  if ( function_like )
  {
    p = skip_blanks(p);
    if ( *p == ')' )
    {
      ++p;
    }
    else
    {
      for ( ;; )
      {
        p = skip_blanks(p);
        if ( strncmp(p, "...", 3) == 0 )
          return 0; // variadic macros are not supported: the directive is ignored
        if ( !is_ident_start(uint8_t(*p)) )
          return fail(29);
        const char *end = skip_name(p);
        params.emplace_back(p, size_t(end - p));
        p = skip_blanks(end);
        if ( strncmp(p, "...", 3) == 0 )
          return 0;
        if ( *p == ')' )
        {
          ++p;
          break;
        }
        if ( *p != ',' || params.size() == MACRO_MAX_PARAMS )
          return fail(29);
        ++p;
      }
    }
    p = skip_blanks(p);
  }
  else if ( saved != '\0' && !is_blank(uint8_t(saved)) )
  {
    // "#define X+1": the character cut off after the name starts the body (the name is kept first)
    macro_name = name;
    name = macro_name.c_str();
    *saved_pos = saved;
    p = saved_pos;
  }

  std::string body;
  body.reserve(strlen(p));
  while ( *p != '\0' )
  {
    const char c = *p;
    if ( uint8_t(c) == MACRO_PARAM_MARKER )
      return fail(29); // reserved for parameter markers; never part of UTF-8 text
    if ( c == '"' || c == '\'' )
    {
      const char *q = p + 1;
      while ( *q != '\0' && *q != c )
        q += q[0] == '\\' && q[1] != '\0' ? 2 : 1;
      if ( *q != c )
        return fail(29);
      body.append(p, size_t(q + 1 - p));
      p = q + 1;
      continue;
    }
    if ( is_digit(uint8_t(c)) )
    {
      // A number with its letters ("0x1e", "12L") holds no parameter names.
      const char *end = p;
      while ( is_ident_char(uint8_t(*end)) || *end == '.' )
        ++end;
      body.append(p, size_t(end - p));
      p = end;
      continue;
    }
    if ( is_ident_start(uint8_t(c)) )
    {
      const char *end = skip_name(p);
      const std::string_view word(p, size_t(end - p));
      size_t index = 0;
      while ( index < params.size() && params[index] != word )
        ++index;
      if ( index < params.size() )
      {
        body.push_back(char(MACRO_PARAM_MARKER));
        body.push_back(char(0x80 + index));
      }
      else
      {
        body.append(word);
      }
      p = end;
      continue;
    }
    body.push_back(c);
    ++p;
  }
  store_macro(writable_table(r), name, std::move(body), params.size(), function_like);
  return 0;
}

void undefine_from_directive(token_reader_impl_t *r, const char *name)
{
  erase_macro(writable_table(r), name);
}

// ---------------------------------------------------------------------------------------------------------
// Expansion

int resolve_identifier(token_reader_impl_t *r, lexer_token_t *token)
{
  if ( resolve_special_name(r, token) )
    return 0;
  const int expanded = expand_macro(r, token);
  if ( expanded != 0 )
    return expanded;
  const uint16_t keyword = r->keywords.find(token->text.view());
  token->kind = keyword != 0 ? keyword : TOKEN_NAME;
  return 0;
}

void leave_level(token_reader_impl_t *r)
{
  restore_position(r, r->expansions.back());
  r->expansions.pop_back();
}

void leave_all_levels(token_reader_impl_t *r)
{
  if ( r->expansions.empty() )
    return;
  restore_position(r, r->expansions.front());
  r->expansions.clear();
}

void enter_argument(token_reader_impl_t *r)
{
  const size_t k = uint8_t(r->cursor[1]) - 0x80;
  r->cursor += 2;
  const expansion_level_t *owner = level_at(r, r->context);
  if ( owner == nullptr || k >= owner->args.size() || owner->args[k].empty() )
    return;
  // The argument's text stays put while the level stack grows: it lives in the owner's vector.
  const char *text = owner->args[k].c_str();
  const uint32_t owner_context = owner->saved_context;
  expansion_level_t level;
  save_position(level, r);
  r->expansions.push_back(std::move(level));
  r->context = owner_context;
  r->text_start = r->cursor = text;
}

void stringise_argument(token_reader_impl_t *r, lexer_token_t *token)
{
  const size_t k = uint8_t(r->cursor[2]) - 0x80;
  r->cursor += 3;
  token->kind = TOKEN_STRING;
  token->flag = 0;
  token->text.clear();
  const expansion_level_t *owner = level_at(r, r->context);
  if ( owner == nullptr || k >= owner->args.size() )
    return;
  // Markers inside an argument refer to the level where it was collected; they are replaced by that
  // level's arguments, to any depth.
  struct pending_t
  {
    const char *p;
    uint32_t context;
  };
  std::vector<pending_t> stack {{owner->args[k].c_str(), owner->saved_context}};
  while ( !stack.empty() )
  {
    pending_t &top = stack.back();
    const char *p = top.p;
    const char *run = p;
    while ( *run != '\0' && !is_marker(run) )
      ++run;
    token->text.append(p, size_t(run - p));
    if ( *run == '\0' )
    {
      stack.pop_back();
      continue;
    }
    const size_t index = uint8_t(run[1]) - 0x80;
    top.p = run + 2;
    const expansion_level_t *level = level_at(r, top.context);
    if ( level != nullptr && index < level->args.size() )
      stack.push_back({level->args[index].c_str(), level->saved_context});
  }
}

int paste_tokens(token_reader_impl_t *r, lexer_token_t *token, bool *rescan)
{
  *rescan = false;
  bool pasted = false;
  std::string result;
  lexer_token_t right;
  for ( ;; )
  {
    const char *p = r->cursor;
    for ( ;; )
    {
      while ( *p == ' ' || *p == '\t' || *p == '\n' )
        ++p;
      if ( *p != '\0' || r->expansions.size() <= 1 )
        break;
      r->cursor = p;
      leave_level(r);
      p = r->cursor;
    }
    r->cursor = p;
    if ( p[0] != '#' || p[1] != '#' )
      break;
    if ( !pasted && is_number(token->kind) )
      result = r->number_source;
    r->cursor += 2;
    if ( const int code = scan_token(r, &right, r->expansions.size()); code != 0 )
      return code;
    if ( right.kind == TOKEN_END )
      break;
    if ( token->kind == '/' && right.kind == '/' && !pasted )
    {
      // "/" ## "/" starts a line comment: the rest of the line goes
      leave_all_levels(r);
      r->cursor += strlen(r->cursor);
      token->kind = TOKEN_END;
      return 0;
    }
    if ( !is_pasteable(right.kind) )
    {
      r->cursor = r->token_start;
      break;
    }
    if ( !pasted )
    {
      if ( !is_pasteable(token->kind) )
        return fail(29);
      if ( !is_number(token->kind) )
        result = token->text.view();
      pasted = true;
    }
    if ( is_number(right.kind) )
      result += r->number_source;
    else
      result += right.text.view();
  }
  if ( !pasted )
    return 0;

  if ( is_digit(uint8_t(result[0])) || result[0] == '.' )
  {
    // The joined characters are scanned as a number of their own; all of them must belong to it.
    const char *text_start = r->text_start;
    const char *cursor = r->cursor;
    const char *token_start = r->token_start;
    r->text_start = r->cursor = r->token_start = result.c_str();
    int code = scan_number(r, token);
    const bool whole = *r->cursor == '\0';
    r->text_start = text_start;
    r->cursor = cursor;
    r->token_start = token_start;
    if ( code == 0 && !whole )
      code = fail(29);
    return code;
  }
  token->text.assign(result.data(), result.size());
  const int resolved = resolve_identifier(r, token);
  if ( resolved < 0 )
    return qerrno_get();
  *rescan = resolved > 0;
  return 0;
}

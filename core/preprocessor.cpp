// The directive processor of token_reader_t: logical lines, conditionals, includes and line normalization.
#include "core/token_reader_p.h"

#include "core/error_state.h"
#include "core/file_ops.h"
#include "core/include_search.h"

#include <climits>
#include <cstring>
#include <string>

namespace
{

// Dropping the blank between `before` (with `earlier` in front of it) and `after` would make them one
// token, a comment opener or a different number.
bool would_fuse(char earlier, char before, char after)
{
  if ( after == '=' && strchr("!%&*+-/<=>^|:", before) != nullptr )
    return true;
  if ( before == after && strchr("&+-:<>|.#", before) != nullptr )
    return true;
  if ( before == '-' && after == '>' )
    return true;
  if ( before == '/' && (after == '*' || after == '/') )
    return true;
  if ( before == '.' && after >= '0' && after <= '9' )
    return true;
  // "1e- 5" must not become the literal "1e-5"
  return (before == '+' || before == '-') && (earlier == 'e' || earlier == 'E')
      && ((after >= '0' && after <= '9') || after == '.');
}

// The parts of a directive line around one word.
struct directive_word_t
{
  char *word;      // the word, NUL-terminated where the saved character was
  char saved;      // the character that followed the word
  char *saved_pos; // where it was
  char *rest;      // after it and the blanks behind it
};

// Optional blanks, then a letter, "_" or "$" and the letters, digits, "_" and "$" after it (the word may
// be empty). The character after the word is saved and cut off; the blanks behind it are skipped.
directive_word_t read_directive_word(char *p)
{
  while ( is_blank(uint8_t(*p)) )
    ++p;
  directive_word_t dw;
  dw.word = p;
  if ( is_ident_start(uint8_t(*p)) )
    while ( is_ident_char(uint8_t(*p)) )
      ++p;
  dw.saved = *p;
  dw.saved_pos = p;
  if ( *p != '\0' )
  {
    *p = '\0';
    ++p;
  }
  while ( is_blank(uint8_t(*p)) )
    ++p;
  dw.rest = p;
  return dw;
}

void pop_include(token_reader_impl_t *r)
{
  if ( r->stream != nullptr )
    file_close(r->stream);
  include_frame_t &frame = r->includes.back();
  r->file_name = std::move(frame.file_name);
  r->has_file_name = frame.has_file_name;
  r->stream = frame.stream;
  r->line_reader = frame.line_reader;
  r->text_cursor = frame.text_cursor;
  r->line_number = frame.line_number;
  r->in_comment = frame.in_comment;
  r->includes.pop_back();
}

// Joins the directory of `file` (the working directory for none) with name into buf; true when that is
// an existing file.
bool try_beside(char *buf, size_t size, const char *file, const char *name)
{
  char dir[PATH_MAX];
  if ( file != nullptr && path_directory(dir, sizeof(dir), file) )
  {
    if ( join_path(buf, ptrdiff_t(size), dir, name, nullptr) == nullptr )
      return false;
  }
  else
  {
    if ( strlen(name) >= size )
      return false;
    strcpy(buf, name);
  }
  return file_exists(buf);
}

// The include operand: as written when it starts with a double quote or "<", else built from the tokens
// of the rest of the line (macros expanded).
int include_operand(token_reader_impl_t *r, const char *operand, std::string *out)
{
  if ( *operand == '"' || *operand == '<' )
  {
    *out = operand;
    return 0;
  }
  directive_scope_t scope(r, operand, false);
  lexer_token_t token;
  for ( ;; )
  {
    const int code = next_token(r, &token);
    if ( code != 0 )
      return code;
    const uint16_t kind = token.kind;
    if ( kind == TOKEN_END )
      break;
    if ( kind == TOKEN_NAME || (kind >= TOKEN_FIRST_KEYWORD && kind <= TOKEN_LAST_KEYWORD) )
    {
      out->append(token.text.view());
    }
    else if ( kind == TOKEN_STRING )
    {
      out->push_back('"');
      out->append(token.text.view());
      out->push_back('"');
    }
    else if ( kind == '.' || kind == '/' || kind == ':' || kind == '<' || kind == '>' )
    {
      out->push_back(char(kind));
    }
    else
    {
      return fail(30);
    }
  }
  return 0;
}

int include_file(token_reader_impl_t *r, const directive_word_t &dw, bool soft, bool next)
{
  const char *operand = dw.rest;
  if ( dw.saved != '\0' && !is_blank(uint8_t(dw.saved)) )
  {
    *dw.saved_pos = dw.saved;
    operand = dw.saved_pos;
  }
  std::string text;
  if ( const int code = include_operand(r, operand, &text); code != 0 )
    return code;
  if ( text.empty() || (text[0] != '"' && text[0] != '<') )
    return fail(30);
  const char delimiter = text[0];
  const size_t close = text.find(delimiter == '"' ? '"' : '>', 1);
  if ( close == std::string::npos )
    return fail(30);
  const std::string name = text.substr(1, close - 1);
  if ( r->includes.size() >= MAX_INCLUDE_DEPTH )
    return fail(31);

  char found[PATH_MAX];
  if ( find_include_file(r, found, sizeof(found), name.c_str(), delimiter, next) != nullptr )
  {
    for ( const std::string &once : r->once_list )
      if ( once == found )
        return 0;
    if ( FILE *fp = file_open_text(found); fp != nullptr )
    {
      include_frame_t frame;
      frame.file_name = std::move(r->file_name);
      frame.has_file_name = r->has_file_name;
      frame.stream = r->stream;
      frame.line_reader = r->line_reader;
      frame.text_cursor = r->text_cursor;
      frame.line_number = r->line_number;
      frame.in_comment = r->in_comment;
      r->includes.push_back(std::move(frame));
      r->file_name = found;
      r->has_file_name = true;
      r->stream = fp;
      r->line_reader = file_line_reader;
      r->line_number = 0;
      r->in_comment = false;
      return 0;
    }
  }
  if ( soft )
    return 0;
  error_arg_text(0, name.c_str());
  return fail(32);
}

// Opens a conditional (#if, #ifdef, #ifndef) whose condition is computed only in an active region.
template <typename Condition>
int open_conditional(token_reader_impl_t *r, Condition condition)
{
  conditional_state_t &cond = r->cond;
  ++cond.nesting;
  if ( cond.skip_state != 0 )
  {
    ++cond.nested_skip;
    return 0;
  }
  bool active = false;
  if ( const int code = condition(&active); code != 0 )
    return code;
  if ( !active )
    cond.skip_state = 1;
  return 0;
}

// #if and #elif: the expression starts right after the directive word.
int evaluate_after_word(token_reader_impl_t *r, const directive_word_t &dw, bool *active)
{
  *dw.saved_pos = dw.saved;
  cond_value_t value;
  const int code = evaluate_condition(r, dw.saved_pos, &value);
  *active = value.value != 0;
  return code;
}

int run_directive(token_reader_impl_t *r, const directive_word_t &dw)
{
  conditional_state_t &cond = r->cond;
  const std::string_view word = dw.word;
  if ( word == "else" )
  {
    if ( cond.nesting == 0 )
      return fail(35);
    if ( cond.nested_skip == 0 && cond.skip_state != 2 )
      cond.skip_state = 1 - cond.skip_state;
    return 0;
  }
  if ( word == "elif" )
  {
    if ( cond.nesting == 0 )
      return fail(35);
    if ( cond.nested_skip > 0 )
      return 0;
    if ( cond.skip_state != 1 )
    {
      cond.skip_state = 2;
      return 0;
    }
    bool active = false;
    if ( const int code = evaluate_after_word(r, dw, &active); code != 0 )
      return code;
    if ( active )
      cond.skip_state = 0;
    return 0;
  }
  if ( word == "if" )
    return open_conditional(r, [&](bool *active) { return evaluate_after_word(r, dw, active); });
  if ( word == "ifdef" || word == "ifndef" )
  {
    const directive_word_t name = read_directive_word(dw.rest);
    if ( *name.word == '\0' )
      return fail(29);
    const bool wanted = word == "ifdef";
    return open_conditional(r, [&](bool *active) {
      *active = macro_defined(r, name.word) == wanted;
      return 0;
    });
  }
  if ( word == "endif" )
  {
    if ( cond.nesting == 0 )
      return fail(36);
    if ( cond.nested_skip > 0 )
      --cond.nested_skip;
    else
      cond.skip_state = 0;
    --cond.nesting;
    return 0;
  }
  if ( cond.skip_state != 0 )
    return 0;
  if ( word == "pragma" )
  {
    if ( strcmp(dw.rest, "once") == 0 && r->has_file_name )
    {
      for ( const std::string &once : r->once_list )
        if ( once == r->file_name.view() )
          return 0;
      r->once_list.emplace_back(r->file_name.view());
    }
    return 0;
  }
  if ( word == "warning" )
    return 0;
  if ( word == "softinclude" )
    return include_file(r, dw, true, false);
  if ( word == "include_next" )
    return include_file(r, dw, false, true);
  if ( word == "include" || word == "import" )
    return include_file(r, dw, false, false);
  if ( word == "define" )
  {
    const directive_word_t name = read_directive_word(dw.rest);
    if ( *name.word == '\0' )
      return fail(29);
    return define_from_directive(r, name.word, name.saved, name.saved_pos, name.rest);
  }
  if ( word == "undef" )
  {
    const directive_word_t name = read_directive_word(dw.rest);
    if ( *name.word == '\0' )
      return fail(29);
    undefine_from_directive(r, name.word);
    return 0;
  }
  if ( word == "error" )
  {
    error_arg_text(0, dw.rest);
    return fail(41);
  }
  return fail(29);
}

} // namespace

void normalize_line(token_reader_impl_t *r, char *text)
{
  const char *src = text;
  char *dst = text;
  char blank = '\0'; // a pending run of blanks (or a comment), written as this character or dropped
  for ( ;; )
  {
    if ( r->in_comment )
    {
      const char *close = strstr(src, "*/");
      if ( close == nullptr )
        break;
      src = close + 2;
      r->in_comment = false;
      if ( blank == '\0' )
        blank = ' ';
      continue;
    }
    const char c = *src;
    if ( c == '\0' || (c == '/' && src[1] == '/') )
      break;
    if ( c == '/' && src[1] == '*' )
    {
      src += 2;
      r->in_comment = true;
      continue;
    }
    if ( is_blank(uint8_t(c)) )
    {
      if ( blank == '\0' )
        blank = c;
      ++src;
      continue;
    }
    if ( blank != '\0' )
    {
      // Blanks go at the start of the line and after punctuation, unless the neighbours would fuse.
      const char before = dst > text ? dst[-1] : '\0';
      const char earlier = dst > text + 1 ? dst[-2] : '\0';
      if ( before != '\0' && (!char_is(uint8_t(before), CHAR_PUNCTUATION) || would_fuse(earlier, before, c)) )
        *dst++ = blank;
      blank = '\0';
    }
    if ( c == '"' || c == '\'' )
    {
      *dst++ = *src++;
      while ( *src != '\0' && *src != c )
      {
        if ( *src == '\\' && src[1] != '\0' )
          *dst++ = *src++;
        *dst++ = *src++;
      }
      if ( *src != '\0' )
        *dst++ = *src++;
      continue;
    }
    *dst++ = *src++;
  }
  *dst = '\0';
}

int next_logical_line(token_reader_impl_t *r, const char **line)
{
  for ( ;; )
  {
    const int status = r->line_reader != nullptr ? r->line_reader(r, &r->line) : -1;
    if ( status > 0 )
      return fail(status);
    if ( status < 0 )
    {
      if ( !r->includes.empty() )
      {
        pop_include(r);
        continue;
      }
      r->line.clear();
      if ( r->cond.nesting != 0 )
        return fail(37);
      return 34;
    }
    ++r->line_number;
    if ( r->line_hook != nullptr )
    {
      const int code = r->line_hook(r->user, r->has_file_name ? r->file_name.c_str() : nullptr, r->line_number,
                                    r->line.c_str());
      if ( code != 0 )
        return fail(code);
    }
    // A final backslash joins the next physical line; a doubled one stands for itself.
    qstring next;
    while ( r->line.size() >= 2 && r->line[r->line.size() - 1] == '\\' && r->line[r->line.size() - 2] != '\\' )
    {
      if ( r->line_reader(r, &next) != 0 )
        break;
      ++r->line_number;
      qstring_remove_last_chars(&r->line, 1);
      r->line.append(next);
    }
    if ( r->line.size() >= 2 && r->line[r->line.size() - 1] == '\\' && r->line[r->line.size() - 2] == '\\' )
      qstring_remove_last_chars(&r->line, 1);
    if ( r->line.empty() )
      continue;

    char *p = r->line.data();
    while ( is_blank(uint8_t(*p)) )
      ++p;
    if ( r->in_comment || *p != '#' )
    {
      if ( r->cond.skip_state == 0 )
      {
        *line = p;
        return 0;
      }
      normalize_line(r, p);
      continue;
    }
    const directive_word_t dw = read_directive_word(p + 1);
    normalize_line(r, dw.rest);
    if ( const int code = run_directive(r, dw); code != 0 )
      return code;
  }
}

char *find_include_file(token_reader_impl_t *r, char *buf, size_t size, const char *name, char delimiter, bool next)
{
  if ( is_absolute_path(name) )
  {
    if ( strlen(name) >= size )
      return nullptr;
    return strcpy(buf, name);
  }
  include_search_path_t *search = include_search_path();
  if ( next )
  {
    char dir[PATH_MAX];
    const bool has_dir = r->has_file_name && path_directory(dir, sizeof(dir), r->file_name.c_str());
    return search != nullptr ? search->find(buf, size, name, has_dir ? dir : nullptr) : nullptr;
  }
  if ( delimiter == '"' )
  {
    if ( try_beside(buf, size, r->has_file_name ? r->file_name.c_str() : nullptr, name) )
      return buf;
    for ( size_t i = r->includes.size(); i-- > 0; )
    {
      const include_frame_t &frame = r->includes[i];
      if ( try_beside(buf, size, frame.has_file_name ? frame.file_name.c_str() : nullptr, name) )
        return buf;
    }
  }
  return search != nullptr ? search->find(buf, size, name, nullptr) : nullptr;
}

directive_scope_t::directive_scope_t(token_reader_impl_t *r, const char *text, bool in_if)
  : r_(r),
    expansions_(std::move(r->expansions)),
    context_(r->context),
    text_start_(r->text_start),
    cursor_(r->cursor),
    token_start_(r->token_start),
    in_comment_(r->in_comment),
    directive_mode_(r->directive_mode),
    in_if_(r->in_if)
{
  r->expansions.clear();
  r->context = 0;
  r->text_start = r->cursor = r->token_start = text;
  r->in_comment = false;
  r->directive_mode = true;
  r->in_if = in_if;
}

directive_scope_t::~directive_scope_t()
{
  // Levels opened while the directive was read end with it.
  r_->expansions = std::move(expansions_);
  r_->context = context_;
  r_->text_start = text_start_;
  r_->cursor = cursor_;
  r_->token_start = token_start_;
  r_->in_comment = in_comment_;
  r_->directive_mode = directive_mode_;
  r_->in_if = in_if_;
}

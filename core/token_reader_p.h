// The token reader's state and the steps that its scanner, preprocessor, macros and #if evaluator call on each other.
#pragma once

#include "core/token_reader.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

struct token_reader_impl_t;

// Hash of texts (FNV-1a: names are short) that also accepts string_view keys in lookups.
struct text_hash_t
{
  using is_transparent = void;
  size_t operator()(std::string_view text) const
  {
    uint64_t hash = 0xCBF29CE484222325u;
    for ( const char c : text )
      hash = (hash ^ uint8_t(c)) * 0x100000001B3u;
    return size_t(hash);
  }
};

// The reader's keyword list as a lookup table: open addressing over a power-of-two array at most half
// full, built once at creation. A text listed twice keeps its later code.
class keyword_map_t
{
public:
  void build(const char *const *words, size_t count);
  // The keyword code of name, or 0 when it is not a keyword.
  uint16_t find(std::string_view name) const
  {
    if ( slots_.empty() )
      return 0;
    for ( size_t i = text_hash_t {}(name) & mask_;; i = (i + 1) & mask_ )
    {
      const slot_t &slot = slots_[i];
      if ( slot.code == 0 || slot.text == name )
        return slot.code;
    }
  }

private:
  struct slot_t
  {
    std::string text;
    uint16_t code = 0; // 0: empty
  };
  std::vector<slot_t> slots_;
  size_t mask_ = 0;
};

// One macro definition; immutable once stored, so that expansions may keep it while it is replaced.
struct macro_def_t
{
  std::string body;         // parameter uses are MACRO_PARAM_MARKER, 0x80 + index
  uint8_t param_count = 0;  // 0 to 127
  uint8_t function_like = 0;
};

struct macro_table_t
{
  std::unordered_map<std::string, std::shared_ptr<const macro_def_t>, text_hash_t, std::equal_to<>> macros;
  // A bit per (first byte, last byte, length) class of the names ever stored: most names that are not
  // macros are told apart without a lookup. Bits are never cleared, so the filter only errs on "maybe".
  uint64_t name_classes[4] {};

  static unsigned name_class(std::string_view name)
  {
    return (uint8_t(name.front()) ^ uint8_t(name.back()) * 3u ^ unsigned(name.size()) * 11u) & 255u;
  }
  void note_name(std::string_view name)
  {
    const unsigned c = name_class(name);
    name_classes[c >> 6] |= uint64_t(1) << (c & 63);
  }
  bool may_hold(std::string_view name) const
  {
    if ( name.empty() )
      return false;
    const unsigned c = name_class(name);
    return (name_classes[c >> 6] >> (c & 63) & 1) != 0;
  }
};

// One level of macro expansion: a macro's body, or one argument of a level below it. The texts that
// cursors point into (bodies, arguments) never move while the level lives.
struct expansion_level_t
{
  std::vector<std::string> args;              // one per parameter; empty for an argument level
  const char *saved_text_start = nullptr;
  const char *saved_cursor = nullptr;
  std::shared_ptr<const macro_def_t> macro;   // null for an argument level
  uint32_t saved_context = 0;
};
// Levels are moved when the stack grows; their argument texts must stay where they are.
static_assert(std::is_nothrow_move_constructible_v<expansion_level_t>);

// Delivers the next physical line into out: 0, -1 at the end of the input, or an error code.
using line_reader_fn = int (*)(token_reader_impl_t *reader, qstring *out);

// The saved state of a file that included another.
struct include_frame_t
{
  qstring file_name;
  bool has_file_name = false;
  FILE *stream = nullptr; // owned
  line_reader_fn line_reader = nullptr;
  const char *text_cursor = nullptr;
  int32_t line_number = 0;
  bool in_comment = false;
};

// Skip state 0: lines are active; 1: skipping, still looking for a true branch; 2: skipping because a
// branch was already taken. Nested skip depth counts conditionals opened inside a skipped region,
// nesting depth all open conditionals.
struct conditional_state_t
{
  int32_t skip_state = 0;
  int32_t nested_skip = 0;
  int32_t nesting = 0;
};

constexpr size_t MAX_INCLUDE_DEPTH = 128;

struct token_reader_impl_t final : token_reader_t
{
  token_reader_impl_t() = default;
  ~token_reader_impl_t();

  // Scanning. The current text (a logical line, a macro body or an argument) ends at its NUL.
  const char *text_start = "";
  const char *cursor = "";
  const char *token_start = "";
  std::string number_source; // the most recent number as written, for pasting
  keyword_map_t keywords;
  bool in_comment = false;

  // Input.
  line_reader_fn line_reader = nullptr; // null: no input
  const char *text_cursor = nullptr;    // position in the caller's text
  FILE *stream = nullptr;               // owned
  qstring file_name;
  bool has_file_name = false;
  int32_t line_number = -1;
  qstring line;                         // the current logical line
  bool have_line = false;
  void *user = nullptr;
  line_hook_t line_hook = nullptr;

  // Preprocessor.
  std::vector<include_frame_t> includes;
  std::vector<std::string> once_list;
  conditional_state_t cond;
  char saved_char = 0;

  // Macros. The context index is the 1-based index of the level whose arguments the markers of the
  // current text refer to; 0 when there is none.
  std::vector<expansion_level_t> expansions;
  uint32_t context = 0;
  macro_table_t *macros = nullptr; // owned unless macros_shared
  bool macros_shared = false;

  // Directive lines. In directive mode the end of the current line is the end of the available input;
  // in_if also enables "defined" and "__has_include".
  bool directive_mode = false;
  bool in_if = false;
};

inline token_reader_impl_t *impl(token_reader_t *reader)
{
  return static_cast<token_reader_impl_t *>(reader);
}
inline const token_reader_impl_t *impl(const token_reader_t *reader)
{
  return static_cast<const token_reader_impl_t *>(reader);
}

// Character classes of the scanner, one table lookup each.
enum : uint8_t
{
  CHAR_BLANK = 1,       // space and the bytes 9 to 13
  CHAR_IDENT_START = 2, // letters, "_" and "$"
  CHAR_DIGIT = 4,
  CHAR_OPERATOR = 8,    // "!%&*+-/<=>^|:": may combine with "=" or be doubled
  CHAR_SINGLE = 16,     // "?(),.[\\]`{};~@": one-character tokens
  CHAR_PUNCTUATION = 32 // both sets and "#": blanks after them are dropped by normalization
};

struct char_classes_t
{
  uint8_t bits[256] {};
  constexpr char_classes_t()
  {
    for ( int c = 9; c <= 13; ++c )
      bits[c] |= CHAR_BLANK;
    bits[int(' ')] |= CHAR_BLANK;
    for ( int c = 'a'; c <= 'z'; ++c )
      bits[c] |= CHAR_IDENT_START;
    for ( int c = 'A'; c <= 'Z'; ++c )
      bits[c] |= CHAR_IDENT_START;
    bits[int('_')] |= CHAR_IDENT_START;
    bits[int('$')] |= CHAR_IDENT_START;
    for ( int c = '0'; c <= '9'; ++c )
      bits[c] |= CHAR_DIGIT;
    for ( const char *p = "!%&*+-/<=>^|:"; *p != '\0'; ++p )
      bits[uint8_t(*p)] |= CHAR_OPERATOR | CHAR_PUNCTUATION;
    for ( const char *p = "?(),.[\\]`{};~@"; *p != '\0'; ++p )
      bits[uint8_t(*p)] |= CHAR_SINGLE | CHAR_PUNCTUATION;
    bits[int('#')] |= CHAR_PUNCTUATION;
  }
};
inline constexpr char_classes_t char_classes;

inline bool char_is(unsigned char c, uint8_t classes)
{
  return (char_classes.bits[c] & classes) != 0;
}
inline bool is_blank(unsigned char c)
{
  return char_is(c, CHAR_BLANK);
}
inline bool is_ident_start(unsigned char c)
{
  return char_is(c, CHAR_IDENT_START);
}
inline bool is_digit(unsigned char c)
{
  return char_is(c, CHAR_DIGIT);
}
inline bool is_ident_char(unsigned char c)
{
  return char_is(c, CHAR_IDENT_START | CHAR_DIGIT);
}
// The two bytes at p are a parameter marker.
inline bool is_marker(const char *p)
{
  return uint8_t(p[0]) == MACRO_PARAM_MARKER && uint8_t(p[1]) >= 0x80 && uint8_t(p[1]) <= 0xFE;
}

// Sets qerrno to code and returns it.
int fail(int code);

// ---- tokenizer.cpp
// One token from the current text; at its end, levels deeper than base_depth are left, then TOKEN_END.
[[nodiscard]] int scan_token(token_reader_impl_t *r, lexer_token_t *token, size_t base_depth);
// A number from the cursor (a digit, or "." and a digit).
[[nodiscard]] int scan_number(token_reader_impl_t *r, lexer_token_t *token);
// scan_token from base 0 followed by pasting while an expansion is active: the token stream that
// read_token, the #if evaluator and the include operand read.
[[nodiscard]] int next_token(token_reader_impl_t *r, lexer_token_t *token);
// The line reader of file input: the next line of the current stream without its byte-order mark.
[[nodiscard]] int file_line_reader(token_reader_impl_t *r, qstring *out);
// Closes the current file and every file of the include stack; the reader then has no input.
void close_inputs(token_reader_impl_t *r);

// ---- preprocessor.cpp
// The next active logical line (directives and skipped regions handled): 0 and *line, or 34 at the
// clean end of input, 37 at the end inside a conditional, the line hook's result or a directive's error.
[[nodiscard]] int next_logical_line(token_reader_impl_t *r, const char **line);
// Normalizes text in place (comments out, blank runs shortened) and keeps the comment state.
void normalize_line(token_reader_impl_t *r, char *text);
// The path of an include file in buf: the name as written when absolute, else found in the includer's
// directories (quoted form) and the search path. Null when not found.
char *find_include_file(token_reader_impl_t *r, char *buf, size_t size, const char *name, char delimiter, bool next);

// Runs a directive line's own token reading: the current text becomes `text` and its end the end of the
// available input; expansion levels, comment state and text positions of the surroundings are set aside
// and restored when the scope ends.
class directive_scope_t
{
public:
  directive_scope_t(token_reader_impl_t *r, const char *text, bool in_if);
  ~directive_scope_t();
  directive_scope_t(const directive_scope_t &) = delete;
  directive_scope_t &operator=(const directive_scope_t &) = delete;

private:
  token_reader_impl_t *r_;
  std::vector<expansion_level_t> expansions_;
  uint32_t context_;
  const char *text_start_;
  const char *cursor_;
  const char *token_start_;
  bool in_comment_;
  bool directive_mode_;
  bool in_if_;
};

// ---- macros.cpp
macro_table_t *new_macro_table(uint32_t options);
// Names (dynamic names, macro expansion, keywords): -1 error (code in qerrno), 0 the token is final,
// 1 a macro was expanded and scanning goes on in its text.
[[nodiscard]] int resolve_identifier(token_reader_impl_t *r, lexer_token_t *token);
// After a token while an expansion is active: joins "##" operands. *rescan asks for the next token to be
// scanned and pasted in turn (the pasted name expanded as a macro).
[[nodiscard]] int paste_tokens(token_reader_impl_t *r, lexer_token_t *token, bool *rescan);
// The marker at the cursor (expansion active): continue in the argument it names, or skip it.
void enter_argument(token_reader_impl_t *r);
// "#" and a marker at the cursor: the argument as a string token.
void stringise_argument(token_reader_impl_t *r, lexer_token_t *token);
void leave_level(token_reader_impl_t *r);
void leave_all_levels(token_reader_impl_t *r);
// #define: the macro name, the character that followed it (cut off at saved_pos) and the rest of the
// normalized line after the blanks behind it. 0 or an error code.
[[nodiscard]]
int define_from_directive(token_reader_impl_t *r, const char *name, char saved, char *saved_pos, char *rest);
// #undef NAME: removes it (an adopted table is copied first).
void undefine_from_directive(token_reader_impl_t *r, const char *name);
bool macro_defined(const token_reader_impl_t *r, std::string_view name);

// ---- pp_expression.cpp
// A value of an #if expression: 64 bits (two's complement) with the unsigned mark.
struct cond_value_t
{
  uint8_t unsigned_mark = 0;
  uint64_t value = 0;
};

// The value of the #if or #elif expression at text (the rest of the directive line): 0 and *value, or
// an error code.
[[nodiscard]] int evaluate_condition(token_reader_impl_t *r, const char *text, cond_value_t *value);

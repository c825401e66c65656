// token_reader_t: the C-like tokenizer with its preprocessor (directives, includes, macros, #if).
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"
#include "core/xfloat.h"

#include <cstddef>
#include <cstdint>

// Token kinds (lexer_token_t::kind). Codes 128 to 1023 are keywords (128 + position in the reader's
// keyword list); any other value is punctuation: a character's own code, X * 256 + '=' for "X=",
// X * 257 for a doubled X ("&&", "<<", "::"), the doubled code + '=' for "<<=" and ">>=", 0x2D3E for "->"
// and TOKEN_ELLIPSIS for "...". Every two-character code lies above 0x2100.
constexpr uint16_t TOKEN_END = 1;     // end of input (or of the directive line inside #if)
constexpr uint16_t TOKEN_NAME = 2;    // identifier that is neither a keyword nor an expanded macro
constexpr uint16_t TOKEN_INTEGER = 3; // integer literal: value in `number`
constexpr uint16_t TOKEN_STRING = 4;  // string literal: content in `text`, escapes decoded
constexpr uint16_t TOKEN_CHAR = 5;    // character literal: value in `number`
constexpr uint16_t TOKEN_TYPE = 6;    // never scanned; rendered by token_to_text
constexpr uint16_t TOKEN_FLOAT = 7;   // floating-point literal: value in `value.real`
constexpr uint16_t TOKEN_INT64 = 8;   // integer literal with suffix LL or i64: value in `value.integer`
constexpr uint16_t TOKEN_FIRST_KEYWORD = 128;
constexpr uint16_t TOKEN_LAST_KEYWORD = 1023;
constexpr uint16_t TOKEN_ELLIPSIS = 0x2E5C;

// The code of a two-character punctuation token, as the scanner gives it.
constexpr uint16_t token_pair(char first, char second)
{
  return uint16_t(uint8_t(first) * 256 + uint8_t(second));
}

// One token. Promises: `text` holds the characters of names and keywords as written and the decoded
// content of strings; for other kinds it keeps whatever an earlier token left there.
struct lexer_token_t
{
  qstring text;
  uint16_t kind = TOKEN_END;
  uint64_t number = 0; // integer literal value (all 64 bits), character literal value
  uint8_t flag = 0;    // strings and characters: 1 for the L prefix; numbers: 0 (the #if unsigned mark)
  union
  {
    xfloat_t real;   // TOKEN_FLOAT
    int64_t integer; // TOKEN_INT64 (the first 8 bytes)
  } value {};
};

// A deep copy of the text and a copy of the other fields.
void lexer_token_copy(lexer_token_t *destination, const lexer_token_t &source);
// Frees every token's text and the array; the vector is left empty.
void free_lexer_tokens(qvector<lexer_token_t> *tokens);

// The text of a token into *out, returned (never null): "<END>", names and keywords as written, integers
// as "0x%a", strings quoted with backslash escapes and "L" when wide, characters in single quotes ('\0'
// for 0), "@type NAME", floats as float_to_text writes them, 64-bit integers as "0x...i64",
// punctuation as its characters.
const char *token_to_text(const lexer_token_t &token, qstring *out);

// The keyword list used when a reader is created without one: "__cdecl" (128) to "__signed" (254).
constexpr size_t DEFAULT_TYPE_KEYWORD_COUNT = 127;
extern const char *const default_type_keywords[DEFAULT_TYPE_KEYWORD_COUNT];

// A macro table: name -> definition. Owned by one reader, or detached (token_reader_t::detach_macros) and
// then owned by the caller, who may hand it to readers (token_reader_t::set_text) and frees it with
// free_macro_table.
struct macro_table_t;

// In the body of a function-like macro, a use of parameter k (0 to 126) is the two bytes
// MACRO_PARAM_MARKER, 0x80 + k. The lead byte never occurs in UTF-8 text.
constexpr unsigned char MACRO_PARAM_MARKER = 0xFF;
constexpr int MACRO_MAX_PARAMS = 127;

// Called for every physical line that starts a logical line; a non-zero result stops reading with that
// result as the error code. The file name is null while reading text.
using line_hook_t = int (*)(void *user_data, const char *file_name, int32_t line_number, const char *line_text);

// Bit of create_token_reader's options: also predefine the system macros "__NT__" and "__EA64__".
constexpr uint32_t TOKEN_READER_SYSTEM_MACROS = 1;

// The reader: one input (a file with its includes, or a text in memory) at a time, one thread at a time.
// Created by create_token_reader, freed by destroy_token_reader. Failures return the error code and
// leave it in the thread's error state (qerrno, with its arguments); the reader stays usable and the
// next read continues where scanning stopped.
class token_reader_t
{
public:
  token_reader_t(const token_reader_t &) = delete;
  token_reader_t &operator=(const token_reader_t &) = delete;

  // Closes every pending input file, resets the line number (0), the comment and conditional state
  // and opens path for reading. 0, or the error code: 1 (errno ENOENT) for a null path, else the file
  // layer's code. A successful open replaces an adopted macro table by a fresh one.
  [[nodiscard]] int open_file(const char *path);
  // Reads text (not copied: it must outlive the reading) instead of any earlier input, whose files are
  // closed. A non-null table is adopted: it is read, never changed (a definition makes a private copy
  // first) and never freed by this reader. Returns 0.
  int set_text(const char *text, macro_table_t *shared_macros);
  // Closes every input, leaves every macro expansion and sets the line number to -1; with reset_macros
  // the macro table becomes a fresh one with the base predefined macros.
  void end_input(bool reset_macros);
  // n < 1: the current file name (null while reading text), its line number and the current logical
  // line (empty when none). n >= 1: the file that included the current one n levels up, the line
  // number of its include and the text "#include ..."; null when n exceeds the include depth.
  // line_number and line_text may be null.
  const char *get_position(int32_t *line_number, const char **line_text, int n) const;
  void *set_user_data(void *user_data);
  void *user_data() const;
  line_hook_t set_line_hook(line_hook_t hook);
  // Hands the macro table to the caller; the reader gets a fresh one with the base predefined macros.
  // Detaching an adopted table is internal error 302.
  macro_table_t *detach_macros();

protected:
  token_reader_t() = default;
  ~token_reader_t() = default;
};

// A new reader over the keyword list (count texts; null uses default_type_keywords), with the
// predefined macros (TOKEN_READER_SYSTEM_MACROS adds the system ones). Null when out of memory.
token_reader_t *create_token_reader(const char *const *keywords, size_t count, void *user_data, uint32_t options);
// Ends the input and frees the reader and what it owns (an adopted macro table is not freed). Null is
// ignored.
void destroy_token_reader(token_reader_t *reader);

// The next token into *token: 0, or an error code (also in qerrno). At the end of all input the kind is
// TOKEN_END with result 0, on this and every later call.
[[nodiscard]] int read_token(token_reader_t *reader, lexer_token_t *token);

// Defines (or silently replaces) a macro: 0, or 38 (also in qerrno) for a null or empty name or 128 or
// more parameters. The body is stored as given (parameter uses as MACRO_PARAM_MARKER pairs).
[[nodiscard]]
int define_macro(token_reader_t *reader, const char *name, const char *body, int param_count, bool function_like);
// Removes the macro if it exists. On an adopted table: internal error 303.
void undefine_macro(token_reader_t *reader, const char *name);
// Releases the current table (freed unless adopted), then adopts `table` when it is not null, else builds
// a fresh table with the base predefined macros and, with TOKEN_READER_SYSTEM_MACROS in options, the
// system ones. 0, or the code of a failed definition.
int reset_macros(token_reader_t *reader, macro_table_t *table, uint32_t options);
// Frees a detached table; null is ignored.
void free_macro_table(macro_table_t *table);

// The cfg reader: directives NAME = value from configuration files or from text, stored into the variables
// that a caller's keyword table names.
#pragma once

#include "core/json_value.h"
#include "core/qstring.h"
#include "core/qvector.h"
#include "core/token_reader.h"

#include <cstddef>
#include <cstdint>

// Kinds: bits 0-3 of config_keyword_t::flags. Kinds 0, 4 and 8 to 15 are refused (message 1364).
constexpr uint32_t CFG_KIND_MASK = 0xF;
constexpr uint32_t CFG_STRING = 1;  // a character buffer of `first` bytes, or a qstring with CFG_STRING_QSTRING
constexpr uint32_t CFG_INTEGER = 2; // 8, 16 or 32 bits
constexpr uint32_t CFG_BOOLEAN = 3;
constexpr uint32_t CFG_INT64 = 5;
constexpr uint32_t CFG_HANDLER = 6; // `target` is the handler function (config_handler_t and its wider forms)
constexpr uint32_t CFG_JSON = 7;    // a json_value_t

// The target is an offset added to the caller's base; a null base makes the directive unrecognised. A handler
// is never offset: with this bit it also receives first, second and the base (config_base_handler_t).
constexpr uint32_t CFG_OFFSET = 0x40000;

// Options, bits 24-27, by kind.
constexpr uint32_t CFG_STRING_QSTRING = 0x1000000; // string: the target is a qstring
// String: the value is a run of string literals (for directive text also names and printable punctuation
// characters) joined, ended by ";", by the end of a directive text, or in a file by the next directive's name.
constexpr uint32_t CFG_STRING_RAW = 0x2000000;
constexpr uint32_t CFG_INT_WIDTH_MASK = 0x3000000; // integer: width code 0 = 32 bits, 3 = refused when storing
constexpr uint32_t CFG_INT_8 = 0x1000000;
constexpr uint32_t CFG_INT_16 = 0x2000000;
constexpr uint32_t CFG_INT_BOUNDS = 0x4000000;     // integer: first and second are the bounds
constexpr uint32_t CFG_INT_UNSIGNED = 0x8000000;   // integer: unsigned
constexpr uint32_t CFG_INT64_BOUNDS = 0x1000000;   // 64-bit integer: first and second are the bounds
constexpr uint32_t CFG_INT64_UNSIGNED = 0x2000000; // 64-bit integer: unsigned
// Boolean width codes: 0 sets or clears the bits of `first` in a 32-bit word; the others below. Any other code
// is refused when storing.
constexpr uint32_t CFG_BOOL_WIDTH_MASK = 0xF000000;
constexpr uint32_t CFG_BOOL_BYTE_BITS = 0x1000000;   // the low 8 bits of `first` in a byte
constexpr uint32_t CFG_BOOL_WORD16_BITS = 0x2000000; // the low 16 bits of `first` in a 16-bit word
constexpr uint32_t CFG_BOOL_BYTE = 0x3000000;        // 1 or 0 stored in a byte
constexpr uint32_t CFG_HANDLER_PARAMS = 0x1000000;  // handler: also receives first and second

// One entry of a caller's keyword table (an array searched in order, first match).
struct config_keyword_t
{
  const char *name; // compared exactly
  uint64_t target;  // address of the variable, an offset (CFG_OFFSET), or the handler function
  uint32_t flags;   // kind and options
  uint64_t first;   // lower bound, buffer size, bit mask or handler argument
  uint64_t second;  // upper bound or handler argument
};

// Results of handlers and stores. Any other value is the address of an error text to show.
constexpr intptr_t CFG_RESULT_OK = 0;
constexpr intptr_t CFG_RESULT_UNRECOGNISED = 1;
constexpr intptr_t CFG_RESULT_REFUSED = 2;  // message 1364
constexpr intptr_t CFG_RESULT_BAD_VALUE = 3; // message 1353

// The unrecognised-directive handler, and the plain form of a kind-6 handler. The tokens are copies; the
// handler may read further tokens from the reader.
using config_handler_t = intptr_t (*)(token_reader_t *reader, const lexer_token_t *name, const lexer_token_t *value);
// Kind-6 handler of an entry with CFG_HANDLER_PARAMS.
using config_param_handler_t = intptr_t (*)(token_reader_t *reader, const lexer_token_t *name,
                                            const lexer_token_t *value, uint64_t first, uint64_t second);
// Kind-6 handler of an entry with CFG_OFFSET.
using config_base_handler_t = intptr_t (*)(token_reader_t *reader, const lexer_token_t *name,
                                           const lexer_token_t *value, uint64_t first, uint64_t second, void *base);

// Message ids of the catalogue.
constexpr int CFG_MSG_EQUALS_EXPECTED = 1347;
constexpr int CFG_MSG_STRING_EXPECTED = 1348;
constexpr int CFG_MSG_NUMBER_EXPECTED = 1352;
constexpr int CFG_MSG_BAD_VALUE = 1353;
constexpr int CFG_MSG_BOOLEAN_EXPECTED = 1355;
constexpr int CFG_MSG_SEMICOLON_EXPECTED = 1362;
constexpr int CFG_MSG_DIRECTIVE_FAILED = 1363;
constexpr int CFG_MSG_UNSUPPORTED_KIND = 1364;

// Bit of debug_flags that logs every cfg file read and every macro defined.
constexpr uint32_t CFG_DEBUG_FLAG = 0x80;

// A directive's value as converted for storing: one field by kind.
struct config_value_t
{
  uint64_t number = 0; // integers, 64-bit integers, booleans (1 or 0)
  qstring text;        // strings
  json_value_t json;   // JSON
  // Handlers: the reader and copies of the name and value tokens.
  token_reader_t *reader = nullptr;
  lexer_token_t name;
  lexer_token_t token;
};

// A further keyword table, searched after the caller's for directives given as text. A match is stored
// with this table's base; after a successful store the hook (may be null) gets the entry, its kind and the
// value.
struct extra_config_keyword_table_t
{
  const config_keyword_t *table;
  size_t count;
  void (*post_store)(const config_keyword_t *entry, uint32_t kind, const config_value_t *value);
  void *base;
};
// Process-wide and unlocked; filled by the program before it reads directives.
extern qvector<extra_config_keyword_table_t> extra_config_keyword_tables;
// Set while UI callback 117 is being asked about a directive; a directive it leads to that is unrecognised
// in turn fails without asking again.
extern uint8_t config_directive_guard;

// The reader's user data. Directive text is non-empty only for a directive given as text: the other fields
// then say file "", line 0, line text = the directive. For files they are the reader's position when the
// directive's name was read. Line number -1 before the first directive.
struct config_reader_state
{
  qstring directive_text;
  qstring file_name;
  qstring line_text;
  int32_t line_number = -1;
  // Tokens read past a value and not used by it (after a JSON or raw string value): they start the next
  // directive. Delivered last first.
  qvector<lexer_token_t> unread;
};

// Reads directives. Mode 0: name_or_text is directive text. Mode 1 (and any mode other than 0 and 2): every
// file of that name in the configuration directories (find_config_files), in their order. Mode 2: that one
// file. A name without extension gets ".cfg". Each directive is stored into the variable of its table entry
// (relative to base for CFG_OFFSET entries); an unknown directive goes to the handler (null: unrecognised).
// A failing directive is shown and ends its input (the text, or the current file: later files are still
// read); directives before it stay stored. The include search path becomes the directories of the files.
// True when every input was read to its end without a failing directive; false for a null name, when no
// file was found (without a message), or when any input failed.
[[nodiscard]]
bool read_config_source(const char *name_or_text, int mode, const config_keyword_t *table, size_t count,
                        config_handler_t handler, const char *const *macro_names, size_t macro_count, void *base);

// A token reader for directives: keywords "true", "false", "NO", "OFF", "ON", "YES" (codes 128 to 133), the
// system macros, a fresh config_reader_state as user data, and the macros of define_config_macro for each
// name. Free it with destroy_config_reader. Null when out of memory.
token_reader_t *make_config_reader(const char *const *macro_names, size_t count);
// Frees the state and the reader; null is ignored.
void destroy_config_reader(token_reader_t *reader);
// The state of a reader made by make_config_reader.
config_reader_state *config_state(token_reader_t *reader);

// The next token of a reader made by make_config_reader: a token left over by the previous value first (see
// config_reader_state::unread), else the reader's. 0, or the reader's error code.
int next_config_token(token_reader_t *reader, lexer_token_t *token);
// Reads one JSON value that starts with `first` (a value token already read); tokens read past the value are
// left over for the next directive. 0 and *out replaced, or the error code of the JSON reader.
int read_config_json(token_reader_t *reader, const lexer_token_t &first, json_value_t *out);

// Defines the empty object-like macro "__" + the name in upper case + "__"; logs "cfg: define macro %s\n"
// first under CFG_DEBUG_FLAG.
void define_config_macro(token_reader_t *reader, const char *name);

// Reads and stores one directive. True when it was stored, or at the end of the input (*end set); false
// when it failed (a message was shown).
[[nodiscard]]
bool parse_config_directive(bool *end, token_reader_t *reader, const config_keyword_t *table, size_t count,
                            config_handler_t handler, void *base);

// A warning box: "AUTOHIDE NONE\n", then with a reader whose state names a file "FILE,LINE: ", then with a
// reader its state's line text and "\n", then the formatted message (the core's printf extensions apply).
void config_error(token_reader_t *reader, const char *format, ...);
// config_error with the text of an error code or catalogue message.
void config_directive_error(token_reader_t *reader, int number);

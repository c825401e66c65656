// Reading JSON text, or the tokens of an open token reader, into a JSON value.
#pragma once

#include "core/json_value.h"
#include "core/qvector.h"
#include "core/token_reader.h"

// Error codes of the reader (message ids of the catalogue).
constexpr int JSON_COLON_EXPECTED = 46; // a member's key is not followed by ':'
constexpr int JSON_SYNTAX_ERROR = 47;   // anything else out of place, or a number that does not fit a double
constexpr int JSON_MEMBER_NAME_EXPECTED = 1680; // an object member does not start with a string or a name

// The language read: the token language of the token reader (comments, the preprocessor, numbers in any
// base) with these extensions to JSON: keys may be bare names, adjacent string literals are joined ("a" "b"
// is "ab"), wide literals are strings, keys may repeat, and the document ends after one value (what follows
// is not read). Integer literals give integers (64 bits, a leading "-" negating), floating-point literals
// doubles. No trailing comma. "true", "false" and "null" are recognised by their text, whatever keyword list
// the token reader was created with; other keywords read as names. Nesting is bounded by the grammar driver
// (error GRAMMAR_TOO_DEEP).

// Parses the text (null reads as empty) with a token reader of its own. 0 and *result replaced by the value
// (its old content freed), or the error code (also in the thread's error state) and *result untouched.
[[nodiscard]] int json_parse_text(json_value_t *result, const char *text);

// Parses one value from the reader. The tokens of *pushed_back (may be null) are delivered before the
// reader's, the last element first; the parser takes them over. On success *pushed_back receives, in the
// same order, the tokens that were taken and not used, so that a caller who reads on gets them first: only a
// string value reads one token past its end, to look for an adjacent literal. Returns 0 and *result replaced
// by the value (its old content freed), or the error code left by the grammar or the token reader, with
// *result untouched and *pushed_back empty.
[[nodiscard]] int json_parse_tokens(json_value_t *result, token_reader_t *reader, qvector<lexer_token_t> *pushed_back);

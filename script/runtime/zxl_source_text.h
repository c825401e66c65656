// Source texts the engine builds around a host's text: where its last statement starts, and the function
// wrapper that returns that statement's value.
#pragma once

#include "core/qstring.h"

#include <cstddef>
#include <optional>

// The position where the last statement of the text starts when it can be returned as a value: none for an
// empty text, one ending in "}", one with a ")" too many, or one whose last statement is empty, only "//"
// comment lines, or starts with one of the keywords "if", "do", "for", "while", "break", "continue",
// "return", "try", "throw", "auto", "extern". Quotes, both comment forms and a final ";" are understood.
std::optional<size_t> zxl_find_last_statement(const char *text);

// The text of a function named `name` without parameters whose body is `text`, returning the value of its
// last statement when zxl_find_last_statement finds one: "static NAME(){" TEXT "\n;}" or
// "static NAME(){" HEAD "return " TAIL "\n;}".
void zxl_wrapper_text(qstring *out, const char *name, const char *text);

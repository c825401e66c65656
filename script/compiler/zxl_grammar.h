// The ZXL grammar: token kinds of the language, rule and action numbers, and the 44 rule tables the grammar
// driver walks.
#pragma once

#include "core/grammar_driver.h"
#include "core/token_reader.h"

#include <cstdint>

// Keywords of the engine's token reader (the default keyword list): 128 plus the position in the list.
namespace zxl_kw
{
inline constexpr int16_t INT64 = 128 + 16; // "__int64"
inline constexpr int16_t DO = 128 + 18;
inline constexpr int16_t IF = 128 + 19;
inline constexpr int16_t FOR = 128 + 25;
inline constexpr int16_t NEW = 128 + 27;
inline constexpr int16_t TRY = 128 + 28;
inline constexpr int16_t AUTO = 128 + 29;
inline constexpr int16_t CHAR = 128 + 32;
inline constexpr int16_t ELSE = 128 + 33;
inline constexpr int16_t LONG = 128 + 37;
inline constexpr int16_t THIS = 128 + 38;
inline constexpr int16_t VOID = 128 + 39;
inline constexpr int16_t BREAK = 128 + 40;
inline constexpr int16_t CATCH = 128 + 41;
inline constexpr int16_t CLASS = 128 + 42;
inline constexpr int16_t FLOAT = 128 + 44;
inline constexpr int16_t THROW = 128 + 46;
inline constexpr int16_t WHILE = 128 + 48;
inline constexpr int16_t EXTERN = 128 + 50;
inline constexpr int16_t RETURN = 128 + 54;
inline constexpr int16_t SIZEOF = 128 + 56;
inline constexpr int16_t STATIC = 128 + 57;
inline constexpr int16_t CONTINUE = 128 + 65;
} // namespace zxl_kw

// Number of grammar rules and of compiler actions.
inline constexpr int ZXL_RULE_COUNT = 44;
inline constexpr int ZXL_ACTION_COUNT = 115;

// The rule tables by rule number (0: program).
extern const grammar_rule_entry_t *const zxl_rules[ZXL_RULE_COUNT];
// The number of entries of each rule table.
extern const uint8_t zxl_rule_sizes[ZXL_RULE_COUNT];

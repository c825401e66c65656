// The table-driven recursive-descent grammar driver shared by the JSON reader and the script compiler.
#pragma once

#include "core/token_reader.h"

#include <cstdint>

// One entry of a rule: 6 bytes, packed. A rule is an array of entries; the entries after a given one, up
// to the next end marker, are the alternatives tried at that position, and `next` may point past an end
// marker into a later group of the same array, each group closed by its own end marker.
#pragma pack(push, 1)
struct grammar_rule_entry_t
{
  int16_t token;    // token kind required here; GRAMMAR_NO_TOKEN = no test; GRAMMAR_END_MARKER = end marker
  int16_t sub_rule; // rule parsed after the token test, GRAMMAR_NO_RULE = none; in an end marker: its
                    // error code (0 = the rule succeeds here without a match)
  uint8_t next;     // entry of the same array that continues this alternative; GRAMMAR_MATCHED = done
  uint8_t action;   // index in the action table; GRAMMAR_NO_ACTION = none
};
#pragma pack(pop)
static_assert(sizeof(grammar_rule_entry_t) == 6);

constexpr int16_t GRAMMAR_NO_TOKEN = 0;
constexpr int16_t GRAMMAR_END_MARKER = -1;
constexpr int16_t GRAMMAR_NO_RULE = -1;
constexpr uint8_t GRAMMAR_MATCHED = 255;
constexpr uint8_t GRAMMAR_NO_ACTION = 255;

// An action's answer that rejects its alternative: the token counts as not consumed and the next entry
// of the array is tried.
constexpr int GRAMMAR_REJECT = 1507;
// End-marker code whose message names the offending token: its text goes to error argument 0.
constexpr int GRAMMAR_ERROR_NEAR_TOKEN = 67;
// Rules parsed inside each other at most; one more is error GRAMMAR_TOO_DEEP (argument 0: the bound).
// Input a user hands the program may nest without end; the driver recurses once per rule.
constexpr int GRAMMAR_MAX_DEPTH = 2000;
constexpr int GRAMMAR_TOO_DEEP = 1681;

struct grammar_driver_t;
// Reads the next token into driver->token: 0, or an error code (left in the thread's error state) that
// stops the parse.
using grammar_feed_t = int (*)(grammar_driver_t *driver);
// Semantic action: 0 to go on, GRAMMAR_REJECT, or an error code (which the action has set) that stops the
// parse.
using grammar_action_t = int (*)(grammar_driver_t *driver, int action);

// The state of one parse, filled by its user before the first call and kept during the parse. Users
// derive from it to add their own fields (their actions cast the driver back). The driver allocates
// nothing and reads the tables in place; the tables are not owned.
struct grammar_driver_t
{
  grammar_feed_t feed = nullptr;
  const grammar_rule_entry_t *const *rules = nullptr; // entry array of each rule number
  const grammar_action_t *actions = nullptr;
  uint8_t pending = 0; // 1: `token` has been read and not yet consumed
  lexer_token_t token; // the current token
  int32_t depth = 0;   // rules being parsed now
};

// Parses one rule. For each entry from the first: a token test reads a token when none is pending and, on
// a different kind, moves on to the next alternative; on a match the token is consumed. Then the
// sub-rule, if any, is parsed recursively; then the action, if any, runs. Then `next` is followed. An end
// marker with code 0 succeeds without consuming anything; another code fails with that code (for
// GRAMMAR_ERROR_NEAR_TOKEN the current token's text, empty for tokens without text, first becomes error
// argument 0). A token left pending when a rule ends stays for the caller's next entry.
// True on success; false with the thread's error code set (by the feed, an action, an end marker or the
// depth bound).
[[nodiscard]] bool grammar_driver(grammar_driver_t *driver, int rule);

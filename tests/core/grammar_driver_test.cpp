// Tests of the grammar driver on small synthetic grammars: alternatives, sub-rules, actions, rejection,
// end-marker codes, feed failures and the nesting bound.
#include "core/grammar_driver.h"

#include "core/error_state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr int16_t KW_THEN = 130;

struct test_token_t
{
  uint16_t kind;
  const char *text; // null: the token leaves the text field as it was, like punctuation does
};

// A driver over a fixed list of tokens; TOKEN_END after the last. Actions append to `trace`.
struct test_driver_t : grammar_driver_t
{
  std::vector<test_token_t> tokens;
  size_t next = 0;
  size_t fail_at = SIZE_MAX; // the feed fails with 24 when asked for this token
  int reads = 0;
  std::string trace;
};

int test_feed(grammar_driver_t *d)
{
  auto *t = static_cast<test_driver_t *>(d);
  ++t->reads;
  if ( t->next == t->fail_at )
    return qerrno_set(24);
  const test_token_t tok = t->next < t->tokens.size() ? t->tokens[t->next++] : test_token_t {TOKEN_END, nullptr};
  d->token.kind = tok.kind;
  if ( tok.text != nullptr )
    d->token.text = tok.text;
  return 0;
}

void emit(grammar_driver_t *d, const std::string &word)
{
  auto *t = static_cast<test_driver_t *>(d);
  if ( !t->trace.empty() )
    t->trace += ' ';
  t->trace += word;
}

// 0 "+", 1 name, 2 number: build postfix. 3 accept upper-case names only, 4 "var". 5 fail with 99.
int test_action(grammar_driver_t *d, int action)
{
  switch ( action )
  {
    case 0:
      emit(d, "+");
      return 0;
    case 1:
    case 2:
      emit(d, d->token.text.c_str());
      return 0;
    case 3:
      if ( d->token.text[0] < 'A' || d->token.text[0] > 'Z' )
        return GRAMMAR_REJECT;
      emit(d, "type:" + std::string(d->token.text.c_str()));
      return 0;
    case 4:
      emit(d, "var:" + std::string(d->token.text.c_str()));
      return 0;
    case 5:
      emit(d, "fail");
      return qerrno_set(99);
    default:
      return qerrno_set(98);
  }
}

constexpr uint8_t M = GRAMMAR_MATCHED;
constexpr uint8_t N = GRAMMAR_NO_ACTION;
constexpr int16_t E = GRAMMAR_END_MARKER;

// 0 sum:  term { "+" term }                         (the loop ends at an end marker with code 0)
const grammar_rule_entry_t rule_sum[] = {
  {0, 1, 1, N},
  {'+', 1, 1, 0},
  {E, 0, 0, 0},
};
// 1 term: name | number | "(" sum ")"               (error 67 where a term is missing, 46 without ")")
const grammar_rule_entry_t rule_term[] = {
  {TOKEN_NAME, -1, M, 1},
  {TOKEN_INTEGER, -1, M, 2},
  {'(', 0, 4, N},
  {E, GRAMMAR_ERROR_NEAR_TOKEN, 0, 0},
  {')', -1, M, N}, // reached only through the "(" entry's next index, past the end marker
  {E, 46, 0, 0},
};
// 2 declaration: Type-name (action rejects lower case) | name, then "then"
const grammar_rule_entry_t rule_declaration[] = {
  {TOKEN_NAME, -1, 3, 3},
  {TOKEN_NAME, -1, 3, 4},
  {E, 47, 0, 0},
  {KW_THEN, -1, M, N},
  {E, 47, 0, 0},
};
// 3 nest: "(" nest ")" | nothing
const grammar_rule_entry_t rule_nest[] = {
  {'(', 3, 2, N},
  {E, 0, 0, 0},
  {')', -1, M, N},
  {E, 46, 0, 0},
};
// 4 failing: name with an action that stops the parse, then a sum that must never run
const grammar_rule_entry_t rule_failing[] = {
  {TOKEN_NAME, -1, 1, 5},
  {0, 0, M, N},
  {E, 47, 0, 0},
};
const grammar_rule_entry_t *const test_rules[] = {rule_sum, rule_term, rule_declaration, rule_nest, rule_failing};
const grammar_action_t test_actions[] = {test_action, test_action, test_action, test_action, test_action, test_action};

test_token_t name(const char *text)
{
  return {TOKEN_NAME, text};
}
test_token_t number(const char *text)
{
  return {TOKEN_INTEGER, text};
}
test_token_t punct(char c)
{
  return {uint16_t(c), nullptr};
}

struct run_result_t
{
  bool ok;
  int code;
  std::string trace;
  std::string arg0;
};

run_result_t run(int rule, std::vector<test_token_t> tokens, test_driver_t *out = nullptr)
{
  test_driver_t local;
  test_driver_t &d = out != nullptr ? *out : local;
  d.feed = test_feed;
  d.rules = test_rules;
  d.actions = test_actions;
  d.tokens = std::move(tokens);
  qerrno_set(0);
  error_arg_text(0, nullptr);
  run_result_t r;
  r.ok = grammar_driver(&d, rule);
  r.code = qerrno_get();
  r.trace = d.trace;
  const char *arg = get_error_arg_text(0);
  r.arg0 = arg != nullptr ? arg : "<none>";
  EXPECT_EQ(d.depth, 0);
  return r;
}

TEST(GrammarDriver, AlternativesSubRulesAndActions)
{
  struct case_t
  {
    const char *name;
    std::vector<test_token_t> tokens;
    const char *trace;
  };
  const case_t cases[] = {
    {"single name", {name("a")}, "a"},
    {"sum", {name("a"), punct('+'), number("1")}, "a 1 +"},
    {"nested sums", {name("a"), punct('+'), punct('('), number("1"), punct('+'), name("b"), punct(')')},
     "a 1 b + +"},
    {"parentheses only", {punct('('), punct('('), name("x"), punct(')'), punct(')')}, "x"},
    {"what follows is not read", {name("a"), name("b")}, "a"},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    const run_result_t r = run(0, c.tokens);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.trace, c.trace);
  }
}

TEST(GrammarDriver, EndMarkerWithCodeZeroLeavesTheTokenPending)
{
  // The sum's loop reads the token after "a", finds no "+" and succeeds; the name stays pending.
  test_driver_t d;
  ASSERT_TRUE(run(0, {name("a"), name("b")}, &d).ok);
  EXPECT_EQ(d.pending, 1);
  EXPECT_EQ(d.token.kind, TOKEN_NAME);
  EXPECT_EQ(d.token.text, "b");
  EXPECT_EQ(d.reads, 2);
  // Parsing on consumes the pending token without reading again.
  ASSERT_TRUE(grammar_driver(&d, 0));
  EXPECT_EQ(d.trace, "a b");
  EXPECT_EQ(d.reads, 3);
}

TEST(GrammarDriver, EndMarkerCodesAndTheOffendingToken)
{
  struct case_t
  {
    const char *name;
    std::vector<test_token_t> tokens;
    int code;
    const char *arg0;
    const char *trace;
  };
  const case_t cases[] = {
    {"no term at the start", {punct('+')}, GRAMMAR_ERROR_NEAR_TOKEN, "", ""},
    {"no term at the end", {name("a"), punct('+')}, GRAMMAR_ERROR_NEAR_TOKEN, "", "a"},
    {"keyword instead of a term", {name("a"), punct('+'), {KW_THEN, "then"}}, GRAMMAR_ERROR_NEAR_TOKEN, "then",
     "a"},
    {"string instead of a term", {{TOKEN_STRING, "s t"}}, GRAMMAR_ERROR_NEAR_TOKEN, "s t", ""},
    // The ")" token leaves the text of "a" in place; that text must not be reported as the ")"'s.
    {"punctuation keeps no stale text", {name("a"), punct('+'), punct(')')}, GRAMMAR_ERROR_NEAR_TOKEN, "", "a"},
    {"missing closing parenthesis", {punct('('), name("a")}, 46, "<none>", "a"},
    {"two terms in parentheses", {punct('('), name("a"), name("b"), punct(')')}, 46, "<none>", "a"},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    const run_result_t r = run(0, c.tokens);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.arg0, c.arg0);
    EXPECT_EQ(r.trace, c.trace);
  }
}

TEST(GrammarDriver, RejectingActionTriesTheNextAlternativeWithTheSameToken)
{
  struct case_t
  {
    const char *name;
    std::vector<test_token_t> tokens;
    bool ok;
    const char *trace;
  };
  const case_t cases[] = {
    {"accepted by the first alternative", {name("Foo"), {KW_THEN, "then"}}, true, "type:Foo"},
    {"rejected, taken by the second", {name("foo"), {KW_THEN, "then"}}, true, "var:foo"},
    // After the second alternative consumed the name, "then" must be read, not the name again.
    {"the rejected token is consumed once", {name("foo"), name("x")}, false, "var:foo"},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    test_driver_t d;
    const run_result_t r = run(2, c.tokens, &d);
    EXPECT_EQ(r.ok, c.ok);
    EXPECT_EQ(r.trace, c.trace);
    EXPECT_EQ(d.reads, 2);
  }
}

TEST(GrammarDriver, ActionErrorStopsTheParse)
{
  const run_result_t r = run(4, {name("a"), name("b")});
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.code, 99);
  EXPECT_EQ(r.trace, "fail");
}

TEST(GrammarDriver, FeedFailureInANestedRuleFailsTheWholeParse)
{
  struct case_t
  {
    const char *name;
    std::vector<test_token_t> tokens;
    size_t fail_at;
    const char *trace;
  };
  const case_t cases[] = {
    {"first token of all", {name("a")}, 0, ""},
    {"first token inside parentheses", {punct('('), name("a"), punct(')')}, 1, ""},
    {"first token of the second term", {name("a"), punct('+'), name("b")}, 2, "a"},
    {"lookahead after the last term", {name("a")}, 1, "a"},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    test_driver_t d;
    d.fail_at = c.fail_at;
    const run_result_t r = run(0, c.tokens, &d);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.code, 24);
    EXPECT_EQ(r.trace, c.trace);
  }
}

TEST(GrammarDriver, NestingIsBounded)
{
  // Each "(" enters the nest rule once more: n parentheses need n + 1 levels.
  const auto nested = [](int n) {
    std::vector<test_token_t> tokens(size_t(n), punct('('));
    tokens.insert(tokens.end(), size_t(n), punct(')'));
    return tokens;
  };
  EXPECT_TRUE(run(3, nested(GRAMMAR_MAX_DEPTH - 1)).ok);

  for ( const int n : {GRAMMAR_MAX_DEPTH, 100000} )
  {
    SCOPED_TRACE(n);
    qerrno_set(0);
    test_driver_t d;
    const run_result_t r = run(3, nested(n), &d);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.code, GRAMMAR_TOO_DEEP);
    EXPECT_EQ(get_error_arg_number(0), uint64_t(GRAMMAR_MAX_DEPTH));
    EXPECT_EQ(d.reads, GRAMMAR_MAX_DEPTH);
  }
}

} // namespace

// The ZXL grammar rules as tables of the grammar driver. Each rule is written as its alternatives in order;
// the helpers below build the 6-byte entries at compile time.
#include "script/compiler/zxl_grammar.h"

#include <array>
#include <iterator>

namespace
{

using entry = grammar_rule_entry_t;
constexpr uint8_t DONE = GRAMMAR_MATCHED;
constexpr uint8_t NA = GRAMMAR_NO_ACTION;

// A token test: on a match the token is consumed, `rule` (if any) parsed, `action` (if any) run, then `next`.
constexpr entry tok(int token, uint8_t next, int action = NA, int rule = GRAMMAR_NO_RULE)
{
  return {int16_t(token), int16_t(rule), next, uint8_t(action)};
}
// An alternative that is always taken ("otherwise"), or a step of a sequence: rule, then action, then next.
constexpr entry any(int rule, uint8_t next, int action = NA)
{
  return {GRAMMAR_NO_TOKEN, int16_t(rule), next, uint8_t(action)};
}
// The end of a choice: the rule fails with `code`, or succeeds without consuming anything when it is 0.
constexpr entry fail(int code)
{
  return {GRAMMAR_END_MARKER, int16_t(code), 0, 0};
}
constexpr entry empty()
{
  return fail(0);
}

constexpr int NAME = TOKEN_NAME, NUMBER = TOKEN_INTEGER, STRING = TOKEN_STRING, CHAR = TOKEN_CHAR,
              FLOAT = TOKEN_FLOAT, INT64 = TOKEN_INT64;
constexpr int pair(char a, char b)
{
  return token_pair(a, b);
}
constexpr int NO = GRAMMAR_NO_RULE;

// R0 program: "static" R2 {A0} | "extern" R3 | "class" R43, each followed by the program again; END.
constexpr entry r0[] = {
  tok(zxl_kw::STATIC, 0, 0, 2), tok(zxl_kw::EXTERN, 0, NA, 3), tok(zxl_kw::CLASS, 0, NA, 43),
  tok(TOKEN_END, DONE), fail(59),
};

// R1 statement. The alternatives come first (0-13); the continuations of each follow.
constexpr entry r1[] = {
  /* 0 */ tok('{', DONE, NA, 22),
  /* 1 */ tok(zxl_kw::IF, 14, 1, 42),
  /* 2 */ tok(zxl_kw::DO, 18, 2),
  /* 3 */ tok(zxl_kw::FOR, 21),
  /* 4 */ tok(zxl_kw::WHILE, 36, 2),
  /* 5 */ tok(zxl_kw::BREAK, DONE, 3, 21),
  /* 6 */ tok(zxl_kw::CONTINUE, DONE, 4, 21),
  /* 7 */ tok(zxl_kw::RETURN, 38),
  /* 8 */ tok(zxl_kw::TRY, 42, 5),
  /* 9 */ tok(zxl_kw::THROW, 52, 6, 25),
  /* 10 */ tok(';', DONE),
  /* 11 */ tok(zxl_kw::AUTO, 53),
  /* 12 */ tok(zxl_kw::EXTERN, DONE, NA, 3),
  /* 13 */ any(25, 63),
  // if: R42 {A1} R1, then "else" {A8} R1 {A9}; otherwise {A9}
  /* 14 */ any(1, 15),
  /* 15 */ tok(zxl_kw::ELSE, 17, 8),
  /* 16 */ any(NO, DONE, 9),
  /* 17 */ any(1, DONE, 9),
  // do: {A2} R1 "while" (else 43) R42 {A12} R21
  /* 18 */ any(1, 19),
  /* 19 */ tok(zxl_kw::WHILE, 62, 12, 42),
  /* 20 */ fail(43),
  // for: "(" (else 48); ";" {A2} | R25 {A7} ";" (else 44) {A2}; ";" {A15} | R25 {A10} ";" (else 44) {A16};
  // ")" {A17} | R25 {A7} ")" (else 48) {A17}; R1 {A11}
  /* 21 */ tok('(', 23),
  /* 22 */ fail(48),
  /* 23 */ tok(';', 27, 2),
  /* 24 */ any(25, 25, 7),
  /* 25 */ tok(';', 27, 2),
  /* 26 */ fail(44),
  /* 27 */ tok(';', 31, 15),
  /* 28 */ any(25, 29, 10),
  /* 29 */ tok(';', 31, 16),
  /* 30 */ fail(44),
  /* 31 */ tok(')', 35, 17),
  /* 32 */ any(25, 33, 7),
  /* 33 */ tok(')', 35, 17),
  /* 34 */ fail(48),
  /* 35 */ any(1, DONE, 11),
  // while: {A2} R42 {A10} R1 {A11}
  /* 36 */ any(42, 37, 10),
  /* 37 */ any(1, DONE, 11),
  // return: ";" {A13} | R25 ";" (else 44) {A14}
  /* 38 */ tok(';', DONE, 13),
  /* 39 */ any(25, 40),
  /* 40 */ tok(';', DONE, 14),
  /* 41 */ fail(44),
  // try: {A5} R1 {A18} "catch" "(" NAME {A19} ")" R1 {A20}, each token (else 47)
  /* 42 */ any(1, 43, 18),
  /* 43 */ tok(zxl_kw::CATCH, 45),
  /* 44 */ fail(47),
  /* 45 */ tok('(', 47),
  /* 46 */ fail(47),
  /* 47 */ tok(NAME, 49, 19),
  /* 48 */ fail(47),
  /* 49 */ tok(')', 51),
  /* 50 */ fail(47),
  /* 51 */ any(1, DONE, 20),
  // throw: R25 {A6} R21
  /* 52 */ any(21, DONE),
  // auto: NAME (else 60) {A21}; "=" R26 {A22} then "," or ";" (else 47); ","; ";" (else 47)
  /* 53 */ tok(NAME, 55, 21),
  /* 54 */ fail(60),
  /* 55 */ tok('=', 59, 22, 26),
  /* 56 */ tok(',', 53),
  /* 57 */ tok(';', DONE),
  /* 58 */ fail(47),
  /* 59 */ tok(',', 53),
  /* 60 */ tok(';', DONE),
  /* 61 */ fail(47),
  // the statement end of do-while
  /* 62 */ any(21, DONE),
  // expression statement: R25 R21 {A7}
  /* 63 */ any(21, DONE, 7),
};

// R2 function definition: NAME (else 47) {A23} "(" (else 48) R4 {A24}, then ":" NAME (else 47) {A26}
// "(" (else 47) R41 {A27} "{" (else 47) R22, or {A25} "{" (else 47) R22.
constexpr entry r2[] = {
  /* 0 */ tok(NAME, 2, 23),
  /* 1 */ fail(47),
  /* 2 */ tok('(', 4, 24, 4),
  /* 3 */ fail(48),
  /* 4 */ tok(':', 6),
  /* 5 */ any(NO, 10, 25),
  /* 6 */ tok(NAME, 8, 26),
  /* 7 */ fail(47),
  /* 8 */ tok('(', 10, 27, 41),
  /* 9 */ fail(47),
  /* 10 */ tok('{', DONE, NA, 22),
  /* 11 */ fail(47),
};

// R3 extern list: NAME (else 47) {A28}, then "," and the next NAME, or ";" (else 47).
constexpr entry r3[] = {
  tok(NAME, 2, 28), fail(47), tok(',', 0), tok(';', DONE), fail(47),
};

// R4 parameter list after "(": "void" ")" (else 48); ")"; or R5, then "," R5, ")" or another R5, repeatedly.
constexpr entry r4[] = {
  /* 0 */ tok(zxl_kw::VOID, 3),
  /* 1 */ tok(')', DONE),
  /* 2 */ any(5, 5),
  /* 3 */ tok(')', DONE),
  /* 4 */ fail(48),
  /* 5 */ tok(',', 5, NA, 5),
  /* 6 */ tok(')', DONE),
  /* 7 */ any(5, 5),
};

// R5 parameter: NAME (else 47) {A29}, then "=" R6 {A30} or nothing.
constexpr entry r5[] = {
  tok(NAME, 2, 29), fail(47), tok('=', DONE, 30, 6), empty(),
};

// R6 constant conditional: R8, then "?" R7 {A31} or nothing; R7: R6 ":" (else 46) R6.
constexpr entry r6[] = {any(8, 1), tok('?', DONE, 31, 7), empty()};
constexpr entry r7[] = {any(6, 1), tok(':', DONE, NA, 6), fail(46)};

// The binary levels R8-R17 (constants) and R28-R37 (expressions) share their operators, in the same order
// of precedence; an operator's action is the level's first action plus its position.
constexpr int or_ops[] = {pair('|', '|')};
constexpr int and_ops[] = {pair('&', '&')};
constexpr int bor_ops[] = {'|'};
constexpr int xor_ops[] = {'^'};
constexpr int band_ops[] = {'&'};
constexpr int equality_ops[] = {pair('=', '='), pair('!', '=')};
constexpr int relation_ops[] = {pair('>', '='), pair('<', '='), '<', '>'};
constexpr int shift_ops[] = {pair('>', '>'), pair('<', '<')};
constexpr int additive_ops[] = {'+', '-'};
constexpr int multiplicative_ops[] = {'*', '/', '%'};

// A binary level: R(n+1), then an operator of the level, R(n+1) and its action, repeatedly.
template <size_t N>
constexpr std::array<entry, N + 2> binary_level(int operand_rule, const int (&tokens)[N], int first_action)
{
  std::array<entry, N + 2> rule {};
  rule[0] = any(operand_rule, 1);
  for ( size_t i = 0; i < N; ++i )
    rule[i + 1] = tok(tokens[i], 1, first_action + int(i), operand_rule);
  rule[N + 1] = empty();
  return rule;
}

constexpr auto r8 = binary_level(9, or_ops, 32);
constexpr auto r9 = binary_level(10, and_ops, 33);
constexpr auto r10 = binary_level(11, bor_ops, 34);
constexpr auto r11 = binary_level(12, xor_ops, 35);
constexpr auto r12 = binary_level(13, band_ops, 36);
constexpr auto r13 = binary_level(14, equality_ops, 37);
constexpr auto r14 = binary_level(15, relation_ops, 39);
constexpr auto r15 = binary_level(16, shift_ops, 43);
constexpr auto r16 = binary_level(17, additive_ops, 45);
constexpr auto r17 = binary_level(18, multiplicative_ops, 47);

// R18 constant unary: "-" R18 {A50}; "+" R18; "!" R18 {A51}; "~" R18 {A52}; otherwise R19.
constexpr entry r18[] = {
  tok('-', DONE, 50, 18), tok('+', DONE, NA, 18), tok('!', DONE, 51, 18), tok('~', DONE, 52, 18), any(19, DONE),
};

// R19 constant primary: literals {A53} (adjacent strings {A58}); long, __int64, char, float R20 {A54-57};
// otherwise R20.
constexpr entry r19[] = {
  /* 0 */ tok(NUMBER, DONE, 53),
  /* 1 */ tok(INT64, DONE, 53),
  /* 2 */ tok(CHAR, DONE, 53),
  /* 3 */ tok(FLOAT, DONE, 53),
  /* 4 */ tok(STRING, 10, 53),
  /* 5 */ tok(zxl_kw::LONG, DONE, 54, 20),
  /* 6 */ tok(zxl_kw::INT64, DONE, 55, 20),
  /* 7 */ tok(zxl_kw::CHAR, DONE, 56, 20),
  /* 8 */ tok(zxl_kw::FLOAT, DONE, 57, 20),
  /* 9 */ any(20, DONE),
  /* 10 */ tok(STRING, 10, 58),
  /* 11 */ empty(),
};

// R20: "(" (else 47) R6 ")" (else 48).
constexpr entry r20[] = {tok('(', 2, NA, 6), fail(47), tok(')', DONE), fail(48)};

// R21 statement end: ";" (else 44).
constexpr entry r21[] = {tok(';', DONE), fail(44)};

// R22 block body after "{": {A59}, then "}" {A60}, or R1 and again.
constexpr entry r22[] = {any(NO, 1, 59), tok('}', DONE, 60), any(1, 0)};

// R23 pair literal after "[": R24 "," (else 47) R26 {A61} "]" (else 45).
constexpr entry r23[] = {any(24, 1), tok(',', 3, 61, 26), fail(47), tok(']', DONE), fail(45)};

// R24: {A62}, then STRING {A63} or R26.
constexpr entry r24[] = {any(NO, 1, 62), tok(STRING, DONE, 63), any(26, DONE)};

// R25 expression: R26, then "," {A7} R26, repeatedly.
constexpr entry r25[] = {any(26, 1), tok(',', 3, 7), empty(), any(26, 1)};

// R26 conditional: R28, then "?" {A1} R27 {A9} or nothing; R27: R26 {A8} ":" (else 46) R26.
constexpr entry r26[] = {any(28, 1), tok('?', 3, 1), empty(), any(27, DONE, 9)};
constexpr entry r27[] = {any(26, 1, 8), tok(':', DONE, NA, 26), fail(46)};

// R28 to R37: the binary levels, from "||" to "*".
constexpr auto r28 = binary_level(29, or_ops, 64);
constexpr auto r29 = binary_level(30, and_ops, 65);
constexpr auto r30 = binary_level(31, bor_ops, 66);
constexpr auto r31 = binary_level(32, xor_ops, 67);
constexpr auto r32 = binary_level(33, band_ops, 68);
constexpr auto r33 = binary_level(34, equality_ops, 69);
constexpr auto r34 = binary_level(35, relation_ops, 71);
constexpr auto r35 = binary_level(36, shift_ops, 75);
constexpr auto r36 = binary_level(37, additive_ops, 77);
constexpr auto r37 = binary_level(38, multiplicative_ops, 79);

// R38 unary: "-" R38 {A82}; "+" R38; "!" R38 {A83}; "~" R38 {A84}; otherwise R39.
constexpr entry r38[] = {
  tok('-', DONE, 82, 38), tok('+', DONE, NA, 38), tok('!', DONE, 83, 38), tok('~', DONE, 84, 38), any(39, DONE),
};

// R39 primary.
constexpr entry r39[] = {
  /* 0 */ tok(NUMBER, DONE, 85),
  /* 1 */ tok(INT64, DONE, 85),
  /* 2 */ tok(CHAR, DONE, 85),
  /* 3 */ tok(FLOAT, DONE, 85),
  /* 4 */ tok(STRING, 18, 85),
  /* 5 */ tok(NAME, DONE, NA, 40),
  /* 6 */ tok(zxl_kw::THIS, DONE, NA, 40),
  /* 7 */ tok(zxl_kw::LONG, DONE, 86, 42),
  /* 8 */ tok(zxl_kw::INT64, DONE, 87, 42),
  /* 9 */ tok(zxl_kw::CHAR, DONE, 88, 42),
  /* 10 */ tok(zxl_kw::FLOAT, DONE, 89, 42),
  /* 11 */ tok('[', DONE, NA, 23),
  /* 12 */ tok(pair('+', '+'), 20),
  /* 13 */ tok(pair('-', '-'), 22),
  /* 14 */ tok(zxl_kw::NEW, DONE, 90, 42),
  /* 15 */ tok('&', 24),
  /* 16 */ tok(zxl_kw::SIZEOF, DONE, 91, 42),
  /* 17 */ any(42, DONE),
  // adjacent string literals
  /* 18 */ tok(STRING, 18, 92),
  /* 19 */ empty(),
  // "++" NAME, "--" NAME, "&" NAME, each (else 60)
  /* 20 */ tok(NAME, DONE, 93),
  /* 21 */ fail(60),
  /* 22 */ tok(NAME, DONE, 94),
  /* 23 */ fail(60),
  /* 24 */ tok(NAME, DONE, 95),
  /* 25 */ fail(60),
};

// R40 name chain after a NAME or "this": {A96}, then suffixes. The chain loops inside this table, so a
// chain of any length never nests rules.
enum : uint8_t
{
  CHAIN_NEXT = 9, CHAIN_SCOPE = 16, CHAIN_MEMBER = 18, CHAIN_CALL = 20, CHAIN_INDEX = 21,
};
constexpr entry r40[] = {
  /* 0 */ any(NO, 1, 96),
  // the first suffix
  /* 1 */ tok(pair(':', ':'), CHAIN_SCOPE),
  /* 2 */ tok('.', CHAIN_MEMBER),
  /* 3 */ tok('(', CHAIN_CALL, 97),
  /* 4 */ tok('=', DONE, 103, 26),
  /* 5 */ tok(pair('+', '+'), DONE, 98),
  /* 6 */ tok(pair('-', '-'), DONE, 99),
  /* 7 */ tok('[', CHAIN_INDEX, 100),
  /* 8 */ any(NO, DONE, 101),
  // the next suffix: the same without "::"
  /* 9 */ tok('.', CHAIN_MEMBER),
  /* 10 */ tok('(', CHAIN_CALL, 97),
  /* 11 */ tok('=', DONE, 103, 26),
  /* 12 */ tok(pair('+', '+'), DONE, 98),
  /* 13 */ tok(pair('-', '-'), DONE, 99),
  /* 14 */ tok('[', CHAIN_INDEX, 100),
  /* 15 */ any(NO, DONE, 101),
  // "::" NAME (else 47) {A109}
  /* 16 */ tok(NAME, CHAIN_NEXT, 109),
  /* 17 */ fail(47),
  // "." NAME (else 60) {A104}
  /* 18 */ tok(NAME, CHAIN_NEXT, 104),
  /* 19 */ fail(60),
  // "(" {A97} R41 {A102}
  /* 20 */ any(41, CHAIN_NEXT, 102),
  // index part: ":" {A105} R25 "]" (else 47) {A106}; otherwise R25, then "]" {A107}; ":" and "]" {A108} or
  // R25 "]" (else 47) {A106}; (else 47)
  /* 21 */ tok(':', 23, 105),
  /* 22 */ any(25, 26),
  /* 23 */ any(25, 24),
  /* 24 */ tok(']', CHAIN_NEXT, 106),
  /* 25 */ fail(47),
  /* 26 */ tok(']', CHAIN_NEXT, 107),
  /* 27 */ tok(':', 29),
  /* 28 */ fail(47),
  /* 29 */ tok(']', CHAIN_NEXT, 108),
  /* 30 */ any(25, 24),
};

// R41 call arguments after "(": ")"; or R26 {A110}, then "," R26 {A110} repeatedly, and ")" (else 47).
constexpr entry r41[] = {tok(')', DONE), any(26, 2, 110), tok(',', 2, 110, 26), tok(')', DONE), fail(47)};

// R42 parenthesized expression: "(" (else 47) R25 ")" (else 48).
constexpr entry r42[] = {tok('(', 2, NA, 25), fail(47), tok(')', DONE), fail(48)};

// R43 class definition after "class": NAME (else 47) {A111}; ":" NAME (else 47) {A114} "{" (else 47), or
// "{" (else 47); then "}" {A112} and an optional ";", "~" {A113} R2 {A0}, or R2 {A0}, repeatedly.
constexpr entry r43[] = {
  /* 0 */ tok(NAME, 2, 111),
  /* 1 */ fail(47),
  /* 2 */ tok(':', 5),
  /* 3 */ tok('{', 9),
  /* 4 */ fail(47),
  /* 5 */ tok(NAME, 7, 114),
  /* 6 */ fail(47),
  /* 7 */ tok('{', 9),
  /* 8 */ fail(47),
  /* 9 */ tok('}', 12, 112),
  /* 10 */ tok('~', 14, 113),
  /* 11 */ any(2, 9, 0),
  /* 12 */ tok(';', DONE),
  /* 13 */ empty(),
  /* 14 */ any(2, 9, 0),
};

} // namespace

const grammar_rule_entry_t *const zxl_rules[ZXL_RULE_COUNT] = {
  r0,         r1,         r2,         r3,         r4,         r5,         r6,         r7,
  r8.data(),  r9.data(),  r10.data(), r11.data(), r12.data(), r13.data(), r14.data(), r15.data(),
  r16.data(), r17.data(), r18,        r19,        r20,        r21,        r22,        r23,
  r24,        r25,        r26,        r27,        r28.data(), r29.data(), r30.data(), r31.data(),
  r32.data(), r33.data(), r34.data(), r35.data(), r36.data(), r37.data(), r38,        r39,
  r40,        r41,        r42,        r43,
};

const uint8_t zxl_rule_sizes[ZXL_RULE_COUNT] = {
  std::size(r0),  std::size(r1),  std::size(r2),  std::size(r3),  std::size(r4),  std::size(r5),
  std::size(r6),  std::size(r7),  std::size(r8),  std::size(r9),  std::size(r10), std::size(r11),
  std::size(r12), std::size(r13), std::size(r14), std::size(r15), std::size(r16), std::size(r17),
  std::size(r18), std::size(r19), std::size(r20), std::size(r21), std::size(r22), std::size(r23),
  std::size(r24), std::size(r25), std::size(r26), std::size(r27), std::size(r28), std::size(r29),
  std::size(r30), std::size(r31), std::size(r32), std::size(r33), std::size(r34), std::size(r35),
  std::size(r36), std::size(r37), std::size(r38), std::size(r39), std::size(r40), std::size(r41),
  std::size(r42), std::size(r43),
};

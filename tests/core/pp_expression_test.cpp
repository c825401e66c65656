// Tests of #if expressions: operators, precedence, the unsigned mark, dynamic names and errors.
#include "core/token_reader.h"

#include "token_stream.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

struct condition_case
{
  const char *label;
  const char *prelude;    // lines before the #if
  const char *expression; // the rest of the #if line
  const char *result;     // "yes", "no" or the error "!E<code>"
};

void PrintTo(const condition_case &c, std::ostream *os)
{
  *os << c.label << ": #if " << c.expression;
}

std::string evaluate(const condition_case &c)
{
  const std::string text = std::string(c.prelude) + "#if " + c.expression + "\nyes\n#else\nno\n#endif\n";
  return tokens_of(text.c_str());
}

class Condition : public testing::TestWithParam<condition_case>
{
};

TEST_P(Condition, Evaluates)
{
  EXPECT_EQ(evaluate(GetParam()), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
  Precedence, Condition,
  testing::Values(condition_case {"MulBeforeAdd", "", "1 + 2 * 3 == 7", "yes"},
                  condition_case {"Parentheses", "", "(1 + 2) * 3 == 7", "no"},
                  condition_case {"BitwiseLevels", "", "(1 | 6 ^ 3 & 5) == 7", "yes"},
                  condition_case {"EqualityBelowRelational", "", "1 < 2 == 1", "yes"},
                  condition_case {"RelationalLeftToRight", "", "3 > 2 > 1", "no"},
                  condition_case {"SubtractionLeftToRight", "", "10 - 4 - 3 == 3", "yes"},
                  condition_case {"ShiftBelowAdd", "", "1 << 1 + 1 == 4", "yes"},
                  condition_case {"AndBelowOr", "", "1 || 0 && 0", "yes"},
                  condition_case {"TernaryLowest", "", "0 ? 1 : 2 == 2", "yes"},
                  condition_case {"TernaryNested", "", "(1 ? 0 ? 5 : 6 : 7) == 6", "yes"},
                  condition_case {"MacroExpandsFirst", "#define N 3\n", "N * 2 == 6", "yes"}),
  case_name);

INSTANTIATE_TEST_SUITE_P(
  Arithmetic, Condition,
  testing::Values(condition_case {"ArithmeticShiftRight", "", "-1 >> 1 == -1", "yes"},
                  condition_case {"ShiftCountModulo64", "", "1 << 64", "yes"},
                  condition_case {"ShiftCount65", "", "(1 << 65) == 2", "yes"},
                  condition_case {"NegativeShiftCount", "", "(1 << -1) == (1 << 63)", "yes"},
                  condition_case {"DivisionTruncates", "", "-7 / 2 == -3 && -7 % 2 == -1", "yes"},
                  condition_case {"MinDividedByMinusOne", "", "(-9223372036854775807 - 1) / -1 == -9223372036854775807 - 1",
                                  "yes"},
                  condition_case {"MinModuloMinusOne", "", "(-9223372036854775807 - 1) % -1 == 0", "yes"},
                  condition_case {"AdditionWraps", "", "9223372036854775807 + 1 < 0", "yes"},
                  condition_case {"MultiplicationWraps", "", "0x100000000 * 0x100000000 == 0", "yes"},
                  condition_case {"Unary", "", "!0 == 1 && ~0 == -1 && - - 1 == 1 && +3 == 3 && !!5 == 1", "yes"},
                  condition_case {"LongUnaryChain", "", "- - - - - - - - - - - - - - - - - - - - 2 == 2", "yes"},
                  condition_case {"Bitwise", "", "(6 & 3) == 2 && (6 | 3) == 7 && (6 ^ 3) == 5", "yes"},
                  condition_case {"Characters", "", "'A' == 65 && 'ab' == 0x6162", "yes"},
                  condition_case {"SixtyFourBitLiteral", "", "0x100000000LL > 0 && 5i64 == 5", "yes"},
                  condition_case {"LineNumber", "\n\n", "__LINE__ == 3", "yes"}),
  case_name);

INSTANTIATE_TEST_SUITE_P(
  UnsignedMark, Condition,
  testing::Values(condition_case {"UndefinedNameIsZero", "", "UNDEFINED_NAME", "no"},
                  condition_case {"UndefinedNameIsUnsigned", "", "UNDEFINED_NAME < -1", "yes"},
                  condition_case {"SignedComparison", "", "-1 < 0", "yes"},
                  condition_case {"WideCharacterIsUnsigned", "", "L'a' > -1", "no"},
                  condition_case {"LogicalShiftOfUnsigned", "", "(UNDEFINED_NAME - 1) >> 63 == 1", "yes"},
                  condition_case {"UnsignedDivision", "", "(UNDEFINED_NAME - 2) / 2 == 0x7FFFFFFFFFFFFFFF", "yes"},
                  condition_case {"MarkFollowsLeftOperand", "", "(0 + UNDEFINED_NAME - 1) >> 63 == -1", "yes"},
                  condition_case {"ComparisonResultIsSigned", "", "(UNDEFINED_NAME < 1) - 2 < 0", "yes"},
                  condition_case {"FunctionMacroWithoutCall", "#define F(x) x\n", "F", "no"}),
  case_name);

INSTANTIATE_TEST_SUITE_P(
  Defined, Condition,
  testing::Values(condition_case {"BareName", "#define X\n", "defined X", "yes"},
                  condition_case {"Parenthesized", "#define X\n", "defined(X)", "yes"},
                  condition_case {"SpacedParentheses", "#define X\n", "defined ( X )", "yes"},
                  condition_case {"NotDefined", "", "defined X || defined(Y)", "no"},
                  condition_case {"NegatedAndCombined", "#define X\n", "!defined Y && defined X", "yes"},
                  condition_case {"InsideAMacroBody", "#define D defined(X)\n#define X\n", "D", "yes"},
                  condition_case {"MissingParenthesisExpandsTheName", "#define X 5\n", "defined (X == 5", "yes"},
                  condition_case {"DefinedAloneIsAName", "", "defined", "no"}),
  case_name);

INSTANTIATE_TEST_SUITE_P(
  Errors, Condition,
  testing::Values(condition_case {"Empty", "", "", "!E47"},
                  condition_case {"TwoNumbers", "", "1 2", "!E47"},
                  condition_case {"MissingOperand", "", "1 +", "!E47"},
                  condition_case {"MissingParenthesis", "", "(1", "!E47"},
                  condition_case {"MissingColon", "", "1 ? 2", "!E47"},
                  condition_case {"String", "", "\"a\"", "!E47"},
                  condition_case {"Float", "", "1.5", "!E47"},
                  condition_case {"Keyword", "", "sizeof(int)", "!E47"},
                  condition_case {"OtherPunctuation", "", "1 = 1", "!E47"},
                  condition_case {"DivisionByZero", "", "1 / 0", "!E86"},
                  condition_case {"ModuloByZero", "", "1 % (2 - 2)", "!E86"},
                  condition_case {"NoShortCircuitAnd", "", "0 && (1 / 0)", "!E86"},
                  condition_case {"NoShortCircuitOr", "", "1 || 1 % 0", "!E86"},
                  condition_case {"BothBranchesEvaluated", "", "1 ? 2 : 3 / 0", "!E86"},
                  condition_case {"ScannerError", "", "0x", "!E20"},
                  condition_case {"LineEndsInsideArguments", "#define F(a) a\n", "F(1", "!E37"},
                  condition_case {"WrongArgumentCount", "#define F(a) a\n", "F(1, 2)", "!E39"}),
  case_name);

TEST(ConditionNesting, DeepParenthesesAreBounded)
{
  const std::string fine = std::string(200, '(') + "1" + std::string(200, ')');
  EXPECT_EQ(evaluate({"", "", fine.c_str(), ""}), "yes");
  const std::string deep = std::string(100000, '(') + "1" + std::string(100000, ')');
  EXPECT_EQ(evaluate({"", "", deep.c_str(), ""}), "!E47");
  const std::string unary = std::string(100000, '!') + "0";
  EXPECT_EQ(evaluate({"", "", unary.c_str(), ""}), "no");
}

TEST(ConditionRecovery, ReadingGoesOnAfterAFailedDirective)
{
  reader_ptr reader = make_reader();
  reader->set_text("#define F(a) a\n#if F(1 / 0)\n#endif\nafter F(2)", nullptr);
  lexer_token_t token;
  EXPECT_EQ(read_token(reader.get(), &token), 86);
  EXPECT_EQ(read_all(reader.get()), "after i:2");
}

} // namespace

// Tests of macros: definitions, expansion, arguments, "#", "##", recursion guards, predefined and dynamic names, tables.
#include "core/token_reader.h"

#include "token_stream.h"

#include "core/error_state.h"
#include "tests/support/interr_capture.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace
{

class Expanded : public testing::TestWithParam<stream_case>
{
};

TEST_P(Expanded, GivesTheTokens)
{
  EXPECT_EQ(tokens_of(GetParam().source), GetParam().tokens);
}

INSTANTIATE_TEST_SUITE_P(
  Definitions, Expanded,
  testing::Values(stream_case {"FunctionLikeOnlyWithParenthesisRightAfterName",
                               "#define F(x) x+1\n#define G (x) x+1\nF(2) G", "i:2 + i:1 ( x ) x + i:1"},
                  stream_case {"EmptyBody", "#define EMPTY\na EMPTY b", "a b"},
                  stream_case {"EmptyBodyWithArguments", "#define DROP(x)\na DROP(b c) d", "a d"},
                  stream_case {"RedefinitionReplaces", "#define X 1\n#define X 2\nX", "i:2"},
                  stream_case {"NoParameters", "#define Z() z\nZ() Z", "z Z"},
                  stream_case {"CharacterAfterNameStartsBody", "#define X+1\nX", "+ i:1"},
                  stream_case {"ParameterNamesInsideLiteralsStay", "#define Q(x) \"x\" 'x' x\nQ(1)", "\"x\" c:78 i:1"},
                  stream_case {"ParameterNamesInsideNumbersStay", "#define H(x, e) 0x1e 1e5 x\nH(1, 2)",
                               "i:30 f:1.0e5 i:1"},
                  stream_case {"FirstOfRepeatedParametersWins", "#define R(a, a) a\nR(1, 2)", "i:1"},
                  stream_case {"VariadicIsIgnored", "#define V(...) x\n#define W(a, ...) x\n#define U(a ...) x\nV W U",
                               "V W U"},
                  stream_case {"BadParameterList", "#define B(1) x", "!E29"},
                  stream_case {"EmptyParameterName", "#define B(a,) x", "!E29"},
                  stream_case {"UnclosedParameterList", "#define B(a x", "!E29"},
                  stream_case {"BodyEndingInString", "#define B \"abc", "!E29"},
                  stream_case {"BodyEndingInCharacter", "#define B(x) 'x", "!E29"},
                  stream_case {"ReservedMarkerByteInBody", "#define B a\xFF\x80", "!E29"}),
  case_name);

INSTANTIATE_TEST_SUITE_P(
  Arguments, Expanded,
  testing::Values(stream_case {"BlanksCollapseAndLeadOff", "#define J(x,y) #x #y\nJ( a ,  b )", "\"a \" \"b \""},
                  stream_case {"NestedParenthesesKeepCommas", "#define ONE(x) #x\nONE(( a , b ))", "\"( a , b )\""},
                  stream_case {"CommaInCharacterLiteral", "#define ONE(x) #x\nONE(',')", "\"','\""},
                  stream_case {"ParenthesisInString", "#define ONE(x) #x\nONE(\")\")", "\"\\\")\\\"\""},
                  stream_case {"OneEmptyArgument", "#define E1(x) [x]\nE1( )", "[ ]"},
                  stream_case {"NoArgumentsForOneParameter", "#define E1(x) [x]\nE1()", "!E39"},
                  stream_case {"TooManyArguments", "#define E1(x) [x]\nE1(1, 2)", "!E39"},
                  stream_case {"CallOnNextLine", "#define N(x) [x]\nN\n(5)", "[ i:5 ]"},
                  stream_case {"ArgumentsAcrossLines", "#define F(a,b) a b\nF(1,\n2) F(3, /* c */ 4)",
                               "i:1 i:2 i:3 i:4"},
                  stream_case {"DirectiveInsideArguments", "#define F(a) a\nF(\n#if 1\n#define Y 9\n#endif\nY)", "i:9"},
                  stream_case {"CommentSeparatesInArgument", "#define S(x) #x\nS(a/**/b)", "\"a b\""},
                  stream_case {"NameWithoutCallAtEnd", "#define F(x) x\nF", "F"},
                  stream_case {"NameWithoutCallBeforeOther", "#define F(x) x\nF + 1", "F + i:1"},
                  stream_case {"EndOfInputInsideArguments", "#define F(a) a\nF(1,", "!E38"},
                  stream_case {"NestedUse", "#define f(x) x\nf(f(1))", "i:1"},
                  stream_case {"ArgumentHoldsAMacro", "#define f(x) [x]\n#define V 7\nf(V)", "[ i:7 ]"}),
  case_name);

INSTANTIATE_TEST_SUITE_P(
  Guards, Expanded,
  testing::Values(stream_case {"ObjectLikeSelfReference", "#define A A+1\nA", "A + i:1"},
                  stream_case {"MutualFunctionLike", "#define F(x) G(x)\n#define G(y) F(y)\nF(1)", "F ( i:1 )"},
                  stream_case {"FunctionLikeSelfReference", "#define f(x) f(x)\nf(2)", "f ( i:2 )"},
                  stream_case {"MutualObjectLike", "#define P Q\n#define Q P\nP Q", "P Q"},
                  stream_case {"ExpandsAgainAfterward", "#define A A+1\nA A", "A + i:1 A + i:1"}),
  case_name);

INSTANTIATE_TEST_SUITE_P(
  Operators, Expanded,
  testing::Values(stream_case {"StringiseKeepsQuotes", "#define S(x) #x\nS(a \"b\")", "\"a \\\"b\\\"\""},
                  stream_case {"StringiseThroughAnotherMacro", "#define S(x) #x\n#define T(y) S(y)\nT(a + b)",
                               "\"a + b\""},
                  stream_case {"StringiseEmpty", "#define S(x) #x\nS( )", "\"\""},
                  stream_case {"PasteNames", "#define P(a,b) a##b\nP(x,1)", "x1"},
                  stream_case {"PasteNumbers", "#define P(a,b) a##b\nP(1,2) P(0x1,F) P(1.,5)", "i:12 i:31 f:1.5"},
                  stream_case {"PasteOperatorLeftIsError", "#define P(a,b) a##b\nP(+,x)", "!E29"},
                  stream_case {"PasteOperatorRightIsDropped", "#define P(a,b) a##b\nP(x,+)", "x +"},
                  stream_case {"PasteEmptyRight", "#define P(a,b) a##b\nP(x,)", "x"},
                  stream_case {"PasteChain", "#define K3(a,b,c) a##b##c\nK3(x,y,z) K3(1,2,3)", "xyz i:123"},
                  stream_case {"PasteMakesKeyword", "#define P(a,b) a##b\nP(in,t)", "int#154"},
                  stream_case {"PasteMakesMacro", "#define P(a,b) a##b\n#define XY 7\nP(X,Y) z", "i:7 z"},
                  stream_case {"PasteNumberWithLeftover", "#define P(a,b) a##b\nP(1,x)", "!E29"},
                  stream_case {"PasteInBody", "#define PRE(n) pre_##n\nPRE(a) PRE(7)", "pre_a pre_7"},
                  stream_case {"PasteSlashesMakeComment", "#define C(a,b) a##b rest\nx C(/,/) y\nz", "x z"}),
  case_name);

INSTANTIATE_TEST_SUITE_P(
  Utf8, Expanded,
  testing::Values(stream_case {"InObjectBodyLiteral", "#define M \"\xC3\xA9t\xC3\xA9\"\nM", "\"\xC3\xA9t\xC3\xA9\""},
                  stream_case {"InFunctionBodyLiteral", "#define F(x) \"\xC3\xA9\xE2\x82\xAC\" x\nF(1)",
                               "\"\xC3\xA9\xE2\x82\xAC\" i:1"},
                  stream_case {"StringisedLiteralArgument", "#define S(x) #x\nS(\"\xC3\xA9\xF0\x9F\x98\x80\")",
                               "\"\\\"\xC3\xA9\xF0\x9F\x98\x80\\\"\""},
                  stream_case {"StringisedBareArgument", "#define S(x) #x\nS(\xC3\xA9\xE2\x82\xAC)", "\"\xC3\xA9\xE2\x82\xAC\""},
                  stream_case {"LiteralArgument", "#define F(x) x\nF(\"\xC3\xA9\")", "\"\xC3\xA9\""},
                  stream_case {"BareInBodyIsIllegalAsOutside", "#define U \xC3\xA9\nU", "!E27"}),
  case_name);

INSTANTIATE_TEST_SUITE_P(
  Predefined, Expanded,
  testing::Values(stream_case {"BaseSet",
                               "__ZXL__ far near huge interrupt _cdecl _pascal _stdcall _fastcall _thiscall _export _import",
                               "i:1 __far#138 __near#139 __huge#140 __interrupt#198 __cdecl#128 __pascal#129 "
                               "__stdcall#130 __fastcall#131 __thiscall#132 __export#134 __import#135"},
                  stream_case {"FarInt", "far int", "__far#138 int#154"},
                  stream_case {"SystemSetOnlyOnRequest", "__NT__ __EA64__", "__NT__ __EA64__"},
                  stream_case {"DynamicNamesCannotBeRedefined", "#define __LINE__ 5\n__LINE__", "i:2"},
                  stream_case {"LineInsideExpansion", "#define L __LINE__\n\nL", "i:3"}),
  case_name);

TEST(MacroNames, SystemMacrosWithOption)
{
  EXPECT_EQ(tokens_of("__NT__ __EA64__", TOKEN_READER_SYSTEM_MACROS), "i:1 i:1");
}

TEST(MacroNames, DateAndTimeForms)
{
  reader_ptr reader = make_reader();
  reader->set_text("__DATE__ __TIME__", nullptr);
  lexer_token_t date;
  lexer_token_t time;
  ASSERT_EQ(read_token(reader.get(), &date), 0);
  ASSERT_EQ(read_token(reader.get(), &time), 0);
  EXPECT_EQ(date.kind, TOKEN_STRING);
  EXPECT_EQ(time.kind, TOKEN_STRING);
  // "Mmm dd yyyy" (day padded with a blank) and "hh:mm:ss"
  const std::string d = date.text.c_str();
  const std::string t = time.text.c_str();
  ASSERT_EQ(d.size(), 11u) << d;
  const size_t month = std::string("JanFebMarAprMayJunJulAugSepOctNovDec").find(d.substr(0, 3));
  EXPECT_TRUE(month != std::string::npos && month % 3 == 0) << d;
  EXPECT_TRUE(d[3] == ' ' && d[6] == ' ' && (d[4] == ' ' || isdigit(uint8_t(d[4]))) && isdigit(uint8_t(d[5]))) << d;
  EXPECT_TRUE(isdigit(uint8_t(d[7])) && isdigit(uint8_t(d[8])) && isdigit(uint8_t(d[9])) && isdigit(uint8_t(d[10])))
    << d;
  ASSERT_EQ(t.size(), 8u) << t;
  EXPECT_TRUE(t[2] == ':' && t[5] == ':') << t;
  for ( const size_t i : {0, 1, 3, 4, 6, 7} )
    EXPECT_TRUE(isdigit(uint8_t(t[i]))) << t;
}

TEST(MacroErrors, WrongArgumentCountNamesTheMacro)
{
  reader_ptr reader = make_reader();
  reader->set_text("#define TWO(a,b) a\nTWO(1)", nullptr);
  lexer_token_t token;
  EXPECT_EQ(read_token(reader.get(), &token), 39);
  EXPECT_STREQ(get_error_arg_text(0), "TWO");
}

TEST(MacroErrors, FailedDirectiveInsideArgumentsLeavesTheReaderUsable)
{
  reader_ptr reader = make_reader();
  reader->set_text("#define F(x) x\nF(\n#include \"nope.h\"\n) after", nullptr);
  lexer_token_t token;
  EXPECT_EQ(read_token(reader.get(), &token), 32);
  EXPECT_EQ(read_all(reader.get()), ") after");
}

std::string parameter_list(int count)
{
  std::string list;
  for ( int i = 0; i < count; ++i )
    list += (i == 0 ? "p" : ",p") + std::to_string(i);
  return list;
}

TEST(MacroErrors, ParameterCountLimit)
{
  const std::string ok = "#define M(" + parameter_list(127) + ") p0 p126\nM(" + std::string(126, ',') + "9)";
  EXPECT_EQ(tokens_of(ok.c_str()), "i:9");
  const std::string over = "#define M(" + parameter_list(128) + ") p0\n";
  EXPECT_EQ(tokens_of(over.c_str()), "!E29");
}

TEST(MacroApi, DefineChecksItsArguments)
{
  reader_ptr reader = make_reader();
  EXPECT_EQ(define_macro(reader.get(), nullptr, "1", 0, false), 38);
  EXPECT_EQ(define_macro(reader.get(), "", "1", 0, false), 38);
  EXPECT_EQ(define_macro(reader.get(), "M", "1", 128, true), 38);
  EXPECT_EQ(qerrno_get(), 38);
  EXPECT_EQ(define_macro(reader.get(), "F", "\xFF\x80+\xFF\x81", 2, true), 0);
  EXPECT_EQ(define_macro(reader.get(), "O", "7", 0, false), 0);
  reader->set_text("F(1,2) O", nullptr);
  EXPECT_EQ(read_all(reader.get()), "i:1 + i:2 i:7");
  undefine_macro(reader.get(), "O");
  undefine_macro(reader.get(), "NOT_THERE");
  reader->set_text("O", nullptr);
  EXPECT_EQ(read_all(reader.get()), "O");
}

TEST(MacroApi, EndInputWithResetRestoresThePredefinedSet)
{
  reader_ptr reader = make_reader(TOKEN_READER_SYSTEM_MACROS);
  ASSERT_EQ(define_macro(reader.get(), "X", "1", 0, false), 0);
  reader->end_input(false);
  reader->set_text("X", nullptr);
  EXPECT_EQ(read_all(reader.get()), "i:1");
  reader->end_input(true);
  reader->set_text("X __ZXL__", nullptr);
  EXPECT_EQ(read_all(reader.get()), "X i:1");
  ASSERT_EQ(reset_macros(reader.get(), nullptr, TOKEN_READER_SYSTEM_MACROS), 0);
  reader->set_text("__NT__", nullptr);
  EXPECT_EQ(read_all(reader.get()), "i:1");
}

TEST(MacroTables, AdoptedTableIsNeverChanged)
{
  reader_ptr owner = make_reader();
  ASSERT_EQ(define_macro(owner.get(), "X", "1", 0, false), 0);
  macro_table_t *table = owner->detach_macros();
  owner->set_text("X", nullptr);
  EXPECT_EQ(read_all(owner.get()), "X");

  reader_ptr user = make_reader();
  user->set_text("X\n#define Y 2\n#undef X\nX Y", table);
  EXPECT_EQ(read_all(user.get()), "i:1 X i:2");

  reader_ptr other = make_reader();
  other->set_text("X Y", table);
  EXPECT_EQ(read_all(other.get()), "i:1 Y");
  other.reset();

  reader_ptr reopened = make_reader();
  reopened->set_text("X", table);
  scratch_dir_t dir;
  const std::string path = dir.write("f.cfg", "X");
  ASSERT_EQ(reopened->open_file(path.c_str()), 0);
  EXPECT_EQ(read_all(reopened.get()), "X");
  reopened.reset();
  user.reset();
  free_macro_table(table);
  free_macro_table(nullptr);
}

TEST(MacroTables, SharedTableMisuseIsAnInternalError)
{
  reader_ptr owner = make_reader();
  macro_table_t *table = owner->detach_macros();
  reader_ptr user = make_reader();
  user->set_text("", table);
  EXPECT_EQ(interr_number([&] { user->detach_macros(); }), 302) << "detaching an adopted table";
  EXPECT_EQ(interr_number([&] { undefine_macro(user.get(), "__ZXL__"); }), 303) << "removing from an adopted table";
  user.reset();
  free_macro_table(table);
}

} // namespace

// Tests of the token scanner: kinds, punctuation codes, numbers, literals, comments, errors and the reader's life cycle.
#include "core/token_reader.h"

#include "token_stream.h"

#include "core/error_state.h"
#include "core/xfloat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

class TokenStream : public testing::TestWithParam<stream_case>
{
};

TEST_P(TokenStream, GivesTheTokens)
{
  EXPECT_EQ(tokens_of(GetParam().source), GetParam().tokens);
}

INSTANTIATE_TEST_SUITE_P(
  Punctuation, TokenStream,
  testing::Values(stream_case {"ShiftAssign", "a<<=b", "a <<= b"},
                  stream_case {"Arrow", "x->y", "x -> y"},
                  stream_case {"Ellipsis", "a...b", "a ... b"},
                  stream_case {"TwoDotsAreTwoTokens", "a..b", "a . . b"},
                  stream_case {"Singles", "?(),.[\\]`{};~@", "? ( ) , . [ \\ ] ` { } ; ~ @"},
                  stream_case {"Assignments", "! % & * + - / < = > ^ | : != %= &= *= += -= /= <= == >= ^= |= :=",
                               "! % & * + - / < = > ^ | : != %= &= *= += -= /= <= == >= ^= |= :="},
                  stream_case {"Doubled", "&& ++ -- :: << >> || >>=", "&& ++ -- :: << >> || >>="},
                  stream_case {"NoTripleOperators", "a+++b", "a ++ + b"},
                  stream_case {"DoubledEqualsIsEquality", "a===b", "a == = b"}),
  case_name);

INSTANTIATE_TEST_SUITE_P(
  Numbers, TokenStream,
  testing::Values(stream_case {"Decimal", "0 7 123", "i:0 i:7 i:123"},
                  stream_case {"HexAndBinaryAndOctal", "0x1F 0XaB 0b101 0B1 017", "i:31 i:171 i:5 i:1 i:15"},
                  stream_case {"WrapsModulo2To64", "18446744073709551617", "i:1"},
                  stream_case {"LongLongAndI64", "5LL 5ll 5i64 5I64 0x10LL", "ll:5 ll:5 ll:5 ll:5 ll:16"},
                  stream_case {"OtherSuffixes", "5UUL 5I32 5L 5u 5LU 5ULL", "i:5 i:5 i:5 i:5 i:5 ll:5"},
                  stream_case {"I32AfterLongLong", "5LLi32", "i:5"},
                  stream_case {"NameAfterNumber", "12g", "i:12 g"},
                  stream_case {"Floats", "1.5 .5 1e3 1E+2 2.5e-1", "f:1.5 f:5.0e-1 f:1.0e3 f:1.0e2 f:2.5e-1"},
                  stream_case {"FloatSuffix", "1.5f 2.0L", "f:1.5 f:2.0"},
                  stream_case {"DotAfterNameIsPunctuation", "x.5", "x . i:5"},
                  stream_case {"DotAfterParenStartsNumber", "(.5)", "( f:5.0e-1 )"},
                  stream_case {"MemberOfIndexed", "a[1].b", "a [ i:1 ] . b"}),
  case_name);

INSTANTIATE_TEST_SUITE_P(
  NumberErrors, TokenStream,
  testing::Values(stream_case {"HexWithoutDigit", "0xg", "!E20"},
                  stream_case {"OctalEight", "08", "!E20"},
                  stream_case {"LetterInDecimal", "12a", "!E20"},
                  stream_case {"FInDecimal", "1f", "!E20"},
                  stream_case {"BinaryTwo", "0b2", "!E20"},
                  stream_case {"TwoInBinary", "0b12", "!E20"},
                  stream_case {"TwoDots", "1..2", "!E21"},
                  stream_case {"ThreeParts", "1.2.3", "!E21"},
                  stream_case {"DotAfterExponent", "1e5.2", "!E21"},
                  stream_case {"TwoExponents", "1e5e2", "!E21"},
                  stream_case {"SuffixThenLetter", "1.0fx", "!E21"},
                  stream_case {"SuffixThenDot", "1.0f.", "!E21"},
                  stream_case {"OutOfRange", "1e99999", "!E22"},
                  stream_case {"SecondLongLong", "5LLL", "!E23"}),
  case_name);

INSTANTIATE_TEST_SUITE_P(
  Literals, TokenStream,
  testing::Values(stream_case {"EscapedQuote", "\"a\\\"b\"", "\"a\\\"b\""},
                  stream_case {"Escapes", "\"\\n\\t\\x41\\101\"", "\"\\n\\tAA\""},
                  stream_case {"WideString", "L\"w\" \"n\"", "L\"w\" \"n\""},
                  stream_case {"Utf8Kept", "\"\xC3\xA9t\xC3\xA9\"", "\"\xC3\xA9t\xC3\xA9\""},
                  stream_case {"NotJoined", "\"a\" \"b\"", "\"a\" \"b\""},
                  stream_case {"CharPacked", "'ab' 'abcd'", "c:6162 c:61626364"},
                  stream_case {"CharSignExtended", "'\\xFF' 'A'", "c:ffffffffffffffff c:41"},
                  stream_case {"WideChar", "L'a' 'b'", "Lc:61 c:62"},
                  stream_case {"EscapedCharQuote", "'\\''", "c:27"},
                  stream_case {"NameL", "L Lx", "L Lx"},
                  stream_case {"UnclosedString", "\"abc", "!E24"},
                  stream_case {"StringEndsInBackslash", "\"abc\\", "!E24"},
                  stream_case {"EmptyChar", "''", "!E26"},
                  stream_case {"FiveChars", "'abcde'", "!E26"},
                  stream_case {"UnclosedChar", "'a", "!E26"}),
  case_name);

INSTANTIATE_TEST_SUITE_P(
  Comments, TokenStream,
  testing::Values(stream_case {"LineComment", "a // b c\nd", "a d"},
                  stream_case {"BlockComment", "a /* b */ c", "a c"},
                  stream_case {"BlockAcrossLines", "/* a\nb */ c", "c"},
                  stream_case {"BlockSeparates", "a/**/b", "a b"},
                  stream_case {"NotInStrings", "\"/* x */\" \"// y\"", "\"/* x */\" \"// y\""},
                  stream_case {"StarSlashAlone", "a */ b", "a * / b"},
                  stream_case {"CommentLeftOpen", "a /* b", "a"}),
  case_name);

INSTANTIATE_TEST_SUITE_P(
  Characters, TokenStream,
  testing::Values(stream_case {"HighByteOutsideLiteral", "a \xC3\xA9", "a !E27"},
                  stream_case {"Hash", "a # x", "a !E27"},
                  stream_case {"ControlCharacter", "a \x01", "a !E27"},
                  stream_case {"NamesWithDollar", "$a _b9 a$", "$a _b9 a$"},
                  stream_case {"BlanksAreSeparators", "a\tb\vc\fd\re", "a b c d e"}),
  case_name);

TEST(TokenKeywords, DefaultListGivesTheirCodes)
{
  EXPECT_EQ(tokens_of("__cdecl do if int else unsigned __signed name"),
            "__cdecl#128 do#146 if#147 int#154 else#161 unsigned#196 __signed#254 name");
}

TEST(TokenKeywords, OwnListAndRepeatedTextKeepsLaterCode)
{
  static const char *const words[] = {"true", "false", "null", "true"};
  reader_ptr reader = make_reader(0, words, 4);
  reader->set_text("true false null int", nullptr);
  EXPECT_EQ(read_all(reader.get()), "true#131 false#129 null#130 int");
}

TEST(TokenErrors, IllegalCharacterArgumentIsSignedByte)
{
  reader_ptr reader = make_reader();
  reader->set_text("\xE9", nullptr);
  lexer_token_t token;
  EXPECT_EQ(read_token(reader.get(), &token), 27);
  EXPECT_EQ(qerrno_get(), 27);
  EXPECT_EQ(int64_t(get_error_arg_number(0)), -23);
}

TEST(TokenErrors, BadDigitArgumentIsTheCharacter)
{
  struct
  {
    const char *source;
    char digit;
  } const cases[] = {{"0xg", 'g'}, {"08", '8'}, {"12a", 'a'}, {"1f", 'f'}, {"0b7", '7'}};
  for ( const auto &c : cases )
  {
    reader_ptr reader = make_reader();
    reader->set_text(c.source, nullptr);
    lexer_token_t token;
    EXPECT_EQ(read_token(reader.get(), &token), 20) << c.source;
    EXPECT_EQ(get_error_arg_number(0), uint64_t(uint8_t(c.digit))) << c.source;
  }
}

TEST(TokenErrors, ReadingContinuesAfterAnError)
{
  reader_ptr reader = make_reader();
  reader->set_text("a 0xg b 12a c \x01 d", nullptr);
  std::vector<std::string> seen;
  lexer_token_t token;
  for ( int i = 0; i < 20; ++i )
  {
    const int code = read_token(reader.get(), &token);
    if ( code == 0 && token.kind == TOKEN_END )
      break;
    seen.push_back(code != 0 ? "!" + std::to_string(code) : describe_token(token));
  }
  EXPECT_EQ(seen, (std::vector<std::string> {"a", "!20", "b", "!20", "c", "!27", "d"}));
}

TEST(TokenReader, EndIsRepeated)
{
  reader_ptr reader = make_reader();
  reader->set_text("x", nullptr);
  lexer_token_t token;
  ASSERT_EQ(read_token(reader.get(), &token), 0);
  for ( int i = 0; i < 3; ++i )
  {
    EXPECT_EQ(read_token(reader.get(), &token), 0);
    EXPECT_EQ(token.kind, TOKEN_END);
  }
}

TEST(TokenReader, FloatValueIsExact)
{
  reader_ptr reader = make_reader();
  reader->set_text("0.5", nullptr);
  lexer_token_t token;
  ASSERT_EQ(read_token(reader.get(), &token), 0);
  ASSERT_EQ(token.kind, TOKEN_FLOAT);
  EXPECT_EQ(token.value.real, xfloat_half);
}

TEST(TokenReader, FileWithByteOrderMarkReadsAsWithout)
{
  scratch_dir_t dir;
  const std::string with = dir.write("bom.txt", "\xEF\xBB\xBF" "a = 1;\nb\n");
  const std::string without = dir.write("plain.txt", "a = 1;\nb\n");
  const std::string later = dir.write("later.txt", "a\n\xEF\xBB\xBF" "b\n");
  reader_ptr reader = make_reader();
  ASSERT_EQ(reader->open_file(with.c_str()), 0);
  const std::string first = read_all(reader.get());
  ASSERT_EQ(reader->open_file(without.c_str()), 0);
  EXPECT_EQ(first, read_all(reader.get()));
  EXPECT_EQ(first, "a = i:1 ; b");
  ASSERT_EQ(reader->open_file(later.c_str()), 0);
  EXPECT_EQ(read_all(reader.get()), "a !E27");
}

TEST(TokenReader, OpenFailures)
{
  reader_ptr reader = make_reader();
  errno = 0;
  EXPECT_EQ(reader->open_file(nullptr), 1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(reader->open_file("/nonexistent/file.cfg"), 1);
  lexer_token_t token;
  EXPECT_EQ(read_token(reader.get(), &token), 0);
  EXPECT_EQ(token.kind, TOKEN_END);
}

TEST(TokenReader, PositionFollowsLinesAndFiles)
{
  scratch_dir_t dir;
  const std::string path = dir.write("pos.cfg", "a\n\nb c\n");
  reader_ptr reader = make_reader();
  int32_t line = 0;
  const char *text = nullptr;
  EXPECT_EQ(reader->get_position(&line, &text, 0), nullptr);
  EXPECT_EQ(line, -1);
  ASSERT_EQ(reader->open_file(path.c_str()), 0);
  EXPECT_STREQ(reader->get_position(&line, nullptr, 0), path.c_str());
  EXPECT_EQ(line, 0);
  lexer_token_t token;
  ASSERT_EQ(read_token(reader.get(), &token), 0);
  ASSERT_EQ(read_token(reader.get(), &token), 0);
  EXPECT_STREQ(token.text.c_str(), "b");
  reader->get_position(&line, &text, 0);
  EXPECT_EQ(line, 3);
  EXPECT_STREQ(text, "b c");
  EXPECT_EQ(reader->get_position(&line, &text, 1), nullptr);
  reader->end_input(false);
  EXPECT_EQ(reader->get_position(&line, nullptr, 0), nullptr);
  EXPECT_EQ(line, -1);
  ASSERT_EQ(read_token(reader.get(), &token), 0);
  EXPECT_EQ(token.kind, TOKEN_END);
}

TEST(TokenReader, TextInputHasNoFileNameAndKeepsCarriageReturns)
{
  reader_ptr reader = make_reader();
  reader->set_text("a\r\nb", nullptr);
  lexer_token_t token;
  ASSERT_EQ(read_token(reader.get(), &token), 0);
  int32_t line = 0;
  const char *text = nullptr;
  EXPECT_EQ(reader->get_position(&line, &text, 0), nullptr);
  EXPECT_EQ(line, 1);
  EXPECT_STREQ(text, "a\r");
  EXPECT_EQ(read_all(reader.get()), "b");
}

TEST(TokenReader, SetTextReplacesAnOpenFile)
{
  scratch_dir_t dir;
  const std::string path = dir.write("f.cfg", "from_file\n");
  reader_ptr reader = make_reader();
  ASSERT_EQ(reader->open_file(path.c_str()), 0);
  reader->set_text("from_text", nullptr);
  EXPECT_EQ(read_all(reader.get()), "from_text");
}

int record_line(void *user, const char *file, int32_t line, const char *text)
{
  auto *lines = static_cast<std::vector<std::string> *>(user);
  lines->push_back(std::string(file == nullptr ? "-" : file) + ":" + std::to_string(line) + ":" + text);
  return std::string(text) == "stop" ? 1234 : 0;
}

TEST(TokenReader, LineHookSeesEveryLogicalLineAndCanStop)
{
  reader_ptr reader = make_reader();
  std::vector<std::string> lines;
  EXPECT_EQ(reader->set_user_data(&lines), nullptr);
  EXPECT_EQ(reader->user_data(), &lines);
  EXPECT_EQ(reader->set_line_hook(record_line), nullptr);
  reader->set_text("a \\\nb\n#define X\n\nc\nstop\nd", nullptr);
  EXPECT_EQ(read_all(reader.get()), "a b c !E1234");
  EXPECT_EQ(lines, (std::vector<std::string> {"-:1:a \\", "-:3:#define X", "-:4:", "-:5:c", "-:6:stop"}));
  EXPECT_EQ(reader->set_line_hook(nullptr), record_line);
}

TEST(TokenText, RendersEveryKind)
{
  struct
  {
    const char *source;
    const char *text;
  } const cases[] = {
    {"name", "name"},          {"int", "int"},          {"255", "0xFF"},        {"5LL", "0x5i64"},
    {"\"a\\nb\"", "\"a\\nb\""}, {"L\"w\"", "L\"w\""},   {"'a'", "'a'"},         {"'\\n'", "'\\n'"},
    {"'ab'", "'ab'"},          {"'\\0'", "'\\0'"},      {"'\\xFF'", "'\\xFF'"}, {"1.5", "1.5"},
    {"...", "..."},            {"<<=", "<<="},          {"->", "->"},           {"(", "("},
  };
  for ( const auto &c : cases )
  {
    reader_ptr reader = make_reader();
    reader->set_text(c.source, nullptr);
    lexer_token_t token;
    ASSERT_EQ(read_token(reader.get(), &token), 0) << c.source;
    qstring out;
    EXPECT_STREQ(token_to_text(token, &out), c.text) << c.source;
  }
  lexer_token_t end;
  qstring out;
  EXPECT_STREQ(token_to_text(end, &out), "<END>");
  lexer_token_t type;
  type.kind = TOKEN_TYPE;
  type.text = "int *";
  EXPECT_STREQ(token_to_text(type, &out), "@type int *");
}

TEST(TokenValues, CopyIsDeepAndVectorsFree)
{
  lexer_token_t source;
  source.text = "abc";
  source.kind = TOKEN_STRING;
  source.flag = 1;
  source.number = 7;
  lexer_token_t copy;
  lexer_token_copy(&copy, source);
  source.text = "changed";
  EXPECT_EQ(copy.text, "abc");
  EXPECT_EQ(copy.kind, TOKEN_STRING);
  EXPECT_EQ(copy.flag, 1);
  EXPECT_EQ(copy.number, 7u);
  qvector<lexer_token_t> tokens;
  tokens.push_back(copy);
  tokens.push_back(source);
  free_lexer_tokens(&tokens);
  EXPECT_TRUE(tokens.empty());
}

} // namespace

// Tests of the JSON reader: every accepted form, every error code, tokens handed in and handed back, and
// round trips through the writer.
#include "core/json_reader.h"

#include "core/directories.h"
#include "core/error_state.h"
#include "core/grammar_driver.h"
#include "core/json_writer.h"
#include "core/message_catalog.h"

#include "json_builders.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

struct parse_case_t
{
  const char *name;
  const char *text;
  json_value_t expected;
};

TEST(JsonReader, AcceptedForms)
{
  const parse_case_t cases[] = {
    {"the mixed example", "{a: 1, \"b\": [true, null, -2.5], \"c\": \"x\" \"y\"}",
     jobj({{"a", jint(1)}, {"b", jarr({jbool(true), jnull(), jdouble(-2.5)})}, {"c", jstr("xy")}})},
    {"what follows the value is not read", "5 ]]", jint(5)},
    {"hexadecimal", "0x10", jint(16)},
    {"octal", "010", jint(8)},
    {"binary", "0b101", jint(5)},
    {"negative integer", "-42", jint(-42)},
    {"blank after the minus", "- 7", jint(-7)},
    {"int64 min", "-9223372036854775808", jint(INT64_MIN)},
    {"int64 max", "9223372036854775807", jint(INT64_MAX)},
    {"double", "1.5e3", jdouble(1500.0)},
    {"negative zero", "-0.0", jdouble(-0.0)},
    {"fraction only", ".25", jdouble(0.25)},
    {"true", "true", jbool(true)},
    {"false", "false", jbool(false)},
    {"null", "null", jnull()},
    {"string escapes", "\"a\\tb\\x41\\n\\\"\\\\\"", jstr("a\tbA\n\"\\")},
    {"hex escape takes two digits", "\"\\x012\"", jstr("\x01" "2")},
    {"NUL escape", "\"a\\x00b\"", jstr(std::string_view("a\0b", 3))},
    {"UTF-8 as written", "\"\xC3\xA9\"", jstr("\xC3\xA9")},
    {"three adjacent strings", "\"a\" \"b\"\n\"c\"", jstr("abc")},
    {"wide literal", "L\"w\" \"x\"", jstr("wx")},
    {"adjacent strings in an array", "[\"a\" \"b\", \"c\"]", jarr({jstr("ab"), jstr("c")})},
    {"empty array", "[]", jarr({})},
    {"one element", "[1]", jarr({jint(1)})},
    {"two elements", "[1, 2]", jarr({jint(1), jint(2)})},
    {"empty object", "{}", jobj({})},
    {"nested", "{\"a\": {\"b\": [[], {}]}}", jobj({{"a", jobj({{"b", jarr({jarr({}), jobj({})})}})}})},
    {"repeated keys kept in order", "{k: 1, k: \"2\", j: 3}", jobj({{"k", jint(1)}, {"k", jstr("2")}, {"j", jint(3)}})},
    {"empty key", "{\"\": 0}", jobj({{"", jint(0)}})},
    {"joined key strings use the first", "{\"a\" : \"b\" \"c\"}", jobj({{"a", jstr("bc")}})},
    {"comments", "/* c */ [1, // two\n 2 /* , 3 */]", jarr({jint(1), jint(2)})},
    {"macros", "#define TWO 2\n#if TWO > 1\n[TWO]\n#endif", jarr({jint(2)})},
    {"a keyword other than the three is a name key", "{static: 1}", jobj({{"static", jint(1)}})},
  };
  for ( const parse_case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    json_value_t v;
    ASSERT_EQ(json_parse_text(&v, c.text), 0) << error_code_text(-1);
    EXPECT_EQ(json_dump(v), json_dump(c.expected));
  }
  // The sign bit of negative zero does not show in a comparison of doubles.
  json_value_t zero;
  ASSERT_EQ(json_parse_text(&zero, "-0.0"), 0);
  EXPECT_TRUE(std::signbit(json_value_as_double(&zero)));
}

TEST(JsonReader, ErrorCodes)
{
  const std::string deep_arrays = std::string(GRAMMAR_MAX_DEPTH / 2, '[') + std::string(GRAMMAR_MAX_DEPTH / 2, ']');
  const std::string deep_objects = [] {
    std::string text;
    for ( int i = 0; i < GRAMMAR_MAX_DEPTH / 3 + 1; ++i )
      text += "{a:";
    return text + "1" + std::string(GRAMMAR_MAX_DEPTH / 3 + 1, '}');
  }();
  struct error_case_t
  {
    const char *name;
    std::string text;
    int code;
  };
  const error_case_t cases[] = {
    {"trailing comma in an array", "[1, 2,]", JSON_SYNTAX_ERROR},
    {"trailing comma in an object", "{\"a\": 1,}", JSON_MEMBER_NAME_EXPECTED},
    {"missing colon", "{\"a\" 1}", JSON_COLON_EXPECTED},
    {"empty text", "", JSON_SYNTAX_ERROR},
    {"only a comment", "// nothing", JSON_SYNTAX_ERROR},
    {"two numbers without a comma", "[1 2]", JSON_SYNTAX_ERROR},
    {"two commas", "[1,,2]", JSON_SYNTAX_ERROR},
    {"unclosed array", "[1", JSON_SYNTAX_ERROR},
    {"unclosed object", "{\"a\": 1", JSON_SYNTAX_ERROR},
    {"member value missing", "{\"a\":}", JSON_SYNTAX_ERROR},
    {"number as key", "{1: 2}", JSON_MEMBER_NAME_EXPECTED},
    {"true as key", "{true: 2}", JSON_MEMBER_NAME_EXPECTED},
    {"bare name as value", "[nothing]", JSON_SYNTAX_ERROR},
    {"minus before a string", "-\"x\"", JSON_SYNTAX_ERROR},
    {"double minus", "- -1", JSON_SYNTAX_ERROR},
    {"64-bit suffix", "1LL", JSON_SYNTAX_ERROR},
    {"negative 64-bit suffix", "-1i64", JSON_SYNTAX_ERROR},
    {"character literal", "'c'", JSON_SYNTAX_ERROR},
    {"closing bracket first", "]", JSON_SYNTAX_ERROR},
    {"double out of range", "[1e400]", JSON_SYNTAX_ERROR},
    {"negative double out of range", "-1e400", JSON_SYNTAX_ERROR},
    {"tokenizer: unterminated string", "[\"abc", 24},
    {"tokenizer: bad digit", "[0x]", 20},
    {"preprocessor: missing #endif", "#if 1\n[1,", 37},
    {"arrays nested too deep", deep_arrays, GRAMMAR_TOO_DEEP},
    {"objects nested too deep", deep_objects, GRAMMAR_TOO_DEEP},
    {"deep nesting never overflows the stack", std::string(1000000, '['), GRAMMAR_TOO_DEEP},
  };
  for ( const error_case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    json_value_t v = jstr("untouched");
    qerrno_set(0);
    EXPECT_EQ(json_parse_text(&v, c.text.c_str()), c.code);
    EXPECT_EQ(qerrno_get(), c.code);
    EXPECT_EQ(json_dump(v), "\"untouched\"");
  }
}

TEST(JsonReader, NestingJustWithinTheBound)
{
  // Each array takes two rule levels (value, array body), each object three (value, body, member).
  const int arrays = (GRAMMAR_MAX_DEPTH - 1) / 2;
  json_value_t v;
  ASSERT_EQ(json_parse_text(&v, (std::string(size_t(arrays), '[') + std::string(size_t(arrays), ']')).c_str()), 0);
  int depth = 0;
  for ( const json_value_t *p = &v; p->tag == JSON_ARRAY; p = p->u.arr->empty() ? nullptr : &(*p->u.arr)[0] )
  {
    ++depth;
    if ( p->u.arr->empty() )
      break;
  }
  EXPECT_EQ(depth, arrays);
}

TEST(JsonReader, SuccessReplacesTheResult)
{
  json_value_t v = jobj({{"old", jarr({jstr("freed")})}});
  ASSERT_EQ(json_parse_text(&v, "[3]"), 0);
  EXPECT_EQ(json_dump(v), "[3]");
}

TEST(JsonReader, ErrorTexts)
{
  ASSERT_EQ(load_help_file(install_directory("zuk.hlp")), 0);
  json_value_t v;
  struct text_case_t
  {
    std::string text;
    const char *message;
  };
  const text_case_t cases[] = {
    {"{\"a\" 1}", "Syntax error: ':' expected"},
    {"[1 2]", "Syntax error"},
    {"{\"a\": 1,}", "Syntax error: object member name expected"},
    {std::string(5000, '['), "Nesting too deep: more than 2000 levels"},
  };
  for ( const text_case_t &c : cases )
  {
    SCOPED_TRACE(c.text.substr(0, 20));
    const int code = json_parse_text(&v, c.text.c_str());
    EXPECT_STREQ(error_code_text(code), c.message);
  }
  unload_help_file();
}

// A reader over text, and tokens to hand in.
class JsonTokens : public testing::Test
{
protected:
  void SetUp() override { reader_ = create_token_reader(keywords_, std::size(keywords_), nullptr, 0); }
  void TearDown() override { destroy_token_reader(reader_); }

  static lexer_token_t token(uint16_t kind, const char *text = "", uint64_t number = 0)
  {
    lexer_token_t t;
    t.kind = kind;
    t.text = text;
    t.number = number;
    return t;
  }

  // The cfg reader's keyword list: "null" is not a keyword there and "NO" has the code of JSON's null.
  static constexpr const char *keywords_[] = {"true", "false", "NO", "OFF", "ON", "YES"};
  token_reader_t *reader_ = nullptr;
};

TEST_F(JsonTokens, PushedBackTokensComeFirstLastElementFirst)
{
  reader_->set_text("2, 3]", nullptr);
  qvector<lexer_token_t> pushed;
  pushed.push_back(token(','));
  pushed.push_back(token(TOKEN_INTEGER, "", 1));
  pushed.push_back(token('['));
  json_value_t v;
  ASSERT_EQ(json_parse_tokens(&v, reader_, &pushed), 0);
  EXPECT_EQ(json_dump(v), "[1,2,3]");
  EXPECT_TRUE(pushed.empty());
}

TEST_F(JsonTokens, UnusedTokensAreHandedBack)
{
  struct case_t
  {
    const char *name;
    const char *text;
    std::vector<lexer_token_t> pushed; // delivered last first
    const char *value;
    std::vector<std::string> handed_back; // in delivery order
  };
  const case_t cases[] = {
    {"a number reads nothing past it", "7 next", {}, "7", {}},
    {"a string reads one token past it", "\"a\" \"b\" next = 1", {}, "\"ab\"", {"next"}},
    {"the lookahead may be the end", "\"a\"", {}, "\"a\"", {"<END>"}},
    {"pushed tokens not reached", "", {token(TOKEN_NAME, "x"), token(TOKEN_INTEGER, "", 7)}, "7", {"x"}},
    {"lookahead comes before the rest", "", {token(TOKEN_NAME, "x"), token(TOKEN_NAME, "y"), token(TOKEN_STRING, "s")},
     "\"s\"", {"y", "x"}},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    reader_->set_text(c.text, nullptr);
    qvector<lexer_token_t> pushed;
    for ( const lexer_token_t &t : c.pushed )
      pushed.push_back(t);
    json_value_t v;
    ASSERT_EQ(json_parse_tokens(&v, reader_, &pushed), 0);
    EXPECT_EQ(json_dump(v), c.value);
    std::vector<std::string> back;
    for ( size_t i = pushed.size(); i-- > 0; )
    {
      qstring text;
      back.emplace_back(token_to_text(pushed[i], &text));
    }
    EXPECT_EQ(back, c.handed_back);
  }
}

TEST_F(JsonTokens, FailureEmptiesThePushedBackTokens)
{
  reader_->set_text("]", nullptr);
  qvector<lexer_token_t> pushed;
  pushed.push_back(token(TOKEN_NAME, "unused"));
  pushed.push_back(token(','));
  pushed.push_back(token('['));
  json_value_t v = jint(1);
  EXPECT_EQ(json_parse_tokens(&v, reader_, &pushed), JSON_SYNTAX_ERROR);
  EXPECT_TRUE(pushed.empty());
  EXPECT_EQ(json_dump(v), "1");
}

TEST_F(JsonTokens, KeywordsByTheirTextWhateverTheReaderNumbers)
{
  struct case_t
  {
    const char *text;
    int code;
    const char *value;
  };
  const case_t cases[] = {
    {"[true, false, null]", 0, "[true,false,null]"},
    {"{ON: 1, YES: NO}", JSON_SYNTAX_ERROR, ""},
    {"{ON: 1, \"YES\": 2}", 0, "{\"ON\"=1,\"YES\"=2}"},
    {"[NO]", JSON_SYNTAX_ERROR, ""},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.text);
    reader_->set_text(c.text, nullptr);
    json_value_t v;
    ASSERT_EQ(json_parse_tokens(&v, reader_, nullptr), c.code);
    if ( c.code == 0 )
    {
      EXPECT_EQ(json_dump(v), c.value);
    }
  }
}

TEST(JsonRoundTrip, AwkwardKeysAndStringsReadBackUnchanged)
{
  const json_value_t value = jobj({
    {"", jstr("")},
    {"quote\"key", jstr("quote\"value")},
    {"back\\slash", jstr("\\")},
    {"line\nbreak\r", jstr("tab\there\vform\f")},
    {"control\x01\x02\x1F", jstr("\x7F")},
    {std::string_view("nul\0key", 7), jstr(std::string_view("\0\0", 2))},
    {"hex after escape \x01" "ABC", jstr("\x02" "ff")},
    {"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC", jstr("\xF0\x9F\x98\x80")},
    {"lone \xC3 byte", jstr("\xFF\xFE\x80")},
    {"/* not a comment */", jstr("// nor this")},
    {"#define X 1", jstr("?\?= '\\'")},
    {"true", jstr("null")},
    {"dup", jint(1)},
    {"dup", jint(2)},
    {"numbers", jarr({jint(0), jint(-1), jint(INT64_MIN), jint(INT64_MAX), jdouble(0.5), jdouble(-2.25),
                      jdouble(1e20), jdouble(-0.0), jdouble(123456.125)})},
    {"nested", jarr({jobj({}), jarr({}), jobj({{"k", jarr({jnull(), jbool(true), jbool(false)})}})})},
  });
  for ( const int flags : {0, JSON_TEXT_PRETTY} )
  {
    SCOPED_TRACE(flags);
    qstring text;
    ASSERT_TRUE(json_to_text(&text, &value, flags));
    json_value_t back;
    ASSERT_EQ(json_parse_text(&back, text.c_str()), 0) << error_code_text(-1) << "\n" << text.c_str();
    EXPECT_EQ(json_dump(back), json_dump(value));
  }
  // Sorted output reads back with the members in key order.
  qstring sorted;
  const json_value_t small = jobj({{"b\"", jstr("1")}, {"a\\", jstr("2")}});
  ASSERT_TRUE(json_to_text(&sorted, &small, JSON_TEXT_SORTED_KEYS | JSON_TEXT_PRETTY));
  json_value_t back;
  ASSERT_EQ(json_parse_text(&back, sorted.c_str()), 0);
  EXPECT_EQ(json_dump(back), json_dump(jobj({{"a\\", jstr("2")}, {"b\"", jstr("1")}})));
}

} // namespace

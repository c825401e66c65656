// Tests of the cfg reader: every value kind against keyword tables, range warnings, boolean forms, handlers,
// unrecognised directives, files, includes and the messages shown through the UI callback.
#include "core/cfg_reader.h"

#include "core/debug_flags.h"
#include "core/directories.h"
#include "core/json_writer.h"
#include "core/message_catalog.h"
#include "tests/support/recording_ui_callback.h"

#include "json_builders.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct settings_t
{
  char buf[16] = "";
  qstring qs;
  qstring raw;
  int32_t i32 = 0;
  uint32_t u32 = 0;
  int8_t s8 = 0;
  uint8_t u8 = 0;
  int16_t s16 = 0;
  uint16_t u16 = 0;
  int32_t bounded = 0;
  uint8_t ubounded = 0;
  uint32_t width3 = 0;
  int64_t i64 = 0;
  uint64_t u64 = 0;
  int64_t i64_bounded = 0;
  uint32_t bits32 = 0x100;
  uint8_t bits8 = 0;
  uint16_t bits16 = 0;
  uint8_t flag = 7;
  uint32_t bad_bool = 0;
  json_value_t json;
};

// Calls of the handlers, as "name(value args...)".
std::vector<std::string> handler_calls;

std::string token_string(const lexer_token_t *t)
{
  qstring text;
  return token_to_text(*t, &text);
}

intptr_t plain_handler(token_reader_t *reader, const lexer_token_t *name, const lexer_token_t *value)
{
  std::string call = std::string(name->text.c_str()) + "(" + token_string(value);
  // "PAIR = 1, 2": the handler reads the rest of its value itself.
  if ( name->text == "PAIR" )
  {
    lexer_token_t t;
    for ( int i = 0; i < 2 && read_token(reader, &t) == 0; ++i )
      call += " " + token_string(&t);
  }
  handler_calls.push_back(call + ")");
  if ( value->kind == TOKEN_STRING && value->text == "bad" )
    return CFG_RESULT_BAD_VALUE;
  if ( value->kind == TOKEN_STRING && value->text == "refuse" )
    return CFG_RESULT_REFUSED;
  if ( value->kind == TOKEN_STRING && value->text == "text" )
    return intptr_t("the handler's own complaint");
  return CFG_RESULT_OK;
}

intptr_t param_handler(token_reader_t *, const lexer_token_t *name, const lexer_token_t *value, uint64_t first,
                       uint64_t second)
{
  handler_calls.push_back(std::string(name->text.c_str()) + "(" + token_string(value) + " " +
                          std::to_string(first) + " " + std::to_string(second) + ")");
  return CFG_RESULT_OK;
}

intptr_t base_handler(token_reader_t *, const lexer_token_t *name, const lexer_token_t *value, uint64_t first,
                      uint64_t second, void *base)
{
  static_cast<settings_t *>(base)->i32 = int32_t(first + second);
  handler_calls.push_back(std::string(name->text.c_str()) + "(" + token_string(value) + " base)");
  return CFG_RESULT_OK;
}

// Answers of the unrecognised-directive handler, by directive name.
intptr_t unknown_handler(token_reader_t *, const lexer_token_t *name, const lexer_token_t *value)
{
  handler_calls.push_back("unknown " + std::string(name->text.c_str()) + "(" + token_string(value) + ")");
  return name->text == "KNOWN_ELSEWHERE" ? CFG_RESULT_OK : CFG_RESULT_UNRECOGNISED;
}

template <typename F>
uint64_t address(F *f)
{
  return uint64_t(reinterpret_cast<uintptr_t>(f));
}

config_keyword_t offset_entry(const char *name, size_t offset, uint32_t flags, uint64_t first = 0, uint64_t second = 0)
{
  return {name, offset, flags | CFG_OFFSET, first, second};
}

// Fields of settings_t are reached through the base; two entries name absolute addresses.
std::vector<config_keyword_t> keyword_table(settings_t *absolute)
{
  return {
    offset_entry("S", offsetof(settings_t, buf), CFG_STRING, sizeof(settings_t::buf)),
    offset_entry("Q", offsetof(settings_t, qs), CFG_STRING | CFG_STRING_QSTRING),
    offset_entry("R", offsetof(settings_t, raw), CFG_STRING | CFG_STRING_QSTRING | CFG_STRING_RAW),
    offset_entry("I", offsetof(settings_t, i32), CFG_INTEGER),
    offset_entry("U", offsetof(settings_t, u32), CFG_INTEGER | CFG_INT_UNSIGNED),
    offset_entry("S8", offsetof(settings_t, s8), CFG_INTEGER | CFG_INT_8),
    offset_entry("U8", offsetof(settings_t, u8), CFG_INTEGER | CFG_INT_8 | CFG_INT_UNSIGNED),
    offset_entry("S16", offsetof(settings_t, s16), CFG_INTEGER | CFG_INT_16),
    offset_entry("U16", offsetof(settings_t, u16), CFG_INTEGER | CFG_INT_16 | CFG_INT_UNSIGNED),
    offset_entry("B10_20", offsetof(settings_t, bounded), CFG_INTEGER | CFG_INT_BOUNDS, 10, 20),
    offset_entry("UB", offsetof(settings_t, ubounded), CFG_INTEGER | CFG_INT_8 | CFG_INT_UNSIGNED | CFG_INT_BOUNDS,
                 0x10, 0x20),
    offset_entry("W3", offsetof(settings_t, width3), CFG_INTEGER | CFG_INT_WIDTH_MASK),
    offset_entry("L", offsetof(settings_t, i64), CFG_INT64),
    offset_entry("UL", offsetof(settings_t, u64), CFG_INT64 | CFG_INT64_UNSIGNED),
    offset_entry("LB", offsetof(settings_t, i64_bounded), CFG_INT64 | CFG_INT64_BOUNDS, uint64_t(-5), 5),
    offset_entry("F32", offsetof(settings_t, bits32), CFG_BOOLEAN, 0x6),
    offset_entry("F8", offsetof(settings_t, bits8), CFG_BOOLEAN | CFG_BOOL_BYTE_BITS, 0x1FF),
    offset_entry("F16", offsetof(settings_t, bits16), CFG_BOOLEAN | CFG_BOOL_WORD16_BITS, 0x3F0000 | 0x8001),
    offset_entry("FLAG", offsetof(settings_t, flag), CFG_BOOLEAN | CFG_BOOL_BYTE),
    offset_entry("FBAD", offsetof(settings_t, bad_bool), CFG_BOOLEAN | 0x4000000),
    offset_entry("J", offsetof(settings_t, json), CFG_JSON),
    {"H", address(plain_handler), CFG_HANDLER, 0, 0},
    {"PAIR", address(plain_handler), CFG_HANDLER, 0, 0},
    {"HP", address(param_handler), CFG_HANDLER | CFG_HANDLER_PARAMS, 3, 4},
    offset_entry("HB", address(base_handler), CFG_HANDLER, 30, 12),
    {"ABS", address(&absolute->i32), CFG_INTEGER, 0, 0},
    {"ABSQ", address(&absolute->qs), CFG_STRING | CFG_STRING_QSTRING, 0, 0},
    {"K0", 0, 0, 0, 0},
    {"K4", 0, 4, 0, 0},
    {"K9", 0, 9, 0, 0},
    // A repeated name: the first entry wins.
    offset_entry("I", offsetof(settings_t, u32), CFG_INTEGER),
  };
}

class CfgReader : public testing::Test
{
protected:
  static void SetUpTestSuite() { ASSERT_EQ(load_help_file(install_directory("zuk.hlp")), 0); }
  static void TearDownTestSuite() { unload_help_file(); }

  void SetUp() override
  {
    handler_calls.clear();
    debug_flags = 0;
    dir_ = fs::path(std::getenv("TMPDIR")) / testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(dir_);
    table_ = keyword_table(&absolute_);
  }
  void TearDown() override
  {
    debug_flags = 0;
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string write_file(const std::string &name, const std::string &content)
  {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  bool read_text(const std::string &text, config_handler_t handler = nullptr)
  {
    return read_config_source(text.c_str(), 0, table_.data(), table_.size(), handler, nullptr, 0, &s_);
  }
  bool read_file(const std::string &path, config_handler_t handler = nullptr, int mode = 2)
  {
    return read_config_source(path.c_str(), mode, table_.data(), table_.size(), handler, macros_, 2, &s_);
  }

  // The texts of the warning boxes shown so far, each without its "AUTOHIDE NONE" line.
  std::vector<std::string> warnings() const
  {
    std::vector<std::string> texts;
    for ( const ui_request_record_t &r : ui_.requests_of(ui_code_message) )
    {
      EXPECT_EQ(r.kind, msg_kind_warning);
      const std::string head = "AUTOHIDE NONE\n";
      EXPECT_EQ(r.text.substr(0, head.size()), head);
      texts.push_back(r.text.substr(head.size()));
    }
    return texts;
  }

  static constexpr const char *macros_[] = {"gui", "Akui"};
  recording_ui_callback_t ui_;
  fs::path dir_;
  settings_t s_;
  settings_t absolute_;
  std::vector<config_keyword_t> table_;
};

// One directive read from a one-line file and as directive text.
struct kind_case_t
{
  const char *name;
  std::string input;
  std::function<std::string(const settings_t &)> field;
  std::string value;                 // the field after reading
  std::vector<std::string> messages; // message texts shown, after the position lines
  bool ok = true;
};

std::string dump_json(const json_value_t &v)
{
  return json_dump(v);
}

void check_kind_case(const kind_case_t &c, const settings_t &s, bool ok, const std::vector<std::string> &warnings,
                     const std::string &position)
{
  EXPECT_EQ(ok, c.ok);
  EXPECT_EQ(c.field(s), c.value);
  ASSERT_EQ(warnings.size(), c.messages.size());
  for ( size_t i = 0; i < warnings.size(); ++i )
    EXPECT_EQ(warnings[i], position + c.messages[i]);
}

const auto buf = [](const settings_t &s) { return std::string(s.buf); };
const auto qs = [](const settings_t &s) { return std::string(s.qs.view()); };
const auto raw = [](const settings_t &s) { return std::string(s.raw.view()); };
template <typename T>
std::function<std::string(const settings_t &)> number(T settings_t::*field)
{
  return [field](const settings_t &s) { return std::to_string(s.*field); };
}
const auto json_field = [](const settings_t &s) { return dump_json(s.json); };

const std::string failed = "The directive failed";

TEST_F(CfgReader, ValueKindsFromFilesAndText)
{
  const std::string twenty = "abcdefghijklmnopqrst";
  const kind_case_t cases[] = {
    {"string into a buffer", "S = \"hello\"", buf, "hello", {}},
    {"string of 15 fits", "S = \"abcdefghijklmno\"", buf, "abcdefghijklmno", {}},
    {"string of 20 is cut to 15", "S = \"" + twenty + "\"", buf, "abcdefghijklmno",
     {"String '" + twenty + "' is too long, truncated to 15 characters\n"}},
    {"string of 16 is cut too", "S = \"abcdefghijklmnop\"", buf, "abcdefghijklmno",
     {"String 'abcdefghijklmnop' is too long, truncated to 15 characters\n"}},
    {"adjacent strings are one literal only for raw strings", "S = \"a\" \"b\"", buf, "a",
     {"'=' expected after the directive name"}, false},
    {"qstring", "Q = \"x y\"", qs, "x y", {}},
    {"empty qstring", "Q = \"\"", qs, "", {}},
    {"number for a string", "Q = 5", qs, "", {"String value expected"}, false},
    {"absolute address", "ABSQ = \"abs\"", [this](const settings_t &) { return std::string(absolute_.qs.view()); },
     "abs", {}},
    {"integer", "I = 42", number(&settings_t::i32), "42", {}},
    {"negative integer", "I = -42", number(&settings_t::i32), "-42", {}},
    {"hexadecimal", "I = 0x7fffffff", number(&settings_t::i32), "2147483647", {}},
    {"character constant", "I = 'A'", number(&settings_t::i32), "65", {}},
    {"64-bit literal", "I = 7LL", number(&settings_t::i32), "7", {}},
    {"first of two entries of one name", "I = 3", number(&settings_t::u32), "0", {}},
    {"signed 32 too high", "I = 3000000000", number(&settings_t::i32), "2147483647",
     {"number 3000000000 is too high (must be at most 2147483647)"}},
    {"signed 32 too low", "I = -3000000000", number(&settings_t::i32), "-2147483648",
     {"number -3000000000 is too low (must be at least -2147483648)"}},
    {"string for an integer", "I = \"5\"", number(&settings_t::i32), "0", {"Number expected"}, false},
    {"float for an integer", "I = 1.5", number(&settings_t::i32), "0", {"Number expected"}, false},
    {"name after minus", "I = - x", number(&settings_t::i32), "0", {"Number expected"}, false},
    {"unsigned 32 given -1", "U = -1", number(&settings_t::u32), "4294967295", {}},
    {"unsigned 8 given -1", "U8 = -1", number(&settings_t::u8), "255", {}},
    {"unsigned 8 given 300", "U8 = 300", number(&settings_t::u8), "255",
     {"number 0x12C is too high (must be at most 0xFF)"}},
    {"unsigned 8 given -200", "U8 = -200", number(&settings_t::u8), "255",
     {"number 0xFFFFFFFFFFFFFF38 is too high (must be at most 0xFF)"}},
    {"unsigned 8 given -128", "U8 = -128", number(&settings_t::u8), "128", {}},
    {"signed 8 given -200", "S8 = -200", number(&settings_t::s8), "-128",
     {"number -200 is too low (must be at least -128)"}},
    {"signed 8 given 128", "S8 = 128", number(&settings_t::s8), "127",
     {"number 128 is too high (must be at most 127)"}},
    {"signed 8 given -128", "S8 = -128", number(&settings_t::s8), "-128", {}},
    {"signed 16 given 40000", "S16 = 40000", number(&settings_t::s16), "32767",
     {"number 40000 is too high (must be at most 32767)"}},
    {"unsigned 16 given 0xFFFF", "U16 = 0xFFFF", number(&settings_t::u16), "65535", {}},
    {"unsigned 16 given 0x10000", "U16 = 0x10000", number(&settings_t::u16), "65535",
     {"number 0x10000 is too high (must be at most 0xFFFF)"}},
    {"explicit bounds, too low", "B10_20 = 5", number(&settings_t::bounded), "10",
     {"number 5 is too low (must be at least 10)"}},
    {"explicit bounds, too high", "B10_20 = 25", number(&settings_t::bounded), "20",
     {"number 25 is too high (must be at most 20)"}},
    {"explicit bounds, inside", "B10_20 = 15", number(&settings_t::bounded), "15", {}},
    {"unsigned explicit bounds, too low", "UB = 5", number(&settings_t::ubounded), "16",
     {"number 0x5 is too low (must be at least 0x10)"}},
    {"unsigned explicit bounds, too high", "UB = 0x21", number(&settings_t::ubounded), "32",
     {"number 0x21 is too high (must be at most 0x20)"}},
    {"width code 3 is refused when storing", "W3 = 1", number(&settings_t::width3), "0",
     {"Directive of an unsupported kind", failed}, false},
    {"int64 min", "L = -9223372036854775808", number(&settings_t::i64), "-9223372036854775808", {}},
    {"int64 max", "L = 0x7FFFFFFFFFFFFFFF", number(&settings_t::i64), "9223372036854775807", {}},
    {"unsigned int64 given -1", "UL = -1", number(&settings_t::u64), "18446744073709551615", {}},
    {"unsigned int64 max", "UL = 18446744073709551615", number(&settings_t::u64), "18446744073709551615", {}},
    {"int64 explicit bounds", "LB = -9", number(&settings_t::i64_bounded), "-5",
     {"number -9 is too low (must be at least -5)"}},
    {"bits set in a word", "F32 = ON", number(&settings_t::bits32), "262", {}},
    {"bits cleared in a word", "F32 = OFF", number(&settings_t::bits32), "256", {}},
    {"bits in a byte use the low 8 bits of the mask", "F8 = YES", number(&settings_t::bits8), "255", {}},
    {"bits in a 16-bit word use the low 16 bits", "F16 = true", number(&settings_t::bits16), "32769", {}},
    {"byte flag cleared", "FLAG = false", number(&settings_t::flag), "0", {}},
    {"byte flag set", "FLAG = YES", number(&settings_t::flag), "1", {}},
    {"NO clears", "FLAG = NO", number(&settings_t::flag), "0", {}},
    {"a number is no boolean", "FLAG = 1", number(&settings_t::flag), "7",
     {"Boolean value expected (true, false, YES, NO, ON, OFF)"}, false},
    {"keywords are case-sensitive", "FLAG = on", number(&settings_t::flag), "7",
     {"Boolean value expected (true, false, YES, NO, ON, OFF)"}, false},
    {"unknown boolean width", "FBAD = ON", number(&settings_t::bad_bool), "0",
     {"Directive of an unsupported kind", failed}, false},
    {"JSON value", "J = {a: [1, \"x\"], b: null}", json_field, "{\"a\"=[1,\"x\"],\"b\"=null}", {}},
    {"JSON keywords", "J = [true, false, null]", json_field, "[true,false,null]", {}},
    {"JSON syntax error", "J = [1,]", json_field, "<none>", {"Syntax error"}, false},
    {"JSON key without colon", "J = {\"a\" 1}", json_field, "<none>", {"Syntax error: ':' expected"}, false},
    {"kind 0 is refused", "K0 = 1", buf, "", {"Directive of an unsupported kind"}, false},
    {"kind 4 is refused", "K4 = 1", buf, "", {"Directive of an unsupported kind"}, false},
    {"kind 9 is refused", "K9 = 1", buf, "", {"Directive of an unsupported kind"}, false},
    {"no equals sign", "I 5", number(&settings_t::i32), "0", {"'=' expected after the directive name"}, false},
    {"tokenizer error in the value", "S = \"open", buf, "", {"Unterminated string literal"}, false},
  };
  for ( const kind_case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    {
      SCOPED_TRACE("file");
      s_ = settings_t();
      absolute_.qs.clear();
      ui_.clear();
      const std::string path = write_file("kind.cfg", c.input);
      const bool ok = read_file(path);
      check_kind_case(c, s_, ok, warnings(), path + ",1: " + c.input + "\n");
    }
    {
      SCOPED_TRACE("text");
      s_ = settings_t();
      absolute_.qs.clear();
      ui_.clear();
      const bool ok = read_text(c.input);
      check_kind_case(c, s_, ok, warnings(), c.input + "\n");
    }
  }
}

TEST_F(CfgReader, StringFormsThatDifferBetweenFilesAndText)
{
  struct case_t
  {
    const char *name;
    bool from_file;
    const char *input;
    std::function<std::string(const settings_t &)> field;
    std::string value;
    std::vector<std::string> messages;
    bool ok;
  };
  const case_t cases[] = {
    {"a name is a string in text", false, "Q=abc", qs, "abc", {}, true},
    {"a name is no string in a file", true, "Q = abc", qs, "", {"String value expected"}, false},
    {"raw strings join in a file", true, "R = \"a\" \"b\";", raw, "ab", {}, true},
    {"raw string needs the semicolon at the end of a file", true, "R = \"a\"", raw, "", {"';' expected after the string value"}, false},
    {"raw string ended by a number", true, "R = \"a\" 5", raw, "", {"';' expected after the string value"}, false},
    {"raw text runs to the end, semicolons included", false, "R=/usr/lib;x+y", raw, "/usr/lib;x+y", {}, true},
    {"raw text with strings", false, "R=a\"b c\"d", raw, "ab cd", {}, true},
    {"raw text stops at a number", false, "R=v1.2", raw, "", {"';' expected after the string value"}, false},
    {"raw text stops at a two-character operator", false, "R=a==b", raw, "", {"';' expected after the string value"},
     false},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    s_ = settings_t();
    ui_.clear();
    std::string position = std::string(c.input) + "\n";
    bool ok;
    if ( c.from_file )
    {
      const std::string path = write_file("forms.cfg", c.input);
      position = path + ",1: " + position;
      ok = read_file(path);
    }
    else
    {
      ok = read_text(c.input);
    }
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(c.field(s_), c.value);
    std::vector<std::string> expected;
    for ( const std::string &m : c.messages )
      expected.push_back(position + m);
    EXPECT_EQ(warnings(), expected);
  }
}

TEST_F(CfgReader, LayoutOfDirectivesInAFile)
{
  const std::string one_per_line = "I = 1\nQ = \"q\"\nJ = [1, 2]\nFLAG = ON\n";
  const std::string variants[] = {
    one_per_line,
    "I = 1 Q = \"q\"\nJ = [1, 2] FLAG = ON",
    "I\n=\n1\nQ = \"q\" J = [1,\n 2\n] FLAG\n =\n ON",
    "// comment\nI = /* one */ 1\n#if 1\nQ = \"q\"\n#endif\nJ = [1, 2]\n#ifdef __GUI__\nFLAG = ON\n#endif\n",
    // A JSON string value and a raw string read one token past their end: the next directive still starts there.
    "R = \"r\" I = 1\nQ = \"q\" J = [1, 2] FLAG = ON",
  };
  for ( const std::string &text : variants )
  {
    SCOPED_TRACE(text);
    s_ = settings_t();
    ui_.clear();
    ASSERT_TRUE(read_file(write_file("layout.cfg", text)));
    EXPECT_EQ(s_.i32, 1);
    EXPECT_EQ(s_.qs, "q");
    EXPECT_EQ(json_dump(s_.json), "[1,2]");
    EXPECT_EQ(s_.flag, 1);
    EXPECT_TRUE(warnings().empty());
  }

  s_ = settings_t();
  ASSERT_TRUE(read_file(write_file("json_string.cfg", "J = \"a\" \"b\" I = 2")));
  EXPECT_EQ(json_dump(s_.json), "\"ab\"");
  EXPECT_EQ(s_.i32, 2);
}

TEST_F(CfgReader, FailureEndsTheFileAndKeepsWhatWasStored)
{
  struct case_t
  {
    const char *name;
    std::string text;
    std::string message; // the last message, after the position
    int line;
  };
  const case_t cases[] = {
    {"missing equals sign", "I = 1\nQ \"q\"\nFLAG = ON\n", "'=' expected after the directive name", 2},
    {"bad value", "I = 1\nFLAG = 2\nQ = \"q\"\n", "Boolean value expected (true, false, YES, NO, ON, OFF)", 2},
    {"missing #endif", "I = 1\n#if 1\nQ = \"q\"\n", "Unexpected end of input (missing #endif or ')')", 3},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    s_ = settings_t();
    ui_.clear();
    const std::string path = write_file("fail.cfg", c.text);
    EXPECT_FALSE(read_file(path));
    EXPECT_EQ(s_.i32, 1);
    EXPECT_EQ(s_.flag, 7);
    const std::vector<std::string> shown = warnings();
    ASSERT_EQ(shown.size(), 1u);
    const std::string prefix = path + "," + std::to_string(c.line) + ": ";
    EXPECT_EQ(shown[0].substr(0, prefix.size()), prefix);
    EXPECT_EQ(shown[0].substr(shown[0].size() - c.message.size()), c.message);
  }
  // The "#if" case stored the directive inside the open conditional before the end of input.
  EXPECT_EQ(s_.qs, "q");
}

TEST_F(CfgReader, Handlers)
{
  struct case_t
  {
    const char *name;
    const char *input;
    std::vector<std::string> calls;
    std::vector<std::string> messages;
    bool ok;
  };
  const case_t cases[] = {
    {"plain handler", "H = 5", {"H(0x5)"}, {}, true},
    {"handler reads the rest of its value", "PAIR = 1, 2 I = 3", {"PAIR(0x1 , 0x2)"}, {}, true},
    {"handler with parameters", "HP = \"v\"", {"HP(\"v\" 3 4)"}, {}, true},
    {"handler with the base", "HB = x", {"HB(x base)"}, {}, true},
    {"handler answers 3", "H = \"bad\"", {"H(\"bad\")"}, {"Bad value for the directive", failed}, false},
    {"handler answers 2", "H = \"refuse\"", {"H(\"refuse\")"}, {"Directive of an unsupported kind", failed}, false},
    {"handler answers a text", "H = \"text\"", {"H(\"text\")"}, {"the handler's own complaint", failed}, false},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    s_ = settings_t();
    ui_.clear();
    handler_calls.clear();
    const std::string path = write_file("handlers.cfg", c.input);
    EXPECT_EQ(read_file(path), c.ok);
    EXPECT_EQ(handler_calls, c.calls);
    std::vector<std::string> expected;
    for ( const std::string &m : c.messages )
      expected.push_back(path + ",1: " + c.input + "\n" + m);
    EXPECT_EQ(warnings(), expected);
  }
  EXPECT_EQ(s_.i32, 0);
  // The base handler stored first + second through its base; PAIR's "I = 3" was read after the handler.
  s_ = settings_t();
  ASSERT_TRUE(read_file(write_file("base.cfg", "HB = 1 PAIR = 1, 2 I = 3")));
  EXPECT_EQ(s_.i32, 3);
  s_ = settings_t();
  ASSERT_TRUE(read_file(write_file("base.cfg", "HB = 1")));
  EXPECT_EQ(s_.i32, 42);
}

TEST_F(CfgReader, NullBaseMakesOffsetEntriesUnrecognised)
{
  const std::string path = write_file("nobase.cfg", "I = 5\n");
  EXPECT_FALSE(read_config_source(path.c_str(), 2, table_.data(), table_.size(), nullptr, nullptr, 0, nullptr));
  EXPECT_EQ(warnings(), std::vector<std::string> {path + ",1: I = 5\n" + failed});
  // Absolute entries need no base.
  ui_.clear();
  EXPECT_TRUE(read_config_source("ABS=9", 0, table_.data(), table_.size(), nullptr, nullptr, 0, nullptr));
  EXPECT_EQ(absolute_.i32, 9);
}

TEST_F(CfgReader, UnrecognisedDirectiveInAFile)
{
  struct case_t
  {
    const char *name;
    config_handler_t handler;
    std::vector<std::string> calls;
    bool ok;
    int32_t after; // I after the unknown directive
  };
  const case_t cases[] = {
    {"no handler", nullptr, {}, false, 0},
    {"handler does not know it", unknown_handler, {"unknown NOBODY(0x1)"}, false, 0},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    s_ = settings_t();
    ui_.clear();
    handler_calls.clear();
    const std::string path = write_file("unknown.cfg", "NOBODY = 1\nI = 2\n");
    EXPECT_EQ(read_file(path, c.handler), c.ok);
    EXPECT_EQ(handler_calls, c.calls);
    EXPECT_EQ(s_.i32, c.after);
    EXPECT_EQ(warnings(), std::vector<std::string> {path + ",1: NOBODY = 1\n" + failed});
    // Files never ask the user interface.
    EXPECT_TRUE(ui_.requests_of(ui_code_cfg_directive).empty());
  }
  handler_calls.clear();
  ui_.clear();
  EXPECT_TRUE(read_file(write_file("known.cfg", "KNOWN_ELSEWHERE = \"x\"\nI = 2\n"), unknown_handler));
  EXPECT_EQ(handler_calls, std::vector<std::string> {"unknown KNOWN_ELSEWHERE(\"x\")"});
  EXPECT_EQ(s_.i32, 2);
  EXPECT_TRUE(warnings().empty());
}

TEST_F(CfgReader, UnrecognisedDirectiveTextAsksTheUserInterface)
{
  struct case_t
  {
    const char *name;
    int64_t answer;
    bool ok;
    std::vector<std::string> messages;
  };
  const case_t cases[] = {
    {"accepted", 0, true, {}},
    {"not known there either", 1, false, {failed}},
    {"refused there", 2, false, {"Directive of an unsupported kind", failed}},
    {"bad value there", 3, false, {"Bad value for the directive", failed}},
    {"a text from there", int64_t(intptr_t("said the window")), false, {"said the window", failed}},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    ui_.clear();
    handler_calls.clear();
    ui_.script(ui_code_cfg_directive, c.answer);
    EXPECT_EQ(read_text("NOBODY=1", unknown_handler), c.ok);
    EXPECT_EQ(handler_calls, std::vector<std::string> {"unknown NOBODY(0x1)"});
    const std::vector<ui_request_record_t> asked = ui_.requests_of(ui_code_cfg_directive);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, "NOBODY=1");
    std::vector<std::string> expected;
    for ( const std::string &m : c.messages )
      expected.push_back("NOBODY=1\n" + m);
    EXPECT_EQ(warnings(), expected);
    EXPECT_EQ(config_directive_guard, 0);
  }

  // While the user interface is being asked, a directive it leads to fails without asking again.
  ui_.clear();
  config_directive_guard = 1;
  EXPECT_FALSE(read_text("NOBODY=1"));
  config_directive_guard = 0;
  EXPECT_TRUE(ui_.requests_of(ui_code_cfg_directive).empty());
  EXPECT_TRUE(warnings().empty());
}

std::vector<std::string> hook_calls;

void record_store(const config_keyword_t *entry, uint32_t kind, const config_value_t *value)
{
  hook_calls.push_back(std::string(entry->name) + " kind " + std::to_string(kind) + " = " +
                       std::to_string(value->number));
}

TEST_F(CfgReader, ExtraKeywordTablesServeDirectiveTextOnly)
{
  settings_t extra_settings;
  const config_keyword_t extra_table[] = {
    offset_entry("EXTRA", offsetof(settings_t, i32), CFG_INTEGER),
  };
  extra_config_keyword_tables.push_back({extra_table, 1, record_store, &extra_settings});
  hook_calls.clear();

  EXPECT_TRUE(read_text("EXTRA=12"));
  EXPECT_EQ(extra_settings.i32, 12);
  EXPECT_EQ(s_.i32, 0);
  EXPECT_EQ(hook_calls, std::vector<std::string> {"EXTRA kind 2 = 12"});
  // The caller's own table comes first.
  EXPECT_TRUE(read_text("I=4"));
  EXPECT_EQ(s_.i32, 4);
  EXPECT_EQ(extra_settings.i32, 12);

  const std::string path = write_file("extra.cfg", "EXTRA = 13\n");
  EXPECT_FALSE(read_file(path));
  EXPECT_EQ(extra_settings.i32, 12);
  EXPECT_EQ(hook_calls.size(), 1u);
  extra_config_keyword_tables.release();
}

TEST_F(CfgReader, ConfigurationSearch)
{
  qstring user;
  ASSERT_TRUE(user_directory(&user));
  const fs::path user_dir(user.c_str());
  fs::create_directories(user_dir / "cfg");
  const fs::path first = user_dir / "cfg" / "search.cfg";
  const fs::path second = user_dir / "search.cfg";
  struct cleanup_t
  {
    fs::path a, b;
    ~cleanup_t()
    {
      std::error_code ignored;
      fs::remove(a, ignored);
      fs::remove(b, ignored);
    }
  } cleanup {first, second};

  // No file anywhere: false without a message.
  EXPECT_FALSE(read_file("search", nullptr, 1));
  EXPECT_TRUE(ui_.requests().empty());

  std::ofstream(first) << "I = 1\nQ = \"first\"\n";
  std::ofstream(second) << "I = 2\n";
  debug_flags = CFG_DEBUG_FLAG;
  EXPECT_TRUE(read_file("search", nullptr, 1));
  EXPECT_EQ(s_.i32, 2); // the later file overrides
  EXPECT_EQ(s_.qs, "first");
  std::vector<std::string> logged;
  for ( const ui_request_record_t &r : ui_.requests_of(ui_code_log) )
    logged.push_back(r.text);
  EXPECT_EQ(logged, (std::vector<std::string> {
                      "cfg: define macro __GUI__\n",
                      "cfg: define macro __AKUI__\n",
                      "cfg: processing \"" + first.string() + "\"\n",
                      "cfg: processing \"" + second.string() + "\"\n",
                    }));
  debug_flags = 0;

  // A failing first file does not stop the second, but the whole read reports the failure.
  s_ = settings_t();
  ui_.clear();
  std::ofstream(first) << "I = \"x\"\nQ = \"skipped\"\n";
  EXPECT_FALSE(read_file("search.cfg", nullptr, 7)); // an unknown mode reads like mode 1
  EXPECT_EQ(s_.i32, 2);
  EXPECT_EQ(s_.qs, "");
  EXPECT_EQ(warnings().size(), 1u);
}

TEST_F(CfgReader, SingleFile)
{
  // Without an extension ".cfg" is added.
  write_file("single.cfg", "I = 8\n");
  EXPECT_TRUE(read_file((dir_ / "single").string()));
  EXPECT_EQ(s_.i32, 8);

  ui_.clear();
  const std::string missing = (dir_ / "missing.cfg").string();
  EXPECT_FALSE(read_file(missing));
  EXPECT_EQ(warnings(), std::vector<std::string> {missing + ": No such file or directory\n"});

  // A name too long for a path is refused, never cut to something that might exist.
  ui_.clear();
  const std::string long_name = (dir_ / std::string(PATH_MAX, 'x')).string();
  EXPECT_FALSE(read_file(long_name));
  EXPECT_EQ(warnings(), std::vector<std::string> {"File name too long\n"});

  EXPECT_FALSE(read_config_source(nullptr, 2, table_.data(), table_.size(), nullptr, nullptr, 0, &s_));
  EXPECT_FALSE(read_config_source(nullptr, 0, table_.data(), table_.size(), nullptr, nullptr, 0, &s_));
}

TEST_F(CfgReader, IncludesAndMacros)
{
  write_file("part.cfg", "Q = \"included\"\n");
  const std::string main_file = write_file("main.cfg",
                                           "#include \"part.cfg\"\n"
                                           "#ifdef __AKUI__\nI = 1\n#endif\n"
                                           "#ifdef __EA64__\nFLAG = ON\n#endif\n"
                                           "#define TEN 10\nU = TEN\n");
  EXPECT_TRUE(read_file(main_file));
  EXPECT_TRUE(warnings().empty());
  EXPECT_EQ(s_.qs, "included");
  EXPECT_EQ(s_.i32, 1);
  EXPECT_EQ(s_.flag, 1);
  EXPECT_EQ(s_.u32, 10u);

  // An error inside the included file names that file and line.
  ui_.clear();
  const std::string part = write_file("part.cfg", "\nQ = 5\n");
  EXPECT_FALSE(read_file(main_file));
  EXPECT_EQ(warnings(), std::vector<std::string> {part + ",2: Q = 5\nString value expected"});
}

TEST_F(CfgReader, DirectiveTextOnAFreshReader)
{
  // The client's way with each -D argument.
  token_reader_t *reader = make_config_reader(macros_, 2);
  ASSERT_NE(reader, nullptr);
  config_reader_state *state = config_state(reader);
  EXPECT_EQ(state->line_number, -1);
  state->directive_text = "I=77";
  reader->set_text(state->directive_text.c_str(), nullptr);
  bool end = false;
  ASSERT_TRUE(parse_config_directive(&end, reader, table_.data(), table_.size(), nullptr, &s_));
  EXPECT_FALSE(end);
  EXPECT_EQ(s_.i32, 77);
  EXPECT_EQ(state->line_text, "I=77");
  EXPECT_EQ(state->line_number, 0);
  EXPECT_EQ(state->file_name, "");
  ASSERT_TRUE(parse_config_directive(&end, reader, table_.data(), table_.size(), nullptr, &s_));
  EXPECT_TRUE(end);
  destroy_config_reader(reader);
}

TEST_F(CfgReader, ErrorBoxLayout)
{
  config_error(nullptr, "plain %d", 5);
  const std::string path = write_file("box.cfg", "I = 1\n  FLAG = 3 // why\n");
  EXPECT_FALSE(read_file(path));
  const std::vector<ui_request_record_t> boxes = ui_.requests_of(ui_code_message);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "AUTOHIDE NONE\nplain 5");
  EXPECT_EQ(boxes[1].text, "AUTOHIDE NONE\n" + path +
                             ",2:   FLAG = 3 // why\nBoolean value expected (true, false, YES, NO, ON, OFF)");
}

} // namespace

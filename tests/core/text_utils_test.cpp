// Tests of escaping and unescaping, bounded copies and the small text operations.
#include "core/text_utils.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/interr_capture.h"

namespace
{

std::string escaped(const std::string &text, ptrdiff_t len = -1)
{
  qstring out;
  escape_text(&out, text.c_str(), len);
  return std::string(out.view());
}

} // namespace

//--------------------------------------------------------------------------
TEST(Escape, Table)
{
  const struct { const char *name; std::string text; ptrdiff_t len; std::string expected; } cases[] =
  {
    { "tab quote DEL", "\t\"\x7F", -1, "\\t\\\"\\x7F" },
    { "every letter escape", "\a\b\t\n\v\f\r\\", -1, "\\a\\b\\t\\n\\v\\f\\r\\\\" },
    { "other control", "\x01\x1B", -1, "\\x01\\x1B" },
    { "single quote and text", "it's ok", -1, "it's ok" },
    { "printable non-ASCII", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", -1, "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80" },
    { "no-break space", "\xC2\xA0", -1, "\xC2\xA0" },
    { "C1 control", "\xC2\x85", -1, "\\xC2\\x85" },
    { "line separator", "\xE2\x80\xA8", -1, "\\xE2\\x80\\xA8" },
    { "replacement character", "\xEF\xBF\xBD", -1, "\\xEF\\xBF\\xBD" },
    { "lone lead byte", "\xC3", -1, "\\xC3" },
    { "lone lead before text", "\xC3x", -1, "\\xC3x" },
    { "Latin-1 byte", "caf\xE9", -1, "caf\\xE9" },
    { "overlong", "\xC0\x80", -1, "\\xC0\\x80" },
    { "counted NUL", std::string("ab\0c", 4), 4, "ab\\x00c" },
    { "count cuts a sequence", "\xC3\xA9", 1, "\\xC3" },
    { "count stops early", "abcdef", 3, "abc" },
    { "empty", "", -1, "" },
  };
  for ( const auto &c : cases )
    EXPECT_EQ(escaped(c.text, c.len), c.expected) << c.name;
}

TEST(Escape, EscapeTextReplacesTheOutput)
{
  qstring out("old text");
  escape_text(&out, "x\n", -1);
  EXPECT_EQ(out, "x\\n");
}

TEST(Escape, LimitStopsBeforeAWholePiece)
{
  const struct { const char *name; const char *prefix; const char *text; ptrdiff_t limit; std::string expected; } cases[] =
  {
    { "line feed fits", "", "ab\ncd", 5, "ab\\n" },
    { "line feed would reach the limit", "", "ab\ncd", 4, "ab" },
    { "hex escape kept whole", "", "a\x01z", 5, "a" },
    { "hex escape fits", "", "a\x01z", 6, "a\\x01" },
    { "multi-byte character kept whole", "", "a\xE2\x82\xAC", 4, "a" },
    { "existing text counts", "xy", "abc", 4, "xya" },
    { "existing text already at the limit", "abcd", "e", 4, "abcd" },
    { "limit of one", "", "abc", 1, "" },
    { "no limit", "", "abc", -1, "abc" },
    { "zero is no limit", "", "abc", 0, "abc" },
  };
  for ( const auto &c : cases )
  {
    qstring out(c.prefix);
    append_escaped(&out, c.text, -1, c.limit);
    EXPECT_EQ(std::string(out.view()), c.expected) << c.name;
  }
}

TEST(Escape, ToBuffer)
{
  char buf[8];
  escape_to_buffer(buf, "a\"bc", 4);
  EXPECT_STREQ(buf, "a\\\"");
  escape_to_buffer(buf, "tab\there", sizeof(buf));
  EXPECT_STREQ(buf, "tab\\the");
  escape_to_buffer(buf, "ok", sizeof(buf));
  EXPECT_STREQ(buf, "ok");

  memcpy(buf, "keep", 5);
  escape_to_buffer(buf, "x", 0);
  EXPECT_STREQ(buf, "keep");
  EXPECT_EQ(interr_number([&] { escape_to_buffer(buf, "x", -1); }), 1225);
  EXPECT_STREQ(buf, "keep");
}

TEST(Escape, RoundTripThroughUnescape)
{
  const std::string text = "q\"\\\a\b\t\n\v\f\r\x01\x7F\xC3\xA9 end";
  const std::string esc = escaped(text);
  std::string back;
  for ( const char *p = esc.c_str(); *p != '\0'; )
  {
    if ( *p == '\\' )
    {
      ++p;
      back += char(unescape_char(&p));
    }
    else
    {
      back += *p++;
    }
  }
  EXPECT_EQ(back, text);
}

//--------------------------------------------------------------------------
TEST(Unescape, Table)
{
  const struct { std::string input; uint32_t value; size_t advance; } cases[] =
  {
    { "101", 'A', 3 },
    { "0", 0, 1 },
    { "07x", 7, 2 },
    { "777", 0777, 3 },
    { "1234", 0123, 3 },
    { "8", '8', 1 },
    { "a", 7, 1 }, { "b", 8, 1 }, { "f", 12, 1 }, { "n", 10, 1 }, { "r", 13, 1 }, { "t", 9, 1 }, { "v", 11, 1 },
    { "x4g", 4, 2 },
    { "x41z", 0x41, 3 },
    { "xaF7", 0xAF, 3 },
    { "xg", 'x', 1 },
    { "x", 'x', 1 },
    { "q", 'q', 1 },
    { "\\", '\\', 1 },
    { "\"", '"', 1 },
    { "'", '\'', 1 },
    { "\xC3\xA9", 0xE9, 2 },
    { "\xE2\x82\xAC", '\\', 3 },
    { "\xF0\x9F\x98\x80", '\\', 4 },
    { "", 0, 0 },
    { "\xFF" "a", 0, 1 },
    { "\xC3", 0, 1 },
  };
  for ( const auto &c : cases )
  {
    const char *p = c.input.c_str();
    EXPECT_EQ(unescape_char(&p), c.value) << c.input;
    EXPECT_EQ(size_t(p - c.input.c_str()), c.advance) << c.input;
  }
}

//--------------------------------------------------------------------------
TEST(BoundedCopy, CopyTable)
{
  const struct { const char *src; ptrdiff_t size; const char *expected; } cases[] =
  {
    { "hello", 10, "hello" },
    { "hello", 6, "hello" },
    { "hello", 5, "hell" },
    { "hello", 1, "" },
    { "", 3, "" },
  };
  for ( const auto &c : cases )
  {
    char buf[12];
    memset(buf, '#', sizeof(buf));
    EXPECT_EQ(copy_bounded(buf, c.src, c.size), buf);
    EXPECT_STREQ(buf, c.expected) << c.src << " into " << c.size;
    EXPECT_EQ(buf[c.size], '#') << "wrote beyond the buffer";
    memset(buf, '#', sizeof(buf));
    EXPECT_EQ(copy_bounded_end(buf, c.src, c.size), buf + strlen(c.expected));
    EXPECT_STREQ(buf, c.expected);
  }
}

TEST(BoundedCopy, AppendTable)
{
  const struct { const char *dst; const char *src; ptrdiff_t size; const char *expected; } cases[] =
  {
    { "ab", "cd", 10, "abcd" },
    { "ab", "cdef", 5, "abcd" },
    { "abcd", "x", 5, "abcd" },
    { "", "xyz", 3, "xy" },
    { "ab", "", 3, "ab" },
  };
  for ( const auto &c : cases )
  {
    char buf[12];
    memset(buf, '#', sizeof(buf));
    strcpy(buf, c.dst);
    EXPECT_EQ(append_bounded(buf, c.src, c.size), buf);
    EXPECT_STREQ(buf, c.expected) << c.dst << " + " << c.src << " into " << c.size;
    EXPECT_EQ(buf[c.size], '#') << "wrote beyond the buffer";
  }
}

TEST(BoundedCopy, BadSizesAreInternalErrors)
{
  char buf[4] = "abc";
  EXPECT_EQ(interr_number([&] { copy_bounded(buf, "x", 0); }), 520);
  EXPECT_EQ(interr_number([&] { copy_bounded_end(buf, "x", -1); }), 1225);
  EXPECT_EQ(interr_number([&] { append_bounded(buf, "x", -2); }), 1225);
  // Text that fills the whole buffer, without a terminator inside it.
  EXPECT_EQ(interr_number([&] { append_bounded(buf, "x", 3); }), 520);
  EXPECT_STREQ(buf, "abc");
}

//--------------------------------------------------------------------------
TEST(SmallText, SubstituteChar)
{
  char text[] = "a/b/c";
  EXPECT_EQ(substitute_char(text, '/', '\\'), text);
  EXPECT_STREQ(text, "a\\b\\c");
  substitute_char(text, 'b', 'b');
  EXPECT_STREQ(text, "a\\b\\c");
  substitute_char(text, 'q', 'x');
  EXPECT_STREQ(text, "a\\b\\c");
  EXPECT_EQ(substitute_char(nullptr, 'a', 'b'), nullptr);
}

TEST(SmallText, PathExtension)
{
  const struct { const char *path; const char *ext; } cases[] =
  {
    { "a/b.c", "c" },
    { "x.tar.gz", "gz" },
    { "dir\\file.txt", "txt" },
    { "C:x.y", "y" },
    { ".:x", nullptr },             // the drive is no part of the file name
    { ".cfg", "cfg" },
    { "a.", "" },
    { "a.b/c", nullptr },
    { "a.b\\c", nullptr },
    { "a.b/", nullptr },
    { "noext", nullptr },
    { "", nullptr },
  };
  for ( const auto &c : cases )
  {
    const char *ext = path_extension(c.path);
    if ( c.ext == nullptr )
    {
      EXPECT_EQ(ext, nullptr) << c.path;
    }
    else
    {
      ASSERT_NE(ext, nullptr) << c.path;
      EXPECT_STREQ(ext, c.ext) << c.path;
      EXPECT_EQ(ext, c.path + strlen(c.path) - strlen(c.ext)) << "points into the path";
    }
  }
  EXPECT_EQ(path_extension(static_cast<const char *>(nullptr)), nullptr);
}

TEST(SmallText, NextField)
{
  const struct { const char *text; const char *delimiters; std::vector<std::string> fields; } cases[] =
  {
    { ",,a,b", ",", { "a", "b" } },
    { "a;b,,c;", ";,", { "a", "b", "c" } },
    { "one", ",", { "one" } },
    { "", ",", {} },
    { ",,,", ",", {} },
    { "a b", "", { "a b" } },
  };
  for ( const auto &c : cases )
  {
    std::string copy = c.text;
    char *saved = nullptr;
    std::vector<std::string> got;
    for ( char *f = next_field(copy.data(), c.delimiters, &saved); f != nullptr;
          f = next_field(nullptr, c.delimiters, &saved) )
      got.emplace_back(f);
    EXPECT_EQ(got, c.fields) << c.text;
    EXPECT_EQ(next_field(nullptr, c.delimiters, &saved), nullptr) << "stays at the end";
  }
}

TEST(SmallText, NextFieldIsReentrant)
{
  char outer[] = "a=1;b=2";
  char *outer_saved = nullptr;
  std::vector<std::string> got;
  for ( char *pair = next_field(outer, ";", &outer_saved); pair != nullptr;
        pair = next_field(nullptr, ";", &outer_saved) )
  {
    char *inner_saved = nullptr;
    for ( char *part = next_field(pair, "=", &inner_saved); part != nullptr;
          part = next_field(nullptr, "=", &inner_saved) )
      got.emplace_back(part);
  }
  EXPECT_EQ(got, (std::vector<std::string> { "a", "1", "b", "2" }));
}

TEST(SmallText, UpperCaseInPlace)
{
  char text[] = "abc-XYZ_09\xC3\xA9";
  EXPECT_EQ(upper_case_in_place(text), text);
  EXPECT_STREQ(text, "ABC-XYZ_09\xC3\xA9");
  EXPECT_EQ(upper_case_in_place(nullptr), nullptr);
}

TEST(SmallText, ParseRadixNumber)
{
  const struct { const char *text; int radix; uint64_t value; size_t stop; } cases[] =
  {
    { "7fz", 16, 0x7F, 2 },
    { "7FZ", 16, 0x7F, 2 },
    { "101", 2, 5, 3 },
    { "1012", 2, 5, 3 },
    { "129", 8, 012, 2 },
    { "Zz", 36, 35 * 36 + 35, 2 },
    { "123456789", 10, 123456789, 9 },
    { "ffffffffffffffff", 16, UINT64_MAX, 16 },
    { "ff", 10, 0, 0 },
    { "-5", 10, 0, 0 },
    { " 5", 10, 0, 0 },
    { "", 10, 0, 0 },
  };
  for ( const auto &c : cases )
  {
    const char *end = nullptr;
    EXPECT_EQ(parse_radix_number(c.text, c.radix, &end), c.value) << c.text;
    EXPECT_EQ(size_t(end - c.text), c.stop) << c.text;
  }
  EXPECT_EQ(parse_radix_number("42", 10, nullptr), 42u);
}

TEST(SmallText, ReverseBytes)
{
  const struct { std::string in, out; } cases[] =
  {
    { "", "" }, { "a", "a" }, { "ab", "ba" }, { "abcde", "edcba" }, { "12345678", "87654321" },
  };
  for ( const auto &c : cases )
  {
    std::string s = c.in;
    reverse_bytes(s.data(), s.size());
    EXPECT_EQ(s, c.out);
  }
}

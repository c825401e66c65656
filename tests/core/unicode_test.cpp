// Tests of the Unicode property table, strict UTF-8 decoding and the UTF-8/UTF-16 conversions.
#include "core/unicode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/unicode_table_p.h"
#include "tests/support/interr_capture.h"

namespace
{

// Test-side encoder, written from the encoding rules alone.
std::string encode(uint32_t cp)
{
  std::string s;
  if ( cp < 0x80 )
  {
    s += char(cp);
  }
  else if ( cp < 0x800 )
  {
    s += char(0xC0 | (cp >> 6));
    s += char(0x80 | (cp & 0x3F));
  }
  else if ( cp < 0x10000 )
  {
    s += char(0xE0 | (cp >> 12));
    s += char(0x80 | ((cp >> 6) & 0x3F));
    s += char(0x80 | (cp & 0x3F));
  }
  else
  {
    s += char(0xF0 | (cp >> 18));
    s += char(0x80 | ((cp >> 12) & 0x3F));
    s += char(0x80 | ((cp >> 6) & 0x3F));
    s += char(0x80 | (cp & 0x3F));
  }
  return s;
}

std::u16string units_of(const wide_string_t &w)
{
  return std::u16string(w.begin(), w.end());
}

} // namespace

//--------------------------------------------------------------------------
TEST(UnicodeTable, RecordsCoverAllCodePointsAndStayInsideTheWordArray)
{
  using namespace unicode_detail;
  ASSERT_GT(property_range_count, 1u);
  EXPECT_EQ(property_ranges[0].first, 0u);
  EXPECT_EQ(property_ranges[0].index, 0u);
  EXPECT_EQ(property_ranges[0].flag, 0u);
  EXPECT_EQ(property_ranges[1].first, 128u) << "the first 128 words belong to code points 0 to 127";
  for ( size_t i = 0; i < property_range_count; ++i )
  {
    const property_range_t &r = property_ranges[i];
    const uint32_t end = i + 1 < property_range_count ? property_ranges[i + 1].first : 0x110000;
    ASSERT_LT(r.first, end) << "record " << i;
    if ( r.flag != 0 )
      ASSERT_LT(r.index, property_word_count) << "record " << i;
    else
      ASSERT_LE(r.index + (end - r.first), property_word_count) << "record " << i;
  }
}

struct property_case_t
{
  uint32_t cp;
  uint32_t block;
  uint32_t category;
};

TEST(UnicodeProperties, BlocksAndCategories)
{
  const property_case_t cases[] =
  {
    { 0x0001, UBLOCK_BASIC_LATIN, UCAT_CC },
    { 'A', UBLOCK_BASIC_LATIN, UCAT_LU },
    { 'a', UBLOCK_BASIC_LATIN, UCAT_LL },
    { '0', UBLOCK_BASIC_LATIN, UCAT_ND },
    { ' ', UBLOCK_BASIC_LATIN, UCAT_ZS },
    { '$', UBLOCK_BASIC_LATIN, UCAT_SC },
    { '+', UBLOCK_BASIC_LATIN, UCAT_SM },
    { '^', UBLOCK_BASIC_LATIN, UCAT_SK },
    { '(', UBLOCK_BASIC_LATIN, UCAT_PS },
    { ')', UBLOCK_BASIC_LATIN, UCAT_PE },
    { '_', UBLOCK_BASIC_LATIN, UCAT_PC },
    { '-', UBLOCK_BASIC_LATIN, UCAT_PD },
    { '!', UBLOCK_BASIC_LATIN, UCAT_PO },
    { 0x007F, UBLOCK_BASIC_LATIN, UCAT_CC },
    { 0x00AB, 0, UCAT_PI },
    { 0x00BB, 0, UCAT_PF },
    { 0x00A9, 0, UCAT_SO },
    { 0x00AD, 0, UCAT_CF },
    { 0x00B2, 0, UCAT_NO },
    { 0x01C5, 0, UCAT_LT },
    { 0x02B0, 0, UCAT_LM },
    { 0x0300, 0, UCAT_MN },
    { 0x0378, 0, UCAT_UNASSIGNED },     // a gap inside Greek and Coptic
    { 0x05D0, 0, UCAT_LO },
    { 0x0903, 0, UCAT_MC },
    { 0x20DD, 0, UCAT_ME },
    { 0x2160, 0, UCAT_NL },
    { 0x2028, 0, UCAT_ZL },
    { 0x2029, 0, UCAT_ZP },
    { 0xD800, 0, UCAT_CS },
    { 0xDFFF, 0, UCAT_CS },
    { 0xE000, 0, UCAT_CO },
    { 0xFFF0, UBLOCK_SPECIALS, UCAT_UNASSIGNED },
    { 0xFFFD, UBLOCK_SPECIALS, UCAT_SO },
    { 0x1E900, UBLOCK_ADLAM, UCAT_LU },
    { 0x1CF00, 327, UCAT_MN },          // Znamenny Musical Notation: the last name in byte order
    { 0xE0001, UBLOCK_TAGS, UCAT_CF },
    { 0x323AF, 0, UCAT_LO },            // last of CJK Unified Ideographs Extension H
    { 0x10FFFD, 0, UCAT_CO },
    { 0x10FFFF, 0, UCAT_UNASSIGNED },
  };
  for ( const property_case_t &c : cases )
  {
    const uint32_t props = unicode_properties(c.cp);
    SCOPED_TRACE(testing::Message() << "U+" << std::hex << c.cp);
    if ( c.block != 0 )
      EXPECT_EQ(unicode_block(props), c.block);
    else
      EXPECT_NE(unicode_block(props), 0u) << "assigned to a block";
    EXPECT_EQ(unicode_category(props), c.category);
    EXPECT_EQ(props >> 24, 0u);
  }
}

TEST(UnicodeProperties, OutsideEveryBlockAndBeyondTheRange)
{
  for ( uint32_t cp : { 0x2FA20u, 0x2FFFFu, 0x3FFFFu, 0xDFFFFu, 0x110000u, 0x7FFFFFFFu, 0xFFFFFFFFu } )
    EXPECT_EQ(unicode_properties(cp), 0u) << std::hex << cp;
}

TEST(UnicodeProperties, PrintableCharacters)
{
  const struct { uint32_t cp; bool printable; } cases[] =
  {
    { 'A', true }, { ' ', true }, { '\'', true }, { 0x00E9, true }, { 0x00AD, true }, { 0x00A0, true },
    { 0xE000, true }, { 0x200B, true }, { 0xFEFF, true }, { 0x202F, true }, { 0x3000, true },
    { 0x1F600, true }, { 0xE0100, true }, { 0x10FFFD, true }, { 0x323AF, true },
    { 0x0000, false }, { 0x000A, false }, { 0x007F, false }, { 0x0085, false }, { 0x0378, false },
    { 0x2028, false }, { 0x2029, false }, { 0x061C, false }, { 0x200E, false }, { 0x200F, false },
    { 0x202A, false }, { 0x202B, false }, { 0x202C, false }, { 0x202D, false }, { 0x202E, false },
    { 0xD800, false }, { 0xFFF9, false }, { 0xFFFC, false }, { 0xFFFD, false }, { 0xFFFF, false },
    { 0xE0001, false }, { 0xE0020, false }, { 0x323B0, false }, { 0x10FFFF, false }, { 0x110000, false },
  };
  for ( const auto &c : cases )
    EXPECT_EQ(is_printable_char(c.cp), c.printable) << "U+" << std::hex << c.cp;
}

//--------------------------------------------------------------------------
struct decode_case_t
{
  const char *name;
  std::string bytes;
  uint32_t cp;
  size_t advance;
};

TEST(Utf8Decode, NextCharTable)
{
  const decode_case_t cases[] =
  {
    { "ascii", "A", 'A', 1 },
    { "last one byte", "\x7F", 0x7F, 1 },
    { "first two byte", "\xC2\x80", 0x80, 2 },
    { "e acute", "\xC3\xA9", 0xE9, 2 },
    { "last two byte", "\xDF\xBF", 0x7FF, 2 },
    { "first three byte", "\xE0\xA0\x80", 0x800, 3 },
    { "euro", "\xE2\x82\xAC", 0x20AC, 3 },
    { "encoded surrogate", "\xED\xA0\x80", 0xD800, 3 },
    { "last three byte", "\xEF\xBF\xBF", 0xFFFF, 3 },
    { "first four byte", "\xF0\x90\x80\x80", 0x10000, 4 },
    { "emoji", "\xF0\x9F\x98\x80", 0x1F600, 4 },
    { "last code point", "\xF4\x8F\xBF\xBF", 0x10FFFF, 4 },
    { "terminator", "", 0, 0 },
    { "overlong NUL", "\xC0\x80", bad_code_point, 0 },
    { "overlong two byte", "\xC1\xBF", bad_code_point, 0 },
    { "overlong three byte", "\xE0\x9F\xBF", bad_code_point, 0 },
    { "overlong four byte", "\xF0\x8F\xBF\xBF", bad_code_point, 0 },
    { "above 10FFFF", "\xF4\x90\x80\x80", bad_code_point, 0 },
    { "lead F5", "\xF5\x80\x80\x80", bad_code_point, 0 },
    { "lead F8", "\xF8\x88\x80\x80\x80", bad_code_point, 0 },
    { "lead FF", "\xFF", bad_code_point, 0 },
    { "lone continuation", "\x80", bad_code_point, 0 },
    { "cut by terminator", "\xC3", bad_code_point, 0 },
    { "wrong continuation", "\xC3\x41", bad_code_point, 0 },
    { "three byte cut", "\xE2\x82", bad_code_point, 0 },
    { "four byte cut", "\xF0\x9F\x98", bad_code_point, 0 },
  };
  for ( const decode_case_t &c : cases )
  {
    const char *p = c.bytes.c_str();
    EXPECT_EQ(utf8_next_char(&p), c.cp) << c.name;
    EXPECT_EQ(size_t(p - c.bytes.c_str()), c.advance) << c.name;
  }
}

TEST(Utf8Decode, EveryCodePointDecodesFromItsEncoding)
{
  for ( uint32_t cp = 1; cp <= 0x10FFFF; ++cp )
  {
    const std::string s = encode(cp);
    const char *p = s.c_str();
    const uint32_t got = utf8_next_char(&p);
    if ( got != cp || size_t(p - s.c_str()) != s.size() )
      FAIL() << "U+" << std::hex << cp << " decoded as " << got;
  }
}

TEST(Utf8Decode, PrevCharTable)
{
  const struct
  {
    const char *name;
    std::string text;
    size_t start, cursor;
    bool ok;
    uint32_t cp;
    size_t new_cursor;
  } cases[] =
  {
    { "two byte", "a\xC3\xA9", 0, 3, true, 0xE9, 1 },
    { "ascii", "a\xC3\xA9", 0, 1, true, 'a', 0 },
    { "four byte", "\xF0\x9F\x98\x80", 0, 4, true, 0x1F600, 0 },
    { "at start", "abc", 0, 0, false, bad_code_point, 0 },
    { "at a later start", "abc", 2, 2, false, bad_code_point, 2 },
    { "stray continuation", "a\xA9", 0, 2, false, bad_code_point, 2 },
    { "lead cut", "\xC3\xA9", 0, 1, false, bad_code_point, 1 },
    { "lead before start", "\xC3\xA9", 1, 2, false, bad_code_point, 2 },
    { "continuation run", "\x80\x80\x80\x80\x80", 0, 5, false, bad_code_point, 5 },
    { "overlong", "\xC0\x80", 0, 2, false, bad_code_point, 2 },
  };
  for ( const auto &c : cases )
  {
    const char *cursor = c.text.c_str() + c.cursor;
    uint32_t cp = 12345;
    EXPECT_EQ(utf8_prev_char(&cp, &cursor, c.text.c_str() + c.start), c.ok) << c.name;
    EXPECT_EQ(cp, c.cp) << c.name;
    EXPECT_EQ(size_t(cursor - c.text.c_str()), c.new_cursor) << c.name;
  }
}

TEST(Utf8Decode, PrevCharWalksBackToTheStart)
{
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";
  const char *cursor = text.c_str() + text.size();
  std::vector<uint32_t> seen;
  uint32_t cp;
  while ( utf8_prev_char(&cp, &cursor, text.c_str()) )
    seen.push_back(cp);
  EXPECT_EQ(seen, (std::vector<uint32_t> { 'z', 0x1F600, 0x20AC, 0xE9, 'a' }));
  EXPECT_EQ(cursor, text.c_str());
  EXPECT_FALSE(utf8_prev_char(nullptr, &cursor, text.c_str()));
}

TEST(Utf8Walk, CountChars)
{
  const struct { std::string text; size_t count; } cases[] =
  {
    { "", 0 }, { "abc", 3 }, { "a\xFF" "b", 3 }, { "\xC3\xA9\xF0\x9F\x98\x80", 2 },
    { "\xE2\x82", 2 }, { "\xF0\x9F\x98", 3 }, { "\xC0\x80", 2 },
  };
  for ( const auto &c : cases )
    EXPECT_EQ(utf8_count_chars(c.text.c_str()), c.count) << c.text;
}

TEST(Utf8Walk, SkipChars)
{
  const struct { std::string text; size_t n, left, offset; } cases[] =
  {
    { "a\xC3\xA9" "b", 2, 0, 3 },
    { "ab", 5, 3, 2 },
    { "\xFF" "a", 1, 0, 1 },
    { "\xE2\x82" "a", 2, 0, 2 },
    { "", 3, 3, 0 },
    { "abc", 0, 0, 0 },
  };
  for ( const auto &c : cases )
  {
    const char *p = c.text.c_str();
    EXPECT_EQ(utf8_skip_chars(&p, c.n), c.left) << c.text;
    EXPECT_EQ(size_t(p - c.text.c_str()), c.offset) << c.text;
  }
}

//--------------------------------------------------------------------------
TEST(Utf8Copy, BoundedCopyNeverCutsASequence)
{
  const struct
  {
    std::string text;
    ptrdiff_t size;
    std::string stored;
    bool fit;
  } cases[] =
  {
    { "abc", 4, "abc", true },
    { "abc", 10, "abc", true },
    { "abc", 3, "ab", false },
    { "", 1, "", true },
    { "ab", 1, "", false },
    { "a\xC3\xA9", 3, "a", false },
    { "a\xC3\xA9", 4, "a\xC3\xA9", true },
    { "\xC3\xA9", 2, "", false },
    { "a\xF0\x9F\x98\x80", 2, "a", false },
    { "a\xF0\x9F\x98\x80", 3, "a", false },
    { "a\xF0\x9F\x98\x80", 4, "a", false },
    { "a\xF0\x9F\x98\x80", 5, "a", false },
    { "a\xF0\x9F\x98\x80", 6, "a\xF0\x9F\x98\x80", true },
    { "a\xF0\x9F\x98\x80" "b", 6, "a\xF0\x9F\x98\x80", false },
    { "\xC3\xA9\xC3\xA9\xC3\xA9", 6, "\xC3\xA9\xC3\xA9", false },
    { "\xE2\x82\xAC\xE2\x82\xAC", 6, "\xE2\x82\xAC", false },
  };
  for ( const auto &c : cases )
  {
    char buf[16];
    memset(buf, '#', sizeof(buf));
    EXPECT_EQ(copy_utf8_bounded(buf, c.text.c_str(), c.size), c.fit) << c.text << " into " << c.size;
    EXPECT_EQ(std::string(buf), c.stored) << c.text << " into " << c.size;
    EXPECT_EQ(buf[c.size], '#') << "wrote beyond the buffer";
  }
}

TEST(Utf8Copy, BadSizesAreInternalErrors)
{
  char buf[4] = "xyz";
  EXPECT_EQ(interr_number([&] { copy_utf8_bounded(buf, "a", -1); }), 1225);
  EXPECT_EQ(interr_number([&] { copy_utf8_bounded(buf, "a", 0); }), 1538);
  EXPECT_STREQ(buf, "xyz");
}

//--------------------------------------------------------------------------
TEST(Utf16, WideLength)
{
  EXPECT_EQ(wide_length(u""), 0u);
  EXPECT_EQ(wide_length(u"ab\u00E9"), 3u);
  EXPECT_EQ(wide_length(u"\U0001F600"), 2u);
}

TEST(Utf16, ToUtf8Table)
{
  const struct
  {
    const char *name;
    std::u16string units;
    std::string bytes;
    bool ok;
  } cases[] =
  {
    { "ascii", u"A", "A", true },
    { "two byte", u"\u00E9", "\xC3\xA9", true },
    { "last two byte", u"\u07FF", "\xDF\xBF", true },
    { "three byte", u"\u20AC", "\xE2\x82\xAC", true },
    { "last unit", u"\uFFFF", "\xEF\xBF\xBF", true },
    { "surrogate pair", { 0xD83D, 0xDE00 }, "\xF0\x9F\x98\x80", true },
    { "highest pair", { 0xDBFF, 0xDFFF }, "\xF4\x8F\xBF\xBF", true },
    { "empty", u"", "", true },
    { "lone low", { 0xDE00 }, "", false },
    { "low after text", { 'A', 0xDE00, 'B' }, "A", false },
    { "high at end", { 'A', 0xD83D }, "A", false },
    { "high before text", { 'A', 0xD83D, 'B' }, "A", false },
    { "two highs", { 0xD83D, 0xD83D, 0xDE00 }, "", false },
    { "embedded zero", { 'A', 0, 'B' }, std::string("A\0B", 3), true },
  };
  for ( const auto &c : cases )
  {
    qstring out("previous content");
    EXPECT_EQ(utf16_to_utf8(&out, c.units.data(), ptrdiff_t(c.units.size())), c.ok) << c.name;
    EXPECT_EQ(std::string(out.view()), c.bytes) << c.name;
  }
}

TEST(Utf16, ToUtf8UpToTheZeroUnitAndNullArguments)
{
  qstring out;
  EXPECT_TRUE(utf16_to_utf8(&out, u"h\u00E9llo\0ignored", -1));
  EXPECT_EQ(out, "h\xC3\xA9llo");
  EXPECT_FALSE(utf16_to_utf8(nullptr, u"a", -1));
  EXPECT_FALSE(utf16_to_utf8(&out, nullptr, -1));
}

TEST(Utf16, FromUtf8Table)
{
  const struct
  {
    const char *name;
    std::string bytes;
    ptrdiff_t count;   // -1: up to the terminator
    bool ok;
    std::u16string units;
  } cases[] =
  {
    { "ascii", "A", -1, true, u"A" },
    { "empty", "", -1, true, u"" },
    { "mixed", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", -1, true, { 0xE9, 0x20AC, 0xD83D, 0xDE00 } },
    { "encoded surrogate", "\xED\xA0\x80", -1, true, { 0xD800 } },
    { "long ascii then two byte", "abcdefghijklmnopq\xC3\xA9", -1, true, u"abcdefghijklmnopq\u00E9" },
    { "overlong", "a\xC0\x80", -1, false, u"a" },
    { "stray continuation", "abcdefgh\x80", -1, false, u"abcdefgh" },
    { "counted NUL", std::string("a\0b", 3), 3, true, { 'a', 0, 'b' } },
    { "counted prefix", "abcdef", 2, true, u"ab" },
    { "count cuts a sequence", "\xC3\xA9", 1, false, u"" },
    { "count cuts a long sequence", "abcdefgh\xF0\x9F\x98\x80", 11, false, u"abcdefgh" },
  };
  for ( const auto &c : cases )
  {
    wide_string_t out;
    wide_string_assign(&out, u"old", 3);
    EXPECT_EQ(utf8_to_utf16(&out, c.bytes.c_str(), c.count), c.ok) << c.name;
    std::u16string expected = c.units;
    expected += char16_t(0);
    EXPECT_EQ(units_of(out), expected) << c.name;
  }
}

TEST(Utf16, FromUtf8NullArguments)
{
  wide_string_t out;
  EXPECT_FALSE(utf8_to_utf16(nullptr, "a", -1));
  EXPECT_FALSE(utf8_to_utf16(&out, nullptr, -1));
}

TEST(Utf16, EveryScalarValueRoundTrips)
{
  std::string text;
  size_t chars = 0;
  for ( uint32_t cp = 1; cp <= 0x10FFFF; ++cp )
  {
    if ( cp >= 0xD800 && cp <= 0xDFFF )
      continue;
    text += encode(cp);
    ++chars;
  }
  EXPECT_EQ(utf8_count_chars(text.c_str()), chars);
  wide_string_t wide;
  ASSERT_TRUE(utf8_to_utf16(&wide, text.c_str(), -1));
  EXPECT_EQ(wide.size(), chars + (0x110000 - 0x10000) + 1) << "pairs for the supplementary planes, then 0";
  qstring back;
  ASSERT_TRUE(utf16_to_utf8(&back, wide.data(), -1));
  EXPECT_TRUE(back.view() == text);
}

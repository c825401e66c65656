// qstring: stored length with terminator, growth, release rules, formatting and replacement.
#include "core/qstring.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

TEST(QstringTest, StoredLengthCountsTerminatorAndEmptyHasNoText)
{
  qstring s;
  EXPECT_EQ(s.stored_length(), 0u);
  EXPECT_STREQ(s.c_str(), "") << "never null";
  EXPECT_EQ(s.data(), nullptr);
  qstring_assign_cstr(&s, "abc");
  EXPECT_EQ(s.stored_length(), 4u);
  EXPECT_EQ(s.size(), 3u);
  EXPECT_STREQ(qstring_c_str(s), "abc");
  EXPECT_EQ(qstring_last_char(s), 'c');
  qstring_assign_cstr(&s, nullptr);
  EXPECT_EQ(s.stored_length(), 0u);
  EXPECT_NE(s.data(), nullptr) << "null text keeps the buffer";
  EXPECT_EQ(qstring_last_char(s), '\0');
  EXPECT_STREQ(qstring_assign_cstr_text(&s, "xy"), "xy");
  EXPECT_STREQ(qstring_assign_cstr_text(&s, ""), "");
}

TEST(QstringTest, CopyAssignOfTerminatorOnlyEmptiesTargetKeepingBuffer)
{
  qstring target("something");
  qstring one;
  qstring_assign(&one, "", 0); // stored length 1: just the terminator
  ASSERT_EQ(one.stored_length(), 1u);
  const char *buffer = target.data();
  qstring_copy_assign(&target, one);
  EXPECT_EQ(target.stored_length(), 0u);
  EXPECT_EQ(target.data(), buffer);
  qstring_copy_assign(&target, qstring("z"));
  EXPECT_EQ(target, "z");
  qstring_copy_assign(&target, target);
  EXPECT_EQ(target, "z") << "self-assignment does nothing";
}

TEST(QstringTest, CopyConstructHasExactCapacityAndMoveEmptiesSource)
{
  qstring source;
  for ( char c : std::string("hello world") )
    qstring_append_char(&source, c);
  ASSERT_GT(source.capacity(), source.stored_length());
  qstring copy(source);
  EXPECT_EQ(copy.capacity(), source.stored_length());
  EXPECT_EQ(copy, "hello world");
  qstring empty_copy {qstring()};
  EXPECT_EQ(empty_copy.data(), nullptr) << "an empty source allocates nothing";
  qstring moved;
  qstring_move_assign(&moved, &source);
  EXPECT_EQ(moved, "hello world");
  EXPECT_EQ(source.data(), nullptr);
  EXPECT_EQ(source.stored_length(), 0u);
  EXPECT_EQ(source.capacity(), 0u);
}

TEST(QstringTest, AppendGrowsByDoublingAndTerminates)
{
  qstring s;
  qstring_append_char(&s, 'a');
  EXPECT_EQ(s.stored_length(), 2u);
  EXPECT_EQ(s.capacity(), 2u);
  qstring_append_char(&s, 'b');
  EXPECT_EQ(s.capacity(), 4u) << "2 doubled";
  qstring_append_buf(&s, "cdefg", 5);
  EXPECT_EQ(s.capacity(), 8u);
  EXPECT_EQ(s, "abcdefg");
  qstring tail;
  qstring_append(&s, tail);
  EXPECT_EQ(s, "abcdefg") << "empty source changes nothing";
  qstring_append_buf(&s, s.data() + 1, 3); // from inside itself, across a reallocation
  EXPECT_EQ(s, "abcdefgbcd");
  qstring fresh;
  qstring_append_buf(&fresh, "xy", 2);
  EXPECT_EQ(fresh.stored_length(), 3u);
}

TEST(QstringTest, ResizeAndRemoveLastChars)
{
  qstring s("abc");
  qstring_resize(&s, 6);
  EXPECT_EQ(s.stored_length(), 7u);
  EXPECT_EQ(std::string(s.view()), std::string("abc\0\0\0", 6)) << "new bytes are zero";
  qstring_resize(&s, 2);
  EXPECT_EQ(s, "ab");
  qstring_resize(&s, 0);
  EXPECT_EQ(s.data(), nullptr) << "resize to 0 releases";

  struct case_t
  {
    const char *text;
    size_t remove;
    const char *expected; // null: released
  };
  const case_t cases[] = {{"hello", 2, "hel"}, {"hello", 0, "hello"}, {"hello", 4, "h"},
                          {"hello", 5, nullptr}, {"hello", 99, nullptr}};
  for ( const case_t &c : cases )
  {
    qstring t(c.text);
    qstring_remove_last_chars(&t, c.remove);
    if ( c.expected == nullptr )
      EXPECT_EQ(t.data(), nullptr) << c.text << " - " << c.remove;
    else
      EXPECT_EQ(t, c.expected) << c.text << " - " << c.remove;
  }
}

TEST(QstringTest, SetFromBufKeepsEmbeddedNulBytes)
{
  qstring s("old");
  EXPECT_TRUE(qstring_set_from_buf(&s, "a\0b", 3));
  EXPECT_EQ(s.stored_length(), 4u);
  EXPECT_EQ(s.capacity(), 4u);
  EXPECT_EQ(s.view(), std::string_view("a\0b", 3));
}

TEST(QstringTest, LessIsByteWiseUnsignedAndOrdersMaps)
{
  struct case_t
  {
    const char *a;
    const char *b;
    bool less;
  };
  const case_t cases[] = {{"", "a", true},        {"a", "", false},       {"a", "b", true},
                          {"ab", "a", false},     {"a", "ab", true},      {"a", "\x80", true},
                          {"\x80", "\x7f", false}, {"same", "same", false}};
  for ( const case_t &c : cases )
    EXPECT_EQ(qstring_less(qstring(c.a), qstring(c.b)), c.less) << '"' << c.a << "\" < \"" << c.b << '"';
  std::map<qstring, int> by_name;
  by_name[qstring("b")] = 2;
  by_name[qstring("a")] = 1;
  EXPECT_EQ(by_name.begin()->second, 1);
}

TEST(QstringTest, FormatToStringReleasesAndMeasures)
{
  qstring s("previous");
  format_to_string(&s, "%s", "");
  EXPECT_EQ(s.data(), nullptr) << "no characters: empty without buffer";
  format_to_string(&s, "%d-%s-%08a", 42, "x", uint64_t(0x1234));
  EXPECT_EQ(s, "42-x-0000000000001234");
  EXPECT_EQ(s.stored_length(), s.size() + 1);
  append_format_to_string(&s, "%s", "");
  EXPECT_EQ(s, "42-x-0000000000001234") << "empty output changes nothing";
  append_format_to_string(&s, "+%a", uint64_t(255));
  EXPECT_EQ(s, "42-x-0000000000001234+FF");
  qstring fresh;
  append_format_to_string(&fresh, "%c", 'q');
  EXPECT_EQ(fresh, "q");
  std::string long_text(1000, 'x');
  format_to_string(&s, "%s", long_text.c_str());
  EXPECT_EQ(s.view(), long_text);
}

TEST(QstringTest, ReplaceAll)
{
  struct case_t
  {
    const char *text;
    const char *pattern;
    const char *replacement;
    bool replaced;
    const char *expected;
  };
  const case_t cases[] = {
    {"aaa", "aa", "b", true, "ba"},        // no overlaps, left to right
    {"abc", "x", "y", false, "abc"},       // untouched
    {"a-b-c", "-", nullptr, true, "abc"},  // null deletes
    {"ab", "ab", "abab", true, "abab"},    // replacement never searched again
    {"", "a", "b", false, ""},             // empty text
    {"xax", "x", "yy", true, "yyayy"},     // both ends
    {"abc", "", "z", false, "abc"},        // empty pattern matches nothing
  };
  for ( const case_t &c : cases )
  {
    qstring s(c.text);
    EXPECT_EQ(qstring_replace_all(&s, c.pattern, c.replacement), c.replaced) << c.text;
    EXPECT_EQ(s, c.expected) << c.text;
  }
}

} // namespace

// Field values and their text forms: every kind to text and back, with the warnings of bad input.
#include "forms/form_values.h"

#include "tests/forms/form_test_support.h"
#include "tests/support/interr_capture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct number_case_t
{
  const char *name;
  char type;
  int64_t value;
  const char *text;
};

TEST(form_values, numbers_show_and_read_back_in_their_form)
{
  const number_case_t cases[] = {
    {"D negative", 'D', -42, "-42"},
    {"u all ones", 'u', -1, "18446744073709551615"},
    {"N hex", 'N', 0x1F, "0x1F"},
    {"n negative hex", 'n', -31, "-0x1F"},
    {"M upper hex", 'M', 0xABC, "ABC"},
    {"m upper hex", 'm', 0xABC, "ABC"},
    {"O octal", 'O', 15, "017"},
    {"O zero", 'O', 0, "00"},
    {"o negative octal", 'o', -8, "-010"},
    {"L decimal", 'L', 255, "255"},
    {"l negative", 'l', -255, "-255"},
    {"Y binary low bits", 'Y', 5, "0b101"},
    {"s negative binary", 's', -5, "-0b101"},
    {"H character", 'H', 'A', "'A'"},
    {"H zero", 'H', 0, "'\\0'"},
    {"H with a zero byte", 'H', 0x4100000042, "0x4100000042"},
    {"$ address", '$', 0x401000, "401000"},
    {"$ none", '$', -1, ""},
  };
  for ( const auto &c : cases )
  {
    QString text;
    ASSERT_TRUE(value_to_text(&c.value, c.type, 10, &text)) << c.name;
    EXPECT_EQ(text, QString::fromUtf8(c.text)) << c.name;
    int64_t back = 12345;
    recording_ui_callback_t ui;
    ASSERT_TRUE(text_to_value(&back, 8, text, c.type, false, {})) << c.name;
    EXPECT_EQ(back, c.value) << c.name << ": OK on an unchanged value keeps it";
    EXPECT_TRUE(recorded_warnings(ui).empty()) << c.name;
  }
  int64_t high = int64_t(0x1234567800000005);
  ASSERT_TRUE(text_to_value(&high, 8, "0b101", 'Y', false, {}));
  EXPECT_EQ(high, int64_t(0x1234567800000005)) << "'Y' shows the low 32 bits and keeps the high ones";
}

struct read_case_t
{
  const char *name;
  char type;
  int flags;
  int64_t before;
  const char *text;
  bool ok;
  int64_t after;
  const char *warning; // null: none
};

TEST(form_values, typed_texts_read_with_their_warnings)
{
  const read_case_t cases[] = {
    {"D signed", 'D', 0, 0, "-17", true, -17, nullptr},
    {"D relative plus", 'D', 1, 10, "+ 3", true, 13, nullptr},
    {"D relative minus", 'D', 1, 10, "-3", true, 7, nullptr},
    {"D minus without relative", 'D', 0, 10, "-3", true, -3, nullptr},
    {"D reads digits before a non-digit", 'D', 0, 5, "0x10", true, 0, nullptr},
    {"D 64-bit", 'D', 0, 0, "5000000000", true, 5000000000, nullptr},
    {"D no digits", 'D', 0, 5, "abc", false, 5, "Failed to parse value representation 'abc'"},
    {"D beyond 64 bits", 'D', 0, 5, "99999999999999999999", false, 5,
     "Failed to parse value representation '99999999999999999999'"},
    {"N junk", 'N', 0, 5, "0x1G", false, 5, "Failed to parse value representation '0x1G'"},
    {"L hex", 'L', 0, 0, "0xff", true, 255, nullptr},
    {"L octal", 'L', 0, 0, "017", true, 15, nullptr},
    {"L extra letters", 'L', 0, 1, "12ab", false, 1, "extra characters on line: ab"},
    {"M plain hex", 'M', 0, 0, "ff", true, 255, nullptr},
    {"M prefixed", 'M', 0, 0, "0x1F", true, 31, nullptr},
    {"M negative", 'M', 0, 1, "-1", false, 1, "Expected a positive value"},
    {"m hex", 'm', 0, 0, "0x10", true, 16, nullptr},
    {"m relative decimal", 'm', 1, 16, "+10", true, 26, nullptr},
    {"m junk", 'm', 0, 1, "1z", false, 1, "extra characters on line: z"},
    {"H literal with suffix", 'H', 0, 0, "0x10uLL", true, 16, nullptr},
    {"$ junk", '$', 0, 1, "zz", false, 1, "Bad address: zz"},
  };
  for ( const auto &c : cases )
  {
    form_field_info_t field;
    field.flags = c.flags;
    int64_t value = c.before;
    std::vector<std::string> warnings;
    {
      recording_ui_callback_t ui;
      EXPECT_EQ(text_to_value(&value, 8, QString::fromUtf8(c.text), c.type, false, field), c.ok) << c.name;
      warnings = recorded_warnings(ui);
    }
    EXPECT_EQ(value, c.after) << c.name;
    if ( c.warning == nullptr )
    {
      EXPECT_TRUE(warnings.empty()) << c.name;
    }
    else
    {
      EXPECT_EQ(warnings, std::vector<std::string> {c.warning}) << c.name;
    }
    recording_ui_callback_t quiet;
    int64_t silent = c.before;
    (void)text_to_value(&silent, 8, QString::fromUtf8(c.text), c.type, true, field);
    EXPECT_TRUE(recorded_warnings(quiet).empty()) << c.name << ": silent";
  }
}

TEST(form_values, texts_and_strings)
{
  recording_ui_callback_t ui;
  char buffer[8] = "";
  ASSERT_TRUE(text_to_value(buffer, sizeof(buffer), "  padded  ", 'T', false, {}));
  EXPECT_STREQ(buffer, "padded");
  ASSERT_TRUE(text_to_value(buffer, sizeof(buffer), "much too long", 'A', false, {}));
  EXPECT_STREQ(buffer, "much to") << "an 'A' buffer is cut and terminated";
  ASSERT_TRUE(text_to_value(buffer, 4, QString::fromUtf8("a\xC3\xA9z"), 'A', false, {}));
  EXPECT_STREQ(buffer, "a\xC3\xA9") << "never inside a UTF-8 sequence";

  char path[260] = "/kept";
  EXPECT_FALSE(text_to_value(path, sizeof(path), QString(300, 'p'), 'F', false, {}));
  EXPECT_STREQ(path, "/kept") << "a path is refused, never cut";
  EXPECT_FALSE(text_to_value(buffer, 0, "x", 'A', false, form_field_info_t {0, 0, 7, 10}));

  qstring name("old");
  form_field_info_t limited;
  limited.max_length = 10;
  ASSERT_TRUE(text_to_value(&name, sizeof(name), "0123456789abc", 'q', false, limited));
  EXPECT_EQ(name, "012345678");
  ASSERT_TRUE(text_to_value(&name, sizeof(name), "  trim me ", 'y', false, {}));
  EXPECT_EQ(name, "trim me");
  ASSERT_TRUE(text_to_value(&name, sizeof(name), "", 'q', false, {}));
  EXPECT_TRUE(name.empty());
  const auto warnings = recorded_warnings(ui);
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_EQ(warnings[0], "The path is too long (at most 259 bytes): " + std::string(300, 'p'));
  EXPECT_EQ(warnings[1], "Bad WIDTH subfield for the field with id 7. For type A it should be non-zero");

  QString text;
  EXPECT_FALSE(value_to_text(&name, 'S', 10, &text)) << "a segment has no text form";
  EXPECT_EQ(interr_number([] { (void)form_value_size(' ', 0); }), 2507);
  EXPECT_EQ(interr_number([] { (void)form_value_size('Z', 0); }), 2508);
  EXPECT_EQ(interr_number([&] { (void)text_to_value(&name, 8, "x", 'S', true, {}); }), 40344);
}

TEST(form_values, sizes_lengths_and_names)
{
  EXPECT_EQ(form_value_size('A', 17), 17u);
  EXPECT_EQ(form_value_size('F', 0), 260u);
  EXPECT_EQ(form_value_size('X', 0), 1024u);
  EXPECT_EQ(form_value_size('G', 0), 2u);
  EXPECT_EQ(form_value_size('K', 0), 4u);
  EXPECT_EQ(default_max_length('A', 0), 1023);
  EXPECT_EQ(default_max_length('A', 10), 9);
  EXPECT_EQ(default_max_length('i', 0), 32767);
  EXPECT_EQ(default_max_length('F', 5), 260);
  EXPECT_STREQ(form_value_kind_name('F'), "path");
  EXPECT_STREQ(form_value_kind_name('$'), "ea");
  EXPECT_EQ(form_value_kind_name('A'), nullptr);
}

} // namespace

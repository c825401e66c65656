// Shortcut texts: legacy conversion, normalisation, list splitting and standard key names.
#include "ui/shortcut_text.h"

#include "tests/support/string_lists.h"
#include "ui/shortcut_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ShortcutText, LegacyTextsConvertToPortableText)
{
  struct row_t
  {
    const char *legacy;
    const char *portable;
  };
  const row_t rows[] = {
    {"Ctrl-F5", "Ctrl+F5"},
    {"Ctrl-Numpad5", "Ctrl+Num+5"},
    {"Numpad+", "Num++"},              // the keypad plus
    {"Numpad-", "Num+-"},              // the keypad minus
    {"Ctrl+Shift+A", "Ctrl+Shift+A"},  // already portable: unchanged
    {"  Alt-X  ", "Alt+X"},            // trimmed
    {"Shift-Ctrl-Enter", "Ctrl+Shift+Enter"},
    {"F12", "F12"},
    {"-", "-"},                        // one character: no separator to replace
    {"Ctrl--", "Ctrl+-"},
    {"NotAKey", ""},
    {"", ""},
    {"\x1b;41", "A"},                  // raw key codes
    {"\x1b;41;42", "A, B"},
    {"\x1b;1000004", "Return"},
    {"\x1b;41;42;43;44", "A, B, C, D"},
    {"\x1b;41;42;43;44;45", ""},       // five parts
    {"\x1b;4G", ""},                   // not hexadecimal
    {"\x1b;", ""},                     // one empty part
    {"\x1b", ""},                      // no part
    {"\x1b;41;;42", ""},               // empty part in the middle
    {"\x1b;123456789", ""},            // does not fit 32 bits
  };
  for ( const row_t &row : rows )
    EXPECT_EQ(legacy_shortcut_to_portable(row.legacy), row.portable) << "legacy text: " << row.legacy;
  EXPECT_EQ(shortcut_text_from_config("Ctrl-F5", true), "Ctrl-F5");
  EXPECT_EQ(shortcut_text_from_config("Ctrl-F5", false), "Ctrl+F5");
  EXPECT_EQ(legacy_shortcut_to_portable(std::string(SHORTCUT_TEXT_MAX_LENGTH + 1, 'A').c_str()), "");
}

TEST(ShortcutText, NormalisationFollowsTheSeparators)
{
  struct row_t
  {
    const char *text;
    char separator;
    char qt_separator;
    const char *expected;
  };
  const row_t rows[] = {
    {"Ctrl-Numpad5", '-', '+', "Ctrl+Num+5"},
    {"Numpad--", '-', '+', "Num+-"},              // two separators follow: "Num" alone
    {"Numpad+-", '-', '+', "Num+-"},
    {"NumpadNumpad", '-', '+', "Num+Num+"},      // every occurrence, from the end
    {"a-b-c", '-', '+', "a+b+c"},
    {"a-b-c", '-', '-', "a-b-c"},                // equal separators: nothing replaced
    {" x ", '-', '+', "x"},
    {"Ctrl-Alt-", '-', '+', "Ctrl+Alt+"},
  };
  for ( const row_t &row : rows )
    EXPECT_EQ(normalize_shortcut_text(QString::fromUtf8(row.text), QLatin1Char(row.separator),
                                      QLatin1Char(row.qt_separator))
                .toStdString(),
              row.expected)
      << "text: " << row.text;
}

TEST(ShortcutText, ListsSplitConvertAndDropRepeats)
{
  struct row_t
  {
    const char *text;
    bool as_is;
    std::vector<std::string> expected;
  };
  const row_t rows[] = {
    {"Ctrl-A,Ctrl-B", false, {"Ctrl+A", "Ctrl+B"}},
    {",,Ctrl-A,,Ctrl-A,Ctrl+A,", false, {"Ctrl+A"}},     // leading, doubled, trailing commas and repeats
    {"Ctrl+B,Ctrl+A,ctrl+b", true, {"Ctrl+B", "Ctrl+A"}}, // equal sequences whatever the spelling
    {"Ctrl-A", true, {""}},                              // taken as it is: Qt does not read it
    {"Bogus,Ctrl-Q,Wrong", false, {"", "Ctrl+Q"}},       // texts that do not convert give "" once
    {"", false, {}},
    {",,,", false, {}},
  };
  for ( const row_t &row : rows )
    EXPECT_EQ(to_strings(parse_shortcut_list(row.text, row.as_is)), row.expected) << "list: " << row.text;
}

TEST(ShortcutText, StandardKeyNamesMatchExactly)
{
  QKeySequence::StandardKey key = QKeySequence::UnknownKey;
  ASSERT_TRUE(standard_key_by_name("Copy", &key));
  EXPECT_EQ(key, QKeySequence::Copy);
  ASSERT_TRUE(standard_key_by_name("UnknownKey", &key));
  EXPECT_EQ(key, QKeySequence::UnknownKey);
  ASSERT_TRUE(standard_key_by_name("Cancel", &key));
  EXPECT_EQ(int(key), 70);
  for ( const char *name : {"copy", "Copy ", "QKeySequence::Copy", "", "Cancel2"} )
    EXPECT_FALSE(standard_key_by_name(name, &key)) << name;
}

TEST(ShortcutTable, InterningGivesStableDistinctIds)
{
  EXPECT_EQ(intern_shortcut_text(""), 0u);
  EXPECT_EQ(intern_shortcut_text(nullptr), 0u);
  const shortcut_id_t first = intern_shortcut_text("Ctrl+Intern+1");
  EXPECT_NE(first, 0u);
  EXPECT_EQ(intern_shortcut_text("Ctrl+Intern+1"), first);
  const shortcut_id_t second = intern_shortcut_text("Ctrl+Intern+2");
  EXPECT_EQ(second, first + 1);
  EXPECT_STREQ(shortcut_text_of_id(first), "Ctrl+Intern+1");
  EXPECT_STREQ(shortcut_text_of_id(0), "");
  EXPECT_STREQ(shortcut_text_of_id(second + 1000000), "");

  // Past 65,535 distinct texts the ids stay distinct (no wrap to 16 bits).
  const shortcut_id_t base = intern_shortcut_text("wide id 0");
  shortcut_id_t last = base;
  for ( int i = 1; i <= 70000; ++i )
    last = intern_shortcut_text(("wide id " + std::to_string(i)).c_str());
  EXPECT_EQ(last, base + 70000);
  EXPECT_GT(last, 0xFFFFu);
  EXPECT_STREQ(shortcut_text_of_id(last), "wide id 70000");
  EXPECT_EQ(intern_shortcut_text("wide id 65536"), base + 65536);
}

TEST(ShortcutTable, UserListsWinAndVoidEntriesGo)
{
  set_action_shortcuts("table.user", {qstring("Ctrl+U")}, false);
  qvector<qstring> out;
  ASSERT_TRUE(lookup_action_shortcuts("table.user", &out));
  EXPECT_EQ(to_strings(out), std::vector<std::string>{"Ctrl+U"});

  set_action_shortcuts("table.user", {qstring("Alt+U"), qstring("Alt+V")}, true);
  out = {};
  ASSERT_TRUE(lookup_action_shortcuts("table.user", &out));
  EXPECT_EQ(to_strings(out), (std::vector<std::string>{"Alt+U", "Alt+V"}));

  // An empty user list removes every key, though the legacy list remains.
  set_action_shortcuts("table.user", {}, true);
  out = {};
  ASSERT_TRUE(lookup_action_shortcuts("table.user", &out));
  EXPECT_TRUE(out.empty());
  ASSERT_NE(find_shortcut_entry("table.user"), nullptr);

  // An entry left with nothing at all is removed.
  set_action_shortcuts("table.void", {qstring("Ctrl+V")}, false);
  set_action_shortcuts("table.void", {}, false);
  EXPECT_EQ(find_shortcut_entry("table.void"), nullptr);
  EXPECT_FALSE(lookup_action_shortcuts("table.void", &out));
  EXPECT_FALSE(lookup_action_shortcuts("table.never", &out));
}

} // namespace

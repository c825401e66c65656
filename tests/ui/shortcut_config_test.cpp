// Shortcuts from configuration text: the SHORTCUTS directive, legacy assignments, their warnings, hostile input.
#include "ui/shortcut_config.h"

#include "core/cfg_reader.h"
#include "core/json_reader.h"
#include "tests/support/file_contents.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/support/seeded_random.h"
#include "ui/shortcut_text.h"

#include <QKeySequence>
#include <QList>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// The client's way of reading its configuration: SHORTCUTS has its handler, a directive whose name is a
// quoted string is a legacy key assignment.
intptr_t key_assignment_handler(token_reader_t *reader, const lexer_token_t *name, const lexer_token_t *value)
{
  if ( name->kind != TOKEN_STRING )
    return CFG_RESULT_UNRECOGNISED;
  parse_key_assignment(reader, name->text.c_str(), value, false);
  return CFG_RESULT_OK;
}

const config_keyword_t client_keywords[] = {
  {"SHORTCUTS", uint64_t(reinterpret_cast<uintptr_t>(&apply_shortcuts_directive)), CFG_HANDLER, 0, 0},
};

// Reads a cfg file with that text; answers the path.
std::filesystem::path read_cfg_file(const std::string &name, const std::string &text)
{
  const std::filesystem::path path = std::filesystem::temp_directory_path() / name;
  write_file(path, text);
  (void)read_config_source(path.c_str(), 2, client_keywords, std::size(client_keywords), key_assignment_handler,
                           nullptr, 0, nullptr);
  return path;
}

// Reads configuration text given as a directive (no file).
void read_cfg_text(const std::string &text)
{
  (void)read_config_source(text.c_str(), 0, client_keywords, std::size(client_keywords), key_assignment_handler,
                           nullptr, 0, nullptr);
}

std::vector<std::string> id_texts(const std::optional<shortcut_id_list_t> &ids)
{
  std::vector<std::string> out;
  if ( ids )
    for ( const shortcut_id_t id : *ids )
      out.emplace_back(shortcut_text_of_id(id));
  return out;
}

std::vector<std::string> legacy_of(const char *name)
{
  const shortcut_entry_t *entry = find_shortcut_entry(name);
  return entry != nullptr ? id_texts(entry->legacy_ids) : std::vector<std::string> {"<no entry>"};
}

std::vector<std::string> warnings(const recording_ui_callback_t &ui)
{
  std::vector<std::string> out;
  for ( const ui_request_record_t &r : ui.requests_of(ui_code_message) )
    out.push_back(r.text);
  return out;
}

std::vector<std::string> binding_texts(QKeySequence::StandardKey key)
{
  std::vector<std::string> out;
  for ( const QKeySequence &s : QKeySequence::keyBindings(key) )
    out.push_back(s.toString(QKeySequence::PortableText).toStdString());
  return out;
}

TEST(ShortcutConfig, DirectiveFillsSectionsAndSortsByFirstSeen)
{
  recording_ui_callback_t ui;
  // Interned before the directive names them: the lists keep this order, not the written one.
  (void)intern_shortcut_text("Ctrl+Alt+F22");
  read_cfg_text(R"cfg(SHORTCUTS = {
      legacy: { "dir.a": "Ctrl-Shift-F1", "dir.b": ["Ctrl-Alt-F21", "Ctrl-Alt-F22", "Ctrl+Alt+F21"],
                "dir.zero": 0, "dir.empty": "", "dir.sys": "sys(Copy)", "dir.nested": [["F1"], "F2"],
                "dir.a": "F9" },
      new: { "dir.a": "F3" },
      other: { "dir.other": "F4" },
      legacy: { "dir.second": "F5" } })cfg");
  EXPECT_TRUE(warnings(ui).empty());
  // A repeated member replaces the earlier one; the second "legacy" section is not read.
  EXPECT_EQ(legacy_of("dir.a"), std::vector<std::string> {"F9"});
  EXPECT_EQ(id_texts(find_shortcut_entry("dir.a")->new_ids), std::vector<std::string> {"F3"});
  EXPECT_EQ(legacy_of("dir.b"), (std::vector<std::string> {"Ctrl+Alt+F22", "Ctrl+Alt+F21"}));
  EXPECT_EQ(legacy_of("dir.zero"), std::vector<std::string> {});
  EXPECT_EQ(legacy_of("dir.empty"), std::vector<std::string> {});
  EXPECT_EQ(legacy_of("dir.sys"), binding_texts(QKeySequence::Copy));
  EXPECT_EQ(legacy_of("dir.nested"), std::vector<std::string> {"F2"});
  EXPECT_EQ(find_shortcut_entry("dir.other"), nullptr);
  EXPECT_EQ(find_shortcut_entry("dir.second"), nullptr);
  bool nested_logged = false;
  for ( const ui_request_record_t &r : ui.requests_of(ui_code_log) )
    nested_logged |= r.text == "config shortcuts: shortcut values can not be in nested arrays, skipping...\n";
  EXPECT_TRUE(nested_logged);

  // Sections that are no objects are ignored without a message.
  read_cfg_text(R"cfg(SHORTCUTS = { legacy: ["dir.ignored"], new: "dir.ignored" })cfg");
  EXPECT_TRUE(warnings(ui).empty());
  EXPECT_EQ(find_shortcut_entry("dir.ignored"), nullptr);

  // A user list set at run time wins over later directives.
  set_action_shortcuts("dir.user", {qstring("Alt+U")}, true);
  read_cfg_text(R"cfg(SHORTCUTS = { legacy: { "dir.user": "F6" } })cfg");
  qvector<qstring> keys;
  ASSERT_TRUE(lookup_action_shortcuts("dir.user", &keys));
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0], "Alt+U");
}

TEST(ShortcutConfig, ShortcutValuesAndTheirErrors)
{
  struct row_t
  {
    const char *json;
    bool ok;
    const char *error;
  };
  const row_t rows[] = {
    {"0", true, ""},
    {"\"\"", true, ""},
    {"\"sys(UnknownKey)\"", true, ""},
    {"\"Ctrl-F7\"", true, ""},
    {"[\"F7\", [\"F8\"], \"F9\"]", true, ""},
    {"[]", true, ""},
    {"5", false, "shortcut can't be represented as number\n"},
    {"-1", false, "shortcut can't be represented as number\n"},
    {"\"sys(Copy\"", false, "can't find closing parentheses for sys() shortcut: \"sys(Copy\"\n"},
    {"\"sys()\"", false, "invalid sys() shortcut: \"sys()\"\n"},
    {"\"sys(Nope)\"", false, "sys() key sequence name unknown: \"Nope\"\n"},
    {"\"sys(copy)\"", false, "sys() key sequence name unknown: \"copy\"\n"},
    {"\"Bogus\"", false, "invalid shortcuts value: \"Bogus\"\n"},
    {"[\"F7\", \"Bogus\", \"F9\"]", false, "invalid shortcuts value: \"Bogus\"\n"},
    {"true", false, "invalid shortcut value type\n"},
    {"null", false, "invalid shortcut value type\n"},
    {"1.5", false, "invalid shortcut value type\n"},
    {"{\"a\": 1}", false, "invalid shortcut value type\n"},
  };
  for ( const row_t &row : rows )
  {
    json_value_t value;
    ASSERT_EQ(json_parse_text(&value, row.json), 0) << row.json;
    shortcut_id_list_t ids;
    qstring error;
    EXPECT_EQ(parse_shortcut_value(&value, &ids, &error), row.ok) << row.json;
    EXPECT_EQ(std::string(error.c_str()), row.error) << row.json;
  }
  // Elements before the failing one stay in the list.
  json_value_t value;
  ASSERT_EQ(json_parse_text(&value, "[\"F7\", \"Bogus\"]"), 0);
  shortcut_id_list_t ids;
  qstring error;
  EXPECT_FALSE(parse_shortcut_value(&value, &ids, &error));
  EXPECT_EQ(id_texts(ids), std::vector<std::string> {"F7"});
  // sys() gives exactly what Qt binds on this platform, in Qt's order.
  ASSERT_EQ(json_parse_text(&value, "\"sys(Paste)\""), 0);
  ids.clear();
  ASSERT_TRUE(parse_shortcut_value(&value, &ids, &error));
  EXPECT_EQ(id_texts(ids), binding_texts(QKeySequence::Paste));
}

TEST(ShortcutConfig, WarningsNameTheFileAndLine)
{
  recording_ui_callback_t ui;
  const std::filesystem::path path = read_cfg_file("warn.cfg",
                                                   "// shortcuts\n"
                                                   "SHORTCUTS = { legacy: { \"warn.a\": \"Bogus\", \"warn.b\": \"F10\" } }\n"
                                                   "SHORTCUTS = [ \"warn.c\" ]\n"
                                                   "\"warn.d\" = \"Nokey\"\n"
                                                   "\"warn.e\" = 1.5\n"
                                                   "\"warn.f\" = \"Ctrl-J\"\n");
  const std::string file = path.string();
  EXPECT_EQ(warnings(ui),
            (std::vector<std::string> {
              "AUTOHIDE NONE\n" + file + ", 2: SHORTCUTS = { legacy: { \"warn.a\": \"Bogus\", \"warn.b\": \"F10\" } }\n"
                "invalid shortcuts value: \"Bogus\"\n",
              "AUTOHIDE NONE\n" + file + ", 3: SHORTCUTS = [ \"warn.c\" ]\nInvalid SHORTCUTS directive",
              "AUTOHIDE NONE\n" + file + ", 4: \"warn.d\" = \"Nokey\"\nIllegal hotkey",
              "AUTOHIDE NONE\n" + file + ", 5: \"warn.e\" = 1.5\n" + BAD_KEY_ASSIGNMENT_TEXT,
            }));
  // The bad member kept its (missing) entry; the good ones and everything after the bad lines still count.
  EXPECT_EQ(find_shortcut_entry("warn.a"), nullptr);
  EXPECT_EQ(legacy_of("warn.b"), std::vector<std::string> {"F10"});
  EXPECT_EQ(legacy_of("warn.d"), std::vector<std::string> {""});
  EXPECT_EQ(find_shortcut_entry("warn.e"), nullptr);
  EXPECT_EQ(legacy_of("warn.f"), std::vector<std::string> {"Ctrl+J"});
}

TEST(ShortcutConfig, LegacyAssignments)
{
  struct row_t
  {
    const char *text;
    const char *name;
    std::vector<std::string> legacy;
    int illegal_warnings;
  };
  const row_t rows[] = {
    {"\"as.a\" = \"Ctrl-F5\"", "as.a", {"Ctrl+F5"}, 0},
    {"\"as.b\" = \"Ctrl-Numpad5,Alt-X,Ctrl-F5\"", "as.b", {"Ctrl+Num+5", "Alt+X", "Ctrl+F5"}, 0},
    {"\"as.c\" = 0", "as.c", {}, 0},
    {"\"as.d\" = -1", "as.d", {}, 0},
    {"\"as.e\" = 'F'", "as.e", {"F"}, 0},
    {"\"as.f\" = 0x4900", "as.f", {""}, 1},               // a scan code names no key here
    {"\"as.g\" = \"Bogus,Ctrl-G,Bogus2\"", "as.g", {"", "Ctrl+G"}, 1},
    {"\"as.h\" = \"\"", "as.h", {}, 0},
    {"\"UnhideAll\" = \"Ctrl-Shift-H\"", "UnHideAll", {"Ctrl+Shift+H"}, 0},
  };
  for ( const row_t &row : rows )
  {
    recording_ui_callback_t ui;
    read_cfg_text(row.text);
    EXPECT_EQ(legacy_of(row.name), row.legacy) << row.text;
    const shortcut_entry_t *entry = find_shortcut_entry(row.name);
    ASSERT_NE(entry, nullptr) << row.text;
    EXPECT_EQ(id_texts(entry->new_ids), row.legacy) << row.text;
    EXPECT_FALSE(entry->user_ids.has_value()) << row.text;
    EXPECT_EQ(int(warnings(ui).size()), row.illegal_warnings) << row.text;
  }
  EXPECT_EQ(find_shortcut_entry("UnhideAll"), nullptr);

  // With the user flag the user list is replaced and the others stay.
  token_reader_t *reader = make_config_reader(nullptr, 0);
  ASSERT_NE(reader, nullptr);
  ASSERT_EQ(reader->set_text("\"Alt-Q\"", nullptr), 0);
  lexer_token_t value;
  ASSERT_EQ(read_token(reader, &value), 0);
  parse_key_assignment(reader, "as.a", &value, true);
  destroy_config_reader(reader);
  EXPECT_EQ(id_texts(find_shortcut_entry("as.a")->user_ids), std::vector<std::string> {"Alt+Q"});
  EXPECT_EQ(legacy_of("as.a"), std::vector<std::string> {"Ctrl+F5"});
}

TEST(ShortcutConfig, FatalReportsEndTheProgramWithThePosition)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  token_reader_t *reader = make_config_reader(nullptr, 0);
  ASSERT_NE(reader, nullptr);
  ASSERT_EQ(reader->set_text("MENUS_LAYOUT = 5", nullptr), 0);
  lexer_token_t token;
  ASSERT_EQ(read_token(reader, &token), 0);
  EXPECT_EXIT(report_shortcut_config_error(reader, "Invalid MENUS_LAYOUT directive", true),
              ::testing::ExitedWithCode(1), ", 1: MENUS_LAYOUT = 5\nInvalid MENUS_LAYOUT directive");
  destroy_config_reader(reader);
}

// Hostile values: every one is a warning or nothing at all; none ends the program or hangs.
TEST(ShortcutConfig, HostileValuesWarnAndGoOn)
{
#if defined(AKUI_SANITIZE)
  constexpr int many = 2000;
#else
  constexpr int many = 20000;
#endif
  const std::string long_text(100000, 'K');
  const std::string huge_array = [many] {
    std::string s = "[";
    for ( int i = 0; i < many; ++i )
      s += (i ? ",\"F" : "\"F") + std::to_string(1 + i % 24) + "\"";
    return s + "]";
  }();
  const std::string long_list = [many] {
    std::string s = "\"";
    const char *modifiers[] = {"", "Ctrl-", "Alt-", "Shift-", "Ctrl-Alt-", "Ctrl-Shift-", "Alt-Shift-", "Meta-"};
    for ( int i = 0; i < many + many / 2; ++i )
      s += std::string(i ? "," : "") + modifiers[i % 8] + "F" + std::to_string(1 + (i / 8) % 35);
    return s + "\"";
  }();
  const std::string deep_array = std::string(5000, '[') + std::string(5000, ']');
  const std::vector<std::string> values = {
    "\"\x1b;41;42;43;44;45;46\"", "\"\x1b;;;;\"", "\"\x1b;" + std::string(300, 'F') + "\"", "\"\x1b;FFFFFFFF\"",
    "\"\x1b;7FFFFFFF;80000000\"", "\"\x1b;-1\"", "\"\x1b;0x41\"", "\"sys(\"", "\"sys(((\"", "\"sys())))\"",
    "\"sys(" + long_text + ")\"", "\"" + long_text + "\"", "\"Numpad" + std::string(1000, '-') + "\"",
    "\"" + std::string(2000, ',') + "\"", "\"\xff\xfe\xc3\"", "\"Ctrl-\xc3\"", huge_array, deep_array, long_list,
    "[[[[\"F1\"]]]]", "0", "-0", "9223372036854775807", "-9223372036854775807", "18446744073709551615",
    "0xFFFFFFFFFFFFFFFF", "1e308", "-1e308", "true", "null", "{}", "{\"x\":[1,2]}", "'x'", "\"\\u0000\"",
  };
  for ( const std::string &value : values )
  {
    recording_ui_callback_t ui;
    read_cfg_text("SHORTCUTS = { legacy: { \"hostile.a\": " + value + " } }");
    read_cfg_text("SHORTCUTS = { new: { \"hostile.b\": " + value + " } }");
    read_cfg_text("\"hostile.c\" = " + value);
    for ( const ui_request_record_t &r : ui.requests_of(ui_code_message) )
      EXPECT_EQ(r.kind, msg_kind_warning) << value.substr(0, 80);
  }
  // The table holds nothing but what the values gave: each list entry has an interned text.
  for ( const char *name : {"hostile.a", "hostile.b", "hostile.c"} )
  {
    const shortcut_entry_t *entry = find_shortcut_entry(name);
    if ( entry == nullptr || !entry->legacy_ids )
      continue;
    for ( const shortcut_id_t id : *entry->legacy_ids )
    {
      EXPECT_TRUE(id == 0 || *shortcut_text_of_id(id) != '\0');
    }
  }
}

// Seeded mutations of directives and assignments: warnings only, in bounded time and memory.
TEST(ShortcutConfig, MutatedConfigurationNeverEndsTheProgram)
{
#if defined(AKUI_SANITIZE)
  constexpr int rounds = 300;
#else
  constexpr int rounds = 3000;
#endif
  const std::vector<std::string> seeds = {
    "SHORTCUTS = { legacy: { \"mut.a\": \"Ctrl-F5\", \"mut.b\": [\"sys(Copy)\", \"Alt-Numpad+\"] },"
    " new: { \"mut.c\": 0 } }\n",
    "\"mut.d\" = \"Ctrl-Shift-X,Numpad5\"\n\"mut.e\" = 'Q'\n\"mut.f\" = 0\n\"UnhideAll\" = -1\n",
    "SHORTCUTS = { legacy: { \"mut.g\": \"\x1b;41;1000004\", \"mut.h\": \"sys(Undo)\" } }\n\"mut.i\" = 0x4900\n",
  };
  const std::string alphabet = "{}[]:,\"'=-+;()0x9AF\x1b sys Numpad Ctrl\\\n\xc3\xff";
  uint32_t seed = 20261210;
  const auto random = [&seed] { return size_t(next_random(&seed)); };
  recording_ui_callback_t ui;
  for ( int round = 0; round < rounds; ++round )
  {
    std::string text = seeds[random() % seeds.size()];
    const int edits = 1 + int(random() % 6);
    for ( int e = 0; e < edits && !text.empty(); ++e )
    {
      const size_t at = random() % text.size();
      switch ( random() % 4 )
      {
        case 0:
          text.erase(at, 1 + random() % 4);
          break;
        case 1:
          text.insert(at, 1, alphabet[random() % alphabet.size()]);
          break;
        case 2:
          text[at] = alphabet[random() % alphabet.size()];
          break;
        default:
          text.insert(at, text.substr(random() % text.size(), 1 + random() % 16));
          break;
      }
    }
    read_cfg_text(text);
    if ( round % 50 == 0 )
      (void)read_cfg_file("mutated.cfg", text);
    for ( const ui_request_record_t &r : ui.requests_of(ui_code_message) )
      ASSERT_EQ(r.kind, msg_kind_warning) << text;
    ui.clear();
  }
}

} // namespace

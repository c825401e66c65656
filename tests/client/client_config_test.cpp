// The client's configuration: every keyword, legacy keys, files before "-D" directives, and hostile texts.
#include "client/app/client_config.h"
#include "core/directories.h"
#include "core/json_writer.h"
#include "tests/support/file_contents.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/support/seeded_random.h"
#include "ui/shortcut_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Reads directive text into the record; answers whether the reader took all of it.
bool read_directives(akui_client_config_t *config, const std::string &text)
{
  const auto table = client_keyword_table(*config);
  return read_config_source(text.c_str(), 0, table.data(), table.size(), legacy_key_directive, nullptr, 0, config);
}

std::string json_text(const json_value_t &value)
{
  qstring out;
  return json_to_text(&out, &value, 0) ? std::string(out.view()) : std::string("<none>");
}

size_t warnings(const recording_ui_callback_t &ui)
{
  size_t count = 0;
  for ( const ui_request_record_t &r : ui.requests_of(ui_code_message) )
  {
    count += r.kind == msg_kind_warning ? 1 : 0;
  }
  return count;
}

// The user's own configuration file, removed again at the end of the test.
class user_config_file_t
{
public:
  explicit user_config_file_t(const std::string &text)
  {
    qstring dir;
    EXPECT_TRUE(user_directory(&dir));
    path_ = std::filesystem::path(dir.c_str()) / "akui.cfg";
    std::ofstream(path_) << text;
  }
  ~user_config_file_t() { std::filesystem::remove(path_); }

private:
  std::filesystem::path path_;
};

TEST(ClientConfig, EveryKeywordStoresItsValue)
{
  recording_ui_callback_t ui;
  akui_client_config_t config;
  ASSERT_TRUE(read_directives(&config, R"(
    MENUS_LAYOUT = [ { name: "File", label: "&File", actions: [ "quit_akui" ] } ]
    TOOLBARS_LAYOUT = [ { name: "MiscToolBar", label: "Misc", actions: [] }, "-" ]
    CLOSED_BY_ESC = 0x18
    TOOL_CLOSED_BY_ESC = YES
    ARKIVE_HOST = "ann:pw@arkive.example:7000"
    ARKIVE_USER = "bob"
    ARKIVE_PASS = "s3cret"
    ARKIVE_SITE = "work site"
    SHORTCUTS = { new: { "cfg.test.shortcut": "Ctrl+Shift+F7" } }
    "cfg.test.legacy" = "F8"
  )"));
  EXPECT_EQ(warnings(ui), 0u);
  EXPECT_EQ(json_text(config.menus_layout), R"([{"name":"File","label":"&File","actions":["quit_akui"]}])");
  EXPECT_EQ(json_text(config.toolbars_layout), R"([{"name":"MiscToolBar","label":"Misc","actions":[]},"-"])");
  EXPECT_EQ(config.closed_by_esc, 0x18u);
  EXPECT_EQ(config.tool_closed_by_esc, 1);
  EXPECT_EQ(config.escape_closes_docks, 0);
  const arkive_credentials_t &login = config.default_credentials;
  EXPECT_STREQ(login.host.c_str(), "arkive.example");
  EXPECT_EQ(login.port, 7000);
  EXPECT_STREQ(login.user.c_str(), "bob");
  EXPECT_STREQ(login.password.c_str(), "s3cret");
  EXPECT_STREQ(login.site.c_str(), "work site");
  EXPECT_TRUE(shortcut_entry("cfg.test.shortcut").new_ids.has_value());
  EXPECT_TRUE(shortcut_entry("cfg.test.legacy").legacy_ids.has_value());
}

TEST(ClientConfig, ValuesOfTheWrongKindAreRefusedAndChangeNothing)
{
  struct case_t
  {
    const char *name;
    const char *text;
  };
  const case_t cases[] = {
    {"host as a number", "ARKIVE_HOST = 5"},
    {"host that is no endpoint", "ARKIVE_HOST = \"a@b@c\""},
    {"escape mask as text", "CLOSED_BY_ESC = \"all\""},
    {"flag as text", "TOOL_CLOSED_BY_ESC = \"on\""},
    {"user as number", "ARKIVE_USER = 12"},
    {"unknown keyword with a number", "NO_SUCH_KEYWORD = 3"},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    recording_ui_callback_t ui;
    akui_client_config_t config;
    EXPECT_FALSE(read_directives(&config, c.text));
    EXPECT_GE(warnings(ui), 1u);
    EXPECT_EQ(config.closed_by_esc, 0u);
    EXPECT_EQ(config.tool_closed_by_esc, 0);
  }
}

TEST(ClientConfig, HostFromTheConfigurationReplacesTheWholeEndpoint)
{
  recording_ui_callback_t ui;
  akui_client_config_t config;
  config.default_credentials.user = "ann";
  config.default_credentials.password = "pw";
  ASSERT_TRUE(read_directives(&config, "ARKIVE_HOST = \"bare.example\""));
  EXPECT_STREQ(config.default_credentials.host.c_str(), "bare.example");
  EXPECT_STREQ(config.default_credentials.user.c_str(), "");
  EXPECT_STREQ(config.default_credentials.password.c_str(), "");
}

TEST(ClientConfig, AMalformedLayoutIsReportedAndTheEarlierOneStays)
{
  const char *const broken[] = {
    "MENUS_LAYOUT = { name: \"File\" }",
    "MENUS_LAYOUT = [ { name: \"File\", ",
    "MENUS_LAYOUT = 7",
    "MENUS_LAYOUT = \"File\"",
  };
  for ( const char *text : broken )
  {
    SCOPED_TRACE(text);
    recording_ui_callback_t ui;
    akui_client_config_t config;
    ASSERT_TRUE(read_directives(&config, "MENUS_LAYOUT = [ \"first\" ]"));
    (void)read_directives(&config, text);
    EXPECT_EQ(json_text(config.menus_layout), R"(["first"])");
    bool named = false;
    for ( const ui_request_record_t &r : ui.requests_of(ui_code_message) )
      named = named || r.text.find("Invalid MENUS_LAYOUT directive") != std::string::npos;
    EXPECT_TRUE(named);
  }
}

TEST(ClientConfig, FileErrorsAreNamedWithFileAndLine)
{
  recording_ui_callback_t ui;
  const user_config_file_t file("\n\nTOOLBARS_LAYOUT = 12\n");
  akui_client_config_t config;
  char program[] = "akui";
  char *argv[] = {program, nullptr};
  load_client_config(&config, 1, argv);
  bool located = false;
  for ( const ui_request_record_t &r : ui.requests_of(ui_code_message) )
    located = located || (r.text.find("akui.cfg, 3") != std::string::npos
                          && r.text.find("Invalid TOOLBARS_LAYOUT directive") != std::string::npos);
  EXPECT_TRUE(located);
  // The installed layout stays.
  EXPECT_EQ(config.toolbars_layout.tag, uint32_t(JSON_ARRAY));
}

TEST(ClientConfig, CommandLineDirectivesComeAfterEveryFile)
{
  recording_ui_callback_t ui;
  const user_config_file_t file("TOOL_CLOSED_BY_ESC = NO\nCLOSED_BY_ESC = 0x18\nARKIVE_SITE = \"from file\"\n");
  akui_client_config_t config;
  std::vector<std::string> texts = {"akui", "-DTOOL_CLOSED_BY_ESC=ON", "-Lx", "file.zdb", "-DARKIVE_SITE=\"d\"",
                                    "-DCLOSED_BY_ESC=5", "-DTOOL_CLOSED_BY_ESC=YES"};
  std::vector<char *> argv;
  for ( std::string &t : texts )
    argv.push_back(t.data());
  argv.push_back(nullptr);
  load_client_config(&config, int(texts.size()), argv.data());
  EXPECT_EQ(warnings(ui), 0u);
  EXPECT_EQ(config.tool_closed_by_esc, 1);
  EXPECT_EQ(config.closed_by_esc, 5u);
  EXPECT_STREQ(config.default_credentials.site.c_str(), "d");
  // The installed file gave both layouts.
  EXPECT_EQ(config.menus_layout.tag, uint32_t(JSON_ARRAY));
  EXPECT_EQ(config.toolbars_layout.tag, uint32_t(JSON_ARRAY));
}

TEST(ClientConfig, ADirectiveWithAnErrorLeavesTheOtherDirectivesRead)
{
  recording_ui_callback_t ui;
  akui_client_config_t config;
  std::vector<std::string> texts = {"akui", "-DCLOSED_BY_ESC=\"x\"", "-DTOOL_CLOSED_BY_ESC=true"};
  std::vector<char *> argv;
  for ( std::string &t : texts )
    argv.push_back(t.data());
  argv.push_back(nullptr);
  load_client_config(&config, int(texts.size()), argv.data());
  EXPECT_GE(warnings(ui), 1u);
  EXPECT_EQ(config.tool_closed_by_esc, 1);
}

// Texts no configuration should hold: each is reported or ignored, never a crash or a hang.
TEST(ClientConfig, HostileTextsAreReportedNeverFatal)
{
  std::string deep_array(5000, '[');
  std::string deep_object;
  for ( int i = 0; i < 3000; ++i )
    deep_object += "{a:";
  std::string with_nul = "ARKIVE_USER = \"a";
  with_nul += '\0';
  with_nul += "b\"";
  const std::string cases[] = {
    "MENUS_LAYOUT = " + deep_array,
    "TOOLBARS_LAYOUT = " + deep_object,
    "MENUS_LAYOUT = [ { name: \"File\", actions: [ \"quit_akui\" ",
    "MENUS_LAYOUT = [ 1e999999, -99999999999999999999999999 ]",
    "CLOSED_BY_ESC = 99999999999999999999999999999",
    "CLOSED_BY_ESC = -1",
    "TOOL_CLOSED_BY_ESC = 123456789012345678901234567890",
    "ARKIVE_HOST = \"[::1\"",
    "ARKIVE_HOST = \"host:99999999\"",
    "ARKIVE_HOST = \"" + std::string(100000, 'h') + ":1\"",
    "SHORTCUTS = [ 1, 2 ]",
    "SHORTCUTS = { new: { x: [[[[[\"F1\"]]]]] } }",
    "\"quit_akui\" = { }",
    "= = = ;;; MENUS_LAYOUT",
    "MENUS_LAYOUT",
    "#include \"/nonexistent/file.cfg\"",
    "#define X X X\nARKIVE_SITE = X",
    with_nul,
    std::string("\xff\xfe\x00\x01", 4),
  };
  for ( const std::string &text : cases )
  {
    SCOPED_TRACE(text.substr(0, 60));
    recording_ui_callback_t ui;
    akui_client_config_t config;
    (void)read_directives(&config, text);
    EXPECT_TRUE(config.menus_layout.tag == JSON_NONE || config.menus_layout.tag == JSON_ARRAY);
    EXPECT_TRUE(config.toolbars_layout.tag == JSON_NONE || config.toolbars_layout.tag == JSON_ARRAY);
  }
}

// The installed configuration with random bytes changed, dropped and repeated: read without a crash or a hang.
TEST(ClientConfig, MutatedInstalledFileIsReadWithoutCrash)
{
  qvector<qstring> files;
  ASSERT_TRUE(find_config_files(&files, "akui.cfg"));
  const std::string original = read_file(files[0].c_str());
  ASSERT_FALSE(original.empty());
  uint32_t seed = 0x39A0C0F6;
  const int runs = seeded_runs(300);
  for ( int run = 0; run < runs; ++run )
  {
    std::string text = original;
    const int edits = 1 + int(next_random(&seed) % 8);
    for ( int e = 0; e < edits && !text.empty(); ++e )
    {
      const size_t at = next_random(&seed) % text.size();
      switch ( next_random(&seed) % 4 )
      {
        case 0: text[at] = char(next_random(&seed)); break;
        case 1: text.erase(at, 1 + next_random(&seed) % 16); break;
        case 2: text.insert(at, text.substr(at, 1 + next_random(&seed) % 32)); break;
        default: text.insert(at, 1, "[]{}\",:=;\\"[next_random(&seed) % 10]); break;
      }
    }
    SCOPED_TRACE(run);
    recording_ui_callback_t ui;
    akui_client_config_t config;
    (void)read_directives(&config, text);
  }
}

} // namespace

// The real program on its own display: started against the test server, seen on the screen, driven by a user's
// keys and clicks, ended the ways a user ends it; its exit codes, its stored desktop and the server's record.
#include "core/directories.h"
#include "platform/registry_store.h"
#include "repo/rpc_packet.h"
#include "tests/client/child_program.h"
#include "tests/client/x_user.h"
#include "tests/repo/test_server_client.h"
#include "tests/support/file_contents.h"
#include "tests/ui/app/screenshots.h"

#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto window_wait = 20s;
constexpr auto exit_wait = 20s;

class ProgramOnDisplay : public test_server_fixture_t
{
protected:
  void SetUp() override
  {
    test_server_fixture_t::SetUp();
    ASSERT_TRUE(x.ready()) << "no X display with the input extension";
    home = fs::temp_directory_path() / "akui-home";
    fs::remove_all(home);
    fs::create_directories(home / "config");
  }

  fs::path program() const { return fs::path(install_directory(nullptr)) / "akui"; }

  std::map<std::string, std::string> environment(bool with_password) const
  {
    std::map<std::string, std::string> env {{"HOME", home.string()},
                                            {"XDG_CONFIG_HOME", (home / "config").string()},
                                            {"QT_QPA_PLATFORM", "xcb"}};
    // Under the sanitizers: the D-Bus library that Qt uses on a display keeps a buffer to the end, no fault of
    // the program's.
    const fs::path suppressions = home / "lsan.supp";
    write_file(suppressions, "leak:libdbus-1.so\n");
    const char *lsan = std::getenv("LSAN_OPTIONS");
    env["LSAN_OPTIONS"] = (lsan != nullptr && *lsan != 0 ? std::string(lsan) + ":" : std::string())
                          + "suppressions=" + suppressions.string();
    if ( with_password )
      env["ARKIVE_PASS"] = "secret";
    return env;
  }

  std::vector<std::string> login_args() const
  {
    return {"-h127.0.0.1:" + std::to_string(server.tls_port()), "-ualice", "-sws"};
  }

  // Lets this process paint nothing and the screen settle, then grabs it.
  static void screenshot(const char *step)
  {
    QTest::qWait(150);
    EXPECT_FALSE(save_screen_screenshot(QString::fromLatin1(step)).isEmpty());
  }

  // The stored desktop of the program's settings under home ("" when there is none).
  std::string stored_desktop() const
  {
    registry_store_t store(registry_store_t::default_dir((home / "config").string(), home.string()));
    if ( store.begin(false) != 0 )
      return {};
    const registry_value_t *value = store.find_value("Software\\Quorvin\\akui\\Desktops", "main_desktop");
    std::string text = value != nullptr ? value->data : std::string();
    store.abandon();
    return text;
  }

  // Crash reports the program left in its working folder or its temporary folder.
  std::vector<fs::path> crash_reports() const
  {
    std::vector<fs::path> found;
    for ( const fs::path &dir : {home, fs::temp_directory_path()} )
      for ( const fs::directory_entry &entry : fs::directory_iterator(dir) )
        if ( entry.path().extension() == ".dmp" )
          found.push_back(entry.path());
    return found;
  }

  // The program's wanted window once it is on the screen and has stayed in one place for a while (windows are
  // placed after they map); window 0 when it did not come.
  x_window_info_t wait_until_placed(const child_program_t &akui,
                                    const std::function<bool(const x_window_info_t &)> &wanted) const
  {
    x_window_info_t shown = x.wait_for_window(akui.pid(), window_wait, wanted);
    const auto end = std::chrono::steady_clock::now() + window_wait;
    auto still_since = std::chrono::steady_clock::now();
    while ( shown.window != 0 && std::chrono::steady_clock::now() - still_since < 300ms )
    {
      if ( std::chrono::steady_clock::now() >= end )
        return {};
      std::this_thread::sleep_for(20ms);
      const x_window_info_t again = x.wait_for_window(akui.pid(), window_wait, wanted);
      if ( again.geometry != shown.geometry )
        still_since = std::chrono::steady_clock::now();
      shown = again;
    }
    return shown;
  }

  static std::function<bool(const x_window_info_t &)> titled(const char *title)
  {
    return [title](const x_window_info_t &info) { return info.title == title; };
  }

  // The user quits from the File menu: a click makes the window active, Alt+F opens the menu, "x" is Exit's key.
  // A busy program may take the keys before the click made its window active: the user tries again.
  void quit_from_file_menu(const x_window_info_t &window, child_program_t &akui)
  {
    const auto is_menu = [&window](const x_window_info_t &info) { return info.window != window.window; };
    x_window_info_t menu;
    for ( int attempt = 0; attempt < 3 && menu.window == 0; ++attempt )
    {
      x.click(window, QPoint(window.geometry.width() - 30, 10)); // the menu bar right of its menus
      std::this_thread::sleep_for(100ms);
      x.press({"Alt_L", "f"});
      menu = x.wait_for_window(akui.pid(), 3s, is_menu);
    }
    ASSERT_NE(menu.window, 0u) << "the File menu did not open";
    screenshot("file-menu");
    x.press({"x"});
  }

  static constexpr char main_window_title[] = "ZUK Kollab";
  x_user_t x;
  fs::path home;
};

// Whether the server received a request of this type.
bool received(const arkive_test_server_t &server, uint8_t type)
{
  for ( const recorded_frame_t &frame : server.received() )
    if ( frame.type == type )
      return true;
  return false;
}

TEST_F(ProgramOnDisplay, LogsInShowsTheDesktopAndQuitsFromTheFileMenu)
{
  child_program_t akui(program(), login_args(), environment(true), home);
  const x_window_info_t window = wait_until_placed(akui, titled(main_window_title));
  ASSERT_NE(window.window, 0u) << akui.output();
  const auto end = std::chrono::steady_clock::now() + window_wait;
  while ( !received(server, USE_SITE) && std::chrono::steady_clock::now() < end )
    std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(received(server, LOGIN));
  EXPECT_TRUE(received(server, USE_SITE));
  screenshot("main-window");

  quit_from_file_menu(window, akui);
  EXPECT_EQ(akui.wait_exit(exit_wait), 0) << akui.output();
  screenshot("ended");
  const std::string desktop = stored_desktop();
  EXPECT_NE(desktop.find("\"layout\":"), std::string::npos) << desktop;
  EXPECT_NE(desktop.find("\"Log\""), std::string::npos) << desktop;
  EXPECT_EQ(desktop.find('\n'), std::string::npos) << "not compact: " << desktop;
  EXPECT_TRUE(crash_reports().empty());
}

TEST_F(ProgramOnDisplay, CancellingTheFirstConnectDialogEndsWith0AndKeepsTheDesktop)
{
  {
    child_program_t akui(program(), login_args(), environment(true), home);
    const x_window_info_t window = wait_until_placed(akui, titled(main_window_title));
    ASSERT_NE(window.window, 0u) << akui.output();
    quit_from_file_menu(window, akui);
    ASSERT_EQ(akui.wait_exit(exit_wait), 0) << akui.output();
  }
  const std::string desktop = stored_desktop();
  ASSERT_FALSE(desktop.empty());

  // Without a password the start asks for one; the user cancels.
  child_program_t akui(program(), {"-h127.0.0.1:" + std::to_string(server.tls_port()), "-ubob"},
                       environment(false), home);
  const x_window_info_t dialog = wait_until_placed(akui, [](const x_window_info_t &info) {
    return info.title != main_window_title;
  });
  ASSERT_NE(dialog.window, 0u) << akui.output();
  screenshot("connect-dialog");
  x.click(dialog, QPoint(dialog.geometry.width() / 2, 5));
  std::this_thread::sleep_for(100ms);
  x.press({"Escape"});
  EXPECT_EQ(akui.wait_exit(exit_wait), 0) << akui.output();
  EXPECT_EQ(stored_desktop(), desktop);
  EXPECT_TRUE(crash_reports().empty());
}

// A copy of the program with its catalogue and a configuration that lacks one layout: a fatal box, then exit 1.
TEST_F(ProgramOnDisplay, AMissingLayoutIsAFatalBoxAndExit1)
{
  const fs::path installed(install_directory(nullptr));
  const std::string config = read_file(installed / "cfg" / "akui.cfg");
  for ( const char *layout : {"MENUS_LAYOUT", "TOOLBARS_LAYOUT"} )
  {
    SCOPED_TRACE(layout);
    const fs::path copy = home / "program";
    fs::remove_all(copy);
    fs::create_directories(copy / "cfg");
    fs::copy_file(program(), copy / "akui");
    fs::copy_file(installed / "zuk.hlp", copy / "zuk.hlp");
    // The directive goes, up to the line that closes its array.
    std::string without = config;
    const size_t at = without.find(std::string(layout) + " = [");
    const size_t end = without.find("\n]\n", at);
    ASSERT_NE(end, std::string::npos);
    without.erase(at, end + 3 - at);
    write_file(copy / "cfg" / "akui.cfg", without);

    child_program_t akui(copy / "akui", login_args(), environment(true), home);
    const x_window_info_t box = wait_until_placed(akui, [](const x_window_info_t &info) {
      return info.title != main_window_title;
    });
    ASSERT_NE(box.window, 0u) << akui.output();
    screenshot(layout);
    x.click(box, QPoint(box.geometry.width() / 2, 5));
    std::this_thread::sleep_for(100ms);
    x.press({"Return"});
    EXPECT_EQ(akui.wait_exit(exit_wait), 1) << akui.output();
    EXPECT_NE(akui.output().find("Missing \"" + std::string(layout) + "\" directive in configuration file."),
              std::string::npos)
      << akui.output();
    EXPECT_FALSE(received(server, LOGIN));
  }
}


} // namespace

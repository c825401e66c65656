// The end-to-end fixture: the real akui on this test's X display, against the test server hosted in this
// process, with a private home, settings folder and work directory; a user's keys and clicks through the X
// server's input extension, and what the windows show through the program's probe channel.
#pragma once

#include "tests/client/child_program.h"
#include "tests/client/x_user.h"
#include "tests/e2e/window_reader.h"
#include "tests/server/arkive_test_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class akui_run_t : public testing::Test
{
protected:
  // Seeds the server: alice (password "secret", administrator), bob ("builder"); a site of alice on this
  // computer (the one the login proposes) rooted at `work`; text files and a database in folders.
  void SetUp() override;
  // Prints the windows' texts and the server's record when the test failed, then ends the program.
  void TearDown() override;

  // Starts akui with the arguments; a running one must have ended before.
  void start_akui(const std::vector<std::string> &args = {}, const std::string &password = {});
  // Starts akui logged in as alice on her site from the command line, and waits until the status line names the
  // site.
  void start_logged_in();
  // Waits for the program to end by itself; its exit code, -1 when it did not end in time.
  int wait_akui_exit();

  // What the windows show now.
  shown_screen_t screen();
  // Waits until the condition holds on what the windows show; false (and a failure naming `what`, with the
  // visible texts) when the time runs out.
  bool wait_for(const std::string &what, const std::function<bool(const shown_screen_t &)> &holds,
                std::chrono::milliseconds limit = std::chrono::seconds(20));
  // Waits for a window with the title and answers it (null after a failure).
  std::unique_ptr<shown_window_t> wait_window(const QString &title);

  // The user's hands.
  void click(const shown_widget_t &widget);
  void click_row(const shown_row_t &row);
  // Clicks into the field, selects what it holds and types the text over it.
  void type_into(const shown_widget_t &field, const std::string &text);
  void press(const std::vector<std::string> &keys);

  // Opens a menu of the main window's menu bar and chooses an entry, by their texts ("&" ignored).
  void choose_menu(const QString &menu, const QString &entry);
  // Opens the context menu of the focused view's current row with the keyboard's menu key and chooses the entry;
  // "Menu/Entry" chooses in a submenu.
  void choose_context_entry(const QString &entry);
  // Clicks the entry of the open menu once the menu stands still; `menu` names the menu in a failure and in the
  // screenshot's name.
  void click_menu_entry(const std::string &menu, const QString &entry);
  // The entries of a menu of the menu bar (separators left out) with whether each is enabled, as the open menu
  // shows them; the menu is closed again.
  std::vector<std::pair<QString, bool>> menu_entries(const QString &menu);
  // Waits until a label of the main window (the status bar's among them) shows the text.
  bool status_shows(const std::string &text);
  // The visible view (tree or list) of the class, or null.
  static const shown_widget_t *view_of_class(const shown_screen_t &shown, const QString &cls);
  // Finds a view in what the windows show, or null; `view_name` names it in a failure.
  using view_finder_t = std::function<const shown_widget_t *(const shown_screen_t &)>;
  static view_finder_t class_finder(const QString &view_class);
  // Waits until the view of the class shows a row in sight whose first column is `text`; that row, or one with
  // no place.
  shown_row_t wait_row(const QString &view_class, const QString &text);
  shown_row_t wait_row(const std::string &view_name, const view_finder_t &view_of, const QString &text);
  // Clicks the row until the view shows it selected and holds the keyboard focus (a window that was just shown
  // may still move); false with a failure when it never does.
  bool select_row(const QString &view_class, const QString &text);
  bool select_row(const std::string &view_name, const view_finder_t &view_of, const QString &text);

  // A screenshot of the whole display as "screenshots/e2e/<test>-<NN>-<step>.png".
  void step(const std::string &name);

  // Whether the server received a request of the type since the last clear.
  [[nodiscard]] bool received(uint8_t type) const;
  // Waits until the server received a request of the type.
  bool wait_received(uint8_t type, const std::string &what);

  // The "host:port" of the server's TLS endpoint.
  [[nodiscard]] std::string server_endpoint() const;

  arkive_test_server_t server;
  x_user_t x;
  std::filesystem::path home;
  std::filesystem::path work;
  std::unique_ptr<child_program_t> akui;
  window_reader_t reader;
  std::string site_name; // alice's site on this computer

private:
  // Clicks the menu of the main window's menu bar open.
  void open_menu(const QString &menu);

  std::filesystem::path socket_path_;
  int steps_ = 0;
};

// The classes of the windows and views the tests look for.
inline const QString main_window_class = QStringLiteral("akui_main_window_t");
inline const QString arkive_files_class = QStringLiteral("arkive_files_dirtree_widget_t");
inline const QString local_files_class = QStringLiteral("local_files_dirtree_widget_t");

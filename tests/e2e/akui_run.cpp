// The end-to-end fixture's body: the seeded server, the program's start and end, waits on what it shows.
#include "tests/e2e/akui_run.h"

#include "test_paths.h"

#include "client/app/login.h"
#include "core/directories.h"
#include "core/environment.h"
#include "repo/rpc_packet.h"
#include "tests/server/seed_file.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QPixmap>
#include <QScreen>

#include <algorithm>
#include <cstdio>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr auto exit_wait = 20s;

// Where the program's keys land once its window shows: a new window takes focus a moment after it maps.
constexpr auto settle = 150ms;

} // namespace

void akui_run_t::SetUp()
{
  ASSERT_TRUE(x.ready()) << "no X display with the input extension";
  home = fs::temp_directory_path() / "akui-e2e";
  fs::remove_all(home);
  work = home / "work";
  fs::create_directories(home / "config");
  fs::create_directories(work);
  socket_path_ = home / "probe.sock";
  qstring computer;
  qstring proposal;
  ASSERT_TRUE(local_computer_name(&computer));
  ASSERT_TRUE(propose_site_name(&proposal, "alice", computer.c_str())) << computer.c_str();
  site_name = proposal.c_str();
  std::string error;
  ASSERT_TRUE(load_seed_text(server.repository(),
                             "user alice secret admin name=Alice email=alice@example.org\n"
                             "user bob builder name=Bob\n"
                             "site " + site_name + " alice " + work.string() + " " + computer.c_str() + "\n"
                             "site bob-ws bob " + (home / "bob-ws").string() + " bob-pc\n"
                             "commit alice " + site_name + " import //depot/readme.txt=\"Hello\" "
                             "//depot/src/main.c=\"int main(void) { return 0; }\" "
                             "//depot/db/model.zdb=\"ZDB1 model\"\n"
                             "permission * //depot/... 3\n",
                             &error))
    << error;
  // The site holds revision 1 of every file: the work directory holds what a sync brought.
  for ( const auto &[path, content] : {std::pair<const char *, const char *> {"depot/readme.txt", "Hello"},
                                       {"depot/src/main.c", "int main(void) { return 0; }"},
                                       {"depot/db/model.zdb", "ZDB1 model"}} )
  {
    fs::create_directories((work / path).parent_path());
    FILE *file = std::fopen((work / path).c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs(content, file);
    std::fclose(file);
  }
  ASSERT_TRUE(server.start(&error)) << error;
  ASSERT_NE(server.tls_port(), 0) << "the build's root CA key is needed for the TLS port";
}

void akui_run_t::TearDown()
{
  if ( HasFailure() )
  {
    std::printf("--- what the windows show\n%s", screen().visible_texts().c_str());
    std::printf("--- what the server received\n");
    for ( const recorded_frame_t &frame : server.received() )
      std::printf("connection %d: request %d, %zu bytes\n", frame.connection, int(frame.type), frame.body.size());
    if ( akui != nullptr )
      std::printf("--- what akui wrote\n%s", akui->output().c_str());
    step("failed");
  }
  reader.disconnect();
  akui.reset();
}

void akui_run_t::start_akui(const std::vector<std::string> &args, const std::string &password)
{
  reader.disconnect();
  std::error_code ignored;
  fs::remove(socket_path_, ignored);
  const fs::path program = fs::path(install_directory(nullptr)) / "akui";
  std::map<std::string, std::string> env {{"HOME", home.string()},
                                          {"XDG_CONFIG_HOME", (home / "config").string()},
                                          {"QT_QPA_PLATFORM", "xcb"},
                                          {"AKUI_PROBE", socket_path_.string()}};
  // Under the sanitizers: the D-Bus library that Qt uses on a display keeps a buffer to the end.
  const fs::path suppressions = home / "lsan.supp";
  FILE *file = std::fopen(suppressions.c_str(), "w");
  if ( file != nullptr )
  {
    std::fputs("leak:libdbus-1.so\n", file);
    std::fclose(file);
  }
  const char *lsan = std::getenv("LSAN_OPTIONS");
  env["LSAN_OPTIONS"] = (lsan != nullptr && *lsan != 0 ? std::string(lsan) + ":" : std::string())
                        + "suppressions=" + suppressions.string();
  if ( !password.empty() )
    env["ARKIVE_PASS"] = password;
  akui = std::make_unique<child_program_t>(program, args, env, home);
  const auto end = std::chrono::steady_clock::now() + 20s;
  while ( !reader.connect_to(socket_path_.string()) )
  {
    if ( std::chrono::steady_clock::now() >= end || !akui->running() )
    {
      ADD_FAILURE() << "akui did not open its probe socket:\n" << akui->output();
      return;
    }
    std::this_thread::sleep_for(10ms);
  }
}

void akui_run_t::start_logged_in()
{
  start_akui({"-h" + server_endpoint(), "-ualice", "-s" + site_name}, "secret");
  // The site's actions come with the status line that names the site.
  (void)status_shows("Local site: " + site_name);
}

int akui_run_t::wait_akui_exit()
{
  const int code = akui != nullptr ? akui->wait_exit(exit_wait) : -1;
  reader.disconnect();
  return code;
}

shown_screen_t akui_run_t::screen()
{
  return reader.snapshot();
}

bool akui_run_t::wait_for(const std::string &what, const std::function<bool(const shown_screen_t &)> &holds,
                          std::chrono::milliseconds limit)
{
  const auto end = std::chrono::steady_clock::now() + limit;
  for ( ;; )
  {
    const shown_screen_t shown = screen();
    if ( holds(shown) )
      return true;
    if ( std::chrono::steady_clock::now() >= end || akui == nullptr || !akui->running() )
    {
      ADD_FAILURE() << "waited in vain for " << what << "; the windows show:\n" << shown.visible_texts();
      return false;
    }
    std::this_thread::sleep_for(20ms);
  }
}

std::unique_ptr<shown_window_t> akui_run_t::wait_window(const QString &title)
{
  // A window that was just shown may still be placed and laid out: it counts once it stayed where it is.
  std::unique_ptr<shown_window_t> found;
  auto still_since = std::chrono::steady_clock::now();
  (void)wait_for("the window \"" + title.toStdString() + "\"", [&](const shown_screen_t &shown) {
    const shown_window_t *window = shown.window(title);
    if ( window == nullptr || !window->active )
    {
      found.reset();
      return false;
    }
    const auto now = std::chrono::steady_clock::now();
    const bool moved = found == nullptr || found->rect != window->rect || found->widgets.size() != window->widgets.size()
                       || (!window->widgets.empty() && found->widgets.back().rect != window->widgets.back().rect);
    if ( moved )
    {
      found = std::make_unique<shown_window_t>(*window);
      still_since = now;
      return false;
    }
    return now - still_since >= settle;
  });
  return found;
}

void akui_run_t::click(const shown_widget_t &widget)
{
  x.click_at(widget.rect.center());
}

void akui_run_t::click_row(const shown_row_t &row)
{
  x.click_at(row.rect.center());
}

void akui_run_t::type_into(const shown_widget_t &field, const std::string &text)
{
  // The widget inside the field's rectangle that shows the text (a combo box's line edit, or the field itself).
  const auto editor = [&field](const shown_screen_t &shown) -> const shown_widget_t * {
    for ( const shown_window_t &window : shown.windows )
      for ( const shown_widget_t &widget : window.widgets )
        if ( widget.kind == "QLineEdit" && field.rect.contains(widget.rect) )
          return &widget;
    return nullptr;
  };
  const auto popup_open = [](const shown_screen_t &shown) {
    for ( const shown_window_t &window : shown.windows )
      if ( window.cls == "QListView" || window.cls == "QComboBoxPrivateContainer" )
        return true;
    return false;
  };
  // A click near the field's left edge: inside a combo box's text, not on its arrow.
  x.click_at(QPoint(field.rect.left() + 8, field.rect.center().y()));
  if ( !wait_for("the keyboard focus in the field", [&](const shown_screen_t &shown) {
         const shown_widget_t *edit = editor(shown);
         return edit != nullptr && edit->focus;
       }) )
    return;
  x.press({"Control_L", "a"});
  x.type(text);
  (void)wait_for("the typed text \"" + text + "\"", [&](const shown_screen_t &shown) {
    const shown_widget_t *edit = editor(shown);
    return edit != nullptr && edit->text.toStdString() == text;
  });
  // A field with a history pops up its earlier entries under it a moment later; the user closes the list with
  // Escape.
  std::this_thread::sleep_for(settle);
  if ( popup_open(screen()) )
  {
    x.press({"Escape"});
    (void)wait_for("the list of earlier entries to close", [&](const shown_screen_t &shown) { return !popup_open(shown); });
  }
}

void akui_run_t::press(const std::vector<std::string> &keys)
{
  x.press(keys);
}

void akui_run_t::choose_menu(const QString &menu, const QString &entry)
{
  ASSERT_NO_FATAL_FAILURE(open_menu(menu));
  click_menu_entry(menu.toStdString(), entry);
}

void akui_run_t::open_menu(const QString &menu)
{
  const auto rect_of = [](const QJsonObject &item) {
    const QJsonArray r = item["rect"].toArray();
    return QRect(r[0].toInt(), r[1].toInt(), r[2].toInt(), r[3].toInt());
  };
  QRect menu_rect;
  ASSERT_TRUE(wait_for("the menu bar", [&](const shown_screen_t &shown) {
    const shown_window_t *main = shown.window_of_class(main_window_class);
    if ( main != nullptr )
      for ( const shown_widget_t *bar : main->all("QMenuBar") )
        for ( const QJsonValue &item : bar->raw["items"].toArray() )
          if ( item.toObject()["text"].toString() == menu )
            menu_rect = rect_of(item.toObject());
    return !menu_rect.isNull();
  }));
  x.click_at(menu_rect.center());
}

std::vector<std::pair<QString, bool>> akui_run_t::menu_entries(const QString &menu)
{
  std::vector<std::pair<QString, bool>> entries;
  open_menu(menu);
  (void)wait_for("the " + menu.toStdString() + " menu open", [&](const shown_screen_t &shown) {
    for ( const shown_window_t &window : shown.windows )
      for ( const shown_widget_t *popup : window.all("QMenu") )
        for ( const QJsonValue &value : popup->raw["items"].toArray() )
          if ( const QJsonObject item = value.toObject(); !item["separator"].toBool() )
            entries.emplace_back(item["text"].toString(), item["enabled"].toBool());
    return !entries.empty();
  });
  step("menu-" + menu.toStdString());
  x.press({"Escape"});
  // A click that comes while the menu is still open only closes it.
  (void)wait_for("the " + menu.toStdString() + " menu to close", [](const shown_screen_t &shown) {
    return std::none_of(shown.windows.begin(), shown.windows.end(),
                        [](const shown_window_t &window) { return !window.all("QMenu").empty(); });
  });
  return entries;
}

bool akui_run_t::status_shows(const std::string &text)
{
  return wait_for("the status \"" + text + "\"", [&](const shown_screen_t &shown) {
    if ( const shown_window_t *main = shown.window_of_class(main_window_class) )
      for ( const shown_widget_t *label : main->all("QLabel") )
        if ( label->text.toStdString().find(text) != std::string::npos )
          return true;
    return false;
  });
}

const shown_widget_t *akui_run_t::view_of_class(const shown_screen_t &shown, const QString &cls)
{
  for ( const shown_window_t &window : shown.windows )
    for ( const shown_widget_t &widget : window.widgets )
      if ( widget.cls == cls )
        return &widget;
  return nullptr;
}

shown_row_t akui_run_t::wait_row(const QString &view_class, const QString &text)
{
  return wait_row(view_class.toStdString(), class_finder(view_class), text);
}

shown_row_t akui_run_t::wait_row(const std::string &view_name, const view_finder_t &view_of, const QString &text)
{
  shown_row_t found;
  const auto in_sight = [&](const shown_screen_t &shown) {
    if ( const shown_widget_t *view = view_of(shown) )
      for ( const shown_row_t &row : view->rows )
        if ( !row.texts.isEmpty() && row.texts[0] == text && !row.rect.isEmpty() )
        {
          found = row;
          return true;
        }
    return false;
  };
  (void)wait_for("the row \"" + text.toStdString() + "\" in sight in " + view_name, in_sight);
  return found;
}

bool akui_run_t::select_row(const QString &view_class, const QString &text)
{
  return select_row(view_class.toStdString(), class_finder(view_class), text);
}

bool akui_run_t::select_row(const std::string &view_name, const view_finder_t &view_of, const QString &text)
{
  // Keys go to the view only once its window is active and the view holds the focus: a click into a window that
  // a closed dialog left inactive asks for the focus, and the program gets it a moment later. A key pressed before
  // goes to no view.
  const auto ready = [&](const shown_screen_t &shown) {
    const shown_widget_t *view = view_of(shown);
    if ( view == nullptr || !view->focus )
      return false;
    for ( const shown_row_t &row : view->rows )
      if ( !row.texts.isEmpty() && row.texts[0] == text && row.selected )
        return true;
    return false;
  };
  if ( ready(screen()) )
    return true;
  for ( int attempt = 0; attempt < 5; ++attempt )
  {
    const shown_row_t row = wait_row(view_name, view_of, text);
    if ( row.rect.isEmpty() )
      return false;
    click_row(row);
    const auto end = std::chrono::steady_clock::now() + 2s;
    while ( std::chrono::steady_clock::now() < end )
    {
      if ( ready(screen()) )
        return true;
      std::this_thread::sleep_for(20ms);
    }
  }
  ADD_FAILURE() << "the row \"" << text.toStdString() << "\" of " << view_name
                << " never showed selected in the focused view; the windows show:\n" << screen().visible_texts();
  return false;
}

akui_run_t::view_finder_t akui_run_t::class_finder(const QString &view_class)
{
  return [view_class](const shown_screen_t &shown) { return view_of_class(shown, view_class); };
}

void akui_run_t::step(const std::string &name)
{
  std::this_thread::sleep_for(settle);
  const auto *info = testing::UnitTest::GetInstance()->current_test_info();
  char number[16];
  std::snprintf(number, sizeof(number), "%02d", ++steps_);
  const fs::path dir = fs::path(AKUI_SCREENSHOT_DIR) / "e2e";
  std::error_code ignored;
  fs::create_directories(dir, ignored);
  const std::string file = std::string(info != nullptr ? info->name() : "run") + "-" + number + "-" + name + ".png";
  QScreen *screen = QGuiApplication::primaryScreen();
  const QPixmap shot = screen != nullptr ? screen->grabWindow(0) : QPixmap();
  EXPECT_TRUE(!shot.isNull() && shot.save(QString::fromStdString((dir / file).string()), "PNG")) << file;
}

bool akui_run_t::received(uint8_t type) const
{
  for ( const recorded_frame_t &frame : server.received() )
    if ( frame.type == type )
      return true;
  return false;
}

bool akui_run_t::wait_received(uint8_t type, const std::string &what)
{
  const auto end = std::chrono::steady_clock::now() + 20s;
  while ( !received(type) )
  {
    if ( std::chrono::steady_clock::now() >= end )
    {
      ADD_FAILURE() << "the server never received " << what;
      return false;
    }
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

std::string akui_run_t::server_endpoint() const
{
  return "127.0.0.1:" + std::to_string(server.tls_port());
}

void akui_run_t::choose_context_entry(const QString &entry)
{
  // The keyboard's menu key opens the context menu of the focused view at its current row. A view that is
  // reloading may let the key pass: the user presses it again.
  const auto menu_open = [this] {
    for ( const shown_window_t &window : screen().windows )
      if ( !window.all("QMenu").empty() && window.cls != main_window_class )
        return true;
    return false;
  };
  for ( int attempt = 0; attempt < 3 && !menu_open(); ++attempt )
  {
    x.press({"Menu"});
    const auto end = std::chrono::steady_clock::now() + 2s;
    while ( !menu_open() && std::chrono::steady_clock::now() < end )
      std::this_thread::sleep_for(20ms);
  }
  const qsizetype slash = entry.indexOf('/');
  if ( slash >= 0 )
  {
    ASSERT_NO_FATAL_FAILURE(click_menu_entry("context", entry.left(slash)));
  }
  click_menu_entry(slash >= 0 ? entry.left(slash).toStdString() : "context", entry.mid(slash + 1));
}

void akui_run_t::click_menu_entry(const std::string &menu, const QString &entry)
{
  // The user clicks the entry once the menu stands still: arrow keys would race with the highlight that an entry
  // under the pointer takes a moment after the menu opens.
  const auto rect_of = [](const QJsonObject &item) {
    const QJsonArray r = item["rect"].toArray();
    return QRect(r[0].toInt(), r[1].toInt(), r[2].toInt(), r[3].toInt());
  };
  QRect place;
  bool enabled = false;
  const auto place_of_entry = [&](const shown_screen_t &shown) {
    for ( const shown_window_t &window : shown.windows )
      for ( const shown_widget_t *popup : window.all("QMenu") )
        for ( const QJsonValue &value : popup->raw["items"].toArray() )
        {
          const QJsonObject item = value.toObject();
          if ( item["text"].toString() == QString(entry).remove('&') )
          {
            place = rect_of(item);
            enabled = item["enabled"].toBool();
            return !place.isEmpty();
          }
        }
    return false;
  };
  const std::string what = "the entry " + entry.toStdString() + " of the " + menu + " menu";
  QRect before;
  ASSERT_TRUE(wait_for(what + " standing still", [&](const shown_screen_t &shown) {
    before = place;
    return place_of_entry(shown) && place == before;
  }));
  step("menu-" + menu);
  ASSERT_TRUE(enabled) << entry.toStdString() << " is disabled";
  x.click_at(place.center());
}

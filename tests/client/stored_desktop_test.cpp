// The stored desktop on the real window: the default layout of a first start, storing at close and restoring,
// and stored desktops that are broken.
#include "client/app/akui_app.h"
#include "client/app/akui_main_window.h"
#include "client/app/stored_desktop.h"
#include "core/json_reader.h"
#include "core/json_writer.h"
#include "core/registry.h"
#include "tests/client/client_session.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/support/seeded_random.h"
#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/screenshots.h"
#include "ui/desktop_layout.h"
#include "ui/docks/dock_area.h"
#include "ui/docks/dock_node.h"

#include <QMenuBar>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::chrono_literals;

// A dock tree as text: "type[partitions](children)" for composites, the title for leaves.
std::string describe(const json_value_t &node)
{
  if ( node.tag == JSON_STRING )
    return json_get_string(&node);
  if ( node.tag != JSON_OBJECT )
    return "?";
  const json_object_t *object = json_value_as_object(&node);
  std::string text;
  if ( const json_value_t *type = json_object_find(object, "type", JSON_STRING) )
    text = json_get_string(type);
  if ( const json_value_t *parts = json_object_find(object, "partitions", JSON_ARRAY) )
  {
    text += "[";
    for ( const json_value_t &p : *json_as_array(parts) )
      text += (text.back() == '[' ? "" : ",") + std::to_string(p.tag == JSON_INT ? json_value_as_int(&p) : -1);
    text += "]";
  }
  text += "(";
  if ( const json_value_t *children = json_object_find(object, "children", JSON_ARRAY) )
    for ( const json_value_t &child : *json_as_array(children) )
      text += (text.back() == '(' ? "" : ",") + describe(child);
  return text + ")";
}

// The main area's tree and the focus of the present desktop.
std::string present_layout(std::string *focus = nullptr)
{
  desktop_config_t current;
  EXPECT_TRUE(client_session().app->save_desktop(current));
  const json_object_t *layout = desktop_layout_object(current);
  const json_value_t *main = layout != nullptr ? json_object_find(layout, "main", JSON_OBJECT) : nullptr;
  if ( focus != nullptr )
  {
    const json_value_t *f = json_object_find(current.object(), "focus", JSON_STRING);
    *focus = f != nullptr ? json_get_string(f) : "";
  }
  return main != nullptr ? describe(*main) : "none";
}

const char default_tree[] = "vsplit[80,20](hsplit[30,70](tabs(Arkive files,Local files),tabs(Worklists,Commits)),Log)";

class StoredDesktop : public testing::Test
{
protected:
  void SetUp() override
  {
    (void)registry_remove_value(main_desktop_value, desktops_key);
    show_window();
  }
  // Shows the window as the start-up does, active as a user's new window is.
  static void show_window()
  {
    window().show();
    window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
  }
  void TearDown() override { (void)registry_remove_value(main_desktop_value, desktops_key); }

  static akui_main_window_t &window() { return *client_session().window; }
  static akui_app_t &app() { return *client_session().app; }
};

TEST_F(StoredDesktop, FirstStartShowsTheDefaultLayout)
{
  restore_main_window_state(app());
  restore_desktop(app());
  ASSERT_TRUE(pump_until([] {
    QWidget *focused = QApplication::focusWidget();
    return focused != nullptr && focused->windowTitle() == QStringLiteral("Arkive files");
  }, 5s));
  std::string focus;
  EXPECT_EQ(present_layout(&focus), default_tree);
  EXPECT_EQ(focus, "Arkive files");
  EXPECT_TRUE(window().isMaximized() || window().windowState().testFlag(Qt::WindowMaximized));
  int shown = 0;
  for ( const char *name : {"SyncToolBar", "CommitToolBar", "FilesToolBar", "ArkiveToolBar", "WorklistToolBar",
                            "ResolveToolBar", "MiscToolBar"} )
  {
    QToolBar *bar = window().find_toolbar(QString::fromLatin1(name));
    ASSERT_NE(bar, nullptr) << name;
    shown += bar->isVisible() ? 1 : 0;
  }
  EXPECT_EQ(shown, 7);
  save_screenshot(window(), QStringLiteral("default-desktop"));
}

TEST_F(StoredDesktop, ClosingStoresCompactJsonThatTheNextStartRestores)
{
  restore_desktop(app());
  // The user's own arrangement: the Log window among the right tabs; closing stores it.
  const char moved[] =
    R"({"layout":{"main":{"type":"hsplit","children":[{"type":"tabs","children":["Arkive files","Local files"]},)"
    R"({"type":"tabs","children":["Worklists","Commits","Log"],"index":2}],"partitions":[40,60]}},"focus":"Commits"})";
  desktop_config_t desktop;
  ASSERT_TRUE(desktop.parse_json(moved));
  ASSERT_TRUE(app().apply_desktop(desktop, 0));
  // The Commits view gives the focus to its list inside it.
  ASSERT_TRUE(pump_until([] {
    for ( QWidget *focused = QApplication::focusWidget(); focused != nullptr; focused = focused->parentWidget() )
      if ( focused->windowTitle() == QStringLiteral("Commits") )
        return true;
    return false;
  }, 5s));
  const std::string before = present_layout();
  ASSERT_TRUE(trigger_ui_action(find_ui_action("quit_akui")));
  ASSERT_TRUE(pump_until([] { return !window().isVisible(); }, 5s));
  qstring stored;
  ASSERT_TRUE(registry_read_text(&stored, main_desktop_value, desktops_key));
  EXPECT_EQ(stored.view().find('\n'), std::string_view::npos);
  json_value_t parsed;
  ASSERT_EQ(json_parse_text(&parsed, stored.c_str()), 0);
  qstring compact;
  ASSERT_TRUE(json_to_text(&compact, &parsed, 0));
  EXPECT_EQ(compact, stored);

  const json_value_t *stored_focus = json_object_find(json_value_as_object(&parsed), "focus", JSON_STRING);
  ASSERT_NE(stored_focus, nullptr);
  EXPECT_STREQ(json_get_string(stored_focus), "Commits");

  // The next start.
  show_window();
  restore_main_window_state(app());
  restore_desktop(app());
  EXPECT_EQ(present_layout(), before);
  save_screenshot(window(), QStringLiteral("restored-desktop"));
}

TEST_F(StoredDesktop, BrokenStoredDesktopsGiveTheDefaultLayout)
{
  std::string deep = R"({"layout":{"main":)";
  for ( int i = 0; i < 200; ++i )
    deep += R"({"type":"vsplit","children":[)";
  deep += R"("Log")";
  for ( int i = 0; i < 200; ++i )
    deep += "]}";
  deep += "}}";
  const std::string truncated = std::string(default_desktop_json).substr(0, 120);
  const struct
  {
    const char *name;
    std::string text;
  } cases[] = {
    {"not JSON", "this is no desktop"},
    {"an array", "[1,2,3]"},
    {"layout of the wrong type", R"({"layout":[]})"},
    {"main of the wrong type", R"({"layout":{"main":"Log"}})"},
    {"composite without children", R"({"layout":{"main":{"type":"tabs"}}})"},
    {"floating of the wrong type", R"({"layout":{"main":"Log","floating":{"a":1}}})"},
    {"absurd geometry",
     R"({"layout":{"main":{"type":"tabs","children":["Log"],"area_geom":{"frame_geometry":[-99999999,99999999,)"
     R"(2147483647,-2147483648],"maximized":"yes","screen_number":1e300}}}})"},
    {"unknown widget titles", R"({"layout":{"main":{"type":"tabs","children":["No such view","Nor this"]}}})"},
    {"deep nesting", deep},
    {"a truncated save", truncated},
    {"window state that inflates", R"({"layout":{"main":"Log"},"window_state":"78DA")" + std::string(4000, '0') +
                                      R"("})"},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.name);
    recording_ui_callback_t ui;
    registry_write_text(main_desktop_value, desktops_key, c.text.c_str());
    restore_main_window_state(app());
    restore_desktop(app());
    EXPECT_TRUE(window().isVisible());
    const std::string layout = present_layout();
    // A desktop that was refused gives the default; one that was applied shows what it could.
    EXPECT_NE(layout, "none");
    EXPECT_LE(ui.requests_of(ui_code_message).size(), 1u);
  }
}

TEST_F(StoredDesktop, MutatedSavedDesktopsNeverTakeTheWindowDown)
{
  restore_desktop(app());
  desktop_config_t saved;
  ASSERT_TRUE(app().save_desktop(saved));
  qstring text;
  ASSERT_TRUE(json_to_text(&text, &saved.value, 0));
  const std::string original(text.view());
  uint32_t seed = 0x40D35C70;
  const int runs = seeded_runs(60);
  for ( int run = 0; run < runs; ++run )
  {
    std::string mutated = original;
    const int edits = 1 + int(next_random(&seed) % 6);
    for ( int e = 0; e < edits && !mutated.empty(); ++e )
    {
      const size_t at = next_random(&seed) % mutated.size();
      switch ( next_random(&seed) % 4 )
      {
        case 0: mutated[at] = "0123456789[]{}\",:-ae"[next_random(&seed) % 20]; break;
        case 1: mutated.erase(at, 1 + next_random(&seed) % 12); break;
        case 2: mutated.insert(at, mutated.substr(at, 1 + next_random(&seed) % 40)); break;
        default: mutated.insert(at, "99999999999"); break;
      }
    }
    SCOPED_TRACE(mutated);
    recording_ui_callback_t ui;
    registry_write_text(main_desktop_value, desktops_key, mutated.c_str());
    restore_main_window_state(app());
    restore_desktop(app());
    ASSERT_TRUE(window().isVisible());
    ASSERT_EQ(app().log_widget(), client_session().log);
  }
}

TEST_F(StoredDesktop, WithoutMenubarTheDefaultMenusShow)
{
  registry_write_text(main_desktop_value, desktops_key, default_desktop_json);
  restore_main_window_state(app());
  restore_desktop(app());
  QStringList titles;
  for ( QAction *menu : window().menuBar()->actions() )
    if ( menu->isVisible() )
      titles << menu->text().remove(QLatin1Char('&'));
  EXPECT_EQ(titles, QStringList({"File", "View", "Actions", "Search", "Help"}));
}

} // namespace

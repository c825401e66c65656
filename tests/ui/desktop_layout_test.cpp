// Saving and applying desktops: the round trip of the client's default desktop, what the writer leaves out,
// where the reader finds widgets, the apply flags, widgets a desktop leaves out, and stored desktops that are
// refused whole.
#include "core/zlib_stream.h"
#include "tests/support/interr_capture.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/support/seeded_random.h"
#include "tests/support/test_scale.h"
#include "tests/ui/desktop_test_support.h"
#include "ui/json_build.h"
#include "ui/window_geometry.h"

#include <QScreen>
#include <QSplitter>
#include <QtTest/QTest>

#include <map>
#include <tuple>
#include <vector>

namespace {

using DesktopLayout = DesktopFixture;

// ---- The record ------------------------------------------------------------------------------------------------

TEST(DesktopConfig, OnlyObjectsAreAdoptedAndOnce)
{
  struct
  {
    const char *text;
    bool parsed;
    bool has_layout;
    bool layout_object;
  } const cases[] = {
    {"[]", false, false, false},
    {"{", false, false, false},
    {"\"layout\"", false, false, false},
    {"{}", true, false, false},
    {"{layout: 1}", true, true, false},
    {"{layout: {}}", true, true, true},
  };
  for ( const auto &c : cases )
  {
    desktop_config_t desktop;
    EXPECT_EQ(desktop.parse_json(c.text), c.parsed) << c.text;
    EXPECT_EQ(desktop.has_layout, c.has_layout) << c.text;
    EXPECT_EQ(desktop_layout_object(desktop) != nullptr, c.layout_object) << c.text;
    EXPECT_EQ(desktop.object() != nullptr, c.parsed) << c.text;
  }
  desktop_config_t desktop;
  ASSERT_TRUE(desktop.parse_json("{}"));
  EXPECT_EQ(interr_number([&] { (void)desktop.parse_json("{}"); }), 40613);
  desktop_config_t other;
  EXPECT_FALSE(other.adopt(json_int_value(3)));
  EXPECT_EQ(other.object(), nullptr);
}

// ---- The client's default desktop ----------------------------------------------------------------------------------

TEST_F(DesktopLayout, TheDefaultDesktopRoundTrips)
{
  apply_default();
  EXPECT_EQ(shape(), "V[H[T[Arkive files,Local files],T[Worklists,Commits]],Log]");
  ASSERT_NE(view_of("Arkive files"), nullptr);
  EXPECT_EQ(QApplication::focusWidget(), view_of("Arkive files"));
  EXPECT_EQ(shown_toolbars(), client_toolbar_names());
  EXPECT_EQ(menubar_menus(), (QStringList {"File", "View", "Actions", "Search", "Help"}));

  const std::string first = saved_desktop_text();
  const desktop_config_t saved = desktop_of(first);
  const json_value_t *main = member_of(*member_of(saved.value, "layout"), "main");
  ASSERT_NE(main, nullptr);
  json_value_t tree = *main;
  ASSERT_NE(member_of(tree, "area_geom"), nullptr);
  tree.u.obj->erase(tree.u.obj->size() - 1); // "area_geom" is written last
  EXPECT_EQ(text_of(tree),
            R"({"type":"vsplit","children":[{"type":"hsplit","children":[)"
            R"({"index":0,"type":"tabs","children":["Arkive files","Local files"]},)"
            R"({"index":0,"type":"tabs","children":["Worklists","Commits"]}],"partitions":[30,70]},"Log"],)"
            R"("partitions":[80,20]})");
  EXPECT_EQ(member_of(*member_of(saved.value, "layout"), "floating"), nullptr);
  const json_value_t *focus = member_of(saved.value, "focus");
  ASSERT_NE(focus, nullptr);
  EXPECT_STREQ(json_get_string(focus), "Arkive files");
  EXPECT_NE(member_of(saved.value, "window_state"), nullptr);
  EXPECT_EQ(member_of(saved.value, "widgets_config"), nullptr); // no view has anything to keep
  EXPECT_EQ(member_of(saved.value, "closed_docks"), nullptr);

  // Applied again on the maximized window, the desktop leaves it as it is.
  const QRect window_geometry = test_app().main_window()->geometry();
  ASSERT_TRUE(apply_text(first));
  EXPECT_EQ(saved_desktop_text(), first);
  EXPECT_TRUE(test_app().main_window()->isMaximized());
  EXPECT_EQ(test_app().main_window()->geometry(), window_geometry);
  EXPECT_EQ(QApplication::focusWidget(), view_of("Arkive files"));
}

// The client's start-up: the stored desktop when it parses and applies, else the default desktop.
TEST_F(DesktopLayout, ARefusedStoredDesktopLeavesTheDefaultDesktop)
{
  apply_default();
  const std::string expected = saved_desktop_text();
  for ( const char *stored : {R"({"layout":{"main":{"type":"tabs"}}})", R"({"layout":[]})", "not json"} )
  {
    // A new start: the main window shows in its normal state before the desktop is applied.
    test_app().main_window()->setWindowState(Qt::WindowNoState);
    settle_events();
    recording_ui_callback_t callback;
    desktop_config_t desktop;
    if ( !desktop.parse_json(stored) || !test_app().apply_desktop(desktop, 0) )
      apply_default();
    EXPECT_EQ(shape(), "V[H[T[Arkive files,Local files],T[Worklists,Commits]],Log]") << stored;
    EXPECT_EQ(saved_desktop_text(), expected) << stored;
  }
}

TEST_F(DesktopLayout, TheFocusFallsBackOnTheApplicationsDefaultWidget)
{
  apply_default();
  test_app().default_focus = view_of("Commits");
  ASSERT_TRUE(apply_text(R"({"layout":{"main":{"type":"hsplit","children":["Log","Commits"]}}})", 1));
  EXPECT_EQ(QApplication::focusWidget(), view_of("Commits"));

  // Flag 2 does not restore the focus.
  view_of("Log")->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), view_of("Log"));
  ASSERT_TRUE(apply_text(R"({"layout":{"main":{"type":"hsplit","children":["Log","Commits"]}},"focus":"Commits"})",
                         1 | 2));
  EXPECT_NE(QApplication::focusWidget(), view_of("Commits"));
  ASSERT_TRUE(apply_text(R"({"layout":{"main":{"type":"hsplit","children":["Log","Commits"]}},"focus":"Commits"})",
                         1));
  EXPECT_EQ(QApplication::focusWidget(), view_of("Commits"));
}

// ---- Saving ---------------------------------------------------------------------------------------------------------

TEST_F(DesktopLayout, TheWriterLeavesOutWhatTellsNothing)
{
  // Empty areas write no "main" and no "floating"; the closed docks are written when there are any.
  (void)area->new_floating_area(nullptr);
  closed_dock_entry("Sites", true)->placement.options = dock_place_as_tab;
  const desktop_config_t empty = desktop_of(saved_desktop_text());
  EXPECT_EQ(text_of(*member_of(empty.value, "layout")), "{}");
  EXPECT_EQ(text_of(*member_of(empty.value, "closed_docks")), R"({"Sites":{"options":64}})");

  // Splitters: one child, three equal children, hidden children of no size, no handles; tab groups: the index.
  DockWidget *a = make_dock("A");
  area->dock_at_edge(a, dock_edge_right);
  settle_events();
  json_value_t widgets = json_object_value();
  EXPECT_EQ(text_of(save_layout_tree(widgets.u.obj, area->root())), R"({"type":"hsplit","children":["A"]})");

  DockWidget *b = make_dock("B");
  DockWidget *c = make_dock("C");
  area->split_dock(b, a, dock_edge_right);
  area->split_dock(c, b, dock_edge_right);
  auto *splitter = qobject_cast<DockSplitter *>(area->root());
  ASSERT_NE(splitter, nullptr);
  splitter->splitter()->setSizes({200, 200, 200});
  EXPECT_EQ(text_of(save_layout_tree(widgets.u.obj, splitter)),
            R"({"type":"hsplit","children":["A","B","C"],"partitions":[33,33,34]})");
  splitter->splitter()->setHandleWidth(0);
  EXPECT_EQ(text_of(save_layout_tree(widgets.u.obj, splitter)),
            R"({"type":"hsplit","children":["A","B","C"],"partitions":[33,33,34],"hide_handles":true})");
  // Children that never had a size: no partitions.
  auto *hidden = new DockSplitter(Qt::Vertical);
  for ( const char *title : {"H1", "H2"} )
  {
    DockWidget *dock = make_dock(title);
    dock->hidden = true;
    hidden->insert_child(hidden->child_count(), dock);
  }
  json_value_t hidden_config = json_object_value();
  EXPECT_EQ(text_of(save_layout_tree(hidden_config.u.obj, hidden)), R"({"type":"vsplit","children":["H1","H2"]})");
  EXPECT_EQ(text_of(hidden_config), R"({"H1":{"hidden":true},"H2":{"hidden":true}})");
  delete hidden;

  auto *tab = new DockTab(-1);
  tab->insert_child(0, make_dock("T1"));
  tab->insert_child(1, make_dock("T2"));
  tab->set_current(1);
  EXPECT_EQ(text_of(save_layout_tree(widgets.u.obj, tab)), R"({"index":1,"type":"tabs","children":["T1","T2"]})");
  delete tab;
}

// Widgets that share a name each keep their own configuration; unique names write only what tells something.
TEST_F(DesktopLayout, WidgetsSharingANameKeepTheirOwnConfiguration)
{
  struct
  {
    const char *config;
    int first_sort;
    int second_sort;
    const char *saved;
  } const cases[] = {
    {R"({"Commits":{"sort":1},"Commits":{"sort":2}})", 1, 2, R"({"Commits":{"sort":1},"Commits":{"sort":2}})"},
    {R"({"Commits":{},"Commits":{"sort":2}})", 0, 2, R"({"Commits":{},"Commits":{"sort":2}})"},
    {R"({"Commits":{"sort":5}})", 5, 0, R"({"Commits":{"sort":5}})"},
    {R"({"Commits":{},"Commits":{}})", 0, 0, nullptr},
  };
  for ( const auto &c : cases )
  {
    const std::string text =
      std::string(R"({"layout":{"main":{"type":"hsplit","children":["Commits","Log","Commits"]}},)"
                  R"("widgets_config":)") +
      c.config + "}";
    ASSERT_TRUE(apply_text(text)) << c.config;
    ComplexDockWidget *root = qobject_cast<ComplexDockWidget *>(area->root());
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->child_count(), 3);
    auto *first = qobject_cast<desktop_test_view_t *>(dock_content(static_cast<DockWidget *>(root->child_at(0))));
    auto *second = qobject_cast<desktop_test_view_t *>(dock_content(static_cast<DockWidget *>(root->child_at(2))));
    ASSERT_TRUE(first != nullptr && second != nullptr && first != second) << c.config;
    EXPECT_EQ(first->sort, c.first_sort) << c.config;
    EXPECT_EQ(second->sort, c.second_sort) << c.config;
    const desktop_config_t saved = desktop_of(saved_desktop_text());
    const json_value_t *widgets = member_of(saved.value, "widgets_config");
    EXPECT_EQ(widgets != nullptr ? text_of(*widgets) : std::string("none"), c.saved != nullptr ? c.saved : "none")
      << c.config;
  }
}

// ---- Reading --------------------------------------------------------------------------------------------------------

// A prefix factory that serves "Order" names and records its calls; the first refuses "Order B".
class order_factory_t : public title_desktop_widget_factory_t
{
public:
  order_factory_t(bool refuses_b) : title_desktop_widget_factory_t("Order", 0), refuses_b_(refuses_b) {}
  QWidget *create_widget(const char *name, const json_object_t *) override
  {
    ++calls;
    if ( refuses_b_ && strcmp(name, "Order B") == 0 )
      return nullptr;
    auto *view = new desktop_test_view_t(QString::fromUtf8(name));
    view->setProperty("made_by", refuses_b_ ? 1 : 2);
    return view;
  }
  int calls = 0;

private:
  bool refuses_b_;
};

TEST_F(DesktopLayout, LeavesTakeKeptWidgetsThenTheCallbackThenTheFactoriesInOrder)
{
  static order_factory_t first(true);
  static order_factory_t second(false);
  static const bool registered = [] {
    register_desktop_widget_factory(&first);
    register_desktop_widget_factory(&second);
    return true;
  }();
  ASSERT_TRUE(registered);

  const char *layout = R"({"layout":{"main":{"type":"hsplit","children":["Order A","Order B","Commits","Nobody"]}}})";
  ASSERT_TRUE(apply_text(layout));
  EXPECT_EQ(shape(), "H[Order A,Order B,Commits]"); // a name no widget answers is dropped
  EXPECT_EQ(view_of("Order A")->property("made_by").toInt(), 1);
  EXPECT_EQ(view_of("Order B")->property("made_by").toInt(), 2);

  // With flag 1 the docks stay open until their widgets are taken out and taken back by name.
  QPointer<desktop_test_view_t> commits(view_of("Commits"));
  const int made = desktop_views_made("Commits");
  const int calls = first.calls + second.calls;
  recording_ui_callback_t callback;
  auto *answered = new desktop_test_view_t("Order A");
  callback.handle_code(ui_code_widget_for_desktop_name, [&](va_list args) -> int64_t {
    const char *name = va_arg(args, const char *);
    return strcmp(name, "Order A") == 0 ? reinterpret_cast<intptr_t>(answered) : 0;
  });
  ASSERT_TRUE(apply_text(layout, 1));
  EXPECT_EQ(view_of("Commits"), commits.data());
  EXPECT_EQ(desktop_views_made("Commits"), made);
  EXPECT_EQ(first.calls + second.calls, calls); // Order A and Order B were kept as well
  EXPECT_EQ(callback.requests_of(ui_code_widget_for_desktop_name).size(), 1u); // only "Nobody" asked

  // Without flag 1 the docks close first: the callback answers before the factories.
  ASSERT_TRUE(apply_text(layout));
  EXPECT_EQ(view_of("Order A"), answered);
  EXPECT_TRUE(commits.isNull());
  EXPECT_EQ(desktop_views_made("Commits"), made + 1);
}

TEST_F(DesktopLayout, TheApplicationHearsEveryLeafAndTheBuiltLayoutBeforeTheSwap)
{
  recording_ui_callback_t callback;
  apply_default();
  const std::vector<std::pair<QString, const ComplexDockWidget *>> &inserted = test_app().dock_insertions;
  ASSERT_EQ(inserted.size(), 5u);
  QStringList titles;
  for ( const auto &entry : inserted )
    titles.append(entry.first);
  EXPECT_EQ(titles, (QStringList {"Arkive files", "Local files", "Worklists", "Commits", "Log"}));
  EXPECT_NE(inserted[0].second, inserted[2].second);
  EXPECT_EQ(inserted[0].second, inserted[1].second);
  EXPECT_EQ(test_app().layouts_built, std::vector<int> {5});
  // Every view is a form widget (it has form_activate()) and is announced once it is docked.
  EXPECT_EQ(callback.requests_of(ui_code_form_widget_docked).size(), 5u);
  EXPECT_FALSE(test_app().applying_desktop);
}

TEST_F(DesktopLayout, ADesktopWithoutAreasStillRestoresTheWindow)
{
  apply_default();
  ASSERT_TRUE(apply_text(R"({"layout":{},"focus":"Log","menubar":["View","Help"],)"
                         R"("default_toolbars":["SyncToolBar","MiscToolBar"]})"));
  EXPECT_EQ(area->countDockWidgets(false), 0);
  EXPECT_EQ(shown_toolbars(), (QStringList {"SyncToolBar", "MiscToolBar"}));
  EXPECT_EQ(menubar_menus(), (QStringList {"View", "Help"}));
  EXPECT_TRUE(test_app().main_window()->isVisible());
}

// The main window's state comes from "window_state" when it decodes, inflates within bounds and restores;
// otherwise "default_toolbars" says which toolbars show.
TEST_F(DesktopLayout, AnUnusableWindowStateFallsBackOnTheDefaultToolbars)
{
  ui_main_window_t *main = test_app().main_window();
  main->set_toolbars({"FilesToolBar"});
  qstring good;
  ASSERT_TRUE(encode_window_state(main->saveState(1), &good));
  qstring wrong_version;
  ASSERT_TRUE(encode_window_state(main->saveState(7), &wrong_version));
  // A small text that inflates to 16 MiB of zeros.
  byte_buffer_t zeros;
  zeros.resize(16u << 20, 0);
  byte_buffer_t bomb_bytes;
  ASSERT_TRUE(compress_bytes(zeros, bomb_bytes));
  std::string bomb;
  for ( uint8_t byte : bomb_bytes )
  {
    char pair[3];
    snprintf(pair, sizeof(pair), "%02X", byte);
    bomb += pair;
  }
  std::string lower(good.c_str());
  for ( char &ch : lower )
    ch = char(tolower(ch));
  struct
  {
    const char *name;
    std::string state;
    QStringList shown;
  } const cases[] = {
    {"good", good.c_str(), {"FilesToolBar"}},
    {"lower case", lower, {"FilesToolBar"}},
    {"odd length", std::string(good.c_str()).substr(1), {"SyncToolBar"}},
    {"not hexadecimal", "7G" + std::string(good.c_str()).substr(2), {"SyncToolBar"}},
    {"not a stream", "00112233", {"SyncToolBar"}},
    {"empty", "", {"SyncToolBar"}},
    {"other version", wrong_version.c_str(), {"SyncToolBar"}},
    {"inflates too far", bomb, {"SyncToolBar"}},
  };
  for ( const auto &c : cases )
  {
    main->set_toolbars({});
    ASSERT_TRUE(apply_text(R"({"layout":{},"default_toolbars":["SyncToolBar"],"window_state":")" + c.state + "\"}"))
      << c.name;
    EXPECT_EQ(shown_toolbars(), c.shown) << c.name;
  }
}

TEST_F(DesktopLayout, TheMenuBarAndTheToolbarsComeFromTheDesktop)
{
  ui_main_window_t *main = test_app().main_window();
  struct
  {
    const char *desktop;
    QStringList menus;
    QStringList toolbars;
  } const cases[] = {
    {R"({"menubar":["Help","View"],"default_toolbars":["MiscToolBar","SyncToolBar"]})", {"Help", "View"},
     {"SyncToolBar", "MiscToolBar"}},
    {R"({"menubar":["View",3],"default_toolbars":["MiscToolBar",null]})", {}, {}},
    {R"({"menubar":"View","default_toolbars":"MiscToolBar"})", {"File", "View", "Actions", "Search", "Help"}, {}},
    {R"({})", {"File", "View", "Actions", "Search", "Help"}, {}},
  };
  for ( const auto &c : cases )
  {
    const desktop_config_t desktop = desktop_of(c.desktop);
    main->restore_menubar_from_desktop(*desktop.object());
    main->restore_toolbars_from_desktop(*desktop.object());
    EXPECT_EQ(menubar_menus(), c.menus) << c.desktop;
    EXPECT_EQ(shown_toolbars(), c.toolbars) << c.desktop;
  }
}

TEST_F(DesktopLayout, TheMainWindowIsRestoredBeforeItIsShown)
{
  ui_main_window_t *main = test_app().main_window();
  main->hide();
  const char *area_geom = R"({"frame_geometry":[40,30,339,429],"normal_geometry":[40,30,339,429],)"
                          R"("screen_number":0,"maximized":false,"fullscreen":false,"screen_width":0})";
  test_app().restore_main_window(desktop_of(std::string(R"({"layout":{"main":{"children":[],"area_geom":)") +
                                            area_geom +
                                            R"(}},"menubar":["Search"],"default_toolbars":["MiscToolBar"]})"));
  EXPECT_EQ(main->geometry().size(), QSize(400, 300));
  EXPECT_EQ(menubar_menus(), QStringList {"Search"});
  EXPECT_EQ(shown_toolbars(), QStringList {"MiscToolBar"});
  EXPECT_FALSE(main->isVisible());

  // Without a "main" object nothing changes.
  test_app().restore_main_window(desktop_of(R"({"layout":{"main":"Log"},"menubar":["Help"]})"));
  test_app().restore_main_window(desktop_of(R"({"menubar":["Help"]})"));
  EXPECT_EQ(menubar_menus(), QStringList {"Search"});
}

// ---- Apply flags and the widgets a desktop leaves out ------------------------------------------------------------

TEST_F(DesktopLayout, WidgetsLeftOutGoByTheirCloseFlags)
{
  ASSERT_TRUE(apply_text(R"({"layout":{"main":{"type":"hsplit",)"
                         R"("children":["Log","Commits","Worklists","Local files"]}}})"));
  QPointer<desktop_test_view_t> plain(view_of("Log"));
  QPointer<desktop_test_view_t> kept(view_of("Commits"));
  QPointer<desktop_test_view_t> persistent(view_of("Worklists"));
  QPointer<desktop_test_view_t> kept_taken(view_of("Local files"));
  set_widget_close_flags(kept, close_flag_kept);
  set_widget_close_flags(persistent, close_flag_persistent);
  set_widget_close_flags(kept_taken, close_flag_kept);
  // Where the kept widget floats when it is left out: its closed-docks place.
  closed_dock_t *entry = closed_dock_entry("Commits", true);
  entry->placement.options = dock_place_floating;
  entry->placement.float_pos = QPoint(50, 60);
  entry->placement.float_size = QSize(210, 160);

  ASSERT_TRUE(apply_text(R"({"layout":{"main":{"type":"hsplit","children":["Local files","Arkive files"]}},)"
                         R"("closed_docks":{"Commits":{"options":128,)"
                         R"("floating":{"x":50,"y":60,"width":210,"height":160}}}})"));
  settle_events();
  EXPECT_TRUE(plain.isNull());
  ASSERT_FALSE(kept.isNull());
  DockArea *floating = enclosing_dock_area(kept);
  ASSERT_NE(floating, nullptr);
  EXPECT_TRUE(floating->is_floating());
  EXPECT_EQ(floating->pos(), QPoint(50, 60));
  EXPECT_EQ(floating->size(), QSize(210, 160));
  ASSERT_FALSE(persistent.isNull());
  EXPECT_EQ(persistent->parentWidget(), nullptr);
  EXPECT_EQ(view_of("Local files"), kept_taken.data()); // taken back by its name
  EXPECT_EQ(shape(), "H[Local files,Arkive files]");
  EXPECT_EQ(kept->saves, 1);
  EXPECT_EQ(kept_taken->saves, 1);
  delete persistent.data();
}

TEST_F(DesktopLayout, TheDefaultDesktopsClosedDocksJoinUnlessFlagFour)
{
  test_app().default_desktop = R"({"layout":{},"closed_docks":{"Sites":{"options":64,"anchor":"Log"},)"
                               R"("Users":{"options":1,"anchor":"Log"}}})";
  struct
  {
    uint32_t flags;
    const char *closed;
    const char *expected;
  } const cases[] = {
    {0, R"({"Users":{"options":4}})", R"({"Users":{"options":4},"Sites":{"options":64,"anchor":"Log"}})"},
    {4, R"({"Users":{"options":4}})", R"({"Users":{"options":4}})"},
    {0, R"({"Users":5})", R"({"Sites":{"options":64,"anchor":"Log"},"Users":{"options":1,"anchor":"Log"}})"},
    {4, R"({"Users":{"options":128,"floating":{}}})", nullptr},
    {4, R"({"Users":{"options":128,"floating":{"x":0,"y":0,"width":2000000000,"height":5}}})", nullptr},
  };
  for ( const auto &c : cases )
  {
    closed_dock_entry("Stale", true);
    ASSERT_TRUE(apply_text(std::string(R"({"layout":{},"closed_docks":)") + c.closed + "}", c.flags));
    const desktop_config_t saved = desktop_of(saved_desktop_text());
    const json_value_t *closed = member_of(saved.value, "closed_docks");
    EXPECT_EQ(closed != nullptr ? text_of(*closed) : "none", c.expected != nullptr ? c.expected : "none") << c.closed;
  }
}

// A stored geometry could ask for a window of any size or place: one out of reach of the screens is not restored.
TEST_F(DesktopLayout, GeometryOutOfReachOfTheScreensIsNotRestored)
{
  const QSize screen = QGuiApplication::primaryScreen()->size();
  ASSERT_TRUE(apply_text(
    R"({"layout":{"main":{"children":["Log"],"area_geom":{"frame_geometry":[0,0,99999999,99999999],)"
    R"("normal_geometry":[0,0,99999999,99999999],"screen_number":0,"maximized":false,"fullscreen":false,)"
    R"("screen_width":0}},"floating":[{"children":["Commits"],"area_geom":{"frame_geometry":[-900000,5,10,20],)"
    R"("normal_geometry":[-900000,5,10,20],"screen_number":0,"maximized":false,"fullscreen":false,)"
    R"("screen_width":0}}]}})"));
  const QWidget *main = test_app().main_window();
  EXPECT_LE(main->width(), screen.width());
  EXPECT_LE(main->height(), screen.height());
  DockArea *floating = enclosing_dock_area(dock_of("Commits"));
  ASSERT_TRUE(floating != nullptr && floating->is_floating());
  EXPECT_EQ(floating->size(), QSize(400, 400)); // the default size stands
  EXPECT_GT(floating->y(), -screen.height());
  for ( const auto &[x, y, width, height, plausible] : std::vector<std::tuple<int64_t, int64_t, int64_t, int64_t, bool>> {
          {0, 0, 800, 600, true},
          {-100, -50, 400, 300, true},
          {0, 0, 2000000000, 5, false},
          {0, 0, 5, 2000000000, false},
          {-2000000000, 0, 400, 300, false},
          {0, 0, -5, -5, true},
        } )
    EXPECT_EQ(plausible_window_rect(x, y, width, height), plausible) << x << " " << y << " " << width << "x" << height;
}

// ---- Stored desktops that are refused -----------------------------------------------------------------------------

std::string nested(int depth)
{
  std::string text = "\"Log\"";
  for ( int i = 0; i < depth; ++i )
    text = std::string(i % 2 == 0 ? R"({"type":"hsplit","children":[)" : R"({"type":"vsplit","children":[)") +
           text + "]}";
  return text;
}

std::string repeated(const std::string &item, int count)
{
  std::string text;
  for ( int i = 0; i < count; ++i )
    text += (i == 0 ? "" : ",") + item;
  return text;
}

// Every living dock content, watched.
std::vector<QPointer<QWidget>> docked_widgets()
{
  std::vector<QPointer<QWidget>> widgets;
  for ( DockWidget *dock : leaf_dock_widgets() )
    widgets.emplace_back(dock_content(dock));
  return widgets;
}

// Applies the desktop and checks the contract: applied, or refused with one report and nothing changed.
// Answers whether it was applied.
bool apply_or_refuse(const desktop_config_t &desktop, const std::string &what)
{
  const std::string before = saved_desktop_text();
  const std::vector<QPointer<QWidget>> widgets = docked_widgets();
  recording_ui_callback_t callback;
  const bool applied = test_app().apply_desktop(desktop, 0);
  if ( applied )
    return true;
  size_t reports = 0;
  for ( const ui_request_record_t &request : callback.requests() )
    reports += request.text.find("desktop layout cannot be applied") != std::string::npos ? 1 : 0;
  EXPECT_EQ(reports, 1u) << what;
  EXPECT_EQ(callback.requests().size(), 1u) << what;
  for ( const QPointer<QWidget> &widget : widgets )
    EXPECT_FALSE(widget.isNull()) << what;
  EXPECT_EQ(saved_desktop_text(), before) << what;
  return false;
}

TEST_F(DesktopLayout, HostileDesktopsAreRefusedWholeOrAppliedSafely)
{
  const std::string leaf = "\"Log\"";
  const std::string empty_split = R"({"children":[]})";
  struct
  {
    const char *name;
    std::string text;
    bool applied;
  } const cases[] = {
    {"no layout", R"({"focus":"Log"})", false},
    {"layout an array", R"({"layout":[]})", false},
    {"layout a string", R"({"layout":"main"})", false},
    {"main a string", R"({"layout":{"main":"Log"}})", false},
    {"main an array", R"({"layout":{"main":["Log"]}})", false},
    {"main a number", R"({"layout":{"main":5}})", false},
    {"floating an object", R"({"layout":{"floating":{}}})", false},
    {"floating of strings", R"({"layout":{"floating":["Log"]}})", false},
    {"floating of nulls", R"({"layout":{"floating":[null]}})", false},
    {"no children", R"({"layout":{"main":{"type":"tabs"}}})", false},
    {"children an object", R"({"layout":{"main":{"children":{"a":"Log"}}}})", false},
    {"children a string deeper",
     R"({"layout":{"main":{"children":["Log",{"type":"hsplit","children":"Commits"}]}}})", false},
    {"nested too deep", R"({"layout":{"main":)" + nested(desktop_max_depth) + "}}", false},
    {"thousands of leaves", R"({"layout":{"main":{"children":[)" + repeated(leaf, 5000) + "]}}}", false},
    {"thousands of splitters", R"({"layout":{"main":{"children":[)" + repeated(empty_split, 2000) + "]}}}", false},
    {"many floating windows", R"({"layout":{"floating":[)" + repeated(empty_split, 100) + "]}}", false},
    // What the reader tolerates.
    {"nested deep enough", R"({"layout":{"main":)" + nested(desktop_max_depth - 1) + "}}", true},
    {"unknown types",
     R"({"layout":{"main":{"type":"grid","children":5},"floating":[{"type":7,"children":[]}]}})", true},
    {"children of every type",
     R"({"layout":{"main":{"type":"tabs","index":99,"children":[1,null,true,[],"Log",2.5]}}})", true},
    {"huge and negative indexes",
     R"({"layout":{"main":{"type":"hsplit","children":[{"type":"tabs","index":-3,"children":["Log","Commits"]},)"
     R"({"type":"tabs","index":9223372036854775807,"children":["Worklists"]},)"
     R"({"type":"tabs","index":4294967296,"children":["Local files"]}]}}})",
     true},
    {"partitions out of range",
     R"({"layout":{"main":{"type":"hsplit","children":["Log","Commits"],"partitions":[-5,105]}}})", true},
    {"partitions of the wrong count",
     R"({"layout":{"main":{"type":"hsplit","children":["Log","Commits"],"partitions":[10,20,70],"hide_handles":1}}})",
     true},
    {"partitions not ints",
     R"({"layout":{"main":{"type":"hsplit","children":["Log","Commits"],"partitions":"50,50"}}})",
     true},
    {"geometry numbers",
     R"({"layout":{"main":{"children":["Log"],"area_geom":{"frame_geometry":[-2147483648,-5,2147483647,99999999],)"
     R"("normal_geometry":[0,0,-1,-1],"screen_number":-7,"maximized":false,"fullscreen":true,"screen_width":-1}},)"
     R"("floating":[{"children":["Commits"],"area_geom":{"frame_geometry":[1,2,3],"normal_geometry":"x",)"
     R"("screen_number":99999999999,"maximized":1,"fullscreen":false,"screen_width":0}}]}})",
     true},
    {"window state odd", R"({"layout":{},"window_state":"ABC"})", true},
    {"window state a number", R"({"layout":{},"window_state":12})", true},
    {"bad closed docks", R"({"layout":{},"closed_docks":{"Log":{"options":"x"},"Commits":[]}})", true},
    {"closed docks a list", R"({"layout":{},"closed_docks":["Log"]})", true},
    {"widgets config of other types", R"({"layout":{"main":{"children":["Log","Commits"]}},)"
                                      R"("widgets_config":{"Log":5,"Commits":{"hidden":"yes","sort":"x"}}})",
     true},
    {"widgets config a list", R"({"layout":{"main":{"children":["Log"]}},"widgets_config":["Log"]})", true},
    {"duplicate names", R"({"layout":{"main":{"children":["Log","Log",{"type":"tabs","children":["Log"]}]}}})", true},
    {"focus of other types", R"({"layout":{},"focus":["Log"],"menubar":[1],"default_toolbars":{}})", true},
  };
  for ( const auto &c : cases )
  {
    apply_default();
    const bool applied = apply_or_refuse(desktop_of(c.text), c.name);
    EXPECT_EQ(applied, c.applied) << c.name;
    if ( applied )
    {
      // Whatever was applied saves, and the saved desktop applies again.
      EXPECT_TRUE(apply_text(saved_desktop_text())) << c.name;
    }
  }
  // An empty record (a stored text that did not parse) is refused too.
  EXPECT_FALSE(apply_or_refuse(desktop_config_t {}, "empty record"));
}

// Changes one value somewhere in the tree: another type, a huge or negative number, a dropped or repeated
// member, a value wrapped in an array.
void mutate(json_value_t *value, uint32_t *seed)
{
  for ( ;; )
  {
    const uint32_t r = next_random(seed);
    if ( value->tag == JSON_OBJECT && !value->u.obj->empty() && r % 4 != 0 )
    {
      json_object_t &object = *value->u.obj;
      const size_t i = next_random(seed) % object.size();
      if ( r % 17 == 1 )
      {
        object.erase(i);
        return;
      }
      if ( r % 17 == 2 )
      {
        const json_member_t copy = object[i];
        object.push_back(copy);
        return;
      }
      value = &object[i].value;
      continue;
    }
    if ( value->tag == JSON_ARRAY && !value->u.arr->empty() && r % 4 != 0 )
    {
      jarr_t &array = *value->u.arr;
      const size_t i = next_random(seed) % array.size();
      if ( r % 13 == 1 )
      {
        array.erase(i);
        return;
      }
      value = &array[i];
      continue;
    }
    switch ( next_random(seed) % 8 )
    {
      case 0:
      {
        // Huge, small and negative numbers alike.
        const uint64_t magnitude = uint64_t(next_random(seed)) << (r % 33);
        *value = json_int_value(int64_t(r % 2 == 0 ? magnitude : 0 - magnitude));
        return;
      }
      case 1: *value = json_string_value(r % 2 == 0 ? "Log" : "tabs"); return;
      case 2: *value = json_object_value(); return;
      case 3: *value = json_array_value(); return;
      case 4: *value = json_bool_value(r % 2 == 0); return;
      case 5:
        *value = json_value_t();
        value->tag = JSON_NULL;
        return;
      case 6:
      {
        json_value_t wrapped = json_array_value();
        *jarr_append_slot(wrapped.u.arr) = *value;
        *value = std::move(wrapped);
        return;
      }
      default: *value = json_int_value(r % 120); return;
    }
  }
}

TEST_F(DesktopLayout, MutatedSavedDesktopsAreAppliedOrRefused)
{
  apply_default();
  const desktop_config_t original = desktop_of(saved_desktop_text());
  uint32_t seed = 0x2545F491;
  int refused = 0;
  const int runs = int(scaled_for_sanitizers(300, 10));
  for ( int run = 0; run < runs; ++run )
  {
    json_value_t value = original.value;
    const int changes = 1 + int(next_random(&seed) % 3);
    for ( int k = 0; k < changes; ++k )
      mutate(&value, &seed);
    desktop_config_t desktop;
    if ( !desktop.adopt(std::move(value)) )
      continue;
    if ( !apply_or_refuse(desktop, "run " + std::to_string(run)) )
      ++refused;
    if ( ::testing::Test::HasFailure() )
      break;
  }
  EXPECT_GT(refused, 0);
}

} // namespace

// Menus and toolbars of the main window built from JSON layouts, and the window's named menus.
#include "tests/ui/app/test_app.h"
#include "tests/ui/app/screenshots.h"

#include "core/json_reader.h"
#include "tests/support/interr_capture.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/support/seeded_random.h"
#include "ui/menu_layout.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QTemporaryDir>
#include <QToolBar>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// The items of a menu or toolbar, one word each: "-" a separator, "[name]" a submenu (its object name, else
// its title), else the action's text; a hidden item gets a trailing '!'.
std::string items_of(const QWidget *widget)
{
  std::string out;
  for ( const QAction *item : widget->actions() )
  {
    if ( !out.empty() )
      out += ' ';
    if ( item->isSeparator() )
      out += '-';
    else if ( item->menu() != nullptr )
      out += '[' + (item->menu()->objectName().isEmpty() ? item->menu()->title() : item->menu()->objectName()).toStdString() + ']';
    else
      out += item->text().toStdString();
    if ( !item->isVisible() )
      out += '!';
  }
  return out;
}

// The menus on a menu bar, as items_of.
std::string menubar_of(ui_main_window_t &window)
{
  return items_of(window.menuBar());
}

class MenuLayoutTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    registry().clear();
    for ( const char *name : {"open", "save", "find", "quit", "copy", "paste"} )
      ASSERT_TRUE(register_plain_action(name, name, &handler_, this)) << name;
    window_ = std::make_unique<test_main_window_t>();
  }
  void TearDown() override
  {
    window_.reset();
    registry().clear();
  }

  static ui_action_registry_t &registry() { return *test_app().get_action_registry(); }

  // Parses a JSON array; the test fails on a syntax error.
  static json_value_t parse(const char *text)
  {
    json_value_t value;
    EXPECT_EQ(json_parse_text(&value, text), 0) << text;
    EXPECT_EQ(value.tag, JSON_ARRAY) << text;
    return value;
  }
  void menus(const char *text)
  {
    const json_value_t value = parse(text);
    if ( value.tag == JSON_ARRAY )
      window_->create_menus_from_desc(*value.u.arr);
  }
  void toolbars(const char *text)
  {
    const json_value_t value = parse(text);
    if ( value.tag == JSON_ARRAY )
      window_->create_toolbars_from_desc(*value.u.arr);
  }
  std::vector<std::string> warnings() const
  {
    std::vector<std::string> out;
    for ( const auto &r : ui_.requests_of(ui_code_message) )
      if ( r.kind == msg_kind_warning )
        out.push_back(r.text);
    return out;
  }
  std::vector<std::string> logs() const
  {
    std::vector<std::string> out;
    for ( const auto &r : ui_.requests_of(ui_code_log) )
      out.push_back(r.text);
    return out;
  }

  recording_ui_callback_t ui_;
  idle_action_handler_t handler_;
  std::unique_ptr<test_main_window_t> window_;
};

using strings = std::vector<std::string>;

TEST_F(MenuLayoutTest, MenusWithItemsSeparatorsSubmenusAndVisibility)
{
  menus(R"([
    {"name": "File", "label": "&File", "actions": ["open", "", "save", "-", "-x", "nosuch", "@probe", "quit"]},
    {"name": "Chooser:Edit", "label": "Edit", "actions": ["copy",
      {"label": "More", "actions": ["paste"]},
      {"name": "Hidden sub", "label": "Hid", "visible_initially": false, "actions": []}]},
    {"name": "Jump", "label": "Jump", "present_initially": false, "actions": ["find"]},
    {"name": "Search", "label": "Search", "visible_initially": false, "actions": ["find"]}
  ])");
  EXPECT_EQ(menubar_of(*window_), "[File] [Chooser:Edit] [Search]!");
  EXPECT_EQ(items_of(window_->find_named_menu("File")), "open - save - - quit");
  EXPECT_EQ(items_of(window_->find_named_menu("Chooser:Edit")), "copy [More] [Hidden sub]!");
  EXPECT_EQ(window_->find_named_menu("File")->title(), "&File");
  // A submenu without a name is built but cannot be found by its title.
  EXPECT_EQ(window_->find_named_menu("More"), nullptr);
  ASSERT_NE(window_->find_named_menu("Hidden sub"), nullptr);
  // A menu not present initially is built, named and can be put on the menu bar later.
  ASSERT_NE(window_->find_named_menu("Jump"), nullptr);
  EXPECT_EQ(window_->find_named_menu("Jump")->property(menu_role_property).toInt(), 3);
  EXPECT_EQ(window_->find_named_menu("Chooser:Edit")->property(menu_role_property).toInt(), 1);
  EXPECT_EQ(warnings(), strings {"Unhandled special action name: \"@probe\""});
  EXPECT_EQ(logs(), strings {"Invalid action name: nosuch\n"});
}

TEST_F(MenuLayoutTest, TemplatesCopyItemsAndRemoveFromTheCopyOnly)
{
  menus(R"([
    {"name": "Base", "label": "Base", "present_initially": false, "actions": ["open", "save",
      {"name": "Recent", "label": "Recent", "actions": ["quit"]}, {"name": "Tools", "label": "Tools", "actions": []}]},
    {"name": "Copy", "label": "Copy", "template": {"name": "Base", "remove": ["save", "Recent"]}},
    {"name": "Whole", "label": "Whole", "template": {"name": "Base", "remove": "ignored unless an array"}},
    {"name": "Again", "label": "Again", "template": {"name": "Copy"}}
  ])");
  EXPECT_EQ(menubar_of(*window_), "[Copy] [Whole] [Again]");
  EXPECT_EQ(items_of(window_->find_named_menu("Base")), "open save [Recent] [Tools]");
  EXPECT_EQ(items_of(window_->find_named_menu("Copy")), "open [Tools]");
  EXPECT_EQ(items_of(window_->find_named_menu("Whole")), "open save [Recent] [Tools]");
  EXPECT_EQ(items_of(window_->find_named_menu("Again")), "open [Tools]");
  // The copy holds the same submenu, not a copy of it.
  EXPECT_EQ(window_->find_named_menu("Copy")->actions().back()->menu(), window_->find_named_menu("Tools"));
  EXPECT_TRUE(warnings().empty());
}

TEST_F(MenuLayoutTest, MenuIconsFromIdsAndThemeIcons)
{
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::red);
  const QString file = dir.filePath(QStringLiteral("t.png"));
  ASSERT_TRUE(pixmap.save(file));
  const int32_t plain = test_app().register_icon(QIcon(pixmap), "menu_layout_plain");
  ASSERT_GE(plain, 0);
  ASSERT_TRUE(window_->handleUnknownStyleProperty(QStringLiteral("themeicon-menu_layout_theme"), file));
  ASSERT_GE(window_->theme_icon_id("menu_layout_theme"), 0);
  const std::string layout = R"([
    {"name": "ById", "label": "A", "icon": )" + std::to_string(plain) + R"(, "actions": []},
    {"name": "ByDash", "label": "B", "icon": "themeicon-menu_layout_theme", "actions": []},
    {"name": "ByUnderscore", "label": "C", "icon": "themeicon_menu_layout_theme", "actions": []},
    {"name": "UnknownTheme", "label": "D", "icon": "themeicon-nosuch", "actions": []},
    {"name": "OtherPrefix", "label": "E", "icon": "themeiconXmenu_layout_theme", "actions": []},
    {"name": "Negative", "label": "F", "icon": -1, "actions": []},
    {"name": "Huge", "label": "G", "icon": 99999999999, "actions": []},
    {"name": "Wrong", "label": "H", "icon": true, "actions": []}
  ])";
  menus(layout.c_str());
  const struct
  {
    const char *name;
    bool has_icon;
  } cases[] = {{"ById", true},         {"ByDash", true},   {"ByUnderscore", true}, {"UnknownTheme", false},
               {"OtherPrefix", false}, {"Negative", false}, {"Huge", false},        {"Wrong", false}};
  for ( const auto &c : cases )
  {
    QMenu *menu = window_->find_named_menu(c.name);
    ASSERT_NE(menu, nullptr) << c.name;
    EXPECT_EQ(!menu->icon().isNull(), c.has_icon) << c.name;
  }
  EXPECT_TRUE(warnings().empty());
}

TEST_F(MenuLayoutTest, ToolbarsBreaksAndBadElements)
{
  toolbars(R"([
    {"label": "Main", "name": "main", "actions": ["open", "", "save", "-y", "@probe", "@other", "nosuch"]},
    "-",
    "-x",
    "",
    42,
    {"label": "Empty", "name": "empty", "actions": []},
    {"label": "Search", "name": "search", "actions": ["find", 7]}
  ])");
  QToolBar *main = window_->find_toolbar("main");
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(items_of(main), "open - save - probe");
  EXPECT_EQ(main->windowTitle(), "Main");
  QToolBar *empty = window_->find_toolbar("empty");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(items_of(empty), "");
  QToolBar *search = window_->find_toolbar("search");
  ASSERT_NE(search, nullptr);
  EXPECT_EQ(items_of(search), "find");
  // The hook sees every toolbar and break in order; all toolbars start hidden.
  EXPECT_EQ(window_->toolbars_added, (std::vector<QToolBar *> {main, nullptr, nullptr, empty, search}));
  for ( QToolBar *toolbar : {main, empty, search} )
  {
    EXPECT_TRUE(toolbar->isHidden()) << toolbar->objectName().toStdString();
    EXPECT_EQ(toolbar->parent(), window_.get());
  }
  EXPECT_EQ(warnings(), (strings {"Unhandled special action name: \"@other\"", "Bad toolbar descripton \"-x\"",
                                  "Bad toolbar descripton #4",
                                  "Toolbar \"search\": item #1 must be a string, not an integer"}));
  EXPECT_EQ(logs(), strings {"Invalid action name: nosuch\n"});

  // The saved list decides visibility; the order stays that of creation.
  window_->set_toolbars({QStringLiteral("search"), QStringLiteral("main"), QStringLiteral("nosuch")});
  EXPECT_FALSE(main->isHidden());
  EXPECT_TRUE(empty->isHidden());
  EXPECT_FALSE(search->isHidden());
  EXPECT_EQ(window_->find_toolbar("nosuch"), nullptr);
  window_->resize(480, 120);
  EXPECT_FALSE(save_screenshot(*window_, "shown-toolbars").isEmpty());

  // Special items are the toolbars' own: a toolbar builder handed another widget is the program's fault.
  toolbar_builder_t builder(window_.get());
  EXPECT_TRUE(builder.handle_special_item("@probe", main, window_.get()));
  QMenu not_a_toolbar;
  EXPECT_EQ(interr_number([&] { (void)builder.handle_special_item("@probe", &not_a_toolbar, window_.get()); }), 40415);
  menu_builder_t menus(window_.get());
  EXPECT_FALSE(menus.handle_special_item("@probe", &not_a_toolbar, window_.get()));
}

TEST_F(MenuLayoutTest, ToolbarIconsAreTheFontHeightRoundedToSixteen)
{
  const struct
  {
    int font_height;
    int side;
  } cases[] = {{24, 32}, {23, 16}, {8, 16}, {7, 0}, {40, 48}, {39, 32}};
  for ( const auto &c : cases )
    EXPECT_EQ(toolbar_icon_side(c.font_height), c.side) << c.font_height;
  for ( const int pixels : {10, 17, 30} )
  {
    QFont font = window_->font();
    font.setPixelSize(pixels);
    window_->setFont(font);
    const std::string name = "sized" + std::to_string(pixels);
    toolbars(("[{\"label\": \"S\", \"name\": \"" + name + "\", \"actions\": []}]").c_str());
    QToolBar *toolbar = window_->find_toolbar(QString::fromStdString(name));
    ASSERT_NE(toolbar, nullptr);
    const int side = toolbar_icon_side(QFontMetrics(font).height());
    EXPECT_EQ(toolbar->iconSize(), QSize(side, side)) << pixels;
  }
}

TEST_F(MenuLayoutTest, RolesAndTheMenuBarList)
{
  const struct
  {
    const char *name;
    int role;
  } roles[] = {{"Edit", 1}, {"Search", 2}, {"Jump", 3}, {"Chooser:Edit", 1}, {"A:B:Search", 0}, {"Editor", 0},
               {"edit", 0}, {"Chooser:", 0}, {":Jump", 3}, {"", 0}};
  for ( const auto &r : roles )
  {
    EXPECT_EQ(menu_role_of_name(QString::fromUtf8(r.name)), r.role) << r.name;
    QMenu *menu = window_->make_menu(QString::fromUtf8(r.name), QStringLiteral("t"), nullptr);
    EXPECT_EQ(menu->property(menu_role_property).toInt(), r.role) << r.name;
  }
  EXPECT_EQ(window_->standard_menu_name("Chooser:Edit"), "Edit");
  EXPECT_EQ(window_->standard_menu_name("Jump"), "Jump");

  // A later menu of the same name takes the name over; the earlier one lives on.
  QMenu *first = window_->make_menu(QStringLiteral("Tools"), QStringLiteral("Tools 1"), nullptr);
  QMenu *second = window_->make_menu(QStringLiteral("Tools"), QStringLiteral("Tools 2"), nullptr);
  EXPECT_EQ(window_->find_named_menu("Tools"), second);
  window_->menuBar()->addAction(first->menuAction());
  window_->menuBar()->addAction(QStringLiteral("plain item"));

  window_->set_menubar_menus({QStringLiteral("Edit"), QStringLiteral("Nowhere"), QStringLiteral("Tools")});
  EXPECT_EQ(menubar_of(*window_), "plain item [Edit] [Tools]");
  EXPECT_EQ(window_->menuBar()->actions()[2]->menu(), second);
  EXPECT_EQ(logs(), strings {"Menu \"Nowhere\" could not be found\n"});
  // A menu taken off is kept and comes back.
  window_->set_menubar_menus({QStringLiteral("Jump")});
  EXPECT_EQ(menubar_of(*window_), "plain item [Jump]");
  window_->set_menubar_menus({QStringLiteral("Search"), QStringLiteral("Edit")});
  EXPECT_EQ(menubar_of(*window_), "plain item [Search] [Edit]");
  QStringList defaults;
  window_->default_menubar_menus(&defaults);
  EXPECT_EQ(defaults.join(' '), "File View Actions Search Help");
}

// Hostile layouts: each is a warning (the first one given here), leaves its own menu or toolbar out, and the
// good description after it is still built.
TEST_F(MenuLayoutTest, HostileLayoutsWarnAndTheRestIsBuilt)
{
  std::string deep = "{\"name\": \"Deep\", \"label\": \"D\", \"actions\": [";
  for ( int i = 0; i < 100; ++i )
    deep += "{\"label\": \"d\", \"actions\": [\"open\", ";
  deep += "\"quit\"";
  for ( int i = 0; i < 100; ++i )
    deep += "]}";
  deep += "]}";
  std::string huge = "{\"name\": \"Huge\", \"label\": \"H\", \"actions\": [";
  for ( int i = 0; i < seeded_runs(20000); ++i )
    huge += i % 3 == 0 ? "\"-\", " : i % 3 == 1 ? "\"open\", " : "\"nosuch\", ";
  huge += "\"quit\"]}";
  std::string many_toolbars;
  const int toolbar_elements = seeded_runs(2000);
  for ( int i = 0; i < toolbar_elements; ++i )
    many_toolbars += i % 2 == 0 ? "\"-\", " : "{\"label\": \"T\", \"name\": \"many\", \"actions\": [\"open\"]}, ";
  many_toolbars += "99";
  const std::string many_warning = "Bad toolbar descripton #" + std::to_string(toolbar_elements);

  const struct
  {
    std::string menus;      // elements before the good menu
    std::string toolbars;   // elements before the good toolbar
    const char *warning;    // the first warning, "" for none
    const char *absent;     // a name that must not be registered, or null
  } cases[] = {
    {"7", "", "Bad menu description #0", nullptr},
    {"\"File\"", "", "Bad menu description #0", nullptr},
    {R"({"label": "L", "actions": []})", "", "Toplevel menus must have a \"name\" property", nullptr},
    {R"({"name": "N", "actions": []})", "",
     "Missing \"name\", \"label\" or \"actions\" (or \"template\") property for menu", "N"},
    {R"({"name": "N", "label": "L"})", "",
     "Missing \"name\", \"label\" or \"actions\" (or \"template\") property for menu", "N"},
    {R"({"name": "N", "label": "L", "actions": [], "template": {"name": "Good"}})", "",
     "Only one of \"actions\" or \"template\" can be specified", "N"},
    {R"({"name": 5, "label": "L", "actions": []})", "",
     "Menu \"L\": property \"name\" must be a string, not an integer", nullptr},
    {R"({"name": "N", "label": null, "actions": []})", "", "Menu \"N\": property \"label\" must be a string, not null",
     "N"},
    {R"({"name": "N", "label": "L", "actions": {}})", "", "Menu \"N\": property \"actions\" must be an array, not an object",
     "N"},
    {R"({"name": "N", "label": "L", "template": []})", "",
     "Menu \"N\": property \"template\" must be an object, not an array", "N"},
    {R"({"name": "N", "label": "L", "template": {"remove": []}})", "", "Template of menu \"N\" has no \"name\" property",
     "N"},
    {R"({"name": "N", "label": "L", "template": {"name": 3}})", "",
     "Template of menu \"N\": property \"name\" must be a string, not an integer", "N"},
    {R"({"name": "N", "label": "L", "template": {"name": "Nope"}})", "", "Couldn't find template menu \"Nope\"", "N"},
    {R"({"name": "Self", "label": "L", "template": {"name": "Self"}})", "", "Couldn't find template menu \"Self\"",
     "Self"},
    {R"({"name": "Base", "label": "B", "present_initially": false, "actions": ["open"]},
        {"name": "N", "label": "L", "template": {"name": "Base", "remove": ["ghost"]}})",
     "", "Failed to find action \"ghost\"", "N"},
    {R"({"name": "Base", "label": "B", "present_initially": false, "actions": ["open"]},
        {"name": "N", "label": "L", "template": {"name": "Base", "remove": ["open", 1]}})",
     "", "Expected array of strings in \"remove\" property", "N"},
    {R"({"name": "N", "label": "L", "actions": [], "present_initially": "no"})", "",
     "Menu \"N\": property \"present_initially\" must be a boolean, not a string", "N"},
    {R"({"name": "N", "label": "L", "actions": [], "visible_initially": 1})", "",
     "Menu \"N\": property \"visible_initially\" must be a boolean, not an integer", "N"},
    {R"({"name": "N", "label": "L", "actions": ["open", {"label": "S"}, 3.5, null, ["x"], {"name": "M", "label": "M", "actions": [], "visible_initially": "x"}, "quit"]})",
     "", "Missing \"name\", \"label\" or \"actions\" (or \"template\") property for menu", "M"},
    {deep, "", "Menu \"d\" is nested too deeply", nullptr},
    {huge, "", "", nullptr},
    {R"({"name": "", "label": "", "actions": ["", "@", "-", "~&\u00e9"]}, {"name": "a/b~&:Edit", "label": "\t", "actions": []})",
     "", "Unhandled special action name: \"@\"", nullptr},
    {"", R"({"name": "t", "actions": []})", "Toolbar \"t\": missing \"label\" property", "t"},
    {"", R"({"label": "L", "actions": []})", "Toolbar \"L\": missing \"name\" property", nullptr},
    {"", R"({"label": "L", "name": "t"})", "Toolbar \"t\": missing \"actions\" property", "t"},
    {"", R"({"label": 1, "name": "t", "actions": []})", "Toolbar \"t\": property \"label\" must be a string, not an integer",
     "t"},
    {"", R"({"label": "L", "name": ["t"], "actions": []})", "Toolbar \"L\": property \"name\" must be a string, not an array",
     nullptr},
    {"", R"({"label": "L", "name": "", "actions": []})", "Toolbar \"L\": the \"name\" property must not be empty", nullptr},
    {"", R"({"label": "L", "name": "t", "actions": "open"})",
     "Toolbar \"t\": property \"actions\" must be an array, not a string", "t"},
    {"", "true", "Bad toolbar descripton #0", nullptr},
    {"", "null, [], \"x\"", "Bad toolbar descripton #0", nullptr},
    {"", "\"--\"", "Bad toolbar descripton \"--\"", nullptr},
    {"", many_toolbars, many_warning.c_str(), nullptr},
  };
  for ( const auto &c : cases )
  {
    const std::string where = c.menus.substr(0, 120) + " / " + c.toolbars.substr(0, 120);
    window_ = std::make_unique<test_main_window_t>();
    ui_.clear();
    const std::string menu_text =
      "[" + c.menus + (c.menus.empty() ? "" : ", ") + R"({"name": "Good", "label": "G", "actions": ["open"]}])";
    const std::string toolbar_text =
      "[" + c.toolbars + (c.toolbars.empty() ? "" : ", ") + R"({"label": "G", "name": "good", "actions": ["save"]}])";
    menus(menu_text.c_str());
    toolbars(toolbar_text.c_str());
    const auto seen = warnings();
    if ( *c.warning == '\0' )
      EXPECT_TRUE(seen.empty()) << where;
    else
    {
      ASSERT_FALSE(seen.empty()) << where;
      EXPECT_EQ(seen.front(), c.warning) << where;
    }
    if ( c.absent != nullptr )
    {
      EXPECT_EQ(window_->find_named_menu(c.absent), nullptr) << where;
      EXPECT_EQ(window_->find_toolbar(c.absent), nullptr) << where;
    }
    ASSERT_NE(window_->find_named_menu("Good"), nullptr) << where;
    EXPECT_EQ(window_->menuBar()->actions().back()->menu(), window_->find_named_menu("Good")) << where;
    ASSERT_NE(window_->find_toolbar("good"), nullptr) << where;
    EXPECT_EQ(items_of(window_->find_toolbar("good")), "save") << where;
  }
  // What the refused items leave of their menus.
  window_ = std::make_unique<test_main_window_t>();
  ui_.clear();
  menus(R"([{"name": "N", "label": "L", "actions": ["open", {"label": "S"}, 3.5, null, ["x"], "quit"]}])");
  EXPECT_EQ(items_of(window_->find_named_menu("N")), "open quit");
  EXPECT_EQ(warnings(), (strings {"Missing \"name\", \"label\" or \"actions\" (or \"template\") property for menu",
                                  "Menu \"N\": item #2 must be a string or an object, not a number",
                                  "Menu \"N\": item #3 must be a string or an object, not null",
                                  "Menu \"N\": item #4 must be a string or an object, not an array"}));
}

// Every node of a JSON tree, parents before children.
void collect_nodes(json_value_t *value, std::vector<json_value_t *> *out)
{
  out->push_back(value);
  if ( value->tag == JSON_ARRAY )
    for ( json_value_t &element : *value->u.arr )
      collect_nodes(&element, out);
  else if ( value->tag == JSON_OBJECT )
    for ( json_member_t &member : *value->u.obj )
      collect_nodes(&member.value, out);
}

// Seeded mutations of a realistic layout: values of other types, members dropped, strings and subtrees moved
// around. Each mutant is built into a fresh window that must stay usable.
TEST_F(MenuLayoutTest, MutatedLayoutsNeverEndTheProgram)
{
  const char *layout = R"({"menus": [
    {"name": "File", "label": "&File", "actions": ["open", "save", "-", {"label": "Recent", "actions": ["quit"]}, "@probe"]},
    {"name": "Base", "label": "Base", "present_initially": false, "actions": ["copy", "paste",
      {"name": "Sub", "label": "Sub", "visible_initially": true, "icon": 0, "actions": ["find"]}]},
    {"name": "Chooser:Edit", "label": "Edit", "template": {"name": "Base", "remove": ["paste", "Sub"]}},
    {"name": "Search", "label": "Search", "icon": "themeicon-find", "visible_initially": true, "actions": ["find", ""]}
  ], "toolbars": [
    {"label": "Main", "name": "main", "actions": ["open", "", "save", "@probe"]},
    "-",
    {"label": "Search", "name": "search", "actions": ["find"]}
  ]})";
  json_value_t original;
  ASSERT_EQ(json_parse_text(&original, layout), 0);
  const char *pool[] = {"", "-", "-x", "@probe", "@", "open", "Base", "Sub", "File", "themeicon-find", "name", "label",
                        "actions", "template", "remove", "icon"};
  uint32_t seed = 0x5eed2601u;
  QStringList defaults;
  window_->default_menubar_menus(&defaults);
  for ( int run = 0; run < seeded_runs(1000); ++run )
  {
    json_value_t tree = original;
    const int mutations = 1 + static_cast<int>(next_random(&seed) % 4);
    for ( int m = 0; m < mutations; ++m )
    {
      std::vector<json_value_t *> nodes;
      collect_nodes(&tree, &nodes);
      json_value_t *target = nodes[1 + next_random(&seed) % (nodes.size() - 1)];
      json_value_t replacement;
      switch ( next_random(&seed) % 8 )
      {
        case 0: json_value_set_int(&replacement, static_cast<int32_t>(next_random(&seed)) % 5); break;
        case 1: json_set_string(&replacement, new qstring(pool[next_random(&seed) % std::size(pool)])); break;
        case 2: replacement.tag = JSON_BOOL; replacement.u.b = next_random(&seed) & 1; break;
        case 3: replacement.tag = JSON_NULL; break;
        case 4: replacement.tag = JSON_ARRAY; replacement.u.arr = new jarr_t(); break;
        case 5: replacement.tag = JSON_OBJECT; replacement.u.obj = new json_object_t(); break;
        case 6: replacement = *nodes[next_random(&seed) % nodes.size()]; break;
        default:
          // Drop a member by renaming it, when the target is an object with members.
          if ( target->tag == JSON_OBJECT && !target->u.obj->empty() )
          {
            json_member_t &member = (*target->u.obj)[next_random(&seed) % target->u.obj->size()];
            qstring renamed("x");
            renamed += member.key;
            member.key = renamed;
            continue;
          }
          replacement.tag = JSON_NULL;
          break;
      }
      *target = std::move(replacement);
    }
    window_ = std::make_unique<test_main_window_t>();
    if ( tree.tag != JSON_OBJECT )
      continue;
    if ( const json_value_t *menus_value = json_object_find(tree.u.obj, "menus", JSON_ARRAY) )
      window_->create_menus_from_desc(*menus_value->u.arr);
    if ( const json_value_t *toolbars_value = json_object_find(tree.u.obj, "toolbars", JSON_ARRAY) )
      window_->create_toolbars_from_desc(*toolbars_value->u.arr);
    // The window is usable: its lists can be restored and every menu on the bar can be walked.
    window_->set_menubar_menus(defaults);
    window_->set_toolbars({QStringLiteral("main"), QStringLiteral("search")});
    for ( QAction *item : window_->menuBar()->actions() )
      ASSERT_NE(item->menu(), nullptr) << run;
  }
}

} // namespace

// Desktop widget factories, the widget-configuration events, close flags and the closed-docks list.
#include "core/json_reader.h"
#include "core/json_writer.h"
#include "tests/support/interr_capture.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/ui/dock_test_support.h"

#include <QCloseEvent>
#include <QScreen>

namespace {

class label_factory_t : public title_desktop_widget_factory_t
{
public:
  using title_desktop_widget_factory_t::title_desktop_widget_factory_t;
  QWidget *create_widget(const char *name, const json_object_t *) override { return new QLabel(name); }
};

TEST(DesktopWidgetFactories, PrefixAndExactTitlesMatchNames)
{
  label_factory_t prefix("Commits", 0);
  label_factory_t exact("Log", 1);
  struct
  {
    const desktop_widget_factory_t *factory;
    const char *name;
    bool matches;
  } const cases[] = {
    {&prefix, "Commits", true},      {&prefix, "Commits of x", true}, {&prefix, "My Commits", false},
    {&prefix, "Commit", false},      {&exact, "Log", true},           {&exact, "Log 2", false},
    {&exact, "log", false},          {&exact, "", false},             {&prefix, nullptr, false},
  };
  for ( const auto &c : cases )
    EXPECT_EQ(c.factory->matches(c.name, nullptr), c.matches) << (c.name != nullptr ? c.name : "null");
}

TEST(DesktopWidgetFactories, EmptyTitlesAndSecondRegistrationsAreInternalErrors)
{
  EXPECT_EQ(interr_number([] { label_factory_t empty("", 0); }), 40611);
  EXPECT_EQ(interr_number([] { label_factory_t none(nullptr, 1); }), 40611);
  static label_factory_t once("Once", 1);
  const size_t before = desktop_widget_factories().size();
  EXPECT_EQ(interr_number([] { register_desktop_widget_factory(&once); }), 0);
  EXPECT_EQ(interr_number([] { register_desktop_widget_factory(&once); }), 40612);
  ASSERT_EQ(desktop_widget_factories().size(), before + 1);
  EXPECT_EQ(desktop_widget_factories().back(), &once);
}

// A widget that keeps one configuration member under its object name.
class configurable_t : public QWidget
{
public:
  explicit configurable_t(const char *name, QWidget *parent = nullptr) : QWidget(parent) { setObjectName(name); }
  json_value_t received;
  int saves = 0;

protected:
  bool event(QEvent *event) override
  {
    if ( event->type() == IGetWidgetConfigEvent::event_type )
    {
      json_member_t *member = json_object_append_member(&static_cast<IGetWidgetConfigEvent *>(event)->members);
      member->key = objectName().toUtf8().constData();
      json_value_set_int(&member->value, 7);
      return true;
    }
    if ( event->type() == ISetWidgetConfigEvent::event_type )
    {
      const json_object_t *config = static_cast<ISetWidgetConfigEvent *>(event)->config;
      if ( const json_value_t *mine = json_object_find(config, objectName().toUtf8().constData(), 0) )
        received = *mine;
      return true;
    }
    return QWidget::event(event);
  }
};

TEST(WidgetConfiguration, EventsGoThroughTheCallbackAndTheWidgetTree)
{
  recording_ui_callback_t callback;
  configurable_t top("top");
  auto *child = new configurable_t("child", new QWidget(&top));
  json_object_t members;
  collect_widget_config(&top, &members);
  ASSERT_EQ(members.size(), 2u);
  EXPECT_EQ(members[0].key, "top");
  EXPECT_EQ(members[1].key, "child");
  EXPECT_EQ(callback.requests_of(ui_code_get_widget_config).size(), 1u);

  json_value_t config;
  ASSERT_EQ(json_parse_text(&config, "{child: 3, other: 1}"), 0);
  set_widget_config(&top, json_value_as_object(&config));
  EXPECT_EQ(callback.requests_of(ui_code_set_widget_config).size(), 1u);
  ASSERT_EQ(child->received.tag, JSON_INT);
  EXPECT_EQ(json_value_as_int(&child->received), 3);
  EXPECT_EQ(top.received.tag, JSON_NONE);
}

TEST(CloseFlags, OnlyTheCloseBitsAreStoredAndTheRestAnswered)
{
  QWidget widget;
  EXPECT_EQ(set_widget_close_flags(&widget, 0xFFFFFFFFu), 0xBFFFFE3Fu);
  EXPECT_EQ(widget_close_flags(&widget), 0x400001C0u);
  EXPECT_TRUE(is_close_kept(&widget));
  EXPECT_TRUE(is_close_persistent(&widget));
  EXPECT_EQ(set_widget_close_flags(&widget, 0x80 | 0x3), 0x3u);
  EXPECT_EQ(widget_close_flags(&widget), 0x80u);
  EXPECT_FALSE(is_close_kept(&widget));
  widget.setProperty("close_flags", QStringLiteral("0x40"));
  EXPECT_EQ(widget_close_flags(&widget), 0u);
}

// The holder is the first of the widget and its three nearest ancestors with the property.
TEST(CloseFlags, TheHolderIsSearchedFourWidgetsDeep)
{
  QWidget w0;
  auto *w1 = new QWidget(&w0);
  auto *w2 = new QWidget(w1);
  auto *w3 = new QWidget(w2);
  auto *w4 = new QWidget(w3);
  w0.setProperty("close_flags", int(close_flag_by_esc));
  EXPECT_EQ(close_flags_holder(w3), &w0);
  EXPECT_EQ(widget_close_flags(w3), close_flag_by_esc);
  EXPECT_EQ(close_flags_holder(w4), w4); // four levels up is too far: the application's default
  EXPECT_EQ(widget_close_flags(w4), 0u);
  w2->setProperty("close_flags", int(close_flag_never_by_esc));
  EXPECT_EQ(close_flags_holder(w4), w2);
  EXPECT_EQ(close_flags_holder(nullptr), nullptr);
}

class ClosedDocks : public ::testing::Test
{
protected:
  void SetUp() override { closed_docks().clear(); }
  void TearDown() override { closed_docks().clear(); }

  static bool read(const char *text)
  {
    json_value_t value;
    if ( json_parse_text(&value, text) != 0 )
      ADD_FAILURE() << "bad test JSON: " << text;
    return read_closed_docks(*json_value_as_object(&value));
  }
  static std::string written()
  {
    const json_value_t value = write_closed_docks();
    qstring text;
    EXPECT_TRUE(json_to_text(&text, &value, 0));
    return std::string(text.view());
  }
};

TEST_F(ClosedDocks, EntriesAreFoundByExactNameAndMadeOnRequest)
{
  size_t index = 99;
  EXPECT_EQ(closed_dock_entry("A", false), nullptr);
  closed_dock_t *a = closed_dock_entry("A", true, &index);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(index, 0u);
  closed_dock_entry("B", true);
  EXPECT_EQ(closed_dock_entry("B", true, &index), &closed_docks()[1]);
  EXPECT_EQ(index, 1u);
  EXPECT_EQ(closed_dock_entry("a", false), nullptr);
  EXPECT_EQ(closed_docks().size(), 2u);
}

TEST_F(ClosedDocks, ReadingTakesWellFormedPlacements)
{
  const QString geometry_json =
    "{frame_geometry: [10, 20, 310, 420], normal_geometry: [10, 20, 310, 420], geometry: [10, 20, 310, 420],"
    " screen_number: 0, maximized: false, fullscreen: false, screen_width: 0}";
  const std::string text = ("{Log: {options: 8, anchor: \"Files\"},"
                            " Geom: {options: 128, floating: {window_geom: " + geometry_json + "}},"
                            " Place: {options: 128, floating: {x: 5, y: 6, width: 70, height: 80}},"
                            " Partial: {options: 128, floating: {x: 5, y: 6}}}").toStdString();
  ASSERT_TRUE(read(text.c_str()));
  ASSERT_EQ(closed_docks().size(), 4u);
  const dock_options_t &log = closed_docks()[0].placement;
  EXPECT_EQ(closed_docks()[0].name, "Log");
  EXPECT_EQ(log.options, 8u);
  EXPECT_EQ(log.anchor, "Files");
  const dock_options_t &geom = closed_docks()[1].placement;
  EXPECT_FALSE(geom.float_geometry.isEmpty());
  EXPECT_EQ(geom.float_pos, QPoint(0, 0));
  EXPECT_FALSE(geom.float_size.isValid());
  const dock_options_t &place = closed_docks()[2].placement;
  EXPECT_TRUE(place.float_geometry.isEmpty());
  EXPECT_EQ(place.float_pos, QPoint(5, 6));
  EXPECT_EQ(place.float_size, QSize(70, 80));
  const dock_options_t &partial = closed_docks()[3].placement;
  EXPECT_EQ(partial.float_pos, QPoint(0, 0));
  EXPECT_FALSE(partial.float_size.isValid());
}

// One bad member refuses the whole object and keeps the list as it was.
TEST_F(ClosedDocks, ReadingRefusesTheWholeObjectForOneBadMember)
{
  ASSERT_TRUE(read("{Kept: {options: 4, anchor: \"X\"}}"));
  const char *const bad[] = {
    "{A: {options: 1}, B: 3}",
    "{A: {anchor: \"X\"}}",
    "{A: {options: \"1\"}}",
    "{A: {options: 128, floating: {}}}",
    "{A: {options: 128}}",
    "{A: {options: 128, floating: 5}}",
    "{A: {options: -1}}",
    "{A: {options: 4294967296}}",
    "{A: {options: 128, floating: {x: 4294967296, y: 0, width: 1, height: 1}}}",
    "{A: {options: 128, floating: {x: 1, y: 0, width: 2147483648, height: 1}}}",
  };
  for ( const char *text : bad )
  {
    EXPECT_FALSE(read(text)) << text;
    ASSERT_EQ(closed_docks().size(), 1u) << text;
    EXPECT_EQ(closed_docks()[0].name, "Kept") << text;
  }
}

TEST_F(ClosedDocks, WritingGivesTheReadForm)
{
  closed_dock_entry("Log", true)->placement.options = dock_place_below;
  closed_dock_entry("Log", false)->placement.anchor = "Files";
  dock_options_t &floating = closed_dock_entry("Float", true)->placement;
  floating.options = dock_place_floating;
  floating.float_pos = QPoint(5, 6);
  floating.float_size = QSize(70, 80);
  dock_options_t &bare = closed_dock_entry("Bare", true)->placement;
  bare.options = dock_place_floating;
  closed_docks().push_back(closed_dock_t {"Log", dock_options_t {}});
  EXPECT_EQ(written(), "{\"Log\":{\"options\":0},"
                       "\"Float\":{\"options\":128,\"floating\":{\"x\":5,\"y\":6,\"width\":70,\"height\":80}},"
                       "\"Bare\":{\"options\":128,\"floating\":{}}}");

  // A window geometry goes out as its object and reads back.
  closed_docks().clear();
  QWidget window;
  window.setGeometry(40, 50, 300, 200);
  dock_options_t &geometry = closed_dock_entry("Geom", true)->placement;
  geometry.options = dock_place_floating;
  geometry.float_geometry = window.saveGeometry();
  const std::string text = written();
  EXPECT_NE(text.find("\"window_geom\":{"), std::string::npos) << text;
  ASSERT_TRUE(read(text.c_str()));
  EXPECT_FALSE(closed_docks()[0].placement.float_geometry.isEmpty());
}

using ClosedDockMemory = DockFixture;

// Docks closed together forget their floating window's place; a dock closed alone keeps it.
TEST_F(ClosedDockMemory, DocksClosedTogetherForgetTheirFloatingPlace)
{
  DockWidget *alone = make_dock("Alone");
  DockArea *single = area->float_dock(alone, nullptr, false);
  test_app().close_hosted_widget(alone, 0);
  const closed_dock_t *entry = closed_dock_entry("Alone", false);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->placement.options, dock_place_floating);
  EXPECT_EQ(entry->placement.float_pos, single->pos());
  EXPECT_TRUE(entry->placement.float_size.isValid());

  DockWidget *one = make_dock("One");
  DockArea *shared = area->float_dock(one, nullptr, false);
  shared->tabify_dock(make_dock("Two"), one, false, -1);
  EXPECT_TRUE(shared->close());
  for ( const char *name : {"One", "Two"} )
  {
    const closed_dock_t *e = closed_dock_entry(name, false);
    ASSERT_NE(e, nullptr) << name;
    EXPECT_EQ(e->placement.float_pos, QPoint(0, 0)) << name;
    EXPECT_FALSE(e->placement.float_size.isValid()) << name;
    EXPECT_TRUE(e->placement.float_geometry.isEmpty()) << name;
  }
  EXPECT_EQ(closed_dock_entry("One", false)->placement.anchor, "Two");

  closed_dock_t copy;
  EXPECT_TRUE(test_app().closed_dock_entry_of_widget(&copy, dock_content(one)));
  EXPECT_EQ(copy.name, "One");
  QLabel untitled;
  EXPECT_FALSE(test_app().closed_dock_entry_of_widget(&copy, &untitled));
}

} // namespace

// The client's chooser widget and the registry values that keep list and tree views' state between runs.
#include "client/app/akui_app.h"
#include "client/views/akui_chooser_widget.h"
#include "client/views/view_state_persistence.h"
#include "core/registry.h"
#include "tests/client/client_session.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/support/seeded_random.h"
#include "tests/ui/app/event_pump.h"
#include "ui/docks/desktop_widgets.h"
#include "ui/header_visibility.h"
#include "views/chooser/chooser_table.h"
#include "views/chooser/chooser_widget.h"

#include <QApplication>
#include <QHeaderView>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char *sample_header[] = {"Name", "Size", "Owner"};
constexpr uint32_t sample_widths[] = {12, 6, 10};

// A three-column list of a chosen title and widget kind that counts how often the widget reloads it.
class sample_list_t : public chooser_t
{
public:
  sample_list_t(const char *list_title, int kind, int *loads) : title_(list_title), loads_(loads)
  {
    title = title_.c_str();
    columns = 3;
    header = sample_header;
    widths = sample_widths;
    flags = chooser_keep;
    if ( kind >= 0 )
      flags |= uint32_t(kind + 1) << chooser_kind_shift;
  }
  uint64_t item_count() override
  {
    if ( loads_ != nullptr )
      ++*loads_;
    return 2;
  }
  void describe_row(std::span<qstring> texts, int32_t *, chooser_row_attrs_t *, uint64_t row) override
  {
    texts[0] = row == 0 ? "alpha" : "beta";
    texts[1] = "1";
    texts[2] = "me";
  }

private:
  std::string title_;
  int *loads_;
};

struct shown_list_t
{
  std::unique_ptr<sample_list_t> source;
  std::unique_ptr<chooser_widget_t> widget;
};

shown_list_t show_list(const char *title, int kind = 3, int *loads = nullptr)
{
  shown_list_t shown;
  shown.source = std::make_unique<sample_list_t>(title, kind, loads);
  shown.widget.reset(
    chooser_widget_factory().new_chooser_widget(init_chooser_widget_setup(shown.source.get(), nullptr, false)));
  shown.widget->resize(600, 300);
  shown.widget->show();
  return shown;
}

// Lets the widget's posted loads and layouts run.
void settle()
{
  (void)pump_until([] { return false; }, std::chrono::milliseconds(60));
}

std::vector<int> section_widths(chooser_widget_t &widget)
{
  std::vector<int> widths;
  for ( int i = 0; i < widget.shown_header()->count(); ++i )
    widths.push_back(widget.shown_header()->sectionSize(i));
  return widths;
}

std::vector<bool> section_visibility(chooser_widget_t &widget)
{
  std::vector<bool> visible;
  for ( int i = 0; i < widget.shown_header()->count(); ++i )
    visible.push_back(!widget.shown_header()->isSectionHidden(i));
  return visible;
}

bool stored_binary(const std::string &name, byte_buffer_t *out, const char *subkey = nullptr)
{
  return registry_binary(name.c_str(), false, out, 0, subkey, registry_binary_buffer);
}

void store_binary(const std::string &name, const byte_buffer_t &bytes)
{
  (void)registry_binary(name.c_str(), true, const_cast<byte_buffer_t *>(&bytes), 0, nullptr, registry_binary_buffer);
}

void forget(const std::string &name)
{
  (void)registry_remove_value((name + column_widths_suffix).c_str());
  (void)registry_remove_value((name + columns_visible_suffix).c_str());
  (void)registry_remove_value(name.c_str(), widget_state_subkey);
}

void save_state(QWidget &widget)
{
  ISaveStateEvent event;
  QApplication::sendEvent(&widget, &event);
}

byte_buffer_t bytes_of(std::initializer_list<uint8_t> list)
{
  byte_buffer_t bytes;
  for ( const uint8_t b : list )
    bytes.push_back(b);
  return bytes;
}

TEST(ChooserPersistence, TheFactoryMakesTheClientWidgetWithAHelperNamedByTheGenericTitle)
{
  shown_list_t shown = show_list("History of //src/a.c");
  EXPECT_NE(dynamic_cast<akui_chooser_widget_t *>(shown.widget.get()), nullptr);
  akui_chooser_persistence_helper_t helper(shown.widget.get());
  EXPECT_EQ(std::string(helper.name().c_str()), "History of ");
  shown_list_t commit = show_list("Commit #12");
  EXPECT_EQ(std::string(akui_chooser_persistence_helper_t(commit.widget.get()).name().c_str()), "Commit #");
  shown_list_t plain = show_list("Sites");
  EXPECT_EQ(std::string(akui_chooser_persistence_helper_t(plain.widget.get()).name().c_str()), "Sites");
}

TEST(ChooserPersistence, FileHistoryWindowsShareOneSetOfWidths)
{
  forget("History of ");
  {
    shown_list_t first = show_list("History of //src/a.c");
    first.widget->shown_header()->resizeSection(0, 211);
    first.widget->shown_header()->resizeSection(1, 77);
    first.widget->shown_header()->setSectionHidden(1, true);
    save_state(*first.widget);
  }
  byte_buffer_t stored;
  ASSERT_TRUE(stored_binary("History of _column_widths", &stored));
  std::vector<int32_t> widths;
  ASSERT_TRUE(decode_column_widths(stored, &widths));
  ASSERT_EQ(widths.size(), 3u);
  EXPECT_EQ(widths[0], 211);
  ASSERT_TRUE(stored_binary("History of _columns_visible", &stored));

  shown_list_t second = show_list("History of //doc/b.txt");
  EXPECT_EQ(section_widths(*second.widget)[0], 211);
  EXPECT_EQ(section_visibility(*second.widget), (std::vector<bool> {true, false, true}));

  forget("History of ");
}

TEST(ChooserPersistence, AListNeverSavedKeepsItsDefaults)
{
  forget("Never saved");
  shown_list_t first = show_list("Never saved");
  const std::vector<int> defaults = section_widths(*first.widget);
  // Without a user's resize only the visibility is stored.
  save_state(*first.widget);
  byte_buffer_t stored;
  EXPECT_FALSE(stored_binary("Never saved_column_widths", &stored));
  shown_list_t again = show_list("Never saved");
  EXPECT_EQ(section_widths(*again.widget), defaults);
  EXPECT_EQ(section_visibility(*again.widget), (std::vector<bool> {true, true, true}));
  forget("Never saved");
}

TEST(ChooserPersistence, TheWidgetReloadsOnTheRefreshEventOfItsOwnKindOnly)
{
  int loads = 0;
  shown_list_t shown = show_list("Refreshed list", akui_kind_sites, &loads);
  settle();
  int before = loads;

  refresh_dirty_widgets_event_t other(uint64_t(1) << akui_kind_users | uint64_t(1) << akui_kind_commits);
  QApplication::sendEvent(shown.widget.get(), &other);
  settle();
  EXPECT_EQ(loads, before);

  refresh_dirty_widgets_event_t own(uint64_t(1) << akui_kind_sites);
  EXPECT_TRUE(QApplication::sendEvent(shown.widget.get(), &own));
  EXPECT_TRUE(pump_until([&] { return loads > before; }));

  // A list without a kind is never reloaded by the event.
  int kindless_loads = 0;
  shown_list_t kindless = show_list("Kindless list", -1, &kindless_loads);
  settle();
  before = kindless_loads;
  refresh_dirty_widgets_event_t all(all_widget_kinds);
  QApplication::sendEvent(kindless.widget.get(), &all);
  settle();
  EXPECT_EQ(kindless_loads, before);
}

TEST(ChooserPersistence, TheApplicationKnowsTheWidgetKindOfAList)
{
  akui_app_t &app = *client_session().app;
  shown_list_t sites = show_list("Kind of sites", akui_kind_sites);
  EXPECT_EQ(app.widget_kind_of(sites.widget.get()), akui_kind_sites);
  shown_list_t kindless = show_list("Kind of nothing", -1);
  EXPECT_EQ(app.widget_kind_of(kindless.widget.get()), -1);
}

TEST(ChooserPersistence, TheApplicationsRefreshTimerReachesTheList)
{
  int loads = 0;
  shown_list_t shown = show_list("Timer list", akui_kind_commits, &loads);
  settle();
  const int before = loads;
  client_session().app->refresh_widgets(uint64_t(1) << akui_kind_commits, true);
  EXPECT_TRUE(pump_until([&] { return loads > before; }));
}

// ---- Broken stored values -------------------------------------------------------------------------------------

struct broken_case_t
{
  const char *what;
  byte_buffer_t widths;     // empty: not stored
  byte_buffer_t visibility; // empty: not stored
  bool widths_stored;
  bool visibility_stored;
};

size_t log_reports(const recording_ui_callback_t &ui)
{
  return ui.requests_of(ui_code_log).size();
}

TEST(ChooserPersistence, BrokenStoredValuesGiveTheDefaultsWithAtMostOneReport)
{
  const std::string name = "Broken list";
  forget(name);
  std::vector<int> defaults;
  {
    shown_list_t clean = show_list(name.c_str());
    defaults = section_widths(*clean.widget);
  }
  const broken_case_t cases[] = {
    {"odd length", bytes_of({1, 0, 0, 0, 7}), {}, true, false},
    {"one byte", bytes_of({9}), {}, true, false},
    {"two widths for three columns", encode_column_widths({100, 100}), {}, true, false},
    {"four widths for three columns", encode_column_widths({100, 100, 100, 100}), {}, true, false},
    {"many widths", encode_column_widths(std::vector<int32_t>(5000, 90)), {}, true, false},
    {"empty widths", {}, {}, true, false},
    {"negative and huge widths", encode_column_widths({-5, 0, 1 << 30}), {}, true, false},
    {"visibility of another version", {}, bytes_of({2, 3, 0x1}), false, true},
    {"visibility count of two", {}, bytes_of({1, 2, 0x1}), false, true},
    {"visibility count larger than the bytes", {}, bytes_of({1, 0xC0, 0xFF, 0xFF, 0xFF, 0x0F, 0x1}), false, true},
    {"visibility truncated count", {}, bytes_of({1, 0xC0}), false, true},
    {"visibility without bits", {}, bytes_of({1, 3}), false, true},
    {"empty visibility", {}, {}, false, true},
  };
  for ( const broken_case_t &c : cases )
  {
    SCOPED_TRACE(c.what);
    forget(name);
    if ( c.widths_stored )
      store_binary(name + column_widths_suffix, c.widths);
    if ( c.visibility_stored )
      store_binary(name + columns_visible_suffix, c.visibility);
    recording_ui_callback_t ui;
    shown_list_t shown = show_list(name.c_str());
    std::vector<int> widths = section_widths(*shown.widget);
    if ( std::string(c.what) == "negative and huge widths" )
    {
      EXPECT_EQ(widths[0], defaults[0]); // only the unusable widths fall back
    }
    else
    {
      EXPECT_EQ(widths, defaults);
    }
    EXPECT_EQ(section_visibility(*shown.widget), (std::vector<bool> {true, true, true}));
    EXPECT_LE(log_reports(ui), 1u);
    if ( std::string(c.what) == "odd length" )
    {
      EXPECT_EQ(log_reports(ui), 1u);
    }
  }
  forget(name);
}

TEST(ChooserPersistence, MutatedStoredBlobsNeverEndTheProgram)
{
  const std::string name = "Mutated list";
  forget(name);
  byte_buffer_t good_widths = encode_column_widths({120, 60, 80});
  byte_buffer_t good_visible = bytes_of({1, 3, 0x5});
  uint32_t seed = 0x2545F491;
  const int runs = seeded_runs(40);
  for ( int run = 0; run < runs; ++run )
  {
    byte_buffer_t widths = good_widths;
    byte_buffer_t visible = good_visible;
    for ( byte_buffer_t *blob : {&widths, &visible} )
    {
      const uint32_t edits = next_random(&seed) % 4;
      for ( uint32_t e = 0; e < edits; ++e )
      {
        const uint32_t what = next_random(&seed) % 3;
        if ( what == 0 && !blob->empty() )
          (*blob)[next_random(&seed) % blob->size()] = uint8_t(next_random(&seed));
        else if ( what == 1 )
          blob->push_back(uint8_t(next_random(&seed)));
        else if ( !blob->empty() )
          blob->resize(next_random(&seed) % blob->size());
      }
    }
    store_binary(name + column_widths_suffix, widths);
    store_binary(name + columns_visible_suffix, visible);
    recording_ui_callback_t ui;
    shown_list_t shown = show_list(name.c_str());
    EXPECT_EQ(shown.widget->shown_header()->count(), 3);
    EXPECT_LE(log_reports(ui), 1u) << "run " << run;
  }
  forget(name);
}

// ---- Directory-tree views -------------------------------------------------------------------------------------

TEST(DirtreePersistence, ATreeKeepsItsStateUnderItsTitle)
{
  forget("Arkive files");
  QWidget view;
  view.setWindowTitle(QStringLiteral("Arkive files"));
  std::unique_ptr<dirtree_widget_persistence_helper_t> helper(
    client_session().app->new_dirtree_persistence_helper(&view));
  ASSERT_NE(helper, nullptr);

  byte_buffer_t state;
  std::vector<int32_t> widths;
  byte_buffer_t visible;
  EXPECT_FALSE(helper->load_state(&state));
  EXPECT_FALSE(helper->load_column_widths(&widths));
  EXPECT_FALSE(helper->load_columns_visible(&visible));

  const byte_buffer_t tree_state = bytes_of({0xA1, 0x02, 0x03, 0x00, 0xFF});
  const byte_buffer_t visibility = bytes_of({1, 4, 0x0B});
  EXPECT_TRUE(helper->store_state(tree_state));
  EXPECT_TRUE(helper->store_column_widths({300, 80, 120, -1}));
  EXPECT_TRUE(helper->store_columns_visible(visibility));

  byte_buffer_t raw;
  ASSERT_TRUE(stored_binary("Arkive files", &raw, "widget_state"));
  EXPECT_EQ(raw, tree_state);
  ASSERT_TRUE(stored_binary("Arkive files_column_widths", &raw));
  EXPECT_EQ(raw, encode_column_widths({300, 80, 120, -1}));
  ASSERT_TRUE(stored_binary("Arkive files_columns_visible", &raw));
  EXPECT_EQ(raw, visibility);

  QWidget later;
  later.setWindowTitle(QStringLiteral("Arkive files"));
  akui_dirtree_widget_persistence_helper_t reread(&later);
  ASSERT_TRUE(reread.load_state(&state));
  EXPECT_EQ(state, tree_state);
  ASSERT_TRUE(reread.load_column_widths(&widths));
  EXPECT_EQ(widths, (std::vector<int32_t> {300, 80, 120, -1}));
  ASSERT_TRUE(reread.load_columns_visible(&visible));
  EXPECT_EQ(visible, visibility);

  // A damaged width value is no value, reported once.
  store_binary("Arkive files_column_widths", bytes_of({1, 2, 3}));
  recording_ui_callback_t ui;
  widths.clear();
  EXPECT_FALSE(reread.load_column_widths(&widths));
  EXPECT_TRUE(widths.empty());
  EXPECT_EQ(ui.requests_of(ui_code_log).size(), 1u);
  forget("Arkive files");
}

TEST(DirtreePersistence, WidthsRoundTripAsLittleEndianWords)
{
  const std::vector<int32_t> widths = {0, 1, -1, 0x12345678, INT32_MIN, INT32_MAX};
  const byte_buffer_t bytes = encode_column_widths(widths);
  ASSERT_EQ(bytes.size(), 24u);
  EXPECT_EQ(bytes[12], 0x78);
  EXPECT_EQ(bytes[15], 0x12);
  std::vector<int32_t> back;
  ASSERT_TRUE(decode_column_widths(bytes, &back));
  EXPECT_EQ(back, widths);
  byte_buffer_t odd = bytes;
  odd.push_back(0);
  back.clear();
  EXPECT_FALSE(decode_column_widths(odd, &back));
  EXPECT_TRUE(back.empty());
}

} // namespace

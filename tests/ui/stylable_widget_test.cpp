// The stylable widget mixin: colour texts, style-sheet lines, ids and positions, its internal errors.
#include "ui/stylable_widget.h"

#include "tests/support/env_guard.h"
#include "tests/support/interr_capture.h"
#include "tests/support/string_lists.h"
#include "tests/ui/app/test_app.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const style_property_desc_t probe_table[] = {
  {"highlight-bg-default", "Highlight color", 0xFF00FFFF},
  {"highlight-bg-selected", "Highlight color (selected row)", 0xFFC0C000},
  {"cut-text-color-default", "Cut text color", 0xFF000000},
  {"cut-text-color-selected", "Cut text color (selected row)", 0xFF000000},
};

// A widget whose colours a style sheet sets through Qt properties backed by the mixin, as the views do.
class stylable_probe_t : public QWidget, public stylable_widget_mixin_t
{
  Q_OBJECT
  Q_INTERFACES(stylable_widget_mixin_t)
  Q_PROPERTY(QColor highlight_bg_default READ highlight_bg_default WRITE set_highlight_bg_default)
  Q_PROPERTY(QColor cut_text_color_selected READ cut_text_color_selected WRITE set_cut_text_color_selected)

public:
  stylable_probe_t()
    : stylable_widget_mixin_t(probe_table, std::size(probe_table), staticMetaObject.className())
  {
  }
  QColor highlight_bg_default() const { return color_property(style_property_id_base + 0, false); }
  void set_highlight_bg_default(const QColor &c) { set_color_property(style_property_id_base + 0, c, false); }
  QColor cut_text_color_selected() const { return color_property(style_property_id_base + 3, false); }
  void set_cut_text_color_selected(const QColor &c) { set_color_property(style_property_id_base + 3, c, false); }
};

uint32_t abgr(QColor colour)
{
  return swap_red_blue(colour.rgba());
}

TEST(StylableWidget, ColourTexts)
{
  struct row_t
  {
    const char *what;
    uint32_t value;
    const char *text;
  };
  const row_t rows[] = {
    {"opaque red by its name", 0xFF0000FF, "red"},
    {"aqua before cyan", abgr(QColor(0, 255, 255)), "aqua"},
    {"zero is Qt's transparent", 0, "transparent"},
    {"yellow of the example table", 0xFF00FFFF, "yellow"},
    {"opaque without a name", 0xFF563412, "#123456"},
    {"upper-case digits", 0xFFEFCDAB, "#ABCDEF"},
    {"half transparent", 0x80030201, "rgba(1, 2, 3, 0.501961)"},
    {"transparent but not black", 0x00FFFFFF, "rgba(255, 255, 255, 0.000000)"},
    {"named colour with another alpha", 0x7F0000FF, "rgba(255, 0, 0, 0.498039)"},
  };
  for ( const row_t &row : rows )
    EXPECT_EQ(stylable_widget_mixin_t::color_text(row.value), row.text) << row.what;
}

// A locale whose decimal point is a comma, compiled from a one-category source into a private folder (the
// system need not have any such locale installed).
TEST(StylableWidget, AlphaKeepsItsPointUnderADecimalCommaLocale)
{
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString source = dir.filePath("comma.src");
  FILE *f = std::fopen(source.toLocal8Bit().constData(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \".\"\ngrouping 3;3\nEND LC_NUMERIC\n", f);
  std::fclose(f);
  // Exit code 1 (with warnings) only says that the other categories are left empty.
  QProcess localedef;
  localedef.start("localedef", {"-c", "-i", source, dir.filePath("comma")});
  ASSERT_TRUE(localedef.waitForFinished(30000));
  ASSERT_LE(localedef.exitCode(), 1) << localedef.readAllStandardError().toStdString();

  env_guard_t locpath("LOCPATH", dir.path().toLocal8Bit().constData());
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  ASSERT_NE(std::setlocale(LC_NUMERIC, "comma"), nullptr);
  char probe[32];
  std::snprintf(probe, sizeof probe, "%f", 0.5);
  const qstring text = stylable_widget_mixin_t::color_text(0x80030201);
  std::setlocale(LC_NUMERIC, previous.c_str());
  EXPECT_STREQ(probe, "0,500000") << "the locale is not in force";
  EXPECT_EQ(text, "rgba(1, 2, 3, 0.501961)");
}

TEST(StylableWidget, StyleSheetLinesListWhatDiffers)
{
  stylable_probe_t widget;
  stylable_probe_t reference;
  qvector<qstring> lines;
  widget.style_sheet_lines(&lines, reference);
  EXPECT_TRUE(lines.empty());

  widget.set_color_property(0, QColor(Qt::red), true);
  widget.set_color_property(2, QColor(0x12, 0x34, 0x56, 128), true);
  lines.push_back("kept");
  widget.style_sheet_lines(&lines, reference);
  EXPECT_EQ(to_strings(lines), (std::vector<std::string> {"kept", "stylable_probe_t", "{",
                                                      "    qproperty-highlight-bg-default: red;",
                                                      "    qproperty-cut-text-color-default: rgba(18, 52, 86, 0.501961);",
                                                      "}"}));
  qstring name;
  widget.style_class_name(&name);
  EXPECT_EQ(name, "stylable_probe_t");
  stylable_widget_mixin_t nameless(probe_table, 1, nullptr);
  nameless.style_class_name(&name);
  EXPECT_EQ(name, "");
}

TEST(StylableWidget, StyleSheetSetsPropertiesAndQtFindsTheMixin)
{
  stylable_probe_t widget;
  widget.setStyleSheet("stylable_probe_t { qproperty-highlight_bg_default: #102030;"
                       " qproperty-cut_text_color_selected: rgba(1, 2, 3, 50%); }");
  widget.ensurePolished();
  auto *mixin = qobject_cast<stylable_widget_mixin_t *>(static_cast<QWidget *>(&widget));
  ASSERT_EQ(mixin, static_cast<stylable_widget_mixin_t *>(&widget));
  EXPECT_EQ(mixin->int_property(0, true), 0xFF302010u);
  EXPECT_EQ(mixin->color_property(style_property_id_base, false), QColor(0x10, 0x20, 0x30));
  EXPECT_EQ(mixin->int_property(3, true) & 0x00FFFFFF, 0x030201u);
  EXPECT_EQ(mixin->int_property(1, true), 0xFFC0C000u);
  EXPECT_EQ(widget.property("highlight_bg_default").value<QColor>(), QColor(0x10, 0x20, 0x30));
}

TEST(StylableWidget, IdsAndPositionsNameTheSameValues)
{
  stylable_probe_t widget;
  EXPECT_EQ(widget.int_property(2, true), 0xFF000000u);
  widget.set_color_property(style_property_id_base + 2, QColor(1, 2, 3), false);
  EXPECT_EQ(widget.int_property(2, true), 0xFF030201u);
  EXPECT_EQ(widget.int_property(style_property_id_base + 2, false), widget.int_property(2, true));
  EXPECT_EQ(widget.color_property(2, true), QColor(1, 2, 3));
  EXPECT_EQ(widget.style_property_count(), 4u);
  EXPECT_STREQ(widget.style_property(1).description, "Highlight color (selected row)");

  // Outside the table: reads 0, writes nothing.
  const std::pair<uint32_t, bool> strangers[] = {
    {4, true}, {0xFFFFFFFF, true}, {style_property_id_base + 4, false}, {style_property_id_base - 1, false},
    {0, false}, {2, false}, {0xFFFFFFFF, false},
  };
  for ( const auto &[index, by_position] : strangers )
  {
    widget.set_color_property(index, QColor(Qt::green), by_position);
    EXPECT_EQ(widget.int_property(index, by_position), 0u) << index << " " << by_position;
    EXPECT_EQ(widget.color_property(index, by_position).rgba(), 0u) << index;
  }
  stylable_probe_t fresh;
  fresh.set_color_property(2, QColor(1, 2, 3), true);
  for ( uint32_t i = 0; i < 4; ++i )
    EXPECT_EQ(widget.int_property(i, true), fresh.int_property(i, true)) << i;
}

TEST(StylableWidget, QpropertyEntries)
{
  struct row_t
  {
    const char *name;
    int value;
    uint32_t flags;
    const char *text;
  };
  const row_t rows[] = {
    {"keyword1_weight", 1, qproperty_prefix | qproperty_hyphenate, "x_y qproperty-keyword1-weight: 1;"},
    {"keyword1_weight", 0, qproperty_prefix, "x_y qproperty-keyword1_weight: 0;"},
    {"number_italic", -7, qproperty_hyphenate, "x_y number-italic: -7;"},
    {"plain", 2147483647, 0, "x_y plain: 2147483647;"},
  };
  for ( const row_t &row : rows )
  {
    qstring text("x_y ");
    stylable_widget_mixin_t::append_qproperty_entry(&text, row.name, row.value, row.flags);
    EXPECT_EQ(text, row.text);
  }
}

TEST(StylableWidget, InternalErrors)
{
  std::vector<style_property_desc_t> table(style_property_limit, probe_table[0]);
  EXPECT_EQ(interr_number([&] { stylable_widget_mixin_t m(table.data(), 255, "c"); }), 0);
  EXPECT_EQ(interr_number([&] { stylable_widget_mixin_t m(table.data(), 256, "c"); }), 40665);

  stylable_widget_mixin_t three(probe_table, 3, "c");
  stylable_widget_mixin_t four(probe_table, 4, "c");
  qvector<qstring> entries;
  EXPECT_EQ(interr_number([&] { four.collect_color_entries(&entries, three); }), 40670);
  EXPECT_EQ(interr_number([&] { three.style_sheet_lines(&entries, four); }), 40670);
  EXPECT_EQ(interr_number([&] { four.collect_color_entries(&entries, four); }), 0);
  EXPECT_TRUE(entries.empty());
}

} // namespace

#include "stylable_widget_test.moc"

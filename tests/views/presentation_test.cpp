// What a filtered view shows besides its texts: the roles of a row, match highlights and cut rows painted by
// the view style (measured on the painted image), rows copied in view order, and the labels of drags.
#include "core/internal_error.h"
#include "tests/support/interr_capture.h"
#include "tests/ui/app/screenshots.h"
#include "tests/ui/app/test_app.h"
#include "tests/views/filtered_test_widget.h"
#include "tests/views/make_condition.h"
#include "tests/views/painted_option.h"
#include "views/filter/code_points.h"
#include "views/filter/drag_scope.h"
#include "views/filter/filtered_item_view_style.h"
#include "views/filter/view_rows_copy.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace
{

std::unique_ptr<test_filtered_widget_t> list_of(std::vector<test_row_t> rows)
{
  auto widget = std::make_unique<test_filtered_widget_t>(std::vector<test_folder_t>(), std::move(rows));
  widget->resize(420, 260);
  widget->view()->setColumnWidth(0, 300);
  widget->show();
  return widget;
}

std::unique_ptr<test_filtered_widget_t> list_of_names(const std::vector<std::string> &names)
{
  return list_of(make_rows(names));
}

filter_condition_t quick(uint32_t flags, const std::string &text)
{
  filter_condition_t c;
  c.flags = flags;
  c.set_text(text);
  return c;
}

// The runs of pixel columns [first, last] in which the row's rectangle shows the colour somewhere.
std::vector<std::pair<int, int>> colour_runs(const QImage &image, const QRect &rect, QRgb colour)
{
  std::vector<std::pair<int, int>> runs;
  for ( int x = rect.left(); x <= rect.right(); ++x )
  {
    bool seen = false;
    for ( int y = rect.top(); y <= rect.bottom() && !seen; ++y )
      seen = (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    if ( !seen )
      continue;
    if ( !runs.empty() && runs.back().second == x - 1 )
      runs.back().second = x;
    else
      runs.emplace_back(x, x);
  }
  return runs;
}

QImage painted_viewport(QTreeView *view)
{
  QImage image(view->viewport()->size(), QImage::Format_RGB32);
  view->viewport()->render(&image);
  return image;
}

} // namespace

// ---- Roles ---------------------------------------------------------------------------------------------

TEST(FilteredViewRoles, EachRowAttributeGivesItsRoleAndNothingElse)
{
  QPixmap pixmap(8, 8);
  pixmap.fill(Qt::green);
  const int32_t icon = test_app().register_icon(QIcon(pixmap), "presentation_row_icon");
  const QFont widget_font("DejaVu Sans", 17);
  struct row_t
  {
    const char *why;
    uint32_t attributes;
    int32_t background;
    int32_t icon;
    bool bold, italic, underline, strike;
    QVariant foreground; // expected colour, or none
    QVariant background_colour;
    bool decorated;
  };
  const std::vector<row_t> rows = {
    {"plain row", 0, -1, -1, false, false, false, false, {}, {}, false},
    {"bold", 0x1, -1, -1, true, false, false, false, {}, {}, false},
    {"italic", 0x2, -1, -1, false, true, false, false, {}, {}, false},
    {"underline and strike-out", 0xC, -1, -1, false, false, true, true, {}, {}, false},
    {"grey text", 0x10, -1, -1, false, false, false, false, QColor(Qt::darkGray), {}, false},
    {"red background, black text", 0, 0x0000FF, -1, false, false, false, false, QColor(Qt::black),
     QColor(255, 0, 0), false},
    {"dark blue background, white text", 0, 0x800000, -1, false, false, false, false, QColor(Qt::white),
     QColor(0, 0, 128), false},
    {"grey text wins over the background's contrast", 0x10, 0x0000FF, -1, false, false, false, false,
     QColor(Qt::darkGray), QColor(255, 0, 0), false},
    {"icon", 0, -1, icon, false, false, false, false, {}, {}, true},
  };
  std::vector<test_row_t> data;
  for ( size_t i = 0; i < rows.size(); ++i )
    data.push_back({i + 1, rows[i].why, "1", rows[i].attributes, rows[i].background, rows[i].icon});
  auto w = list_of(data);
  w->setFont(widget_font);
  QAbstractItemModel *model = w->model();
  for ( size_t i = 0; i < rows.size(); ++i )
  {
    const row_t &row = rows[i];
    const QModelIndex index = model->index(int(i), 0);
    const QVariant font = index.data(Qt::FontRole);
    const bool any_font = row.bold || row.italic || row.underline || row.strike || (row.attributes & 0x10) != 0;
    ASSERT_EQ(font.isValid(), any_font) << row.why;
    if ( any_font )
    {
      const QFont f = font.value<QFont>();
      EXPECT_EQ(f.bold(), row.bold) << row.why;
      EXPECT_EQ(f.italic(), row.italic) << row.why;
      EXPECT_EQ(f.underline(), row.underline) << row.why;
      EXPECT_EQ(f.strikeOut(), row.strike) << row.why;
      EXPECT_EQ(f.pointSize(), widget_font.pointSize()) << row.why << ": the widget's font is the base";
    }
    const QVariant foreground = index.data(Qt::ForegroundRole);
    EXPECT_EQ(foreground.isValid(), row.foreground.isValid()) << row.why;
    if ( row.foreground.isValid() )
    {
      EXPECT_EQ(foreground.value<QColor>(), row.foreground.value<QColor>()) << row.why;
    }
    const QVariant background = index.data(Qt::BackgroundRole);
    EXPECT_EQ(background.isValid(), row.background_colour.isValid()) << row.why;
    if ( row.background_colour.isValid() )
    {
      EXPECT_EQ(background.value<QBrush>().color(), row.background_colour.value<QColor>()) << row.why;
    }
    EXPECT_EQ(!index.data(Qt::DecorationRole).value<QIcon>().isNull(), row.decorated) << row.why;
    EXPECT_FALSE(model->index(int(i), 1).data(Qt::DecorationRole).isValid()) << row.why << ": icons only in column 0";
    EXPECT_FALSE(index.data(Qt::ToolTipRole).isValid()) << row.why;
  }
}

TEST(FilteredViewRoles, ItalicsForAllRowsAndHighlightConditionsReachEveryRow)
{
  std::vector<test_row_t> rows = make_rows({"plain", "hit me", "bold"});
  rows[2].attributes = 0x1;
  auto w = list_of(rows);
  QAbstractItemModel *model = w->model();
  w->set_rows_italic(true);
  for ( int row = 0; row < 3; ++row )
    EXPECT_TRUE(model->index(row, 0).data(Qt::FontRole).value<QFont>().italic()) << row;
  w->set_rows_italic(false);
  EXPECT_FALSE(model->index(0, 0).data(Qt::FontRole).isValid());

  // A matching highlight condition colours the row (0x00BBGGRR) and its text contrasts with it.
  filter_condition_t highlight = make_condition(filter_action_highlight, "hit");
  highlight.color = 0x00FF00; // green
  w->set_conditions({highlight});
  EXPECT_EQ(model->index(1, 0).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(0, 255, 0));
  EXPECT_EQ(model->index(1, 1).data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::white));
  EXPECT_FALSE(model->index(0, 0).data(Qt::BackgroundRole).isValid());
  // Changing the conditions never leaves a remembered colour behind.
  w->set_conditions({});
  EXPECT_FALSE(model->index(1, 0).data(Qt::BackgroundRole).isValid());
}

// ---- Painting ------------------------------------------------------------------------------------------

TEST(FilteredViewStyle, HighlightRangesFromMatches)
{
  const auto fuzzy = [](std::vector<uint16_t> positions) {
    filter_match_t m;
    m.match_positions = std::move(positions);
    m.flags = match_recorded | match_fuzzy_score;
    return m;
  };
  const auto stretch = [](std::vector<uint16_t> positions) {
    filter_match_t m;
    m.match_positions = std::move(positions);
    m.flags = match_recorded;
    return m;
  };
  struct row_t
  {
    const char *why;
    filter_match_t match;
    std::vector<highlight_range_t> ranges;
  };
  const std::vector<row_t> rows = {
    {"fuzzy runs become one box each", fuzzy({0, 1, 2, 5}), {{0, 3}, {5, 6}}},
    {"fuzzy single hits", fuzzy({1, 3, 7}), {{1, 2}, {3, 4}, {7, 8}}},
    {"fuzzy hit past the recorded positions is left out", fuzzy({4, no_match_position}), {{4, 5}}},
    {"a stretch", stretch({3, 8}), {{3, 8}}},
    {"a stretch that is not there", stretch({no_match_position, no_match_position}), {}},
    {"a stretch cut at the recorded positions", stretch({2, no_match_position}), {}},
    {"no positions", stretch({}), {}},
    {"three positions without a fuzzy score", stretch({1, 2, 3}), {}},
  };
  for ( const row_t &row : rows )
    EXPECT_EQ(highlight_ranges(row.match), row.ranges) << row.why;
}

TEST(FilteredViewStyle, CodePointsBecomeUtf16UnitsPastTheBasicPlane)
{
  const QString text = QString::fromUtf8("a\xF0\x9F\x98\x80" "b\xF0\x9F\x98\x80\xF0\x9F\x98\x80" "c");
  const std::vector<std::pair<int, int>> rows = {{0, 0}, {1, 1}, {2, 3}, {3, 4}, {4, 6}, {5, 8}, {6, 9}, {99, 9}};
  for ( const auto &[points, units] : rows )
    EXPECT_EQ(utf16_units_of_code_points(text, points), units) << points;
}

TEST(FilteredViewStyle, MatchedCharactersArePaintedBehindTheTextAtTheirAdvances)
{
  const std::string smiley = "\xF0\x9F\x98\x80";
  struct row_t
  {
    const char *why;
    uint32_t mode;
    std::string query;
    std::string text;
    std::vector<highlight_range_t> code_points; // the stretches painted
  };
  const std::vector<row_t> rows = {
    {"substring", filter_mode_substring, "beta", "alpha beta gamma", {{6, 10}}},
    {"whole words", filter_mode_whole_words, "gam", "gam gamma", {{0, 3}}},
    {"regular expression", filter_mode_regex, "b.t+a", "alpha bettta", {{6, 12}}},
    {"fuzzy", filter_mode_fuzzy, "abcf", "abcdef", {{0, 3}, {5, 6}}},
    {"after characters outside the basic plane", filter_mode_substring, "match", smiley + smiley + " match",
     {{3, 8}}},
    {"fuzzy after characters outside the basic plane", filter_mode_fuzzy, "xz", smiley + "x" + smiley + "z",
     {{1, 2}, {3, 4}}},
  };
  for ( const row_t &row : rows )
  {
    auto w = list_of_names({row.text});
    w->apply_quick_filter(quick(row.mode, row.query));
    ASSERT_EQ(w->shown_names(), std::vector<std::string>({row.text})) << row.why;
    const QModelIndex index = w->model()->index(0, 0);
    const QStyleOptionViewItem option = painted_option(w->view(), index);
    const QRect text_rect = w->view()->style()->subElementRect(QStyle::SE_ItemViewItemText, &option, w->view());
    const int left = text_rect.left() + w->view()->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, &option, w->view());
    std::vector<std::pair<int, int>> expected;
    for ( const auto &[first, end] : row.code_points )
    {
      const int x1 = option.fontMetrics.horizontalAdvance(option.text, utf16_units_of_code_points(option.text, first));
      const int x2 = option.fontMetrics.horizontalAdvance(option.text, utf16_units_of_code_points(option.text, end));
      expected.emplace_back(left + x1 + 1, left + x2);
    }
    const QImage image = painted_viewport(w->view());
    EXPECT_EQ(colour_runs(image, w->view()->visualRect(index), QColor(Qt::cyan).rgb()), expected) << row.why;
    (void)save_screenshot(*w, QString::fromLatin1(row.why).replace(' ', '_'));
  }
}

TEST(FilteredViewStyle, SelectedRowsTakeTheSelectedHighlightColour)
{
  auto w = list_of_names({"one match", "two match"});
  w->apply_quick_filter(quick(filter_mode_substring, "match"));
  w->view()->selectionModel()->select(w->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  const QImage image = painted_viewport(w->view());
  const QRect first = w->view()->visualRect(w->model()->index(0, 0));
  const QRect second = w->view()->visualRect(w->model()->index(1, 0));
  EXPECT_FALSE(colour_runs(image, first, QColor(Qt::cyan).rgb()).empty());
  EXPECT_TRUE(colour_runs(image, first, QColor(Qt::yellow).rgb()).empty());
  EXPECT_FALSE(colour_runs(image, second, QColor(Qt::yellow).rgb()).empty());
  EXPECT_TRUE(colour_runs(image, second, QColor(Qt::cyan).rgb()).empty());
}

TEST(FilteredViewStyle, CutRowsAreWrittenInTheCutColour)
{
  auto w = list_of_names({"kept row", "cut row"});
  w->cut_keys = {2};
  w->cut_colour = QColor(255, 0, 0);
  const QImage image = painted_viewport(w->view());
  const auto reddish = [&](const QRect &rect) {
    for ( int y = rect.top(); y <= rect.bottom(); ++y )
      for ( int x = rect.left(); x <= rect.right(); ++x )
      {
        const QColor c = image.pixelColor(x, y);
        if ( c.red() > 200 && c.green() < 80 && c.blue() < 80 )
          return true;
      }
    return false;
  };
  EXPECT_FALSE(reddish(w->view()->visualRect(w->model()->index(0, 0))));
  EXPECT_TRUE(reddish(w->view()->visualRect(w->model()->index(1, 0))));
  (void)save_screenshot(*w, "cut_row");
}

TEST(FilteredViewStyle, AnItemViewOutsideEveryFilteredWidgetIsAnInternalError)
{
  QTreeView plain;
  QStandardItemModel model(1, 1);
  plain.setModel(&model);
  QStyleOptionViewItem option;
  option.index = model.index(0, 0);
  QImage image(10, 10, QImage::Format_RGB32);
  QPainter painter(&image);
  filtered_item_view_style_t *style = shared_filtered_item_view_style();
  EXPECT_EQ(interr_number([&] { style->drawControl(QStyle::CE_ItemViewItem, &option, &painter, &plain); }),
            interr_style_without_engine);
  EXPECT_EQ(interr_number([&] { style->drawPrimitive(QStyle::PE_PanelItemViewItem, &option, &painter, &plain); }),
            interr_style_without_engine);
  // Other elements never ask for an engine.
  EXPECT_EQ(interr_number([&] { style->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, &plain); }), 0);
}

// ---- Copying rows --------------------------------------------------------------------------------------

TEST(FilteredViewCopy, RowsGoInViewOrderWithoutHiddenColumns)
{
  // A tree of three columns: folders a and b, each with two rows.
  QStandardItemModel model;
  model.setHorizontalHeaderLabels({"Name", "Size", "Kind"});
  for ( const char *folder : {"a", "b"} )
  {
    QList<QStandardItem *> parent = {new QStandardItem(folder), new QStandardItem("-"), new QStandardItem("dir")};
    for ( int i = 1; i <= 2; ++i )
      parent[0]->appendRow({new QStandardItem(QString("%1%2").arg(folder).arg(i)), new QStandardItem(QString::number(i)),
                            new QStandardItem("file")});
    model.appendRow(parent);
  }
  QTreeView view;
  view.setModel(&model);
  const QModelIndex a = model.index(0, 0);
  const QModelIndex b = model.index(1, 0);
  // Picked in a scrambled order, some through other columns.
  QModelIndexList indexes = {model.index(1, 0, b), model.index(0, 2, a), b, model.index(0, 0, b), a};
  sort_indexes_in_view_order(&view, &indexes);
  QStringList order;
  for ( const QModelIndex &index : indexes )
    order.append(model.index(index.row(), 0, index.parent()).data().toString());
  EXPECT_EQ(order, QStringList({"a", "a1", "b", "b1", "b2"}));

  struct row_t
  {
    const char *why;
    std::vector<int> hidden;
    bool with_header;
    const char *text;
  };
  const std::vector<row_t> rows = {
    {"every column, no header", {}, false, "a\t-\tdir\na1\t1\tfile\nb\t-\tdir\nb1\t1\tfile\nb2\t2\tfile"},
    {"the middle column hidden, with the header", {1}, true, "Name\tKind\na\tdir\na1\tfile\nb\tdir\nb1\tfile\nb2\tfile"},
    {"only the first column", {1, 2}, true, "Name\na\na1\nb\nb1\nb2"},
  };
  for ( const row_t &row : rows )
  {
    for ( int column = 0; column < 3; ++column )
      view.header()->setSectionHidden(column, false);
    for ( const int column : row.hidden )
      view.header()->setSectionHidden(column, true);
    QGuiApplication::clipboard()->clear();
    copy_view_rows(&view, view.header(), indexes, row.with_header);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), row.text) << row.why;
  }
  QGuiApplication::clipboard()->setText("untouched");
  copy_view_rows(&view, view.header(), {}, true);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "untouched") << "an empty list copies nothing";
}

// ---- Drags ---------------------------------------------------------------------------------------------

TEST(FilteredViewDrag, LabelsJoinTheSelectedNamesUpToTwentyCodePoints)
{
  const std::string e_acute = "\xC3\xA9";
  struct row_t
  {
    const char *why;
    std::vector<std::string> names;
    std::string label;
  };
  const std::vector<row_t> rows = {
    {"three names", {"alpha", "beta", "gamma"}, "Drag 'alpha, beta, gamma'"},
    {"one name", {"alpha"}, "Drag 'alpha'"},
    {"exactly twenty code points end the label", {"abcdefghijklmnopqrst", "more"}, "Drag 'abcdefghijklmnopqrst'"},
    {"twenty-five code points are cut to nineteen and an ellipsis",
     {"abcdefghij", "klmnopqrstuvw"},
     "Drag 'abcdefghij, klmnopq\xE2\x80\xA6'"},
    {"code points, not bytes, are counted",
     {e_acute + e_acute + e_acute + e_acute + e_acute + e_acute + e_acute + e_acute + e_acute + e_acute,
      e_acute + e_acute + e_acute + e_acute + e_acute + e_acute + e_acute + e_acute + e_acute + e_acute + "xyz"},
     e_acute + e_acute + e_acute + e_acute + e_acute + e_acute + e_acute + e_acute + e_acute + e_acute + ", "
       + e_acute + e_acute + e_acute + e_acute + e_acute + e_acute + e_acute + "\xE2\x80\xA6"},
    {"empty names are left out", {"", "beta", ""}, "Drag 'beta'"},
    {"no name at all", {"", ""}, "Drag items"},
  };
  for ( const row_t &row : rows )
  {
    auto w = list_of_names(row.names);
    w->view()->selectAll();
    view_snapshot_t handover;
    w->take_snapshot(&handover, 7);
    const drag_scope_t scope(w.get(), w->view(), &handover);
    std::string expected = row.label;
    if ( row.label.rfind("Drag", 0) != 0 )
      expected = "Drag '" + row.label + "'";
    EXPECT_EQ(std::string(scope.label().view()), expected) << row.why;
  }
}

TEST(FilteredViewDrag, TheScopeHandsTheSnapshotOverAndSelectsWhatADropLeft)
{
  std::vector<test_folder_t> folders = {
    {1001, "docs", make_rows({"guide.md", "notes.txt"}, 100)},
    {1002, "src", make_rows({"main.cpp"}, 200)},
  };
  test_filtered_widget_t w(std::move(folders), {});
  w.view()->expandAll();
  w.show();
  w.view()->selectionModel()->select(w.index_of("notes.txt"), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  view_snapshot_t handover;
  w.take_snapshot(&handover, 7);
  {
    const drag_scope_t scope(&w, w.view(), &handover);
    EXPECT_EQ(w.drag_counter, 1);
    EXPECT_EQ(w.drag_view, w.view());
    EXPECT_TRUE(handover.buckets.empty()) << "the engine holds the hand-over now";
    EXPECT_EQ(std::string(scope.label().view()), "Drag 'notes.txt'");
    // The drop moves the row from docs into src and records src as its target.
    const test_row_t moved = w.folders[0].rows[1];
    w.folders[0].rows.pop_back();
    w.folders[1].rows.push_back(moved);
    view_snapshot_t snapshot;
    w.take_snapshot(&snapshot, 7);
    w.reset_buckets();
    w.resync_view(snapshot, 0);
    EXPECT_TRUE(w.selected_names().empty()) << "selections wait for the end of the drag";
    w.drop_key = 2;
    w.drop_index = w.model()->index(1, 0);
  }
  EXPECT_EQ(w.drag_counter, 0);
  EXPECT_EQ(w.drag_view, nullptr);
  EXPECT_EQ(w.drop_key, no_key);
  EXPECT_TRUE(w.drag_handover.buckets.empty());
  EXPECT_EQ(w.shown_names(w.model()->index(1, 0)), std::vector<std::string>({"main.cpp", "notes.txt"}));
  EXPECT_EQ(w.selected_names(), std::vector<std::string>({"notes.txt"})) << "the dropped row is selected in src";
}

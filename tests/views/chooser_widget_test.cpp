// The chooser widget's construction, layout, status line and header state, driven with real mouse events.
#include "tests/ui/app/screenshots.h"
#include "tests/views/chooser_test_support.h"
#include "ui/docks/desktop_widgets.h"
#include "ui/header_visibility.h"
#include "ui/layout_helpers.h"

#include <QDialogButtonBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStandardItemModel>
#include <QStatusBar>

namespace {

class ChooserWidget : public chooser_fixture_t
{
protected:
  // Records the flags of every header_status_changed of the widget.
  void watch_header(chooser_widget_t *widget)
  {
    QObject::connect(widget, &chooser_widget_t::header_status_changed,
                     [this](const chooser_header_status_t &state, int flags) {
                       header_flags.push_back(flags);
                       last_state = state;
                     });
  }
  // Drags the right edge of a header section by dx pixels with the mouse.
  static void drag_section_edge(QHeaderView *header, int section, int dx)
  {
    const int edge = header->sectionViewportPosition(section) + header->sectionSize(section) - 1;
    const QPoint from(edge, header->height() / 2);
    const QPoint to(edge + dx, from.y());
    QMouseEvent press(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(header->viewport(), &press);
    QMouseEvent move(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(header->viewport(), &move);
    QMouseEvent release(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(header->viewport(), &release);
  }
  static QPoint section_centre(QHeaderView *header, int section)
  {
    return QPoint(header->sectionViewportPosition(section) + header->sectionSize(section) / 2, header->height() / 2);
  }

  std::vector<int> header_flags;
  chooser_header_status_t last_state;
};

TEST_F(ChooserWidget, ColumnWidthsComeFromGlyphs)
{
  auto *list = new test_multi_list_t({{"a", "b", "c", "d"}}, "Widths");
  list->set_widths({20, column_hidden | 12, 1500, 8});
  chooser_widget_t *widget = make_widget(list);
  QHeaderView *header = widget->shown_header();
  const int glyph20 = scaled_font_height(20, widget->table());
  EXPECT_EQ(header->sectionSize(0), glyph20 + 15);
  EXPECT_TRUE(header->isSectionHidden(1)) << "hidden at first";
  EXPECT_FALSE(header->isSectionHidden(2));
  EXPECT_EQ(header->sectionSize(2), scaled_font_height(1000, widget->table()) + 15) << "cut to 1000 glyphs";
  const std::vector<std::string> warnings = [&] {
    std::vector<std::string> out;
    for ( const auto &r : ui.requests_of(ui_code_message) )
      if ( r.kind == msg_kind_warning )
        out.push_back(r.text);
    return out;
  }();
  EXPECT_EQ(warnings, (std::vector<std::string> {"The column 2 of the chooser \"Widths\" can't be wider than 1000 glyphs"}));

  // Without width words a column is as wide as its title.
  auto *titled = new test_multi_list_t({{"x", "y"}}, "Titled");
  titled->set_header({"Name", "A much longer title"});
  chooser_widget_t *by_title = make_widget(titled);
  const QFontMetrics metrics(by_title->table()->font());
  EXPECT_EQ(by_title->shown_header()->sectionSize(0), metrics.horizontalAdvance("Name") + 15);

  // A source with folders gives its first column 63 pixels more room instead of 15.
  auto *folders = new test_multi_list_t({{"a", "b"}}, "Folders", chooser_has_folders);
  folders->set_widths({20, 20});
  EXPECT_EQ(make_widget(folders)->shown_header()->sectionSize(0), glyph20 + 63);
}

TEST_F(ChooserWidget, SizeHintFollowsRowsAndVisibleColumns)
{
  const auto hint_of = [&](size_t rows, std::vector<uint32_t> widths, uint32_t flags = 0) {
    auto *list = new test_multi_list_t(std::vector<texts_t>(rows, texts_t(widths.size(), "a")), "Sized", flags);
    list->set_widths(std::move(widths));
    chooser_widget_t *widget = make_widget(list);
    const QSize hint = widget->sizeHint();
    const int row_height = widget->table()->verticalHeader()->defaultSectionSize();
    delete widget;
    return std::pair<QSize, int>(hint, row_height);
  };
  const auto [empty, row_height] = hint_of(0, {20, 10});
  const auto [one, unused] = hint_of(1, {20, 10});
  const auto [three, unused2] = hint_of(3, {20, 10});
  EXPECT_EQ(empty, one) << "an empty list is as high as one row";
  EXPECT_EQ(three.height() - one.height(), 2 * row_height);

  const auto [shown, u3] = hint_of(3, {20, 10});
  const auto [hidden, u4] = hint_of(3, {20, column_hidden | 10});
  EXPECT_EQ(shown.width() - hidden.width(), scaled_font_height(10, nullptr) + 15)
    << "a column hidden at first does not count";

  const int desktop_height = QGuiApplication::primaryScreen()->availableGeometry().height();
  const auto [tall, u5] = hint_of(40, {20, 10}, chooser_modal);
  EXPECT_EQ(tall.height(), std::min(600, desktop_height - 30)) << "capped, Search box included";
  EXPECT_LE(tall.height(), 600);
}

TEST_F(ChooserWidget, SearchBoxOnlyInAModalList)
{
  struct case_t
  {
    const char *name;
    uint32_t flags;
    bool embedded;
    bool box;
  };
  const case_t cases[] = {
    {"docked", 0, false, false},
    {"modal", chooser_modal, false, true},
    {"modal without search box", chooser_modal | chooser_no_search_box, false, false},
    {"modal but embedded", chooser_modal, true, false},
  };
  for ( const case_t &c : cases )
  {
    chooser_widget_t *widget = make_widget(new test_multi_list_t(numbered_rows(2), "Box", c.flags), c.embedded);
    ASSERT_EQ(widget->search_box() != nullptr, c.box) << c.name;
    if ( c.box )
    {
      QDialogButtonBox *box = widget->search_box();
      QPushButton *search = nullptr;
      for ( QAbstractButton *button : box->buttons() )
        if ( button->text() == "Search" )
          search = qobject_cast<QPushButton *>(button);
      ASSERT_NE(search, nullptr) << c.name;
      EXPECT_EQ(search->toolTip(), "New search - Alt+T\nRepeat search - Ctrl+T");
      EXPECT_NE(box->button(QDialogButtonBox::Ok), nullptr);
      EXPECT_NE(box->button(QDialogButtonBox::Cancel), nullptr);
      ASSERT_TRUE(show(widget));
      save_screenshot(*widget, "with-search-box");
      test_app().helps_shown.clear();
      QTest::mouseClick(box->button(QDialogButtonBox::Help), Qt::LeftButton);
      EXPECT_EQ(test_app().helps_shown, (std::vector<int32_t> {chooser_default_help}));
      QTest::mouseClick(box->button(QDialogButtonBox::Ok), Qt::LeftButton);
      EXPECT_EQ(widget->accepted(), 1);
      EXPECT_FALSE(widget->isVisible()) << "OK closes the widget";
    }
    delete widget;
  }
}

TEST_F(ChooserWidget, StatusLineShowsTheLineAndTheOutdatedMark)
{
  chooser_widget_t *widget = make_widget(new test_multi_list_t(numbered_rows(10), "Status"));
  ASSERT_TRUE(show(widget));
  widget->table()->setFocus();
  QTest::keyClick(widget->table(), Qt::Key_Home);
  EXPECT_EQ(widget->status_bar()->currentMessage().toStdString(), "Line 1 of 10");
  QTest::keyClick(widget->table(), Qt::Key_Down);
  QTest::keyClick(widget->table(), Qt::Key_Down);
  EXPECT_EQ(current_row(widget), 2);
  EXPECT_EQ(widget->status_bar()->currentMessage().toStdString(), "Line 3 of 10");
  EXPECT_TRUE(widget->refresh_button()->isHidden());

  widget->set_outdated(true);
  EXPECT_EQ(widget->status_bar()->currentMessage().toStdString(), "Line 3 of 10 (outdated)");
  EXPECT_FALSE(widget->refresh_button()->isHidden());
  EXPECT_TRUE(widget->table()->model()->index(0, 0).data(Qt::FontRole).value<QFont>().italic())
    << "outdated rows show in italics";
  save_screenshot(*widget, "outdated");
  widget->set_outdated(false);
  EXPECT_EQ(widget->status_bar()->currentMessage().toStdString(), "Line 3 of 10");
  EXPECT_TRUE(widget->refresh_button()->isHidden());
}

TEST_F(ChooserWidget, HeaderStateIsSignalledSavedAndRestored)
{
  const auto make = [&] {
    std::vector<texts_t> rows;
    for ( int i = 0; i < 6; ++i )
      rows.push_back({"r" + std::to_string(i), std::to_string(60 - i * 7), "third"});
    auto *list = new test_multi_list_t(rows, "Kept");
    list->set_widths({20, column_flags_decimal | 10, column_hidden | 5});
    return make_widget(list);
  };
  chooser_widget_t *widget = make();
  watch_header(widget);
  ASSERT_TRUE(show(widget));
  QHeaderView *header = widget->shown_header();

  // Saved without a resize by the user: the visibility, never the widths.
  ISaveStateEvent save;
  QApplication::sendEvent(widget, &save);
  const stored_header_t &stored = factory.stored["Kept"];
  EXPECT_TRUE(stored.has_visible);
  EXPECT_FALSE(stored.has_widths);
  EXPECT_EQ(stored.tree_mode, 0);

  // A sort by a header click, a column hidden, and a column resized by mouse, each signalled.
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, section_centre(header, 1));
  ASSERT_FALSE(header_flags.empty());
  EXPECT_EQ(header_flags.back(), header_sorting_changed);
  EXPECT_EQ(last_state.sort_section, 1);
  ASSERT_TRUE(widget->hide_column(0));
  EXPECT_EQ(header_flags.back(), header_visibility_changed);
  EXPECT_EQ(last_state.visible, (std::vector<uint8_t> {0, 1, 0}));
  EXPECT_EQ(last_state.widths[0], 0);
  header->showSection(0);
  const int before = header->sectionSize(0);
  header_flags.clear();
  drag_section_edge(header, 0, 30);
  EXPECT_EQ(header->sectionSize(0), before + 30);
  ASSERT_FALSE(header_flags.empty());
  EXPECT_EQ(header_flags.front(), header_widths_changed);
  save_screenshot(*widget, "resized-and-sorted");

  QApplication::sendEvent(widget, &save);
  ASSERT_TRUE(stored.has_widths) << "the user resized a column";
  EXPECT_EQ(stored.widths[0], before + 30);
  delete widget;

  // A widget of the same title comes back with the saved widths and visibility.
  chooser_widget_t *again = make();
  EXPECT_EQ(again->shown_header()->sectionSize(0), before + 30);
  EXPECT_FALSE(again->shown_header()->isSectionHidden(0));
  EXPECT_TRUE(again->shown_header()->isSectionHidden(2));

  // Saved visibility for another number of columns falls back to the width words.
  byte_buffer_t other;
  QHeaderView four(Qt::Horizontal);
  QStandardItemModel unused(1, 4);
  four.setModel(&unused);
  save_header_sections_visibility(&four, &other);
  factory.stored["Kept"].visible = other;
  delete again;
  chooser_widget_t *fallback = make();
  EXPECT_TRUE(fallback->shown_header()->isSectionHidden(2));
  EXPECT_FALSE(fallback->shown_header()->isSectionHidden(0));
}

TEST_F(ChooserWidget, RowsTakeTheSourcesAttributesAndTheInterfacesAdjustments)
{
  // The source makes row 1 bold; with the row callback flag the user interface sees each described row and
  // underlines row 2.
  std::vector<std::pair<const chooser_base_t *, uint64_t>> seen;
  ui.handle_code(ui_code_chooser_row, [&](va_list args) -> int64_t {
    const auto *source = va_arg(args, const chooser_base_t *);
    const uint64_t row = va_arg(args, uint64_t);
    auto *attrs = va_arg(args, chooser_row_attrs_t *);
    seen.emplace_back(source, row);
    if ( row == 2 )
      attrs->style |= row_underline;
    return 0;
  });
  for ( const bool callback : {false, true} )
  {
    seen.clear();
    auto *list = new test_multi_list_t(numbered_rows(3), "Attributes", callback ? chooser_row_callback : 0);
    list->bold_row = 1;
    chooser_widget_t *widget = make_widget(list);
    const QAbstractItemModel *model = widget->table()->model();
    const auto font_of = [&](int row) { return model->index(row, 0).data(Qt::FontRole).value<QFont>(); };
    EXPECT_FALSE(model->index(0, 0).data(Qt::FontRole).isValid()) << callback;
    EXPECT_TRUE(font_of(1).bold()) << callback;
    EXPECT_EQ(font_of(2).underline(), callback);
    if ( callback )
    {
      ASSERT_FALSE(seen.empty());
      EXPECT_EQ(seen.front().first, list);
    }
    else
      EXPECT_TRUE(seen.empty());
    delete widget;
  }
}

} // namespace

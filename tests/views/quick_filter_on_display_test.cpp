// On a real display: a quick filter typed into a list in each mode, the matches highlighted behind the letters,
// a screenshot per step.
#include "tests/support/recording_ui_callback.h"
#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/screenshots.h"
#include "tests/views/filtered_test_widget.h"
#include "tests/views/view_actions.h"
#include "views/chooser/quick_filter_input.h"
#include "views/filter/quick_filter_widget.h"

#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace
{

// Pixels of the highlight colour (the test widget's, cyan) in the view.
int highlighted_pixels(QTreeView *view)
{
  const QImage image = view->viewport()->grab().toImage();
  int count = 0;
  for ( int y = 0; y < image.height(); ++y )
    for ( int x = 0; x < image.width(); ++x )
      count += (image.pixel(x, y) & 0xFFFFFF) == (QColor(Qt::cyan).rgb() & 0xFFFFFF) ? 1 : 0;
  return count;
}

} // namespace

TEST(QuickFilterOnDisplay, TypingAFilterInEachModeHighlightsTheMatches)
{
  register_filtered_view_actions();
  recording_ui_callback_t ui;
  test_filtered_widget_t list({}, make_rows({"src/filter/row_filter.cpp", "src/filter/fuzzy_match.cpp",
                                             "docs/filter guide.md", "src/ui/popup_menu.cpp", "README.md",
                                             "src/views/quick_filter_widget.h", "tests/row_search_test.cpp"}));
  list.setWindowTitle("on display list");
  list.resize(520, 320);
  list.view()->setColumnWidth(0, 380);
  quick_filter_widget_t *bar = list.add_quick_filter_bar();
  list.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&list));
  list.set_quick_filter_visible(true);
  quick_filter_input_t *input = bar->input();
  ASSERT_TRUE(input->hasFocus());

  struct step_t
  {
    const char *name;
    const char *mode_action; // null: substring
    const char *typed;
    size_t shown;
  };
  const std::vector<step_t> steps = {
    {"substring", nullptr, "filter", 4},
    {"whole-words", "QuickFilterModeWholeWords", "filter", 4},
    {"regular-expression", "QuickFilterModeRegex", "row_.*\\.cpp", 2},
    {"fuzzy", "QuickFilterModeFuzzy", "qfw", 1},
  };
  for ( const step_t &step : steps )
  {
    if ( step.mode_action != nullptr )
    {
      trigger(step.mode_action);
    }
    QTest::keyClick(input, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(input, Qt::Key_Backspace);
    ASSERT_EQ(list.shown_names().size(), 7u) << step.name;
    QTest::keyClicks(input, QString::fromUtf8(step.typed), Qt::NoModifier, 20);
    (void)save_screenshot(list, QString::fromLatin1(step.name) + "-typed");
    ASSERT_TRUE(pump_until([&] { return !list.conditions().empty(); }, 3s)) << step.name;
    EXPECT_EQ(list.shown_names().size(), step.shown) << step.name;
    ASSERT_TRUE(pump_until([&] { return highlighted_pixels(list.view()) > 0; }, 3s)) << step.name;
    (void)save_screenshot(list, QString::fromLatin1(step.name) + "-filtered");
  }
}

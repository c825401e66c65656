// A docked chooser of 1,000 rows on a real display: a quick filter typed into its bar, a column sorted by a
// header click and one hidden from the header's menu, with a screenshot of the main window after each step.
#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/screenshots.h"
#include "tests/views/chooser_test_support.h"
#include "views/filter/quick_filter_widget.h"

#include <QLineEdit>

#include <cstdio>

namespace {

class ChooserOnDisplay : public docked_chooser_fixture_t
{
};

TEST_F(ChooserOnDisplay, QuickFilterSortAndHiddenColumn)
{
  static const char *const words[] = {"alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel"};
  std::vector<texts_t> rows;
  for ( int i = 0; i < 1000; ++i )
  {
    char hex[16];
    std::snprintf(hex, sizeof(hex), "0x%05X", (i * 7919) & 0xFFFFF);
    rows.push_back({std::string("file_") + std::to_string(i) + "_" + words[i % 8] + ".txt",
                    std::to_string((i * 104729) % 100000), hex});
  }
  auto *list = new test_multi_list_t(rows, "Thousand rows", chooser_multi_select | chooser_quick_filter_shown);
  list->set_header({"Name", "Size", "Address"});
  list->set_widths({30, column_flags_decimal | 10, column_flags_hex | 10});
  chooser_widget_t *widget = open_docked(list);
  ASSERT_NE(widget, nullptr);
  QWidget &window = *test_app().main_window();
  window.resize(1000, 640);
  settle();
  ASSERT_EQ(shown(widget).size(), 1000u);
  save_screenshot(window, "1-opened");

  // Typing into the bar filters once the typing pauses.
  quick_filter_widget_t *bar = widget->quick_filter();
  ASSERT_NE(bar, nullptr);
  QLineEdit *input = bar->findChild<QLineEdit *>();
  ASSERT_NE(input, nullptr);
  input->setFocus();
  QTest::keyClicks(input, "tel");
  ASSERT_TRUE(pump_until([&] { return shown(widget).size() == 125u; }));
  for ( const std::string &name : shown(widget) )
    EXPECT_NE(name.find("hotel"), std::string::npos) << name;
  save_screenshot(window, "2-filtered");

  // A click on the Size header sorts by the sizes' values.
  QTest::mouseClick(widget->shown_header()->viewport(), Qt::LeftButton, {}, section_point(widget, 1));
  settle();
  const std::vector<std::string> sizes = shown(widget, 1);
  ASSERT_EQ(sizes.size(), 125u);
  const bool ascending = std::stoll(sizes.front()) <= std::stoll(sizes.back());
  for ( size_t i = 1; i < sizes.size(); ++i )
    EXPECT_EQ(std::stoll(sizes[i - 1]) <= std::stoll(sizes[i]), ascending) << i;
  save_screenshot(window, "3-sorted");

  // The header's menu hides the Address column.
  context_menu(widget->shown_header(), section_point(widget, 2), "Hide column");
  EXPECT_TRUE(widget->shown_header()->isSectionHidden(2));
  EXPECT_EQ(shown(widget).size(), 125u) << "the filter stays";
  save_screenshot(window, "4-column-hidden");
}

} // namespace

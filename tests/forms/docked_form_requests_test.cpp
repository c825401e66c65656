// Docked form requests (UI callback code 116): a form docked in the main window, found again by its title, and
// a form that does not compile leaving nothing behind.
#include "forms/form_widget.h"
#include "forms/inputs/input_requests.h"

#include "core/ui_callback.h"
#include "tests/forms/form_test_support.h"
#include "tests/forms/support/dialog_dispatcher.h"
#include "tests/ui/app/event_pump.h"
#include "tests/ui/dock_test_support.h"

#include <QComboBox>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <vector>

namespace {

class DockedFormRequests : public DockFixture
{
protected:
  recording_ui_callback_t ui;
  dialog_dispatcher_t dispatcher {ui};
};

// The dock options word of a form that goes in as a tab (the commit details' own, without the remembered place).
constexpr int as_tab = dock_place_as_tab << dock_placement_shift;

std::vector<int> heard;
int record_ids(int id, form_actions_t &)
{
  heard.push_back(id);
  return 1;
}

QComboBox *first_combo(form_widget_t &form)
{
  for ( const form_control_t &control : form.controls() )
    if ( auto *combo = qobject_cast<QComboBox *>(control.widget) )
      return combo;
  return nullptr;
}

TEST_F(DockedFormRequests, AFormOpensAsADockAndComesToTheFrontWhenAskedAgain)
{
  heard.clear();
  qstring first_name = "first";
  auto *details = static_cast<form_widget_t *>(
    form_widget_printf("BUTTON YES NONE\nBUTTON CANCEL NONE\nDetails\n%/\n<~N~ame:q:0:20::>\n", as_tab,
                       &record_ids, &first_name));
  ASSERT_NE(details, nullptr);
  EXPECT_EQ(heard, std::vector<int> {form_code_ready}) << "the form hears it is ready before it shows";
  DockWidget *details_dock = enclosing_dock_widget(details);
  ASSERT_NE(details_dock, nullptr);
  EXPECT_EQ(enclosing_dock_area(details_dock), area);
  EXPECT_EQ(details_dock->title(), "Details");
  EXPECT_EQ(details->host_dialog(), nullptr);
  QComboBox *combo = first_combo(*details);
  ASSERT_NE(combo, nullptr);
  EXPECT_EQ(combo->currentText(), "first");
  EXPECT_TRUE(pump_until([&] { return combo->lineEdit()->hasFocus(); })) << "its start field has the focus";

  qstring other_name;
  auto *other = static_cast<form_widget_t *>(form_widget_printf("Other\n\n<~N~ame:q:0:20::>\n", as_tab, &other_name));
  ASSERT_NE(other, nullptr);
  ASSERT_NE(other, details);
  ASSERT_NE(enclosing_dock_widget(other), nullptr);
  area->hide_dock(details_dock);
  ASSERT_TRUE(details_dock->hidden);

  qstring unused = "unused";
  EXPECT_EQ(form_widget_printf("BUTTON YES NONE\nBUTTON CANCEL NONE\nDetails\n%/\n<~N~ame:q:0:20::>\n", 0,
                               &record_ids, &unused),
            details);
  EXPECT_FALSE(details_dock->hidden) << "the first form's dock came to the front";
  EXPECT_EQ(combo->currentText(), "first") << "the arguments of the second request are not used";
  EXPECT_EQ(heard.size(), 1u);
  EXPECT_EQ(area->countDockWidgets(false), 2);
}

TEST_F(DockedFormRequests, AFormWithoutPlacementFloats)
{
  qstring name;
  auto *form = static_cast<form_widget_t *>(form_widget_printf("Loose\n\n<~N~ame:q:0:20::>\n", 0, &name));
  ASSERT_NE(form, nullptr);
  DockArea *floating = enclosing_dock_area(enclosing_dock_widget(form));
  ASSERT_NE(floating, nullptr);
  EXPECT_TRUE(floating->is_floating());
  EXPECT_EQ(floating->top_dock_area(), area);
}

TEST_F(DockedFormRequests, AFormThatDoesNotCompileLeavesNoWidget)
{
  const int before = area->countDockWidgets(false);
  qstring name;
  EXPECT_EQ(form_widget_printf("Broken\n\n<~N~ame:W:0:20::>\n", 0, &name), nullptr);
  EXPECT_EQ(form_widget_printf("Only a title\n", 0), nullptr);
  EXPECT_EQ(form_widget_printf(nullptr, 0), nullptr);
  settle_events();
  EXPECT_EQ(find_form_widget_by_title("Broken", false), nullptr);
  EXPECT_EQ(area->countDockWidgets(false), before);
  EXPECT_EQ(recorded_warnings(ui).size(), 2u);
}

} // namespace

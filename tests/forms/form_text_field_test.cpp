// A form's text field ('t'): a text area in its labelled box that shows the record's text, reports each change
// to the form's callback and gives the edited text back with its modified mark.
#include "forms/text_control_value.h"
#include "forms/form_widget.h"
#include "forms/inputs/form_dialog.h"
#include "forms/text/text_area.h"
#include "core/form_actions.h"
#include "core/ui_callback.h"
#include "tests/forms/modal_player.h"
#include "tests/forms/support/dialog_dispatcher.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/ui/app/test_app.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> changed_fields;

int record_changes(int field_id, form_actions_t &)
{
  if ( field_id > 0 )
    changed_fields.push_back(field_id);
  return 1;
}

class FormTextField : public ::testing::Test
{
protected:
  void SetUp() override
  {
    test_app().reset_test_state();
    changed_fields.clear();
  }

  recording_ui_callback_t ui;
  dialog_dispatcher_t dispatcher {ui};
};

void press_ok(ui_form_dialog_t &dialog)
{
  for ( QPushButton *button : dialog.findChildren<QPushButton *>() )
    if ( button->text().remove(QLatin1Char('&')) == QStringLiteral("OK") )
    {
      QTest::mouseClick(button, Qt::LeftButton);
      return;
    }
  ADD_FAILURE() << "no OK button";
}

TEST_F(FormTextField, TheAreaShowsTheTextReportsEditsAndGivesTheTextBack)
{
  text_control_value_t notes;
  notes.text = "first line";
  QString shown;
  modal_player_t player;
  player.on_next<ui_form_dialog_t>("the form", [&](ui_form_dialog_t &dialog) {
    auto *area = dialog.findChild<text_area_t *>();
    ASSERT_NE(area, nullptr);
    shown = area->toPlainText();
    area->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(area, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(area, QStringLiteral(" more"));
    press_ok(dialog);
  });
  EXPECT_GT(form_dialog_printf("Notes\n\n%/<~N~otes:t1::40:::>\n\n", record_changes, &notes), 0);
  EXPECT_TRUE(player.done());
  EXPECT_EQ(shown.toStdString(), "first line");
  EXPECT_STREQ(notes.text.c_str(), "first line more");
  EXPECT_NE(notes.flags & text_flag_modified, 0);
  ASSERT_FALSE(changed_fields.empty());
  EXPECT_EQ(changed_fields.front(), 1);
}

TEST_F(FormTextField, AReadOnlyRecordGivesAReadOnlyAreaAndAnUntouchedTextIsNotMarked)
{
  text_control_value_t notes;
  notes.text = "fixed";
  notes.flags = text_flag_read_only;
  bool read_only = false;
  modal_player_t player;
  player.on_next<ui_form_dialog_t>("the form", [&](ui_form_dialog_t &dialog) {
    auto *area = dialog.findChild<text_area_t *>();
    ASSERT_NE(area, nullptr);
    read_only = area->isReadOnly();
    press_ok(dialog);
  });
  EXPECT_GT(form_dialog_printf("Notes\n\n<~N~otes:t1::40:::>\n\n", &notes), 0);
  EXPECT_TRUE(read_only);
  EXPECT_STREQ(notes.text.c_str(), "fixed");
  EXPECT_EQ(notes.flags & text_flag_modified, 0);
}

} // namespace

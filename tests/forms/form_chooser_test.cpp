// Embedded lists ('E' fields) through a test double of the chooser, and browsing for a file ('f' fields).
#include "forms/form_chooser.h"
#include "tests/forms/chooser_double.h"

#include "forms/form_widget.h"
#include "forms/inputs/buddy_label.h"
#include "forms/inputs/field_widgets.h"
#include "tests/forms/form_widget_fixture.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QSize>
#include <QTest>

#include <gtest/gtest.h>

namespace {

std::vector<int> changes;

int change_callback(int id, form_actions_t &)
{
  if ( id >= 0 )
    changes.push_back(id);
  return 1;
}

TEST(form_chooser, embedded_list_takes_its_width_selection_and_label)
{
  recording_ui_callback_t ui;
  changes.clear();
  double_chooser_t chooser;
  qvector<uint64_t> selection {2};
  hosted_form_t hosted;
  ASSERT_TRUE(hosted.compile("Pick rows\n%/<~R~ows:E3::::>",
                             {arg_callback(&change_callback), {form_arg_kind::chooser, &chooser},
                              {form_arg_kind::selection, &selection}}));
  EXPECT_EQ(chooser.made_for, "Pick rows");
  EXPECT_EQ(chooser.made_id, 3);
  EXPECT_EQ(chooser.title_while_made, "Rows") << "a list without a title borrows the label while it is made";
  EXPECT_TRUE(chooser.title().isEmpty());
  auto *container = hosted.control<chooser_widget_container_t>('E');
  ASSERT_NE(container, nullptr);
  EXPECT_GE(container->minimumSize().width(), 120) << "a sized list in a modal form";
  form_actions_t &actions = hosted.form->actions();
  qvector<uint64_t> read;
  ASSERT_TRUE(actions.read_field_value(3, &read));
  EXPECT_EQ(read, (qvector<uint64_t> {2}));

  auto *list = static_cast<QListWidget *>(container->content());
  list->item(0)->setSelected(true);
  EXPECT_EQ(changes, std::vector<int> {3});
  chooser.state = 0x80;
  list->item(1)->setSelected(true);
  EXPECT_EQ(changes, std::vector<int> {3}) << "bit 0x80 keeps the change from the callback";

  actions.reload_field(3);
  EXPECT_EQ(chooser.reloads, 1);
  EXPECT_TRUE(actions.set_field_label(3, "~O~ther rows"));
  ASSERT_NE(container->label(), nullptr);
  EXPECT_EQ(container->label()->text(), "<u>O</u>ther rows");
  EXPECT_TRUE(actions.set_field_label(3, ""));
  EXPECT_EQ(container->label(), nullptr);
}

TEST(form_chooser, browsing_for_a_file_refuses_a_path_longer_than_the_buffer)
{
  recording_ui_callback_t ui;
  char path[260] = "/start";
  hosted_form_t hosted;
  ASSERT_TRUE(hosted.compile("Browse\n<~F~ile:f1:1:30::>", {arg_buffer(path, sizeof(path))}));
  QPushButton *browse = nullptr;
  for ( const form_control_t &control : hosted.form->controls() )
    if ( control.type == 'f' )
      browse = qobject_cast<QPushButton *>(control.extra.back());
  ASSERT_NE(browse, nullptr);
  auto *combo = hosted.control<QComboBox>('f');
  ui.script_file("/chosen/file.txt");
  QTest::mouseClick(browse, Qt::LeftButton);
  EXPECT_EQ(combo->currentText(), "/chosen/file.txt");
  const auto asks = ui.requests_of(ui_code_ask_file);
  ASSERT_EQ(asks.size(), 1u);
  EXPECT_TRUE(asks[0].for_saving) << "the width subfield asks for a save dialog";
  EXPECT_EQ(asks[0].default_name, "/start");
  EXPECT_EQ(asks[0].text, "File");

  ui.script_file("/" + std::string(300, 'x'));
  QTest::mouseClick(browse, Qt::LeftButton);
  EXPECT_EQ(combo->currentText(), "/chosen/file.txt") << "never cut";
  const auto warnings = recorded_warnings(ui);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].rfind("The path is too long (at most 259 bytes): ", 0), 0u);
}

} // namespace


// The forms controller: its number and address texts, every slot driven by real events on watched widgets, the
// dialog that owns a controller, the widget factory's controller slot and the popup forwarding.
#include "forms/inputs/forms_controller.h"

#include "core/ui_callback.h"
#include "forms/inputs/color_button.h"
#include "tests/forms/chooser_double.h"
#include "tests/forms/modal_player.h"
#include "tests/forms/support/dialog_dispatcher.h"
#include "tests/support/interr_capture.h"
#include "tests/ui/app/test_app.h"
#include "ui/input_history.h"
#include "ui/popup_menu.h"
#include "ui/widget_factory.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace forms_ui;

// A model that records what its controller tells it.
class recording_model_t : public form_model_t
{
public:
  void on_event(int code, QEvent *) override { events.push_back(code); }
  void on_field_changed(field_desc_t *field) override { changed.push_back(field); }
  void on_button_pressed(field_desc_t *field) override { pressed.push_back(field); }
  void on_dialog_finished(bool accepted) override { finished.push_back(accepted); }
  int on_dialog_button(field_desc_t *field) override
  {
    dialog_buttons.push_back(field);
    return handles_dialog_buttons ? 1 : 0;
  }
  void on_popup(field_desc_t *field, QWidget *widget, popup_menu_ctx_t *popup, ui_action_activation_ctx_t *) override
  {
    popups.push_back({field, widget, popup});
  }
  int help_id() const override { return 31; }

  struct popup_t
  {
    field_desc_t *field;
    QWidget *widget;
    popup_menu_ctx_t *popup;
  };
  std::vector<int> events;
  std::vector<field_desc_t *> changed;
  std::vector<field_desc_t *> pressed;
  std::vector<bool> finished;
  std::vector<field_desc_t *> dialog_buttons;
  std::vector<popup_t> popups;
  bool handles_dialog_buttons = false;
};

// ---- Numbers and addresses --------------------------------------------------------------------------------

// A conversion of its own: "%" and a decimal number; any other text and value it leaves to the standard one,
// except "never", which it refuses.
class percent_converter_t : public number_converter_t
{
public:
  int format(qstring *out, uint64_t value) override
  {
    if ( value == 100 )
    {
      *out = "%100";
      return 1;
    }
    *out = "~"; // kept in front of the standard text
    return 0;
  }
  int parse(uint64_t *out, const char *text) override
  {
    if ( std::string(text) == "never" )
      return -1;
    if ( text[0] != '%' )
      return 0;
    *out = std::stoull(text + 1);
    return 1;
  }
};

TEST(FormsControllerNumbers, ParsingFollowsPrefixesSignsAndTheFormat)
{
  recording_model_t model;
  controller_t controller(&model);
  percent_converter_t percent;
  struct row_t
  {
    const char *what;
    number_format_t format;
    const char *text;
    bool ok;
    int64_t value;
  };
  const row_t rows[] = {
    {"hexadecimal prefix", {}, "0x1f", true, 31},
    {"upper-case prefix", {}, "0X1F", true, 31},
    {"a leading 0 is octal", {}, "017", true, 15},
    {"a lone 0", {}, "0", true, 0},
    {"negative in a signed field", {}, "-5", true, -5},
    {"negative hexadecimal", {}, "-0x10", true, -16},
    {"relative +", {nullptr, radix_decimal, number_relative, 10}, "+5", true, 15},
    {"relative - in a signed field", {nullptr, radix_decimal, number_relative, 10}, "-20", true, -10},
    {"relative - stops at zero in an unsigned field", {nullptr, radix_decimal, number_relative | number_unsigned, 10},
     "-20", true, 0},
    {"relative - within the base", {nullptr, radix_decimal, number_relative | number_unsigned, 10}, "-3", true, 7},
    {"digits up to the first that is none", {}, "12ab", true, 12},
    {"no digits give 0", {}, "abc", true, 0},
    {"a '-' stays in an unsigned field", {nullptr, radix_decimal, number_unsigned, 0}, "-5", true, 0},
    {"a '+' without relative entry stays", {}, "+5", true, 0},
    {"the code's radix without prefix: hexadecimal", {nullptr, radix_hexadecimal, number_no_prefix, 0}, "1f", true,
     31},
    {"the code's radix without prefix: octal", {nullptr, radix_octal, number_no_prefix, 0}, "17", true, 15},
    {"a prefix still counts without prefix flag", {nullptr, radix_hexadecimal, number_no_prefix, 0}, "0x10", true,
     16},
    {"text left without prefix flag reads as a decimal", {nullptr, radix_hexadecimal, number_no_prefix, 0}, "12g",
     true, 12},
    {"text left that is no decimal fails", {nullptr, radix_decimal, number_no_prefix, 0}, "x1", false, 0},
    {"the converter decides", {&percent, radix_decimal, 0, 0}, "%42", true, 42},
    {"the converter refuses", {&percent, radix_decimal, 0, 0}, "never", false, 0},
    {"the converter passes", {&percent, radix_decimal, 0, 0}, "0x20", true, 32},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.what);
    uint64_t value = 77;
    EXPECT_EQ(controller.parse_number(&value, row.format, row.text), row.ok);
    EXPECT_EQ(int64_t(value), row.ok ? row.value : 77);
  }
}

TEST(FormsControllerNumbers, FormattingWritesSignPrefixAndDigits)
{
  recording_model_t model;
  controller_t controller(&model);
  percent_converter_t percent;
  struct row_t
  {
    number_format_t format;
    int64_t value;
    const char *text;
  };
  const row_t rows[] = {
    {{nullptr, radix_hexadecimal, 0, 0}, -5, "-0x5"},
    {{nullptr, radix_hexadecimal, number_no_prefix, 0}, -5, "-5"},
    {{nullptr, radix_hexadecimal, number_unsigned, 0}, 255, "0xFF"},
    {{nullptr, radix_octal, 0, 0}, 8, "010"},
    {{nullptr, radix_decimal, 0, 0}, 0, "0"},
    {{nullptr, radix_decimal, number_unsigned, 0}, -1, "18446744073709551615"},
    {{nullptr, radix_decimal, 0, 0}, INT64_MIN, "-9223372036854775808"},
    {{&percent, radix_decimal, 0, 0}, 100, "%100"},
    {{&percent, radix_hexadecimal, 0, 0}, 16, "~0x10"},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(controller.format_number(uint64_t(row.value), row.format).toStdString(), row.text);
  }
  EXPECT_EQ(interr_number([&] { (void)controller.format_number(1, {nullptr, 3, 0, 0}); }), 70131);
}

TEST(FormsControllerNumbers, EveryFormatReadsBackWhatItWrites)
{
  recording_model_t model;
  controller_t controller(&model);
  const int64_t values[] = {0, 1, 7, 8, 255, 4096, -1, -300, INT64_MAX, INT64_MIN + 1};
  for ( const int radix : {int(radix_octal), int(radix_decimal), int(radix_hexadecimal)} )
    for ( const int flags : {0, int(number_unsigned), int(number_no_prefix), int(number_unsigned | number_no_prefix)} )
      for ( const int64_t value : values )
      {
        const number_format_t format {nullptr, radix, flags, 0};
        const QByteArray text = controller.format_number(uint64_t(value), format).toUtf8();
        SCOPED_TRACE(text.constData());
        uint64_t back = 0;
        EXPECT_TRUE(controller.parse_number(&back, format, text.constData()));
        EXPECT_EQ(int64_t(back), value);
      }
}

TEST(FormsControllerNumbers, AddressesAreHexadecimalAndAllOnesIsEmpty)
{
  recording_model_t model;
  controller_t controller(&model);
  EXPECT_EQ(controller.format_address(UINT64_MAX), "");
  EXPECT_EQ(controller.format_address(0x1F), "1F");
  EXPECT_EQ(controller.format_address(0xFFFFFFFFFFFFFFFEull), "FFFFFFFFFFFFFFFE");
  struct row_t
  {
    const char *text;
    bool ok;
    uint64_t value;
  };
  const row_t rows[] = {{"1f", true, 0x1F}, {"DEADBEEF", true, 0xDEADBEEF}, {"", false, 0}, {"zz", false, 0}};
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.text);
    uint64_t value = 5;
    EXPECT_EQ(controller.parse_address(&value, row.text), row.ok);
    EXPECT_EQ(value, row.ok ? row.value : 5);
  }
}

// A field of that type, everything else default.
field_desc_t field_of(int type)
{
  field_desc_t field;
  field.type = type;
  return field;
}

// ---- Slots ----------------------------------------------------------------------------------------------

// A window of watched widgets over a model, made by the application's factory.
class FormsController : public ::testing::Test
{
protected:
  void SetUp() override
  {
    controller.reset(test_app().get_widget_factory()->new_form_controller(&model));
    ASSERT_NE(controller, nullptr);
    window.setLayout(new QVBoxLayout);
  }
  // Adds the widget to the window, watched as the field's.
  template <typename W>
  W *add(W *widget, field_desc_t *field)
  {
    window.layout()->addWidget(widget);
    controller->watch(widget, field);
    return widget;
  }
  void show()
  {
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  }

  recording_model_t model;
  std::unique_ptr<controller_t> controller;
  QWidget window;
};

TEST_F(FormsController, TheFactoryMakesAControllerOverTheModel)
{
  EXPECT_EQ(controller->model(), &model);
  EXPECT_EQ(controller->parent(), nullptr);
  QLineEdit loose;
  EXPECT_EQ(controller->field_of(&loose), nullptr) << "nothing is watched at first";
}

TEST_F(FormsController, TypedTextBecomesTheValueOfStringsNumbersAndAddresses)
{
  field_desc_t text = field_of(field_string);
  field_desc_t number = field_of(field_number);
  number.number = 9;
  field_desc_t address = field_of(field_address);
  address.number = 9;
  field_desc_t with_history = field_of(field_string);
  with_history.history = "ControllerNames";
  auto *text_edit = add(new QLineEdit, &text);
  auto *number_edit = add(new QLineEdit, &number);
  auto *address_edit = add(new QLineEdit, &address);
  auto *editable = new QComboBox;
  editable->setEditable(true);
  auto *combo = add(editable, &with_history);
  show();

  QTest::keyClicks(text_edit, "abc");
  EXPECT_EQ(text.text, "abc");
  EXPECT_EQ(model.changed.size(), 3u);
  QTest::keyClicks(number_edit, "0x1f");
  EXPECT_EQ(number.number, 31u);
  QTest::keyClicks(address_edit, "g");
  EXPECT_EQ(address.number, 9u) << "a text that does not parse keeps the value";
  QTest::keyClick(address_edit, Qt::Key_Backspace);
  QTest::keyClicks(address_edit, "a0");
  EXPECT_EQ(address.number, 0xA0u);
  model.changed.clear();
  QTest::keyClicks(combo->lineEdit(), "zed");
  EXPECT_EQ(with_history.text, "zed");
  EXPECT_EQ(model.changed, std::vector<field_desc_t *>(3, &with_history)) << "found through the combo box";
  EXPECT_EQ(controller->field_of(combo->lineEdit()), nullptr);
}

TEST_F(FormsController, CheckBoxesButtonsAndEmbeddedListsReachTheModel)
{
  field_desc_t box = field_of(field_check_box);
  field_desc_t button = field_of(field_button);
  field_desc_t not_a_button = field_of(field_string);
  double_chooser_t chooser;
  field_desc_t list = field_of(field_string);
  list.chooser = &chooser;
  auto *check = add(new QCheckBox("Box"), &box);
  auto *push = add(new QPushButton("Push"), &button);
  auto *other = add(new QPushButton("Other"), &not_a_button);
  auto *rows = add(static_cast<double_list_widget_t *>(chooser.create_embedded_widget("Pick", 1)), &list);
  show();

  QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(8, check->height() / 2)); // on its indicator
  EXPECT_EQ(box.checked, 1);
  QTest::keyClick(check, Qt::Key_Space);
  EXPECT_EQ(box.checked, 0);
  EXPECT_EQ(model.changed, std::vector<field_desc_t *>(2, &box));

  QTest::mouseClick(push, Qt::LeftButton);
  QTest::mouseClick(other, Qt::LeftButton);
  EXPECT_EQ(model.pressed, std::vector<field_desc_t *> {&button}) << "only a button field is pressed";

  model.changed.clear();
  const QRect first = rows->visualItemRect(rows->item(0));
  QTest::mouseClick(rows->viewport(), Qt::LeftButton, {}, first.center());
  EXPECT_EQ(model.changed, std::vector<field_desc_t *> {&list});
  QTest::mouseClick(rows->viewport(), Qt::LeftButton, {}, first.center()); // deselected: no selection left
  EXPECT_EQ(model.changed.size(), 1u);
  chooser.state = 0x80;
  QTest::mouseClick(rows->viewport(), Qt::LeftButton, {}, first.center());
  EXPECT_EQ(model.changed.size(), 1u) << "bit 0x80 keeps the list's changes quiet";
}

TEST_F(FormsController, ColoursComeFromTheColourDialogAndTheResetButton)
{
  field_desc_t colour = field_of(field_color);
  auto *selector = add(new color_selector_t(nullptr, true), &colour);
  show();
  {
    modal_player_t player;
    player.on_next<QColorDialog>("the colour dialog", [](QColorDialog &dialog) {
      dialog.setCurrentColor(QColor(0x12, 0x34, 0x56));
      press_key(dialog, Qt::Key_Return);
    });
    QTest::mouseClick(selector->button(), Qt::LeftButton);
  }
  EXPECT_EQ(colour.color, 0x563412u) << "red in the low byte";
  ASSERT_TRUE(selector->reset_button()->isVisible());
  QTest::mouseClick(selector->reset_button(), Qt::LeftButton);
  EXPECT_EQ(colour.color, UINT32_MAX) << "no colour";
  EXPECT_EQ(model.changed, std::vector<field_desc_t *>(2, &colour));
}

// A file picker as the front end builds one: a line edit and a browse button side by side.
QWidget *new_file_picker()
{
  auto *picker = new QWidget;
  auto *row = new QHBoxLayout(picker);
  row->addWidget(new QLineEdit);
  row->addWidget(new QPushButton("..."));
  return picker;
}

TEST_F(FormsController, AFilePickerAsksForAFileThroughTheCore)
{
  recording_ui_callback_t ui;
  dialog_dispatcher_t dispatcher(ui);
  const char *tmp = std::getenv("TMPDIR");
  const std::filesystem::path folder = std::filesystem::path(tmp != nullptr ? tmp : "/tmp") / "picker";
  std::filesystem::create_directories(folder);
  field_desc_t picker = field_of(field_file_picker);
  picker.for_saving = true;
  picker.text = (folder / "old.txt").string().c_str();
  picker.prompt = "Export to";
  QWidget *widget = add(new_file_picker(), &picker);
  auto *edit = widget->findChild<QLineEdit *>();
  show();

  modal_player_t player;
  player.on_next<QFileDialog>("the save dialog", [](QFileDialog &dialog) {
    EXPECT_EQ(dialog.windowTitle(), "Export to");
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog.findChild<QLineEdit *>("fileNameEdit")->text(), "old.txt");
    auto *name = dialog.findChild<QLineEdit *>("fileNameEdit");
    QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(name, "new.txt");
    QTest::keyClick(name, Qt::Key_Return);
  });
  QTest::mouseClick(widget->findChild<QPushButton *>(), Qt::LeftButton);
  const std::string chosen = (folder / "new.txt").string();
  EXPECT_EQ(picker.text, chosen.c_str());
  EXPECT_EQ(edit->text().toStdString(), chosen);
  EXPECT_EQ(model.changed, std::vector<field_desc_t *> {&picker}) << "the line edit was written quietly";

  QTest::keyClick(edit, Qt::Key_End);
  QTest::keyClick(edit, Qt::Key_Backspace);
  EXPECT_EQ(picker.text, chosen.substr(0, chosen.size() - 1).c_str());
  EXPECT_EQ(model.changed.size(), 2u);
}

// ---- The dialog ----------------------------------------------------------------------------------------

TEST_F(FormsController, DialogButtonsAcceptRejectAndShowHelpUnlessTheModelTakesThem)
{
  test_app().helps_shown.clear();
  struct row_t
  {
    const char *what;
    int role;
    bool model_takes_it;
    int result; // -1: still open
    std::vector<int32_t> helps;
  };
  const row_t rows[] = {
    {"Yes accepts", role_yes, false, QDialog::Accepted, {}},
    {"OK accepts", role_ok, false, QDialog::Accepted, {}},
    {"No rejects", role_no, false, QDialog::Rejected, {}},
    {"Cancel rejects", role_cancel, false, QDialog::Rejected, {}},
    {"Help shows the model's topic", role_help, false, -1, {31}},
    {"the model takes the button", role_yes, true, -1, {}},
  };
  for ( const row_t &row : rows )
  {
    SCOPED_TRACE(row.what);
    test_app().helps_shown.clear();
    recording_model_t own;
    own.handles_dialog_buttons = row.model_takes_it;
    dialog_t dialog(&own, nullptr);
    ASSERT_NE(dialog.controller(), nullptr);
    auto *layout = new QVBoxLayout(&dialog);
    auto *button = new QPushButton("Button");
    layout->addWidget(button);
    field_desc_t field = field_of(field_dialog_button);
    field.role = row.role;
    dialog.controller()->watch(button, &field);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(own.events, std::vector<int> {model_event_show});
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(own.dialog_buttons, std::vector<field_desc_t *> {&field});
    EXPECT_EQ(dialog.isVisible(), row.result == -1);
    if ( row.result != -1 )
    {
      EXPECT_EQ(dialog.result(), row.result);
      EXPECT_EQ(own.finished, std::vector<bool> {row.result == QDialog::Accepted});
    }
    EXPECT_EQ(test_app().helps_shown, row.helps);
  }
}

TEST_F(FormsController, ADialogButtonOfAModelWithoutOpenDialogDoesNothing)
{
  field_desc_t field = field_of(field_dialog_button);
  field.role = role_yes;
  auto *button = add(new QPushButton("OK"), &field);
  show();
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_TRUE(model.dialog_buttons.empty()) << "no open dialog serves this model";
  EXPECT_TRUE(open_dialogs().empty());
}

TEST_F(FormsController, AnAcceptedDialogPutsTheTextsIntoTheirHistories)
{
  recording_model_t own;
  auto dialog = std::make_unique<dialog_t>(&own, nullptr);
  EXPECT_EQ(open_dialogs(), std::vector<dialog_t *> {dialog.get()});
  auto *layout = new QVBoxLayout(dialog.get());
  // Histories live as long as the process: each run of the test has one of its own.
  static int runs = 0;
  const std::string history = "ControllerHistory" + std::to_string(++runs);
  field_desc_t named = field_of(field_string);
  named.history = history.c_str();
  field_desc_t plain = field_of(field_string);
  auto *combo = new QComboBox;
  combo->setEditable(true);
  auto *edit = new QLineEdit;
  layout->addWidget(combo);
  layout->addWidget(edit);
  dialog->controller()->watch(combo, &named);
  dialog->controller()->watch(edit, &plain);
  dialog->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
  QTest::keyClicks(combo->lineEdit(), "remembered");
  QTest::keyClicks(edit, "forgotten");
  dialog->reject();
  EXPECT_FALSE(find_input_history(history.c_str())->entries.contains("remembered")) << "only when accepted";
  dialog->accept();
  EXPECT_EQ(find_input_history(history.c_str())->entries.value(0), "remembered");
  EXPECT_EQ(own.finished, (std::vector<bool> {false, true}));

  // A watched history field that died before the end is an internal error.
  delete combo;
  EXPECT_EQ(interr_number([&] { dialog->controller()->on_dialog_finished(QDialog::Accepted); }), 40345);
  dialog.reset();
  EXPECT_TRUE(open_dialogs().empty());
}

TEST_F(FormsController, APopupInsideAFormDialogReachesItsModel)
{
  recording_model_t own;
  dialog_t dialog(&own, nullptr);
  auto *layout = new QVBoxLayout(&dialog);
  auto *edit = new QLineEdit;
  auto *label = new QLabel("Unbound");
  layout->addWidget(edit);
  layout->addWidget(label);
  field_desc_t field = field_of(field_string);
  dialog.controller()->watch(edit, &field);

  // The framework's popup filling, which the forms library's services reach.
  popup_menu_ctx_t popup(edit);
  (void)populate_widget_popup(&popup, edit, nullptr);
  (void)populate_widget_popup(&popup, label, nullptr);
  ASSERT_EQ(own.popups.size(), 2u);
  EXPECT_EQ(own.popups[0].field, &field);
  EXPECT_EQ(own.popups[0].widget, edit);
  EXPECT_EQ(own.popups[0].popup, &popup);
  EXPECT_EQ(own.popups[1].field, nullptr) << "a widget bound to no field";
  EXPECT_EQ(own.popups[1].widget, label);

  QLineEdit outside;
  (void)populate_widget_popup(&popup, &outside, nullptr);
  EXPECT_EQ(own.popups.size(), 2u) << "no form dialog around it";
}

} // namespace

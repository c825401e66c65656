// The field widgets: buddy labels, colour buttons and selectors, check boxes and bounded line edits.
#include "forms/inputs/buddy_label.h"
#include "forms/inputs/color_button.h"
#include "forms/inputs/field_widgets.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(form_field_widgets, buddy_labels_underline_their_mnemonic_and_move_the_focus)
{
  QWidget window;
  auto *layout = new QHBoxLayout(&window);
  auto *label = new buddy_label_t;
  auto *edit = new QLineEdit;
  auto *other = new QLineEdit;
  layout->addWidget(label);
  layout->addWidget(edit);
  layout->addWidget(other);
  label->set_text_with_buddy("Sa&ve", edit);
  EXPECT_EQ(label->text(), "Sa<u>v</u>e");
  EXPECT_EQ(label->key_sequence(), QKeySequence(QStringLiteral("Alt+V")));
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.activateWindow();
  other->setFocus();
  QTest::keyClick(other, Qt::Key_V, Qt::AltModifier);
  EXPECT_TRUE(edit->hasFocus());

  auto *plain = new buddy_label_t;
  layout->addWidget(plain);
  plain->set_text_with_buddy("&&Save", edit);
  EXPECT_EQ(plain->text(), "&Save");
  EXPECT_EQ(plain->findChild<QShortcut *>(), nullptr) << "a doubled '&' makes no shortcut";

  auto *button = new QPushButton("target");
  layout->addWidget(button);
  QSignalSpy clicks(button, &QPushButton::clicked);
  auto *for_button = new buddy_label_t;
  layout->addWidget(for_button);
  for_button->set_text_with_buddy("&Go", button);
  for_button->transfer_focus();
  EXPECT_EQ(clicks.count(), 1) << "a button buddy is clicked, not focused";
}

TEST(form_field_widgets, colour_selector_shows_default_and_a_reset_button)
{
  color_selector_t selector(nullptr, true);
  selector.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&selector));
  ColorButton *button = selector.button();
  EXPECT_EQ(button->text(), "DEFAULT");
  EXPECT_FALSE(selector.reset_button()->isVisible());
  QSignalSpy changes(button, &ColorButton::colorChanged);
  button->set_color(QColor(255, 0, 0));
  EXPECT_EQ(changes.count(), 1);
  EXPECT_NE(button->text(), "DEFAULT");
  EXPECT_TRUE(selector.reset_button()->isVisible());
  button->set_color(QColor(255, 0, 0));
  EXPECT_EQ(changes.count(), 1) << "the same colour again changes nothing";
  QTest::mouseClick(selector.reset_button(), Qt::LeftButton);
  EXPECT_FALSE(button->color().isValid());
  EXPECT_EQ(button->text(), "DEFAULT");
  EXPECT_FALSE(selector.reset_button()->isVisible());

  ColorButton strict(QStringLiteral("c"), nullptr, 0);
  strict.set_color(QColor(1, 2, 3));
  strict.set_color(QColor());
  EXPECT_EQ(strict.color(), QColor(1, 2, 3)) << "no 'no colour' without the option";
}

TEST(form_field_widgets, input_field_lengths)
{
  EXPECT_EQ(input_field_t(0).maxLength(), 1023);
  EXPECT_EQ(input_field_t(-1).maxLength(), 32768);
  EXPECT_EQ(input_field_t(7).maxLength(), 7);
  input_field_t field(0);
  field.show();
  QTest::keyClicks(&field, "abc");
  QTest::keyClick(&field, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(field.cursorPosition(), 0) << "Ctrl+Home acts as Home";
}

} // namespace

// Plays the application's answer to one of the core's form requests (code 30) through the forms engine, so
// that a test drives the form a user would see with real events.
#pragma once

#include "tests/forms/form_widget_fixture.h"
#include "tests/support/recording_ui_callback.h"

#include <QCheckBox>
#include <QStyleOptionButton>
#include <QTimer>

#include <functional>

// A player for recording_ui_callback_t::script_form: the form is compiled into a dialog and run modally while
// `drive` plays the user (it must end the dialog, by its buttons or keys); OK writes the fields back and
// answers 1, anything else answers 0. A form that does not compile answers 0.
inline recording_ui_callback_t::form_player_t form_dialog_player(std::function<void(hosted_form_t &)> drive)
{
  return [drive](const char *text, va_list args) -> int64_t {
    hosted_form_t hosted;
    form_args_t cursor(args);
    if ( !compile_form(hosted.form, text, cursor) )
      return 0;
    QTimer::singleShot(0, hosted.dialog.get(), [&] {
      (void)QTest::qWaitForWindowExposed(hosted.dialog.get());
      drive(hosted);
      // A player that failed half-way must not leave the test waiting for a dialog nobody closes.
      if ( hosted.dialog->isVisible() )
        hosted.dialog->reject();
    });
    if ( hosted.dialog->exec() != QDialog::Accepted )
      return 0;
    return hosted.form->sync_all_values() ? 1 : 0;
  };
}

// Clicks a check box where it takes clicks (its box and label, not the rest of its width).
inline void click_box(QCheckBox *box)
{
  QStyleOptionButton option;
  option.initFrom(box);
  const QRect area = box->style()->subElementRect(QStyle::SE_CheckBoxClickRect, &option, box);
  QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, area.center());
}

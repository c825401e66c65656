// A form compiled into a dialog for widget tests, with helpers to find its controls.
#pragma once

#include "forms/form_widget.h"
#include "tests/forms/form_test_support.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <memory>
#include <vector>

// A dialog hosting one form widget, as the form dialog of the input requests does.
struct hosted_form_t
{
  hosted_form_t() : dialog(std::make_unique<QDialog>()), form(new form_widget_t)
  {
    auto *layout = new QVBoxLayout(dialog.get());
    layout->addWidget(form);
    form->set_host_dialog(dialog.get());
  }
  // Compiles the text with the counted arguments; the dialog's warnings are recorded by the caller's callback.
  bool compile(const char *text, std::vector<form_arg_t> args)
  {
    form_args_t cursor(std::move(args));
    return compile_form(form, text, cursor);
  }
  // The widget of the n-th control of that type (n from 0), or null.
  template <typename W = QWidget>
  W *control(char type, size_t n = 0) const
  {
    for ( const form_control_t &c : form->controls() )
      if ( c.type == type && n-- == 0 )
        return qobject_cast<W *>(c.widget);
    return nullptr;
  }
  // Shows the dialog and waits until it is on screen.
  [[nodiscard]] bool show()
  {
    dialog->show();
    return QTest::qWaitForWindowExposed(dialog.get());
  }
  QPushButton *dialog_button(QDialogButtonBox::StandardButton which) const
  {
    return form->button_box() != nullptr ? form->button_box()->button(which) : nullptr;
  }

  std::unique_ptr<QDialog> dialog;
  form_widget_t *form; // child of the dialog
};

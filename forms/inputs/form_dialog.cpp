// The modal dialog that shows a form.
#include "forms/inputs/form_dialog.h"

#include "forms/form_widget.h"
#include "ui/ui_action.h"

#include <QCloseEvent>
#include <QResizeEvent>

#include <cstring>

ui_form_dialog_t::ui_form_dialog_t(form_widget_t *form, const char *form_text, QWidget *parent)
  : ui_dialog_t(parent), form_(form), form_text_(form_text != nullptr ? form_text : "")
{
  if ( form != nullptr )
  {
    form->setParent(this);
    form->move(0, 0);
    form->set_host_dialog(this);
  }
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

ui_form_dialog_t::~ui_form_dialog_t() = default;

QSize ui_form_dialog_t::sizeHint() const
{
  return form_ != nullptr ? form_->sizeHint() : QDialog::sizeHint();
}

bool ui_form_dialog_t::accepts_imported_action(ui_action_t *action) const
{
  return action != nullptr && std::strncmp(action->name().c_str(), "Chooser", 7) == 0;
}

void ui_form_dialog_t::geometry_key(qstring *out) const
{
  out->append(form_text_);
}

void ui_form_dialog_t::accept()
{
  if ( form_ != nullptr && (form_->flags() & form_flag_autosync) == 0 && !form_->sync_all_values() )
    return;
  QDialog::done(QDialog::Accepted);
}

void ui_form_dialog_t::on_child_visibility_changed()
{
  if ( form_ == nullptr )
    return;
  const QSize hint = form_->sizeHint();
  setMinimumSize(hint);
  resize(hint);
}

void ui_form_dialog_t::resizeEvent(QResizeEvent *event)
{
  if ( form_ != nullptr )
    form_->resize(event->size());
  QDialog::resizeEvent(event);
}

void ui_form_dialog_t::closeEvent(QCloseEvent *event)
{
  event->setAccepted(form_ == nullptr || form_->close());
}

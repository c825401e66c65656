// The modal dialog that shows a form: sized to the form, writing the form's values back when it is accepted,
// and remembering its geometry under the form's own text.
#pragma once

#include "core/qstring.h"
#include "ui/dialog_base.h"

#include <QPointer>

class form_widget_t;

// Hosts one form widget (its child, at (0, 0), filling the dialog). Promises: accepting writes the fields back
// first (unless the form has AUTOSYNC) and stays open when a field does not convert; closing from the title bar
// asks the form; two forms that differ in any character keep separate geometries.
class ui_form_dialog_t : public ui_dialog_t
{
  Q_OBJECT

public:
  // Takes the form in, sets the form's host dialog to this one and keeps a copy of the form text (null: empty).
  // The parent is kept only when it is visible (ui_dialog_t).
  ui_form_dialog_t(form_widget_t *form, const char *form_text, QWidget *parent);
  ~ui_form_dialog_t() override;

  [[nodiscard]] form_widget_t *form() const { return form_; }
  // The form's size hint (QDialog's without a form).
  [[nodiscard]] QSize sizeHint() const override;
  // True for the actions whose name begins with "Chooser", so an embedded list's shortcuts work inside.
  [[nodiscard]] bool accepts_imported_action(ui_action_t *action) const override;
  // The form text.
  void geometry_key(qstring *out) const override;

public slots:
  // Writes the values back (unless AUTOSYNC) and closes with result 1; a value that does not convert keeps the
  // dialog open.
  void accept() override;
  // Makes the form's size hint the dialog's minimum size and its size (after a field was shown or hidden).
  void on_child_visibility_changed();

protected:
  void resizeEvent(QResizeEvent *event) override;
  // Accepted exactly when the form agrees to close.
  void closeEvent(QCloseEvent *event) override;

private:
  QPointer<form_widget_t> form_; // child
  qstring form_text_;
};

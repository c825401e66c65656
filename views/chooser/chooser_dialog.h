// The modal dialog that hosts a chooser widget when a chooser is opened modally, and its run.
#pragma once

#include "ui/dialog_base.h"

#include <cstdint>

class chooser_widget_t;

// Hosts one chooser widget, which fills it; the chooser's own actions (and their shortcuts) work inside it.
// Promises: the widget hiding itself ends the dialog with result 0; the widget is destroyed with the dialog.
class TChooserDialog : public ui_dialog_t
{
  Q_OBJECT

public:
  explicit TChooserDialog(chooser_widget_t *widget);

  [[nodiscard]] chooser_widget_t *chooser_widget() const { return chooser_widget_; }
  // Takes in the actions whose names begin with "Chooser".
  [[nodiscard]] bool accepts_imported_action(ui_action_t *action) const override;

protected:
  bool eventFilter(QObject *object, QEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void showEvent(QShowEvent *event) override;

private:
  chooser_widget_t *chooser_widget_; // owned through Qt's parent
};

// Runs the widget in a TChooserDialog under the factory's dialog execution control and destroys both; answers
// the chosen row when the user accepted (the row of the current item in a folder form, -1 for a folder; else
// the first selected row), -1 otherwise.
int64_t run_chooser_dialog(chooser_widget_t *widget);

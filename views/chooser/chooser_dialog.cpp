// The modal chooser dialog.
#include "views/chooser/chooser_dialog.h"

#include "ui/app_base.h"
#include "ui/docks/desktop_widgets.h"
#include "ui/layout_helpers.h"
#include "ui/ui_action.h"
#include "ui/widget_factory.h"
#include "views/chooser/chooser_table.h"
#include "views/chooser/chooser_widget.h"

#include <QEvent>
#include <QItemSelectionModel>
#include <QResizeEvent>

#include <cstring>
#include <memory>

namespace
{

QWidget *dialog_parent()
{
  app_t *app = current_app();
  return app != nullptr ? app->active_window() : nullptr;
}

} // namespace

TChooserDialog::TChooserDialog(chooser_widget_t *widget) : ui_dialog_t(dialog_parent()), chooser_widget_(widget)
{
  resize(widget->size().expandedTo(widget->sizeHint()));
  widget->setParent(this);
  widget->move(0, 0);
  widget->installEventFilter(this);
  setWindowTitle(widget->windowTitle());
  setWindowIcon(widget->windowIcon());
  setWindowFlags((windowFlags() & ~Qt::WindowContextHelpButtonHint) | Qt::WindowMaximizeButtonHint);
  import_actions();
  connect(this, &QDialog::accepted, widget, &QWidget::close);
}

bool TChooserDialog::accepts_imported_action(ui_action_t *action) const
{
  return action != nullptr && std::strncmp(action->name().c_str(), "Chooser", 7) == 0;
}

bool TChooserDialog::eventFilter(QObject *object, QEvent *event)
{
  // The widget closes itself on OK and Cancel: that ends the run; whether it was accepted is the widget's mark.
  if ( object == chooser_widget_ && event->type() == QEvent::HideToParent )
    done(0);
  return QDialog::eventFilter(object, event);
}

void TChooserDialog::resizeEvent(QResizeEvent *event)
{
  QDialog::resizeEvent(event);
  chooser_widget_->resize(event->size());
}

void TChooserDialog::showEvent(QShowEvent *event)
{
  QDialog::showEvent(event);
  if ( (chooser_widget_->source()->flags & chooser_quick_filter_shown) == 0 )
    chooser_widget_->setFocus();
  QTableView *table = chooser_widget_->table();
  const QModelIndexList selected = table->selectionModel()->selectedIndexes();
  if ( !selected.isEmpty() )
    table->scrollTo(selected.front());
}

int64_t run_chooser_dialog(chooser_widget_t *widget)
{
  auto dialog = std::make_unique<TChooserDialog>(widget);
  {
    app_t *app = current_app();
    ui_widget_factory_t *factory = app != nullptr ? app->get_widget_factory() : nullptr;
    std::unique_ptr<ui_dialog_exec_ctl_t> control(factory != nullptr ? factory->new_dialog_exec_ctl(0) : nullptr);
    (void)dialog->exec();
  }
  if ( widget->accepted() == 0 )
    return chooser_nothing_chosen;
  ISaveStateEvent save;
  send_event_to_widget_tree(widget, &save);
  return widget->chosen_row();
}

// The modal dialogs the form fields open.
#include "forms/inputs/input_requests.h"

#include "core/printf_format.h"
#include "ui/app_base.h"
#include "ui/dialog_base.h"
#include "ui/message_box_header.h"
#include "ui/widget_factory.h"

#include <QDir>

#include <cstdarg>

namespace {

// The exec control around one modal Qt dialog; released on every way out.
class guarded_run_t
{
public:
  guarded_run_t()
  {
    if ( app_t *app = current_app() )
      if ( ui_widget_factory_t *factory = app->get_widget_factory() )
      {
        factory_ = factory;
        control_ = factory->new_dialog_exec_ctl(0);
      }
  }
  ~guarded_run_t()
  {
    if ( factory_ != nullptr )
      factory_->delete_owned_object(control_);
  }
  guarded_run_t(const guarded_run_t &) = delete;
  guarded_run_t &operator=(const guarded_run_t &) = delete;

private:
  ui_widget_factory_t *factory_ = nullptr;
  ui_dialog_exec_ctl_t *control_ = nullptr;
};

} // namespace

bool ask_directory(qstring *out, const char *initial, const char *format, ...)
{
  char title[1024];
  va_list va;
  va_start(va, format);
  buf_vprintf(title, sizeof(title), format, va);
  va_end(va);
  (void)extract_help_marker(title);
  const QString answer = get_existing_directory_guarded(nullptr, QString::fromUtf8(title),
                                                        QString::fromUtf8(initial != nullptr ? initial : ""),
                                                        QFileDialog::ShowDirsOnly);
  if ( answer.isEmpty() )
    return false;
  *out = QDir::toNativeSeparators(answer).toUtf8().constData();
  return true;
}

QString get_existing_directory_guarded(QWidget *parent, const QString &caption, const QString &folder,
                                       QFileDialog::Options options)
{
  guarded_run_t run;
  return QFileDialog::getExistingDirectory(parent, caption, folder, options);
}

QString get_open_file_name_guarded(QWidget *parent, const QString &caption, const QString &folder,
                                   const QString &filter, QString *selected_filter, QFileDialog::Options options)
{
  guarded_run_t run;
  return QFileDialog::getOpenFileName(parent, caption, folder, filter, selected_filter, options);
}

QString get_save_file_name_guarded(QWidget *parent, const QString &caption, const QString &folder,
                                   const QString &filter, QString *selected_filter, QFileDialog::Options options)
{
  guarded_run_t run;
  return QFileDialog::getSaveFileName(parent, caption, folder, filter, selected_filter, options);
}

QColor get_color_guarded(const QColor &initial, QWidget *parent, const QString &title,
                         QColorDialog::ColorDialogOptions options)
{
  guarded_run_t run;
  return QColorDialog::getColor(initial, parent, title, options);
}

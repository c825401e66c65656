// The core's input requests answered by dialogs, and the modal dialogs the form fields open.
#include "forms/inputs/input_requests.h"

#include "core/environment.h"
#include "core/file_ops.h"
#include "core/internal_error.h"
#include "core/printf_format.h"
#include "core/text_utils.h"
#include "core/ui_callback.h"
#include "forms/form_parser.h"
#include "forms/form_values.h"
#include "forms/form_widget.h"
#include "forms/inputs/file_filters.h"
#include "forms/inputs/form_dialog.h"
#include "ui/app_base.h"
#include "ui/dialog_base.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/message_box_header.h"
#include "ui/request_queue.h"
#include "ui/widget_factory.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int interr_bad_form_result = 40260;
constexpr int exec_ctl_restore_focus = 1;

// The exec control around one modal dialog; released on every way out.
class guarded_run_t
{
public:
  explicit guarded_run_t(int32_t flags)
  {
    if ( app_t *app = current_app() )
      if ( ui_widget_factory_t *factory = app->get_widget_factory() )
      {
        factory_ = factory;
        control_ = factory->new_dialog_exec_ctl(flags);
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

ui_widget_factory_t *widget_factory()
{
  app_t *app = current_app();
  return app != nullptr ? app->get_widget_factory() : nullptr;
}

// The kinds of file request, as the remembered folders know them.
constexpr int dir_kind_saving = 0;
constexpr int dir_kind_opening = 1;

// Where a file dialog starts: the default path's folder and name, its folder, the folder remembered for the
// direction, or the current folder.
QString start_path(const file_filter_list_t &filters, app_t *app, bool for_saving)
{
  if ( filters.default_is_name )
  {
    std::string joined(filters.default_folder.size() + filters.default_name.size() + 2, '\0');
    if ( join_path(joined.data(), ptrdiff_t(joined.size()), filters.default_folder.c_str(),
                   filters.default_name.c_str(), nullptr) != nullptr )
      return QString::fromUtf8(joined.c_str());
  }
  if ( !filters.default_folder.empty() )
    return QString::fromUtf8(filters.default_folder.c_str());
  qstring remembered;
  if ( app != nullptr && app->get_default_dir(&remembered, for_saving ? dir_kind_saving : dir_kind_opening) )
    return QString::fromUtf8(remembered.c_str());
  return QDir::currentPath();
}

// The extension that a selected filter such as "Text files (*.txt *.log)" gives a name saved without one: its
// first pattern's, up to a blank, ';' or ')'. Empty when there is none, or when it is a wildcard ("*.*").
std::string extension_of_filter(const QString &selected)
{
  const std::string filter = selected.toUtf8().toStdString();
  const size_t open = filter.find("(*.");
  if ( open == std::string::npos )
    return {};
  const size_t start = open + 3;
  size_t end = std::string::npos;
  for ( const char delimiter : {' ', ';', ')'} )
  {
    end = filter.find(delimiter, start + 1);
    if ( end != std::string::npos )
      break;
  }
  if ( end == std::string::npos )
    return {};
  const std::string extension = filter.substr(start, end - start);
  return extension.find_first_of("*?") == std::string::npos ? extension : std::string();
}

// A text request's field: the type letter, the width subfield, and the buffer the field edits (0: the value
// string itself).
struct text_field_t
{
  char letter;
  int max_length;
  size_t buffer_size;
};

text_field_t text_field_of(int kind)
{
  switch ( kind )
  {
    case text_kind_identifier:
      return {'i', -1, 0};
    case text_kind_file_path:
      // The width subfield of 'f' is its save flag: 0 browses with an open dialog.
      return {'f', 0, form_path_size};
    case text_kind_trimmed:
      return {'y', -1, 0};
    case text_kind_long_text:
      return {'X', int(form_text_buffer_size - 1), form_text_buffer_size};
    case text_kind_folder_path:
      return {'F', int(form_path_size - 1), form_path_size};
    case text_kind_identifier_two:
      return {'I', -1, 0};
    default:
      return {'q', -1, 0};
  }
}

// A prompt made fit to stand as a field label: ':' and '>' would end the field and show as blanks, "%/" would
// make the form take a callback argument, and a backslash at the end would escape the field's colon.
std::string field_label_of(std::string_view prompt)
{
  std::string label;
  for ( size_t i = 0; i < prompt.size(); ++i )
  {
    const char c = prompt[i];
    label += c == ':' || c == '>' ? ' ' : c;
    if ( c == '%' && i + 1 < prompt.size() && prompt[i + 1] == '/' )
      label += ' ';
  }
  if ( !label.empty() && label.back() == '\\' )
    label += ' ';
  return label;
}

} // namespace

// ---- The requests of the UI callback ------------------------------------------------------------------------

int ask_yes_no_request(const char *yes_label, const char *no_label, const char *cancel_label, int default_answer,
                       const char *format, va_list va)
{
  message_box_request_t request("Please confirm", MBOX_ICON_QUESTION, MBOX_AUTOHIDE_NONE,
                                yes_label != nullptr ? yes_label : "", no_label != nullptr ? no_label : "",
                                cancel_label != nullptr ? cancel_label : "", default_answer, format, va);
  return int(execute_request(&request, exec_flag_marked));
}

bool ask_file_request(qstring *answer, bool for_saving, const char *default_path, const char *format, va_list va)
{
  qstring filter_text;
  qstring title;
  (void)split_filter_header(&filter_text, &title, format, va);
  const std::string path = default_path != nullptr ? default_path : "";
  app_t *app = current_app();

  file_filter_list_t filters;
  if ( !filter_text.empty() || !path.empty() )
  {
    filters.add_spec(filter_text.c_str());
    if ( !path.empty() && !is_directory(path.c_str()) )
      filters.add_spec(path.c_str());
  }
  else if ( app != nullptr )
  {
    filters.add_spec(app->file_dialog_filter());
  }
  if ( filters.find_pattern("*") == nullptr && filters.find_pattern("*.*") == nullptr )
    filters.add_spec("All files|*.*");
  qstring qt_filter;
  filters.to_qt_filter(&qt_filter);

  QFileDialog::Options options;
  if ( for_saving )
    options |= QFileDialog::DontConfirmOverwrite;
  if ( app != nullptr && !app->native_file_dialogs() )
    options |= QFileDialog::DontUseNativeDialog;
  QWidget *parent = app != nullptr ? app->main_window() : nullptr;
  const QString start = start_path(filters, app, for_saving);
  QString chosen;
  QString selected_filter;
  {
    guarded_run_t run(0);
    const QString caption = QString::fromUtf8(title.c_str());
    const QString filter = QString::fromUtf8(qt_filter.c_str());
    chosen = for_saving ? get_save_file_name_guarded(parent, caption, start, filter, &selected_filter, options)
                        : get_open_file_name_guarded(parent, caption, start, filter, nullptr, options);
  }
  if ( chosen.isEmpty() )
    return false;

  const QFileInfo file(chosen);
  std::string result = QDir::toNativeSeparators(file.absoluteFilePath()).toUtf8().toStdString();
  if ( app != nullptr )
    app->set_default_dir(for_saving ? dir_kind_saving : dir_kind_opening, file.absolutePath().toUtf8().constData());
  if ( !selected_filter.isEmpty() && path_extension(path_file_name(result.c_str())) == nullptr )
    if ( const std::string extension = extension_of_filter(selected_filter); !extension.empty() )
      result += "." + extension;
  if ( result.size() >= PATH_MAX )
  {
    warning_printf("The path is too long (at most %d bytes): %s", PATH_MAX - 1, result.c_str());
    return false;
  }
  *answer = qstring(result);
  return true;
}

int ask_form_request(const char *form_text, va_list va)
{
  ui_widget_factory_t *factory = widget_factory();
  form_widget_t *form = form_text != nullptr && factory != nullptr ? factory->new_form_widget() : nullptr;
  if ( form == nullptr )
    return 0;
  ui_form_dialog_t dialog(form, form_text, current_app()->active_window());
  form_args_t args(va);
  if ( !compile_form(form, form_text, args) )
    return 0;
  int result;
  {
    guarded_run_t run(exec_ctl_restore_focus);
    (void)form->call_form_callback(form_code_ready);
    const std::vector<form_control_t> &controls = form->controls();
    if ( std::any_of(controls.begin(), controls.end(), [](const form_control_t &c) { return c.type == 'E'; }) )
      dialog.import_actions();
    result = dialog.exec();
  }
  const bool has_no_button = form->has_button(form_button_no);
  switch ( result )
  {
    case QDialog::Accepted:
      return 1;
    case QDialog::Rejected:
      return has_no_button ? -1 : 0;
    case -1: // the No button
      return 0;
    default:
      interr(interr_bad_form_result);
  }
}

bool ask_text_request(qstring *value, int kind, const char *format, va_list va)
{
  qstring prompt;
  vformat_to_string(&prompt, format != nullptr ? format : "", va);
  const int help_id = extract_help_marker_qstring(&prompt);
  const std::string label = field_label_of(prompt.view());
  const text_field_t field = text_field_of(kind);
  qstring form_text;
  format_to_string(&form_text, "@0:%d[]\nPlease enter a string\n\n <%s:%c:%d:%d::>\n\n", help_id, label.c_str(),
                   field.letter, field.max_length, 80);

  if ( field.buffer_size == 0 )
  {
    if ( form_dialog_printf(form_text.c_str(), value) != 1 )
      return false;
  }
  else
  {
    // The field's buffer holds the value whole or the request is refused: a cut path names another file.
    if ( value->size() >= field.buffer_size )
    {
      warning_printf("The text is too long for this field (at most %d bytes): %s", int(field.buffer_size - 1),
                     value->c_str());
      return false;
    }
    std::vector<char> buffer(field.buffer_size, '\0');
    copy_bounded(buffer.data(), value->c_str(), ptrdiff_t(buffer.size()));
    if ( form_dialog_printf(form_text.c_str(), buffer.data()) != 1 )
      return false;
    *value = buffer.data();
  }
  std::string answer(value->view());
  trim_right(answer.data());
  *value = answer.c_str();
  return true;
}

form_widget_t *open_form_widget_request(const char *form_text, int flags, va_list va)
{
  ui_widget_factory_t *factory = widget_factory();
  if ( form_text == nullptr || factory == nullptr )
    return nullptr;
  form_header_t header;
  {
    form_args_t peek(va);
    if ( !parse_form_header(form_text, peek, &header) )
      return nullptr;
  }
  if ( form_widget_t *open = find_form_widget_by_title(header.title.c_str(), false) )
  {
    (void)current_app()->raise_widget_dock(open, true);
    return open;
  }
  form_widget_t *form = factory->new_form_widget();
  if ( form == nullptr )
    return nullptr;
  form_args_t args(va);
  if ( !compile_form(form, form_text, args) )
  {
    delete form;
    return nullptr;
  }
  form->present(flags);
  return form;
}

// ---- Helpers of the form fields -------------------------------------------------------------------------

char *split_at_unescaped_colon(char *text)
{
  if ( text == nullptr )
    return nullptr;
  for ( char *c = text; *c != '\0'; ++c )
  {
    if ( *c != ':' )
      continue;
    if ( c == text || c[-1] != '\\' )
    {
      *c = '\0';
      return c + 1;
    }
    // "\:" becomes ":": the rest moves down over the backslash.
    std::memmove(c - 1, c, std::strlen(c) + 1);
    --c;
  }
  return nullptr;
}

bool ask_directory(qstring *out, const char *initial, const char *format, ...)
{
  qstring title;
  va_list va;
  va_start(va, format);
  vformat_to_string(&title, format, va);
  va_end(va);
  (void)extract_help_marker_qstring(&title);
  const QString answer = get_existing_directory_guarded(nullptr, QString::fromUtf8(title.c_str()),
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
  guarded_run_t run(0);
  return QFileDialog::getExistingDirectory(parent, caption, folder, options);
}

QString get_open_file_name_guarded(QWidget *parent, const QString &caption, const QString &folder,
                                   const QString &filter, QString *selected_filter, QFileDialog::Options options)
{
  guarded_run_t run(0);
  return QFileDialog::getOpenFileName(parent, caption, folder, filter, selected_filter, options);
}

QString get_save_file_name_guarded(QWidget *parent, const QString &caption, const QString &folder,
                                   const QString &filter, QString *selected_filter, QFileDialog::Options options)
{
  guarded_run_t run(0);
  return QFileDialog::getSaveFileName(parent, caption, folder, filter, selected_filter, options);
}

QColor get_color_guarded(const QColor &initial, QWidget *parent, const QString &title,
                         QColorDialog::ColorDialogOptions options)
{
  guarded_run_t run(0);
  return QColorDialog::getColor(initial, parent, title, options);
}

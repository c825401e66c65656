// The UI callback pointer and the front functions that package their arguments for it.
// A va_list parameter is a pointer in disguise on this ABI: it is copied into a real va_list before its
// address is handed to the callback.
#include "core/ui_callback.h"

#include "core/printf_format.h"

#include <cstdio>

ui_callback_t ui_callback = nullptr;

namespace {

// Without a user interface, messages still reach a person through standard error.
void text_to_stderr(const char *format, va_list va)
{
  va_list_copy_t copy(va);
  stderr_vprintf(format, copy.list);
  std::fputc('\n', stderr);
}

void send_message(int32_t kind, const char *format, va_list va)
{
  if ( ui_callback == nullptr )
  {
    text_to_stderr(format, va);
    return;
  }
  va_list_copy_t copy(va);
  ui_callback(ui_code_message, kind, format, &copy.list);
}

} // namespace

int64_t log_vprintf(const char *format, va_list va)
{
  va_list_copy_t copy(va);
  if ( ui_callback == nullptr )
  {
    stderr_vprintf(format, copy.list);
    return 0;
  }
  return ui_callback(ui_code_log, format, &copy.list);
}

int64_t log_printf(const char *format, ...)
{
  va_list va;
  va_start(va, format);
  const int64_t answer = log_vprintf(format, va);
  va_end(va);
  return answer;
}

void info_printf(const char *format, ...)
{
  va_list va;
  va_start(va, format);
  send_message(msg_kind_info, format, va);
  va_end(va);
}

void warning_printf(const char *format, ...)
{
  va_list va;
  va_start(va, format);
  send_message(msg_kind_warning, format, va);
  va_end(va);
}

namespace {

int ask_question(const char *first, const char *second, const char *third, int default_answer,
                 const char *format, va_list va)
{
  if ( ui_callback == nullptr )
  {
    text_to_stderr(format, va);
    return default_answer;
  }
  va_list_copy_t copy(va);
  return int(ui_callback(ui_code_question, first, second, third, int32_t(default_answer), format, &copy.list));
}

} // namespace

int question_printf(int default_answer, const char *format, ...)
{
  va_list va;
  va_start(va, format);
  const int answer = ask_question(nullptr, nullptr, nullptr, default_answer, format, va);
  va_end(va);
  return answer;
}

int question_buttons_printf(const char *first, const char *second, const char *third, int default_answer,
                            const char *format, ...)
{
  va_list va;
  va_start(va, format);
  const int answer = ask_question(first, second, third, default_answer, format, va);
  va_end(va);
  return answer;
}

const char *prompt_file_name(bool for_saving, const char *default_name, const char *format, ...)
{
  if ( ui_callback == nullptr )
    return nullptr;
  va_list va;
  va_start(va, format);
  const int64_t answer = ui_callback(ui_code_ask_file, int(for_saving), default_name, format, &va);
  va_end(va);
  return reinterpret_cast<const char *>(answer);
}

int form_dialog_printf(const char *form, ...)
{
  if ( ui_callback == nullptr )
    return 0;
  va_list va;
  va_start(va, form);
  const int64_t answer = ui_callback(ui_code_form_dialog, form, &va);
  va_end(va);
  return int(answer);
}

bool input_value_printf(qstring *value, int kind, const char *format, ...)
{
  if ( ui_callback == nullptr )
    return false;
  va_list va;
  va_start(va, format);
  const int64_t answer = ui_callback(ui_code_input_value, value, int32_t(kind), format, &va);
  va_end(va);
  return uint8_t(answer) != 0;
}

void *form_widget_printf(const char *form, int flags, ...)
{
  if ( ui_callback == nullptr )
    return nullptr;
  va_list va;
  va_start(va, flags);
  const int64_t answer = ui_callback(ui_code_form_widget, form, int32_t(flags), &va);
  va_end(va);
  return reinterpret_cast<void *>(answer);
}

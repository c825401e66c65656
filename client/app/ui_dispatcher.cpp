// The client's UI callback: messages, wait boxes, GUI-thread requests and popups through the framework.
#include "client/app/ui_dispatcher.h"

#include "core/printf_format.h"
#include "core/process_exit.h"
#include "core/ui_callback.h"
#include "forms/inputs/input_requests.h"
#include "script/runtime/zxl_context.h"
#include "script/runtime/zxl_entry_points.h"
#include "ui/logger.h"
#include "ui/message_box.h"
#include "ui/popup_menu.h"
#include "ui/request_queue.h"
#include "ui/wait_box.h"

#include <cstdarg>

namespace {

// Runs fn on a copy of the sender's argument list, which each use must have for itself.
template <typename Fn>
auto with_copy(va_list *args, Fn &&fn)
{
  va_list copy;
  va_copy(copy, *args);
  auto result = fn(copy);
  va_end(copy);
  return result;
}

// Code 24: the box or wait box of the kind, then the text on standard output; errors end the process.
void show_message(int32_t kind, const char *format, va_list *args)
{
  const bool boxed = with_copy(args, [&](va_list copy) { return dispatch_message_box_message(kind, format, copy); });
  if ( !boxed )
    (void)with_copy(args, [&](va_list copy) { return dispatch_wait_box_message(kind, format, copy); });
  (void)with_copy(args, [&](va_list copy) { return stdout_vprintf(format, copy); });
  if ( kind == msg_kind_error || kind == msg_kind_fatal )
    exit_process(1);
}

} // namespace

int64_t ui_callback_dispatcher(int32_t code, ...)
{
  // A running script asks for cancellation before every instruction: its requests, which all answer 0, come
  // first and read no arguments.
  if ( code == uicb_script_cancelled || code == uicb_script_started || code == uicb_script_context )
    return 0;
  va_list va;
  va_start(va, code);
  int64_t result = 0;
  switch ( code )
  {
    case ui_code_log:
    {
      const char *format = va_arg(va, const char *);
      va_list *args = va_arg(va, va_list *);
      result = with_copy(args, [&](va_list copy) { return logger_print_va(format, copy); });
      break;
    }
    case ui_code_message:
    {
      const int32_t kind = va_arg(va, int32_t);
      const char *format = va_arg(va, const char *);
      va_list *args = va_arg(va, va_list *);
      show_message(kind, format, args);
      break;
    }
    case ui_code_question:
    {
      const char *yes = va_arg(va, const char *);
      const char *no = va_arg(va, const char *);
      const char *cancel = va_arg(va, const char *);
      const int32_t default_answer = va_arg(va, int32_t);
      const char *format = va_arg(va, const char *);
      va_list *args = va_arg(va, va_list *);
      result = with_copy(args, [&](va_list copy) {
        return ask_yes_no_request(yes, no, cancel, default_answer, format, copy);
      });
      break;
    }
    case ui_code_ask_file:
    {
      // Each thread keeps its own answer: another thread's request must not overwrite a path being read.
      thread_local qstring chosen;
      const int for_saving = va_arg(va, int);
      const char *default_name = va_arg(va, const char *);
      const char *format = va_arg(va, const char *);
      va_list *args = va_arg(va, va_list *);
      const bool chose = with_copy(args, [&](va_list copy) {
        return ask_file_request(&chosen, for_saving != 0, default_name, format, copy);
      });
      if ( chose )
        result = int64_t(reinterpret_cast<intptr_t>(chosen.c_str()));
      break;
    }
    case ui_code_form_dialog:
    {
      const char *form = va_arg(va, const char *);
      va_list *args = va_arg(va, va_list *);
      result = with_copy(args, [&](va_list copy) { return ask_form_request(form, copy); });
      break;
    }
    case ui_code_input_value:
    {
      auto *value = va_arg(va, qstring *);
      const int32_t kind = va_arg(va, int32_t);
      const char *format = va_arg(va, const char *);
      va_list *args = va_arg(va, va_list *);
      result = with_copy(args, [&](va_list copy) { return ask_text_request(value, kind, format, copy); }) ? 1
                                                                                                          : 0;
      break;
    }
    case ui_code_form_widget:
    {
      const char *form = va_arg(va, const char *);
      const int32_t flags = va_arg(va, int32_t);
      va_list *args = va_arg(va, va_list *);
      result = int64_t(reinterpret_cast<intptr_t>(
        with_copy(args, [&](va_list copy) { return open_form_widget_request(form, flags, copy); })));
      break;
    }
    case ui_code_exec_request:
    {
      auto *request = va_arg(va, exec_request_t *);
      const int32_t flags = va_arg(va, int32_t);
      result = execute_request(request, flags);
      break;
    }
    case ui_code_cfg_directive:
      // The client knows no directives beyond its keyword table.
      result = 1;
      break;
    case UI_CODE_POPULATE_POPUP:
    {
      auto *widget = va_arg(va, QWidget *);
      auto *popup = va_arg(va, popup_menu_ctx_t *);
      auto *context = va_arg(va, ui_action_activation_ctx_t *);
      (void)populate_widget_popup(popup, widget, context);
      break;
    }
    default:
      break;
  }
  va_end(va);
  return result;
}

void install_ui_callback_dispatcher()
{
  ui_callback = &ui_callback_dispatcher;
}

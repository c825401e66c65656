// The client's UI callback: messages, wait boxes, GUI-thread requests and popups through the framework.
#include "client/app/ui_dispatcher.h"

#include "core/printf_format.h"
#include "core/process_exit.h"
#include "core/ui_callback.h"
#include "ui/logger.h"
#include "ui/message_box.h"
#include "ui/popup_menu.h"
#include "ui/request_queue.h"
#include "ui/wait_box.h"

#include <cstdarg>

namespace {

// Code 24: the box or wait box of the kind, then the text on standard output; errors end the process.
void show_message(int32_t kind, const char *format, va_list *args)
{
  va_list box;
  va_copy(box, *args);
  if ( !dispatch_message_box_message(kind, format, box) )
  {
    va_list wait;
    va_copy(wait, *args);
    (void)dispatch_wait_box_message(kind, format, wait);
    va_end(wait);
  }
  va_end(box);
  va_list out;
  va_copy(out, *args);
  (void)stdout_vprintf(format, out);
  va_end(out);
  if ( kind == msg_kind_error || kind == msg_kind_fatal )
    exit_process(1);
}

} // namespace

int64_t ui_callback_dispatcher(int32_t code, ...)
{
  va_list va;
  va_start(va, code);
  int64_t result = 0;
  switch ( code )
  {
    case ui_code_log:
    {
      const char *format = va_arg(va, const char *);
      va_list *args = va_arg(va, va_list *);
      va_list copy;
      va_copy(copy, *args);
      result = logger_print_va(format, copy);
      va_end(copy);
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

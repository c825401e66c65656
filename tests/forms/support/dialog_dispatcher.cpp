// The client dispatcher's answers to the core's input requests, for tests.
#include "tests/forms/support/dialog_dispatcher.h"

#include "core/printf_format.h"
#include "forms/inputs/input_requests.h"

#include <cstdarg>

namespace {

constexpr int32_t answered_codes[] = {ui_code_question, ui_code_ask_file, ui_code_form_dialog, ui_code_input_value,
                                      ui_code_form_widget};

} // namespace

dialog_dispatcher_t::dialog_dispatcher_t(recording_ui_callback_t &ui) : ui_(ui)
{
  ui_.handle_code(ui_code_question, [](va_list args) -> int64_t {
    const char *yes = va_arg(args, const char *);
    const char *no = va_arg(args, const char *);
    const char *cancel = va_arg(args, const char *);
    const int32_t default_answer = va_arg(args, int32_t);
    const char *format = va_arg(args, const char *);
    va_list_copy_t list(*va_arg(args, va_list *));
    return ask_yes_no_request(yes, no, cancel, default_answer, format, list.list);
  });
  ui_.handle_code(ui_code_ask_file, [this](va_list args) -> int64_t {
    const bool for_saving = va_arg(args, int) != 0;
    const char *default_name = va_arg(args, const char *);
    const char *format = va_arg(args, const char *);
    va_list_copy_t list(*va_arg(args, va_list *));
    if ( !ask_file_request(&chosen_file_, for_saving, default_name, format, list.list) )
      return 0;
    return reinterpret_cast<int64_t>(chosen_file_.c_str());
  });
  ui_.handle_code(ui_code_form_dialog, [](va_list args) -> int64_t {
    const char *form = va_arg(args, const char *);
    va_list_copy_t list(*va_arg(args, va_list *));
    return ask_form_request(form, list.list);
  });
  ui_.handle_code(ui_code_input_value, [](va_list args) -> int64_t {
    qstring *value = va_arg(args, qstring *);
    const int32_t kind = va_arg(args, int32_t);
    const char *format = va_arg(args, const char *);
    va_list_copy_t list(*va_arg(args, va_list *));
    return ask_text_request(value, kind, format, list.list) ? 1 : 0;
  });
  ui_.handle_code(ui_code_form_widget, [](va_list args) -> int64_t {
    const char *form = va_arg(args, const char *);
    const int32_t flags = va_arg(args, int32_t);
    va_list_copy_t list(*va_arg(args, va_list *));
    return reinterpret_cast<int64_t>(open_form_widget_request(form, flags, list.list));
  });
}

dialog_dispatcher_t::~dialog_dispatcher_t()
{
  for ( const int32_t code : answered_codes )
    ui_.handle_code(code, {});
}

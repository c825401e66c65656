// The application dispatcher's answer to popup requests, played by a test's recording UI callback.
#pragma once

#include "tests/support/recording_ui_callback.h"
#include "ui/popup_menu.h"

#include <cstdarg>

// Answers UI callback code 138 (widget, popup context, activation context) the way the client's dispatcher
// does: the widget and its form dialog fill the popup (populate_widget_popup). Code 139 keeps the default
// answer.
inline void answer_popup_requests(recording_ui_callback_t &ui)
{
  ui.handle_code(UI_CODE_POPULATE_POPUP, [](va_list args) -> int64_t {
    QWidget *widget = va_arg(args, QWidget *);
    auto *popup = va_arg(args, popup_menu_ctx_t *);
    auto *context = va_arg(args, ui_action_activation_ctx_t *);
    return populate_widget_popup(popup, widget, context) ? 1 : 0;
  });
}

// The client dispatcher's answers to the core's input requests, played through a recording UI callback: the
// core's own front functions then open the real dialogs.
#pragma once

#include "core/qstring.h"
#include "tests/support/recording_ui_callback.h"

// Answers codes 28, 29, 30, 32 and 116 with the request functions of the forms library (question box, file
// dialog, form dialog, text form, docked form), as the client's dispatcher does; the callback still records
// each request and answers every other code itself. The forms library's services must be installed
// (install_form_services). Only one at a time per callback.
class dialog_dispatcher_t
{
public:
  explicit dialog_dispatcher_t(recording_ui_callback_t &ui);
  // The callback's own answers come back.
  ~dialog_dispatcher_t();
  dialog_dispatcher_t(const dialog_dispatcher_t &) = delete;
  dialog_dispatcher_t &operator=(const dialog_dispatcher_t &) = delete;

private:
  recording_ui_callback_t &ui_;
  qstring chosen_file_; // the answer of the latest file request, valid until the next
};

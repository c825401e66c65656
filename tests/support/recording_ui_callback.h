// A UI callback for tests: records every request and answers with scripted answers.
#pragma once

#include "core/ui_callback.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// One request as the callback saw it.
struct ui_request_record_t
{
  int32_t code = 0;
  int32_t kind = 0;           // 24: message kind; 32: input kind; 86 and 116: flags
  std::string text;           // the formatted message or prompt; 30/116: the form description; 117: the directive
  std::string labels[3];      // 28: the button labels ("" for null)
  int32_t default_answer = 0; // 28
  bool for_saving = false;    // 29
  std::string default_name;   // 29
  std::string value;          // 32: the initial value it was asked with
};

// Installs itself as ui_callback for its lifetime (the previous callback comes back afterwards) and
// records every request, from any thread. Answers: the next scripted answer for that code, else the
// default answer: 23 -> 0; 24 -> 0, but kinds 0 and 3 write the text to standard error and end the
// process with exit code 1 (through exit_process), never returning into the test; 28 -> the request's
// default answer; 29 -> null; 30 -> 0; 32 -> 0 (cancelled); 86 -> runs the request on the calling
// thread and answers its result (with flag 4 the request is deleted afterwards and a ticket
// answered); 116 -> null; 117 -> 1; any other code -> 0. A handler set for a code other than 23, 24, 86
// and 117 (handle_code) answers in place of the default answer, the request still recorded. Only one may be
// installed at a time.
class recording_ui_callback_t
{
public:
  recording_ui_callback_t();
  ~recording_ui_callback_t();
  recording_ui_callback_t(const recording_ui_callback_t &) = delete;
  recording_ui_callback_t &operator=(const recording_ui_callback_t &) = delete;

  // Scripts the next answer to a request of `code` (answers of one code are used in order).
  void script(int32_t code, int64_t answer);
  // Scripts request 29: the chosen path (the pointer answered stays valid until the callback ends).
  void script_file(const std::string &path);
  // Scripts request 32: confirmed, storing text into the caller's string.
  void script_value(const std::string &text);
  // Plays the user of one request 30: `play` gets the form description and the form's arguments (a copy of
  // the sender's list, positioned after the description), may call the form's callback and write the fields,
  // and answers the form's result.
  using form_player_t = std::function<int64_t(const char *form, va_list args)>;
  void script_form(form_player_t play);

  // Answers every later request of the code that has no scripted answer with the handler (an empty one
  // removes it), which reads the request's arguments after the code from the list; the request is
  // recorded first. Plays the application's dispatcher.
  using code_handler_t = std::function<int64_t(va_list args)>;
  void handle_code(int32_t code, code_handler_t handler);

  // Every request so far, in order.
  std::vector<ui_request_record_t> requests() const;
  // The requests of one code.
  std::vector<ui_request_record_t> requests_of(int32_t code) const;
  void clear();

private:
  struct scripted_t
  {
    int64_t answer;
    std::string text;
    form_player_t play; // request 30 only
  };
  static int64_t dispatch(int32_t code, ...);
  int64_t answer(int32_t code, va_list args);
  bool next_scripted(int32_t code, scripted_t *out);

  mutable std::mutex mutex_;
  std::vector<ui_request_record_t> requests_;
  std::map<int32_t, std::deque<scripted_t>> scripted_;
  std::map<int32_t, code_handler_t> handlers_;
  std::deque<std::string> chosen_paths_; // keeps the answers of request 29 alive
  int64_t next_ticket_ = 1;
  ui_callback_t previous_;
};

// Sends request 24 the way the core does, with the va_list travelling by pointer.
void send_ui_message(int32_t kind, const char *format, ...);

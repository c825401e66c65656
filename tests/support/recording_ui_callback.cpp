// The recording UI callback: formats and stores each request, answers from its script.
#include "tests/support/recording_ui_callback.h"

#include "core/printf_format.h"
#include "core/process_exit.h"
#include "core/qstring.h"

#include <cstdio>
#include <cstdlib>

namespace {

recording_ui_callback_t *installed = nullptr;

// Formats a message whose va_list travels by pointer; the list is copied, never consumed.
std::string format_message(const char *format, va_list *args)
{
  if ( format == nullptr )
    return {};
  qstring text;
  va_list_copy_t copy(*args);
  vformat_to_string(&text, format, copy.list);
  return std::string(text.view());
}

std::string text_or_empty(const char *text)
{
  return text != nullptr ? text : "";
}

} // namespace

recording_ui_callback_t::recording_ui_callback_t() : previous_(ui_callback)
{
  if ( installed != nullptr )
    std::abort(); // two recorders at once would steal each other's requests
  installed = this;
  ui_callback = &recording_ui_callback_t::dispatch;
}

recording_ui_callback_t::~recording_ui_callback_t()
{
  ui_callback = previous_;
  installed = nullptr;
}

void recording_ui_callback_t::script(int32_t code, int64_t answer)
{
  std::lock_guard guard(mutex_);
  scripted_[code].push_back({answer, {}, {}});
}

void recording_ui_callback_t::script_file(const std::string &path)
{
  std::lock_guard guard(mutex_);
  scripted_[ui_code_ask_file].push_back({1, path, {}});
}

void recording_ui_callback_t::script_value(const std::string &text)
{
  std::lock_guard guard(mutex_);
  scripted_[ui_code_input_value].push_back({1, text, {}});
}

void recording_ui_callback_t::script_form(form_player_t play)
{
  std::lock_guard guard(mutex_);
  scripted_[ui_code_form_dialog].push_back({0, {}, std::move(play)});
}

std::vector<ui_request_record_t> recording_ui_callback_t::requests() const
{
  std::lock_guard guard(mutex_);
  return requests_;
}

void recording_ui_callback_t::handle_code(int32_t code, code_handler_t handler)
{
  std::lock_guard guard(mutex_);
  handlers_[code] = std::move(handler);
}

std::vector<ui_request_record_t> recording_ui_callback_t::requests_of(int32_t code) const
{
  std::lock_guard guard(mutex_);
  std::vector<ui_request_record_t> found;
  for ( const ui_request_record_t &r : requests_ )
    if ( r.code == code )
      found.push_back(r);
  return found;
}

void recording_ui_callback_t::clear()
{
  std::lock_guard guard(mutex_);
  requests_.clear();
  scripted_.clear();
}

bool recording_ui_callback_t::next_scripted(int32_t code, scripted_t *out)
{
  std::lock_guard guard(mutex_);
  auto it = scripted_.find(code);
  if ( it == scripted_.end() || it->second.empty() )
    return false;
  *out = std::move(it->second.front());
  it->second.pop_front();
  return true;
}

int64_t recording_ui_callback_t::dispatch(int32_t code, ...)
{
  va_list args;
  va_start(args, code);
  const int64_t result = installed->answer(code, args);
  va_end(args);
  return result;
}

int64_t recording_ui_callback_t::answer(int32_t code, va_list args)
{
  ui_request_record_t record;
  record.code = code;
  scripted_t scripted;
  const bool has_script = next_scripted(code, &scripted);
  code_handler_t handler;
  if ( !has_script )
  {
    std::lock_guard guard(mutex_);
    if ( const auto found = handlers_.find(code); found != handlers_.end() )
      handler = found->second;
  }
  // The handler reads the request's arguments itself, from where they start.
  va_list_copy_t untouched(args);
  auto remember = [this, &record] {
    std::lock_guard guard(mutex_);
    requests_.push_back(record);
  };
  switch ( code )
  {
    case ui_code_log:
    {
      const char *format = va_arg(args, const char *);
      record.text = format_message(format, va_arg(args, va_list *));
      remember();
      return has_script ? scripted.answer : 0;
    }
    case ui_code_message:
    {
      record.kind = va_arg(args, int32_t);
      const char *format = va_arg(args, const char *);
      record.text = format_message(format, va_arg(args, va_list *));
      remember();
      if ( record.kind == msg_kind_error || record.kind == msg_kind_fatal )
      {
        // Like the application: the box, then the end of the process.
        std::fprintf(stderr, "%s\n", record.text.c_str());
        std::fflush(stderr);
        exit_process(1);
      }
      return has_script ? scripted.answer : 0;
    }
    case ui_code_question:
    {
      for ( std::string &label : record.labels )
        label = text_or_empty(va_arg(args, const char *));
      record.default_answer = va_arg(args, int32_t);
      const char *format = va_arg(args, const char *);
      record.text = format_message(format, va_arg(args, va_list *));
      remember();
      if ( handler )
        return handler(untouched.list);
      return has_script ? scripted.answer : record.default_answer;
    }
    case ui_code_ask_file:
    {
      record.for_saving = va_arg(args, int) != 0;
      record.default_name = text_or_empty(va_arg(args, const char *));
      const char *format = va_arg(args, const char *);
      record.text = format_message(format, va_arg(args, va_list *));
      remember();
      if ( handler )
        return handler(untouched.list);
      if ( !has_script || scripted.answer == 0 )
        return 0;
      std::lock_guard guard(mutex_);
      chosen_paths_.push_back(scripted.text);
      return reinterpret_cast<int64_t>(chosen_paths_.back().c_str());
    }
    case ui_code_form_dialog:
    {
      const char *form = va_arg(args, const char *);
      va_list *fields = va_arg(args, va_list *);
      record.text = text_or_empty(form);
      remember();
      if ( handler )
        return handler(untouched.list);
      if ( !has_script )
        return 0;
      if ( !scripted.play )
        return scripted.answer;
      va_list_copy_t copy(*fields);
      return scripted.play(form, copy.list);
    }
    case ui_code_input_value:
    {
      qstring *value = va_arg(args, qstring *);
      record.kind = va_arg(args, int32_t);
      const char *format = va_arg(args, const char *);
      record.text = format_message(format, va_arg(args, va_list *));
      record.value = std::string(value->view());
      remember();
      if ( handler )
        return handler(untouched.list);
      if ( !has_script || scripted.answer == 0 )
        return 0;
      *value = qstring(scripted.text);
      return 1;
    }
    case ui_code_exec_request:
    {
      exec_request_t *request = va_arg(args, exec_request_t *);
      record.kind = va_arg(args, int32_t);
      remember();
      const int32_t result = request->run();
      if ( (record.kind & exec_flag_no_wait) != 0 )
      {
        delete request;
        std::lock_guard guard(mutex_);
        return next_ticket_++;
      }
      request->stamp = uint64_t(int64_t(result));
      return result;
    }
    case ui_code_form_widget:
      record.text = text_or_empty(va_arg(args, const char *));
      record.kind = va_arg(args, int32_t);
      remember();
      if ( handler )
        return handler(untouched.list);
      return has_script ? scripted.answer : 0;
    case ui_code_cfg_directive:
      record.text = text_or_empty(va_arg(args, const char *));
      remember();
      return has_script ? scripted.answer : 1;
    default:
      remember();
      if ( has_script )
        return scripted.answer;
      return handler ? handler(untouched.list) : 0;
  }
}

void send_ui_message(int32_t kind, const char *format, ...)
{
  va_list va;
  va_start(va, format);
  ui_callback(ui_code_message, kind, format, &va);
  va_end(va);
}

// Shared helpers of the form tests: typed argument lists and a parse that records its warnings.
#pragma once

#include "core/form_actions.h"
#include "core/qstring.h"
#include "core/qvector.h"
#include "forms/form_args.h"
#include "forms/form_parser.h"
#include "tests/support/recording_ui_callback.h"

#include <cstdint>
#include <string>
#include <vector>

inline form_arg_t arg_string(qstring *s)
{
  return {form_arg_kind::string, s};
}
inline form_arg_t arg_number(int64_t *v)
{
  return {form_arg_kind::number, v};
}
inline form_arg_t arg_mask(uint16_t *v)
{
  return {form_arg_kind::mask16, v};
}
inline form_arg_t arg_int(int32_t *v)
{
  return {form_arg_kind::int32, v};
}
inline form_arg_t arg_buffer(char *buffer, size_t size)
{
  return {form_arg_kind::buffer, buffer, size};
}
inline form_arg_t arg_callback(form_callback_t callback)
{
  return {form_arg_kind::callback, reinterpret_cast<void *>(callback)};
}
inline form_arg_t arg_handler(form_button_handler_t handler)
{
  return {form_arg_kind::button_handler, reinterpret_cast<void *>(handler)};
}
inline form_arg_t arg_data(void *data)
{
  return {form_arg_kind::caller_data, data};
}
inline form_arg_t arg_list(qvector<qstring> *list)
{
  return {form_arg_kind::string_list, list};
}

// The warnings (request 24, kind 2) recorded so far.
inline std::vector<std::string> recorded_warnings(const recording_ui_callback_t &ui)
{
  std::vector<std::string> out;
  for ( const auto &r : ui.requests_of(ui_code_message) )
    if ( r.kind == msg_kind_warning )
      out.push_back(r.text);
  return out;
}

// A form text read by the header and body readers.
struct parsed_form_t
{
  bool ok = false;
  form_header_t header;
  form_layout_t form;
  std::vector<std::string> warnings;

  // The items of a line, by index.
  const form_item_t &item(size_t line, size_t index) const { return form.lines.at(line).at(index); }
};

inline parsed_form_t parse_form_text(const std::string &text, std::vector<form_arg_t> args)
{
  recording_ui_callback_t ui;
  form_args_t cursor(std::move(args));
  parsed_form_t out;
  out.ok = parse_form_header(text, cursor, &out.header)
        && layout_form_lines(&out.form, out.header.body, cursor, out.header.start_number);
  out.warnings = recorded_warnings(ui);
  return out;
}

// The value record of a form's multi-line text field ('t'): what the caller binds and what the field reads back.
#pragma once

#include "core/qstring.h"

#include <cstdint>

// Bits of text_control_value_t::flags.
constexpr uint16_t text_flag_auto_indent = 0x01; // new lines take the indentation of the previous one
constexpr uint16_t text_flag_tab_width = 0x02;   // tab_size is the indent width (else Tab moves the focus)
constexpr uint16_t text_flag_read_only = 0x04;
constexpr uint16_t text_flag_select_all = 0x08;  // the text is selected when it is written
constexpr uint16_t text_flag_modified = 0x10;    // the text changed since it was last read
constexpr uint16_t text_flag_html = 0x80;        // with read only: the text is HTML

// One text field's value. Promise: record_size stays 40, the size the form language knows.
struct text_control_value_t
{
  uint64_t record_size = 40;
  qstring text;
  uint16_t flags = 0;
  uint16_t tab_size = 0;
};

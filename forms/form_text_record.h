// The variable of a form's text field ('t'): the text a text area edits and how it edits it.
#pragma once

#include "core/qstring.h"

#include <cstdint>

// Bits of text_control_value_t::flags.
inline constexpr uint16_t text_field_auto_indent = 0x1;
inline constexpr uint16_t text_field_read_only = 0x4;
inline constexpr uint16_t text_field_modified = 0x10; // set by a read when the text changed since the last one

// Promises: the form writes `text` into its text area when the form is built (an empty text leaves the area
// empty) and reads it back, with the modified bit, whenever the form's values are read.
struct text_control_value_t
{
  uint32_t record_size = sizeof(text_control_value_t);
  uint16_t flags = 0;
  uint16_t tab_width = 0;
  qstring text;
};

// The box around a form's text field: a labelled group box holding a text area set up from the field's record.
#pragma once

#include "forms/inputs/field_widgets.h"

class text_area_t;
struct text_control_value_t;

// A text field's container. Promise: content() is its text area for the container's whole life.
class text_area_container_t : public labeled_group_box_t
{
  Q_OBJECT

public:
  // The label (in "~x~" markup, may be empty) above a new text area set up from the record (null: empty).
  text_area_container_t(const QString &label, const text_control_value_t *record);
  [[nodiscard]] text_area_t *text_area() const;

  // Writes the record into the area: the options of its flags, then its text when that is not empty.
  void write(const text_control_value_t &record);
  // Reads the area's plain text into the record and clears the area's modified mark; the flags get the
  // modified bit when the text changed since the last read.
  void read(text_control_value_t *record);
};

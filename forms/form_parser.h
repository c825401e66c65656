// The form description language: the header, body lines as items, groups, field numbering and grid columns.
#pragma once

#include "core/form_actions.h"
#include "forms/form_args.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

// Layout modes of an item (set by the builder).
enum form_layout_mode : int
{
  layout_grid_cell = 0,
  layout_button_run = 1,
  layout_label_run = 2,
  layout_splitter_member = 3,
};

// One element of a body line. Promise: column and width are in character cells and never negative.
struct form_item_t
{
  int column = 0;          // virtual column where the element starts
  int source_offset = 0;   // byte offset in its line, less 2 per "%/" and "%*" before it
  int width = 0;           // in character cells
  unsigned max_length = 0; // the width subfield of a text or number field; 260 for 'F' and 'f'
  char type = 0;           // 0 label, ' ' or 'h' dynamic label, '*' caller data, '-' splitter, '|' separator,
                           // '=' tab marker, or a field letter ('C' and 'R' for every check box and radio)
  int line = 0;
  int grid_column = 0;
  int column_span = 0;
  int id = 0;
  int flags = 0;           // relative flag, button code, editable flag, save flag, or 1 for a sized 'E'
  void *arg = nullptr;
  void *arg2 = nullptr;    // a 'b' value, an 'E' selection
  char value_type = 0;     // a dynamic label's value letter
  QString text;            // the label (hint included), a dynamic label's value text, or a tab title
  bool start = false;      // carries the start number
  int layout_mode = layout_grid_cell;
  int number = 0;          // field number (a radio group's number for its members)
  int group = -1;          // index of the group of a check box or radio button
  bool lowercase = false;  // 'c' or 'r' was written
};

// A group of check boxes or radio buttons.
struct form_group_t
{
  std::vector<std::pair<int, int>> members; // (line, index in the line)
  int column = 0;
  int width = 0;
  int first_line = 0;
  int line_count = 0;
  bool horizontal = false;
  bool closed = false;
  int id = 0;
  uint16_t *value = nullptr;
  uint16_t initial = 0;
  int grid_column = 0;
  int column_span = 0;
  char type = 0; // of the first member: 'C' or 'R'
  int number = 0;
  int source_offset = 0;
};

// What the header gives.
struct form_header_t
{
  int start_number = 0;
  int default_button = 0; // 0 YES, 1 NO, 2 CANCEL
  std::optional<std::string> buttons[4] = {std::string("O~K~"), std::nullopt, std::string("Cancel"), std::nullopt};
  int help_id = 0;
  bool autosync = false;
  std::optional<std::string> help_text;
  std::string title;
  std::string body; // the text after the title line
};

// Indexes of the header's buttons.
enum form_button_index : int
{
  form_button_yes = 0,
  form_button_no = 1,
  form_button_cancel = 2,
  form_button_help = 3,
};

// The parsed body of a form.
struct form_layout_t
{
  std::vector<std::vector<form_item_t>> lines;
  std::vector<form_group_t> groups;
  std::set<int> boundaries;
  std::vector<int> sorted_boundaries;
  form_callback_t callback = nullptr;
  void *caller_data = nullptr;
  int open_slots[4] = {-1, -1, -1, -1}; // R C r c
  int field_counter = 0;
};

// Pixel width of a text in the application's proportional font; used to fit label widths. Null: not fitted.
using form_text_measure_t = std::function<double(const QString &text)>;
// The chooser natural width of an 'E' field whose screen width is 0 (the argument is the chooser).
using form_chooser_width_t = std::function<int(void *chooser)>;

// Reads the header of text into header. False after the warning "form: error at %s" with the text where
// reading stopped.
[[nodiscard]] bool parse_form_header(const std::string &text, form_args_t &args, form_header_t *header);
// Reads the body into the form: lines, groups and column boundaries, label widths fitted with measure. False
// after the warning "form: error at %s" when a line does not read, an argument is refused, or a number or
// column is too large.
[[nodiscard]] bool layout_form_lines(form_layout_t *form, const std::string &body, form_args_t &args, int start,
                                     const form_text_measure_t &measure = {},
                                     const form_chooser_width_t &chooser_width = {});
// Appends the items of one line; false on a syntax error or a refused argument (no warning: the caller reports).
[[nodiscard]] bool parse_form_line(form_layout_t *form, const std::string &line, int line_index, form_args_t &args,
                                   int start, const form_chooser_width_t &chooser_width = {});

// The part of a label after its last '#' (the whole label without one), leading blanks skipped when asked.
[[nodiscard]] std::string label_text_after_hint(const std::string &label, bool skip_blanks);
// The hint of a label ("#hint#rest"): the text between the first two '#', empty without one.
[[nodiscard]] std::string label_hint(const std::string &label);
// The visible width of a label: the bytes after its last '#', '~' excepted.
[[nodiscard]] int visible_label_width(const std::string &label);
// The largest column a form may use; beyond it a form is refused.
constexpr int form_max_columns = 1 << 16;

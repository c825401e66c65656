// The form layout builder: turns the parsed lines of a form into its widgets and control records.
#pragma once

#include "forms/form_parser.h"
#include "forms/form_widget.h"

#include <string>
#include <vector>

class QAbstractButton;
class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLayout;
class QSplitter;
class buddy_label_t;

// Builds one form once. Promise: every widget made ends up owned by the form (placed, or kept hidden).
class form_builder_t
{
public:
  form_builder_t(form_widget_t *form, form_layout_t &layout, const form_header_t &header);
  // False, with the warning "Cannot support both vertical splitter & tabs in the same form", for a form
  // that has both; nothing is built then.
  [[nodiscard]] bool build();

private:
  struct placement_t
  {
    QWidget *widget = nullptr;
    QLayout *layout = nullptr;
    Qt::Alignment alignment;
    bool in_grid = true;
  };

  void place_line(size_t line);
  void mark_item_runs(size_t line);
  [[nodiscard]] bool unshared(size_t line, size_t index) const;
  void flush_pending(int row);
  void apply_stretch();
  placement_t make_widget(form_item_t &item, bool button_row);
  int add_control(form_control_t control);
  // The record of an item's control; field_control also makes the last label its buddy.
  static form_control_t basic_control(const form_item_t &item, QObject *widget);
  form_control_t field_control(const form_item_t &item, QWidget *widget);
  QComboBox *new_input_combo(const form_item_t &item);
  QWidget *build_group_box(int group);
  [[nodiscard]] int member_index(const form_item_t &item) const;

  form_widget_t *form_;
  form_layout_t &layout_;
  const form_header_t &header_;
  int font_height_;
  int x_width_;
  bool has_standard_buttons_ = false;
  QGridLayout *grid_ = nullptr;
  std::vector<int> zero_stretch_;
  buddy_label_t *last_label_ = nullptr;
  std::string last_label_text_;
  QSplitter *splitter_ = nullptr; // the line's pending splitter of separated members
  int splitter_column_ = 0;
  int splitter_end_ = 0;
  QHBoxLayout *run_ = nullptr; // the line's pending run of buttons or labels
  int run_column_ = 0;
  int run_end_ = 0;
};

// The key that triggers a button without Alt: its shortcut's first key, else the letter after its '&'; 0 when
// none.
[[nodiscard]] int button_hotkey(QAbstractButton *button);
// The mnemonic letter of a label, 0 when none.
[[nodiscard]] int label_hotkey(QLabel *label);
// The upper-case letter A to Z after the first single '&' of a text; 0 when none.
[[nodiscard]] int label_letter(const QString &text);

// Type-ahead and substring search over the rows of a list or tree widget, shared by every filtered view.
#pragma once

#include "core/qstring.h"
#include "ui/widget_factory.h"

#include <cstddef>
#include <cstdint>

class QAbstractItemView;
class QKeyEvent;

// The control that lives around one row search; it has no behaviour besides its destructor.
class ui_search_op_ctl_t : public ui_owned_object_t
{
};

// Search flags of searchable_widget_mixin_t::find_match.
inline constexpr int32_t search_repeat = 1;    // continue after the current match
inline constexpr int32_t search_new_char = 2;  // the text ends with a newly typed character
inline constexpr int32_t search_backwards = 4;

// The search state of a list or tree widget and the turning of key presses into searches. Matching rows,
// choosing the current row and showing the typed text are the deriving widget's. Promises: `typed` always
// holds whole UTF-8 characters up to typed_len, NUL-terminated within its 1024 bytes; a typed character
// is kept only when some row matches the text with it.
class searchable_widget_mixin_t
{
public:
  searchable_widget_mixin_t() = default;
  virtual ~searchable_widget_mixin_t() = default;
  searchable_widget_mixin_t(const searchable_widget_mixin_t &) = delete;
  searchable_widget_mixin_t &operator=(const searchable_widget_mixin_t &) = delete;

  // From the current row, the next row whose text contains `text` becomes current; false when none does.
  virtual bool find_next_match(QAbstractItemView *view, const char *text) = 0;
  // Type-ahead search for `text` (UTF-8) with the search flags above; true when a row matches.
  virtual bool find_match(QAbstractItemView *view, const char *text, int32_t flags) = 0;
  // The widget's key handling calls it first; true when the key was used (the event is then accepted).
  // Ctrl+Return repeats the type-ahead search (Ctrl+Shift+Return backwards); digits typed before any
  // text jump to a 1-based row number; Backspace removes the last whole character; a printable character
  // is appended and searched; any other key without modifiers clears the typed text and is passed on.
  virtual bool handle_search_key(QAbstractItemView *view, QKeyEvent *event);
  // Shows the typed text (UTF-8).
  virtual void show_status_text(const char *text) = 0;
  // Makes the row with that 0-based number current.
  virtual void jump_to_row(int row) = 0;

  // Asks for a substring (the form's one string field holds last_search, in and out) and searches it;
  // a cancelled or empty prompt searches nothing. A search that finds nothing is logged.
  void prompt_search(QAbstractItemView *view);
  // Searches last_search again without a prompt; nothing when it is empty.
  void repeat_search(QAbstractItemView *view);
  // One type-ahead step: the typed text (with the pending character under search_new_char) goes to
  // find_match; on a match under search_new_char the pending character is kept.
  void type_ahead_search(QAbstractItemView *view, int32_t flags);

  // The list search's flags for these search flags: 11 with search_repeat, else 9; plus 4 backwards.
  [[nodiscard]] static int jump_match_flags(int flags);

  // The largest number of typed bytes kept (the buffer's last byte is its terminating NUL).
  static constexpr size_t typed_room = 1023;

  qstring last_search;    // the text of the last substring search
  int busy = 0;           // positive while a search call runs
  bool enabled = true;    // type-ahead search is active
  char typed[typed_room + 1] = {}; // the typed text (UTF-8), NUL-terminated; a pending character may follow typed_len
  int typed_len = 0;      // the number of accepted typed bytes
  int row_number = 0;     // the row number being typed

private:
  // Runs one search call between busy marks, with a search control alive around it.
  template <typename F>
  bool run_search(F &&search);
  void search_substring(QAbstractItemView *view);
};

// The Output window: a read-only, word-wrapping, selectable view of the log with its caret, find and save.
#pragma once

#include "core/qstring.h"
#include "ui/msg_outstream.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QSize>
#include <QTextLayout>

#include <cstdint>
#include <memory>
#include <vector>

class QAction;
class log_widget_t;

// The framework event that follows the newest line after a relayout.
constexpr int LOG_WIDGET_UPDATE_LAYOUT_EVENT = 2008;
class LogWidgetUpdateLayout : public QEvent
{
public:
  explicit LogWidgetUpdateLayout(bool follow_newest)
    : QEvent(QEvent::Type(LOG_WIDGET_UPDATE_LAYOUT_EVENT)), follow(follow_newest)
  {
  }
  bool follow;
};

// A text position: entry index in the high 32 bits, offset in the entry's visible text (UTF-16 units, the units
// of its text layout) in the low 32 bits; either half all ones means no position.
using log_pos_t = uint64_t;
constexpr log_pos_t LOG_POS_NONE = ~log_pos_t(0);
[[nodiscard]] constexpr log_pos_t make_log_pos(uint64_t entry, uint64_t offset)
{
  return (entry << 32) | (offset & 0xFFFFFFFF);
}
[[nodiscard]] constexpr uint32_t log_pos_entry(log_pos_t pos)
{
  return uint32_t(pos >> 32);
}
[[nodiscard]] constexpr uint32_t log_pos_offset(log_pos_t pos)
{
  return uint32_t(pos);
}
[[nodiscard]] constexpr bool is_log_pos(log_pos_t pos)
{
  return log_pos_entry(pos) != 0xFFFFFFFF && log_pos_offset(pos) != 0xFFFFFFFF;
}

// One stored line: its text as written (beginning with its message's timestamp prefix) and, once laid out, its
// layout and size.
struct msg_entry_t
{
  qstring text;
  std::unique_ptr<QTextLayout> layout; // null until laid out
  QSize size;                          // invalid while layout is null
};

// The Output window's line store, the window's form of the logger's stream: every line is an entry that keeps
// its prefix (a line break is implied by the next entry), and the window relayouts after each message.
class msg_entries_t final : public msg_outstream_t
{
public:
  explicit msg_entries_t(log_widget_t *owner) : owner_(owner) {}

  // Drops every entry and relayouts.
  void reset() override;
  // Drops the last entry's layout: the text after the carriage return rewrites its line.
  void carriage_return() override;
  // Appends an entry holding a copy of the prefix, with room for the line's text (the kind is not looked at).
  void start_line(const qstring &prefix, unsigned kind) override;
  // Cuts the last entry to exactly `column` bytes (pads it with blanks when shorter) and appends the text.
  void write_at(size_t column, const qstring &text) override;
  // Relayouts keeping the cached layouts.
  void flush() override;
  // The byte length of the last entry, 0 without entries.
  size_t column() override;

  // Recomputes the scroll ranges (discarding every cached layout first when asked) and posts the follow event.
  void update_layout(bool discard);

  std::vector<msg_entry_t> entries;

private:
  log_widget_t *owner_; // not owned: the window this store is part of
};

// An entry drawn by the last paint (or placed for a hit test before any paint) with its viewport rows,
// top and bottom included.
struct painted_entry_t
{
  int64_t index;
  int32_t top;
  int32_t bottom;
};

// Modes of log_widget_t::set_cursor.
enum log_cursor_mode_t : int
{
  LOG_CURSOR_MOVE = 0,       // the selection ends
  LOG_CURSOR_EXTEND = 1,     // the selection extends to the new position
  LOG_CURSOR_SHIFT_EXTEND = 2, // extends while Shift is held, else moves
};

// Codes of log_widget_t::caret_geometry.
enum log_caret_code_t : int
{
  LOG_CARET_NONE = 0,
  LOG_CARET_BEFORE = 1,     // the caret's entry lies before the painted ones
  LOG_CARET_CUT_TOP = 2,
  LOG_CARET_VISIBLE = 3,
  LOG_CARET_CUT_BOTTOM = 4,
  LOG_CARET_AFTER = 5,      // after the painted ones, or below the viewport
};

// The Output window. Promises: it shows every entry's visible text (without the 24-character prefix while the
// logger hides timestamps); a new message ends the selection and moves the caret to the end, and the window
// follows the newest line; entries grow until cleared; layouts are made only for what is painted, hit or
// walked. All positions count UTF-16 units of the visible text, so non-ASCII text is selected and found whole.
// GUI thread only.
class log_widget_t : public QAbstractScrollArea
{
  Q_OBJECT

public:
  explicit log_widget_t(QWidget *parent = nullptr);
  ~log_widget_t() override;

  // Writes the message into the entries; repaints later (update) when the application defers log repaints or
  // a paint event is being delivered, else at once.
  void append_message(const msg_data_t &msg, uint32_t flags);
  // Saves the visible texts joined with "\n" (UTF-8, no final line break). Without a path (null or empty) asks
  // for one and, when the file exists, whether to overwrite it; false when cancelled or refused, and false
  // after a warning when the file cannot be written. On success the path used goes back through `path`.
  [[nodiscard]] bool save_to_file(qstring *path = nullptr);

  // ---- Caret and selection -----------------------------------------------------------------------------
  // Sets the caret (see log_cursor_mode_t); with ensure_visible scrolls it into view. Tells accessibility
  // about the caret, and refreshes the copy action when a selection came or went.
  void set_cursor(log_pos_t pos, int mode, bool ensure_visible);
  [[nodiscard]] log_pos_t cursor() const { return cursor_; }
  [[nodiscard]] log_pos_t anchor() const { return anchor_; }
  [[nodiscard]] bool has_selection() const { return is_log_pos(anchor_) && is_log_pos(cursor_); }
  // The selected visible text, lines joined with "\n"; empty without a selection.
  [[nodiscard]] qstring selected_text();
  // The caret line in viewport coordinates (code log_caret_code_t; the points only for codes 2 to 4).
  int caret_geometry(QPoint *top, QPoint *bottom);
  // The position under a viewport point (lays out and places entries when nothing was painted yet).
  [[nodiscard]] log_pos_t hit_position(QPoint point);

  // ---- What the actions do --------------------------------------------------------------------------------
  // Character (or word) moves by n steps, vertical moves by n visual lines; all with mode 2 and ensure-visible.
  void move_chars(int n, bool words);
  void move_lines(int n);
  void move_line_beginning();
  void move_line_end();
  void move_text_beginning();
  void move_text_end();
  void select_all();
  void copy_selection();
  // Asks for the search text and searches from the beginning; nothing for an empty or cancelled text.
  void find();
  // Continues the search after the last match; nothing after a failed search.
  void find_next();
  void clear_contents();
  // Inverts the logger's timestamps switch and relayouts every entry.
  void toggle_timestamps();
  [[nodiscard]] int lines_per_page() const;

  // ---- Entries ----------------------------------------------------------------------------------------------
  [[nodiscard]] size_t entry_count() const { return entries_.entries.size(); }
  // The visible text of an entry (UTF-8): without its 24-character prefix while timestamps are hidden, whole
  // when it is shorter than the prefix.
  [[nodiscard]] std::string_view visible_text(size_t entry) const;
  // Its length in UTF-16 units.
  [[nodiscard]] size_t visible_length(size_t entry) const;
  // The entry's layout, laid out now when it has none.
  QTextLayout *entry_layout(size_t entry);
  [[nodiscard]] const std::vector<painted_entry_t> &painted() const { return painted_; }
  [[nodiscard]] int content_width() const { return content_width_; }
  [[nodiscard]] msg_entries_t &entries() { return entries_; }
  // The context menu's actions in order, null for a separator, looked up by name each time (actions that are
  // not registered are left out).
  [[nodiscard]] QList<QAction *> context_menu_actions() const;

  QSize minimumSizeHint() const override;

public slots:
  QString get_font_domain_name() { return QStringLiteral("Output window"); }
  void repolish();
  // The window became or stopped being the active core widget; nothing here.
  virtual void form_activate() {}
  virtual void form_deactivate() {}
  // Adds the context-menu list to a popup context (a popup_menu_ctx_t) the application is filling.
  void populate_popup(void *popup);

protected:
  bool event(QEvent *event) override;
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void contextMenuEvent(QContextMenuEvent *event) override;
  void scrollContentsBy(int dx, int dy) override;

private:
  friend class msg_entries_t;

  // Lays an entry out at the viewport width (once more at its own width when it does not wrap narrower).
  void lay_out(msg_entry_t &entry, size_t index);
  [[nodiscard]] int entry_height(size_t entry);
  // Decides which entries the viewport shows and where (fills painted_).
  void place_entries();
  [[nodiscard]] const painted_entry_t *painted_record(size_t entry) const;
  void update_horizontal_range();
  void update_vertical_range();
  [[nodiscard]] log_pos_t end_position() const;
  // The next or previous caret position of a character or word step, across entries; the same position at
  // either end of the text.
  [[nodiscard]] log_pos_t step_position(log_pos_t pos, bool forward, bool words);
  // Searches from search_from_; selects the match.
  void search();
  [[nodiscard]] bool show_timestamps() const;
  void notify_cursor_update();

  std::vector<painted_entry_t> painted_; // sorted by entry index
  msg_entries_t entries_;
  log_pos_t anchor_ = LOG_POS_NONE;
  log_pos_t cursor_ = LOG_POS_NONE;
  int content_width_ = -1; // widest layout width seen, -1 while none is known
  qstring search_text_;
  log_pos_t search_from_ = LOG_POS_NONE;
  int laid_out_width_ = -1; // the viewport width the cached layouts were made for
  bool follow_posted_ = false; // a LogWidgetUpdateLayout is posted and not yet received
};

// Repaints the application's Output window at once, when there is one.
void repaint_log_widget();

// Accessibility of the Output window: its entries read as one multi-line text, and traces of every query.
#pragma once

#include <QAccessibleWidget>

class log_widget_t;

// The debug flag that switches the accessibility traces on (they go to standard error).
constexpr uint32_t DEBUG_ACCESSIBILITY_TRACES = 0x80000;

// Categories of accessibility traces.
enum acc_trace_category_t : unsigned
{
  ACC_TRACE_MISC = 0x01,
  ACC_TRACE_TO_PIXELS = 0x02,
  ACC_TRACE_FROM_PIXELS = 0x04,
  ACC_TRACE_LIFECYCLE = 0x08,
  ACC_TRACE_TEXT = 0x10,
  ACC_TRACE_NAV = 0x20,
  ACC_TRACE_TREE = 0x40,
  ACC_TRACE_SELECTION = 0x80,
};

// Writes one trace line "HH:mm:ss.zzz: ACC (<category>): <text>" to standard error while the debug flags hold
// DEBUG_ACCESSIBILITY_TRACES; an unknown category is named "unknown?".
void acc_trace(unsigned category, const char *format, ...);

// The Output window as assistive technology sees it: an editable-text object whose text is every entry's visible
// text followed by one separator character. Offsets count UTF-16 units. Only line queries answer text; the
// object reports no selection and changes nothing.
class logAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
  explicit logAccessible(log_widget_t *widget);

  QString text(QAccessible::Text t) const override;
  QAccessible::Role role() const override { return QAccessible::EditableText; }
  QAccessible::State state() const override;
  void *interface_cast(QAccessible::InterfaceType type) override;

  void selection(int, int *, int *) const override {}
  int selectionCount() const override { return -1; }
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  // The caret's offset in the whole text; 0 without a caret.
  int cursorPosition() const override;
  void setCursorPosition(int) override {}
  QString text(int, int) const override { return QString(); }
  // The entry whose range holds the offset, for the line boundary only: its text, start and end (its start plus
  // its length plus one). Past the last entry: empty, start and end -1. Another boundary: empty, start and end
  // untouched. textAfterOffset answers the line holding the offset, as textAtOffset does.
  QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int *start, int *end) const override;
  QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundary, int *start, int *end) const override;
  int characterCount() const override;
  // Global coordinates of the character; zero height for an offset in no entry.
  QRect characterRect(int offset) const override;
  int offsetAtPoint(const QPoint &) const override { return -1; }
  void scrollToSubstring(int, int) override {}
  QString attributes(int, int *, int *) const override { return QString(); }

private:
  [[nodiscard]] log_widget_t *log_widget() const;
  // The entry whose range holds the global offset and the offset inside it; false when none does.
  bool find_entry(int offset, size_t *entry, int *local, int *start) const;
  QString line_at(int offset, QAccessible::TextBoundaryType boundary, int *start, int *end) const;
};

// The caret's offset in the window's whole text (see logAccessible::cursorPosition).
[[nodiscard]] int log_widget_cursor_offset(log_widget_t *widget);
// Installs, once, the accessibility factory that asks the application (app_t::accessible_for).
void install_log_accessible_factory();

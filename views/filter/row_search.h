// The row search that type-ahead, "Search..." and "Search again" end in: a walk over a view's rows in display
// order from the current row to the first row whose text matches.
#pragma once

#include <QModelIndex>
#include <QString>

#include <cstdint>

class QAbstractItemModel;
class QAbstractItemView;

// Flags of jump_match.
inline constexpr int jump_prefix = 0x1;        // the cell text must begin with the text (else contain it)
inline constexpr int jump_after_current = 0x2; // start after the current row
inline constexpr int jump_backwards = 0x4;
inline constexpr int jump_wrap = 0x8;          // go round once at the end
inline constexpr int jump_one_column = 0x10;   // test only the column in bits 24-31
// The column of jump_one_column, in bits 24-31.
[[nodiscard]] constexpr int jump_column_flags(int column)
{
  return jump_one_column | ((column & 0xFF) << 24);
}
// The flags of "Search..." and "Search again": a substring after the current row, going round.
inline constexpr int jump_next_substring = jump_after_current | jump_wrap;

// Walks the rows of a model under a root in display order (into every folder that has rows, whether the view
// expanded it or not), testing each row's display texts against the text without regard to case. Every
// hundredth row (the first included) polls the long operation's cancellation; a cancelled walk stops.
class qmodel_rows_scanner_t
{
public:
  // Skip states: test the start row like any other, pass over it, or stop there (the walk came round).
  enum skip_state_t : int
  {
    test_start = 0,
    skip_start = 1,
    stop_at_start = 2,
  };

  qmodel_rows_scanner_t(const QModelIndex &root, const QAbstractItemModel *model, int flags, QString text,
                        const QModelIndex &start);
  // Walks from `from` (included); true when a row was found (found() then holds it, column 0).
  bool walk(const QModelIndex &from, skip_state_t skip);
  [[nodiscard]] const QModelIndex &found() const { return found_; }
  [[nodiscard]] int visits() const { return visits_; }

private:
  // 1 found, -1 stop, 0 go on.
  int test(const QModelIndex &index);
  [[nodiscard]] QModelIndex next(const QModelIndex &index) const;
  [[nodiscard]] QModelIndex previous(const QModelIndex &index) const;

  QModelIndex root_;
  const QAbstractItemModel *model_;
  int flags_;
  QString text_;
  QModelIndex start_;
  QModelIndex found_;
  int visits_ = 0;
  skip_state_t skip_ = test_start;
};

// The first row of the view, or with jump_backwards its deepest last row; invalid when the view has no rows.
[[nodiscard]] QModelIndex first_or_last_index(const QAbstractItemView *view, int flags);

// Searches from the current row (else the first selected row, else from the first or last row, a fresh
// start) and makes the first matching row current, selecting it alone. Without a match from a start that was
// not fresh, jump_wrap searches once more from the other end up to the start. The cancellation mark of the
// long operation is cleared first. True when a row was found.
bool jump_match(QAbstractItemView *view, const QString &text, int flags);

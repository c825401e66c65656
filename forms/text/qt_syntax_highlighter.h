// The Qt side of the line highlighter: runs a language record's highlighter on a document's blocks.
#pragma once

#include "core/language_record.h"
#include "forms/text/syntax_highlighter.h"

#include <QColor>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

#include <array>
#include <memory>
#include <vector>

class QtSyntaxHighlighter;

// How one style number looks: colour, bold, italic. An invalid colour without bold or italic leaves the
// text as the document shows it (the text area's own text colour).
struct highlight_category_t
{
  QColor colour = Qt::black;
  bool bold = false;
  bool italic = false;

  bool plain() const { return !colour.isValid() && !bold && !italic; }
};

// The looks of styles 0 (plain text) to 7 (number); styles outside are opaque black, plain.
using highlight_categories_t = std::array<highlight_category_t, HL_NUMBER + 1>;

// Callbacks that turn the engine's code-point ranges into formats of the block being highlighted.
class qt_highlighter_cbs_t : public highlighter_cbs_t
{
public:
  explicit qt_highlighter_cbs_t(QtSyntaxHighlighter *owner) : owner_(owner) {}
  void apply_style(int start, int length, int style) override;
  int previous_line_state() override;
  int current_line_state() override;
  void store_line_state(int state) override;

private:
  QtSyntaxHighlighter *owner_; // not owned: the highlighter owns these callbacks
};

// Runs `record`'s highlighter (the record's highlighter word points to a syntax_highlighter_t, or is null)
// over a document. Promises: holds one use of the record for its lifetime; colours land on the characters
// the engine meant, also after characters outside the Basic Multilingual Plane.
class QtSyntaxHighlighter : public QSyntaxHighlighter
{
  Q_OBJECT

public:
  QtSyntaxHighlighter(QTextDocument *document, language_record_t *record);
  ~QtSyntaxHighlighter() override;

  language_record_t *record() const { return record_; }
  // New looks for the styles; the document is coloured again.
  void set_categories(const highlight_categories_t &categories);
  const QTextCharFormat &format_for_style(int style) const;

protected:
  void highlightBlock(const QString &text) override;

private:
  friend class qt_highlighter_cbs_t;
  // The index in formats_ of a style; unknown styles share the last.
  size_t style_index(int style) const;

  language_record_t *record_; // not owned; outlives this highlighter
  std::unique_ptr<qt_highlighter_cbs_t> cbs_;
  // The format of every style, built once per change of the looks; the last one serves unknown styles.
  std::array<QTextCharFormat, HL_NUMBER + 2> formats_;
  // Per style: its format sets nothing, so ranges of it are not applied (kept beside formats_, since asking a
  // format for its properties builds a map).
  std::array<bool, HL_NUMBER + 2> plain_ {};
  // UTF-16 offset of every code point of the block being highlighted, and of its end; empty when the block is
  // ASCII, where both counts agree.
  std::vector<int> utf16_offsets_;
  int block_units_ = 0; // UTF-16 units of the block being highlighted
  qstring line_; // the block in UTF-8, its buffer reused from block to block
};

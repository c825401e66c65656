// The text area: the forms' multi-line plain-text editor with space indentation, margins and style categories.
#pragma once

#include "forms/text/qt_syntax_highlighter.h"
#include "ui/stylable_widget.h"

#include <QPlainTextEdit>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>

class QHBoxLayout;
class QSyntaxHighlighter;
class QTextBlock;
class text_area_t;

// The seven style categories, in table order: keyword1, keyword2, keyword3, string, comment, preprocessor,
// number. Category i colours highlighter style i + 1.
constexpr size_t text_area_category_count = 7;

// A column at the left edge of a text area that shows a text beside each block (line numbers, offsets). It
// reports its visibility so that the editor keeps its left viewport margin equal to the visible margins.
class text_area_margin_widget_t : public QWidget, public stylable_widget_mixin_t
{
  Q_OBJECT
  Q_INTERFACES(stylable_widget_mixin_t)
  Q_PROPERTY(QColor header_color READ header_color WRITE set_header_color)

public:
  // A child of the editor; name may be empty.
  text_area_margin_widget_t(text_area_t *editor, const QString &name);

  // The text shown beside block `block` (0-based).
  [[nodiscard]] virtual QString block_text(int block) const = 0;

  [[nodiscard]] const QString &name() const { return name_; }
  [[nodiscard]] bool show_header() const { return (flags_ & 1) != 0; }
  void set_show_header(bool show);
  [[nodiscard]] text_area_t *editor() const { return editor_; }

  QColor header_color() const { return color_property(style_property_id_base, false); }
  void set_header_color(const QColor &c) { set_color_property(style_property_id_base, c, false); }

  // Width: the widest of the header (when shown and named) and the texts of the blocks (at least one), in
  // the editor's font, plus 4 pixels; height 0.
  QSize sizeHint() const override;

signals:
  void visibility_changed(bool v);

public slots:
  void on_updateRequest(const QRect &rect, int dy);

protected:
  // The widest text of blocks 0 to count - 1 in these metrics; line numbers answer without measuring each.
  [[nodiscard]] virtual qreal widest_block_text(const QFontMetricsF &metrics, int count) const;
  bool event(QEvent *e) override;
  void paintEvent(QPaintEvent *e) override;

private:
  text_area_t *editor_; // not owned: the editor is an ancestor
  QString name_;
  uint8_t flags_ = 0;   // bit 0: show the name as a header on the first line
};

// The margin named "lines": block n shows n + 1.
class line_number_margin_t : public text_area_margin_widget_t
{
  Q_OBJECT

public:
  explicit line_number_margin_t(text_area_t *editor) : text_area_margin_widget_t(editor, "lines") {}
  QString block_text(int block) const override { return QString::number(block + 1); }

protected:
  qreal widest_block_text(const QFontMetricsF &metrics, int count) const override;
};

// A QPlainTextEdit for forms: spaces for indentation (Tab to the next indent stop, automatic indentation on
// Return and Backspace), Tab moving the focus when the indent width is 0, Ctrl+Return / Alt+K accepting the
// dialog, margins at the left edge, an owned syntax highlighter and seven style categories (colour, weight,
// italic) that style sheets set as "qproperty-keyword1_fg" and so on.
class text_area_t : public QPlainTextEdit, public stylable_widget_mixin_t
{
  Q_OBJECT
  Q_INTERFACES(stylable_widget_mixin_t)
  Q_PROPERTY(QColor keyword1_fg READ keyword1_fg WRITE set_keyword1_fg)
  Q_PROPERTY(int keyword1_weight READ keyword1_weight WRITE set_keyword1_weight)
  Q_PROPERTY(int keyword1_italic READ keyword1_italic WRITE set_keyword1_italic)
  Q_PROPERTY(QColor keyword2_fg READ keyword2_fg WRITE set_keyword2_fg)
  Q_PROPERTY(int keyword2_weight READ keyword2_weight WRITE set_keyword2_weight)
  Q_PROPERTY(int keyword2_italic READ keyword2_italic WRITE set_keyword2_italic)
  Q_PROPERTY(QColor keyword3_fg READ keyword3_fg WRITE set_keyword3_fg)
  Q_PROPERTY(int keyword3_weight READ keyword3_weight WRITE set_keyword3_weight)
  Q_PROPERTY(int keyword3_italic READ keyword3_italic WRITE set_keyword3_italic)
  Q_PROPERTY(QColor string_fg READ string_fg WRITE set_string_fg)
  Q_PROPERTY(int string_weight READ string_weight WRITE set_string_weight)
  Q_PROPERTY(int string_italic READ string_italic WRITE set_string_italic)
  Q_PROPERTY(QColor comment_fg READ comment_fg WRITE set_comment_fg)
  Q_PROPERTY(int comment_weight READ comment_weight WRITE set_comment_weight)
  Q_PROPERTY(int comment_italic READ comment_italic WRITE set_comment_italic)
  Q_PROPERTY(QColor preprocessor_fg READ preprocessor_fg WRITE set_preprocessor_fg)
  Q_PROPERTY(int preprocessor_weight READ preprocessor_weight WRITE set_preprocessor_weight)
  Q_PROPERTY(int preprocessor_italic READ preprocessor_italic WRITE set_preprocessor_italic)
  Q_PROPERTY(QColor number_fg READ number_fg WRITE set_number_fg)
  Q_PROPERTY(int number_weight READ number_weight WRITE set_number_weight)
  Q_PROPERTY(int number_italic READ number_italic WRITE set_number_italic)

public:
  explicit text_area_t(QWidget *parent = nullptr, bool line_numbers = false);
  ~text_area_t() override;

  // The indent stop distance in spaces; 0 makes Tab move the focus.
  void set_indent_width(int n);
  [[nodiscard]] int indent_width() const { return indent_width_; }
  void set_auto_indent(bool on) { auto_indent_ = on; }
  [[nodiscard]] bool auto_indent() const { return auto_indent_; }
  // Set by every change of the text; the owner clears it.
  [[nodiscard]] bool is_modified() const { return modified_; }
  void set_modified(bool modified) { modified_ = modified; }

  // Replaces (and deletes) the highlighter, with the editor's signals blocked meanwhile; the new one works on
  // the editor's document. Null removes it.
  void set_highlighter(std::unique_ptr<QSyntaxHighlighter> highlighter);
  [[nodiscard]] QSyntaxHighlighter *highlighter() const { return highlighter_.get(); }
  // Adds a margin (the editor's child) at the right of the others.
  void add_margin(text_area_margin_widget_t *margin);
  // The looks of the highlighter's styles: plain text as the editor shows it, then the seven categories.
  [[nodiscard]] highlight_categories_t highlight_categories() const;

  // Category `category` (0..6): weight flag (1 bold) and italic flag; other categories read 0, write nothing.
  [[nodiscard]] int category_weight(size_t category) const;
  [[nodiscard]] int category_italic(size_t category) const;
  void set_category_weight(size_t category, int weight);
  void set_category_italic(size_t category, int italic);

  // The colour entries, then "qproperty-<category>-weight: n;" and "...-italic: n;" where the flags differ
  // from the reference's (a reference that is no text area has all flags 0); sorted by category.
  void collect_style_entries(qvector<qstring> *entries, const stylable_widget_mixin_t &reference) const override;

  // The geometry of blocks as the margins paint them.
  [[nodiscard]] QTextBlock first_visible_block() const;
  [[nodiscard]] QRectF block_rect(const QTextBlock &block) const;

  // clang-format off
  QColor keyword1_fg() const { return color_property(0, true); }
  void set_keyword1_fg(const QColor &c) { set_color_property(0, c, true); }
  QColor keyword2_fg() const { return color_property(1, true); }
  void set_keyword2_fg(const QColor &c) { set_color_property(1, c, true); }
  QColor keyword3_fg() const { return color_property(2, true); }
  void set_keyword3_fg(const QColor &c) { set_color_property(2, c, true); }
  QColor string_fg() const { return color_property(3, true); }
  void set_string_fg(const QColor &c) { set_color_property(3, c, true); }
  QColor comment_fg() const { return color_property(4, true); }
  void set_comment_fg(const QColor &c) { set_color_property(4, c, true); }
  QColor preprocessor_fg() const { return color_property(5, true); }
  void set_preprocessor_fg(const QColor &c) { set_color_property(5, c, true); }
  QColor number_fg() const { return color_property(6, true); }
  void set_number_fg(const QColor &c) { set_color_property(6, c, true); }
  int keyword1_weight() const { return category_weight(0); }
  void set_keyword1_weight(int v) { set_category_weight(0, v); }
  int keyword2_weight() const { return category_weight(1); }
  void set_keyword2_weight(int v) { set_category_weight(1, v); }
  int keyword3_weight() const { return category_weight(2); }
  void set_keyword3_weight(int v) { set_category_weight(2, v); }
  int string_weight() const { return category_weight(3); }
  void set_string_weight(int v) { set_category_weight(3, v); }
  int comment_weight() const { return category_weight(4); }
  void set_comment_weight(int v) { set_category_weight(4, v); }
  int preprocessor_weight() const { return category_weight(5); }
  void set_preprocessor_weight(int v) { set_category_weight(5, v); }
  int number_weight() const { return category_weight(6); }
  void set_number_weight(int v) { set_category_weight(6, v); }
  int keyword1_italic() const { return category_italic(0); }
  void set_keyword1_italic(int v) { set_category_italic(0, v); }
  int keyword2_italic() const { return category_italic(1); }
  void set_keyword2_italic(int v) { set_category_italic(1, v); }
  int keyword3_italic() const { return category_italic(2); }
  void set_keyword3_italic(int v) { set_category_italic(2, v); }
  int string_italic() const { return category_italic(3); }
  void set_string_italic(int v) { set_category_italic(3, v); }
  int comment_italic() const { return category_italic(4); }
  void set_comment_italic(int v) { set_category_italic(4, v); }
  int preprocessor_italic() const { return category_italic(5); }
  void set_preprocessor_italic(int v) { set_category_italic(5, v); }
  int number_italic() const { return category_italic(6); }
  void set_number_italic(int v) { set_category_italic(6, v); }
  // clang-format on

signals:
  void dialog_accepted();
  void request_focus_next_prev_child(bool next);
  void textModified();

public slots:
  // Sizes the visible margins, makes the left viewport margin their summed width, places the margin
  // container over it; answers the sum.
  int sync_viewport_margins();
  QString get_font_domain_name() { return QStringLiteral("Text input"); }
  // Sets the modified flag.
  virtual void changedText();
  // Emits textModified when characters were removed or added.
  virtual void contentsChanged(int pos, int removed, int added);

protected:
  bool event(QEvent *e) override;
  void keyPressEvent(QKeyEvent *e) override;
  void contextMenuEvent(QContextMenuEvent *e) override;
  void resizeEvent(QResizeEvent *e) override;

private:
  void update_tab_stop();
  // Colours the document again with the current categories (Show and style changes).
  void refresh_highlighting();
  void insert_indent();
  // Return and Backspace with automatic indentation; false when the event goes to the plain editor.
  bool auto_indent_key(QKeyEvent *e);

  bool modified_ = false;
  bool auto_indent_ = true;
  int indent_width_ = 4;
  QString indent_text_;
  std::unique_ptr<QSyntaxHighlighter> highlighter_;
  QWidget *margin_container_ = nullptr; // a child; made with the first margin
  QHBoxLayout *margin_layout_ = nullptr;
  std::array<uint8_t, text_area_category_count> weight_ {};
  std::array<uint8_t, text_area_category_count> italic_ {};
};

// Gives the text area a QtSyntaxHighlighter for the record (holding one use of it), unless it already has one
// for that record.
void attach_highlighter(text_area_t *area, language_record_t *record);

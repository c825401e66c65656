// Small field widgets of the forms: a check box, a bounded line edit, and group boxes with a label above
// their content (the embedded list of an 'E' field).
#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>

class buddy_label_t;
class QVBoxLayout;

// A check box that takes the focus like any widget (no focus-in handling of its own).
class check_box_t : public QCheckBox
{
  Q_OBJECT

public:
  explicit check_box_t(const QString &text);

protected:
  void focusInEvent(QFocusEvent *event) override;
};

// A line edit of bounded length: 32768 for a negative length, 1023 for 0. Ctrl+Home and Ctrl+End act as Home
// and End; Alt hides the completer's popup.
class input_field_t : public QLineEdit
{
  Q_OBJECT

public:
  explicit input_field_t(int max_length);

protected:
  bool event(QEvent *event) override;
};

// A group box with an optional label above its content, which becomes the label's buddy and the box's focus
// proxy.
class labeled_group_box_t : public QGroupBox
{
  Q_OBJECT

public:
  labeled_group_box_t();
  // Installs the layout and the content (owned from then on), with the label when the text is not empty.
  void set_up(const QString &label, QWidget *content);
  // Sets or (empty text) removes the label; with hint handling a leading "#hint#" becomes the content's tooltip.
  // The text is in "~x~" markup.
  void set_label(const char *text, bool with_hint);
  [[nodiscard]] QWidget *content() const { return content_; }
  [[nodiscard]] buddy_label_t *label() const { return label_; }

private:
  QVBoxLayout *layout_ = nullptr;
  buddy_label_t *label_ = nullptr;
  QWidget *content_ = nullptr;
};

// The box around an embedded list ('E' field).
class chooser_widget_container_t : public labeled_group_box_t
{
  Q_OBJECT
};

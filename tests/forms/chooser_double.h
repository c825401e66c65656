// A test double of an embedded list: a list widget that tells when its selection changes, and its chooser.
#pragma once

#include "forms/form_chooser.h"

#include <QListWidget>
#include <QSize>

// A list widget that tells when its selection changes, as the chooser widget does.
class double_list_widget_t : public QListWidget
{
  Q_OBJECT

public:
  double_list_widget_t();

signals:
  void selection_state_changed(bool selection);
};

// A chooser of three rows ("one", "two", "three") and two columns of width 10 and 20, in a multi-selection list.
class double_chooser_t : public form_chooser_t
{
public:
  QWidget *create_embedded_widget(const QString &form_title, int field_id) override;
  int natural_width() const override { return (10 + 1) + (20 + 1) + 2; }
  QString title() const override { return title_; }
  void set_title(const QString &title) override { title_ = title; }
  QSize minimum_widget_size(QWidget *) const override { return QSize(120, 80); }
  qvector<uint64_t> selection(QWidget *widget) const override;
  void set_selection(QWidget *widget, const qvector<uint64_t> &rows) override;
  void reload(QWidget *) override { ++reloads; }
  uint32_t state_word() const override { return state; }

  QString title_;
  QString made_for;        // the form title the widget was made for
  int made_id = -1;        // and the field id
  QString title_while_made;
  int reloads = 0;
  uint32_t state = 0;
};

// A window around a text area with a line edit before and after it, for tests that move the focus.
#pragma once

#include "forms/text/text_area.h"

#include <QApplication>
#include <QLineEdit>
#include <QVBoxLayout>

// Shows the window active and takes the editor as its child; the editor's focus requests move the focus the
// way a form's container does.
template <typename Editor = text_area_t>
class editor_host_t : public QWidget
{
public:
  explicit editor_host_t(Editor *editor_) : editor(editor_)
  {
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(before);
    layout->addWidget(editor);
    layout->addWidget(after);
    // The editor joined the window last; the focus goes through the three in their order on screen.
    setTabOrder(before, editor);
    setTabOrder(editor, after);
    connect(editor, &text_area_t::request_focus_next_prev_child, this, [this](bool next) { focusNextPrevChild(next); });
    resize(400, 280);
    show();
    QApplication::setActiveWindow(this);
  }
  QLineEdit *before = new QLineEdit(this);
  Editor *editor;
  QLineEdit *after = new QLineEdit(this);
};

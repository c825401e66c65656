// Plays the user of the modal dialogs that a test's request opens: one act per dialog, in order, with real
// key and mouse events.
#pragma once

#include "tests/ui/app/event_pump.h"

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Each act runs on the next modal window of its type once that window is shown and active, on the GUI thread;
// an act may open further modal windows (a browse button in a form), which the next acts then play. A modal
// window that no act expects fails the test and is closed; so is a window still open after the time limit, so
// that a broken test ends. Acts left unplayed when the player ends fail the test too.
class modal_player_t
{
public:
  explicit modal_player_t(int limit_ms = 15000) : alive_(std::make_shared<bool>(true))
  {
    watchdog_.setSingleShot(true);
    QObject::connect(&watchdog_, &QTimer::timeout, [] {
      while ( QWidget *modal = QApplication::activeModalWidget() )
      {
        ADD_FAILURE() << "a modal window stayed open: " << modal->metaObject()->className() << " \""
                      << modal->windowTitle().toStdString() << "\"";
        modal->close();
        if ( modal->isVisible() )
          modal->hide();
      }
    });
    watchdog_.start(limit_ms);
    poll_later();
  }
  ~modal_player_t()
  {
    *alive_ = false;
    if ( !acts_.empty() )
      ADD_FAILURE() << acts_.size() << " modal window(s) expected but never shown, the first: " << acts_.front().what;
  }
  modal_player_t(const modal_player_t &) = delete;
  modal_player_t &operator=(const modal_player_t &) = delete;

  // Plays the next modal window of type W with act.
  template <typename W>
  void on_next(std::string what, std::function<void(W &)> act)
  {
    acts_.push_back({std::move(what), [act = std::move(act)](QWidget *widget) {
                       auto *typed = qobject_cast<W *>(widget);
                       if ( typed == nullptr )
                         return false;
                       act(*typed);
                       return true;
                     }});
  }
  // True once every act has run.
  [[nodiscard]] bool done() const { return acts_.empty(); }
  // The modal windows played so far, in order (null once destroyed).
  [[nodiscard]] const std::vector<QPointer<QWidget>> &played() const { return played_; }

private:
  struct act_t
  {
    std::string what;
    std::function<bool(QWidget *)> run; // false: the window is of another type
  };

  // A fresh single-shot timer each time: a timer whose slot opened a nested event loop is not delivered again.
  void poll_later()
  {
    std::weak_ptr<bool> alive = alive_;
    QTimer::singleShot(5, [this, alive] {
      if ( alive.expired() || !*alive.lock() )
        return;
      poll();
    });
  }
  void poll()
  {
    poll_later();
    QWidget *modal = QApplication::activeModalWidget();
    if ( modal == nullptr || !modal->isVisible() || !modal->isActiveWindow() )
      return;
    for ( const QPointer<QWidget> &seen : played_ )
      if ( seen == modal )
        return;
    played_.emplace_back(modal);
    if ( acts_.empty() )
    {
      ADD_FAILURE() << "an unexpected " << modal->metaObject()->className() << " showed: \""
                    << modal->windowTitle().toStdString() << "\"";
      modal->close();
      return;
    }
    act_t act = acts_.front();
    acts_.pop_front();
    if ( !act.run(modal) )
    {
      ADD_FAILURE() << "expected " << act.what << ", a " << modal->metaObject()->className() << " showed";
      modal->close();
    }
  }

  std::shared_ptr<bool> alive_;
  std::deque<act_t> acts_;
  std::vector<QPointer<QWidget>> played_;
  QTimer watchdog_;
};

// A key pressed at the widget that has the focus in the window (the window itself when none has).
inline void press_key(QWidget &window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
  QWidget *target = window.focusWidget() != nullptr ? window.focusWidget() : &window;
  QTest::keyClick(target, key, modifiers);
}

// Text typed at the widget, one key event per character; a character beyond ASCII comes as a key event
// carrying its text, as an input method delivers it.
inline void type_text(QWidget *widget, const QString &text)
{
  for ( const QChar c : text )
    if ( c.unicode() < 0x80 )
      QTest::keyClick(widget, char(c.unicode()));
    else
      QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

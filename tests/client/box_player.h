// Plays the user of the message boxes a test opens: acts on each box once it is shown and active.
#pragma once

#include "ui/message_box.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// Polls the active modal widget on the GUI thread; every box that appears is recorded and handed to `act`
// (the default presses Return, the box's default button). A box still open when the player ends fails the test
// and is closed, so that a broken test ends.
class box_player_t
{
public:
  struct box_seen_t
  {
    std::string title;
    std::string text;
    QMessageBox::Icon icon;
  };

  explicit box_player_t(std::function<void(message_box_t &)> act = {}) : act_(std::move(act))
  {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto *box = qobject_cast<message_box_t *>(QApplication::activeModalWidget());
      if ( box == nullptr || !box->isVisible() || !box->isActiveWindow() || box == last_ )
        return;
      last_ = box;
      seen.push_back({box->windowTitle().toStdString(), box->text().toStdString(), box->icon()});
      if ( act_ )
        act_(*box);
      else
        QTest::keyClick(box, Qt::Key_Return);
    });
    timer_.start();
  }
  ~box_player_t()
  {
    timer_.stop();
    if ( auto *box = qobject_cast<message_box_t *>(QApplication::activeModalWidget()); box != nullptr && box != last_ )
    {
      ADD_FAILURE() << "a message box stayed open: " << box->text().toStdString();
      box->close();
    }
  }
  box_player_t(const box_player_t &) = delete;
  box_player_t &operator=(const box_player_t &) = delete;

  std::vector<box_seen_t> seen;

private:
  std::function<void(message_box_t &)> act_;
  QTimer timer_;
  message_box_t *last_ = nullptr; // not owned; the box acted on last
};

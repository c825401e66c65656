// The fixture of the Output window's widget tests: the window in the shown, active main window, with its actions
// registered and keyed, and a logger whose messages it displays.
#pragma once

#include "core/clock_time.h"
#include "tests/ui/app/test_app.h"
#include "tests/ui/app/test_logger.h"
#include "ui/log_widget.h"
#include "ui/log_widget_actions.h"

#include <QApplication>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <string>

// The prefix every message of these tests carries.
inline constexpr char output_test_prefix[] = "2026-12-10 10:11:12.013 ";

class output_window_fixture_t : public testing::Test
{
protected:
  void SetUp() override
  {
    register_output_window_actions();
    window_ = new log_widget_t;
    window_->setProperty("widget_kind", LOG_WIDGET_KIND);
    test_app().log_window = window_;
    main()->setCentralWidget(window_);
    main()->resize(480, 240);
    main()->show();
    QApplication::setActiveWindow(main());
    ASSERT_TRUE(QTest::qWaitForWindowActive(main()));
    window_->setFocus();
    QCoreApplication::processEvents();
  }
  void TearDown() override
  {
    test_app().log_window = nullptr;
    delete main()->takeCentralWidget();
    main()->hide();
    unregister_output_window_actions();
  }
  static QMainWindow *main() { return test_app().main_window(); }

  // Logs a message with the test prefix; the window follows the newest line once the event loop ran, which
  // this does.
  void log(const std::string &text)
  {
    msg_data_t msg;
    msg.text = qstring(text);
    msg.prefix = output_test_prefix;
    msg.time = pack_time(1000, 13000);
    (void)logger_.log(msg);
    QCoreApplication::processEvents();
  }

  test_logger_t logger_;
  log_widget_t *window_ = nullptr; // owned by the main window while shown
};

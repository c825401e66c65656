// Wait box: control lines, delayed and nested showing, cancellation, input drop, throttled polls, threads.
#include "ui/wait_box.h"

#include "core/error_state.h"
#include "core/ui_callback.h"
#include "tests/support/recording_ui_callback.h"
#include "tests/ui/app/event_pump.h"
#include "tests/ui/app/framework_messages.h"
#include "tests/ui/app/test_app.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <functional>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;
using steady = std::chrono::steady_clock;

// Processes events for that long.
void pump_for(std::chrono::milliseconds span)
{
  (void)pump_until([] { return false; }, span);
}

bool push(bool is_new, const char *format, ...)
{
  va_list va;
  va_start(va, format);
  const bool taken = test_app().push_wait_dialog_request(format, va, is_new);
  va_end(va);
  return taken;
}

WaitDialog &box()
{
  return *test_app().wait_dialog();
}

std::string shown_text()
{
  return box().label()->text().toStdString();
}

class WaitBox : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_NE(test_app().wait_dialog(), nullptr);
    test_app().reset_test_state();
  }
  void TearDown() override
  {
    // Whatever a failed test left open.
    for ( int i = 0; i < 4; ++i )
      test_app().hide_wait_dialog();
    test_app().reset_test_state();
  }
};

TEST(WaitBoxEntry, ControlLinesAreTakenFromTheStart)
{
  struct row_t
  {
    const char *text;
    bool replace;
    std::string shown;
    std::string caption;
    bool show_cancel;
    bool delay;
  };
  const row_t rows[] = {
    {"Plain text", false, "Plain text", "Cancel", true, true},
    {"HIDECANCEL\nNODELAY\nBoth", false, "Both", "Cancel", false, false},
    {"NODELAY\nHIDECANCEL\nBoth", false, "Both", "Cancel", false, false},
    {"NODELAY\nNODELAY\nTwice", true, "Twice", "Cancel", true, false},
    {"CANCEL Stop\nFurther text", false, "\nFurther text", "Stop", true, true},
    {"HIDECANCEL\nCANCEL ~S~top", false, "", "~S~top", false, true},
    {"Working @0:12[]\nhard\x03 now", false, "Working hard now", "Cancel", true, true},
    {"@0:7[]\nNODELAY\nMarker first", false, "Marker first", "Cancel", true, false},
    // Not control lines: not at the start, or not a whole line.
    {"Text\nNODELAY\n", false, "Text\nNODELAY\n", "Cancel", true, true},
    {"NODELAY now", false, "NODELAY now", "Cancel", true, true},
    {"mail@0:12[]\n", false, "mail@0:12[]\n", "Cancel", true, true},
  };
  for ( const row_t &row : rows )
  {
    const wait_box_entry_t entry = make_wait_box_entry(row.text, row.replace);
    EXPECT_EQ(entry.text, row.shown) << row.text;
    EXPECT_EQ(entry.cancel_label, row.caption) << row.text;
    EXPECT_EQ(entry.show_cancel, row.show_cancel) << row.text;
    EXPECT_EQ(entry.delay, row.delay) << row.text;
    EXPECT_EQ(entry.replace, row.replace) << row.text;
  }
}

TEST_F(WaitBox, ShowsAfterHalfASecondNestsAndHides)
{
  // An operation that ends within the half second never shows the box.
  ASSERT_TRUE(push(true, "Quick %d", 1));
  EXPECT_TRUE(test_app().wait_box_timer()->isActive());
  pump_for(250ms);
  EXPECT_FALSE(box().isVisible());
  test_app().hide_wait_dialog();
  EXPECT_FALSE(test_app().wait_box_timer()->isActive());
  pump_for(400ms);
  EXPECT_FALSE(box().isVisible());

  // A longer one shows it; a nested show replaces the text, its hide brings the outer text back.
  const auto asked = steady::now();
  ASSERT_TRUE(push(true, "Outer %s", "operation"));
  ASSERT_TRUE(pump_until([] { return box().isVisible(); }));
  EXPECT_GE(steady::now() - asked, 450ms);
  EXPECT_EQ(shown_text(), "Outer operation");
  EXPECT_TRUE(test_app().is_wait_dialog_visible());
  ASSERT_TRUE(push(true, "Inner"));
  ASSERT_TRUE(pump_until([] { return shown_text() == "Inner"; }));
  test_app().hide_wait_dialog();
  EXPECT_TRUE(box().isVisible());
  EXPECT_EQ(shown_text(), "Outer operation");
  test_app().hide_wait_dialog();
  EXPECT_FALSE(box().isVisible());
  EXPECT_FALSE(test_app().is_wait_dialog_visible());

  // NODELAY shows at once, with the caption and button its lines ask for.
  ASSERT_TRUE(push(true, "NODELAY\nCANCEL Stop\nAt once"));
  EXPECT_TRUE(box().isVisible());
  EXPECT_EQ(shown_text(), "\nAt once");
  EXPECT_EQ(box().cancel_button()->text(), "Stop");
  EXPECT_TRUE(box().cancel_button()->isVisible());
  ASSERT_TRUE(push(true, "HIDECANCEL\nNODELAY\nNo button"));
  EXPECT_FALSE(box().cancel_button()->isVisible());
  test_app().hide_wait_dialog();
  EXPECT_TRUE(box().cancel_button()->isVisible());
  test_app().hide_wait_dialog();
  // A hide with nothing shown only stops and hides.
  test_app().hide_wait_dialog();
  EXPECT_FALSE(box().isVisible());
}

TEST_F(WaitBox, AReplacementNeedsABoxPendingOrShown)
{
  EXPECT_FALSE(push(false, "Nobody asked"));
  EXPECT_FALSE(box().isVisible());
  EXPECT_FALSE(test_app().wait_box_timer()->isActive());

  ASSERT_TRUE(push(true, "Pending"));
  EXPECT_TRUE(push(false, "Replaced while pending"));
  ASSERT_TRUE(pump_until([] { return box().isVisible(); }));
  EXPECT_EQ(shown_text(), "Replaced while pending");
  EXPECT_TRUE(push(false, "Replaced %d", 2));
  EXPECT_EQ(shown_text(), "Replaced 2");
  // The replacement took the place of the entry: one hide ends it.
  test_app().hide_wait_dialog();
  EXPECT_FALSE(box().isVisible());
}

// Polls from its paint event.
class painting_poller_t : public QWidget
{
public:
  int polls = 0;
  bool answer = true;

protected:
  void paintEvent(QPaintEvent *) override
  {
    ++polls;
    answer = _base_app_mixin_t::is_long_op_cancelled();
  }
};

TEST_F(WaitBox, EscCancelAndCancelLongOpMarkTheOperationAlike)
{
  const std::function<void()> ways[] = {
    [] { QTest::keyClick(&box(), Qt::Key_Escape); },
    [] { QTest::mouseClick(box().cancel_button(), Qt::LeftButton); },
    [] { _base_app_mixin_t::cancel_long_op(); },
  };
  for ( size_t way = 0; way < std::size(ways); ++way )
  {
    ASSERT_TRUE(push(true, "NODELAY\nLong operation"));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box()));
    EXPECT_FALSE(_base_app_mixin_t::is_long_op_cancelled()) << way;
    ways[way]();
    EXPECT_TRUE(_base_app_mixin_t::is_long_op_cancelled()) << way;
    EXPECT_FALSE(box().cancel_button()->isEnabled()) << way;
    EXPECT_TRUE(box().isVisible()) << "Esc and Cancel do not close the box " << way;

    // During a paint event the poll answers false without running.
    painting_poller_t poller;
    poller.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&poller));
    poller.polls = 0;
    poller.repaint();
    EXPECT_GT(poller.polls, 0);
    EXPECT_FALSE(poller.answer) << way;

    // A closing attempt from the title bar does nothing.
    box().close();
    EXPECT_TRUE(box().isVisible()) << way;

    // A nested show clears the mark; so does a hide.
    if ( way == 0 )
    {
      ASSERT_TRUE(push(true, "NODELAY\nNested"));
      EXPECT_FALSE(_base_app_mixin_t::is_long_op_cancelled());
      EXPECT_TRUE(box().cancel_button()->isEnabled());
      _base_app_mixin_t::cancel_long_op();
      test_app().hide_wait_dialog();
      EXPECT_FALSE(_base_app_mixin_t::is_long_op_cancelled());
      _base_app_mixin_t::cancel_long_op();
    }
    test_app().hide_wait_dialog();
    EXPECT_TRUE(box().cancel_button()->isEnabled()) << way;
    EXPECT_FALSE(_base_app_mixin_t::is_long_op_cancelled()) << way;
  }
}

TEST_F(WaitBox, AClickInThePendingHalfSecondReachesNothing)
{
  QPushButton target("Target");
  target.show();
  target.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&target));
  QSignalSpy clicks(&target, &QPushButton::clicked);

  ASSERT_TRUE(push(true, "Pending"));
  QTest::mouseClick(&target, Qt::LeftButton);
  QTest::keyClick(&target, Qt::Key_Space);
  EXPECT_EQ(clicks.count(), 0);
  test_app().hide_wait_dialog();
  QTest::mouseClick(&target, Qt::LeftButton);
  EXPECT_EQ(clicks.count(), 1);
}

TEST_F(WaitBox, ANewerModalDialogPostponesTheBox)
{
  // Opened after the request: the box waits until it closes.
  ASSERT_TRUE(push(true, "Behind a dialog"));
  ui_dialog_t newer;
  bool seen_during_dialog = false;
  QTimer::singleShot(0, &newer, [&] {
    pump_for(1200ms);
    seen_during_dialog = box().isVisible();
    newer.accept();
  });
  newer.exec();
  EXPECT_FALSE(seen_during_dialog);
  EXPECT_TRUE(test_app().wait_box_timer()->isActive());
  EXPECT_TRUE(pump_until([] { return box().isVisible(); }, 2s));
  test_app().hide_wait_dialog();

  // Opened before the request: the box shows over it.
  ui_dialog_t older;
  bool shown_over = false;
  QTimer::singleShot(0, &older, [&] {
    if ( push(true, "Over a dialog") )
      shown_over = pump_until([] { return box().isVisible(); }, 2s);
    test_app().hide_wait_dialog();
    older.accept();
  });
  older.exec();
  EXPECT_TRUE(shown_over);
}

TEST_F(WaitBox, PollsProcessEventsNoMoreOftenThanTheirIntervals)
{
  // How often a tight loop of polls processed events during the span (two swaps per processing).
  const auto processings = [](std::chrono::milliseconds span) {
    test_app().reset_test_state();
    const auto end = steady::now() + span;
    while ( steady::now() < end )
      (void)_base_app_mixin_t::is_long_op_cancelled();
    return int(test_app().swaps().size() / 2);
  };
  // No box: at most once a second.
  EXPECT_LE(processings(1500ms), 2);
  // A pending box: at most every 50 ms, and the box still comes.
  ASSERT_TRUE(push(true, "Pending"));
  EXPECT_LE(processings(400ms), 400 / 50 + 1);
  ASSERT_TRUE(pump_until([] { return box().isVisible(); }));
  // A visible box: at most every 200 ms, but it does process (Cancel must stay clickable).
  const int visible = processings(1000ms);
  EXPECT_LE(visible, 1000 / 200 + 1);
  EXPECT_GE(visible, 2);
  test_app().hide_wait_dialog();
}

TEST_F(WaitBox, AWorkerThreadDrivesTheBoxAndKeepsItsErrorCode)
{
  std::atomic<bool> finished {false};
  bool taken = false;
  bool cancelled = false;
  int32_t error_after_hide = 0;
  std::thread worker([&] {
    taken = push(true, "NODELAY\nWorker operation");
    const auto deadline = steady::now() + 10s;
    while ( !cancelled && steady::now() < deadline )
      cancelled = _base_app_mixin_t::is_long_op_cancelled();
    qerrno_set(1234);
    test_app().hide_wait_dialog();
    error_after_hide = qerrno_get();
    finished = true;
  });
  ASSERT_TRUE(pump_until([] { return box().isVisible(); }));
  EXPECT_EQ(shown_text(), "Worker operation");
  QTest::mouseClick(box().cancel_button(), Qt::LeftButton);
  EXPECT_TRUE(pump_until([&] { return finished.load(); }));
  worker.join();
  EXPECT_TRUE(taken);
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(error_after_hide, 1234);
  EXPECT_FALSE(box().isVisible());

  // The same on the GUI thread.
  ASSERT_TRUE(push(true, "NODELAY\nGUI operation"));
  qerrno_set(77);
  test_app().hide_wait_dialog();
  EXPECT_EQ(qerrno_get(), 77);
  qerrno_set(0);
}

TEST_F(WaitBox, ARequestNoApplicationRanIsNotTakenAndPollsAsCancelled)
{
  // Requests that stay queued are cancelled before any run, as when no application runs them.
  test_app().may_run = [](exec_request_t *, bool) { return false; };
  std::atomic<int> step {0};
  bool taken = true;
  bool cancelled = false;
  std::thread worker([&] {
    taken = push(true, "NODELAY\nNever run");
    step = 1;
    cancelled = _base_app_mixin_t::is_long_op_cancelled();
    step = 2;
  });
  // The worker may pass both steps between two looks, so each wait is for "at least"; the worker is joined
  // whatever happens, so a failed wait never leaves a running thread behind.
  for ( int expected = 1; expected <= 2; ++expected )
    EXPECT_TRUE(pump_until([&] {
      (void)test_app().cancel_queued([](exec_request_t *) { return true; });
      return step.load() >= expected;
    }));
  worker.join();
  EXPECT_FALSE(taken);
  EXPECT_TRUE(cancelled);
  EXPECT_FALSE(box().isVisible());
}

TEST_F(WaitBox, TheCoreReachesTheBoxThroughItsMessageKinds)
{
  const framework_message_dispatcher_t dispatcher;
  for ( const bool from_worker : {false, true} )
  {
    std::atomic<int> step {0};
    const auto drive = [&] {
      send_ui_message(msg_kind_wait_show, "NODELAY\nCore %s", "work");
      step = 1;
      while ( step.load() == 1 )
        std::this_thread::sleep_for(1ms);
      send_ui_message(msg_kind_wait_text, "Core %d%%", 50);
      step = 3;
      while ( step.load() == 3 )
        std::this_thread::sleep_for(1ms);
      send_ui_message(msg_kind_wait_hide, "");
      step = 5;
    };
    std::thread worker;
    if ( from_worker )
      worker = std::thread(drive);
    const auto check = [&](int at, const char *text) {
      if ( !from_worker )
        return;
      ASSERT_TRUE(pump_until([&] { return step.load() == at; }));
      EXPECT_EQ(shown_text(), text);
      step = at + 1;
    };
    if ( from_worker )
    {
      check(1, "Core work");
      check(3, "Core 50%");
      ASSERT_TRUE(pump_until([&] { return step.load() == 5; }));
      worker.join();
    }
    else
    {
      send_ui_message(msg_kind_wait_show, "NODELAY\nCore %s", "work");
      EXPECT_EQ(shown_text(), "Core work");
      send_ui_message(msg_kind_wait_text, "Core %d%%", 50);
      EXPECT_EQ(shown_text(), "Core 50%");
      send_ui_message(msg_kind_wait_hide, "");
    }
    EXPECT_FALSE(box().isVisible()) << from_worker;
  }
}

} // namespace

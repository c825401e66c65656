// Long runs of log messages in the client's Output window: every line shown, in order, and the interface
// still gets its turn while a run goes on.
#include "client/app/akui_app.h"
#include "core/ui_callback.h"
#include "tests/client/client_session.h"
#include "tests/support/test_scale.h"
#include "ui/log_widget.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

// Counts the events it receives: a stand-in for a paint that waits in the queue.
class event_counter_t : public QObject
{
public:
  bool event(QEvent *event) override
  {
    if ( event->type() != QEvent::User )
      return QObject::event(event);
    ++received;
    return true;
  }
  int received = 0;
};

std::string numbered_line(const char *kind, size_t i)
{
  return std::string(kind) + " " + std::to_string(i);
}

TEST(OutputWindowBurst, ManyLinesOfOneMessageAndOfManyMessagesAllShowInOrder)
{
  log_widget_t &window = *client_session().log;
  const size_t count = scaled_for_sanitizers(5000);
  const size_t before = window.entry_count();

  // One message of many lines (how a server reply is logged), then as many one-line messages.
  std::string batch;
  for ( size_t i = 0; i < count; ++i )
    batch += numbered_line("batched", i) + "\n";
  EXPECT_GT(log_printf("%s", batch.c_str()), 0);
  for ( size_t i = 0; i < count; ++i )
    EXPECT_GT(log_printf("single %zu\n", i), 0);

  ASSERT_EQ(window.entry_count(), before + 2 * count);
  for ( size_t i = 0; i < count; ++i )
  {
    ASSERT_EQ(window.visible_text(before + i), numbered_line("batched", i)) << i;
    ASSERT_EQ(window.visible_text(before + count + i), numbered_line("single", i)) << i;
  }
}

TEST(OutputWindowBurst, ALongRunOfMessagesLetsWaitingEventsThrough)
{
  event_counter_t counter;
  QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
  // Messages come without a pause for well over the breathing interval; the waiting event gets its turn.
  const auto start = std::chrono::steady_clock::now();
  size_t logged = 0;
  while ( counter.received == 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(2) )
    (void)log_printf("run line %zu\n", logged++);
  EXPECT_EQ(counter.received, 1) << "after " << logged << " messages";

  // A message that comes after a pause starts a new run and does not stop for events.
  QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  (void)log_printf("after a pause\n");
  EXPECT_EQ(counter.received, 1);
  QCoreApplication::sendPostedEvents(&counter);
  EXPECT_EQ(counter.received, 2);
}

} // namespace

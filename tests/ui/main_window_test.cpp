// The main window's share of GUI-thread requests.
#include "tests/ui/app/test_app.h"

#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// An exec_requests() call posted from another thread runs the queue on the GUI thread.
TEST(MainWindowRequests, APostFromAnyThreadRunsTheQueueOnTheGuiThread)
{
  struct where_request_t : exec_request_t
  {
    int32_t run() override
    {
      on_gui = QThread::currentThread() == QCoreApplication::instance()->thread();
      return 0;
    }
    std::atomic<bool> on_gui {false};
  } request;
  (void)execute_request(&request, exec_flag_no_wait);
  std::thread([] { EXPECT_TRUE(test_app().main_window()->post_exec_requests()); }).join();
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_TRUE(request.on_gui);
  EXPECT_EQ(test_app().queued_entries(), 0u);
}

} // namespace

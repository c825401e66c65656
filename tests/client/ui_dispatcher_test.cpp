// The client's UI callback through the real framework: boxes, standard output, wait boxes, requests, exits.
#include "client/app/akui_app.h"
#include "client/app/ui_dispatcher.h"
#include "core/process_exit.h"
#include "core/ui_callback.h"
#include "tests/client/box_player.h"
#include "tests/client/client_session.h"
#include "tests/ui/app/event_pump.h"
#include "ui/log_widget.h"
#include "ui/wait_box.h"

#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdarg>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Sends code 24 the way the core does: the va_list travels by pointer.
int64_t send_message(int32_t kind, const char *format, ...)
{
  va_list va;
  va_start(va, format);
  const int64_t result = ui_callback(ui_code_message, kind, format, &va);
  va_end(va);
  return result;
}

struct counting_request_t final : exec_request_t
{
  int32_t run() override
  {
    ran_on_gui = QThread::currentThread() == QCoreApplication::instance()->thread();
    return 42;
  }
  bool ran_on_gui = false;
};

TEST(UiDispatcher, IsTheProcessCallback)
{
  EXPECT_EQ(ui_callback, &ui_callback_dispatcher);
}

TEST(UiDispatcher, BoxKindsShowTheirBoxThenPrintTheText)
{
  const struct
  {
    int32_t kind;
    const char *title;
    QMessageBox::Icon icon;
  } cases[] = {
    {msg_kind_info, "Information", QMessageBox::Information},
    {msg_kind_warning, "Warning", QMessageBox::Warning},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.title);
    box_player_t player;
    testing::internal::CaptureStdout();
    EXPECT_EQ(send_message(c.kind, "%s %d", "message", c.kind), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(player.seen.size(), 1u);
    EXPECT_EQ(player.seen[0].title, c.title);
    EXPECT_EQ(player.seen[0].icon, c.icon);
    EXPECT_EQ(player.seen[0].text, "message " + std::to_string(c.kind));
    EXPECT_EQ(out, "message " + std::to_string(c.kind));
  }
}

TEST(UiDispatcher, TextKindsOnlyPrint)
{
  for ( const int32_t kind : {4, 5, 8, 12, 40} )
  {
    SCOPED_TRACE(kind);
    box_player_t player;
    testing::internal::CaptureStdout();
    EXPECT_EQ(send_message(kind, "plain %d\n", kind), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "plain " + std::to_string(kind) + "\n");
    QTest::qWait(20);
    EXPECT_TRUE(player.seen.empty());
  }
}

TEST(UiDispatcher, ErrorAndFatalMessagesEndTheProcessAfterTheirBox)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for ( const int32_t kind : {msg_kind_error, msg_kind_fatal} )
  {
    SCOPED_TRACE(kind);
    EXPECT_EXIT(
      {
        box_player_t player;
        (void)send_message(kind, "it broke: %s", "disk");
        fprintf(stderr, "still running\n");
      },
      testing::ExitedWithCode(1), "");
  }
}

TEST(UiDispatcher, OneWaitBoxForShowReplaceAndHide)
{
  akui_app_t &app = *client_session().app;
  testing::internal::CaptureStdout();
  (void)send_message(msg_kind_wait_show, "NODELAY\nWorking on %s", "a");
  ASSERT_TRUE(pump_until([&] { return app.is_wait_dialog_visible(); }, 5s));
  WaitDialog *box = app.wait_dialog();
  (void)send_message(msg_kind_wait_text, "NODELAY\nWorking on %s", "b");
  ASSERT_TRUE(pump_until([&] { return box->label()->text().contains(QStringLiteral("Working on b")); }, 5s));
  EXPECT_EQ(app.wait_dialog(), box);
  (void)send_message(msg_kind_wait_hide, "done\n");
  ASSERT_TRUE(pump_until([&] { return !app.is_wait_dialog_visible(); }, 5s));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Working on a"), std::string::npos);
  EXPECT_NE(out.find("Working on b"), std::string::npos);
  EXPECT_NE(out.find("done\n"), std::string::npos);
}

TEST(UiDispatcher, AWorkersBoxHoldsTheWorkerUntilItIsClosed)
{
  std::atomic<bool> returned {false};
  bool returned_while_open = true;
  bool answered = false;
  // The box runs modally inside the GUI thread's event processing: the player answers it from there, after a
  // while in which the worker must not go on.
  box_player_t player([&](message_box_t &box) {
    QTest::qWait(50);
    returned_while_open = returned.load();
    QTest::keyClick(&box, Qt::Key_Return);
    answered = true;
  });
  std::thread worker([&] {
    (void)send_message(msg_kind_warning, "from the worker");
    returned = true;
  });
  ASSERT_TRUE(pump_until([&] { return returned.load(); }, 10s));
  worker.join();
  EXPECT_TRUE(answered);
  EXPECT_FALSE(returned_while_open) << "the worker went on while its box was open";
}

TEST(UiDispatcher, RequestsRunOnTheGuiThread)
{
  counting_request_t here;
  EXPECT_EQ(ui_callback(ui_code_exec_request, static_cast<exec_request_t *>(&here), int32_t(0)), 42);
  EXPECT_TRUE(here.ran_on_gui);
  counting_request_t there;
  std::atomic<int64_t> result {0};
  std::thread worker([&] { result = ui_callback(ui_code_exec_request, static_cast<exec_request_t *>(&there), 0); });
  ASSERT_TRUE(pump_until([&] { return result.load() != 0; }, 10s));
  worker.join();
  EXPECT_EQ(result.load(), 42);
  EXPECT_TRUE(there.ran_on_gui);
}

TEST(UiDispatcher, ConfigurationDirectivesAreUnknownAndOtherCodesAnswerZero)
{
  EXPECT_EQ(ui_callback(ui_code_cfg_directive, "SOME_DIRECTIVE = 1"), 1);
  EXPECT_EQ(ui_callback(ui_code_cfg_directive, ""), 1);
  for ( const int32_t code : {7, 11, 25, 27, 52, 53, 62, 89, 136, 137, 139, 165, 171, 177, 178, 9999, -1} )
    EXPECT_EQ(ui_callback(code, nullptr, nullptr, nullptr), 0) << code;
}

TEST(UiDispatcher, LogMessagesReachTheOutputWindow)
{
  const size_t before = client_session().log->entry_count();
  EXPECT_GT(log_printf("dispatched line %d\n", 7), 0);
  ASSERT_TRUE(pump_until([&] { return client_session().log->entry_count() > before; }, 5s));
}

} // namespace

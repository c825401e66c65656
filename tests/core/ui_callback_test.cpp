// The front functions reach the installed callback with the right codes, arguments and answers.
#include "core/ui_callback.h"

#include "core/process_exit.h"
#include "tests/support/recording_ui_callback.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(UiCallbackTest, MessageFrontsSendTheirCodesAndFormattedTexts)
{
  recording_ui_callback_t ui;
  ui.script(ui_code_log, 17);
  EXPECT_EQ(log_printf("line %d %a\n", 5, uint64_t(0xAB)), 17);
  info_printf("note %s", "n");
  warning_printf("careful %08a", uint64_t(1));
  const auto requests = ui.requests();
  ASSERT_EQ(requests.size(), 3u);
  struct expected_t
  {
    int32_t code;
    int32_t kind;
    const char *text;
  };
  const expected_t expected[] = {
    {ui_code_log, 0, "line 5 AB\n"},
    {ui_code_message, msg_kind_info, "note n"},
    {ui_code_message, msg_kind_warning, "careful 0000000000000001"},
  };
  for ( size_t i = 0; i < requests.size(); ++i )
  {
    EXPECT_EQ(requests[i].code, expected[i].code) << i;
    EXPECT_EQ(requests[i].kind, expected[i].kind) << i;
    EXPECT_EQ(requests[i].text, expected[i].text) << i;
  }
}

TEST(UiCallbackTest, QuestionsAnswerScriptedOrDefault)
{
  recording_ui_callback_t ui;
  EXPECT_EQ(question_printf(1, "Delete %d files?", 3), 1) << "the user accepts the default";
  ui.script(ui_code_question, -1);
  EXPECT_EQ(question_buttons_printf("Keep", nullptr, "Stop", 0, "Conflict in %s", "a.c"), -1);
  const auto asked = ui.requests_of(ui_code_question);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].text, "Delete 3 files?");
  EXPECT_EQ(asked[0].default_answer, 1);
  EXPECT_EQ(asked[1].labels[0], "Keep");
  EXPECT_EQ(asked[1].labels[1], "");
  EXPECT_EQ(asked[1].labels[2], "Stop");
  EXPECT_EQ(asked[1].text, "Conflict in a.c");
}

TEST(UiCallbackTest, FileNamesValuesAndForms)
{
  recording_ui_callback_t ui;
  EXPECT_EQ(prompt_file_name(false, "*.cfg", "Open %s", "config"), nullptr) << "cancelled";
  ui.script_file("/tmp/out.txt");
  const char *chosen = prompt_file_name(true, "out.txt", "Save");
  ASSERT_NE(chosen, nullptr);
  EXPECT_STREQ(chosen, "/tmp/out.txt");
  const auto files = ui.requests_of(ui_code_ask_file);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_FALSE(files[0].for_saving);
  EXPECT_EQ(files[0].default_name, "*.cfg");
  EXPECT_EQ(files[0].text, "Open config");
  EXPECT_TRUE(files[1].for_saving);

  qstring value("initial");
  EXPECT_FALSE(input_value_printf(&value, 3, "Name for %d", 1));
  EXPECT_EQ(value, "initial") << "cancel leaves the value";
  ui.script_value("typed");
  EXPECT_TRUE(input_value_printf(&value, 0, "Name"));
  EXPECT_EQ(value, "typed");
  const auto values = ui.requests_of(ui_code_input_value);
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0].kind, 3);
  EXPECT_EQ(values[0].value, "initial");
  EXPECT_EQ(values[0].text, "Name for 1");

  ui.script(ui_code_form_dialog, 1);
  int field = 0;
  EXPECT_EQ(form_dialog_printf("BUTTON YES*\nForm\n<#~H~ost:q10:64::>\n", &field), 1);
  EXPECT_EQ(form_widget_printf("Widget form", 8), nullptr);
  const auto widgets = ui.requests_of(ui_code_form_widget);
  ASSERT_EQ(widgets.size(), 1u);
  EXPECT_EQ(widgets[0].kind, 8);
  EXPECT_EQ(widgets[0].text, "Widget form");
}

TEST(UiCallbackTest, UnhandledCodeAnswersZeroAndDirectiveIsNotRecognised)
{
  recording_ui_callback_t ui;
  EXPECT_EQ(ui_callback(999), 0);
  EXPECT_EQ(ui_callback(ui_code_cfg_directive, "UNKNOWN_KEY = 1"), 1);
  EXPECT_EQ(ui.requests_of(ui_code_cfg_directive)[0].text, "UNKNOWN_KEY = 1");
}

struct answer_request_t : exec_request_t
{
  int32_t run() override
  {
    ran_on = std::this_thread::get_id();
    return 42;
  }
  std::thread::id ran_on;
};

TEST(UiCallbackTest, ExecRequestsRunAndAnswerTheirResult)
{
  recording_ui_callback_t ui;
  answer_request_t request;
  EXPECT_EQ(ui_callback(ui_code_exec_request, static_cast<exec_request_t *>(&request), int32_t(0)), 42);
  EXPECT_EQ(request.stamp, 42u);
  auto *detached = new answer_request_t;
  EXPECT_GT(ui_callback(ui_code_exec_request, static_cast<exec_request_t *>(detached), int32_t(exec_flag_no_wait)),
            0)
    << "a ticket; the request owned itself and is gone";
}

TEST(UiCallbackTest, WorkerThreadsReachTheCallback)
{
  recording_ui_callback_t ui;
  std::thread worker([] { log_printf("from worker %d", 2); });
  worker.join();
  const auto logs = ui.requests_of(ui_code_log);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].text, "from worker 2");
}

TEST(UiCallbackTest, WithoutCallbackFrontsAnswerCancelledOrDefault)
{
  ASSERT_EQ(ui_callback, nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(log_printf("quiet %d", 1), 0);
  warning_printf("warned %s", "w");
  EXPECT_EQ(question_printf(0, "Sure?"), 0);
  EXPECT_EQ(question_printf(-1, "Really?"), -1);
  EXPECT_EQ(prompt_file_name(false, "", "File"), nullptr);
  qstring value("v");
  EXPECT_FALSE(input_value_printf(&value, 0, "Value"));
  EXPECT_EQ(form_dialog_printf("form"), 0);
  EXPECT_EQ(form_widget_printf("form", 0), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "quiet 1warned w\nSure?\nReally?\n");
}

TEST(UiCallbackDeathTest, ErrorAndFatalKindsDoNotReturn)
{
  for ( int32_t kind : {msg_kind_error, msg_kind_fatal} )
  {
    EXPECT_EXIT(
      {
        recording_ui_callback_t ui;
        send_ui_message(kind, "stop %d", kind);
      },
      testing::ExitedWithCode(1), "stop [03]")
      << kind;
  }
}

} // namespace

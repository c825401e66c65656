// The repository's Connect dialog run with its form hosted for a test: the test plays the user.
#pragma once

#include "core/registry.h"
#include "repo/connect_form.h"
#include "repo/login_credentials.h"
#include "tests/forms/form_widget_fixture.h"

#include <gtest/gtest.h>

#include <functional>

// A saved login with a server and a proxy, the proxy not in use, the login to be saved.
inline arkive_credentials_t sample_connect_credentials()
{
  arkive_credentials_t credentials;
  credentials.user = "alice";
  credentials.host = "srv";
  credentials.port = 8080;
  credentials.proxy.host = "px";
  credentials.proxy.port = 3128;
  credentials.proxy.user = "pu";
  credentials.password = "secret";
  credentials.flags = credentials_save;
  return credentials;
}

// Runs the credentials' Connect dialog: its form is compiled with the arguments the dialog passes, told it is
// ready and shown, then `play` drives it and answers the dialog's result. The dialog's own answer.
inline int run_connect_form(arkive_credentials_t &credentials, const std::function<int(hosted_form_t &)> &play)
{
  EXPECT_TRUE(registry_select_app("akui"));
  recording_ui_callback_t ui;
  bool played = false;
  ui.script_form([&](const char *text, va_list args) -> int64_t {
    played = true;
    hosted_form_t hosted;
    form_args_t cursor(args);
    EXPECT_TRUE(compile_form(hosted.form, text, cursor));
    EXPECT_EQ(hosted.form->call_form_callback(form_code_ready), 1);
    EXPECT_TRUE(hosted.show());
    return play(hosted);
  });
  const int answer = credentials.run_connect_dialog(nullptr, nullptr, 1);
  EXPECT_TRUE(played);
  return answer;
}

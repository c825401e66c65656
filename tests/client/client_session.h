// The client suite's application: the real application object, logger, Output window and main window, started
// as the program starts them up to its login.
#pragma once

class akui_app_t;
class akui_main_window_t;
class log_widget_t;

// The suite's started client; valid while the tests run.
struct client_session_t
{
  akui_app_t *app;
  akui_main_window_t *window;
  log_widget_t *log;
};
[[nodiscard]] const client_session_t &client_session();

// Runs every test inside a started client (made by the suite's main).
int run_client_session(int &argc, char **argv);

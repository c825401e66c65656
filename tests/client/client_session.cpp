// The client suite's application, started the way the program starts itself.
#include "tests/client/client_session.h"

#include "client/app/akui_app.h"
#include "client/app/akui_logger.h"
#include "client/app/akui_main_window.h"
#include "client/app/client_config.h"
#include "client/app/startup.h"
#include "client/app/ui_dispatcher.h"
#include "core/message_catalog.h"
#include "core/registry.h"

#include <gtest/gtest.h>

namespace {

client_session_t session {};

} // namespace

const client_session_t &client_session()
{
  return session;
}

int run_client_session(int &argc, char **argv)
{
  install_ui_callback_dispatcher();
  (void)registry_select_app("akui");
  init_help_system("zuk.hlp");
  akui_app_t app(argc, argv);
  akui_logger_t logger {qstring()};
  log_widget_t *log = prepare_application(app);
  int result = 0;
  {
    akui_main_window_t window(client_config());
    prepare_main_window(app, window, log, argc, argv);
    session = {&app, &window, log};
    result = RUN_ALL_TESTS();
    session = {};
    app.delete_wait_dialog();
  }
  return result;
}

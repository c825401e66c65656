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
#include "tests/ui/app/desktop_views.h"
#include "ui/docks/desktop_widgets.h"
#include "ui/log_widget.h"

#include <gtest/gtest.h>

namespace {

client_session_t session {};

// The views of the default desktop that later parts of the client make, stood in by plain views so that the
// desktop can be shown whole.
class stand_in_view_factory_t : public title_desktop_widget_factory_t
{
public:
  explicit stand_in_view_factory_t(const char *name) : title_desktop_widget_factory_t(name, 1) {}
  QWidget *create_widget(const char *name, const json_object_t *) override
  {
    return new desktop_test_view_t(QString::fromUtf8(name));
  }
};

void register_stand_in_views()
{
  static stand_in_view_factory_t factories[] = {stand_in_view_factory_t("Arkive files"),
                                                stand_in_view_factory_t("Local files"),
                                                stand_in_view_factory_t("Worklists"),
                                                stand_in_view_factory_t("Commits")};
  for ( stand_in_view_factory_t &factory : factories )
    register_desktop_widget_factory(&factory);
}

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
    register_stand_in_views();
    session = {&app, &window, log};
    result = RUN_ALL_TESTS();
    session = {};
    app.delete_wait_dialog();
  }
  // An Output window that no dock took over (a test closed its dock) is still the session's, as in the program.
  if ( log_widget_t *left = app.log_widget(); left != nullptr && left->parent() == nullptr )
    delete left;
  return result;
}

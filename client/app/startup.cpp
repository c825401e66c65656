// The program's start-up, in the order its steps depend on each other, and its shutdown.
#include "client/app/startup.h"

#include "client/app/akui_app.h"
#include "client/app/akui_logger.h"
#include "client/app/akui_main_window.h"
#include "client/app/client_actions.h"
#include "client/app/client_config.h"
#include "client/app/desktop_factories.h"
#include "client/app/stored_desktop.h"
#include "client/app/ui_dispatcher.h"
#include "client/views/file_assocs.h"
#include "client/views/worklists_view.h"
#include "core/debug_flags.h"
#include "core/directories.h"
#include "core/environment.h"
#include "core/message_catalog.h"
#include "core/registry.h"
#include "core/ui_callback.h"
#include "forms/inputs/form_services.h"
#include "forms/text/syntax_highlighter.h"
#include "forms/text/zxl_highlighter.h"
#include "platform/crash_report.h"
#include "script/runtime/zxl_engine.h"
#include "ui/docks/desktop_widgets.h"
#include "ui/exception_handler.h"
#include "ui/log_widget.h"
#include "ui/shortcut_table.h"
#include "ui/theme_stylesheets.h"
#ifdef AKUI_TEST_HOOKS
#include "client/app/window_probe.h"
#endif

#include <memory>

namespace {

constexpr int main_window_width = 1280;
constexpr int main_window_height = 800;
// Close flags of the Output window: it survives its dock, and closes on Escape only when the configuration says.
constexpr uint32_t log_close_flags_by_esc = 0x400000C0;
constexpr uint32_t log_close_flags_kept = 0x40000140;

void name_crash_report(char *buf, size_t size, const crash_time_t &time, long pid, int)
{
  format_crash_name(buf, size, "akui", time, pid);
}

void apply_theme(akui_app_t &app)
{
  theme_t theme;
  if ( !read_env_var("AKUI_THEME", &theme.name) )
    theme.name = "default";
  qstring error;
  if ( load_theme_stylesheets(&theme, &error) )
    app.apply_stylesheet(theme);
  else
    log_printf("NOTE: Couldn't load theme: %s\n", error.c_str());
}

// The script language's highlighter: the forms library builds it, the engine's record only points at it.
void start_script_engine()
{
  static const std::unique_ptr<zuk_syntax_highlighter_t> highlighter = build_zxl_highlighter();
  zxl_language_record.highlighter = highlighter.get();
  zxl_init();
}

} // namespace

void install_crash_reports()
{
  (void)install_fault_signal_reports(name_crash_report);
}

void apply_escape_rules(akui_app_t &app, log_widget_t *log, const akui_client_config_t &config)
{
  app.close_by_esc_default = config.escape_closes_docks != 0;
  (void)set_widget_close_flags(log, config.tool_closed_by_esc != 0 ? log_close_flags_by_esc : log_close_flags_kept);
}

log_widget_t *prepare_application(akui_app_t &app)
{
  QCoreApplication::setOrganizationName(QString::fromLatin1(organisation_name));
  QCoreApplication::setOrganizationDomain(QString::fromLatin1(organisation_domain));
  QCoreApplication::setApplicationName(QString::fromLatin1(program_display_name));
  app.create_app_wait_dialog();
  install_form_services();
  auto *log = new log_widget_t;
  log->setWindowTitle(QStringLiteral("Log"));
  app.watch_log_widget(log);
  apply_theme(app);
  return log;
}

void prepare_main_window(akui_app_t &app, akui_main_window_t &window, log_widget_t *log, int argc, char **argv)
{
  window.resize(main_window_width, main_window_height);
  app.register_resource_icons();
  QApplication::setWindowIcon(app.icon_by_name("/large.png"));
  log->setWindowIcon(app.icon_by_name("icons/widgets/log_widget.svg"));
  app.watch_main_window(&window);
  register_client_actions();
  start_script_engine();
  akui_client_config_t &config = client_config();
  load_client_config(&config, argc, argv);
  apply_actions_shortcuts_config();
  apply_escape_rules(app, log, config);
  window.build_menus();
  window.build_toolbars();
  register_client_desktop_factories();
  install_worklists_view_chooser();
  merge_start_credentials(&config.default_credentials, argc, argv);
  (void)app.facade.add_handler(&app);
}

int akui_main(int argc, char **argv)
{
  install_ui_callback_dispatcher();
  (void)registry_select_app("akui");
  init_help_system("zuk.hlp");
  akui_app_t app(argc, argv);
#ifdef AKUI_TEST_HOOKS
  const window_probe_t probe;
#endif
  install_crash_reports();
  leading_options_t options;
  consume_leading_options(&argc, argv, &options);
  if ( options.debug_flags_given )
    debug_flags = options.debug_flags;
  int result = exit_login_cancelled;
  {
    akui_logger_t logger(options.log_path);
    log_widget_t *log = prepare_application(app);
    {
      akui_main_window_t window(client_config());
      prepare_main_window(app, window, log, argc, argv);
      restore_main_window_state(app);
      window.show();
      // A cancelled login ends the program without touching the stored desktop.
      if ( app.perform_login(true) )
      {
        restore_desktop(app);
        load_or_store_default_file_assocs();
        result = app.exec();
      }
      app.delete_wait_dialog();
    }
    // An Output window that no dock took over is still ours.
    if ( log_widget_t *left = app.log_widget(); left != nullptr && left->parent() == nullptr )
      delete left;
  }
  return result;
}

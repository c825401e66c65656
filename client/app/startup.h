// The program's start-up and shutdown: the main routine and the steps it takes in order.
#pragma once

class akui_app_t;
struct akui_client_config_t;
class akui_main_window_t;
class log_widget_t;

// Exit codes of the program besides the event loop's result.
inline constexpr int exit_login_cancelled = 0;
inline constexpr int exit_fatal = 1;
inline constexpr int exit_no_catalogue = 255;

// The organisation and program names under which Qt keeps its own settings.
inline constexpr char organisation_name[] = "Quorvin";
inline constexpr char organisation_domain[] = "zuk-kollab.example";
inline constexpr char program_display_name[] = "ZUK Kollab";

// The application's names, wait box, Output window ("Log", no parent, watched by the application) and theme
// (AKUI_THEME, else "default"; a theme that does not load is a log note). Answers the Output window.
log_widget_t *prepare_application(akui_app_t &app);

// The configuration's Escape rules: whether Escape closes any dock, and whether it closes the Output window.
void apply_escape_rules(akui_app_t &app, log_widget_t *log, const akui_client_config_t &config);

// Everything between the main window's construction and its first showing: size, icons, the actions, the script
// engine, the configuration (argv's "-D" directives included), shortcuts, Escape rules, menus, toolbars, the
// desktop factories, the start's login data, and the application listening to the facade's events.
void prepare_main_window(akui_app_t &app, akui_main_window_t &window, log_widget_t *log, int argc, char **argv);

// The whole program: start-up, login, the event loop and shutdown; answers the exit code.
int akui_main(int argc, char **argv);

// Writes a crash report "akui-YYYYMMDD-HHMMSS-<pid>.dmp" for the process's fault signals.
void install_crash_reports();

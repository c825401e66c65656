// The client's application object: the process's QApplication and the owner of everything that is not a widget.
#pragma once

#include "client/app/arkive_with_events.h"
#include "client/app/progress_display.h"
#include "client/views/file_assocs.h"
#include "core/event_source.h"
#include "core/qstring.h"
#include "core/qvector.h"
#include "repo/wire_records.h"
#include "ui/action_context.h"
#include "ui/app_base.h"
#include "ui/exception_handler.h"
#include "ui/object_lifecycle_monitor.h"
#include "ui/ui_action_registry.h"
#include "ui/widget_factory.h"
#include "views/chooser/chooser_factory.h"

#include <QTimer>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

class akui_main_window_t;
class arkive_listing_cache_t;
class log_widget_t;

// Internal errors of the application object.
constexpr int INTERR_UNSUPPORTED_APP_OPERATION = 2475;
constexpr int INTERR_LOG_WINDOW_DESTROYED = 40345;

// Widget kinds of the client (bit k of a kind mask is kind k).
enum akui_widget_kind_t : int
{
  akui_kind_arkive_files = 0,
  akui_kind_local_files = 1,
  akui_kind_worklists = 2,
  akui_kind_commits = 3,
  akui_kind_sites = 4,
  akui_kind_users = 5,
  akui_kind_file_history = 6,
  akui_kind_commit_files = 7,
  akui_kind_file_assocs = 8,
  akui_kind_worklist_files = 9,
  akui_kind_log = 16,
};
constexpr uint64_t all_widget_kinds = ~uint64_t(0);
// Widget class of the file-tree widgets (an action's widget_classes).
constexpr uint64_t widget_class_file_tree = 0x10000;

// The Qt event that asks views to reload: a mask of widget kinds; a view whose kind bit is set reloads.
class refresh_dirty_widgets_event_t : public QEvent
{
public:
  static constexpr QEvent::Type event_type = QEvent::Type(3001);
  explicit refresh_dirty_widgets_event_t(uint64_t kinds) : QEvent(event_type), mask(kinds) {}
  uint64_t mask;
};

// The delay between the first dirty mark and the refresh event: marks that come meanwhile join it.
constexpr int dirty_refresh_delay_ms = 250;

// The client's application object, made once on the main routine's stack. Every client module reaches it
// through akui_app(). Promises: the refresh event carries the union of every kind marked since the last one,
// and the pending mask is empty after it; main_window() and log_widget() are null once those are destroyed.
// GUI thread only.
class akui_app_t : public app_t,
                   public win32_exception_handler_t,
                   public ui_action_context_provider_t,
                   public ui_widget_factory_t,
                   public chooser_widget_factory_t,
                   public event_handler_t
{
  Q_OBJECT

public:
  // The QApplication, then the settings "ShowDeletedFiles" and "ShowIgnoredFiles" of "Config".
  akui_app_t(int &argc, char **argv);
  ~akui_app_t() override;

  // ---- Windows the application watches -----------------------------------------------------------------
  void watch_main_window(akui_main_window_t *window);
  void watch_log_widget(log_widget_t *widget);
  [[nodiscard]] akui_main_window_t *client_main_window() const;

  // ---- app_t ------------------------------------------------------------------------------------------------
  ui_main_window_t *main_window() override;
  log_widget_t *log_widget() override;
  QIcon app_icon(int kind) override;
  QKeySequence help_key_sequence() override { return QKeySequence(); }
  // A default font; unless the domain is tabular the preferred fixed-width family, 10 points.
  QFont default_domain_font(const font_domain_t &domain) override;
  bool stored_domain_font(QFont *, const font_domain_t &) override { return false; }
  // The "akui_themes" search directories, the installation directory's first.
  void themes_dir_name(qvector<qstring> *out) override;
  QMenu *user_menu_root(const QString &name) override;
  // For a popup with an owner: an activation context, UI callback 138 (the widget fills the popup), the
  // permanent entries, UI callback 139.
  void populate_popup(popup_menu_ctx_t *popup, const void *position, int kind) override;
  // Its own icons under ":/AKUI/resources/" ("/large.png", "icons/actions/...", "icons/widgets/..."), then the
  // framework's.
  void register_resource_icons() override;

  // ---- _base_app_mixin_t --------------------------------------------------------------------------------------
  bool swap_event_processing_state(bool) override { return false; }
  // -1 for none, 16 for the Output window, a chooser's kind, -1 for any other widget.
  int widget_kind_of(QWidget *widget) override;
  // "History of " and "Commit #" titles stand for every window of their kind.
  bool query_generic_title(QString &out, QWidget *widget) override;
  ui_widget_factory_t *get_widget_factory() override { return this; }
  win32_exception_handler_t *get_exception_handler() override { return this; }
  // The client has no help topics.
  void show_help(int32_t) override {}
  bool message_boxes_enabled() override { return true; }
  ui_action_registry_t *get_action_registry() override { return &actions_; }
  ui_action_context_provider_t *get_action_context_provider() override { return this; }
  int compute_action_state(ui_action_t *action, ui_action_update_ctx_t *context) override;
  // The framework's run of the handler, then 1.
  int activate_action_handler(ui_action_t *action, ui_action_activation_ctx_t *context, action_extra_t *extra) override;
  // The Output window keeps its own close flags; a client view of kind k closes on Escape when bit k of
  // CLOSED_BY_ESC is set, and never otherwise. While a desktop is applied nothing is shown (null).
  DockWidget *present_widget(QWidget *widget, const dock_options_t *placement) override;
  // Appends the text to the Output window; once a run of messages has gone on for 50 ms, lets the interface
  // breathe.
  int write_log_message(msg_data_t &msg, uint32_t flags) override;
  // With set: adds the kinds to the pending mask and (re)starts the 250 ms timer when that changed it.
  // Without: clears those bits.
  void refresh_widgets(uint64_t kind_mask, bool set) override;
  [[nodiscard]] uint64_t pending_refresh_mask() const { return pending_refresh_mask_; }

  // ---- ui_action_context_provider_t ---------------------------------------------------------------------------
  // The framework's fill, then bit 0 (local site usable) of the context flags and the file-tree class.
  void fill_update_context(ui_action_update_ctx_t *context) override;
  // Kinds 3 to 9.
  bool is_chooser_kind(int widget_kind) override;
  chooser_view_t *context_chooser_widget(action_ctx_base_t *context) override;
  filtered_widget_mixin_t *context_filtered_widget(action_ctx_base_t *context) override;

  // ---- ui_widget_factory_t ------------------------------------------------------------------------------------
  // An akui_action_t with its QAction (parented to the application, added to the main window).
  std::unique_ptr<ui_action_t> create_client_action(const ui_action_desc_t &desc) override;
  QMenu *new_menu(const QString &title, QWidget *parent) override;
  QLabel *new_label(const QString &text) override;
  DockWidget *new_dock_widget(QWidget *content, uint32_t flags) override;
  int32_t map_code(int32_t code) override { return code; }
  // The views library's quick filter bar and column filters dialog (client/app/list_widget_factory.cpp).
  QWidget *new_quick_filter_widget(QWidget *parent) override;
  ui_dialog_t *new_edit_filters_dialog(filtered_widget_mixin_t *engine, QWidget *parent) override;
  // Keeps a tree view's state under its window title.
  dirtree_widget_persistence_helper_t *new_dirtree_persistence_helper(QWidget *view) override;

  // ---- chooser_widget_factory_t (installed while the application lives) ------------------------------------
  // An akui_chooser_widget_t.
  chooser_widget_t *new_chooser_widget(const chooser_widget_setup_t &setup) override;
  chooser_table_widget_t *new_table_view(chooser_widget_t *owner) override;
  // Keeps the chooser's header state under its generic title.
  std::unique_ptr<chooser_persistence_helper_t> new_chooser_persistence_helper(chooser_widget_t *widget) override;

  // ---- win32_exception_handler_t ------------------------------------------------------------------------------
  void dump_file_name(qstring *out, const std::exception_ptr &fault, const tm &local_time, long pid,
                      bool internal_error) override;
  void after_dump_message(const std::exception_ptr &fault, const char *path, bool internal_error,
                          bool written) override;
  int32_t no_dump_message(const std::exception_ptr &fault) override;

  // ---- Settings -------------------------------------------------------------------------------------------------
  [[nodiscard]] bool show_deleted_files() const { return show_deleted_files_; }
  [[nodiscard]] bool show_ignored_files() const { return show_ignored_files_; }
  // Inverts the setting, stores it, ticks its action and refreshes the views that show it; the new value.
  bool toggle_show_deleted_files();
  bool toggle_show_ignored_files();
  // The same for a given value; nothing when it is unchanged.
  void set_show_deleted_files(bool value);
  void set_show_ignored_files(bool value);
  // ---- File dialogs and desktops --------------------------------------------------------------------------------
  // "All files (*)|*|".
  const char *file_dialog_filter() override { return "All files (*)|*|"; }
  // The folder file dialogs start in: one serves both kinds. True when one is set.
  bool get_default_dir(qstring *out, int kind) override;
  // Null or empty clears it.
  void set_default_dir(int kind, const char *folder) override;
  // The client's default desktop (parsed from its built-in text).
  bool default_desktop_layout(desktop_config_t &out) override;

  // ---- Connection state (client/app/login.cpp) -----------------------------------------------------------------
  // The one road to the server; without a connection until the login installs one.
  arkive_with_events_t facade;
  // The progress display of the work-directory file systems.
  akui_progressor_t progressor;
  // Whether a connection exists and does not report itself broken.
  [[nodiscard]] bool has_usable_connection() const { return facade.is_usable(); }
  // Brings the client to a logged-in connection: at the first login an automatic attempt with the stored
  // password when a user is known, else (and when it fails) the Connect dialog until a login succeeds or the
  // user cancels; then the remembered site, or the one whose name the user and host suggest, or else a new
  // site the user enters in the new-site form (used and remembered). False when
  // cancelled: the connection state is then unchanged.
  bool perform_login(bool first);
  // Deletes the current connection (once none of its operations runs) and installs the new one (or none)
  // with the network-failure handler and a message sink; then an update pass of the actions.
  void set_connection(std::unique_ptr<arkive_connection_t> connection);
  // Makes the site current; logs "Using local site %s\n" and remembers it on success, warns on failure unless
  // quiet. The stored default site of the server and user is kept after 53 and 47, stored after a success
  // while credentials are saved, and removed otherwise.
  bool use_local_site(const char *name, bool quiet);
  // Fills the status labels: "Disconnected", "No info", or the server, client, user, site and root directory.
  // Internal error 80085 without a main window.
  void connection_info();

  // ---- Caches the facade's events invalidate (client/app/app_events.cpp) --------------------------------------
  // The opened file of that path (compared byte by byte), fetched with the user's opened files when the list is
  // stale; null when the file is not opened or the list could not be fetched.
  [[nodiscard]] const worklist_file_t *opened_file(const char *path);
  // Server paths whose resolve is in progress.
  qvector<qstring> merges_in_progress;
  // Whether the path is in merges_in_progress (compared byte by byte).
  [[nodiscard]] bool is_resolving(const char *path) const;
  // Marks the opened files stale: the next opened_file fetches them again.
  void mark_opened_files_stale();
  // The cache of server folder listings, made at first use.
  [[nodiscard]] arkive_listing_cache_t &listing_cache();
  // Empties the listing cache; with refresh, every Arkive files view reloads.
  void forget_listings(bool refresh);
  // Frees the listing cache (the destructor's).
  void destroy_listing_cache();
  // The results of the last search of the server's files.
  qvector<arkive_file_info_t> find_results;

  // ---- File commands' state for the run ---------------------------------------------------------------------
  // The right side last chosen in "Diff against..." (2: the local file, 1: the revision below), kept for the
  // next one (client/commands/external_tools.cpp).
  uint16_t diff_any_choice = 2;
  int32_t diff_any_revision = 0;
  // The revision the next File history view selects (-3: the site's), the last one selected when a history
  // closed (client/views/file_history_view.cpp).
  int32_t history_revision = -3;

  // The application's answer to the facade's events: clears or marks stale the caches they concern and marks
  // the views to refresh. Answers null: later listeners hear the event too.
  void *handle(uint64_t code, va_list va) override;
  // The copy of the last server information read (user, local site, client host, the site's root directory).
  arkive_server_info_t server_info;
  // The connected server's endpoint text.
  qstring server_text;
  // The current local site's name, empty when none is used.
  [[nodiscard]] const qstring &current_site_name() const { return server_info.session.site; }
  // This host's name, fetched on first use.
  const qstring &computer_name_text();

  // ---- File-extension associations (client/views/file_assocs.cpp) -----------------------------------------
  // The associations in use: empty until the start-up loads them (or stores the defaults).
  file_assoc_list_t file_assocs;
  // The tool of the kind (view, diff, merge; another kind is internal error 80146) for the file's extension,
  // else of "*". False when there is none or its program is empty. With an out command it receives the
  // program and the arguments: with expand, "%" escapes of both are expanded over the file (local side), the
  // second file (remote side, may be null) and the third (base name, may be null), and a template without
  // "%" gets the quoted path of the file appended; without expand, the stored program and template. The merge
  // template is the method's (1 auto, 2 prefer local, 3 prefer remote, 4 manual; another method: empty).
  [[nodiscard]] bool find_file_assoc_command(file_assoc_command_t *out, int kind, const char *file,
                                             const char *second_file, const char *third_file, int merge_method,
                                             bool expand) const;

  // ---- Paths ----------------------------------------------------------------------------------------------------
  // The current site's root directory joined with the server path's components by "/" ("/" and "\\" both
  // separate components). False (out untouched) when a component is "." or "..": such a path would leave the
  // site.
  [[nodiscard]] bool to_local_path(qstring *out, const char *server_path) const;

public slots:
  // Runs the action of the triggering QAction, then an update pass with reason 3.
  void action_triggered();
  // Sends the refresh event with the pending kinds to every widget, then clears them.
  void on_dirty_widgets_refresh_timer();
  // A lost connection that could not be restored (always run from a queued call): drops the connection, marks
  // every view dirty and brings the Connect dialog back through "logon".
  void on_network_failure();

private:
  void store_show_setting(bool *setting, bool value, const char *registry_name, const char *action_name);

  QTimer refresh_timer_;
  uint64_t pending_refresh_mask_ = 0;
  object_lifecycle_monitor_t main_window_watch_;
  object_lifecycle_monitor_t log_widget_watch_;
  ui_action_registry_t actions_;
  qstring default_dir_;
  qstring computer_name_;
  bool show_deleted_files_ = false;
  bool show_ignored_files_ = false;
  // The breathing rule of the Output window: when the current run of messages began (or last breathed) and
  // when its latest message came.
  std::chrono::steady_clock::time_point log_run_start_;
  std::chrono::steady_clock::time_point last_log_message_;
  std::map<std::string, worklist_file_t> opened_files_; // by server path
  bool opened_files_stale_ = true;
  std::unique_ptr<arkive_listing_cache_t> server_files_;
};

// The application object; null when none exists.
[[nodiscard]] akui_app_t *akui_app();

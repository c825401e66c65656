// The UI suite's application object: an app_t that answers the application's operations the way tests need.
#pragma once

#include "tests/ui/app/test_actions.h"
#include "ui/desktop_layout.h"
#include "ui/app_base.h"
#include "ui/exception_handler.h"
#include "ui/layout_helpers.h"
#include "ui/main_window.h"
#include "ui/ui_action_registry.h"
#include "ui/widget_factory.h"

#include <QPointer>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Records the faults that the framework's guards hand over. Thread-safe.
class recording_exception_handler_t : public win32_exception_handler_t
{
public:
  int32_t handle(const std::exception_ptr &fault) override;
  // Never reached: handle writes no report.
  void dump_file_name(qstring *, const std::exception_ptr &, const tm &, long, bool) override {}
  void after_dump_message(const std::exception_ptr &, const char *, bool, bool) override {}
  int32_t no_dump_message(const std::exception_ptr &) override { return 0; }
  // The what() texts of the faults handled so far ("?" for an exception of another type).
  [[nodiscard]] std::vector<std::string> faults() const;
  void clear();

private:
  mutable std::mutex mutex_;
  std::vector<std::string> faults_;
};

// Makes plain widgets, as the client's factory does.
class test_widget_factory_t : public ui_widget_factory_t
{
public:
  QMenu *new_menu(const QString &title, QWidget *parent) override;
  QLabel *new_label(const QString &text) override;
  // A plain dock, as the client's factory makes (flags passed through).
  DockWidget *new_dock_widget(QWidget *content, uint32_t flags) override;
  int32_t map_code(int32_t code) override { return code; }
  std::unique_ptr<ui_action_t> create_client_action(const ui_action_desc_t &desc) override
  {
    return make_test_client_action(desc, std::move(stray_handler));
  }
  // Given to the next action made, as a factory that breaks the rules would (the registry repairs it).
  std::unique_ptr<action_handler_t> stray_handler;
  // Makes the persistence helpers of tree views while set (the views' tests keep their state in memory).
  dirtree_widget_persistence_helper_t *new_dirtree_persistence_helper(QWidget *view) override
  {
    return dirtree_persistence != nullptr ? dirtree_persistence(view) : nullptr;
  }
  std::function<dirtree_widget_persistence_helper_t *(QWidget *)> dirtree_persistence;
};

// The main window of the tests; its central widget is the application's top-level dock area.
class test_main_window_t : public ui_main_window_t
{
  Q_OBJECT

public:
  test_main_window_t() = default;
  // As the client: "File", "View", "Actions", "Search", "Help".
  void default_menubar_menus(QStringList *out) override;
  // Records every call in toolbars_added.
  void on_toolbar_added(QToolBar *toolbar) override { toolbars_added.push_back(toolbar); }
  // "@probe" adds an action with the text "probe" to the target; any other name is refused.
  bool add_special_item(const char *name, QWidget *target) override;

  std::vector<QToolBar *> toolbars_added;
};

// The application object of the UI suite, made by its test main. Widget kinds come from the int property
// "widget_kind" (-1 without it). The queue hooks call the test's functions while they are set.
class test_app_t : public app_t
{
  Q_OBJECT

public:
  test_app_t(int &argc, char **argv);
  ~test_app_t() override;

  // ---- The application's operations ---------------------------------------------------------------
  bool swap_event_processing_state(bool state) override;
  int widget_kind_of(QWidget *widget) override;
  ui_widget_factory_t *get_widget_factory() override { return &factory_; }
  // exception_handler when a test set one, else the recording handler.
  win32_exception_handler_t *get_exception_handler() override
  {
    return exception_handler != nullptr ? exception_handler : &faults_;
  }
  ui_main_window_t *main_window() override { return window_.get(); }
  ui_action_registry_t *get_action_registry() override { return &actions_; }
  ui_action_context_provider_t *get_action_context_provider() override { return &action_provider_; }
  // Records the refresh in refreshes.
  void refresh_widgets(uint64_t kind_mask, bool set) override { refreshes.emplace_back(kind_mask, set); }
  // As the client: domains without flag 2 get the fixed-pitch 10-point font, the others the application font.
  QFont default_domain_font(const font_domain_t &domain) override
  {
    return (domain.flags & font_domain_tabular) == 0 ? fixed_pitch_font(10) : QFont();
  }
  // The font of stored_fonts under the domain's name, when there is one.
  bool stored_domain_font(QFont *out, const font_domain_t &domain) override
  {
    const auto found = stored_fonts.find(std::string(domain.name.view()));
    if ( found == stored_fonts.end() )
      return false;
    *out = found->second;
    return true;
  }
  void themes_dir_name(qvector<qstring> *out) override { *out = themes_dirs; }
  // ---- Popups and user menus ----------------------------------------------------------------------------
  // The main window's named menu of that name.
  QMenu *user_menu_root(const QString &name) override;
  // As the client: for a popup with an owner, an activation context, UI callback code 138 (the widget fills
  // the popup through the dispatcher's answer, answer_popup_requests), the permanent entries, code 139.
  void populate_popup(popup_menu_ctx_t *popup, const void *position, int kind) override;

  // ---- Logging and the Output window ------------------------------------------------------------------
  // on_log_message while set, else appends to log_window when there is one; answers the text length.
  int write_log_message(msg_data_t &msg, uint32_t flags) override;
  log_widget_t *log_widget() override { return log_window; }
  log_widget_t *log_window = nullptr; // not owned; the tests' Output window
  std::function<int(msg_data_t &, uint32_t)> on_log_message;
  // What the font and theme operations answer; tests set them.
  std::map<std::string, QFont> stored_fonts;
  // Replaces the recording handler while set (not owned).
  win32_exception_handler_t *exception_handler = nullptr;
  qvector<qstring> themes_dirs;

  // ---- Message boxes --------------------------------------------------------------------------------
  // Records the topic in helps_shown.
  void show_help(int32_t help_id) override { helps_shown.push_back(help_id); }
  bool message_boxes_enabled() override { return boxes_enabled; }
  QIcon app_icon(int /*kind*/) override { return empty_icon(); }
  // F1.
  QKeySequence help_key_sequence() override { return QKeySequence(Qt::Key_F1); }
  // The topics shown so far, and what message_boxes_enabled answers; tests set and clear them.
  std::vector<int32_t> helps_shown;
  bool boxes_enabled = true;

  // ---- Desktops ------------------------------------------------------------------------------------
  // Parses default_desktop (the client's default desktop unless a test changed it); false when it does not.
  bool default_desktop_layout(desktop_config_t &out) override;
  QWidget *default_focus_widget() override { return default_focus; }
  // Record the calls in dock_insertions and layouts_built (with the place holders left at that time).
  void on_dock_inserted(DockWidget *dock, ComplexDockWidget *container) override;
  void on_desktop_layout_built(const desktop_config_t &desktop) override;
  std::string default_desktop;
  QPointer<QWidget> default_focus;
  std::vector<std::pair<QString, const ComplexDockWidget *>> dock_insertions; // leaf title, container
  std::vector<int> layouts_built;                                             // place holders still docked
  // Gives the desktop state back: the client's default desktop, no default focus, no records.
  void reset_desktop_state();

  // ---- File dialogs ---------------------------------------------------------------------------------
  bool native_file_dialogs() override { return native_dialogs; }
  // As the client's: "All files (*)|*|".
  const char *file_dialog_filter() override { return "All files (*)|*|"; }
  // One remembered folder per kind.
  bool get_default_dir(qstring *out, int kind) override;
  void set_default_dir(int kind, const char *folder) override;
  // What native_file_dialogs answers, and the remembered folders; tests set and clear them.
  bool native_dialogs = true;
  std::map<int, std::string> default_dirs;

  // ---- Queue hooks ----------------------------------------------------------------------------------
  void before_request_batch(bool flag) override;
  bool intercept_request(exec_request_t *request) override;
  bool may_run_request(exec_request_t *request, bool nested) override;

  // What the hooks ask while set (called under the queue lock, except before_batch). Any thread may
  // read them; tests set them only while no request is in flight.
  std::function<void()> before_batch;
  std::function<bool(exec_request_t *)> intercept;
  std::function<bool(exec_request_t *, bool)> may_run;
  // Clears the hooks, the recorded faults and the recorded swaps.
  void reset_test_state();

  // Cancels (remove_queued_request with cancel) every queued entry whose request `which` picks; answers
  // how many. Takes the queue lock; any thread.
  size_t cancel_queued(const std::function<bool(exec_request_t *)> &which);
  // The number of queue entries (stale ones included). Takes the queue lock.
  [[nodiscard]] size_t queued_entries();
  // Sets the id counter, as if that many requests had been queued. Takes the queue lock.
  void set_last_request_id(int32_t id);

  [[nodiscard]] recording_exception_handler_t &fault_record() { return faults_; }
  [[nodiscard]] test_widget_factory_t &widget_factory() { return factory_; }
  [[nodiscard]] test_action_context_provider_t &action_provider() { return action_provider_; }
  // The refresh_widgets calls, in order.
  std::vector<std::pair<uint64_t, bool>> refreshes;
  // The arguments of swap_event_processing_state calls, in order.
  [[nodiscard]] const std::vector<bool> &swaps() const { return swaps_; }

private:
  test_widget_factory_t factory_;
  recording_exception_handler_t faults_;
  std::vector<bool> swaps_;
  std::unique_ptr<test_main_window_t> window_;
  test_action_context_provider_t action_provider_;
  ui_action_registry_t actions_; // its QActions are children of the application object
};

// The suite's application object.
[[nodiscard]] test_app_t &test_app();

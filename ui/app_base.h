// The application object of the framework: the Qt application together with the framework's own state and hooks.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"
#include "core/threads.h"
#include "ui/font_domains.h"
#include "ui/icon_registry.h"
#include "ui/object_lifecycle_monitor.h"
#include "ui/request_queue.h"

#include <QApplication>
#include <QDialog>
#include <QKeySequence>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdarg>
#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

struct action_ctx_base_t;
class action_extra_t;
class app_t;
class ui_action_context_provider_t;
class ui_action_registry_t;
class ui_action_t;
struct ui_action_activation_ctx_t;
struct ui_action_update_ctx_t;
class ui_main_window_t;
struct popup_menu_ctx_t;
class QMenu;
struct theme_t;
class ui_widget_factory_t;
class WaitDialog;
class BaseDockWidget;
class DockWidget;
class TopLevelDockArea;
class ComplexDockWidget;
struct dock_options_t;
class QCloseEvent;
struct desktop_config_t;
struct closed_dock_t;
class win32_exception_handler_t;
struct message_box_header_t;
struct msg_data_t;
class log_widget_t;
class QAccessibleInterface;

// The framework's half of the application object (app_t's second base): the GUI-thread request queue
// and the operations that the application's subclass supplies ("pure") or refines.
// Promises: execute_request / queue_request may be called from any thread; everything else belongs to
// the GUI thread.
class _base_app_mixin_t
{
public:
  explicit _base_app_mixin_t(app_t *owner);
  virtual ~_base_app_mixin_t();
  _base_app_mixin_t(const _base_app_mixin_t &) = delete;
  _base_app_mixin_t &operator=(const _base_app_mixin_t &) = delete;

  // The application object this half belongs to.
  [[nodiscard]] app_t *app() const { return app_; }

  // ---- Event loop ---------------------------------------------------------------------------------
  // Ends the Qt event loop with that code.
  virtual void quit_event_loop(int code);
  // Called by app_t::process_events with false before it processes events and with the previous answer
  // afterwards (pure; the client answers false and does nothing).
  virtual bool swap_event_processing_state(bool state) = 0;

  // ---- Widgets, kinds and titles -----------------------------------------------------------------
  // The core widget (core_widget_of) of the focus widget, or null.
  [[nodiscard]] virtual QWidget *focused_core_widget();
  // The application's numeric kind of a widget, -1 for a widget of no known kind (pure).
  [[nodiscard]] virtual int widget_kind_of(QWidget *widget) = 0;
  // The widget's title in UTF-8: a chooser widget's own title, any other widget's window title.
  // False (out untouched) for null.
  virtual bool title_of_widget(qstring &out, QWidget *widget);
  // The text of the widget's "get_generic_title()" slot when it has one that answers a non-empty text,
  // else its window title; true when the result is not empty.
  virtual bool query_generic_title(QString &out, QWidget *widget);
  // The factory that creates the framework's widgets and controls (pure).
  [[nodiscard]] virtual ui_widget_factory_t *get_widget_factory() = 0;
  // Shows a widget in the desktop (ui/app_docks.cpp): as a dock of the top-level dock area placed by the
  // record (null: no placement; a dock of the same title is reused). Answers the dock, null without an area.
  // The application refines it (its close flags for the widget's kind).
  virtual DockWidget *present_widget(QWidget *widget, const dock_options_t *placement);

  // ---- Faults --------------------------------------------------------------------------------------
  // The handler that the framework's guards hand caught faults to (pure; null: faults are only swallowed).
  [[nodiscard]] virtual win32_exception_handler_t *get_exception_handler() = 0;

  // ---- Remembered message-box answers (ui/app_hidden_answers.cpp) ---------------------------------
  // The answer stored for a header's scope: REGISTRY reads the integer value named by its key under
  // "Hidden Messages" (-1 there means none), SESSION the session entry with its hash; other scopes keep
  // nothing. True and *answer set when one is stored.
  virtual bool get_hidden_answer(int32_t *answer, const message_box_header_t &header);
  // Stores the answer for the header's scope (REGISTRY or SESSION: true); other scopes store nothing (false).
  virtual bool set_hidden_answer(const message_box_header_t &header, int32_t answer);
  // Forgets every session answer and deletes the registry's "Hidden Messages".
  virtual void reset_hidden_answers();

  // ---- Message boxes (ui/message_box.h) -----------------------------------------------------------
  // Shows a help topic (the Help buttons of message boxes and forms) (pure).
  virtual void show_help(int32_t help_id) = 0;
  // False: message boxes answer their default answer without being shown (pure).
  [[nodiscard]] virtual bool message_boxes_enabled() = 0;

  // ---- Actions (ui/app_actions.cpp) ---------------------------------------------------------------
  // The application's action registry, and the one for actions registered with description flag 0x10 (the
  // client answers the same registry for both). The base has none: null.
  [[nodiscard]] virtual ui_action_registry_t *get_flagged_action_registry();
  [[nodiscard]] virtual ui_action_registry_t *get_action_registry();
  // The state an action's masks give in a context: 2 when the widget kind is one of the action's (or the
  // action is for every kind) and every required context flag is present, else 7; 6 when the kind is not
  // one of the action's and no widget-class bit matches either. Internal error 40725 without flag 0x80000.
  [[nodiscard]] virtual int compute_action_state(ui_action_t *action, ui_action_update_ctx_t *context);
  // The provider of action contexts and update passes. The base has none: null.
  [[nodiscard]] virtual ui_action_context_provider_t *get_action_context_provider();
  // Runs the action from the user interface when its state is 3 or lower; true when it ran and answered
  // non-zero. False for null.
  virtual bool trigger_action_if_enabled(ui_action_t *action);
  // Calls the action handler's activate (or update) with the action and context made current meanwhile;
  // the previous ones come back afterwards, also when the handler throws.
  virtual int activate_action_handler(ui_action_t *action, ui_action_activation_ctx_t *context, action_extra_t *extra);
  virtual int update_action_handler(ui_action_t *action, ui_action_update_ctx_t *context);
  // The action's recomputed state (ui_action_t::recompute_state); 4 for null.
  virtual int recompute_action_state(ui_action_t *action, ui_action_update_ctx_t *context);
  // Refreshes the widgets of the kinds in the mask after an action ran (set: mark them for refresh); the
  // base does nothing.
  virtual void refresh_widgets(uint64_t kind_mask, bool set);
  // The action whose handler runs now, and its context; null when none.
  [[nodiscard]] ui_action_t *current_action() const { return current_action_; }
  [[nodiscard]] action_ctx_base_t *current_action_context() const { return current_action_context_; }

  // ---- Logging (ui/app_logging.cpp) --------------------------------------------------------------
  // The application's display of one log message (flags: LOG_FLAG_TIMESTAMPS), run on the GUI thread by the
  // logger's delivery; answers the text length (pure: the client appends it to its Output window).
  virtual int write_log_message(msg_data_t &msg, uint32_t flags) = 0;

  // ---- GUI-thread requests -----------------------------------------------------------------------
  // Runs or queues a request (execute_request calls it). Without flag 4 on the GUI thread the request
  // runs at once and its result is answered. Otherwise it is stamped and queued under the lock (unless
  // intercept_request takes it), the GUI thread is woken, and: with flag 4 the new id is answered at
  // once; else the caller sleeps until the request ran and answers its result (-1 when it was cancelled
  // or its run faulted). Any thread.
  int64_t queue_request(exec_request_t *request, int32_t flags, int32_t id);
  // Runs the queue on the GUI thread (the main window's exec_requests() slot calls it with false):
  // stale entries are dropped unrun, entries that may_run_request refuses stay for a later pass, every
  // other request is taken out and run outside the lock, and a waiting caller gets its result. Entries
  // added during the pass, also by the runs, are reached in the same pass; a run may start a nested pass.
  void run_queued_requests(bool nested);

  // Hooks of the queue. Called at the start of each pass that is not nested, with false; the base does nothing.
  virtual void before_request_batch(bool flag);
  // Asked under the lock before a request is queued; true keeps it out of the queue. The base answers false.
  [[nodiscard]] virtual bool intercept_request(exec_request_t *request);
  // Asked under the lock before a queued request runs; false leaves it in place for a later pass.
  // The base answers true.
  [[nodiscard]] virtual bool may_run_request(exec_request_t *request, bool nested);
  // Removes the entry at an index (called under the lock). With cancel, a no-wait request is deleted
  // and a waiting request's caller wakes with -1; without, the request is not touched. An override
  // removes the entry by calling this base.
  virtual void remove_queued_request(size_t index, bool cancel);

  // ---- Wait box (ui/wait_box.cpp) -------------------------------------------------------------------
  // Every operation runs as a GUI-thread request, so any thread may call it.
  // Formats the text and shows it: a new box (pending for 500 ms unless the text asks NODELAY), or a
  // replacement of the shown text. False when the request was not taken: a replacement with no box pending
  // or shown, or no application to run it.
  [[nodiscard]] bool push_wait_dialog_request(const char *format, va_list va, bool is_new);
  // Pops the top text; the box hides when none remain. Keeps the caller's error code.
  void hide_wait_dialog();
  [[nodiscard]] bool is_wait_dialog_visible();
  // Set or clear the cancelled mark (the Cancel button is disabled while it is set).
  static void cancel_long_op();
  static void clear_long_op_cancellation();
  // The poll of a long operation: whether the shown box was cancelled, keeping the interface alive at a
  // throttled rate. False during a paint event on the GUI thread; true without an application.
  [[nodiscard]] static bool is_long_op_cancelled();
  // The wait box, null before create_app_wait_dialog.
  [[nodiscard]] WaitDialog *wait_dialog() const { return wait_dialog_.get(); }

protected:
  std::unique_ptr<WaitDialog> wait_dialog_;
  // Told by every request's destructor while an application object exists (app_t installs it).
  static void forget_destroyed_request(exec_request_t *request);

  // The queue. Guarded by request_queue_lock, which subclasses take to examine or cancel entries. An
  // entry whose request was destroyed while queued keeps a null request until a pass drops it, so
  // that no index of a running pass moves.
  critical_section_t *request_queue_lock = nullptr; // owned
  std::deque<request_queue_entry_t> request_queue;   // arrival order; a deque: the runner takes from the front
  int32_t last_request_id = 0;

private:
  // A request taken out of the queue and running; `destroyed` is set when its destructor ran meanwhile.
  struct running_request_t
  {
    exec_request_t *request;
    bool destroyed;
  };

  // The session's remembered answers {hash, answer}, searched linearly; GUI thread only.
  std::vector<std::pair<uint32_t, int32_t>> session_answers_;

  void append_entry(exec_request_t *request, int32_t id);
  void erase_entry(size_t index);
  void answer_waiting(exec_request_t *request, int32_t result);
  void remove_guarded(size_t index, const exec_request_t *request, bool cancel);
  void wake_gui_thread();

  app_t *app_; // not owned: the object this half is part of
  ui_action_t *current_action_ = nullptr;             // not owned; set while its handler runs
  action_ctx_base_t *current_action_context_ = nullptr; // not owned
  // Guarded by request_queue_lock: how often each request is listed, and the requests running now
  // (nested passes stack up), so that a destroyed request leaves no entry and is never touched again.
  std::unordered_map<const exec_request_t *, uint32_t> queued_counts_;
  std::vector<running_request_t> running_;
  // True while an exec_requests() call is posted and its pass has not begun: one call serves every
  // request queued until then.
  std::atomic<bool> pass_posted_ {false};
};

// The Qt application object of the framework. The application's subclass supplies the pure operations;
// every part of the user interface reaches it through current_app().
// Promises: user input is dropped while the wait-box timer runs (and the release of a dropped press
// later too), unless a modal widget is active; a closed menu gets no mouse input; the focus ring remembers the last
// ten focus widgets.
class app_t : public QApplication, public _base_app_mixin_t
{
  Q_OBJECT

public:
  // Builds the QApplication, then the request-queue lock (internal error 40195 when it cannot be
  // made), the focus monitors, the wait-box timer, the focus tracking and the message-box style.
  app_t(int &argc, char **argv);
  ~app_t() override;

  // ---- Windows and event processing --------------------------------------------------------------
  // QApplication::activeWindow.
  [[nodiscard]] virtual QWidget *active_window();
  // The main window, null before it exists (pure).
  [[nodiscard]] virtual ui_main_window_t *main_window() = 0;
  // Processes Qt events for at most that time, user input excluded when asked; does nothing while a
  // paint event is delivered.
  virtual void process_events(int milliseconds, bool exclude_user_input);
  // QApplication's own notify, which the override below delivers through.
  virtual bool base_notify(QObject *receiver, QEvent *event);
  // Filters every event (input drop, closed menus' mouse input, paint mark, dark-theme repolish), then delivers it.
  bool notify(QObject *receiver, QEvent *event) override;
  // True while a paint event is being delivered.
  [[nodiscard]] bool in_paint_event() const { return in_paint_event_; }
  // The application's dark-theme value: true when the palette's window colour is dark.
  [[nodiscard]] bool os_dark_theme() const;

  // Whether a dialog restores and remembers its geometry (ui_dialog_t::exec); true.
  [[nodiscard]] virtual bool keeps_dialog_geometry(QDialog * /*dialog*/) { return true; }

  // ---- Message boxes (ui/message_box.h) -----------------------------------------------------------
  // The application's icon; kinds 0 to 2 are asked for (a message box's window icon is kind 0) (pure).
  [[nodiscard]] virtual QIcon app_icon(int kind) = 0;
  // The shortcut of Help buttons (pure).
  [[nodiscard]] virtual QKeySequence help_key_sequence() = 0;

  // ---- Focus --------------------------------------------------------------------------------------
  // The focus tracker: remembers each new focus widget in the ring and makes its core widget the main
  // window's active one (nothing for null or while a popup is active).
  virtual void track_focus(QWidget *old, QWidget *now);
  // The most recent remembered widget that still exists and qualifies, the newest examined last:
  // without flag 1 any widget; with flag 1 a visible widget or one inside a dock; with flags 1 and 2
  // only a widget inside a dock. Null when none.
  [[nodiscard]] QWidget *recent_focused_widget(int flags) const;

  // ---- Wait box -----------------------------------------------------------------------------------
  // The single-shot timer that runs while a wait box is requested but not yet shown.
  [[nodiscard]] QTimer *wait_box_timer() { return &wait_box_timer_; }
  // Makes the wait box (start-up) and deletes it (shutdown; the destructor does it too).
  void create_app_wait_dialog();
  void delete_wait_dialog();
  // Monotonic nanoseconds at which the pending box was requested.
  int64_t wait_box_request_time = 0;

  // ---- Icons (ui/icon_registry.h) ----------------------------------------------------------------
  // Registers the icon under the name (null: "<id>.png") and answers its new id.
  int32_t register_icon(const QIcon &icon, const char *name) { return icons_.register_icon(icon, name); }
  // The icon of a name or an id; an empty icon when it is not registered.
  [[nodiscard]] QIcon icon_by_name(const char *name) const { return icons_.icon_by_name(name); }
  [[nodiscard]] virtual QIcon icon_by_id(int32_t id) const;
  [[nodiscard]] virtual QIcon empty_icon() const;
  // The id registered for the icon's cache key, -1 when none is.
  [[nodiscard]] int32_t icon_id_of(const QIcon &icon) const { return icons_.icon_id_of(icon); }
  // Registers the icons of the framework's resource folder under their file names (an application registers
  // its own first, then calls this base).
  virtual void register_resource_icons();
  [[nodiscard]] const icon_registry_t &icon_registry() const { return icons_; }

  // ---- Fonts (ui/font_domains.h) -----------------------------------------------------------------
  // The domains, filled at construction.
  [[nodiscard]] const std::vector<font_domain_t> &font_domains() const { return font_domains_; }
  // The stored font of the named domain (stored_domain_font's answer); false for a name not in the table.
  [[nodiscard]] bool font_of_domain(QFont *out, const char *domain_name);
  // Gives every live widget whose domain is an entry's domain that entry's font (set_widget_font), each
  // widget before its children; widgets destroyed meanwhile are skipped.
  virtual void apply_fonts(const std::vector<domain_font_t> &fonts);
  // The application's default font of a domain, and the font it stored for it (pure).
  [[nodiscard]] virtual QFont default_domain_font(const font_domain_t &domain) = 0;
  [[nodiscard]] virtual bool stored_domain_font(QFont *out, const font_domain_t &domain) = 0;

  // ---- Themes and histories (ui/theme_stylesheets.h, ui/input_history.h) --------------------------
  // The directories to search for themes, in order (pure).
  virtual void themes_dir_name(qvector<qstring> *out) = 0;
  // Applies a loaded theme: forgets the main window's theme icons, sets the joined style sheet (flags 3),
  // repolishes the main window, hands it the sheet's "themeicon" declarations (feed_theme_icons) and re-applies
  // the theme icons of the flagged actions.
  virtual void apply_stylesheet(const theme_t &theme);
  // False: combo boxes that show an input history get no completer.
  [[nodiscard]] virtual bool combo_completion_enabled() { return true; }

  // ---- Popups and user menus (ui/app_popups.cpp, ui/popup_menu.h) ------------------------------------
  // The application's top-level menu named by the first component of a user-menu path, or null (pure).
  [[nodiscard]] virtual QMenu *user_menu_root(const QString &name) = 0;
  // Fills a context menu before it is shown (position and kind as exec_popup got them); the base does nothing.
  virtual void populate_popup(popup_menu_ctx_t *popup, const void *position, int kind);
  // Shows a context menu: lets the application fill it (an empty one is not shown), names it "ctxmenu",
  // opens it modally at the position (kind POPUP_AT_EVENT: a QContextMenuEvent's global position,
  // POPUP_AT_POINT: a global QPoint; another kind is internal error 40390) with the popup's captions
  // swapped in, and afterwards gives every action its own text back and unregisters the actions the popup
  // generated. The popup is current_popup() meanwhile.
  virtual void exec_popup(popup_menu_ctx_t *popup, const void *position, int kind);
  // The popup being shown, null when none.
  [[nodiscard]] popup_menu_ctx_t *current_popup() const { return current_popup_; }

  // ---- Docks (ui/app_docks.cpp) -------------------------------------------------------------------
  // Installs the top-level dock area and connects its close signal to on_dock_close_event; internal error
  // 2566 for null or when one is installed already.
  void set_top_level_dock_area(TopLevelDockArea *area);
  // The top-level dock area; null before it is installed and once it is destroyed.
  [[nodiscard]] TopLevelDockArea *top_level_dock_area() const;
  // Closes a widget: its dock (or the widget as a dock node) in a dock area through that area with a fresh
  // close event and the flags; a widget in no area and no container goes to close_plain_widget.
  void close_hosted_widget(QWidget *widget, uint32_t flags);
  // Closes a widget outside the dock trees: refreshes the actions of a focused dock first (unless flag 2),
  // sends event 2002 to its tree, detaches it from its area and deletes it (later with flag 8).
  virtual void close_plain_widget(QWidget *widget, uint32_t flags);
  // Hides the widget's dock in its dock area.
  virtual void hide_hosted_widget(QWidget *widget);
  // Raises the dock that holds the widget in the top-level area (mode 1 with activate); false without area
  // or dock.
  bool raise_widget_dock(QWidget *widget, bool activate);
  // The dock enclosing the focused core widget, or null.
  [[nodiscard]] DockWidget *focused_dock();
  // Copies the closed-docks entry of the widget's generic title; false without title or entry.
  bool closed_dock_entry_of_widget(closed_dock_t *out, QWidget *widget);
  // The widget a dock hosts for a widget, and the holder of a widget's close flags when none of it and its
  // three nearest ancestors has them: the widget itself in the framework.
  [[nodiscard]] virtual QWidget *dock_widget_for(QWidget *widget) { return widget; }
  [[nodiscard]] virtual QObject *close_flags_holder_default(QWidget *widget);
  // Leaves full screen, sends ISaveStateEvent to every leaf dock's widget tree, then closes (close_plain_widget,
  // from the last leaf to the first) every dock whose content is not persistent and, unless force, not kept.
  virtual void save_widget_states(bool force);
  // Escape closes a dock whose close flags hold 0x80, never one whose flags hold 0x100, and otherwise only
  // when this is set.
  bool close_by_esc_default = false;

  // ---- Desktops (ui/app_desktop.cpp, ui/desktop_layout.h) ----------------------------------------------
  // Writes the current desktop into out (leaving full screen first): the dock trees of the top-level area and
  // its floating areas with their window geometry, the widgets' configuration, the focus dock, the main
  // window's state and the closed docks. Answers desktop_config_t::adopt's result (internal error 40613 when
  // out holds a desktop already).
  virtual bool save_desktop(desktop_config_t &out);
  // Rebuilds the desktop. A desktop that check_desktop refuses is reported once and answered false, with
  // nothing changed. Otherwise, unless flag 1, the docks are closed first (save_widget_states without force);
  // the widgets left in docks are taken out and reused for leaves of their name; the trees, the main window's
  // state, menu bar and toolbars are restored; widgets the new desktop leaves out are treated by their close
  // flags; unless flag 2 the focus goes to the "focus" dock (else to default_focus_widget's). Unless flag 4
  // the closed docks of the default desktop join those of the desktop. True.
  virtual bool apply_desktop(const desktop_config_t &desktop, uint32_t flags);
  // The steps taken on a stored desktop before the main window is first shown: when "layout" has a "main"
  // object, the main window's geometry from its "area_geom", then the menu bar and the toolbars.
  virtual void restore_main_window(const desktop_config_t &desktop);
  // The application's default desktop (pure); false when it has none.
  virtual bool default_desktop_layout(desktop_config_t &out) = 0;
  // The widget to focus after a desktop that names no focus was applied; the base answers null.
  [[nodiscard]] virtual QWidget *default_focus_widget() { return nullptr; }
  // Called while a desktop is applied: after its trees are configured, before the real widgets replace the
  // place holders; the base does nothing.
  virtual void on_desktop_layout_built(const desktop_config_t &desktop);
  // Called for every leaf dock placed into a container while a layout is read; the base does nothing.
  virtual void on_dock_inserted(DockWidget *dock, ComplexDockWidget *container);
  // Set while apply_desktop runs (the form widgets read it).
  bool applying_desktop = false;

  // ---- File dialogs (forms/inputs/input_requests.h) ------------------------------------------------
  // True: the file dialogs are the platform's own; false: Qt's widgets.
  [[nodiscard]] virtual bool native_file_dialogs() { return true; }
  // The filter text of a file request that brings none ("description|patterns|...") (pure).
  [[nodiscard]] virtual const char *file_dialog_filter() = 0;
  // The folder remembered for file requests of a kind (0 saving, 1 opening); true when one is (pure).
  virtual bool get_default_dir(qstring *out, int kind) = 0;
  // Remembers the folder for the kind; a null or empty text forgets it (pure).
  virtual void set_default_dir(int kind, const char *folder) = 0;

  // ---- Output window (ui/app_logging.cpp) ---------------------------------------------------------
  // The application's Output window, null when it has none (pure).
  [[nodiscard]] virtual log_widget_t *log_widget() = 0;
  // True: windows that append log text repaint later (update) rather than at once (repaint).
  [[nodiscard]] virtual bool defer_log_repaints() { return true; }
  // The accessible object of an object the application describes itself: a new one for an Output window
  // (the caller owns it), else null. Qt asks it through the factory that Output windows install.
  [[nodiscard]] virtual QAccessibleInterface *accessible_for(QObject *object);

public slots:
  // Remembers where each leaf of the closing subtree stood, in the closed-docks list.
  void on_dock_close_event(BaseDockWidget *dock, QCloseEvent *event);
  // The docks a user closed: in full screen, leaves it and raises their widgets' docks instead; otherwise each
  // dock's widget tree hears ISaveStateEvent, persistent docks are hidden and the others closed
  // (close_plain_widget with the options and 8). A dock that a request closed or hid earlier in the same pass
  // of the event loop is left alone (closing a floating window asks twice).
  void on_user_docks_deletion_request(QList<DockWidget *> docks, uint32_t options);
  // Shows a dock alone, full screen, after saving the desktop (leaving full screen first); null means the dock
  // of the focused core widget. False without a dock.
  bool enter_full_screen(DockWidget *dock);
  // Applies the desktop saved by enter_full_screen (flags 3), removes the full-screen window and gives the focus
  // back to the widget that had it. False when not in full screen or without a top-level area.
  bool leave_full_screen();
  [[nodiscard]] bool is_full_screen() const { return full_screen_desktop_ != nullptr; }
  void on_focus_changed(QWidget *old, QWidget *now);
  // The pending box's half second is over: show it, unless a newer modal dialog runs (then wait again).
  void on_timeout_show_wait_dialog();

private:
  // The Escape step of notify: an Escape key press that no widget accepted closes the receiver's dock when the
  // close flags say so (consumed: true). A dock receiver consumes it without closing.
  bool close_dock_on_escape(QObject *receiver, QEvent *event);
  // The core-widget step of focus tracking (ui/app_focus.cpp): the main window deactivates its active core
  // widget, an update pass with reason 8 runs, the core widget of the new focus is activated and a pass with
  // reason 7 runs. Nothing when the focus has no core widget, there is no main window, or it is active already.
  void switch_active_core_widget(QWidget *now);
  popup_menu_ctx_t *current_popup_ = nullptr; // the popup shown now; not owned

  bool drop_user_input(QEvent *event);
  void repolish_for_theme(QObject *receiver);

  static constexpr int RECENT_FOCUS_SIZE = 10;
  std::array<object_lifecycle_monitor_t, RECENT_FOCUS_SIZE> recent_focus_;
  int recent_focus_pos_ = RECENT_FOCUS_SIZE; // index of the newest entry; the first store goes to entry 0
  QTimer wait_box_timer_;
  icon_registry_t icons_;
  std::vector<font_domain_t> font_domains_ = default_font_domains();
  object_lifecycle_monitor_t top_level_dock_area_; // the top-level dock area (ui/app_docks.cpp)
  // The desktop saved when a dock went full screen; non-null exactly while in full screen. The full-screen
  // window, removed when full screen ends.
  std::unique_ptr<desktop_config_t> full_screen_desktop_;
  QPointer<QWidget> full_screen_area_;
  // Docks that a deletion request closed or hid since the event loop last came round, so that a repeated
  // request leaves them alone.
  QList<QPointer<DockWidget>> closed_by_request_;
  bool in_paint_event_ = false;
  // Presses dropped by the input filter whose releases are still to come: those releases are dropped
  // too, every other release is delivered, so nothing stays pressed or grabbed.
  Qt::MouseButtons dropped_buttons_;
  QSet<int> dropped_keys_;
};

// The application object, null when none exists or it is not an app_t.
[[nodiscard]] app_t *current_app();

// The nearest of the widget and its parents that has a "form_activate()" method; null for null, when
// none has one, or when the walk meets first a window that is a wait box or a message box, or a menu
// or menu bar.
[[nodiscard]] QWidget *core_widget_of(QWidget *widget);

// The device pixel ratio of the widget's window, else of the active window, else 1.
[[nodiscard]] qreal widget_device_pixel_ratio(const QWidget *widget);

// Puts a UTF-8 text on the system clipboard.
void copy_text_to_clipboard(const char *text);

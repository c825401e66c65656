// The base of the application's main window: the receiver of queued GUI-thread requests, the keeper of theme
// icons and the registry of the named menus and configured toolbars.
#pragma once

#include "core/json_value.h"

#include <QMainWindow>
#include <QMap>
#include <QMetaMethod>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QMenu;
class QToolBar;
class object_lifecycle_monitor_t;

// The dynamic int property of a menu that names its role: 1 Edit, 2 Search, 3 Jump.
inline constexpr char menu_role_property[] = "tivex_menu_role";

// The dynamic string property of a menu that says where set_menubar_menus puts it when it is not listed.
inline constexpr char user_menu_path_property[] = "user_menu_path";

// The role (1 Edit, 2 Search, 3 Jump, else 0) of a menu name: the part after the first ':' (the whole name
// without one) must be exactly one of those words.
[[nodiscard]] int menu_role_of_name(const QString &name);

// The QMainWindow that the application's window derives from.
// Promises: post_exec_requests may be called from any thread; everything else belongs to the GUI thread.
class ui_main_window_t : public QMainWindow
{
  Q_OBJECT

public:
  // Looks up its own "exec_requests()" slot (internal error 40438 when the class lacks it).
  explicit ui_main_window_t(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
  // Deletes the menus it made that are still alive and have no parent.
  ~ui_main_window_t() override;

  // ---- Overridable behaviour ----------------------------------------------------------------------------
  // The names of the menu bar's menus when no saved list exists.
  virtual void default_menubar_menus(QStringList *out) = 0;
  // Called after each toolbar (null for a toolbar break) is added from the configuration.
  virtual void on_toolbar_added(QToolBar *toolbar);
  // Adds the special item `name` (it begins with '@') to the target; true when it did. The base adds none.
  virtual bool add_special_item(const char *name, QWidget *target);
  // The name of the standard menu of a role word: its part after the first ':' (the whole word without one).
  [[nodiscard]] virtual QString standard_menu_name(const QString &role_word) const;

  // ---- Named menus and toolbars -------------------------------------------------------------------------
  // A new menu from the widget factory with that title and parent. A non-empty name becomes its object name,
  // registers it (taking the name over from an earlier menu) and gives it the name's role.
  QMenu *make_menu(const QString &name, const QString &title, QWidget *parent);
  [[nodiscard]] QMenu *find_named_menu(const QString &name) const;
  // The configured toolbar of that object name, or null.
  [[nodiscard]] QToolBar *find_toolbar(const QString &name) const;
  // Puts the named menus on the menu bar in that order, instead of the menus it shows; an unknown name is
  // logged and skipped. Menus taken off stay alive and can come back by a later call; those that carry a
  // "user_menu_path" text go where it says (attach_user_menu).
  void set_menubar_menus(const QStringList &names);
  // Places a menu by a path: before the named menu when the path names one on the menu bar; when it names no
  // menu, inside the application's menu named by its first component (app_t::user_menu_root), at the rest of
  // the path resolved as a popup path (missing submenus made); in every other case at the end of the menu bar.
  void attach_user_menu(QMenu *menu, const QString &path);
  // Adds the configured toolbars back in creation order, each visible exactly when its name is listed.
  void set_toolbars(const QStringList &names);
  // The toolbars a desktop shows when it has no usable window state: set_toolbars with the names of its
  // "default_toolbars" when that is an array of strings only, else with no names.
  void restore_toolbars_from_desktop(const json_object_t &desktop);
  // The menu bar of a desktop: set_menubar_menus with the names of its "menubar" array (no names when one
  // element is not a string), or with default_menubar_menus when it has no "menubar" array.
  void restore_menubar_from_desktop(const json_object_t &desktop);

  // A shadow of the registered action `action_name` (parented to this window) whose menu holds the items of
  // the named menu; null when the menu does not exist, and null after a log line when the action is unknown,
  // or when it has no QAction.
  QAction *make_menu_shadow_action(const char *action_name, const QString &menu_name);
  // A new menu of that name (make_menu with the source's title and the parent) holding the source's items and
  // its role.
  QMenu *merge_context_menu(QMenu *source, const QString &name, QWidget *parent);

  // ---- The active core widget and its custom menus ------------------------------------------------------
  // Null restores the standard menus. Otherwise watches the widget, calls its form_activate() slot when it
  // has one and lets its get_custom_menus(QObject**,QObject**,QObject**) slot replace the Edit, Search and
  // Jump menus of the menu bar.
  void activate_core_widget(QWidget *widget);
  // Calls the active widget's form_deactivate() slot when it has one, restores the standard menus and stops
  // watching. The destruction of the active widget does the same (without the slot).
  void deactivate_core_widget();
  [[nodiscard]] QWidget *active_core_widget() const;

  // ---- Menus and toolbars from the configuration ----------------------------------------------------------
  // Builds the menus of a MENUS_LAYOUT array and puts those present initially on the menu bar. A bad
  // description is a warning and that menu (or item) is left out; the rest is built.
  void create_menus_from_desc(const jarr_t &menus);
  // Builds the toolbars of a TOOLBARS_LAYOUT array, hidden, with breaks where the array has them. A bad
  // description is a warning and that toolbar (or item) is left out.
  void create_toolbars_from_desc(const jarr_t &toolbars);

  // ---- GUI-thread requests ------------------------------------------------------------------------
  // Invokes exec_requests() on this window through a queued connection; true when the call was posted.
  // Any thread.
  bool post_exec_requests();

  // ---- Theme icons ------------------------------------------------------------------------------------
  // The application icon id that the style sheet's "themeicon" property of that name registered, -1 when unknown.
  [[nodiscard]] int32_t theme_icon_id(const char *name) const;
  // Forgets every theme icon (before a style sheet is applied, whose "themeicon" properties fill the map again).
  void clear_theme_icons();

public slots:
  // Runs the application's queued GUI-thread requests.
  void exec_requests();
  // Takes a style-sheet property the style engine does not know. A key "themeicon" followed by '-' or
  // '_' and a name (possibly empty) is a theme icon: the value is its file; a loadable icon is registered
  // with the application under the name and remembered. True for every such key, false for any other.
  bool handleUnknownStyleProperty(QString key, QString value);

private:
  class active_corewidget_t;
  // Puts the menu on the menu bar before the first menu of that role and takes that one off; false when the
  // menu is null or on the bar already, or when no menu has the role (logged).
  bool replace_menu_of_role(int role, QMenu *menu);
  // Takes the custom menus off the menu bar, putting back the standard menus they replaced.
  void restore_standard_menus();

  QMap<QString, QMenu *> named_menus_;
  std::vector<std::unique_ptr<object_lifecycle_monitor_t>> created_menus_; // one per menu make_menu made
  QVector<QToolBar *> toolbars_; // configured toolbars in creation order; parented to this window
  QMetaMethod exec_requests_method_; // this window's exec_requests(), looked up once
  std::map<std::string, int32_t> theme_icons_; // UTF-8 name (byte-wise order) -> application icon id
  std::unique_ptr<active_corewidget_t> active_;  // the active core widget
  std::unique_ptr<object_lifecycle_monitor_t> custom_menus_[3]; // the custom Edit, Search and Jump menus
};

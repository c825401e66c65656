// Context menus built afresh for each opening: the popup context, insertion at menu paths, one-off actions and
// the permanent popup entries a widget carries.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <QHash>
#include <QList>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

class QAction;
class QMenu;
class QWidget;
class ui_action_t;
class ui_main_window_t;
struct popup_entry_t;
struct ui_action_activation_ctx_t;
struct ui_action_desc_t;

// Insertion flags of the attach operations.
constexpr int POPUP_AFTER = 0x1;           // after the item the path's last component names, not before it
constexpr int POPUP_TOP = 0x2;             // at the top of the popup; the path is ignored
constexpr int POPUP_SEPARATOR_FIRST = 0x8; // a separator ahead of the action unless one is already there
constexpr int POPUP_PERMANENT = 0x10000;   // record the entry on the owner widget instead of inserting it now

// The dynamic property of a widget that holds its permanent popup entries: a string list, each entry the
// action name ("" for a separator), the character code 1, the path, the character code 1, the flags in decimal.
inline constexpr char perma_popup_property[] = "__perma_popup_actions";
// The object name of a context menu while it is shown.
inline constexpr char popup_menu_object_name[] = "ctxmenu";
// The name pattern of the actions generated for one popup, numbered by a process-wide counter.
inline constexpr char generated_action_name_format[] = "___dynact#%llu";

// UI callback codes the application sends while it fills a popup (the widget, the popup context and the
// activation context follow the code): 138 lets the widget and its form dialog fill it (the application's
// dispatcher answers with populate_widget_popup), 139 follows once the permanent entries are in.
constexpr int32_t UI_CODE_POPULATE_POPUP = 138;
constexpr int32_t UI_CODE_POPUP_POPULATED = 139;

// How app_t::exec_popup reads its position argument: a QContextMenuEvent (its global position) or a QPoint
// in global coordinates. Any other kind is internal error 40390.
constexpr int POPUP_AT_EVENT = 1;
constexpr int POPUP_AT_POINT = 2;
constexpr int INTERR_BAD_POPUP_POSITION_KIND = 40390;

// Internal error of a permanent entry attached to a popup that has no owner widget.
constexpr int INTERR_PERMANENT_POPUP_WITHOUT_OWNER = 40660;

// A place in a menu tree where an item goes: before `before`, or at the end of `menu` when it is null.
struct popup_insert_pos_t
{
  QMenu *menu = nullptr;
  QAction *before = nullptr;

  // Inserts the action at this place; false (nothing changed) when the menu holds it already. With
  // POPUP_AFTER the place moves past `before`; with POPUP_SEPARATOR_FIRST a separator goes first unless the
  // action would follow one (or open the menu).
  [[nodiscard]] bool insert(QAction *action, int flags) const;
  // Inserts a separator at this place (past `before` with POPUP_AFTER) unless it would stand next to one: the
  // item there or the one before it, or the last item when the place is the end. An empty menu gets one.
  void insert_separator(int flags) const;
};

// The first item of the menu that a path component names: the component, read without ASCII punctuation, ASCII
// white space and '~', must be a case-insensitive prefix of the item's text read the same way, at least one
// character long. With submenus_only, only items that open a submenu count. Null when none matches.
[[nodiscard]] QAction *find_menu_item_by_text(QMenu *menu, const QString &component, bool submenus_only);

// Follows the components from the menu: each but the last names a submenu to descend into (made through the
// window's make_menu, titled with the component, when none matches); the last names the item to insert before
// (the end of the menu reached when it is empty or matches nothing). No components: the end of the menu.
// False without a menu, or when a submenu is needed and there is no window to make it.
[[nodiscard]] bool resolve_popup_path(popup_insert_pos_t *out, QMenu *menu, const QStringList &components,
                                      ui_main_window_t *window);

// One context menu being filled and shown; lives for one context-menu event, usually on the stack of the
// widget's handler. Promises: the menu (made by the main window, null without one) dies with the context;
// attach operations never insert an action twice, nor a disabled action or one without a QAction.
struct popup_menu_ctx_t
{
  explicit popup_menu_ctx_t(QWidget *owner_widget);
  ~popup_menu_ctx_t();
  popup_menu_ctx_t(const popup_menu_ctx_t &) = delete;
  popup_menu_ctx_t &operator=(const popup_menu_ctx_t &) = delete;

  // Inserts the action (null: a separator) at the path (null or "": the end of the popup); true when it went
  // in. With POPUP_PERMANENT the entry is recorded on the owner instead (once: an equal entry is not recorded
  // again) and the menu is left alone; internal error 40660 without an owner.
  bool attach_action(ui_action_t *action, const char *path, int flags);
  // attach_action with the action that owns the QAction (a separator when none does), the default path when
  // the path is null, and the default flags added.
  bool attach_qaction(QAction *qaction, const char *path, int flags);
  // attach_qaction for each entry in order; an empty path is no path.
  void attach_action_list(const QList<popup_entry_t> &entries);
  // A separator at the path (the default one when null), with the default flags added.
  bool attach_separator(const char *path, int flags);
  // Registers a one-off action for this popup under a fresh "___dynact#N" name (given to *name_out when
  // asked) and attaches it; the popup's show unregisters it when the menu closes. The popup takes the
  // description's handler over in every case: false (the handler deleted, nothing registered) without a
  // handler or an application, or when the action cannot be made, registered or attached.
  bool attach_generated_action(const ui_action_desc_t &desc, const char *path, int flags, qstring *name_out);
  // Inserts the owner's permanent entries in their stored order; an entry whose action is "" or "-", or no
  // longer registered, is a separator.
  void attach_permanent_actions();
  // Takes the QAction out of the popup menu (its submenus are not searched).
  void remove_qaction(QAction *qaction);

  std::unique_ptr<QMenu> menu;         // the popup; no name and no title until it is shown
  QPointer<QWidget> owner;             // the widget whose popup this is; not owned
  QPoint position;                     // where the menu opens, set by the show
  qvector<qstring> generated_names;    // the actions generated for this popup
  QHash<QAction *, QString> captions;  // captions shown instead of the actions' own texts while it runs
  qstring default_path;                // used by attach_qaction and attach_separator without a path
  int default_flags = 0;               // added to their flags
};

// Lets the widget fill the popup: its "populate_popup(void*)" slot, when its class has one, is invoked at
// once with the popup context; then, in every case, an enclosing form dialog may add its own items
// (forward_to_form_dialog). True when the slot ran.
bool populate_widget_popup(popup_menu_ctx_t *popup, QWidget *widget, ui_action_activation_ctx_t *context);

// The forms library's handler that lets an enclosing form dialog add to a popup. The library installs it;
// none is installed until then, and the popup then gets nothing from it.
using forward_to_form_dialog_fn = void (*)(popup_menu_ctx_t *popup, QWidget *widget,
                                           ui_action_activation_ctx_t *context);
// Installs the handler (null removes it) and answers the previous one. GUI thread.
forward_to_form_dialog_fn set_forward_to_form_dialog(forward_to_form_dialog_fn handler);
// Calls the installed handler; nothing without one or for a null widget.
void forward_to_form_dialog(popup_menu_ctx_t *popup, QWidget *widget, ui_action_activation_ctx_t *context);

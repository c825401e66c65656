// The action registry and the action lookups that widgets use through the application.
#pragma once

#include "core/qstring.h"
#include "ui/ui_action.h"

#include <QList>

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QObject;

// Visits actions; a non-zero answer stops the walk.
class action_visitor_t
{
public:
  virtual int visit(ui_action_t *action) = 0;
  virtual ~action_visitor_t() = default;
};

// The application's actions by registration order, by name and by QAction. Promises: names are unique
// across the registry and its parent chain, and so are QActions; the registry owns its actions (not the
// QActions of core actions, which belong to the application's table); destroying it clears it.
class ui_action_registry_t
{
public:
  ui_action_registry_t();
  ~ui_action_registry_t();
  ui_action_registry_t(const ui_action_registry_t &) = delete;
  ui_action_registry_t &operator=(const ui_action_registry_t &) = delete;

  // Creates and configures an action through the application's widget factory, without inserting it. Null
  // (nothing created) for a null, empty or "-" label, a name already known, or no handler, and when the
  // factory makes none.
  std::unique_ptr<ui_action_t> add_action(const ui_action_desc_t &desc);
  // Creates, configures and inserts the action of one application description; internal error 40724 when
  // add_action refuses it. Null when the insertion is refused (nothing is kept). The description must outlive
  // the action: its handler calls the description's functions (applications keep them in a static table).
  ui_action_t *register_core_action(const action_desc_t &desc);
  // Takes the action over (leaving *action null) unless its name or QAction is already known here or in a
  // parent; false then, and the caller keeps it. A null action is internal error 40811.
  [[nodiscard]] bool insert_action(std::unique_ptr<ui_action_t> *action);
  // This registry's action of that name, then the parent chain's; null when none.
  ui_action_t *find_action(const char *name) const;
  // The action that owns the QAction, here or in the parent chain; null when none.
  ui_action_t *find_action_of_qaction(const QObject *qaction) const;
  // Unregisters and deletes one action of this registry. Its QAction loses its shortcuts; a core action's
  // QAction stays, disabled; any other QAction is deleted.
  void remove_action(ui_action_t *action);
  // Removes every action, first to last, and forgets the parent.
  void clear();
  // Visits the actions in registration order, then the parent's; the first non-zero answer.
  int visit(action_visitor_t *visitor);
  // Re-applies the theme icon of every action whose icon was given as '@' and a name.
  void refresh_theme_icons();

  // Whether this registry itself holds the action.
  bool holds(const ui_action_t *action) const;
  size_t size() const { return actions_.size(); }

  ui_action_registry_t *parent = nullptr; // searched and visited after this one; not owned

private:
  std::vector<std::unique_ptr<ui_action_t>> actions_; // registration order
  std::map<std::string, ui_action_t *> by_name_;     // byte-wise order
  std::map<const QObject *, ui_action_t *> by_qaction_;
};

// Lookups through the application's registry (null, "", or false without an application or registry).
ui_action_t *find_ui_action(const char *name);
ui_action_t *find_ui_action_of_qaction(const QObject *qaction);
// The name of the action that owns the QAction ("" for a nameless one), null when none does.
const char *ui_action_name_of_qaction(const QObject *qaction);
// Stores the QAction of the named action in *holder when *holder is still null.
void bind_qaction_by_name(QAction **holder, const char *name);
// Only when the list is empty: appends the QAction of each named action (null for a null name); unknown
// names are skipped.
void fill_qaction_list(QList<QAction *> *list, const char *const *names, size_t count);

// A popup entry as an application lists it, and as a popup attaches it: a null name or QAction is a
// separator.
struct popup_entry_desc_t
{
  const char *name;
  int flags;
  const char *path;
};
struct popup_entry_t
{
  QAction *qaction;
  qstring path;
  int flags;
};
// fill_qaction_list for popup entries.
void fill_popup_entry_list(QList<popup_entry_t> *list, const popup_entry_desc_t *entries, size_t count);

// Removes the action from the registry or its parent chain that holds it. Refuses a null action, one not
// found, and the action whose handler is running now (unless the process is exiting).
[[nodiscard]] bool unregister_ui_action(ui_action_registry_t *registry, ui_action_t *action);
[[nodiscard]] bool unregister_ui_action_by_name(const char *name);
// ui_action_registry_t::visit on the application's registry; 0 without one.
int visit_ui_actions(action_visitor_t *visitor);
// Runs the action through the application when its state is 3 or lower; true when it ran and answered
// non-zero.
[[nodiscard]] bool trigger_ui_action(ui_action_t *action);

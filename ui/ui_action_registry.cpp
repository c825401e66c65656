// The action registry: creating, inserting, finding and removing actions, and the lookups through the application.
#include "ui/ui_action_registry.h"

#include "core/internal_error.h"
#include "core/ui_callback.h"
#include "ui/app_base.h"
#include "ui/layout_helpers.h"
#include "ui/main_window.h"
#include "ui/shortcut_table.h"
#include "ui/shortcut_text.h"
#include "ui/widget_factory.h"

#include <QAction>

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t RESERVED_ACTIONS = 1000;

ui_action_registry_t *app_registry()
{
  app_t *app = current_app();
  return app != nullptr ? app->get_action_registry() : nullptr;
}

// The owner kind of description flags 0x4 and 0x8: none 1, 0x4 gives 2, 0x8 gives 3, both 0.
int owner_kind_of(int flags)
{
  switch ( flags & (ACTION_DESC_OWNER_KIND_4 | ACTION_DESC_OWNER_KIND_8) )
  {
    case ACTION_DESC_OWNER_KIND_4:
      return 2;
    case ACTION_DESC_OWNER_KIND_8:
      return 3;
    case ACTION_DESC_OWNER_KIND_4 | ACTION_DESC_OWNER_KIND_8:
      return 0;
    default:
      return 1;
  }
}

// The icon id of a description's icon text, and the theme icon name it gives ('@' and a name).
int icon_id_of_text(const char *icon, qstring *theme_name)
{
  if ( icon == nullptr )
    return -1;
  app_t *app = current_app();
  if ( icon[0] == '@' )
  {
    *theme_name = icon + 1;
    ui_main_window_t *window = app != nullptr ? app->main_window() : nullptr;
    return window != nullptr ? window->theme_icon_id(icon + 1) : -1;
  }
  return app != nullptr ? app->icon_registry().icon_id_of_file(icon, nullptr) : -1;
}

} // namespace

ui_action_registry_t::ui_action_registry_t()
{
  actions_.reserve(RESERVED_ACTIONS);
}

ui_action_registry_t::~ui_action_registry_t()
{
  clear();
}

std::unique_ptr<ui_action_t> ui_action_registry_t::add_action(const ui_action_desc_t &desc)
{
  const bool has_name = desc.name != nullptr && *desc.name != '\0';
  if ( desc.label == nullptr || *desc.label == '\0' || std::strcmp(desc.label, "-") == 0
       || (has_name && find_action(desc.name) != nullptr) || desc.handler == nullptr )
    return nullptr;
  app_t *app = current_app();
  ui_widget_factory_t *factory = app != nullptr ? app->get_widget_factory() : nullptr;
  std::unique_ptr<ui_action_t> action = factory != nullptr ? factory->create_client_action(desc) : nullptr;
  if ( action == nullptr )
    return nullptr;
  if ( action->handler() != nullptr )
  {
    log_printf("Coherency check failed: _handler == nullptr\n");
    action_handler_t *stray = action->handler();
    const bool owned = action->owns_handler();
    action->set_handler(nullptr, false); // deletes a handler the action owned
    if ( !owned )
      delete stray;
  }
  const bool owns = desc.owner == nullptr || (desc.flags & ACTION_DESC_OWNS_HANDLER) != 0;
  action->set_handler(desc.handler, owns);
  action->owner = desc.owner;
  action->owner_kind = owner_kind_of(desc.flags);
  if ( (desc.flags & ACTION_DESC_FLAG_2) != 0 )
    action->flags |= ACTION_FLAG_FROM_DESC_2;
  if ( (desc.flags & ACTION_DESC_FLAG_20) != 0 )
    action->flags |= ACTION_FLAG_FROM_DESC_20;
  if ( (desc.flags & ACTION_DESC_CHECKABLE) != 0 )
    action->flags |= ACTION_FLAG_CHECKABLE;
  if ( (desc.flags & ACTION_DESC_CHECKED) != 0 )
    action->flags |= ACTION_FLAG_CHECKED;

  QAction *qaction = action->qaction();
  if ( qaction != nullptr )
  {
    qaction->setText((desc.flags & ACTION_DESC_PLAIN_LABEL) != 0 ? QString::fromUtf8(desc.label)
                                                                  : hotkey_markup_to_qt(desc.label));
    qaction->setShortcutContext(Qt::ApplicationShortcut);
  }
  if ( has_name )
    action->set_name(desc.name);
  if ( desc.shortcut != nullptr && *desc.shortcut != '\0' )
    set_action_shortcuts(action->name().c_str(), parse_shortcut_list(desc.shortcut, false), false);
  action->apply_shortcuts();
  if ( qaction != nullptr )
  {
    if ( desc.tooltip != nullptr && *desc.tooltip != '\0' )
      qaction->setToolTip(QString::fromUtf8(desc.tooltip));
    if ( (action->flags & ACTION_FLAG_CHECKABLE) != 0 )
      qaction->setCheckable(true);
    if ( (action->flags & ACTION_FLAG_CHECKED) != 0 )
      qaction->setChecked(true);
  }
  return action;
}

ui_action_t *ui_action_registry_t::register_core_action(const action_desc_t &desc)
{
  auto handler = std::make_unique<ui_core_action_handler_t>(&desc);
  qstring theme_name;
  ui_action_desc_t record;
  record.name = desc.name;
  record.label = desc.label;
  record.tooltip = desc.tooltip;
  record.handler = handler.get();
  record.owner = reinterpret_cast<const void *>(uintptr_t(2));
  record.icon = icon_id_of_text(desc.icon, &theme_name);
  record.flags = ACTION_DESC_OWNS_HANDLER | ACTION_DESC_PLAIN_LABEL;
  if ( (desc.flags & ACTION_FLAG_CHECKABLE) != 0 )
    record.flags |= ACTION_DESC_CHECKABLE;
  if ( (desc.flags & ACTION_FLAG_CHECKED) != 0 )
    record.flags |= ACTION_DESC_CHECKED;
  std::unique_ptr<ui_action_t> action = add_action(record);
  if ( action == nullptr )
    interr(INTERR_CORE_ACTION_REFUSED);
  ui_core_action_handler_t *core_handler = handler.release(); // the action owns it now
  core_handler->set_action(action.get());
  action->icon_name = theme_name;
  action->flags = desc.flags | ACTION_FLAG_CORE;
  action->refresh_mask = desc.refresh_mask;
  action->widget_kinds = desc.widget_kinds;
  action->widget_classes = desc.widget_classes;
  action->context_word = desc.context_word;
  if ( desc.qaction_receiver != nullptr )
    *desc.qaction_receiver = action->qaction();
  ui_action_t *inserted = action.get();
  if ( !insert_action(&action) )
    return nullptr;
  if ( desc.shortcut != nullptr && *desc.shortcut != '\0' )
    set_action_shortcuts(inserted->name().c_str(), parse_shortcut_list(desc.shortcut, true), false);
  return inserted;
}

bool ui_action_registry_t::insert_action(std::unique_ptr<ui_action_t> *action)
{
  if ( action == nullptr || *action == nullptr )
    interr(INTERR_INSERT_NULL_ACTION);
  ui_action_t *a = action->get();
  if ( find_action(a->name().c_str()) != nullptr )
    return false;
  if ( a->qaction() != nullptr && find_action_of_qaction(a->qaction()) != nullptr )
    return false;
  by_name_.emplace(a->name().c_str(), a);
  if ( a->qaction() != nullptr )
    by_qaction_.emplace(a->qaction(), a);
  a->set_registry(this);
  actions_.push_back(std::move(*action));
  return true;
}

ui_action_t *ui_action_registry_t::find_action(const char *name) const
{
  for ( const ui_action_registry_t *r = this; r != nullptr; r = r->parent )
    if ( const auto it = r->by_name_.find(name != nullptr ? name : ""); it != r->by_name_.end() )
      return it->second;
  return nullptr;
}

ui_action_t *ui_action_registry_t::find_action_of_qaction(const QObject *qaction) const
{
  for ( const ui_action_registry_t *r = this; r != nullptr; r = r->parent )
    if ( const auto it = r->by_qaction_.find(qaction); it != r->by_qaction_.end() )
      return it->second;
  return nullptr;
}

void ui_action_registry_t::remove_action(ui_action_t *action)
{
  const auto it = std::find_if(actions_.begin(), actions_.end(), [action](const auto &a) { return a.get() == action; });
  if ( it == actions_.end() )
    return;
  const std::string name = action->name().c_str();
  if ( QAction *qaction = action->qaction(); qaction != nullptr )
  {
    by_qaction_.erase(qaction);
    (void)action->detach_qaction();
    qaction->setShortcuts({});
    // A core action's QAction belongs to the application's table and stays; any other goes with its action.
    if ( (action->flags & ACTION_FLAG_CORE) != 0 )
      qaction->setEnabled(false);
    else
      delete qaction;
  }
  if ( const auto named = by_name_.find(name); named != by_name_.end() && named->second == action )
    by_name_.erase(named);
  std::unique_ptr<ui_action_t> doomed = std::move(*it);
  actions_.erase(it);
}

void ui_action_registry_t::clear()
{
  while ( !actions_.empty() )
    remove_action(actions_.front().get());
  by_name_.clear();
  by_qaction_.clear();
  parent = nullptr;
}

int ui_action_registry_t::visit(action_visitor_t *visitor)
{
  for ( ui_action_registry_t *r = this; r != nullptr; r = r->parent )
  {
    // By index: a visitor may register actions meanwhile.
    for ( size_t i = 0; i < r->actions_.size(); ++i )
      if ( const int answer = visitor->visit(r->actions_[i].get()); answer != 0 )
        return answer;
  }
  return 0;
}

void ui_action_registry_t::refresh_theme_icons()
{
  app_t *app = current_app();
  ui_main_window_t *window = app != nullptr ? app->main_window() : nullptr;
  if ( window == nullptr )
    return;
  for ( const std::unique_ptr<ui_action_t> &action : actions_ )
    if ( !action->icon_name.empty() && action->qaction() != nullptr )
      action->qaction()->setIcon(app->icon_by_id(window->theme_icon_id(action->icon_name.c_str())));
}

bool ui_action_registry_t::holds(const ui_action_t *action) const
{
  return std::any_of(actions_.begin(), actions_.end(), [action](const auto &a) { return a.get() == action; });
}

ui_action_t *find_ui_action(const char *name)
{
  ui_action_registry_t *registry = app_registry();
  return registry != nullptr ? registry->find_action(name) : nullptr;
}

ui_action_t *find_ui_action_of_qaction(const QObject *qaction)
{
  ui_action_registry_t *registry = app_registry();
  return registry != nullptr && qaction != nullptr ? registry->find_action_of_qaction(qaction) : nullptr;
}

const char *ui_action_name_of_qaction(const QObject *qaction)
{
  const ui_action_t *action = find_ui_action_of_qaction(qaction);
  return action != nullptr ? action->name().c_str() : nullptr;
}

void bind_qaction_by_name(QAction **holder, const char *name)
{
  if ( *holder != nullptr )
    return;
  if ( const ui_action_t *action = find_ui_action(name); action != nullptr )
    *holder = action->qaction();
}

void fill_qaction_list(QList<QAction *> *list, const char *const *names, size_t count)
{
  if ( !list->isEmpty() )
    return;
  for ( size_t i = 0; i < count; ++i )
  {
    if ( names[i] == nullptr )
      list->append(nullptr);
    else if ( const ui_action_t *action = find_ui_action(names[i]); action != nullptr )
      list->append(action->qaction());
  }
}

void fill_popup_entry_list(QList<popup_entry_t> *list, const popup_entry_desc_t *entries, size_t count)
{
  if ( !list->isEmpty() )
    return;
  for ( size_t i = 0; i < count; ++i )
  {
    const popup_entry_desc_t &entry = entries[i];
    QAction *qaction = nullptr;
    if ( entry.name != nullptr )
    {
      const ui_action_t *action = find_ui_action(entry.name);
      if ( action == nullptr )
        continue;
      qaction = action->qaction();
    }
    list->append(popup_entry_t {qaction, qstring(entry.path != nullptr ? entry.path : ""), entry.flags});
  }
}

bool unregister_ui_action(ui_action_registry_t *registry, ui_action_t *action)
{
  if ( action == nullptr || registry == nullptr )
    return false;
  app_t *app = current_app();
  // The handler that is running may not pull its own action away, unless everything is going away anyway.
  if ( app != nullptr && app->current_action() == action && !process_exiting.load() )
    return false;
  for ( ui_action_registry_t *r = registry; r != nullptr; r = r->parent )
  {
    if ( r->holds(action) )
    {
      r->remove_action(action);
      return true;
    }
  }
  return false;
}

bool unregister_ui_action_by_name(const char *name)
{
  ui_action_t *action = find_ui_action(name);
  return action != nullptr && unregister_ui_action(action->registry(), action);
}

int visit_ui_actions(action_visitor_t *visitor)
{
  ui_action_registry_t *registry = app_registry();
  return registry != nullptr ? registry->visit(visitor) : 0;
}

bool trigger_ui_action(ui_action_t *action)
{
  app_t *app = current_app();
  return app != nullptr && app->trigger_action_if_enabled(action);
}

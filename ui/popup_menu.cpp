// Context menus built afresh for each opening: the popup context, insertion at menu paths, one-off actions and
// the permanent popup entries a widget carries.
#include "ui/popup_menu.h"

#include "core/internal_error.h"
#include "ui/app_base.h"
#include "ui/main_window.h"
#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"

#include <QAction>
#include <QMenu>
#include <QMetaMethod>
#include <QWidget>

#include <cstdio>

namespace {

// Process-wide: a generated name is never used twice in a run, even after its action is gone.
unsigned long long generated_action_counter = 0;
forward_to_form_dialog_fn form_dialog_handler = nullptr;

constexpr QChar permanent_field_separator(1);

// ASCII punctuation (which holds '~') and ASCII white space, whatever the locale says.
bool is_ascii_punct_or_space(ushort u)
{
  const bool punct = (u >= 0x21 && u <= 0x2F) || (u >= 0x3A && u <= 0x40) || (u >= 0x5B && u <= 0x60)
                     || (u >= 0x7B && u <= 0x7E);
  return punct || u == ' ' || (u >= '\t' && u <= '\r');
}

// The text as item matching reads it: no ASCII punctuation, ASCII white space or '~', case folded.
QString matching_text(const QString &text)
{
  QString out;
  out.reserve(text.size());
  for ( const QChar c : text )
  {
    if ( is_ascii_punct_or_space(c.unicode()) )
      continue;
    out += c;
  }
  return out.toCaseFolded();
}

QAction *item_after(QMenu *menu, QAction *item)
{
  const QList<QAction *> items = menu->actions();
  const int index = items.indexOf(item);
  return index >= 0 && index + 1 < items.size() ? items[index + 1] : nullptr;
}

QAction *item_before(QMenu *menu, QAction *item)
{
  const QList<QAction *> items = menu->actions();
  const int index = items.indexOf(item);
  return index > 0 ? items[index - 1] : nullptr;
}

QString permanent_entry_text(const char *name, const char *path, int flags)
{
  return QString::fromUtf8(name) + permanent_field_separator + QString::fromUtf8(path) + permanent_field_separator
         + QString::number(flags);
}

struct permanent_entry_t
{
  QByteArray name;
  QByteArray path;
  int flags = 0;
};

// A stored entry; one that does not split into exactly three fields reads as a separator at the end.
permanent_entry_t parse_permanent_entry(const QString &text)
{
  const QStringList fields = text.split(permanent_field_separator);
  if ( fields.size() != 3 )
    return {};
  return {fields[0].toUtf8(), fields[1].toUtf8(), fields[2].toInt()};
}

ui_main_window_t *app_main_window()
{
  app_t *app = current_app();
  return app != nullptr ? app->main_window() : nullptr;
}

} // namespace

// ---- Places in a menu -------------------------------------------------------------------------------

bool popup_insert_pos_t::insert(QAction *action, int flags) const
{
  if ( menu->actions().contains(action) )
    return false;
  QAction *point = before;
  if ( (flags & POPUP_AFTER) != 0 && point != nullptr )
    point = item_after(menu, point);
  if ( (flags & POPUP_SEPARATOR_FIRST) != 0 )
  {
    if ( point != nullptr )
    {
      if ( const QAction *previous = item_before(menu, point); previous != nullptr && !previous->isSeparator() )
        menu->insertSeparator(point);
    }
    else if ( !menu->actions().isEmpty() && !menu->actions().constLast()->isSeparator() )
    {
      menu->addSeparator();
    }
  }
  menu->insertAction(point, action);
  return true;
}

void popup_insert_pos_t::insert_separator(int flags) const
{
  QAction *point = before;
  if ( (flags & POPUP_AFTER) != 0 && point != nullptr )
    point = item_after(menu, point);
  if ( point != nullptr )
  {
    // Neither side of the place may be a separator already: a separator never follows another.
    const QAction *previous = item_before(menu, point);
    if ( !point->isSeparator() && (previous == nullptr || !previous->isSeparator()) )
      menu->insertSeparator(point);
  }
  else if ( menu->actions().isEmpty() || !menu->actions().constLast()->isSeparator() )
  {
    menu->addSeparator();
  }
}

QAction *find_menu_item_by_text(QMenu *menu, const QString &component, bool submenus_only)
{
  const QString wanted = matching_text(component);
  if ( wanted.isEmpty() )
    return nullptr;
  for ( QAction *item : menu->actions() )
  {
    if ( submenus_only && item->menu() == nullptr )
      continue;
    if ( matching_text(item->text()).startsWith(wanted) )
      return item;
  }
  return nullptr;
}

bool resolve_popup_path(popup_insert_pos_t *out, QMenu *menu, const QStringList &components,
                        ui_main_window_t *window)
{
  if ( menu == nullptr )
    return false;
  for ( int i = 0; i < components.size(); ++i )
  {
    const bool last = i + 1 == components.size();
    const QString &component = components[i];
    if ( component.isEmpty() && last )
      break;
    if ( QAction *item = find_menu_item_by_text(menu, component, !last) )
    {
      if ( last )
      {
        *out = {menu, item};
        return true;
      }
      menu = item->menu();
      continue;
    }
    if ( last )
      break;
    if ( window == nullptr )
      return false;
    QMenu *submenu = window->make_menu(QString(), component, menu);
    menu->addMenu(submenu);
    menu = submenu;
  }
  *out = {menu, nullptr};
  return true;
}

// ---- The popup context --------------------------------------------------------------------------------

popup_menu_ctx_t::popup_menu_ctx_t(QWidget *owner_widget) : owner(owner_widget)
{
  if ( ui_main_window_t *window = app_main_window() )
    menu.reset(window->make_menu(QString(), QString(), nullptr));
}

popup_menu_ctx_t::~popup_menu_ctx_t() = default;

bool popup_menu_ctx_t::attach_action(ui_action_t *action, const char *path, int flags)
{
  if ( path == nullptr )
    path = "";
  if ( (flags & POPUP_PERMANENT) != 0 )
  {
    if ( owner == nullptr )
      interr(INTERR_PERMANENT_POPUP_WITHOUT_OWNER);
    QStringList entries = owner->property(perma_popup_property).toStringList();
    // Each popup of the widget may record its entries again: keep one of each.
    const QString entry = permanent_entry_text(action != nullptr ? action->name().c_str() : "", path,
                                               flags & ~POPUP_PERMANENT);
    if ( !entries.contains(entry) )
    {
      entries.append(entry);
      owner->setProperty(perma_popup_property, entries);
    }
    return true;
  }

  if ( menu == nullptr )
    return false;
  // Popups show enabled actions only.
  if ( action != nullptr && (action->qaction() == nullptr || !action->qaction()->isEnabled()) )
    return false;
  popup_insert_pos_t at;
  if ( (flags & POPUP_TOP) != 0 )
  {
    at = {menu.get(), menu->actions().isEmpty() ? nullptr : menu->actions().constFirst()};
  }
  else if ( !resolve_popup_path(&at, menu.get(), QString::fromUtf8(path).split(QLatin1Char('/')), app_main_window()) )
  {
    return false;
  }
  if ( action != nullptr )
    return at.insert(action->qaction(), flags);
  at.insert_separator(flags);
  return true;
}

bool popup_menu_ctx_t::attach_qaction(QAction *qaction, const char *path, int flags)
{
  ui_action_t *action = qaction != nullptr ? find_ui_action_of_qaction(qaction) : nullptr;
  return attach_action(action, path != nullptr ? path : default_path.c_str(), flags | default_flags);
}

void popup_menu_ctx_t::attach_action_list(const QList<popup_entry_t> &entries)
{
  for ( const popup_entry_t &entry : entries )
    (void)attach_qaction(entry.qaction, entry.path.empty() ? nullptr : entry.path.c_str(), entry.flags);
}

bool popup_menu_ctx_t::attach_separator(const char *path, int flags)
{
  return attach_action(nullptr, path != nullptr ? path : default_path.c_str(), flags | default_flags);
}

bool popup_menu_ctx_t::attach_generated_action(const ui_action_desc_t &desc, const char *path, int flags,
                                               qstring *name_out)
{
  // Ours from here on: the action made below owns it, and it goes when no action can be made.
  std::unique_ptr<action_handler_t> handler(desc.handler);
  app_t *app = current_app();
  if ( handler == nullptr || app == nullptr )
    return false;

  char name[64];
  for ( ;; )
  {
    snprintf(name, sizeof(name), generated_action_name_format, ++generated_action_counter);
    if ( find_ui_action(name) == nullptr )
      break;
  }
  if ( name_out != nullptr )
    *name_out = name;

  ui_action_desc_t own = desc;
  own.name = name;
  own.handler = handler.get();
  own.flags |= ACTION_DESC_OWNS_HANDLER;
  ui_action_registry_t *registry = (own.flags & ACTION_DESC_FLAGGED_REGISTRY) != 0 ? app->get_flagged_action_registry()
                                                                                   : app->get_action_registry();
  if ( registry == nullptr )
    return false;
  std::unique_ptr<ui_action_t> made = registry->add_action(own);
  if ( made == nullptr )
    return false;
  (void)handler.release(); // the action owns it now
  ui_action_t *action = made.get();
  if ( !registry->insert_action(&made) )
  {
    delete made->detach_qaction(); // a refused action takes its QAction with it, as a removed one does
    return false;
  }
  if ( !attach_action(action, path, flags) )
  {
    (void)unregister_ui_action(registry, action);
    return false;
  }
  generated_names.push_back(qstring(name));
  return true;
}

void popup_menu_ctx_t::attach_permanent_actions()
{
  if ( owner == nullptr )
    return;
  const QStringList entries = owner->property(perma_popup_property).toStringList();
  for ( const QString &text : entries )
  {
    const permanent_entry_t entry = parse_permanent_entry(text);
    ui_action_t *action = nullptr;
    if ( !entry.name.isEmpty() && entry.name != "-" )
      action = find_ui_action(entry.name.constData());
    // Stored entries go into the menu: never recorded again from here.
    (void)attach_action(action, entry.path.constData(), entry.flags & ~POPUP_PERMANENT);
  }
}

void popup_menu_ctx_t::remove_qaction(QAction *qaction)
{
  if ( menu != nullptr )
    menu->removeAction(qaction);
}

// ---- Filling by the widget ------------------------------------------------------------------------------

bool populate_widget_popup(popup_menu_ctx_t *popup, QWidget *widget, ui_action_activation_ctx_t *context)
{
  bool invoked = false;
  if ( widget != nullptr )
  {
    const QMetaObject *meta = widget->metaObject();
    if ( const int index = meta->indexOfSlot("populate_popup(void*)"); index >= 0 )
      invoked = meta->method(index).invoke(widget, Qt::DirectConnection, Q_ARG(void *, popup));
  }
  forward_to_form_dialog(popup, widget, context);
  return invoked;
}

forward_to_form_dialog_fn set_forward_to_form_dialog(forward_to_form_dialog_fn handler)
{
  const forward_to_form_dialog_fn previous = form_dialog_handler;
  form_dialog_handler = handler;
  return previous;
}

void forward_to_form_dialog(popup_menu_ctx_t *popup, QWidget *widget, ui_action_activation_ctx_t *context)
{
  if ( form_dialog_handler != nullptr && widget != nullptr )
    form_dialog_handler(popup, widget, context);
}

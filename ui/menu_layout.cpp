// Menus and toolbars built from the configuration's JSON layout descriptions.
#include "ui/menu_layout.h"

#include "core/internal_error.h"
#include "core/ui_callback.h"
#include "ui/app_base.h"
#include "ui/main_window.h"
#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"

#include <QAction>
#include <QFontMetrics>
#include <QMenu>
#include <QToolBar>

#include <cstring>
#include <vector>

namespace {

// Submenus nest no deeper than this; the configuration reader bounds its own nesting, but a layout may come
// from elsewhere.
constexpr int max_menu_depth = 64;

const char *tag_name(uint32_t tag)
{
  switch ( tag )
  {
    case JSON_INT: return "an integer";
    case JSON_STRING: return "a string";
    case JSON_OBJECT: return "an object";
    case JSON_ARRAY: return "an array";
    case JSON_BOOL: return "a boolean";
    case JSON_NULL: return "null";
    case JSON_DOUBLE: return "a number";
    default: return "nothing";
  }
}

// The member `key` of `desc`; null when absent. Present with another tag than `tag`: a warning naming the
// member and what it belongs to, and *bad set.
const json_value_t *typed_member(const json_object_t &desc, const char *key, uint32_t tag, const char *what,
                                 const char *owner, bool *bad)
{
  const json_value_t *value = json_object_find(&desc, key, 0);
  if ( value == nullptr || value->tag == tag )
    return value;
  warning_printf("%s \"%s\": property \"%s\" must be %s, not %s", what, owner, key, tag_name(tag),
                 tag_name(value->tag));
  *bad = true;
  return nullptr;
}

// A readable name of a description for warnings: its "name", else its "label", else "?".
const char *desc_title(const json_object_t &desc)
{
  for ( const char *key : {"name", "label"} )
    if ( const json_value_t *v = json_object_find(&desc, key, JSON_STRING); v != nullptr && *json_get_string(v) != '\0' )
      return json_get_string(v);
  return "?";
}

QAction *registered_qaction(const char *name, bool log_unknown)
{
  app_t *app = current_app();
  ui_action_registry_t *registry = app != nullptr ? app->get_action_registry() : nullptr;
  ui_action_t *action = registry != nullptr ? registry->find_action(name) : nullptr;
  if ( action == nullptr )
  {
    if ( log_unknown )
      log_printf("Invalid action name: %s\n", name);
    return nullptr;
  }
  return action->qaction();
}

// Adds one string item of an "actions" array to a menu or toolbar: a separator, a special item or the
// QAction of a registered action.
void add_string_item(action_set_builder_mixin_t *builder, QWidget *target, const char *item)
{
  if ( item[0] == '\0' || item[0] == '-' )
  {
    auto *separator = new QAction(current_app());
    separator->setSeparator(true);
    target->addAction(separator);
  }
  else if ( item[0] == '@' )
  {
    if ( !builder->handle_special_item(item, target, builder->window()) )
      warning_printf("Unhandled special action name: \"%s\"", item);
  }
  else if ( QAction *qaction = registered_qaction(item, true) )
  {
    target->addAction(qaction);
  }
}

// The icon id a menu's "icon" member names, -1 for none.
int32_t menu_icon_id(const json_value_t *icon, const ui_main_window_t *window)
{
  if ( icon == nullptr )
    return -1;
  if ( icon->tag == JSON_INT )
  {
    const int64_t id = json_value_as_int(icon);
    return id >= 0 && id <= INT32_MAX ? static_cast<int32_t>(id) : -1;
  }
  if ( icon->tag != JSON_STRING || window == nullptr )
    return -1;
  const char *text = json_get_string(icon);
  constexpr size_t prefix = sizeof("themeicon") - 1;
  if ( strncmp(text, "themeicon", prefix) != 0 || (text[prefix] != '-' && text[prefix] != '_') )
    return -1;
  return window->theme_icon_id(text + prefix + 1);
}

// What a template copies: the template menu and the items to remove from the copy. False after a warning.
bool resolve_template(const json_object_t &tmpl, const char *owner, QMenu **source, std::vector<QAction *> *removed,
                      const ui_main_window_t *window)
{
  bool bad = false;
  const json_value_t *name = typed_member(tmpl, "name", JSON_STRING, "Template of menu", owner, &bad);
  if ( bad )
    return false;
  if ( name == nullptr )
  {
    warning_printf("Template of menu \"%s\" has no \"name\" property", owner);
    return false;
  }
  *source = window->find_named_menu(QString::fromUtf8(json_get_string(name)));
  if ( *source == nullptr )
  {
    warning_printf("Couldn't find template menu \"%s\"", json_get_string(name));
    return false;
  }
  const json_value_t *remove = json_object_find(&tmpl, "remove", JSON_ARRAY);
  if ( remove == nullptr )
    return true;
  for ( const json_value_t &entry : *remove->u.arr )
  {
    if ( entry.tag != JSON_STRING )
    {
      warning_printf("Expected array of strings in \"remove\" property");
      return false;
    }
    const char *what = json_get_string(&entry);
    QAction *item = registered_qaction(what, false);
    if ( item == nullptr )
    {
      const QString wanted = QString::fromUtf8(what);
      for ( QAction *candidate : (*source)->actions() )
      {
        if ( candidate->menu() != nullptr && candidate->menu()->objectName() == wanted )
        {
          item = candidate;
          break;
        }
      }
    }
    if ( item == nullptr )
    {
      warning_printf("Failed to find action \"%s\"", what);
      return false;
    }
    removed->push_back(item);
  }
  return true;
}

QMenu *build_menu(action_set_builder_mixin_t *builder, const json_object_t &desc, bool toplevel, int depth)
{
  const char *owner = desc_title(desc);
  if ( depth > max_menu_depth )
  {
    warning_printf("Menu \"%s\" is nested too deeply", owner);
    return nullptr;
  }
  const json_value_t *label_value = json_object_find(&desc, "label", 0);
  const json_value_t *actions_value = json_object_find(&desc, "actions", 0);
  const json_value_t *template_value = json_object_find(&desc, "template", 0);
  if ( label_value == nullptr || (actions_value == nullptr && template_value == nullptr) )
  {
    warning_printf("Missing \"name\", \"label\" or \"actions\" (or \"template\") property for menu");
    return nullptr;
  }
  if ( actions_value != nullptr && template_value != nullptr )
  {
    warning_printf("Only one of \"actions\" or \"template\" can be specified");
    return nullptr;
  }
  const json_value_t *name_value = json_object_find(&desc, "name", 0);
  if ( name_value == nullptr && toplevel )
  {
    warning_printf("Toplevel menus must have a \"name\" property");
    return nullptr;
  }
  // Every member is checked before the menu is made, so a refused description leaves nothing behind.
  bool bad = false;
  name_value = typed_member(desc, "name", JSON_STRING, "Menu", owner, &bad);
  label_value = typed_member(desc, "label", JSON_STRING, "Menu", owner, &bad);
  actions_value = typed_member(desc, "actions", JSON_ARRAY, "Menu", owner, &bad);
  template_value = typed_member(desc, "template", JSON_OBJECT, "Menu", owner, &bad);
  const json_value_t *visible = typed_member(desc, "visible_initially", JSON_BOOL, "Menu", owner, &bad);
  if ( toplevel )
    (void)typed_member(desc, "present_initially", JSON_BOOL, "Menu", owner, &bad);
  if ( bad )
    return nullptr;
  ui_main_window_t *window = builder->window();
  QMenu *source = nullptr;
  std::vector<QAction *> removed;
  if ( template_value != nullptr && !resolve_template(*template_value->u.obj, owner, &source, &removed, window) )
    return nullptr;

  QMenu *menu = window->make_menu(name_value != nullptr ? QString::fromUtf8(json_get_string(name_value)) : QString(),
                                  QString::fromUtf8(json_get_string(label_value)), nullptr);
  if ( actions_value != nullptr )
  {
    size_t index = 0;
    for ( const json_value_t &item : *actions_value->u.arr )
    {
      if ( item.tag == JSON_STRING )
        add_string_item(builder, menu, json_get_string(&item));
      else if ( item.tag == JSON_OBJECT )
      {
        if ( QMenu *submenu = build_menu(builder, *item.u.obj, false, depth + 1) )
          menu->addAction(submenu->menuAction());
      }
      else
        warning_printf("Menu \"%s\": item #%zu must be a string or an object, not %s", owner, index,
                       tag_name(item.tag));
      ++index;
    }
  }
  else
  {
    menu->addActions(source->actions());
    for ( QAction *item : removed )
      menu->removeAction(item);
  }
  const int32_t icon = menu_icon_id(json_object_find(&desc, "icon", 0), window);
  if ( icon >= 0 )
    menu->setIcon(current_app()->icon_by_id(icon));
  if ( !toplevel && visible != nullptr )
    menu->menuAction()->setVisible(json_value_as_bool(visible) != 0);
  return menu;
}

} // namespace

bool menu_builder_t::handle_special_item(const char *, QWidget *, ui_main_window_t *)
{
  return false;
}

bool toolbar_builder_t::handle_special_item(const char *name, QWidget *target, ui_main_window_t *window)
{
  auto *toolbar = qobject_cast<QToolBar *>(target);
  if ( toolbar == nullptr )
    interr(40415);
  return window->add_special_item(name, toolbar);
}

QMenu *build_menu_from_desc(action_set_builder_mixin_t *builder, const json_object_t &desc, bool toplevel)
{
  return build_menu(builder, desc, toplevel, 0);
}

QToolBar *build_toolbar_from_desc(action_set_builder_mixin_t *builder, const json_object_t &desc)
{
  const char *owner = desc_title(desc);
  for ( const char *key : {"label", "name", "actions"} )
  {
    if ( json_object_find(&desc, key, 0) == nullptr )
    {
      warning_printf("Toolbar \"%s\": missing \"%s\" property", owner, key);
      return nullptr;
    }
  }
  bool bad = false;
  const json_value_t *label = typed_member(desc, "label", JSON_STRING, "Toolbar", owner, &bad);
  const json_value_t *name = typed_member(desc, "name", JSON_STRING, "Toolbar", owner, &bad);
  const json_value_t *actions = typed_member(desc, "actions", JSON_ARRAY, "Toolbar", owner, &bad);
  if ( bad )
    return nullptr;
  if ( *json_get_string(name) == '\0' )
  {
    warning_printf("Toolbar \"%s\": the \"name\" property must not be empty", owner);
    return nullptr;
  }
  ui_main_window_t *window = builder->window();
  auto *toolbar = new QToolBar(ui_main_window_t::tr(json_get_string(label)));
  const int side = toolbar_icon_side(QFontMetrics(window->font()).height());
  toolbar->setIconSize(QSize(side, side));
  toolbar->setObjectName(QString::fromUtf8(json_get_string(name)));
  size_t index = 0;
  for ( const json_value_t &item : *actions->u.arr )
  {
    if ( item.tag == JSON_STRING )
      add_string_item(builder, toolbar, json_get_string(&item));
    else
      warning_printf("Toolbar \"%s\": item #%zu must be a string, not %s", owner, index, tag_name(item.tag));
    ++index;
  }
  return toolbar;
}

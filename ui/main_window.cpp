// The base of the application's main window: the receiver of queued GUI-thread requests, the keeper of theme
// icons and the registry of the named menus and configured toolbars.
#include "ui/main_window.h"

#include "core/internal_error.h"
#include "core/ui_callback.h"
#include "ui/app_base.h"
#include "ui/menu_layout.h"
#include "ui/object_lifecycle_monitor.h"
#include "ui/popup_menu.h"
#include "ui/qaction_shadow.h"
#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"
#include "ui/theme_stylesheets.h"
#include "ui/widget_factory.h"

#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include <cstring>

int menu_role_of_name(const QString &name)
{
  const int colon = name.indexOf(QLatin1Char(':'));
  const QString word = colon < 0 ? name : name.mid(colon + 1);
  if ( word == QLatin1String("Edit") )
    return 1;
  if ( word == QLatin1String("Search") )
    return 2;
  if ( word == QLatin1String("Jump") )
    return 3;
  return 0;
}

// Watches the active core widget; its destruction restores the standard menus.
class ui_main_window_t::active_corewidget_t : public object_lifecycle_monitor_t
{
public:
  explicit active_corewidget_t(ui_main_window_t *window) : window_(window) {}
  void on_object_destroyed() override
  {
    object_lifecycle_monitor_t::on_object_destroyed();
    window_->restore_standard_menus();
  }

private:
  ui_main_window_t *window_;
};

namespace {

// Calls a slot without arguments when the object's class has it.
void invoke_if_present(QObject *object, const char *signature)
{
  const QMetaObject *meta = object->metaObject();
  const int index = meta->indexOfSlot(signature);
  if ( index >= 0 )
    meta->method(index).invoke(object, Qt::DirectConnection);
}

} // namespace

ui_main_window_t::ui_main_window_t(QWidget *parent, Qt::WindowFlags flags)
  : QMainWindow(parent, flags), active_(std::make_unique<active_corewidget_t>(this))
{
  for ( auto &monitor : custom_menus_ )
    monitor = std::make_unique<object_lifecycle_monitor_t>();
  const QMetaObject *meta = metaObject();
  const int index = meta->indexOfSlot("exec_requests()");
  if ( index < 0 )
    interr(40438);
  exec_requests_method_ = meta->method(index);
  // A theme applied before the window existed (at start-up) names its icons too.
  feed_theme_icons(qApp->styleSheet(), this);
}

ui_main_window_t::~ui_main_window_t()
{
  // The active widget may outlive the window: it must not call back into it.
  active_->watch_object(nullptr);
  for ( const auto &monitor : created_menus_ )
  {
    QObject *menu = monitor->watched();
    if ( menu != nullptr && menu->parent() == nullptr )
      delete menu;
  }
}

void ui_main_window_t::on_toolbar_added(QToolBar *)
{
}

bool ui_main_window_t::add_special_item(const char *, QWidget *)
{
  return false;
}

QString ui_main_window_t::standard_menu_name(const QString &role_word) const
{
  const int colon = role_word.indexOf(QLatin1Char(':'));
  return colon < 0 ? role_word : role_word.mid(colon + 1);
}

QMenu *ui_main_window_t::make_menu(const QString &name, const QString &title, QWidget *parent)
{
  QMenu *menu = current_app()->get_widget_factory()->new_menu(title, parent);
  if ( !name.isEmpty() )
  {
    menu->setObjectName(name);
    named_menus_.insert(name, menu);
    if ( const int role = menu_role_of_name(name); role != 0 )
      menu->setProperty(menu_role_property, role);
  }
  // Popup menus are made here for every context menu: forget the monitors of menus already gone.
  std::erase_if(created_menus_, [](const auto &watching) { return watching->watched() == nullptr; });
  auto monitor = std::make_unique<object_lifecycle_monitor_t>();
  monitor->watch_object(menu);
  created_menus_.push_back(std::move(monitor));
  return menu;
}

QMenu *ui_main_window_t::find_named_menu(const QString &name) const
{
  return named_menus_.value(name, nullptr);
}

QToolBar *ui_main_window_t::find_toolbar(const QString &name) const
{
  for ( QToolBar *toolbar : toolbars_ )
    if ( toolbar->objectName() == name )
      return toolbar;
  return nullptr;
}

void ui_main_window_t::set_menubar_menus(const QStringList &names)
{
  QMenuBar *bar = menuBar();
  QList<QMenu *> taken;
  for ( QAction *item : bar->actions() )
  {
    if ( item->menu() != nullptr )
    {
      taken.append(item->menu());
      bar->removeAction(item);
    }
  }
  for ( const QString &name : names )
  {
    QMenu *menu = find_named_menu(name);
    if ( menu == nullptr )
    {
      log_printf("Menu \"%s\" could not be found\n", name.toUtf8().constData());
      continue;
    }
    bar->addAction(menu->menuAction());
    taken.removeAll(menu);
  }
  for ( QMenu *menu : taken )
  {
    const QVariant path = menu->property(user_menu_path_property);
    if ( path.userType() == QMetaType::QString )
      attach_user_menu(menu, path.toString());
  }
}

void ui_main_window_t::attach_user_menu(QMenu *menu, const QString &path)
{
  QMenuBar *bar = menuBar();
  if ( !path.isEmpty() )
  {
    if ( QMenu *named = find_named_menu(path) )
    {
      if ( bar->actions().contains(named->menuAction()) )
      {
        bar->insertAction(named->menuAction(), menu->menuAction());
        return;
      }
    }
    else
    {
      QStringList components = path.split(QLatin1Char('/'));
      app_t *app = current_app();
      QMenu *root = app != nullptr ? app->user_menu_root(components.takeFirst()) : nullptr;
      popup_insert_pos_t at;
      if ( root != nullptr && resolve_popup_path(&at, root, components, this) )
      {
        at.menu->insertAction(at.before, menu->menuAction());
        return;
      }
    }
  }
  bar->addAction(menu->menuAction());
}

void ui_main_window_t::set_toolbars(const QStringList &names)
{
  for ( QToolBar *toolbar : toolbars_ )
    removeToolBar(toolbar);
  for ( QToolBar *toolbar : toolbars_ )
  {
    addToolBar(toolbar);
    toolbar->setVisible(names.contains(toolbar->objectName()));
  }
}

namespace {

// The strings of an array member: false when it is absent or not an array; no names at all when one element is
// not a string.
bool string_list_member(const json_object_t &object, const char *key, QStringList *names)
{
  const json_value_t *array = json_object_find(&object, key, JSON_ARRAY);
  if ( array == nullptr )
    return false;
  for ( const json_value_t &element : *array->u.arr )
  {
    if ( element.tag != JSON_STRING )
    {
      names->clear();
      return true;
    }
    names->append(QString::fromUtf8(json_get_string(&element)));
  }
  return true;
}

} // namespace

void ui_main_window_t::restore_toolbars_from_desktop(const json_object_t &desktop)
{
  QStringList names;
  (void)string_list_member(desktop, "default_toolbars", &names);
  set_toolbars(names);
}

void ui_main_window_t::restore_menubar_from_desktop(const json_object_t &desktop)
{
  QStringList names;
  if ( !string_list_member(desktop, "menubar", &names) )
    default_menubar_menus(&names);
  set_menubar_menus(names);
}

QAction *ui_main_window_t::make_menu_shadow_action(const char *action_name, const QString &menu_name)
{
  app_t *app = current_app();
  ui_action_registry_t *registry = app != nullptr ? app->get_action_registry() : nullptr;
  ui_action_t *action = registry != nullptr ? registry->find_action(action_name) : nullptr;
  if ( action == nullptr )
  {
    log_printf("Invalid action name: %s\n", action_name);
    return nullptr;
  }
  // The menu is looked up first so that a missing one leaves no orphan shadow on the window.
  QMenu *source_menu = find_named_menu(menu_name);
  if ( action->qaction() == nullptr || source_menu == nullptr )
    return nullptr;
  auto *shadow = new qaction_shadow_t(action->qaction(), this);
  auto *menu = new QMenu(this);
  menu->addActions(source_menu->actions());
  shadow->setMenu(menu);
  return shadow;
}

QMenu *ui_main_window_t::merge_context_menu(QMenu *source, const QString &name, QWidget *parent)
{
  QMenu *menu = make_menu(name, source->title(), parent);
  menu->addActions(source->actions());
  menu->setProperty(menu_role_property, source->property(menu_role_property));
  return menu;
}

void ui_main_window_t::activate_core_widget(QWidget *widget)
{
  if ( widget == nullptr )
  {
    restore_standard_menus();
    return;
  }
  active_->watch_object(widget);
  invoke_if_present(widget, "form_activate()");
  if ( active_->watched() == nullptr )
    return; // its own slot destroyed it (the caller reports that)
  const QMetaObject *meta = widget->metaObject();
  const int index = meta->indexOfSlot("get_custom_menus(QObject**,QObject**,QObject**)");
  if ( index < 0 )
    return;
  QObject *menus[3] = {nullptr, nullptr, nullptr};
  meta->method(index).invoke(widget, Qt::DirectConnection, Q_ARG(QObject **, &menus[0]),
                             Q_ARG(QObject **, &menus[1]), Q_ARG(QObject **, &menus[2]));
  for ( int i = 0; i < 3; ++i )
  {
    auto *menu = qobject_cast<QMenu *>(menus[i]);
    if ( menu != nullptr && replace_menu_of_role(i + 1, menu) )
      custom_menus_[i]->watch_object(menu);
  }
}

void ui_main_window_t::deactivate_core_widget()
{
  if ( QObject *widget = active_->watched() )
    invoke_if_present(widget, "form_deactivate()");
  restore_standard_menus();
  active_->watch_object(nullptr);
}

QWidget *ui_main_window_t::active_core_widget() const
{
  return active_->watched_as<QWidget>();
}

bool ui_main_window_t::replace_menu_of_role(int role, QMenu *menu)
{
  QMenuBar *bar = menuBar();
  if ( menu == nullptr || bar->actions().contains(menu->menuAction()) )
    return false;
  for ( QAction *item : bar->actions() )
  {
    if ( item->menu() != nullptr && item->menu()->property(menu_role_property).toInt() == role )
    {
      bar->insertAction(item, menu->menuAction());
      bar->removeAction(item);
      return true;
    }
  }
  log_printf("Menu entry '%d' doesn't exist; can't replace.\n", role);
  return false;
}

void ui_main_window_t::restore_standard_menus()
{
  static const char *const role_words[3] = {"Edit", "Search", "Jump"};
  QMenuBar *bar = menuBar();
  for ( int i = 0; i < 3; ++i )
  {
    auto *custom = custom_menus_[i]->watched_as<QMenu>();
    if ( custom == nullptr )
      continue;
    if ( bar->actions().contains(custom->menuAction()) )
    {
      // The role it was installed for: a custom menu need not carry the role property itself.
      if ( QMenu *standard = find_named_menu(standard_menu_name(QString::fromLatin1(role_words[i]))) )
        bar->insertAction(custom->menuAction(), standard->menuAction());
      bar->removeAction(custom->menuAction());
    }
    custom_menus_[i]->watch_object(nullptr);
  }
}

void ui_main_window_t::create_menus_from_desc(const jarr_t &menus)
{
  menu_builder_t builder(this);
  size_t index = 0;
  for ( const json_value_t &element : menus )
  {
    if ( element.tag != JSON_OBJECT )
    {
      warning_printf("Bad menu description #%zu", index++);
      continue;
    }
    ++index;
    QMenu *menu = build_menu_from_desc(&builder, *element.u.obj, true);
    if ( menu == nullptr )
      continue;
    // The builder checked both flags' types.
    const json_value_t *present = json_object_find(element.u.obj, "present_initially", JSON_BOOL);
    if ( present != nullptr && json_value_as_bool(present) == 0 )
      continue;
    menuBar()->addAction(menu->menuAction());
    if ( const json_value_t *visible = json_object_find(element.u.obj, "visible_initially", JSON_BOOL) )
      menu->menuAction()->setVisible(json_value_as_bool(visible) != 0);
  }
}

void ui_main_window_t::create_toolbars_from_desc(const jarr_t &toolbars)
{
  toolbar_builder_t builder(this);
  size_t index = 0;
  for ( const json_value_t &element : toolbars )
  {
    if ( element.tag == JSON_STRING )
    {
      const char *text = json_get_string(&element);
      if ( text[0] == '\0' || strcmp(text, "-") == 0 )
      {
        addToolBarBreak(Qt::TopToolBarArea);
        on_toolbar_added(nullptr);
      }
      else
      {
        warning_printf("Bad toolbar descripton \"%s\"", text);
      }
    }
    else if ( element.tag == JSON_OBJECT )
    {
      if ( QToolBar *toolbar = build_toolbar_from_desc(&builder, *element.u.obj) )
      {
        toolbars_.push_back(toolbar);
        toolbar->hide();
        addToolBar(toolbar);
        on_toolbar_added(toolbar);
      }
    }
    else
    {
      warning_printf("Bad toolbar descripton #%zu", index);
    }
    ++index;
  }
}

bool ui_main_window_t::post_exec_requests()
{
  return exec_requests_method_.invoke(this, Qt::QueuedConnection);
}

void ui_main_window_t::exec_requests()
{
  if ( app_t *app = current_app() )
    app->run_queued_requests(false);
}

int32_t ui_main_window_t::theme_icon_id(const char *name) const
{
  const auto found = theme_icons_.find(name != nullptr ? name : "");
  return found != theme_icons_.end() ? found->second : -1;
}

void ui_main_window_t::clear_theme_icons()
{
  theme_icons_.clear();
}

bool ui_main_window_t::handleUnknownStyleProperty(QString key, QString value)
{
  static const QString prefix = QStringLiteral("themeicon");
  if ( key.size() <= prefix.size() || !key.startsWith(prefix)
       || (key[prefix.size()] != QLatin1Char('-') && key[prefix.size()] != QLatin1Char('_')) )
    return false;
  const QIcon icon(value);
  app_t *app = current_app();
  if ( icon.isNull() || app == nullptr )
    return true;
  const QByteArray name = key.mid(prefix.size() + 1).toUtf8();
  const int32_t id = app->register_icon(icon, name.constData());
  if ( id >= 0 )
    theme_icons_[name.toStdString()] = id;
  return true;
}

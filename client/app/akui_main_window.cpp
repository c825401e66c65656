// The client's main window: dock area, status bar, menus and toolbars.
#include "client/app/akui_main_window.h"

#include "client/app/akui_app.h"
#include "client/app/client_config.h"
#include "client/app/stored_desktop.h"
#include "core/ui_callback.h"
#include "ui/dialog_base.h"
#include "ui/docks/dock_area.h"
#include "ui/layout_helpers.h"

#include <QCloseEvent>
#include <QStatusBar>

#include <cstring>

akui_main_window_t::akui_main_window_t(const akui_client_config_t &config, QWidget *parent, Qt::WindowFlags flags)
  : ui_main_window_t(parent, flags), config_(config), dock_area_(new TopLevelDockArea)
{
  setCentralWidget(dock_area_);
  if ( app_t *app = current_app(); app != nullptr )
    app->set_top_level_dock_area(dock_area_);
  QStatusBar *bar = statusBar();
  bar->setObjectName(QStringLiteral("main_status_bar"));
  bar->setFont(QFont(QString::fromUtf8(fallback_fixed_font_name())));
  for ( QLabel *&label : status_labels_ )
  {
    label = new ui_label_t(bar);
    QSizePolicy policy = label->sizePolicy();
    policy.setHorizontalPolicy(QSizePolicy::Fixed);
    label->setSizePolicy(policy);
    bar->addWidget(label, 0);
  }
}

akui_main_window_t::~akui_main_window_t() = default;

void akui_main_window_t::build_menus()
{
  if ( config_.menus_layout.tag != JSON_ARRAY )
    fatal_printf("%s", missing_menus_layout_text);
  create_menus_from_desc(*json_as_array(&config_.menus_layout));
}

void akui_main_window_t::build_toolbars()
{
  if ( config_.toolbars_layout.tag != JSON_ARRAY )
    fatal_printf("%s", missing_toolbars_layout_text);
  create_toolbars_from_desc(*json_as_array(&config_.toolbars_layout));
}

void akui_main_window_t::default_menubar_menus(QStringList *out)
{
  *out << QStringLiteral("File") << QStringLiteral("View") << QStringLiteral("Actions") << QStringLiteral("Search")
       << QStringLiteral("Help");
}

bool akui_main_window_t::add_special_item(const char *name, QWidget *target)
{
  if ( strcmp(name, "@resolve_auto") != 0 )
    return false;
  QAction *shadow = make_menu_shadow_action("resolve_auto", QStringLiteral("Resolve"));
  if ( shadow == nullptr )
    return false;
  target->addAction(shadow);
  return true;
}

void akui_main_window_t::set_status_text(const QString &text)
{
  status_labels_[0]->setText(text);
  for ( size_t i = 1; i < status_labels_.size(); ++i )
    status_labels_[i]->clear();
}

void akui_main_window_t::closeEvent(QCloseEvent *event)
{
  if ( akui_app_t *app = akui_app(); app != nullptr )
  {
    store_desktop(*app);
    app->save_widget_states(true);
  }
  event->accept();
  ui_main_window_t::closeEvent(event);
}

// The core-widget step of focus tracking: the widget that actions apply to follows the focus.
#include "ui/app_base.h"

#include "core/internal_error.h"
#include "ui/action_context.h"
#include "ui/main_window.h"

namespace {

constexpr int INTERR_WIDGET_DESTROYED_WHILE_ACTIVATED = 40345;

} // namespace

void app_t::switch_active_core_widget(QWidget *now)
{
  QWidget *core = core_widget_of(now);
  ui_main_window_t *window = main_window();
  if ( core == nullptr || window == nullptr )
    return;
  QWidget *old = window->active_core_widget();
  if ( core == old )
    return;
  // The widget's own slots and the update functions run below; none may destroy it.
  object_lifecycle_monitor_t alive;
  alive.watch_object(core);
  const auto check_alive = [&alive] {
    if ( alive.was_destroyed() )
      interr(INTERR_WIDGET_DESTROYED_WHILE_ACTIVATED);
  };
  window->deactivate_core_widget();
  refresh_actions_for(UPDACT_DEACTIVATING, old, nullptr);
  check_alive();
  window->activate_core_widget(core);
  check_alive();
  refresh_actions_for(UPDACT_ACTIVATED, core, nullptr);
  check_alive();
}

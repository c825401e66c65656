// The client's chooser widget: its window icon and the reload on the application's refresh event.
#include "client/views/akui_chooser_widget.h"

#include "client/app/akui_app.h"

akui_chooser_widget_t::akui_chooser_widget_t(const chooser_widget_setup_t &setup) : chooser_widget_t(setup)
{
  if ( source()->icon != -1 )
    if ( app_t *app = current_app() )
      setWindowIcon(app->icon_by_id(source()->icon));
}

bool akui_chooser_widget_t::event(QEvent *event)
{
  if ( event->type() == refresh_dirty_widgets_event_t::event_type )
  {
    const int kind = widget_kind();
    const uint64_t mask = static_cast<refresh_dirty_widgets_event_t *>(event)->mask;
    if ( kind >= 0 && kind < 64 && ((mask >> kind) & 1) != 0 )
    {
      refresh_items(nullptr, refresh_reason, false);
      return true;
    }
  }
  return chooser_widget_t::event(event);
}

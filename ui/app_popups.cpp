// The application's context menus: filling and showing a popup, with its captions and its one-off actions.
#include "ui/app_base.h"

#include "core/internal_error.h"
#include "ui/popup_menu.h"
#include "ui/ui_action_registry.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>

namespace {

// Gives each listed action of the menu the caption the map holds, and the map the action's own text.
void swap_captions(popup_menu_ctx_t *popup)
{
  for ( QAction *action : popup->menu->actions() )
  {
    const auto found = popup->captions.find(action);
    if ( found == popup->captions.end() )
      continue;
    const QString own = action->text();
    action->setText(found.value());
    found.value() = own;
  }
}

} // namespace

void app_t::populate_popup(popup_menu_ctx_t *, const void *, int)
{
}

void app_t::exec_popup(popup_menu_ctx_t *popup, const void *position, int kind)
{
  populate_popup(popup, position, kind);
  QPoint at;
  if ( kind == POPUP_AT_EVENT )
    at = static_cast<const QContextMenuEvent *>(position)->globalPos();
  else if ( kind == POPUP_AT_POINT )
    at = *static_cast<const QPoint *>(position);
  else
    interr(INTERR_BAD_POPUP_POSITION_KIND);

  // Empty means nothing to pick: no visible item besides separators.
  QMenu *menu = popup->menu.get();
  if ( menu != nullptr && !menu->isEmpty() )
  {
    popup->position = at;
    menu->setObjectName(QLatin1String(popup_menu_object_name));
    swap_captions(popup);
    popup_menu_ctx_t *const outer = current_popup_;
    current_popup_ = popup;
    menu->exec(at);
    current_popup_ = outer;
    swap_captions(popup);
  }
  // Also when nothing was shown: a generated action that was taken out again must not stay registered.
  for ( const qstring &name : popup->generated_names )
    (void)unregister_ui_action_by_name(name.c_str());
  popup->generated_names.clear();
}

// The filtered views' actions in the test application, registered as the client registers them.
#pragma once

#include "tests/ui/app/test_app.h"
#include "ui/action_context.h"
#include "ui/ui_action_registry.h"
#include "views/filter/filtered_view_actions.h"

#include <QAction>

// Registers those of the actions that are not registered yet (they stay for the rest of the process).
inline void register_filtered_view_actions()
{
  ui_action_registry_t &registry = *test_app().get_action_registry();
  for ( const action_desc_t &desc : filtered_view_action_descs() )
    if ( registry.find_action(desc.name) == nullptr )
      (void)registry.register_core_action(desc);
}

// The QAction of a registered action.
inline QAction *qaction_of(const char *name)
{
  ui_action_t *action = find_ui_action(name);
  return action != nullptr ? action->qaction() : nullptr;
}

// Triggers the action as the user would, after the update pass that a focus change to the widget runs.
inline void trigger(const char *name)
{
  refresh_actions_for(UPDACT_ACTIVATED, nullptr, nullptr);
  qaction_of(name)->trigger();
}

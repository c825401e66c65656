// The two handler shapes of the file commands.
#include "client/commands/files_action.h"

#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"

int activate_files_action(files_action_helper_t &helper, action_ctx_base_t &context, uint32_t bits)
{
  selected_files_t files;
  if ( !collect_selected_files(&files, context, bits) )
    return 0;
  return helper.perform(files) ? 1 : 0;
}

int update_files_action(files_action_helper_t &helper, action_ctx_base_t &context, uint32_t bits)
{
  selected_files_t files;
  if ( !collect_selected_files(&files, context, bits) || selection_source_of(context) == nullptr )
    return FILES_ACTION_DISABLED;
  return helper.applicable(files, context) ? FILES_ACTION_ENABLED : FILES_ACTION_DISABLED;
}

void relabel_action(const action_ctx_base_t &context, const char *label)
{
  if ( ui_action_t *action = find_ui_action(context.action_name.c_str()); action != nullptr )
    (void)action->apply_property(ACTION_PROP_LABEL, label);
}

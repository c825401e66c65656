// The file commands' command objects and the two handler shapes that run them on a view's selection.
#pragma once

#include "client/commands/selected_file.h"
#include "ui/action_context.h"

class ui_action_t;

// Action states an update handler answers.
constexpr int FILES_ACTION_ENABLED = 3;
constexpr int FILES_ACTION_DISABLED = 7;

// The command object of one file action, built by its handler for one call.
class files_action_helper_t
{
public:
  virtual ~files_action_helper_t() = default;
  // Runs the command on the collected records, which it may consume (nothing reads them after it); true makes
  // the framework refresh the action's views.
  [[nodiscard]] virtual bool perform(selected_files_t &files) = 0;
  // Whether the command applies to the records in the context; may relabel the action.
  [[nodiscard]] virtual bool applicable(const selected_files_t &files, action_ctx_base_t &context) = 0;
};

// The activate shape: collects with the bits and performs; 0 when the view has no collector.
int activate_files_action(files_action_helper_t &helper, action_ctx_base_t &context, uint32_t bits);
// The update shape: 3 when the collection succeeded and the command applies, else 7.
int update_files_action(files_action_helper_t &helper, action_ctx_base_t &context, uint32_t bits);

// Handlers of a command class whose constructor takes no argument, with its activate and update bits.
template<class Helper, uint32_t ActivateBits>
int files_activate(ui_action_activation_ctx_t *context)
{
  Helper helper;
  return activate_files_action(helper, *context, ActivateBits);
}
template<class Helper, uint32_t UpdateBits>
int files_update(ui_action_t *, ui_action_update_ctx_t *context)
{
  Helper helper;
  return update_files_action(helper, *context, UpdateBits);
}

// Relabels the context's action ("~x~" markup); nothing when the action is unknown.
void relabel_action(const action_ctx_base_t &context, const char *label);

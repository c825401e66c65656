// The application's operations on actions: mask states, running handlers with the current action set, triggers.
#include "ui/app_base.h"

#include "core/internal_error.h"
#include "ui/action_context.h"
#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"

namespace {

constexpr int INTERR_STATE_OF_NON_CORE_ACTION = 40725;
constexpr uint64_t ALL_WIDGET_KINDS = ~uint64_t(0);
constexpr uint64_t REQUIRED_CONTEXT_MASK = 0xFFFFFFFF00000000ull;

// Makes an action and context current for the lifetime of the object; the previous ones come back after.
class current_action_scope_t
{
public:
  current_action_scope_t(ui_action_t *&action_slot, action_ctx_base_t *&context_slot, ui_action_t *action,
                         action_ctx_base_t *context)
    : action_slot_(action_slot), context_slot_(context_slot), saved_action_(action_slot), saved_context_(context_slot)
  {
    action_slot_ = action;
    context_slot_ = context;
  }
  ~current_action_scope_t()
  {
    action_slot_ = saved_action_;
    context_slot_ = saved_context_;
  }
  current_action_scope_t(const current_action_scope_t &) = delete;
  current_action_scope_t &operator=(const current_action_scope_t &) = delete;

private:
  ui_action_t *&action_slot_;
  action_ctx_base_t *&context_slot_;
  ui_action_t *saved_action_;
  action_ctx_base_t *saved_context_;
};

} // namespace

ui_action_registry_t *_base_app_mixin_t::get_flagged_action_registry()
{
  return get_action_registry();
}

ui_action_registry_t *_base_app_mixin_t::get_action_registry()
{
  return nullptr;
}

int _base_app_mixin_t::compute_action_state(ui_action_t *action, ui_action_update_ctx_t *context)
{
  if ( (action->flags & ACTION_FLAG_CORE) == 0 )
    interr(INTERR_STATE_OF_NON_CORE_ACTION);
  const uint64_t required = action->context_word & REQUIRED_CONTEXT_MASK;
  const int by_context = (context->context_flags & required) == required ? ACTION_STATE_ENABLED
                                                                         : ACTION_STATE_MISSING_CONTEXT;
  const int kind = context->widget_kind;
  const uint64_t kinds = action->widget_kinds;
  if ( kinds == ALL_WIDGET_KINDS || (kind >= 0 && kind < 64 && ((kinds >> kind) & 1) != 0) )
    return by_context;
  if ( (action->widget_classes & context->widget_class_flags) == 0 )
    return ACTION_STATE_NOT_FOR_WIDGET;
  return by_context;
}

ui_action_context_provider_t *_base_app_mixin_t::get_action_context_provider()
{
  return nullptr;
}

bool _base_app_mixin_t::trigger_action_if_enabled(ui_action_t *action)
{
  return action != nullptr && action->state() <= ACTION_STATE_INITIAL && action->run_from_ui() != 0;
}

int _base_app_mixin_t::activate_action_handler(ui_action_t *action, ui_action_activation_ctx_t *context,
                                               action_extra_t *)
{
  const current_action_scope_t scope(current_action_, current_action_context_, action, context);
  return action->handler()->activate(context);
}

int _base_app_mixin_t::update_action_handler(ui_action_t *action, ui_action_update_ctx_t *context)
{
  const current_action_scope_t scope(current_action_, current_action_context_, action, context);
  return action->handler()->update(context);
}

int _base_app_mixin_t::recompute_action_state(ui_action_t *action, ui_action_update_ctx_t *context)
{
  return action != nullptr ? action->recompute_state(context) : ACTION_STATE_DISABLED_BIT;
}

void _base_app_mixin_t::refresh_widgets(uint64_t, bool) {}

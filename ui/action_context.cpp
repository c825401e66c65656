// Action contexts, update filters, and the base context provider with its update pass.
#include "ui/action_context.h"

#include "core/internal_error.h"
#include "core/ui_callback.h"
#include "ui/app_base.h"
#include "ui/log_widget.h"
#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QHeaderView>
#include <QWidget>

#include <cstring>

namespace {

// Whether the widget is the container or lies inside it in the same window (a popup is a window of its own).
bool is_inside(const QWidget *widget, const QWidget *container)
{
  for ( const QWidget *w = widget; w != nullptr; w = w->isWindow() ? nullptr : w->parentWidget() )
    if ( w == container )
      return true;
  return false;
}

// The logical index of the header section under the mouse pointer, -1 when the pointer is elsewhere.
int header_column_under_pointer(const QHeaderView *header)
{
  if ( header == nullptr )
    return -1;
  const QPoint at = header->mapFromGlobal(QCursor::pos());
  if ( !header->rect().contains(at) )
    return -1;
  return header->logicalIndexAt(at);
}

void send_update_notification(int32_t code, ui_action_update_ctx_t *context)
{
  if ( const ui_callback_t callback = ui_callback; callback != nullptr )
    (void)callback(code, context);
}

} // namespace

bool state_recomputed_for(int state, int reason)
{
  switch ( state & 3 )
  {
    case 0:
      return false;
    case 1:
      return reason == UPDACT_CONNECTION;
    case 2:
      return reason == UPDACT_ACTIVATED || reason == UPDACT_DEACTIVATING || reason == UPDACT_CONNECTION;
    default:
      return true;
  }
}

void update_action_filter_t::add_name(const char *name)
{
  entries.push_back(entry_t {nullptr, qstring(name != nullptr ? name : ""), true});
}

void update_action_filter_t::add_qaction(const QAction *qaction)
{
  entries.push_back(entry_t {qaction, qstring(), false});
}

void update_action_filter_t::add_action_names(const char *const *names, size_t count)
{
  if ( !entries.empty() )
    return;
  for ( size_t i = 0; i < count; ++i )
    if ( const ui_action_t *action = find_ui_action(names[i]); action != nullptr )
      add_qaction(action->qaction());
}

bool update_action_filter_t::matches(const ui_action_t *action) const
{
  const char *name = action->name().c_str();
  for ( const entry_t &entry : entries )
  {
    if ( !entry.is_name )
    {
      if ( entry.qaction != nullptr && entry.qaction == action->qaction() )
        return true;
      continue;
    }
    const char *wanted = entry.name.c_str();
    if ( wanted[0] == ACTION_FILTER_PREFIX ? std::strncmp(name, wanted + 1, std::strlen(wanted + 1)) == 0
                                           : std::strcmp(name, wanted) == 0 )
      return true;
  }
  return false;
}

void ui_action_context_provider_t::fill_update_context(ui_action_update_ctx_t *context)
{
  populate_context(context, 1);
  if ( !context->chooser_selection.empty() )
    context->context_flags |= ctx_bit(CTX_BIT_CHOOSER_SELECTION);
  if ( context->tree_selection != nullptr )
    context->context_flags |= ctx_bit(CTX_BIT_TREE_SELECTION);
  if ( context->tree_view != nullptr )
  {
    context->context_flags |= ctx_bit(CTX_BIT_TREE_VIEW);
    if ( context->tree_view->is_standalone_dirtree() )
      context->context_flags |= ctx_bit(CTX_BIT_STANDALONE_TREE);
    for ( int feature = 3; feature <= 5; ++feature )
      if ( context->tree_view->model_supports(feature) )
        context->context_flags |= ctx_bit(CTX_BIT_TREE_FEATURE_3 + feature - 3);
  }
  if ( is_chooser_widget(context->widget) )
  {
    context->widget_class_flags = WIDGET_CLASS_CHOOSER;
    if ( (context->context_flags & ctx_bit(CTX_BIT_TREE_VIEW)) == 0 )
      context->context_flags |= ctx_bit(CTX_BIT_CHOOSER_WIDGET);
  }
  else
  {
    context->widget_class_flags = 0;
  }
}

void ui_action_context_provider_t::fill_activation_context(ui_action_activation_ctx_t *context)
{
  populate_context(context, 0);
}

ui_action_update_ctx_t *ui_action_context_provider_t::new_update_context()
{
  return new ui_action_update_ctx_t;
}

ui_action_activation_ctx_t *ui_action_context_provider_t::new_activation_context()
{
  return new ui_action_activation_ctx_t;
}

bool ui_action_context_provider_t::is_chooser_kind(int kind)
{
  return (kind >= 0 && kind <= 10) || (kind >= 12 && kind <= 19) || kind == 35 || kind == 36 || kind == 41
         || (kind >= 47 && kind <= 49) || (kind >= 52 && kind <= 57);
}

void ui_action_context_provider_t::do_update_actions(int reason, ui_action_update_ctx_t *context,
                                                     const update_action_filter_t *filter, int flags)
{
  if ( (flags & UPDACT_FLAG_SILENT) == 0 )
    send_update_notification(UI_CODE_BEFORE_ACTION_UPDATE, context);
  struct update_visitor_t final : action_visitor_t
  {
    int reason;
    ui_action_update_ctx_t *context;
    const update_action_filter_t *filter;
    app_t *app;

    int visit(ui_action_t *action) override
    {
      if ( filter != nullptr && !filter->matches(action) )
        return 0;
      const int state = action->state();
      if ( state < 0 || state > ACTION_STATE_MAX )
        interr(INTERR_ACTION_BAD_STATE);
      if ( state_recomputed_for(state, reason) )
      {
        context->action_name = action->name();
        (void)app->recompute_action_state(action, context);
      }
      return 0;
    }
  };
  if ( app_t *app = current_app(); app != nullptr )
  {
    update_visitor_t visitor;
    visitor.reason = reason;
    visitor.context = context;
    visitor.filter = filter;
    visitor.app = app;
    (void)visit_ui_actions(&visitor);
  }
  if ( (flags & UPDACT_FLAG_SILENT) == 0 )
    send_update_notification(UI_CODE_AFTER_ACTION_UPDATE, context);
}

void ui_action_context_provider_t::reset_context(action_ctx_base_t *context)
{
  context->widget = nullptr;
  context->widget_kind = -1;
  context->title.clear();
  context->chooser_selection.clear();
  context->action_name.clear();
  context->focus_widget = nullptr;
  context->tree_selection = nullptr;
  context->chooser = nullptr;
  context->header_column = -1;
  context->filter_engine = nullptr;
  context->quick_filter_owner = nullptr;
  context->log_widget = nullptr;
  context->tree_selection_vector.clear();
  context->tree_view = nullptr;
  context->has_tree_view = false;
}

void ui_action_context_provider_t::populate_context(action_ctx_base_t *context, int flags)
{
  reset_context(context);
  fill_context_widgets(context, flags);
  if ( context->tree_view != nullptr )
  {
    context->tree_view->collect_current_selection(context->tree_selection_vector);
    if ( !context->tree_selection_vector.empty() )
      context->tree_selection = &context->tree_selection_vector;
  }
  app_t *app = current_app();
  if ( context->widget != nullptr && app != nullptr )
    (void)app->title_of_widget(context->title, context->widget);
  if ( !is_chooser_kind(context->widget_kind) )
    return;
  if ( chooser_view_t *chooser = as_chooser_view(context->widget); chooser != nullptr )
  {
    context->chooser_selection = chooser->selected_indexes();
    context->chooser = chooser->chooser_data();
    context->header_column = header_column_under_pointer(chooser->shown_header());
  }
}

QWidget *ui_action_context_provider_t::current_widget()
{
  app_t *app = current_app();
  if ( app == nullptr )
    return nullptr;
  if ( QWidget *focused = app->focused_core_widget(); focused != nullptr )
    return focused;
  return core_widget_of(app->recent_focused_widget(1));
}

void ui_action_context_provider_t::fill_context_widgets(action_ctx_base_t *context, int)
{
  app_t *app = current_app();
  context->widget = current_widget();
  context->widget_kind = app != nullptr && context->widget != nullptr ? app->widget_kind_of(context->widget) : -1;

  // The focus counts only inside the widget: not in a popup, and not in another window.
  QWidget *focus = QApplication::focusWidget();
  context->focus_widget = context->widget != nullptr && is_inside(focus, context->widget) ? focus : nullptr;

  context->tree_view = as_dirtree_view(context->widget);
  if ( context->tree_view == nullptr )
    context->tree_view = as_dirtree_view(context->focus_widget);
  context->has_tree_view = context->tree_view != nullptr;

  context->log_widget = qobject_cast<log_widget_t *>(context->widget);
  if ( context->log_widget == nullptr )
    context->log_widget = qobject_cast<log_widget_t *>(context->focus_widget);

  if ( quick_filter_input_view_t *input = as_quick_filter_input(context->focus_widget); input != nullptr )
    context->quick_filter_owner = input->owner_filter_widget();

  context->filter_engine = filter_engine_of(context->widget);
  if ( context->filter_engine == nullptr && context->quick_filter_owner != nullptr )
  {
    dirtree_host_view_t *host = as_dirtree_host(context->quick_filter_owner->parentWidget());
    if ( dirtree_view_t *tree = host != nullptr ? host->hosted_tree() : nullptr; tree != nullptr )
      context->filter_engine = tree->tree_filter_engine();
  }
}

void ui_action_context_provider_t::refresh_actions(int reason, QWidget *, const update_action_filter_t *filter)
{
  app_t *app = current_app();
  ui_action_context_provider_t *provider = app != nullptr ? app->get_action_context_provider() : nullptr;
  if ( provider == nullptr )
    return;
  const action_ctx_ptr<ui_action_update_ctx_t> context(provider->new_update_context());
  provider->fill_update_context(context.get());
  do_update_actions(reason, context.get(), filter, 0);
}

void refresh_actions_for(int reason, QWidget *ignored, const update_action_filter_t *filter)
{
  app_t *app = current_app();
  if ( ui_action_context_provider_t *provider = app != nullptr ? app->get_action_context_provider() : nullptr;
       provider != nullptr )
    provider->refresh_actions(reason, ignored, filter);
}

void delete_action_ctx(action_ctx_base_t *context)
{
  delete context;
}

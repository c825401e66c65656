// Named actions: running an action from its QAction, its state and properties, and the core handler.
#include "ui/ui_action.h"

#include "core/internal_error.h"
#include "core/ui_callback.h"
#include "ui/action_context.h"
#include "ui/app_base.h"
#include "ui/fault_guard.h"
#include "ui/layout_helpers.h"
#include "ui/shortcut_table.h"
#include "ui/shortcut_text.h"
#include "ui/ui_action_registry.h"
#include "ui/widget_factory.h"

#include <QAction>
#include <QList>

namespace {

// Process-wide serial counter of actions; 0 is never given.
uint32_t next_action_serial = 1;

uint32_t take_serial()
{
  const uint32_t serial = next_action_serial;
  next_action_serial = serial + 1 != 0 ? serial + 1 : 1;
  return serial;
}

} // namespace

ui_action_t::ui_action_t() : serial_(take_serial()) {}

ui_action_t::~ui_action_t() = default;

int ui_action_t::run_from_ui()
{
  app_t *app = current_app();
  ui_action_context_provider_t *provider = app != nullptr ? app->get_action_context_provider() : nullptr;
  if ( provider == nullptr )
    return 0;
  const action_ctx_ptr<ui_action_activation_ctx_t> context(provider->new_activation_context());
  provider->fill_activation_context(context.get());
  context->action_name = name_;

  const bool first_computation = !state_known_;
  if ( first_computation )
  {
    const action_ctx_ptr<ui_action_update_ctx_t> update(provider->new_update_context());
    provider->fill_update_context(update.get());
    (void)app->recompute_action_state(this, update.get());
  }
  // An action whose state was unknown runs once even when that first computation disabled it.
  if ( state_ > ACTION_STATE_INITIAL && !first_computation )
  {
    log_printf("Warning: Action \"%s\" unexpectedly disabled. Context changed?\n", name_.c_str());
    return 0;
  }
  const std::unique_ptr<action_extra_t> extra(extra_context());
  const int result = activate_in_context(context.get(), extra.get());
  after_activation(result, context.get(), extra.get());
  return result;
}

action_extra_t *ui_action_t::extra_context()
{
  return nullptr;
}

int ui_action_t::activate_in_context(ui_action_activation_ctx_t *context, action_extra_t *extra)
{
  app_t *app = current_app();
  return app != nullptr ? app->activate_action_handler(this, context, extra) : 0;
}

void ui_action_t::after_activation(int result, ui_action_activation_ctx_t *, action_extra_t *)
{
  if ( result <= 0 || refresh_mask == 0 )
    return;
  if ( app_t *app = current_app(); app != nullptr )
    app->refresh_widgets(refresh_mask, true);
}

void ui_action_t::set_name(const char *text)
{
  name_.clear();
  for ( const char *p = text != nullptr ? text : ""; *p != '\0'; ++p )
    if ( *p != '&' && *p != '~' )
      name_.push_back(*p);
}

void ui_action_t::set_state(int state)
{
  state_ = state;
  const bool enabled = state < ACTION_STATE_DISABLED_BIT;
  if ( qaction_ != nullptr && qaction_->isEnabled() != enabled )
    qaction_->setEnabled(enabled);
}

int ui_action_t::recompute_state(ui_action_update_ctx_t *context)
{
  app_t *app = current_app();
  const int state = app != nullptr ? app->update_action_handler(this, context) : handler_->update(context);
  set_state(state);
  state_known_ = true;
  return state;
}

QAction *ui_action_t::detach_qaction()
{
  QAction *qaction = qaction_;
  qaction_ = nullptr;
  return qaction;
}

void ui_action_t::set_handler(action_handler_t *handler, bool owned)
{
  // Installing the owned handler again only changes who owns it.
  if ( owned_handler_.get() == handler )
    (void)owned_handler_.release();
  owned_handler_.reset(owned ? handler : nullptr);
  handler_ = handler;
}

bool ui_action_t::apply_property(int kind, const void *value)
{
  const auto text = [value] { return static_cast<const char *>(value); };
  const auto flag = [value] { return *static_cast<const bool *>(value); };
  switch ( kind )
  {
    case ACTION_PROP_LABEL:
      if ( qaction_ != nullptr )
        qaction_->setText(hotkey_markup_to_qt(text()));
      return true;
    case ACTION_PROP_SHORTCUTS:
      set_action_shortcuts(name_.c_str(), parse_shortcut_list(text(), false), true);
      // The table re-applies the registered action of the name; an action outside the registry is applied here.
      if ( find_ui_action(name_.c_str()) != this )
        apply_shortcuts();
      return true;
    case ACTION_PROP_TOOLTIP:
      if ( qaction_ != nullptr )
        qaction_->setToolTip(text() != nullptr ? QString::fromUtf8(text()) : QString());
      return true;
    case ACTION_PROP_ICON:
      if ( app_t *app = current_app(); qaction_ != nullptr && app != nullptr )
        qaction_->setIcon(app->icon_by_id(*static_cast<const int *>(value)));
      return true;
    case ACTION_PROP_STATE:
      set_state(*static_cast<const int *>(value));
      return true;
    case ACTION_PROP_CHECKABLE:
      if ( qaction_ != nullptr )
        qaction_->setCheckable(flag());
      return true;
    case ACTION_PROP_CHECKED:
      if ( qaction_ != nullptr )
        qaction_->setChecked(flag());
      return true;
    case ACTION_PROP_VISIBLE:
      if ( qaction_ != nullptr )
        qaction_->setVisible(flag());
      return true;
    default:
      return false;
  }
}

void ui_action_t::apply_shortcuts()
{
  if ( qaction_ == nullptr )
    return;
  qvector<qstring> texts;
  (void)lookup_action_shortcuts(name_.c_str(), &texts);
  QList<QKeySequence> sequences;
  for ( const qstring &text : texts )
  {
    const QKeySequence sequence = shortcut_sequence(text.c_str());
    if ( sequence.isEmpty() )
      continue;
    sequences.append(sequence);
    // Keyboards send Return for the main key that the configuration often calls Enter: answer to both.
    const QString portable = sequence.toString(QKeySequence::PortableText);
    if ( portable.contains(QLatin1String("enter"), Qt::CaseInsensitive) )
    {
      QString with_return = portable;
      with_return.replace(QLatin1String("enter"), QLatin1String("Return"), Qt::CaseInsensitive);
      sequences.append(QKeySequence(with_return, QKeySequence::NativeText));
    }
  }
  qaction_->setShortcuts(sequences);
}

int ui_core_action_handler_t::activate(ui_action_activation_ctx_t *context)
{
  if ( desc_->activate == nullptr )
    interr(INTERR_CORE_HANDLER_NO_ACTIVATE);
  int result = 0;
  if ( !run_guarded([&] { result = desc_->activate(context); }) )
    return 0;
  return result;
}

int ui_core_action_handler_t::update(ui_action_update_ctx_t *context)
{
  app_t *app = current_app();
  const auto mask_state = [&] { return app != nullptr ? app->compute_action_state(action_, context) : ACTION_STATE_INITIAL; };
  if ( desc_->update == nullptr )
    return mask_state();
  if ( (desc_->flags & ACTION_FLAG_UPDATE_DECIDES) == 0 )
  {
    const int state = mask_state();
    if ( state > ACTION_STATE_INITIAL )
      return state;
  }
  return desc_->update(action_, context);
}

std::unique_ptr<ui_action_t> ui_widget_factory_t::create_client_action(const ui_action_desc_t &)
{
  return nullptr;
}

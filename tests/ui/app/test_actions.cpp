// The action side of the UI suite's application: the context provider and the actions its factory makes.
#include "tests/ui/app/test_actions.h"

#include "tests/ui/app/test_app.h"
#include "ui/log_widget_actions.h"
#include "ui/shortcut_table.h"
#include "ui/ui_action_registry.h"

#include <QAction>

chooser_view_t *test_action_context_provider_t::context_chooser_widget(action_ctx_base_t *context)
{
  return as_chooser_view(context->widget);
}

filtered_widget_mixin_t *test_action_context_provider_t::context_filtered_widget(action_ctx_base_t *context)
{
  return context->filter_engine;
}

QWidget *test_action_context_provider_t::current_widget()
{
  return pinned_widget != nullptr ? pinned_widget : ui_action_context_provider_t::current_widget();
}

void test_action_context_provider_t::do_update_actions(int reason, ui_action_update_ctx_t *context,
                                                       const update_action_filter_t *filter, int flags)
{
  update_reasons.push_back(reason);
  ui_action_context_provider_t::do_update_actions(reason, context, filter, flags);
}

std::unique_ptr<ui_action_t> make_test_client_action(const ui_action_desc_t &desc,
                                                     std::unique_ptr<action_handler_t> stray_handler)
{
  test_app_t &app = test_app();
  auto action = std::make_unique<ui_action_t>();
  if ( stray_handler != nullptr )
    action->set_handler(stray_handler.release(), true);
  auto *qaction = new QAction(&app);
  qaction->setMenuRole(QAction::NoRole);
  if ( desc.icon >= 0 )
    qaction->setIcon(app.icon_by_id(desc.icon));
  if ( ui_main_window_t *window = app.main_window(); window != nullptr )
    window->addAction(qaction);
  QObject::connect(qaction, &QAction::triggered, &app, [qaction] {
    if ( ui_action_t *triggered = find_ui_action_of_qaction(qaction); triggered != nullptr )
    {
      (void)triggered->run_from_ui();
      refresh_actions_for(UPDACT_ACTION_RAN, nullptr, nullptr);
    }
  });
  action->set_qaction(qaction);
  return action;
}

bool register_plain_action(const char *name, const char *label, action_handler_t *handler, const void *owner)
{
  ui_action_desc_t desc;
  desc.name = name;
  desc.label = label;
  desc.handler = handler;
  desc.owner = owner;
  desc.flags = ACTION_DESC_PLAIN_LABEL;
  ui_action_registry_t &registry = *test_app().get_action_registry();
  std::unique_ptr<ui_action_t> action = registry.add_action(desc);
  return action != nullptr && registry.insert_action(&action);
}

namespace {

struct output_keys_t
{
  const char *name;
  const char *keys[2];
};
constexpr output_keys_t output_window_keys[] = {
  {"OutputNavLeft", {"Left", "Shift+Left"}},
  {"OutputNavRight", {"Right", "Shift+Right"}},
  {"OutputNavWordLeft", {"Ctrl+Left", "Ctrl+Shift+Left"}},
  {"OutputNavWordRight", {"Ctrl+Right", "Ctrl+Shift+Right"}},
  {"OutputNavLineUp", {"Up", "Shift+Up"}},
  {"OutputNavLineDown", {"Down", "Shift+Down"}},
  {"OutputNavPageUp", {"PgUp", "Shift+PgUp"}},
  {"OutputNavPageDown", {"PgDown", "Shift+PgDown"}},
  {"OutputNavLineBeginning", {"Home", "Shift+Home"}},
  {"OutputNavLineEnd", {"End", "Shift+End"}},
  {"OutputNavBeginning", {"Ctrl+Home", "Ctrl+Shift+Home"}},
  {"OutputNavEnd", {"Ctrl+End", "Ctrl+Shift+End"}},
  {"OutputCopy", {"Ctrl+C", nullptr}},
  {"OutputSelectAll", {"Ctrl+A", nullptr}},
  {"OutputFind", {"Ctrl+F", nullptr}},
  {"OutputFindNext", {"F3", nullptr}},
  {"OutputClearContents", {"Ctrl+L", nullptr}},
  {"OutputSaveToFile", {"Ctrl+S", nullptr}},
  {"OutputToggleTimestamps", {"Ctrl+T", nullptr}},
};

} // namespace

void register_output_window_actions()
{
  ui_action_registry_t &registry = *test_app().get_action_registry();
  for ( const action_desc_t &desc : log_widget_action_descs() )
    if ( registry.find_action(desc.name) == nullptr )
      (void)registry.register_core_action(desc);
  for ( const output_keys_t &entry : output_window_keys )
  {
    qvector<qstring> keys;
    for ( const char *key : entry.keys )
      if ( key != nullptr )
        keys.push_back(qstring(key));
    set_action_shortcuts(entry.name, keys, false);
  }
}

void unregister_output_window_actions()
{
  for ( const action_desc_t &desc : log_widget_action_descs() )
    (void)unregister_ui_action_by_name(desc.name);
}

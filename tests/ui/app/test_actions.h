// The action side of the UI suite's application: the context provider and the actions its factory makes.
#pragma once

#include "ui/action_context.h"
#include "ui/ui_action.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class QWidget;

// The application's context provider in the tests: the chooser of a context is its widget as a chooser view,
// its filter engine the one the base found. A test may pin the current widget instead of the focus.
class test_action_context_provider_t : public ui_action_context_provider_t
{
public:
  chooser_view_t *context_chooser_widget(action_ctx_base_t *context) override;
  filtered_widget_mixin_t *context_filtered_widget(action_ctx_base_t *context) override;
  QWidget *current_widget() override;
  // Appends the reason to update_reasons, then runs the pass.
  void do_update_actions(int reason, ui_action_update_ctx_t *context, const update_action_filter_t *filter,
                         int flags) override;

  QWidget *pinned_widget = nullptr; // not owned; null: the focus decides
  std::vector<int> update_reasons;  // the reason of every pass so far; tests clear it
};

// Makes an action as the client's factory does: a QAction parented to the application and added to the main
// window, menu role none, the description's icon, triggered() running the action and then an update pass with
// reason 3. A stray handler (may be null) is installed in it, which no factory should do.
[[nodiscard]] std::unique_ptr<ui_action_t> make_test_client_action(const ui_action_desc_t &desc,
                                                                   std::unique_ptr<action_handler_t> stray_handler);

// A handler that keeps its action enabled and does nothing when run.
class idle_action_handler_t : public action_handler_t
{
public:
  int activate(ui_action_activation_ctx_t *) override { return 1; }
  int update(ui_action_update_ctx_t *) override { return ACTION_STATE_ENABLED; }
};

// Registers an action with a plain label, run by a handler the caller keeps; false when the registry refuses it.
[[nodiscard]] bool register_plain_action(const char *name, const char *label, action_handler_t *handler, const void *owner);

// Registers the Output window's actions (those not registered yet) and gives them the suite's keys: the arrows,
// Home, End, Page Up and Page Down (Ctrl for words and the whole text; each also with Shift, which extends the
// selection), Ctrl+C copy, Ctrl+A select all, Ctrl+F find, F3 find next, Ctrl+L clear, Ctrl+S save and Ctrl+T
// the timestamps switch.
void register_output_window_actions();
// Unregisters them again.
void unregister_output_window_actions();

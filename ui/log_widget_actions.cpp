// The Output window's actions: descriptions for the application's action table.
#include "ui/log_widget_actions.h"

#include "ui/action_context.h"
#include "ui/log_widget.h"
#include "ui/logger.h"

#include <array>

namespace {

// Runs the command on the context's Output window; 0 without one.
template <void (*command)(log_widget_t *)>
int on_window(ui_action_activation_ctx_t *context)
{
  if ( context->log_widget == nullptr )
    return 0;
  command(context->log_widget);
  return 1;
}

int enabled_with_window(ui_action_t *, ui_action_update_ctx_t *context)
{
  return context->log_widget != nullptr ? ACTION_STATE_ENABLED : ACTION_STATE_NOT_FOR_WIDGET;
}

int copy_state(ui_action_t *, ui_action_update_ctx_t *context)
{
  if ( context->log_widget == nullptr )
    return ACTION_STATE_NOT_FOR_WIDGET;
  return context->log_widget->has_selection() ? ACTION_STATE_INITIAL : ACTION_STATE_MISSING_CONTEXT;
}

int timestamps_state(ui_action_t *action, ui_action_update_ctx_t *context)
{
  app_logger_t *logger = app_logger();
  const bool shown = logger != nullptr && logger->get_show_timestamps();
  (void)action->apply_property(ACTION_PROP_CHECKED, &shown);
  return context->log_widget != nullptr ? ACTION_STATE_INITIAL : ACTION_STATE_NOT_FOR_WIDGET;
}

action_desc_t output_action(const char *name, action_desc_t::activate_fn activate, const char *label,
                            const char *tooltip, action_desc_t::update_fn update = nullptr, uint32_t flags = 0)
{
  action_desc_t desc;
  desc.name = name;
  desc.activate = activate;
  desc.update = update;
  desc.widget_kinds = LOG_WIDGET_KIND_MASK;
  desc.flags = flags;
  desc.label = label;
  desc.tooltip = tooltip;
  return desc;
}

const std::array<action_desc_t, 19> descs = {
  output_action("OutputNavLeft", on_window<[](log_widget_t *w) { w->move_chars(-1, false); }>,
                "Move one character left", "Move one character left"),
  output_action("OutputNavRight", on_window<[](log_widget_t *w) { w->move_chars(1, false); }>,
                "Move one character right", "Move one character right"),
  output_action("OutputNavWordLeft", on_window<[](log_widget_t *w) { w->move_chars(-1, true); }>,
                "Move one word left", "Move one word left"),
  output_action("OutputNavWordRight", on_window<[](log_widget_t *w) { w->move_chars(1, true); }>,
                "Move one word right", "Move one word right"),
  output_action("OutputNavLineUp", on_window<[](log_widget_t *w) { w->move_lines(-1); }>, "Move one line up",
                "Move one line up"),
  output_action("OutputNavLineDown", on_window<[](log_widget_t *w) { w->move_lines(1); }>, "Move one line down",
                "Move one line down"),
  output_action("OutputNavPageUp", on_window<[](log_widget_t *w) { w->move_lines(-w->lines_per_page()); }>,
                "Move one page up", "Move one page up"),
  output_action("OutputNavPageDown", on_window<[](log_widget_t *w) { w->move_lines(w->lines_per_page()); }>,
                "Move one page down", "Move one page down"),
  output_action("OutputNavLineBeginning", on_window<[](log_widget_t *w) { w->move_line_beginning(); }>,
                "Move to beginning of line", "Move to beginning of line"),
  output_action("OutputNavLineEnd", on_window<[](log_widget_t *w) { w->move_line_end(); }>, "Move to end of line",
                "Move to end of line"),
  output_action("OutputNavBeginning", on_window<[](log_widget_t *w) { w->move_text_beginning(); }>,
                "Move to beginning of text", "Move to beginning of text"),
  output_action("OutputNavEnd", on_window<[](log_widget_t *w) { w->move_text_end(); }>, "Move to end of text",
                "Move to end of text"),
  output_action("OutputCopy", on_window<[](log_widget_t *w) { w->copy_selection(); }>, "&Copy",
                "Copy selection to clipboard", copy_state),
  output_action("OutputSelectAll", on_window<[](log_widget_t *w) { w->select_all(); }>, "Select All",
                "Select all text"),
  output_action("OutputFind", on_window<[](log_widget_t *w) { w->find(); }>, "&Find", "Find", enabled_with_window),
  output_action("OutputFindNext", on_window<[](log_widget_t *w) { w->find_next(); }>, "Find &next", "Find next",
                enabled_with_window),
  output_action("OutputClearContents", on_window<[](log_widget_t *w) { w->clear_contents(); }>, "C&lear", "Clear",
                enabled_with_window),
  output_action("OutputSaveToFile", on_window<[](log_widget_t *w) { (void)w->save_to_file(); }>, "Save to file...",
                "Save to file...", enabled_with_window),
  output_action("OutputToggleTimestamps", on_window<[](log_widget_t *w) { w->toggle_timestamps(); }>,
                "Show timestamps", "Show timestamps", timestamps_state, ACTION_FLAG_CHECKABLE),
};

} // namespace

std::span<const action_desc_t> log_widget_action_descs()
{
  return descs;
}

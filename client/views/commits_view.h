// The Commits view: the server's latest commits in a docked list, its widget, its action rows and its desktop
// factory.
#pragma once

#include "client/commands/selected_file.h"
#include "core/event_source.h"
#include "repo/wire_records.h"
#include "ui/ui_action.h"
#include "views/chooser/chooser_base.h"

#include <vector>

class QWidget;
class chooser_widget_t;

inline constexpr char commits_title[] = "Commits";
// Multiple selection, refresh, docked at its remembered place, widget kind 3.
inline constexpr uint32_t commits_chooser_flags = 0x220804;

// The commits in the order of the server's reply, at most as many as "NCommits" asks (all when absent). It
// listens to the facade's events for as long as it lives and reloads its widget after a site switch and a
// commit. It is the Commits view's selection source: it names the one selected commit.
class commits_chooser_t : public chooser_multi_t, public event_handler_t, public file_selection_source_t
{
public:
  commits_chooser_t();

  // Fetches the commits; without a usable connection an empty list and true. A failed query is reported and
  // leaves the list empty (false).
  bool prepare() override;
  uint64_t item_count() override { return commits_.size(); }
  // The number, the time ("%F %T", local), the user, the site, the description.
  void describe_row(std::span<qstring> texts, int32_t *icon, chooser_row_attrs_t *attrs, uint64_t row) override;
  // Triggers "open_commit_files"; nothing changes.
  int activate_items(qvector<uint64_t> *selection) override;
  // Loads again and selects the same commits by number (first row of each); when none is left, the old first
  // selected row clamped to the last row.
  int reload_items(qvector<uint64_t> *selection) override;

  // Events 0 (site switched) and 1 (worklist committed) refresh the widget; always null.
  void *handle(uint64_t code, va_list va) override;

  int selection_widget_kind() const override;
  // The view lists commits, not files: nothing to collect.
  bool collect_files(selected_files_t *out, uint32_t request_bits, const action_ctx_base_t &context) override;
  // The number of the one selected commit of the widget showing this list.
  bool selected_commit(int32_t *number) const override;

  [[nodiscard]] const std::vector<commit_info_t> &commits() const { return commits_; }

private:
  std::vector<commit_info_t> commits_;
};

// A new Commits view, docked, with "open_commit_files" before and "get_revision" after "Refresh" in its context
// menu; null when none was made (its load failed).
chooser_widget_t *create_commits_widget();
// The live Commits view, or null.
chooser_widget_t *find_commits_widget();
// Reloads the live Commits view, if any, keeping its selection.
void refresh_commits_widget();

// The handlers of "open_commits_widget" and "open_commit_files".
int open_commits_widget_activate(ui_action_activation_ctx_t *context);
int open_commit_files_activate(ui_action_activation_ctx_t *context);
int open_commit_files_update(ui_action_t *action, ui_action_update_ctx_t *context);

// The view's rows of the client's action table, in table order.
[[nodiscard]] std::vector<action_desc_t> commits_view_action_descs();

// The desktop factory "Commits": the live view, else a new one.
void register_commits_desktop_factory();

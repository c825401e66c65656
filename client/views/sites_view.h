// The Sites view: the server's sites in a docked list, with the add, edit, delete and switch operations.
#pragma once

#include "core/event_source.h"
#include "core/qvector.h"
#include "repo/wire_records.h"
#include "views/chooser/chooser_base.h"

#include <cstdint>

class QWidget;
struct ui_action_activation_ctx_t;
struct ui_action_update_ctx_t;
class ui_action_t;

// The list of sites: every site for an administrator, the login user's own for anybody else, in server order.
// Promises: rows are the list's records; the row of the current local site is bold; without a usable
// connection the list is empty and loads without a message; every change goes through the application's
// facade, and a row changes only once the server accepted the change.
class sites_chooser_t : public chooser_multi_t, public event_handler_t
{
public:
  // Titled "Sites", linked to the facade's events.
  sites_chooser_t();

  [[nodiscard]] bool prepare() override;
  [[nodiscard]] uint64_t item_count() override { return sites.size(); }
  void describe_row(std::span<qstring> texts, int32_t *icon, chooser_row_attrs_t *attrs, uint64_t row) override;
  // The new-site form; the first site of the list becomes the connection's site at once.
  int insert_item(qvector<uint64_t> *selection) override;
  // Asks, then deletes the selected sites from the last; a site that is not empty is asked about once more.
  int delete_items(qvector<uint64_t> *selection) override;
  // The edit form of each selected row in turn.
  int edit_items(qvector<uint64_t> *selection) override;
  int activate_items(qvector<uint64_t> *selection) override { return edit_items(selection); }
  // Reloads, keeping the selected names selected.
  int reload_items(qvector<uint64_t> *selection) override;
  bool standard_action_descs(chooser_stdact_desc_t *descs[4]) override;
  // Hears every event and lets it go on.
  void *handle(uint64_t, va_list) override { return nullptr; }

  // The edit form of the row; administrator: whether the User field may change. True when the row was
  // changed and fetched again.
  bool run_edit_site_form(uint64_t row, bool administrator);
  // Whether the row is the connection's current local site (name compared byte by byte).
  [[nodiscard]] bool is_current_row(uint64_t row) const;

  qvector<site_info_t> sites;

private:
  chooser_stdact_desc_t insert_desc_;
  chooser_stdact_desc_t delete_desc_;
  chooser_stdact_desc_t edit_desc_;
};

// The live "Sites" widget, or null.
[[nodiscard]] QWidget *find_sites_widget();
// Opens a new "Sites" widget docked, with "Use this site..." in its context menu; null when none was made.
[[nodiscard]] QWidget *create_sites_widget();

// The "open_sites_widget" action: the existing widget presented, else a new one. Answers 1.
int open_sites_widget_activate(ui_action_activation_ctx_t *context);
// The "sites_chooser_use_site" action: switches to the one selected site of the Sites list after asking;
// enabled for one selected row that is not the current site and belongs to the login user.
int sites_chooser_use_site_activate(ui_action_activation_ctx_t *context);
int sites_chooser_use_site_update(ui_action_t *action, ui_action_update_ctx_t *context);

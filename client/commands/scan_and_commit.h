// Scan and commit: the local files under the selection are compared by the server, which checks out the added,
// deleted and modified ones in a new worklist; that worklist's commit form follows.
#pragma once

#include "client/commands/files_action.h"
#include "ui/ui_action.h"

#include <cstdint>
#include <vector>

// Scan option bits and their registry value "ScanOptions" (letters a, d, e, s).
constexpr uint32_t scan_add_new = 0x01;
constexpr uint32_t scan_delete_deleted = 0x02;
constexpr uint32_t scan_edit_modified = 0x04;
constexpr uint32_t scan_without_dialog = 0x20;
constexpr uint32_t scan_default_options = 0x07;
inline constexpr char scan_options_value[] = "ScanOptions";

// The bits of the stored letters (each letter anywhere in the text sets its bit); 0x07 when none is stored.
[[nodiscard]] uint32_t read_scan_options();
// Stores the letters of the set bits in the order a, d, e, s.
void write_scan_options(uint32_t options);

// The command of "Scan and commit..." on records of the file trees (none: the whole work directory).
class scan_and_commit_action_t : public files_action_helper_t
{
public:
  // Asks for the options (unless stored as not to be asked), collects the local files, creates a worklist,
  // scans into it and opens its commit form. False when cancelled or when a request failed (reported; a
  // failed scan removes the worklist again).
  [[nodiscard]] bool perform(selected_files_t &files) override;
  [[nodiscard]] bool applicable(const selected_files_t &, action_ctx_base_t &) override { return true; }
};

// The handlers of the action "commit" for the file trees; other views' kinds answer 0 and 7.
int commit_activate(ui_action_activation_ctx_t *context);
int commit_update(ui_action_t *action, ui_action_update_ctx_t *context);

// The action row "commit".
[[nodiscard]] std::vector<action_desc_t> scan_and_commit_action_descs();

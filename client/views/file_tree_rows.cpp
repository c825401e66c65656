// The action rows of the file trees.
#include "client/views/file_tree_rows.h"

#include "client/app/akui_app.h"
#include "client/app/client_actions.h"
#include "client/views/arkive_files_view.h"
#include "client/views/local_files_view.h"
#include "views/dirtree/dirtree_actions.h"
#include "views/filter/filtered_view_actions.h"
#include "views/filter/standalone_dirtree_operations.h"

#include <cstring>

namespace {

constexpr uint64_t kind_bit(int kind)
{
  return uint64_t(1) << kind;
}
// The framework flag of the window rows, and the checkable flag of the switches.
constexpr uint32_t window_row_flags = 0x40000;
constexpr uint32_t switch_row_flags = 0x200000;

} // namespace

std::vector<action_desc_t> file_tree_action_descs()
{
  constexpr uint32_t site = client_needs_local_site;
  std::vector<action_desc_t> rows {
    client_row("open_arkive_files_widget", open_arkive_files_widget_activate, nullptr, all_widget_kinds,
               client_without_connection, window_row_flags, 0, "&Arkive files", "Arkive files", nullptr),
    client_row("open_local_files_widget", open_local_files_widget_activate, nullptr, all_widget_kinds,
               client_without_connection, window_row_flags, 0, "&Local files", "Local files", nullptr),
    client_row("find_in_arkive", find_in_arkive_activate, nullptr, all_widget_kinds, site, 0, 0, "Find in arkive...",
               nullptr, nullptr),
    client_row("find_in_arkive_next", find_in_arkive_next_activate, find_in_arkive_step_update,
               kind_bit(akui_kind_arkive_files), site, 0, 0, "Next search result", nullptr, nullptr),
    client_row("find_in_arkive_prev", find_in_arkive_prev_activate, find_in_arkive_step_update,
               kind_bit(akui_kind_arkive_files), site, 0, 0, "Previous search result", nullptr, nullptr),
    client_row("show_deleted_files", show_deleted_files_activate, nullptr, kind_bit(akui_kind_arkive_files), site,
               switch_row_flags, kind_bit(akui_kind_arkive_files) | kind_bit(akui_kind_local_files),
               "Show deleted files", nullptr, nullptr),
    client_row("show_ignored_files", show_ignored_files_activate, nullptr, kind_bit(akui_kind_local_files), site,
               switch_row_flags, kind_bit(akui_kind_local_files), "Show ignored files", nullptr, nullptr),
  };
  // The directory-tree widget's rows, then the quick filter's: the library's handlers, with the context they need
  // in the high half of the context word (the client's requirements, none, in the low half).
  const auto add_library_row = [&rows](action_desc_t desc) {
    desc.context_word = ((desc.context_word >> 32) | (desc.context_word & 0xFFFFFFFFu)) << 32;
    rows.push_back(desc);
  };
  for ( const action_desc_t &desc : dirtree_action_descs() )
    add_library_row(desc);
  for ( const action_desc_t &desc : standalone_dirtree_action_descs() )
    add_library_row(desc);
  for ( const action_desc_t &desc : filtered_view_action_descs() )
    if ( std::strncmp(desc.name, "DirTree", 7) == 0 || std::strncmp(desc.name, "QuickFilter", 11) == 0 )
      add_library_row(desc);
  return rows;
}

// The process-wide shortcut table: action name -> lists of interned key texts, and how they reach QActions.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <cstdint>
#include <optional>
#include <vector>

// Id of an interned shortcut text. Ids are given in order of first use from 1; the empty text is 0 and is
// never stored. They are 32 bits wide so that distinct texts never share an id; nothing outside the process
// sees them.
using shortcut_id_t = uint32_t;
using shortcut_id_list_t = std::vector<shortcut_id_t>;

// Interns a text (null reads as ""): 0 for "", the known id of a known text, else the next id.
shortcut_id_t intern_shortcut_text(const char *text);
// The text of an id: "" for 0 and for an id never given.
const char *shortcut_text_of_id(shortcut_id_t id);

// One entry of the table. A missing list differs from an empty one: an empty `user` list removes every
// shortcut of the action. Promises: `user`, when present, wins over `legacy`; `new_ids` is kept as parsed data
// only (nothing selects it).
struct shortcut_entry_t
{
  std::optional<shortcut_id_list_t> legacy_ids;
  std::optional<shortcut_id_list_t> new_ids;
  std::optional<shortcut_id_list_t> user_ids;

  // True when every list is missing or empty.
  bool is_void() const;
};

// The entry of an action name, created (with no lists) when missing.
shortcut_entry_t &shortcut_entry(const char *action_name);
// The entry of an action name, or null.
const shortcut_entry_t *find_shortcut_entry(const char *action_name);
// Replaces the user list of the entry (user set) or both its legacy and new lists (user clear).
void replace_shortcut_lists(shortcut_entry_t *entry, const shortcut_id_list_t &ids, bool user);
// Sorts every list of every entry by id and drops duplicate ids.
void sort_shortcut_lists();

// Appends the texts of the entry's user list when it exists, else of its legacy list; false when the entry or
// that list is missing.
bool lookup_action_shortcuts(const char *action_name, qvector<qstring> *out);

// Interns the texts and replaces the user list (user set) or the legacy and new lists of the action's entry;
// removes an entry left with no list that holds anything; re-applies the shortcuts of the registered action
// of that name, if any.
void set_action_shortcuts(const char *action_name, const qvector<qstring> &texts, bool user);

// Applies the table to every registered action, once: a second call is internal error 40410.
void apply_actions_shortcuts_config();
constexpr int INTERR_SHORTCUTS_APPLIED_TWICE = 40410;

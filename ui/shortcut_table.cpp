// The process-wide shortcut table and the interned shortcut texts.
#include "ui/shortcut_table.h"

#include "core/internal_error.h"
#include "ui/ui_action.h"
#include "ui/ui_action_registry.h"

#include <algorithm>
#include <map>
#include <string>
#include <unordered_map>

namespace {

// Texts by id (index id - 1) and ids by text. GUI thread only, like the whole table.
struct shortcut_texts_t
{
  std::vector<std::string> texts;
  std::unordered_map<std::string, shortcut_id_t> ids;
};

shortcut_texts_t &interned_texts()
{
  static shortcut_texts_t texts;
  return texts;
}

// Ordered by byte-wise action name.
std::map<std::string, shortcut_entry_t> &table()
{
  static std::map<std::string, shortcut_entry_t> entries;
  return entries;
}

bool shortcuts_applied = false;

void sort_unique(std::optional<shortcut_id_list_t> &list)
{
  if ( !list )
    return;
  std::sort(list->begin(), list->end());
  list->erase(std::unique(list->begin(), list->end()), list->end());
}

} // namespace

shortcut_id_t intern_shortcut_text(const char *text)
{
  if ( text == nullptr || *text == '\0' )
    return 0;
  shortcut_texts_t &interned = interned_texts();
  const auto [it, added] = interned.ids.try_emplace(text, shortcut_id_t(interned.texts.size() + 1));
  if ( added )
    interned.texts.emplace_back(text);
  return it->second;
}

const char *shortcut_text_of_id(shortcut_id_t id)
{
  const shortcut_texts_t &interned = interned_texts();
  if ( id == 0 || id > interned.texts.size() )
    return "";
  return interned.texts[id - 1].c_str();
}

bool shortcut_entry_t::is_void() const
{
  const auto holds = [](const std::optional<shortcut_id_list_t> &list) { return list && !list->empty(); };
  return !holds(legacy_ids) && !holds(new_ids) && !holds(user_ids);
}

shortcut_entry_t &shortcut_entry(const char *action_name)
{
  return table()[action_name != nullptr ? action_name : ""];
}

const shortcut_entry_t *find_shortcut_entry(const char *action_name)
{
  const auto it = table().find(action_name != nullptr ? action_name : "");
  return it != table().end() ? &it->second : nullptr;
}

void replace_shortcut_lists(shortcut_entry_t *entry, const shortcut_id_list_t &ids, bool user)
{
  if ( user )
  {
    entry->user_ids = ids;
    return;
  }
  entry->legacy_ids = ids;
  entry->new_ids = ids;
}

void sort_shortcut_lists()
{
  for ( auto &[name, entry] : table() )
  {
    sort_unique(entry.legacy_ids);
    sort_unique(entry.new_ids);
    sort_unique(entry.user_ids);
  }
}

bool lookup_action_shortcuts(const char *action_name, qvector<qstring> *out)
{
  const shortcut_entry_t *entry = find_shortcut_entry(action_name);
  if ( entry == nullptr )
    return false;
  const std::optional<shortcut_id_list_t> &list = entry->user_ids ? entry->user_ids : entry->legacy_ids;
  if ( !list )
    return false;
  for ( const shortcut_id_t id : *list )
    out->push_back(qstring(shortcut_text_of_id(id)));
  return true;
}

void set_action_shortcuts(const char *action_name, const qvector<qstring> &texts, bool user)
{
  shortcut_id_list_t ids;
  ids.reserve(texts.size());
  for ( const qstring &text : texts )
    ids.push_back(intern_shortcut_text(text.c_str()));
  const std::string name = action_name != nullptr ? action_name : "";
  shortcut_entry_t &entry = table()[name];
  replace_shortcut_lists(&entry, ids, user);
  if ( entry.is_void() )
    table().erase(name);
  if ( ui_action_t *action = find_ui_action(name.c_str()); action != nullptr )
    action->apply_shortcuts();
}

void apply_actions_shortcuts_config()
{
  if ( shortcuts_applied )
    interr(INTERR_SHORTCUTS_APPLIED_TWICE);
  shortcuts_applied = true;
  struct apply_visitor_t final : action_visitor_t
  {
    int visit(ui_action_t *action) override
    {
      action->apply_shortcuts();
      return 0;
    }
  } visitor;
  (void)visit_ui_actions(&visitor);
}

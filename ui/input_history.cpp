// Input histories: named lists of what the user typed, mirrored in the registry.
#include "ui/input_history.h"

#include "core/registry.h"

#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace
{

qstring history_subkey(const qstring &name)
{
  qstring subkey("History\\");
  subkey += name;
  return subkey;
}

} // namespace

void input_history_t::load_from_registry(const char *history_name)
{
  name = history_name != nullptr ? history_name : "";
  qvector<qstring> stored;
  registry_read_list(&stored, history_subkey(name).c_str());
  // The stored list comes from outside: texts that decode alike count once, and the limit holds.
  for ( const qstring &text : stored )
  {
    const QString entry = QString::fromUtf8(text.c_str(), int(text.size()));
    if ( entries.size() >= input_history_limit )
      break;
    if ( !entries.contains(entry) )
      entries.append(entry);
  }
}

bool input_history_t::add_entry(const QString &text)
{
  const int at = entries.indexOf(text);
  if ( at == 0 )
    return false;
  if ( at > 0 )
    entries.removeAt(at);
  entries.prepend(text);
  while ( entries.size() > input_history_limit )
    entries.removeLast();
  registry_push_history(history_subkey(name).c_str(), text.toUtf8().constData(), input_history_limit);
  return true;
}

input_history_t *find_input_history(const char *name)
{
  // The histories live until the process ends, so pointers handed out stay valid.
  static std::map<std::string, std::unique_ptr<input_history_t>> histories;
  const std::string key = name != nullptr ? name : "";
  std::unique_ptr<input_history_t> &slot = histories[key];
  if ( !slot )
  {
    slot = std::make_unique<input_history_t>();
    slot->load_from_registry(key.c_str());
  }
  return slot.get();
}

qstring input_history_name_for_type(char type)
{
  if ( type != '\0' && std::strchr("DHLMOYlmnosu", type) != nullptr )
    return qstring("N");
  if ( type == 'I' )
    return qstring("i");
  return qstring(&type, 1);
}

bool input_history_add_named(const char *name, const QString &text)
{
  return find_input_history(name)->add_entry(text);
}

bool input_history_add_for_type(char type, const QString &text)
{
  return input_history_add_named(input_history_name_for_type(type).c_str(), text);
}

QStringList input_history_entries_for_type(char type)
{
  return find_input_history(input_history_name_for_type(type).c_str())->entries;
}

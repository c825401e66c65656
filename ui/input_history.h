// Input histories: named lists of what the user typed, newest first, mirrored in the registry.
#pragma once

#include "core/qstring.h"

#include <QString>
#include <QStringList>

// Most entries a history keeps, in memory and in the registry.
constexpr int input_history_limit = 32;

// One history. Promises: entries are newest first, hold no two equal texts and at most input_history_limit.
class input_history_t
{
public:
  qstring name;
  QStringList entries;

  // Sets the name and appends the entries stored under the registry subkey "History\<name>" (numbered values
  // "0", "1", ...) that the list does not hold yet, up to the limit.
  void load_from_registry(const char *history_name);
  // Puts the text first: false, writing nothing, when it is first already; otherwise an equal entry further
  // down moves up, the oldest entry drops out beyond the limit, the registry list is updated the same way
  // (not when ZUK_NO_HISTORY is set) and the answer is true.
  bool add_entry(const QString &text);
};

// The process-wide history of that name, created and loaded from the registry on first use; it lives until the
// process ends. GUI thread only.
[[nodiscard]] input_history_t *find_input_history(const char *name);
// The history name of a form field type: every numeric type ("D", "H", "L", "M", "O", "Y", "l", "m", "n", "o",
// "s", "u") shares "N", "I" becomes "i", any other letter names its own history.
[[nodiscard]] qstring input_history_name_for_type(char type);
// add_entry on the named history or on the field type's history.
bool input_history_add_named(const char *name, const QString &text);
bool input_history_add_for_type(char type, const QString &text);
// A copy of the field type's history.
[[nodiscard]] QStringList input_history_entries_for_type(char type);

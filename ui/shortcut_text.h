// Shortcut texts: the configuration syntax, its conversion to Qt's portable key text, and shortcut lists.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <QKeySequence>

// Configuration texts use the legacy syntax: words joined with '-' ("Ctrl-F5"), "Numpad" for keypad keys,
// and a raw form: character code 27, then up to four hexadecimal key codes separated by ';'. Texts already
// in Qt's portable syntax ("Ctrl+F5") pass every conversion unchanged.
constexpr char SHORTCUT_RAW_LEAD = '\x1b';
constexpr int SHORTCUT_RAW_MAX_KEYS = 4;
// A text longer than this cannot name a sequence of four keys; it converts to "" without being parsed, so a
// hostile configuration value costs no more than a short one.
constexpr size_t SHORTCUT_TEXT_MAX_LENGTH = 512;

// Trims white space, turns every "Numpad" into "Num" + separator (into "Num" alone when the next two
// characters are both separators), then, for a text longer than one character and two different
// separators, replaces each separator that follows a run of letters, digits or '_' by qt_separator.
QString normalize_shortcut_text(const QString &text, QChar separator, QChar qt_separator);

// The portable text of a configuration text; "" when it does not parse (also for a raw form with no key
// code, more than four, an empty or a non-hexadecimal part, or a code that does not fit 32 bits).
qstring legacy_shortcut_to_portable(const char *text);

// A copy of the text when as_is is set, else legacy_shortcut_to_portable.
qstring shortcut_text_from_config(const char *text, bool as_is);

// Splits a comma-separated list (runs of commas give no empty parts), converts each part with
// shortcut_text_from_config and keeps the first of equal key sequences. The result holds portable texts in
// their first-seen order; a part that does not convert gives "" (kept once).
qvector<qstring> parse_shortcut_list(const char *text, bool as_is);

// The standard key that "sys(Name)" names: Name is one of the enumerator names of QKeySequence::StandardKey,
// matched exactly. False for any other name.
[[nodiscard]] bool standard_key_by_name(const char *name, QKeySequence::StandardKey *key);

// The key sequence of a portable text as Qt reads native text (the form the table stores).
QKeySequence shortcut_sequence(const char *portable_text);

// Shortcuts from configuration files: the SHORTCUTS directive, legacy key assignments and their reports.
#pragma once

#include "core/cfg_reader.h"
#include "core/json_value.h"
#include "core/qstring.h"
#include "core/token_reader.h"
#include "ui/shortcut_table.h"

#include <cstdint>

// Handler of the configuration keyword SHORTCUTS (a config_handler_t): reads one JSON object from the reader,
// starting with the value token, and replaces the legacy lists (member "legacy") and new lists (member
// "new") of each action it names; then sorts every list of the table by id. A value that does not parse or
// is not an object, and each invalid shortcut value, are warnings at the reader's position; the table keeps
// what it had for them. Always CFG_RESULT_OK: configuration files never end the program.
intptr_t apply_shortcuts_directive(token_reader_t *reader, const lexer_token_t *keyword, const lexer_token_t *value);

// One shortcut value of the directive: 0 or "" (nothing), "sys(Name)" (Qt's bindings of that standard key on
// this platform), a shortcut text, or an array of those (a nested array is logged and skipped). Appends the ids
// and answers true, or sets *error to the reason and answers false (ids appended before the failing element
// stay).
[[nodiscard]] bool parse_shortcut_value(const json_value_t *value, shortcut_id_list_t *ids, qstring *error);

// A legacy key assignment "ActionName" = value: 0 or a negative number disables the action's keys; a string
// or a character is a shortcut list in configuration syntax, each text that does not convert is kept as id 0
// with the warning "Illegal hotkey"; a positive number (a key scan code elsewhere) means nothing here and is
// kept like such a text. The name "UnhideAll" is read as "UnHideAll". With `user` the user list is replaced,
// else the legacy and new lists. Any other value is a warning with the syntax help, and nothing changes.
// QActions are not touched. The value token may be followed by more tokens of the value (a negative number);
// they are read from the reader.
void parse_key_assignment(token_reader_t *reader, const char *action_name, const lexer_token_t *value, bool user);

// Reports a configuration error at the reader's current position: "%s, %d: %s\n%s" (file, line, line text,
// text) through the fatal path when `fatal` is set, else as a warning that cannot be hidden.
void report_shortcut_config_error(token_reader_t *reader, const char *text, bool fatal);

// Texts of the reports.
extern const char *const INVALID_SHORTCUTS_DIRECTIVE_TEXT;
extern const char *const ILLEGAL_HOTKEY_TEXT;
extern const char *const BAD_KEY_ASSIGNMENT_TEXT;

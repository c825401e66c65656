// Checks of texts typed by the user: e-mail addresses, user names, wildcards, emptiness.
#pragma once

#include <cstddef>

// True for an address "local@domain": the local part has 1 to 64 characters, does not begin with '.', and
// holds only ASCII letters, digits and !#$%&'*+-/=?^_`{|}~. ; the domain is not empty, does not begin with
// '-' or '.', and holds only letters, digits, '-' and '.'; the whole has at most 255 characters and no
// two '.' in a row. Null is false.
bool is_valid_email(const char *text);

// True for a name that begins with an ASCII letter or '_', continues with letters, digits, '_' or '-',
// and has at most max_length characters. Null and "" are false.
bool is_valid_user_name(const char *text, size_t max_length);

// True when the text holds '*' or '?'. Null is false.
bool has_wildcards(const char *text);

// True for null or "".
bool is_empty_text(const char *text);

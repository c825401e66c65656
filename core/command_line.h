// Command lines as one text: splitting into arguments and shell-style redirections, and quoting arguments.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <cstddef>
#include <cstdint>

// Kind bits of a redirection. An append is also an output.
constexpr uint32_t REDIRECT_INPUT = 1;
constexpr uint32_t REDIRECT_OUTPUT = 2;
constexpr uint32_t REDIRECT_APPEND = 4;
constexpr uint32_t REDIRECT_QUOTED = 8; // the target was written in double quotes

// One redirection found in a command line: "<target", ">target", "N>target", ">>target", "N>>target".
struct redirection_t
{
  int channel = 0;   // 0 input, 1 output, 2 error; any digit can be written
  qstring target;    // file name, or "&N" for a channel
  uint32_t kind = 0; // REDIRECT_* bits
  size_t offset = 0; // of its first character (the digit, else the operator) in the command line
  size_t length = 0; // from there through the blanks after the target
};
template <>
inline constexpr bool qvector_relocatable<redirection_t> = true;

// Flag of split_command_line: the first argument is raw (a program path): backslashes in it are
// ordinary characters and no redirection is looked for in it.
constexpr int SPLIT_RAW_FIRST = 4;

// Splits text into arguments, replacing the contents of *args (and of *redirections when given).
// - Blanks (ASCII white space; bytes of 0x80 and above never are) separate arguments outside quotes.
// - A double quote opens or closes a quoted part and is dropped. A closing quote followed by a blank or
//   the end ends the argument, even an empty one: "" is an empty argument.
// - Outside the raw first argument, a run of backslashes followed by a double quote: 2n backslashes give
//   n backslashes and the quote opens or closes quoting (inside quotes, a second double quote right after
//   instead makes the pair one literal double quote); 2n + 1 give n backslashes and a literal double
//   quote. Backslashes followed by anything else stay as they are.
// - Only when redirections are wanted, outside quotes and outside the raw first argument: an argument
//   that starts with ">", a digit and ">", either followed by a second ">" (append), or "<", written
//   unquoted, is a redirection when a target follows (after optional blanks): a quoted text (a backslash
//   takes the next character literally) or a run up to a blank, "<", ">" or the end. Without a target
//   (also an unclosed quote) the operator stays ordinary text. The redirection's text, blanks after the
//   target included, belongs to no argument.
// Returns the number of arguments; 0 for a null text.
int split_command_line(qvector<qstring> *args, qvector<redirection_t> *redirections, const char *text,
                       int flags);

// Quotes *arg in place so that split_command_line gives it back as one argument, unchanged. A non-empty
// text free of blanks, double quotes and the characters ?*[]()<>;&$|^# is left as it is (false).
// Otherwise it is put in double quotes, each double quote inside preceded by a backslash, and each run
// of backslashes before a double quote or before the closing quote doubled (true).
bool quote_shell_argument(qstring *arg);

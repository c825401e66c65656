// The control lines at the head of a message box text, the help-marker line, and the key of a remembered answer.
#pragma once

#include "core/qstring.h"

#include <cstddef>
#include <cstdint>

// The icon of a message box.
enum message_box_icon_t : int32_t
{
  MBOX_ICON_NONE = 0,
  MBOX_ICON_INFO = 1,
  MBOX_ICON_QUESTION = 2,
  MBOX_ICON_WARNING = 3,
  MBOX_ICON_ERROR = 4,
};

// Where a "don't display this message again" answer is kept.
enum message_box_autohide_t : int32_t
{
  MBOX_AUTOHIDE_NONE = 0,     // no check box
  MBOX_AUTOHIDE_DATABASE = 1, // per database; the framework itself keeps nothing
  MBOX_AUTOHIDE_REGISTRY = 2, // in the registry, until the answers are reset
  MBOX_AUTOHIDE_SESSION = 3,  // in memory, until the process ends
};

// The longest title a TITLE line sets, in bytes (cut on a character boundary).
constexpr size_t message_box_title_max = 1023;
// The longest key of a remembered answer, in bytes.
constexpr size_t message_box_key_max = 100;

// What the control lines of a text say, over the request's defaults.
struct message_box_header_t
{
  qstring title;
  int32_t icon = MBOX_ICON_NONE;
  qstring text; // the text after the control lines
  qstring key;  // names the remembered answer: the body's letters and digits, every other byte a blank
  uint32_t hash = 0;
  int32_t autohide = MBOX_AUTOHIDE_NONE;
  bool ticked = false; // "AUTOHIDE <scope>*": the check box starts ticked
  int32_t help_id = 0; // 0: no help topic
  bool hide_cancel = false;
  bool rich_text = false;
};

// The length of the longest start of text (size bytes) of at most max bytes that does not end inside a
// UTF-8 sequence; where the bytes around the limit are no UTF-8, the cut falls at the limit.
size_t utf8_cut_length(const char *text, size_t size, size_t max);

// Finds the first help-marker line ("@0:", decimal digits that fit an int, "[]", a newline; at the start of
// the text or after a newline or a blank), removes it with its newline and answers its topic; 0 and the text
// unchanged without one.
int32_t extract_help_marker(char *text);
int32_t extract_help_marker_qstring(qstring *text);

// Reads the control lines at the start of text into header (title, icon, autohide, help, HIDECANCEL, RICHTEXT)
// and answers the offset where the body starts (header->text gets the body). A malformed line gives the warning "message box: <WORD> error
// at %s" (through the UI callback) and the body then starts right after that line's keyword.
size_t parse_message_box_header(message_box_header_t *header, const char *text);
// The offset where the body of text starts, as parse_message_box_header finds it, without warnings and
// without taking in what the lines say.
size_t skip_message_box_header(const char *text);

// Sets header->key and header->hash from body (the text after the control lines of the unformatted text).
void set_message_box_key(message_box_header_t *header, const char *body);

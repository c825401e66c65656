// The control lines at the head of a message box text, the help-marker line, and the key of a remembered answer.
#include "ui/message_box_header.h"

#include "core/ui_callback.h"

#include <climits>
#include <cstring>
#include <string_view>

namespace {

bool starts_with(const char *text, std::string_view prefix)
{
  return strncmp(text, prefix.data(), prefix.size()) == 0;
}

// The length of the help-marker line at p (its newline included) and its topic; 0 when p holds none.
size_t match_help_marker(const char *p, int32_t *id)
{
  if ( !starts_with(p, "@0:") )
    return 0;
  const char *q = p + 3;
  int64_t value = 0;
  const char *digits = q;
  while ( *q >= '0' && *q <= '9' )
  {
    value = value * 10 + (*q - '0');
    if ( value > INT_MAX )
      return 0; // digits that overflow an int are no topic
    ++q;
  }
  if ( q == digits || !starts_with(q, "[]\n") )
    return 0;
  *id = int32_t(value);
  return size_t(q + 3 - p);
}

// Matches one of words followed by a newline or, when star_ok, by "*" and a newline; answers the word's index
// and sets *end after the newline. -1 when nothing matches.
int match_word(const char *p, const std::string_view *words, int count, bool star_ok, bool *star, const char **end)
{
  for ( int i = 0; i < count; ++i )
  {
    if ( !starts_with(p, words[i]) )
      continue;
    const char *q = p + words[i].size();
    *star = star_ok && *q == '*';
    if ( *star )
      ++q;
    if ( *q != '\n' )
      continue;
    *end = q + 1;
    return i;
  }
  return -1;
}

// The control-line parser; warn: report a malformed line through the UI callback.
size_t parse_header(message_box_header_t *header, const char *text, bool warn);

} // namespace

size_t utf8_cut_length(const char *text, size_t size, size_t max)
{
  if ( size <= max )
    return size;
  // A sequence is at most four bytes: further back than three continuation bytes, the text is no UTF-8
  // there and is cut where the limit falls.
  size_t n = max;
  while ( n > 0 && max - n < 3 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80 )
    --n;
  return (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80 ? max : n;
}

int32_t extract_help_marker(char *text)
{
  for ( char *p = strchr(text, '@'); p != nullptr; p = strchr(p + 1, '@') )
  {
    if ( p != text && p[-1] != '\n' && p[-1] != ' ' && p[-1] != '\t' )
      continue;
    int32_t id = 0;
    const size_t len = match_help_marker(p, &id);
    if ( len == 0 )
      continue;
    memmove(p, p + len, strlen(p + len) + 1);
    return id;
  }
  return 0;
}

int32_t extract_help_marker_qstring(qstring *text)
{
  if ( text->empty() )
    return 0;
  const int32_t id = extract_help_marker(text->data());
  if ( id != 0 )
  {
    const qstring shorter(text->c_str());
    *text = shorter;
  }
  return id;
}

size_t parse_message_box_header(message_box_header_t *header, const char *text)
{
  return parse_header(header, text, true);
}

size_t skip_message_box_header(const char *text)
{
  message_box_header_t ignored;
  return parse_header(&ignored, text, false);
}

namespace {

size_t parse_header(message_box_header_t *header, const char *text, bool warn)
{
  static constexpr std::string_view icons[] = {"NONE", "INFO", "QUESTION", "WARNING", "ERROR"};
  static constexpr std::string_view scopes[] = {"NONE", "DATABASE", "REGISTRY", "SESSION"};
  const char *p = text;
  for ( ;; )
  {
    const char *warn_at = nullptr;
    const char *word = nullptr;
    if ( starts_with(p, "TITLE ") )
    {
      const char *q = p + 6;
      const char *nl = strchr(q, '\n');
      if ( nl == nullptr )
      {
        // A text shown through "%s" can carry this from outside: a warning like the other lines, not the end.
        warn_at = q;
        word = "TITLE";
      }
      else
      {
        header->title.assign(q, utf8_cut_length(q, size_t(nl - q), message_box_title_max));
        p = nl + 1;
        continue;
      }
    }
    else if ( starts_with(p, "ICON ") )
    {
      bool star = false;
      const char *end = nullptr;
      const int icon = match_word(p + 5, icons, 5, false, &star, &end);
      if ( icon < 0 )
      {
        warn_at = p + 5;
        word = "ICON";
      }
      else
      {
        header->icon = icon;
        p = end;
        continue;
      }
    }
    else if ( starts_with(p, "AUTOHIDE ") )
    {
      bool star = false;
      const char *end = nullptr;
      const int scope = match_word(p + 9, scopes, 4, true, &star, &end);
      if ( scope < 0 )
      {
        warn_at = p + 9;
        word = "AUTOHIDE";
      }
      else
      {
        header->autohide = scope;
        header->ticked = star;
        p = end;
        continue;
      }
    }
    else if ( *p == '@' )
    {
      int32_t id = 0;
      const size_t len = match_help_marker(p, &id);
      if ( len == 0 )
      {
        warn_at = p + 1;
        word = "HELP";
      }
      else
      {
        header->help_id = id;
        p += len;
        continue;
      }
    }
    else if ( starts_with(p, "HIDECANCEL\n") )
    {
      header->hide_cancel = true;
      p += 11;
      continue;
    }
    else if ( starts_with(p, "RICHTEXT\n") )
    {
      header->rich_text = true;
      p += 9;
      continue;
    }
    if ( warn_at != nullptr )
    {
      if ( warn )
        warning_printf("message box: %s error at %s", word, warn_at);
      p = warn_at;
    }
    header->text = p;
    return size_t(p - text);
  }
}

} // namespace

void set_message_box_key(message_box_header_t *header, const char *body)
{
  const size_t size = strnlen(body, message_box_key_max);
  char key[message_box_key_max];
  uint32_t hash = 0;
  for ( size_t i = 0; i < size; ++i )
  {
    const unsigned char c = static_cast<unsigned char>(body[i]);
    const bool kept = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    key[i] = kept ? char(c) : ' ';
    const uint32_t k = static_cast<unsigned char>(key[i]);
    hash = ((k & 1) != 0 ? hash * 2 : ~hash) + (k >> 1);
  }
  header->key.assign(key, size);
  header->hash = hash;
}

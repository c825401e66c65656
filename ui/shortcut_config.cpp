// Shortcuts from configuration files: the SHORTCUTS directive and legacy key assignments.
#include "ui/shortcut_config.h"

#include "core/ui_callback.h"
#include "ui/shortcut_text.h"

#include <QKeySequence>
#include <QList>
#include <QString>

#include <cstring>

const char *const INVALID_SHORTCUTS_DIRECTIVE_TEXT = "Invalid SHORTCUTS directive";
const char *const ILLEGAL_HOTKEY_TEXT = "Illegal hotkey";
const char *const BAD_KEY_ASSIGNMENT_TEXT =
  "Bad keyboard assignment\n\nKeyboard definition syntax is:\n\n     \"ActionName\" = Value\n\n  where value may "
  "be:\n\n     a string:       \"Ctrl-F5\"\n     a char:         'F'\n     a scancode:     0x4900\n     zero:"
  "           0\n\n  Zero scancode disables the hot key.\n";

namespace {

constexpr char SYS_PREFIX[] = "sys(";

bool parse_sys_value(const char *text, shortcut_id_list_t *ids, qstring *error)
{
  const char *close = std::strrchr(text, ')');
  if ( close == nullptr )
  {
    format_to_string(error, "can't find closing parentheses for sys() shortcut: \"%s\"\n", text);
    return false;
  }
  const char *name_start = text + std::strlen(SYS_PREFIX);
  if ( close <= name_start )
  {
    format_to_string(error, "invalid sys() shortcut: \"%s\"\n", text);
    return false;
  }
  const qstring name(name_start, size_t(close - name_start));
  QKeySequence::StandardKey key = QKeySequence::UnknownKey;
  if ( !standard_key_by_name(name.c_str(), &key) )
  {
    format_to_string(error, "sys() key sequence name unknown: \"%s\"\n", name.c_str());
    return false;
  }
  for ( const QKeySequence &binding : QKeySequence::keyBindings(key) )
    ids->push_back(intern_shortcut_text(binding.toString(QKeySequence::PortableText).toUtf8().constData()));
  return true;
}

// The ids of a legacy assignment's text value; a text that does not convert is kept as 0 and reported.
shortcut_id_list_t legacy_text_ids(token_reader_t *reader, const char *text)
{
  shortcut_id_list_t ids;
  for ( const qstring &portable : parse_shortcut_list(text, false) )
  {
    const shortcut_id_t id = intern_shortcut_text(portable.c_str());
    if ( id == 0 )
      report_shortcut_config_error(reader, ILLEGAL_HOTKEY_TEXT, false);
    ids.push_back(id);
  }
  return ids;
}

// A character constant as a one-character text; a value that is no character gives "".
qstring character_text(uint64_t code)
{
  const char32_t point = char32_t(code);
  const bool valid = code <= 0x10FFFF && !QChar::isSurrogate(point);
  const QByteArray bytes = valid ? QString::fromUcs4(&point, 1).toUtf8() : QByteArray();
  return qstring(bytes.constData(), size_t(bytes.size()));
}

// The ids of an assignment's value, or false for a value of another kind.
bool legacy_value_ids(token_reader_t *reader, const lexer_token_t *value, shortcut_id_list_t *ids)
{
  switch ( value->kind )
  {
    case TOKEN_INTEGER:
    case TOKEN_INT64:
    {
      const bool positive = value->kind == TOKEN_INTEGER ? value->number != 0 : value->value.integer > 0;
      // A positive number would be a scan code, which names no key here: kept like a text that does not convert.
      if ( positive )
      {
        report_shortcut_config_error(reader, ILLEGAL_HOTKEY_TEXT, false);
        ids->push_back(0);
      }
      return true;
    }
    case TOKEN_STRING:
      *ids = legacy_text_ids(reader, value->text.c_str());
      return true;
    case TOKEN_CHAR:
      *ids = legacy_text_ids(reader, character_text(value->number).c_str());
      return true;
    case '-':
    {
      // A negative number disables the keys, like 0.
      lexer_token_t number;
      if ( next_config_token(reader, &number) != 0 )
        return false;
      if ( number.kind == TOKEN_INTEGER || number.kind == TOKEN_INT64 )
        return true;
      config_state(reader)->unread.push_back(std::move(number));
      return false;
    }
    default:
      return false;
  }
}

} // namespace

intptr_t apply_shortcuts_directive(token_reader_t *reader, const lexer_token_t *, const lexer_token_t *value)
{
  json_value_t directive;
  if ( read_config_json(reader, *value, &directive) != 0 || directive.tag != JSON_OBJECT )
  {
    report_shortcut_config_error(reader, INVALID_SHORTCUTS_DIRECTIVE_TEXT, false);
    return CFG_RESULT_OK;
  }
  const json_object_t *members = json_value_as_object(&directive);
  for ( const bool legacy : {true, false} )
  {
    const json_value_t *section = json_object_find(members, legacy ? "legacy" : "new", 0);
    if ( section == nullptr || section->tag != JSON_OBJECT )
      continue;
    for ( const json_member_t &member : *json_value_as_object(section) )
    {
      shortcut_id_list_t ids;
      qstring error;
      if ( !parse_shortcut_value(&member.value, &ids, &error) )
      {
        report_shortcut_config_error(reader, error.c_str(), false);
        continue;
      }
      shortcut_entry_t &entry = shortcut_entry(member.key.c_str());
      (legacy ? entry.legacy_ids : entry.new_ids) = std::move(ids);
    }
  }
  sort_shortcut_lists();
  return CFG_RESULT_OK;
}

bool parse_shortcut_value(const json_value_t *value, shortcut_id_list_t *ids, qstring *error)
{
  switch ( value->tag )
  {
    case JSON_INT:
      if ( json_value_as_int(value) == 0 )
        return true;
      *error = "shortcut can't be represented as number\n";
      return false;
    case JSON_STRING:
    {
      const char *text = json_get_string(value);
      if ( *text == '\0' )
        return true;
      if ( std::strncmp(text, SYS_PREFIX, std::strlen(SYS_PREFIX)) == 0 )
        return parse_sys_value(text, ids, error);
      const shortcut_id_t id = intern_shortcut_text(legacy_shortcut_to_portable(text).c_str());
      if ( id == 0 )
      {
        format_to_string(error, "invalid shortcuts value: \"%s\"\n", text);
        return false;
      }
      ids->push_back(id);
      return true;
    }
    case JSON_ARRAY:
      for ( const json_value_t &element : *json_as_array(value) )
      {
        if ( element.tag == JSON_ARRAY )
        {
          log_printf("config shortcuts: shortcut values can not be in nested arrays, skipping...\n");
          continue;
        }
        if ( !parse_shortcut_value(&element, ids, error) )
          return false;
      }
      return true;
    default:
      *error = "invalid shortcut value type\n";
      return false;
  }
}

void parse_key_assignment(token_reader_t *reader, const char *action_name, const lexer_token_t *value, bool user)
{
  shortcut_id_list_t ids;
  if ( !legacy_value_ids(reader, value, &ids) )
  {
    report_shortcut_config_error(reader, BAD_KEY_ASSIGNMENT_TEXT, false);
    return;
  }
  const char *name = std::strcmp(action_name, "UnhideAll") == 0 ? "UnHideAll" : action_name;
  replace_shortcut_lists(&shortcut_entry(name), ids, user);
}

void report_shortcut_config_error(token_reader_t *reader, const char *text, bool fatal)
{
  int32_t line = 0;
  const char *line_text = nullptr;
  const char *file = reader->get_position(&line, &line_text, 0);
  if ( file == nullptr )
    file = "";
  if ( line_text == nullptr )
    line_text = "";
  if ( fatal )
    fatal_printf("%s, %d: %s\n%s", file, line, line_text, text);
  warning_printf("AUTOHIDE NONE\n%s, %d: %s\n%s", file, line, line_text, text);
}

// Theme style sheets: the two passes of a theme, their joined text and the theme's icon declarations.
#include "ui/theme_stylesheets.h"

#include "ui/theme_loader_p.h"

#include <QMetaObject>
#include <QObject>

#include <string>
#include <string_view>

namespace
{

// One pass: import the theme with this pass's file name, then preprocess the lines.
bool load_pass(const theme_t &theme, const qvector<qstring> &themes_dirs, const char *file_name, qstring *out,
               std::string *error)
{
  theme_pass_t pass;
  pass.themes_dirs = &themes_dirs;
  pass.file_name = file_name;
  theme_loader_t loader;
  std::string text;
  if ( !import_theme(&loader, std::string(theme.name.view()), &pass, error)
    || !preprocess_theme_lines(loader.lines, &text, error) )
    return false;
  out->assign(text.data(), text.size());
  return true;
}

bool is_name_char(char c)
{
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

std::string_view trim_value(std::string_view v)
{
  while ( !v.empty() && (v.front() == ' ' || v.front() == '\t' || v.front() == '\n' || v.front() == '\r') )
    v.remove_prefix(1);
  while ( !v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\n' || v.back() == '\r') )
    v.remove_suffix(1);
  return v;
}

std::string_view unquote(std::string_view v)
{
  if ( v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front() )
    return v.substr(1, v.size() - 2);
  return v;
}

// The file name of a declaration's value: a url(...) wrapper and quotes taken off.
std::string icon_file_of(std::string_view value)
{
  value = trim_value(value);
  if ( value.size() >= 5 && value.substr(0, 4) == "url(" && value.back() == ')' )
    value = trim_value(value.substr(4, value.size() - 5));
  return std::string(unquote(value));
}

// Ends a declaration's value: at ';' or '}' outside quotes, or at the end.
size_t value_end(std::string_view text, size_t pos)
{
  char quote = 0;
  for ( ; pos < text.size(); ++pos )
  {
    const char c = text[pos];
    if ( quote != 0 )
      quote = c == quote ? 0 : quote;
    else if ( c == '"' || c == '\'' )
      quote = c;
    else if ( c == ';' || c == '}' )
      break;
  }
  return pos;
}

} // namespace

bool load_theme_stylesheets_from(theme_t *theme, const qvector<qstring> &themes_dirs, qstring *error)
{
  std::string message;
  const bool ok = load_pass(*theme, themes_dirs, "theme.css", &theme->theme_css, &message)
               && load_pass(*theme, themes_dirs, "user.css", &theme->user_css, &message);
  if ( !ok )
    error->assign(message.data(), message.size());
  return ok;
}

QString join_theme_stylesheets(const theme_t &theme, int flags)
{
  QString sheet = QString::fromUtf8(theme.theme_css.c_str(), int(theme.theme_css.size()));
  if ( (flags & theme_join_user) != 0 )
    sheet += '\n' + QString::fromUtf8(theme.user_css.c_str(), int(theme.user_css.size()));
  if ( (flags & theme_join_extra) != 0 )
    sheet += '\n' + QString::fromUtf8(theme.extra_css.c_str(), int(theme.extra_css.size()));
  return sheet;
}

int feed_theme_icons(const QString &style_sheet, QObject *receiver)
{
  constexpr const char *slot = "handleUnknownStyleProperty(QString,QString)";
  if ( receiver == nullptr || receiver->metaObject()->indexOfMethod(slot) < 0 )
    return 0;
  const QByteArray utf8 = style_sheet.toUtf8();
  const std::string_view text(utf8.constData(), size_t(utf8.size()));
  constexpr std::string_view prefix = "themeicon";
  int fed = 0;
  int depth = 0;
  size_t pos = 0;
  while ( pos < text.size() )
  {
    const char c = text[pos];
    if ( text.compare(pos, 2, "/*") == 0 )
    {
      const size_t end = text.find("*/", pos + 2);
      pos = end == std::string_view::npos ? text.size() : end + 2;
      continue;
    }
    if ( c == '"' || c == '\'' )
    {
      const size_t end = text.find(c, pos + 1);
      pos = end == std::string_view::npos ? text.size() : end + 1;
      continue;
    }
    depth += c == '{' ? 1 : c == '}' && depth > 0 ? -1 : 0;
    // A property starts a name inside a block; "themeicon" must be followed by '-' or '_'.
    const bool starts_name = pos == 0 || !is_name_char(text[pos - 1]);
    if ( depth == 0 || !starts_name || text.compare(pos, prefix.size(), prefix) != 0
      || pos + prefix.size() >= text.size() || (text[pos + prefix.size()] != '-' && text[pos + prefix.size()] != '_') )
    {
      ++pos;
      continue;
    }
    size_t name_end = pos + prefix.size() + 1;
    while ( name_end < text.size() && is_name_char(text[name_end]) )
      ++name_end;
    size_t colon = name_end;
    while ( colon < text.size() && (text[colon] == ' ' || text[colon] == '\t' || text[colon] == '\n' || text[colon] == '\r') )
      ++colon;
    if ( colon >= text.size() || text[colon] != ':' )
    {
      pos = name_end;
      continue;
    }
    const size_t end = value_end(text, colon + 1);
    const std::string key(text.substr(pos, name_end - pos));
    const std::string file = icon_file_of(text.substr(colon + 1, end - colon - 1));
    bool accepted = false;
    if ( QMetaObject::invokeMethod(receiver, "handleUnknownStyleProperty", Qt::DirectConnection,
                                   Q_RETURN_ARG(bool, accepted), Q_ARG(QString, QString::fromStdString(key)),
                                   Q_ARG(QString, QString::fromStdString(file))) )
      ++fed;
    pos = end;
  }
  return fed;
}

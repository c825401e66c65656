// Server path texts of the client.
#include "client/app/arkive_paths.h"

#include <string_view>

qstring join_arkive_path(std::initializer_list<const char *> parts)
{
  qstring result;
  for ( const char *text : parts )
  {
    const std::string_view part = text != nullptr ? text : "";
    if ( part.substr(0, 2) == "//" )
    {
      result = qstring(part);
    }
    else if ( part.substr(0, 1) == "/" )
    {
      result = "/";
      result += part;
    }
    else
    {
      if ( !result.empty() && result.view().back() != '/' )
        result += '/';
      result += part;
    }
  }
  return result;
}

void split_arkive_path(qstring *folder, qstring *name, const char *path)
{
  const std::string_view text = path != nullptr ? path : "";
  const size_t slash = text.rfind('/');
  const size_t cut = slash == std::string_view::npos ? 0 : slash + 1;
  if ( folder != nullptr )
  {
    std::string_view head = text.substr(0, cut);
    while ( head.size() > 2 && head.back() == '/' )
      head.remove_suffix(1);
    *folder = qstring(head);
  }
  if ( name != nullptr )
    *name = qstring(text.substr(cut));
}

qstring join_texts(const qvector<qstring> &texts, const char *separator)
{
  qstring result;
  for ( size_t i = 0; i < texts.size(); ++i )
  {
    if ( i != 0 )
      result += separator;
    result += texts[i];
  }
  return result;
}

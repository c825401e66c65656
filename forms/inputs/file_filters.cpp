// The name filters of a file request.
#include "forms/inputs/file_filters.h"

#include "core/file_ops.h"
#include "core/text_utils.h"
#include "ui/message_box_header.h"


namespace {

std::string upper_ascii(std::string text)
{
  for ( char &c : text )
    if ( c >= 'a' && c <= 'z' )
      c = char(c - 'a' + 'A');
  return text;
}

// The extension of a path's file-name part; empty when it has none.
std::string extension_of(const std::string &path)
{
  const char *extension = path_extension(path.c_str());
  return extension != nullptr ? extension : "";
}

} // namespace

void file_filter_t::parse(const char *begin, const char *end)
{
  const std::string text(begin, end);
  const size_t bar = text.find('|');
  description = text.substr(0, bar);
  patterns.clear();
  if ( bar == std::string::npos )
    return;
  size_t start = bar + 1;
  for ( ;; )
  {
    const size_t semicolon = text.find(';', start);
    patterns.push_back(text.substr(start, semicolon == std::string::npos ? std::string::npos : semicolon - start));
    if ( semicolon == std::string::npos )
      break;
    start = semicolon + 1;
  }
}

void file_filter_list_t::add_spec(const char *text)
{
  const std::string original = text != nullptr ? text : "";
  // A ':' cannot stand in a file name; a drive's colon is not part of the name.
  std::string copy = original;
  for ( char *c = path_file_name(copy.data()); *c != '\0'; ++c )
    if ( *c == ':' )
      *c = '_';

  if ( copy.find('|') != std::string::npos )
  {
    size_t start = 0;
    while ( start < copy.size() )
    {
      const size_t bar = copy.find('|', start);
      if ( bar == std::string::npos )
        break; // a last token without a partner
      const size_t closing = copy.find('|', bar + 1);
      const size_t end = closing == std::string::npos ? copy.size() : closing;
      add_filter().parse(copy.data() + start, copy.data() + end);
      if ( closing == std::string::npos )
        break;
      start = closing + 1;
    }
    return;
  }
  if ( copy.empty() )
    return;

  std::string description;
  std::string pattern;
  if ( copy.find_first_of("*?") != std::string::npos )
  {
    default_is_name = false;
    pattern = original;
  }
  else
  {
    default_is_name = true;
    default_name = path_file_name(copy.c_str());
    std::string folder(copy.size() + 2, '\0');
    (void)path_directory(folder.data(), ptrdiff_t(folder.size()), copy.c_str());
    default_folder = folder.c_str();
    const std::string extension = extension_of(default_name);
    if ( !extension.empty() )
    {
      pattern = "*." + extension;
    }
    else
    {
      pattern = "*.*";
      description = "All files";
    }
  }
  if ( description.empty() )
  {
    const std::string extension = extension_of(pattern);
    if ( !extension.empty() )
      description = upper_ascii(extension) + " files";
  }
  if ( file_filter_t *found = find_pattern(pattern.c_str()) )
  {
    if ( found->description.empty() && !description.empty() )
      found->description = description;
    return;
  }
  const std::string spec = description + "|" + pattern;
  add_filter().parse(spec.data(), spec.data() + spec.size());
}

file_filter_t *file_filter_list_t::find_pattern(const char *pattern)
{
  const std::string wanted = upper_ascii(pattern);
  for ( file_filter_t &filter : filters )
    for ( const std::string &own : filter.patterns )
      if ( upper_ascii(own) == wanted )
        return &filter;
  return nullptr;
}

file_filter_t &file_filter_list_t::add_filter()
{
  return filters.emplace_back();
}

void file_filter_list_t::to_qt_filter(qstring *out) const
{
  std::string text;
  for ( const file_filter_t &filter : filters )
  {
    if ( !text.empty() )
      text += ";;";
    if ( !filter.description.empty() )
      text += filter.description + " ";
    text += "(";
    for ( size_t i = 0; i < filter.patterns.size(); ++i )
      text += (i != 0 ? " " : "") + filter.patterns[i];
    text += ")";
  }
  *out = qstring(text);
}

int split_filter_header(qstring *filter, qstring *prompt, const char *format, va_list va)
{
  qstring text;
  vformat_to_string(&text, format != nullptr ? format : "", va);
  constexpr std::string_view keyword = "FILTER ";
  filter->clear();
  std::string_view body = text.view();
  if ( body.substr(0, keyword.size()) == keyword )
  {
    const size_t newline = body.find('\n');
    const std::string_view line = body.substr(keyword.size(), newline == std::string_view::npos
                                                                ? std::string_view::npos
                                                                : newline - keyword.size());
    *filter = qstring(line);
    body = newline == std::string_view::npos ? std::string_view() : body.substr(newline + 1);
  }
  *prompt = qstring(body);
  return extract_help_marker_qstring(prompt);
}

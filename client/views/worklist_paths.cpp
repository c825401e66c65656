// Worklist keys, tree paths and the lookup of a worklist's files.
#include "client/views/worklist_paths.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

void append_encoded(qstring *out, std::string_view text)
{
  for ( const char c : text )
    *out += c == '/' ? worklist_path_separator : c;
}

} // namespace

bool is_showable_worklist_key(const worklist_key_t &key)
{
  const std::string_view site = key.site.view();
  return !site.empty() && site.find(worklist_path_separator) == std::string_view::npos;
}

bool is_showable_worklist_file_path(std::string_view path)
{
  return !path.empty() && path.find(worklist_path_separator) == std::string_view::npos;
}

qstring worklist_folder_path(const worklist_key_t &key)
{
  qstring path;
  format_to_string(&path, "/%d@", key.number);
  append_encoded(&path, key.site.view());
  return path;
}

qstring worklist_entry_path(const worklist_key_t &key, std::string_view file_path)
{
  qstring path = worklist_folder_path(key);
  path += '/';
  append_encoded(&path, file_path);
  return path;
}

std::optional<worklist_key_t> parse_worklist_path(std::string_view text)
{
  if ( text.size() < 2 || text[0] != '/' )
    return std::nullopt;
  const size_t at = text.find('@');
  if ( at == std::string_view::npos )
    return std::nullopt;
  std::string_view number_text = text.substr(1, at - 1);
  if ( !number_text.empty() && number_text[0] == '+' )
    number_text.remove_prefix(1);
  if ( number_text.empty() || number_text[0] == '+' )
    return std::nullopt;
  int32_t number = 0;
  const char *end = number_text.data() + number_text.size();
  const auto [stop, error] = std::from_chars(number_text.data(), end, number);
  if ( error != std::errc() || stop != end )
    return std::nullopt;
  std::string_view site = text.substr(at + 1);
  site = site.substr(0, site.find('/'));
  if ( site.empty() )
    return std::nullopt;
  worklist_key_t key;
  key.number = number;
  key.site = worklist_file_path_of_name(site);
  return key;
}

qstring worklist_file_path_of_name(std::string_view name)
{
  qstring path;
  for ( const char c : name )
    path += c == worklist_path_separator ? '/' : c;
  return path;
}

void worklist_files_t::set_files(qvector<worklist_file_t> received)
{
  files = std::move(received);
  by_path.resize(files.size());
  for ( uint32_t i = 0; i < by_path.size(); ++i )
    by_path[i] = i;
  std::stable_sort(by_path.begin(), by_path.end(),
                   [this](uint32_t a, uint32_t b) { return files[a].path.view() < files[b].path.view(); });
}

const worklist_file_t *worklist_files_t::find(std::string_view path) const
{
  const auto found = std::lower_bound(by_path.begin(), by_path.end(), path,
                                      [this](uint32_t index, std::string_view p) { return files[index].path.view() < p; });
  if ( found == by_path.end() || files[*found].path.view() != path )
    return nullptr;
  return &files[*found];
}

// Theme files: finding a theme's file in the themes directories, splitting it into lines and resolving imports.
#include "ui/theme_loader_p.h"

#include "core/debug_flags.h"
#include "core/internal_error.h"
#include "core/ui_callback.h"
#include "ui/theme_stylesheets.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace
{

template <typename... Args>
void theme_trace(const char *format, Args... args)
{
  if ( (debug_flags & theme_trace_flag) != 0 )
    log_printf(format, args...);
}

struct file_closer_t
{
  void operator()(FILE *fp) const { fclose(fp); }
};

enum class read_result_t
{
  found,
  not_found,
  failed,
};

// Reads a whole theme file. An empty file counts as not found; a file that cannot be read whole, is larger
// than the limit or holds a NUL byte (it is no style sheet) fails.
read_result_t read_whole_file(const std::string &path, std::string *content, std::string *error)
{
  std::error_code ec;
  if ( !std::filesystem::is_regular_file(path, ec) )
    return read_result_t::not_found;
  std::unique_ptr<FILE, file_closer_t> fp(fopen(path.c_str(), "rb"));
  if ( !fp )
  {
    *error = "Couldn't open file \"" + path + "\" for reading.";
    return read_result_t::failed;
  }
  content->clear();
  char chunk[65536];
  size_t n;
  while ( (n = fread(chunk, 1, sizeof(chunk), fp.get())) > 0 && content->size() <= theme_text_limit )
    content->append(chunk, n);
  if ( ferror(fp.get()) != 0 || content->size() > theme_text_limit || content->find('\0') != std::string::npos )
  {
    *error = "Couldn't read file \"" + path + "\".";
    return read_result_t::failed;
  }
  return content->empty() ? read_result_t::not_found : read_result_t::found;
}

// Appends the non-empty lines of a file's text (a carriage return before the newline is not part of the
// line), with "$RELPATH" replaced by the file's directory.
void split_theme_lines(theme_loader_t *loader, const std::string &content, const std::string &absolute_path)
{
  std::string dir = std::filesystem::path(absolute_path).parent_path().string();
  std::replace(dir.begin(), dir.end(), '\\', '/');
  const int64_t file_index = int64_t(loader->add_theme_file(absolute_path));
  int64_t line_number = 0;
  size_t pos = 0;
  while ( pos < content.size() )
  {
    size_t end = content.find('\n', pos);
    if ( end == std::string::npos )
      end = content.size();
    std::string text = content.substr(pos, end - pos);
    pos = end + 1;
    if ( !text.empty() && text.back() == '\r' )
      text.pop_back();
    if ( text.empty() )
      continue;
    for ( size_t at = text.find("$RELPATH"); at != std::string::npos; at = text.find("$RELPATH", at + dir.size()) )
      text.replace(at, 8, dir);
    loader->lines.push_back({std::move(text), file_index, line_number++});
  }
}

// Reads the relative path from every themes directory that holds it, in directory order. *found tells
// whether any did. False with *error set when a file exists but cannot be read.
bool read_relative_path(theme_loader_t *loader, const std::string &relative, const theme_pass_t &pass,
                        std::string *error, bool *found)
{
  if ( !error->empty() )
    interr(40664);
  *found = false;
  for ( const qstring &dir : *pass.themes_dirs )
  {
    const std::string path = std::string(dir.view()) + "/" + relative;
    std::string content;
    const read_result_t result = read_whole_file(path, &content, error);
    theme_trace("Themes: Trying file \"%s\" ... %s.\n", path.c_str(),
                result == read_result_t::found ? "found" : "not found");
    if ( result == read_result_t::failed )
      return false;
    if ( result == read_result_t::not_found )
      continue;
    // Split before the next file is read, so that only one file's text is held at a time.
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    split_theme_lines(loader, content, ec ? path : absolute.lexically_normal().string());
    *found = true;
  }
  return true;
}

// A theme name is one directory name: nothing that would lead outside the themes directories.
bool is_valid_theme_name(const std::string &name)
{
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos;
}

} // namespace

size_t theme_loader_t::add_theme_file(const std::string &path)
{
  const auto it = std::find(files.begin(), files.end(), path);
  if ( it != files.end() )
    return size_t(it - files.begin());
  files.push_back(path);
  return files.size() - 1;
}

bool import_theme(theme_loader_t *loader, const std::string &name, theme_pass_t *pass, std::string *error)
{
  if ( std::find(pass->imported.begin(), pass->imported.end(), name) != pass->imported.end() )
  {
    theme_trace("Themes: Theme \"%s\" already imported. Ignoring.\n", name.c_str());
    return true;
  }
  if ( !is_valid_theme_name(name) )
  {
    *error = "Invalid theme name \"" + name + "\"";
    return false;
  }
  bool found = false;
  if ( !read_relative_path(loader, name + "/" + pass->file_name, *pass, error, &found) )
    return false;
  if ( !found && std::string_view(pass->file_name) == "theme.css" )
  {
    *error = "Theme \"" + name + "\" not found";
    return false;
  }
  pass->imported.push_back(name);

  // Lines above the one replaced hold no @importtheme, and the imported lines have none left, so the search
  // goes on after the inserted lines instead of from the top again.
  size_t i = 0;
  while ( i < loader->lines.size() )
  {
    const theme_line_t &line = loader->lines[i];
    if ( line.text.rfind("@importtheme", 0) != 0 )
    {
      ++i;
      continue;
    }
    theme_trace("Themes: Found @importtheme (%s:%zu)\n", loader->files[size_t(line.file_index)].c_str(),
                size_t(line.line_number));
    const size_t open = line.text.find('"');
    const size_t close = open == std::string::npos ? open : line.text.find('"', open + 1);
    if ( close == std::string::npos )
    {
      *error = "Malformed @importtheme: " + line.text;
      return false;
    }
    if ( pass->depth >= theme_import_depth_limit )
    {
      *error = "Too many nested @importtheme: " + line.text;
      return false;
    }
    theme_loader_t imported;
    ++pass->depth;
    const bool ok = import_theme(&imported, line.text.substr(open + 1, close - open - 1), pass, error);
    --pass->depth;
    if ( !ok )
      return false;
    for ( theme_line_t &l : imported.lines )
      l.file_index = int64_t(loader->add_theme_file(imported.files[size_t(l.file_index)]));
    loader->lines.erase(loader->lines.begin() + ptrdiff_t(i));
    loader->lines.insert(loader->lines.begin() + ptrdiff_t(i), std::make_move_iterator(imported.lines.begin()),
                         std::make_move_iterator(imported.lines.end()));
    i += imported.lines.size();
  }
  return true;
}

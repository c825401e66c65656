// The checksum cache: per-directory maps, their ".arkive_cache" files, pending records and flushes.
#include "repo/md5_cache.h"

#include "core/file_ops.h"
#include "core/md5.h"
#include "core/printf_format.h"
#include "core/qvector.h"
#include "platform/hex_digits.h"
#include "repo/abstract_fs.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

constexpr const char *cache_file_name = ".arkive_cache";

// The directory key and the file name of a path. False when the path cannot be cached: its directory
// part does not fit, the name is empty, "." or "..", or it holds a line feed (which would break the line
// format).
bool split_path(const char *path, std::string *directory, std::string *name)
{
  if ( path == nullptr )
    return false;
  char dir[PATH_MAX];
  if ( !path_directory(dir, sizeof(dir), path) && std::strcmp(dir, ".") != 0 )
    return false;
  directory->assign(dir);
  std::replace(directory->begin(), directory->end(), '\\', '/');
  name->assign(path_file_name(path));
  return !name->empty() && *name != "." && *name != ".." && name->find('\n') == std::string::npos;
}

bool cache_file_path(char (&buf)[PATH_MAX], const std::string &directory)
{
  return join_path(buf, sizeof(buf), directory.c_str(), cache_file_name, nullptr) != nullptr;
}

// Parses one line (without its line feed) into *name and *entry. False for a bad line.
bool parse_line(const std::string &line, std::string *name, md5_cache_entry_t *entry)
{
  if ( line.find('\0') != std::string::npos )
    return false;
  unsigned long long mtime = 0;
  long long size = 0;
  int used = 0;
  if ( buf_scanf(line.c_str(), "%I64u %I64d %n", &mtime, &size, &used) < 2 )
    return false;
  // The digest's 32 digits, one separator, then the name: all inside this line.
  if ( line.size() < size_t(used) + 33 )
    return false;
  const char *hex = line.c_str() + used;
  for ( int i = 0; i < 16; ++i )
  {
    const int high = hex_digit_value(hex[2 * i]);
    const int low = hex_digit_value(hex[2 * i + 1]);
    if ( high < 0 || low < 0 )
      return false;
    entry->digest[i] = uint8_t(high * 16 + low);
  }
  entry->modification_time = mtime;
  entry->size = size;
  name->assign(line, size_t(used) + 33, std::string::npos);
  return true;
}

} // namespace

const md5_cache_t::directory_map_t *md5_cache_t::load_directory(const std::string &directory, bool strict)
{
  const auto known = loaded_.find(directory);
  if ( known != loaded_.end() )
    return &known->second;

  char file[PATH_MAX];
  byte_buffer_t bytes;
  if ( !cache_file_path(file, directory) || fs_->read_whole_file(&bytes, file) != 0 || bytes.empty() )
  {
    if ( strict )
      return nullptr;
    return &loaded_[directory];
  }

  directory_map_t map;
  const std::string_view text(reinterpret_cast<const char *>(bytes.data()), bytes.size());
  size_t pos = 0;
  while ( true )
  {
    const size_t end = text.find('\n', pos);
    if ( end == std::string_view::npos )
      break; // text after the last line feed is not a line
    std::string name;
    md5_cache_entry_t entry;
    if ( !parse_line(std::string(text.substr(pos, end - pos)), &name, &entry) )
    {
      if ( strict )
        return nullptr;
      break;
    }
    map.emplace(std::move(name), entry); // the first line for a name wins
    pos = end + 1;
  }
  return &(loaded_[directory] = std::move(map));
}

bool md5_cache_t::write_directory(const std::string &directory, const directory_map_t &map)
{
  char file[PATH_MAX];
  if ( !cache_file_path(file, directory) )
    return false;
  if ( map.empty() )
    return fs_->remove(file, 0) == 0;
  qstring text;
  for ( const auto &[name, entry] : map )
  {
    char hex[33];
    digest_to_hex(entry.digest, hex, sizeof(hex));
    append_format_to_string(&text, "%I64u %I64u %s %s\n", (unsigned long long)entry.modification_time,
                            (unsigned long long)entry.size, hex, name.c_str());
  }
  byte_buffer_t bytes;
  bytes.insert(0, reinterpret_cast<const uint8_t *>(text.c_str()),
               reinterpret_cast<const uint8_t *>(text.c_str()) + text.size());
  // The new text goes to a new file, without waiting for the disk: replacing an existing file makes some
  // file systems write it out at once, which costs milliseconds per directory. A crash loses at most the
  // file, whose digests are then taken again; every complete line in it is still a true one.
  (void)fs_->remove(file, 0); // a missing old file is fine; a stuck one fails the write below
  return fs_->write_whole_file(file, bytes, false, false) == 0;
}

md5_cache_t::directory_map_t *md5_cache_t::load_for_change(const std::string &directory)
{
  load_directory(directory, false);
  return &loaded_[directory];
}

bool md5_cache_t::lookup(const char *path, const file_info_t &status, uint8_t digest[16])
{
  std::string directory;
  std::string name;
  if ( !split_path(path, &directory, &name) )
    return false;
  const directory_map_t *map = load_directory(directory, true);
  if ( map == nullptr )
    return false;
  const auto it = map->find(name);
  if ( it == map->end() || it->second.modification_time != status.modification_time
       || it->second.size != status.size )
    return false;
  std::memcpy(digest, it->second.digest, 16);
  return true;
}

void md5_cache_t::record(const char *path, const file_info_t &status, const uint8_t digest[16])
{
  std::string directory;
  std::string name;
  if ( !split_path(path, &directory, &name) )
    return;
  if ( directory != current_directory_ )
  {
    flush();
    current_directory_ = directory;
  }
  md5_cache_entry_t &entry = pending_[path];
  entry.modification_time = status.modification_time;
  entry.size = status.size;
  std::memcpy(entry.digest, digest, 16);
}

void md5_cache_t::forget(const char *path)
{
  forgotten_.insert(path);
}

void md5_cache_t::flush()
{
  std::set<std::string> touched;
  std::string directory;
  std::string name;
  for ( const std::string &path : forgotten_ )
    if ( split_path(path.c_str(), &directory, &name) )
    {
      load_for_change(directory)->erase(name);
      touched.insert(directory);
    }
  forgotten_.clear();
  for ( const auto &[path, entry] : pending_ )
    if ( split_path(path.c_str(), &directory, &name) )
    {
      (*load_for_change(directory))[name] = entry;
      touched.insert(directory);
    }
  pending_.clear();
  for ( const std::string &dir : touched )
    write_directory(dir, loaded_[dir]);
}

void attach_md5_cache(abstract_fs_t *fs)
{
  fs->set_checksum_cache(std::make_unique<md5_cache_t>(fs));
}

// Loading and looking up the message catalogue.
#include "core/message_catalog.h"

#include "core/catalog_lookup.h"
#include "core/directories.h"
#include "core/environment.h"
#include "core/error_state.h"
#include "core/file_ops.h"
#include "core/internal_error.h"
#include "core/printf_format.h"
#include "core/process_exit.h"
#include "core/qstring.h"

#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace
{

constexpr size_t header_size = 11;
constexpr size_t min_file_size = 15;
// Texts start below 4 GiB (32-bit offsets) and are at most 2 + 65535 bytes long.
constexpr uint64_t max_file_size = 0xFFFFFFFFull + 2 + 0xFFFF;
constexpr uint8_t format_version = 2;

struct help_section_t
{
  uint32_t count = 0;   // number of ids
  size_t offsets = 0;   // where its offsets start in the image
};

// The loaded catalogue. Promises: every offset of every section was checked at load time, so a lookup
// needs no further bounds checks; every text ends with its 0 byte inside the image.
struct help_file_t
{
  std::unique_ptr<uint8_t[]> image;
  size_t size = 0;
  uint32_t value32 = 0; // read and kept, not used
  uint16_t value16 = 0; // read and kept, not used
  std::vector<help_section_t> sections;

  uint16_t u16(size_t at) const { return uint16_t(image[at] | (image[at + 1] << 8)); }
  uint32_t u32(size_t at) const { return uint32_t(u16(at)) | (uint32_t(u16(at + 2)) << 16); }
};

// Written once at start-up, read by every thread afterwards.
std::atomic<help_file_t *> loaded_catalog {nullptr};

struct file_closer
{
  void operator()(FILE *fp) const { file_close(fp); }
};

// Checks the whole image; false when any table or text does not fit the file.
bool parse_image(help_file_t *hf)
{
  const size_t size = hf->size;
  if ( hf->image[0] != 'H' || hf->image[1] != 'F' )
    return false;
  hf->value32 = hf->u32(3);
  hf->value16 = hf->u16(7);
  const uint32_t section_count = hf->u16(9);
  hf->sections.resize(section_count);
  size_t pos = header_size;
  uint64_t smallest_text = UINT64_MAX;
  for ( help_section_t &section : hf->sections )
  {
    // The count and room for one offset must lie within the file, and the whole table before the
    // closing "HF".
    if ( pos + 6 > size )
      return false;
    const uint32_t count = hf->u16(pos);
    const uint64_t table_end = uint64_t(pos) + 2 + 4 * uint64_t(count);
    if ( table_end >= size - 2 )
      return false;
    section.count = count;
    section.offsets = pos + 2;
    for ( uint32_t id = 0; id < count; ++id )
    {
      const uint64_t o = hf->u32(section.offsets + 4 * size_t(id));
      if ( o == 0 )
        continue;
      if ( o <= 13 || o >= size - 2 )
        return false;
      const uint64_t length = hf->u16(size_t(o));
      // A text holds at least its terminator, ends inside the file, and its last byte is 0.
      if ( length == 0 || o + 2 + length > size || hf->image[size_t(o + 1 + length)] != 0 )
        return false;
      if ( o < smallest_text )
        smallest_text = o;
    }
    pos = size_t(table_end);
  }
  if ( pos + 2 > size || hf->image[pos] != 'H' || hf->image[pos + 1] != 'F' )
    return false;
  return smallest_text == UINT64_MAX || smallest_text >= pos + 2;
}

// Splits a list at ';' and ':' (empty fields skipped) and calls try_field on each; stops at true.
template <typename F>
bool for_each_field(std::string_view list, F try_field)
{
  size_t start = 0;
  while ( start <= list.size() )
  {
    size_t end = list.find_first_of(";:", start);
    if ( end == std::string_view::npos )
      end = list.size();
    if ( end > start && try_field(list.substr(start, end - start)) )
      return true;
    start = end + 1;
  }
  return false;
}

} // namespace

const char *help_error_text(int code)
{
  switch ( code )
  {
    case HELP_CANT_FIND: return "can't find file";
    case HELP_BAD_FILE: return "bad help file";
    case HELP_OBSOLETE: return "obsolete version of help file";
    case HELP_IO_ERROR: return "I/O error";
    case HELP_NO_MEMORY: return "no memory";
    default: return nullptr;
  }
}

int load_help_file(const char *path)
{
  const std::unique_ptr<FILE, file_closer> fp(file_open_read(path));
  if ( fp == nullptr )
    return HELP_CANT_FIND;
  // Only a regular file has a size to trust (a directory opens too, and reports nonsense).
  struct stat st {};
  if ( fstat(fileno(fp.get()), &st) != 0 || !S_ISREG(st.st_mode) )
    return HELP_IO_ERROR;
  const int64_t size = file_size(fp.get());
  if ( size < 0 )
    return HELP_IO_ERROR;
  if ( size < int64_t(min_file_size) || size > int64_t(max_file_size) )
    return HELP_BAD_FILE;
  std::unique_ptr<help_file_t> hf(new (std::nothrow) help_file_t);
  if ( hf == nullptr )
    return HELP_NO_MEMORY;
  hf->image.reset(new (std::nothrow) uint8_t[size_t(size)]);
  if ( hf->image == nullptr )
    return HELP_NO_MEMORY;
  hf->size = size_t(size);
  if ( file_read(fp.get(), hf->image.get(), size) != size )
    return HELP_IO_ERROR;
  if ( hf->image[0] != 'H' || hf->image[1] != 'F' )
    return HELP_BAD_FILE;
  if ( hf->image[2] != format_version )
    return HELP_OBSOLETE;
  try
  {
    if ( !parse_image(hf.get()) )
      return HELP_BAD_FILE;
  }
  catch ( const std::bad_alloc & )
  {
    return HELP_NO_MEMORY;
  }
  delete loaded_catalog.exchange(hf.release());
  add_exit_handler(unload_help_file);
  return 0;
}

void unload_help_file()
{
  delete loaded_catalog.exchange(nullptr);
}

bool expand_help_templates(const char *file_name, const char *language, const char *list, char *buf,
                           ptrdiff_t size)
{
  if ( list == nullptr || buf == nullptr || size <= 0 )
    return false;
  return for_each_field(list, [&](std::string_view field) {
    std::string expanded;
    bool has_name = false;
    for ( size_t i = 0; i < field.size(); ++i )
    {
      if ( field[i] == '%' && i + 1 < field.size() && (field[i + 1] == 'N' || field[i + 1] == 'L') )
      {
        has_name |= field[i + 1] == 'N';
        expanded += field[i + 1] == 'N' ? file_name : language;
        ++i;
      }
      else
      {
        expanded += field[i];
      }
    }
    if ( has_name )
    {
      if ( expanded.size() >= size_t(size) )
        return false;
      std::memcpy(buf, expanded.c_str(), expanded.size() + 1);
    }
    else if ( join_path(buf, size, expanded.c_str(), file_name, nullptr) == nullptr )
    {
      return false;
    }
    return file_exists(buf);
  });
}

int find_and_load_help_file(const char *search_list, const char *file_name)
{
  if ( is_absolute_path(file_name) )
    return load_help_file(file_name);
  qstring language;
  if ( !read_env_var("LANG", &language) )
    language = "En_US";
  char path[PATH_MAX];
  qstring templates;
  const bool found =
      (read_env_var("NLSPATH", &templates) &&
       expand_help_templates(file_name, language.c_str(), templates.c_str(), path, sizeof(path))) ||
      expand_help_templates(file_name, language.c_str(), search_list, path, sizeof(path));
  if ( !found )
    return HELP_CANT_FIND;
  return load_help_file(path);
}

void init_help_system(const char *file_name)
{
  std::string search_list;
  if ( const char *install = install_directory(nullptr) )
    search_list = install;
  search_list += ';';
  qstring path_var;
  search_list += read_env_var("PATH", &path_var) ? path_var.c_str() : ".";
  const int rc = find_and_load_help_file(search_list.c_str(), file_name);
  if ( rc != 0 )
    help_init_failed("Can't initialize help system.\nFile name: '%s', Reason: %s.\nPress Enter to exit.\n",
                     file_name, help_error_text(rc));
}

void help_init_failed(const char *format, ...)
{
  char text[1024];
  va_list va;
  va_start(va, format);
  buf_vprintf(text, sizeof(text), format, va);
  va_end(va);
  std::fputs(text, stderr);
  std::fflush(stderr);
  exit_process(255);
}

const char *catalog_lookup(int section, int id)
{
  if ( id < 0 )
    interr(540);
  const help_file_t *hf = loaded_catalog.load();
  if ( hf == nullptr || section < 0 || size_t(section) >= hf->sections.size() )
    return nullptr;
  const help_section_t &s = hf->sections[size_t(section)];
  if ( uint32_t(id) >= s.count )
    return nullptr;
  const uint32_t offset = hf->u32(s.offsets + 4 * size_t(id));
  if ( offset == 0 )
    return nullptr;
  return reinterpret_cast<const char *>(hf->image.get() + offset + 2);
}

const char *catalog_message(int id)
{
  return catalog_lookup(0, id);
}

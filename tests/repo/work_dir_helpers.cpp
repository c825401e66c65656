// Scratch directories of the work-directory tests.
#include "tests/repo/work_dir_helpers.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

scratch_dir_t::scratch_dir_t() : saved_cwd_(fs::current_path())
{
  std::string pattern = (fs::temp_directory_path() / "work-XXXXXX").string();
  if ( mkdtemp(pattern.data()) == nullptr )
    throw std::runtime_error("mkdtemp failed");
  path_ = fs::canonical(pattern).string();
}

scratch_dir_t::~scratch_dir_t()
{
  std::error_code ignored;
  fs::current_path(saved_cwd_, ignored);
  fs::remove_all(path_, ignored);
}

std::string scratch_dir_t::at(const std::string &relative) const
{
  return relative.empty() ? path_ : path_ + "/" + relative;
}

void scratch_dir_t::write(const std::string &relative, const std::string &content) const
{
  const fs::path file(at(relative));
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string scratch_dir_t::read(const std::string &relative) const
{
  return read_file_text(at(relative));
}

std::string read_file_text(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  if ( !in )
    return "<missing>";
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool scratch_dir_t::exists(const std::string &relative) const
{
  std::error_code ignored;
  return fs::exists(fs::symlink_status(at(relative), ignored));
}

std::vector<std::string> scratch_dir_t::names(const std::string &relative) const
{
  std::vector<std::string> result;
  for ( const fs::directory_entry &entry : fs::directory_iterator(at(relative)) )
    result.push_back(entry.path().filename().string());
  std::sort(result.begin(), result.end());
  return result;
}

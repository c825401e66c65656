// Whole-file reads and writes for tests that check what landed on disk.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// The file's bytes, or "" when it cannot be read.
inline std::string read_file(const std::filesystem::path &p)
{
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Replaces the file's content by text (creating it).
inline void write_file(const std::filesystem::path &p, const std::string &text)
{
  std::ofstream(p, std::ios::binary) << text;
}

// The names of the entries of a directory, in the order the system lists them.
inline std::vector<std::string> file_names_in(const std::filesystem::path &dir)
{
  std::vector<std::string> names;
  for ( const auto &entry : std::filesystem::directory_iterator(dir) )
    names.push_back(entry.path().filename().string());
  return names;
}

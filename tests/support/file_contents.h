// Whole-file reads and writes for tests that check what landed on disk.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

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

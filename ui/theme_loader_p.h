// Private to the theme code: the loader of one theme file pass and the line preprocessor.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <cstdint>
#include <string>
#include <vector>

// One non-empty line of a theme file.
struct theme_line_t
{
  std::string text;
  int64_t file_index = 0;  // into the loader's files
  int64_t line_number = 0; // 0-based count of the non-empty lines of its file
};

// The lines of one theme file pass (or of one import), with the files they came from.
// Promises: every path is listed once; every line's file_index is valid in files.
struct theme_loader_t
{
  std::vector<std::string> files; // absolute paths
  std::vector<theme_line_t> lines;

  // The index of the path, appending it when it is not listed yet.
  size_t add_theme_file(const std::string &path);
};

// Where one pass looks and what it has imported so far.
struct theme_pass_t
{
  const qvector<qstring> *themes_dirs = nullptr;
  const char *file_name = nullptr; // "theme.css" or "user.css"
  std::vector<std::string> imported;
  int depth = 0; // nesting of the import being read
};

// Imports a theme into the loader: its file from every themes directory that has it, then every
// @importtheme line replaced by the lines of the theme it names. False with *error set on failure.
[[nodiscard]] bool import_theme(theme_loader_t *loader, const std::string &name, theme_pass_t *pass,
                                std::string *error);

// Preprocesses the lines into text, one output line per input line (dropped lines stay as empty lines):
// @ifdef/@ifndef/@else/@endif, "${name}" references, @def and the @lighten and @darken colour functions.
// False with *error set on the first failure.
[[nodiscard]] bool preprocess_theme_lines(const std::vector<theme_line_t> &lines, std::string *out,
                                          std::string *error);

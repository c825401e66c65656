// The file commands' road to the file-extension associations: the lookup of the program and argument text
// associated with a file's extension. The associations install their finder; without one nothing is
// associated.
#pragma once

#include "core/qstring.h"

// What a program is wanted for.
enum file_assoc_kind_t : int
{
  assoc_view = 0,
  assoc_diff = 1,
  assoc_merge = 2,
};

// An association's program and its argument text for one kind (expanded or as a template).
struct file_assoc_command_t
{
  qstring program;
  qstring arguments;
};

// Finds the association of the left path's extension (else "*") and the argument template of the kind
// (merge: of the method 1-4). Fails when there is none or its program is empty. Without out only the
// existence is asked. With expand, "%l", "%r", "%b" (the left, right and third paths, quoted) and "%I" are
// expanded; a template without "%" gets a blank and the quoted left path.
class file_assoc_finder_t
{
public:
  virtual ~file_assoc_finder_t() = default;
  [[nodiscard]] virtual bool find_file_assoc_command(file_assoc_command_t *out, int kind, const char *left,
                                                     const char *right, const char *third, int merge_method,
                                                     bool expand) = 0;
};

// Installs the finder (not owned; null removes it). GUI thread.
void install_file_assoc_finder(file_assoc_finder_t *finder);
// The installed finder's answer; false without one.
[[nodiscard]] bool find_file_assoc_command(file_assoc_command_t *out, int kind, const char *left, const char *right,
                                           const char *third, int merge_method, bool expand);

// The file commands' road to the file-extension associations: the lookup of the program and argument text
// associated with a file's extension. The application's associations answer unless a finder is installed in
// their place (tests install their own).
#pragma once

#include "client/views/file_assocs.h"

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
// The installed finder's answer; without one, the application's (false without an application).
[[nodiscard]] bool find_file_assoc_command(file_assoc_command_t *out, int kind, const char *left, const char *right,
                                           const char *third, int merge_method, bool expand);

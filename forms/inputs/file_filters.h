// The name filters of a file request: the core's '|'-separated filter text, a default path, and the Qt form.
#pragma once

#include "core/qstring.h"

#include <cstdarg>
#include <string>
#include <vector>

// One name filter: a description (may be empty) and its patterns, in the order given (empty ones kept).
struct file_filter_t
{
  std::string description;
  std::vector<std::string> patterns;

  // Reads "description|pattern;pattern;..." from [begin, end): the description up to the first '|', the rest
  // split at ';' (no '|': all of it is the description).
  void parse(const char *begin, const char *end);
};

// The working state of one file request. Promises: filters keep their insertion order, the first being the
// one a dialog selects at first; a pattern added from a single filter text is listed once, compared without
// ASCII letter case.
struct file_filter_list_t
{
  std::vector<file_filter_t> filters;
  std::string default_name;     // the file-name part of a default path
  std::string default_folder;   // its directory part ("." when it has none)
  bool default_is_name = false; // the last single filter text added was a plain file name, not a mask

  // Adds a filter text (null counts as empty): pairs of description and ';'-separated patterns when it holds
  // a '|' (a last token without partner and a trailing '|' are ignored); otherwise one filter text: a mask
  // ('*' or '?') taken as it is, or a default path whose extension gives the pattern ("*.*" and "All files"
  // without one). A single filter text describes itself by its extension ("*.txt": "TXT files") and joins
  // a filter that holds its pattern already, lending it its description when that filter has none.
  void add_spec(const char *text);
  // The first filter holding the pattern, compared with ASCII letter case ignored; null when none does.
  [[nodiscard]] file_filter_t *find_pattern(const char *pattern);
  // A new empty filter at the end.
  file_filter_t &add_filter();
  // The Qt name-filter text: each filter as "description (pattern pattern)" (no blank before '(' without a
  // description), joined with ";;".
  void to_qt_filter(qstring *out) const;
};

// Formats a file request's prompt and separates from it a first line "FILTER <filter text>" (into *filter,
// emptied when there is none) and the help marker. *prompt gets the rest, the dialog's title; answers the help
// id (0 when none).
int split_filter_header(qstring *filter, qstring *prompt, const char *format, va_list va);

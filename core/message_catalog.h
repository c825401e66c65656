// The message catalogue "zuk.hlp": finding and loading the "HF" file, and ending the program when it cannot.
#pragma once

#include <cstddef>
#include <cstdint>

// The "HF" file, little-endian and unaligned:
//   0  "HF"                 7  16-bit value (kept, unused)
//   2  version byte: 2      9  section count S
//   3  32-bit value (kept, unused)
//   11 S section tables, one after another: a 16-bit count n, then n 32-bit text offsets (0 = no text)
//   then "HF" again, then the texts: at offset o a 16-bit length L (terminator included) and L bytes, the
//   last of them 0.
// Texts are looked up with catalog_lookup and catalog_message (core/catalog_lookup.h); the core's error
// texts are section 0, indexed by error code.

// Error codes of loading.
constexpr int HELP_CANT_FIND = -1;
constexpr int HELP_BAD_FILE = -2;
constexpr int HELP_OBSOLETE = -3;
constexpr int HELP_IO_ERROR = -4;
constexpr int HELP_NO_MEMORY = -5;

// The reason text of a loading error code ("can't find file", "bad help file", ...); null for others.
const char *help_error_text(int code);

// Loads the catalogue of that file name from the install directory or, failing that, a PATH directory
// (NLSPATH templates first when set). On failure writes "Can't initialize help system..." with the
// reason to standard error and ends the process with exit code 255 (the exit handlers run first).
void init_help_system(const char *file_name);

// Finds and loads the catalogue: an absolute file name is loaded directly; otherwise the NLSPATH
// templates (language: LANG, else "En_US") and then the directories of search_list (split at ';' and ':')
// are tried. 0, or a loading error code (HELP_CANT_FIND when no candidate exists).
[[nodiscard]] int find_and_load_help_file(const char *search_list, const char *file_name);

// Tries each field of the list (split at ';' and ':', empty fields skipped): "%N" becomes the file name,
// "%L" the language, '%' before any other character stays; a field without "%N" gets the file name joined
// as a path. True and the first expansion that names an existing file in buf. An expansion that does not
// fit buf is skipped.
[[nodiscard]]
bool expand_help_templates(const char *file_name, const char *language, const char *list, char *buf,
                           ptrdiff_t size);

// Loads the catalogue file at path after checking all of it: every section table, every text (its
// length, its terminating 0, that it lies behind the tables and inside the file). 0 and the catalogue
// replaces the loaded one; or an error code, and the loaded catalogue stays as it was.
[[nodiscard]] int load_help_file(const char *path);

// Frees the loaded catalogue (registered as an exit handler by the first successful load). Texts
// looked up before are invalid afterwards.
void unload_help_file();

// Writes the formatted text (at most 1023 bytes) to standard error, where no window exists yet, and ends
// the process through exit_process with code 255.
[[noreturn]] void help_init_failed(const char *format, ...);

// Whole-buffer reads and writes on descriptors, and folders private to the user: what the per-user stores
// (settings, credentials) need of the file system.
#pragma once

#include <string>
#include <string_view>

// Creates the folder and its missing parents with mode 0700 (existing ones are left as they are).
// Returns 0 or the errno of the first step that failed.
int make_private_dirs(const std::string &dir);

// Writes every byte, retrying after interruptions. Returns 0 or the errno of the failed write.
int write_all(int fd, std::string_view bytes);

// Reads until end of file into out (replaced), retrying after interruptions. Returns 0 or the errno of the
// failed read; out then holds what came before it.
int read_all(int fd, std::string &out);

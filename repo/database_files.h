// Database files of the disassembler: recognition by extension and the executable that opens them.
#pragma once

#include "core/qstring.h"

// The command template of the disassembler: "%I/zuk64" with the 64-bit flag, else "%I/zuk"; "%I" stands
// for the installation directory when the template is expanded.
qstring zuk_executable_path(bool is_64bit);

// True when the extension of the path's file name is exactly "zdb" or "z64" (case included).
bool is_database_path(const char *path);

// For a "z64" path stores the 64-bit executable template in *executable, for "zdb" the 32-bit one, and
// answers true; any other path answers false and leaves *executable alone.
bool database_executable(const char *path, qstring *executable);

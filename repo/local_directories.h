// Creating a local directory with all its missing parents.
#pragma once

// Creates the directory and every missing parent ('\' counts as '/'). True when it exists afterwards;
// false with the thread's error state holding the system error of the last creation (ENAMETOOLONG for a
// path of PATH_MAX bytes or more, which is never cut).
bool make_directories(const char *path);

// The recursive worker of make_directories over a writable '/'-separated path, which it changes while it
// runs and restores: 0 when the directory exists or was made, -1 when the final creation failed.
int mkdir_parents(char *path);

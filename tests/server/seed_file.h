// Seed data of the test server: a readable text file of users, groups, sites, commits and worklists.
#pragma once

#include "tests/server/server_repository.h"

#include <string>

// One entry per line; '#' starts a comment line; words are separated by blanks and a word in double quotes
// may hold blanks (\" and \\ inside). Entries:
//   user LOGIN PASSWORD [admin] [name=TEXT] [email=TEXT]
//   group NAME [MEMBER...]                         members are users or groups defined before
//   site NAME USER ROOT HOST                       a relative ROOT is placed under the site root base
//   commit USER SITE DESCRIPTION PATH=CONTENT...   one commit of a revision of each path
//   worklist USER SITE DESCRIPTION
//   permission WHO PATTERN NUMBER                  WHO is "*", a user or a group
//   filter SITE LINE...
// Every user, group and site named is defined on an earlier line (or was added before) and defined once;
// paths and patterns start with "//". A relative site root becomes site_root_base/ROOT (site_root_base
// empty: the current folder), made absolute, and the folder is made when missing.
// False with *error ("LINE: reason") at the first line that is refused; entries before it stay.
[[nodiscard]] bool load_seed_text(server_repository_t &repository, const std::string &text, std::string *error,
                                  const std::string &site_root_base = "");
// The same for a file, with *error "PATH:LINE: reason"; a file that cannot be read, or a folder, is refused
// with "PATH: reason".
[[nodiscard]] bool load_seed_file(server_repository_t &repository, const std::string &path, std::string *error,
                                  const std::string &site_root_base = "");

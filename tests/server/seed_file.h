// Seed data of the test server: a readable text file of users, groups, sites, commits and worklists.
#pragma once

#include "tests/server/server_repository.h"

#include <string>

// One entry per line; '#' starts a comment line; words are separated by blanks and a word in double quotes
// may hold blanks (\" and \\ inside). Entries:
//   user LOGIN PASSWORD [admin] [name=TEXT] [email=TEXT]
//   group NAME [MEMBER...]
//   site NAME USER ROOT HOST
//   commit USER SITE DESCRIPTION PATH=CONTENT...   one commit of a revision of each path
//   worklist USER SITE DESCRIPTION
//   permission WHO PATTERN NUMBER
//   filter SITE LINE...
// False with *error ("LINE: reason") at the first line that is not understood; entries before it stay.
bool load_seed_text(server_repository_t &repository, const std::string &text, std::string *error);
bool load_seed_file(server_repository_t &repository, const std::string &path, std::string *error);

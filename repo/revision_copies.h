// Local files of diffs and merges: unique names for revision copies, and removing a database with its
// unpacked component files.
#pragma once

#include "core/qstring.h"

class abstract_fs_t;

// Creates a new, empty file for a copy of local_path tagged with tag, and answers its path. The file is
// made in this user's private folder "akui-<user id>" (mode 0700) of the temporary directory ("." when
// that is not a directory), which is created when missing; its name is local_path's file name with the
// extension replaced by the tag (added when it has none), then ".1", ".2" ... when that name is taken,
// then the extension of local_path again: "d/a.zdb" tagged "base" gives "a.base.zdb", then
// "a.base.1.zdb"; "d/mk" tagged "#3" gives "mk.#3", then "mk.#3.1". The file is created exclusively with
// mode 0600, so no other file, link or process can stand in its place. An empty text when it cannot be
// made, with the detail text ("path: system error") in string argument 0 of the thread's error state.
qstring unique_temp_name(const char *local_path, const char *tag);

// The private folder of unique_temp_name: "akui-<user id>" in the temporary directory, made with mode
// 0700 when missing. False with the detail text in string argument 0 when it cannot be made, or when the
// name is taken by anything but a folder of this user (which is then never used); a folder of this user
// that others may enter is closed to them again.
bool private_temp_directory(qstring *out);

// Removes path through fs, then, when it is a database, its unpacked component files: the path with the
// extension "zd0", "$$$", "zd1", "nam", "seg", "til" and "zd2". Every failure is ignored.
void delete_database_files(abstract_fs_t *fs, const char *path);

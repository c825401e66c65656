// Splitting and joining the '/'-separated paths of tree entries.
#pragma once

#include "core/qstring.h"

#include <initializer_list>
#include <string_view>

// Splits at the last '/': the folder part is "/" when that '/' comes first, else the text before it; the
// name is the text after it (empty when the path ends in '/'). Either output may be null. False, outputs
// untouched, when the path holds no '/'.
bool split_dirtree_path(qstring *folder, qstring *name, std::string_view path);

// Appends each component with exactly one '/' between: none is added after a '/' that ends the path so far
// or before a component that starts with one; an empty path joined with a name gives "/" and the name.
void join_dirtree_path(qstring *path, std::initializer_list<std::string_view> components);

// True for an absolute path in the form the tree writes: "/" alone, or '/' then names separated by single
// '/', none of them "." or "..", without a '/' at the end. Paths from outside the program must be in this
// form before the tree resolves them, so that every one names at most one entry, the way it reads.
[[nodiscard]] bool is_canonical_dirtree_path(std::string_view path);

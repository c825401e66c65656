// Server path texts of the client: joining and splitting paths that begin with "//".
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <initializer_list>

// Joins server path parts: a part beginning with "//" replaces what was joined, one beginning with a single "/"
// replaces it by "/" and the part (so the result begins with "//"), any other part follows after a "/" unless the
// result is empty or ends with "/" already.
[[nodiscard]] qstring join_arkive_path(std::initializer_list<const char *> parts);

// The folder (up to and including the last "/", trailing "/" removed while more than two characters remain) and
// the name after it. Either output may be null.
void split_arkive_path(qstring *folder, qstring *name, const char *path);

// The texts with the separator between them.
[[nodiscard]] qstring join_texts(const qvector<qstring> &texts, const char *separator);

// Details of the file layer shared with the rest of the core: the system form of a path.
#pragma once

#include <climits>

// A path ready for a system call: strict UTF-8 (no encoded surrogates, which file names never hold),
// shorter than PATH_MAX, '\' turned into '/'. The path is never cut: one that does not fit is refused.
class native_path_t
{
public:
  // Checks and converts path; null, malformed and too long paths are kept as failures (see ok).
  explicit native_path_t(const char *path);

  // False when the path cannot be handed to the system; errno is then set to EFAULT (null path),
  // EILSEQ or ENAMETOOLONG, and nothing else is changed.
  bool ok() const;
  // The converted path; "" when ok() is false.
  const char *c_str() const { return text_; }

private:
  char text_[PATH_MAX] {};
  int err_ = 0;
};

// Whole-buffer descriptor I/O and private folders for the per-user stores.
#include "platform/private_files.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

int make_private_dirs(const std::string &dir)
{
  for ( std::size_t pos = 1; pos <= dir.size(); ++pos )
  {
    if ( pos != dir.size() && dir[pos] != '/' )
      continue;
    if ( mkdir(dir.substr(0, pos).c_str(), 0700) != 0 && errno != EEXIST )
      return errno;
  }
  return 0;
}

int write_all(int fd, std::string_view bytes)
{
  while ( !bytes.empty() )
  {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if ( n < 0 )
    {
      if ( errno == EINTR )
        continue;
      return errno;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

int read_all(int fd, std::string &out)
{
  out.clear();
  char buf[65536];
  for ( ;; )
  {
    const ssize_t n = ::read(fd, buf, sizeof(buf));
    if ( n == 0 )
      return 0;
    if ( n < 0 )
    {
      if ( errno == EINTR )
        continue;
      return errno;
    }
    out.append(buf, static_cast<std::size_t>(n));
  }
}

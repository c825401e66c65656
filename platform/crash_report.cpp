// Crash reports: text files naming a fault and its backtrace, written safely even from a signal handler.
#include "platform/crash_report.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Held while a report is written; a fault on any thread during that time ends the process unreported.
std::atomic<bool> report_in_progress {false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is touched from signal handlers");

// What the signal handler needs, set once by install_crash_signals before any handler can run.
crash_name_fn_t signal_name_fn = nullptr;
char signal_temp_dir[PATH_MAX];
long utc_offset_seconds = 0;
// The handler's own stack, so that a stack overflow still gets its report.
alignas(16) char alternate_stack[128 * 1024];
constexpr int fault_signals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Appends text to buf (size bytes, kept NUL-terminated) at *len.
void append(char *buf, size_t size, size_t *len, const char *text) noexcept
{
  while ( *text != '\0' && *len + 1 < size )
    buf[(*len)++] = *text++;
  if ( size != 0 )
    buf[*len] = '\0';
}

// Appends value in decimal, left-padded with zeros to at least `width` digits.
void append_decimal(char *buf, size_t size, size_t *len, long value, int width = 1) noexcept
{
  char digits[24];
  int n = 0;
  unsigned long magnitude = value < 0 ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
  do
  {
    digits[n++] = char('0' + magnitude % 10);
    magnitude /= 10;
  } while ( magnitude != 0 );
  while ( n < width && n < int(sizeof(digits)) )
    digits[n++] = '0';
  char text[26];
  size_t t = 0;
  if ( value < 0 )
    text[t++] = '-';
  while ( n > 0 )
    text[t++] = digits[--n];
  text[t] = '\0';
  append(buf, size, len, text);
}

void append_hex(char *buf, size_t size, size_t *len, uintptr_t value) noexcept
{
  char text[2 + 2 * sizeof(uintptr_t) + 1] = "0x";
  int n = 2;
  for ( int shift = int(8 * sizeof(uintptr_t)) - 4; shift >= 0; shift -= 4 )
    text[n++] = "0123456789abcdef"[(value >> shift) & 0xF];
  text[n] = '\0';
  append(buf, size, len, text);
}

// Writes all of text to fd; false on any failure (a full disk, a file-size limit).
bool write_all(int fd, const char *text, size_t size) noexcept
{
  while ( size != 0 )
  {
    const ssize_t n = write(fd, text, size);
    if ( n < 0 && errno == EINTR )
      continue;
    if ( n <= 0 )
      return false;
    text += n;
    size -= size_t(n);
  }
  return true;
}

const char *signal_name(int signo) noexcept
{
  switch ( signo )
  {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
  }
}

// Ends the process the way the signal would have without the handler.
[[noreturn]] void die_of(int signo) noexcept
{
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(signo, &dfl, nullptr);
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, signo);
  sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
  raise(signo);
  // A signal that the kernel will not deliver (blocked elsewhere) must still not let the program resume.
  _exit(128 + signo);
}

void on_fault_signal(int signo, siginfo_t *info, void *) noexcept
{
  if ( !begin_crash_report() )
    die_of(signo);
  static char name[256];
  static char text[512];
  static char path[PATH_MAX + 256];
  name[0] = '\0';
  if ( signal_name_fn != nullptr )
    signal_name_fn(name, sizeof(name), crash_local_time(), long(getpid()), signo);
  if ( name[0] != '\0' )
  {
    size_t len = 0;
    text[0] = '\0';
    append(text, sizeof(text), &len, "Fatal signal ");
    append_decimal(text, sizeof(text), &len, signo);
    append(text, sizeof(text), &len, " (");
    append(text, sizeof(text), &len, signal_name(signo));
    append(text, sizeof(text), &len, ") at address ");
    append_hex(text, sizeof(text), &len, info != nullptr ? reinterpret_cast<uintptr_t>(info->si_addr) : 0);
    append(text, sizeof(text), &len, "\n");
    (void)write_crash_report(path, sizeof(path), name, signal_temp_dir, text);
  }
  // The flag stays held: the process is ending, and a fault on another thread must not write a second report.
  die_of(signo);
}

// Creates name in dir ("" for the working directory) exclusively; -1 when it cannot.
int create_in(char *path, size_t path_size, const char *dir, const char *name) noexcept
{
  size_t len = 0;
  path[0] = '\0';
  if ( *dir == '\0' )
  {
    if ( getcwd(path, path_size) == nullptr )
      path[0] = '\0';
    len = strlen(path);
    if ( len != 0 )
      append(path, path_size, &len, "/");
    const int fd = open(name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    append(path, path_size, &len, name);
    return fd;
  }
  append(path, path_size, &len, dir);
  append(path, path_size, &len, "/");
  append(path, path_size, &len, name);
  if ( len + 1 >= path_size )
    return -1;
  return open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
}

} // namespace

bool begin_crash_report() noexcept
{
  return !report_in_progress.exchange(true);
}

void end_crash_report() noexcept
{
  report_in_progress.store(false);
}

crash_report_result_t write_crash_report(char *path, size_t path_size, const char *name, const char *temp_dir,
                                         const char *text) noexcept
{
  if ( path_size != 0 )
    path[0] = '\0';
  if ( path_size == 0 || name == nullptr || *name == '\0' || strchr(name, '/') != nullptr )
    return crash_report_result_t::not_created;
  int fd = create_in(path, path_size, "", name);
  if ( fd < 0 && temp_dir != nullptr && *temp_dir != '\0' )
    fd = create_in(path, path_size, temp_dir, name);
  if ( fd < 0 )
  {
    path[0] = '\0';
    return crash_report_result_t::not_created;
  }
  // A file-size limit must fail the write, not end the process before the file is removed.
  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGXFSZ, &ignore, &previous);
  void *frames[64];
  const int count = backtrace(frames, 64);
  static const char backtrace_title[] = "Backtrace:\n";
  static const char end_line[] = "End of report\n";
  bool ok = write_all(fd, text, strlen(text)) && write_all(fd, backtrace_title, sizeof(backtrace_title) - 1);
  if ( ok )
  {
    backtrace_symbols_fd(frames, count, fd);
    // backtrace_symbols_fd reports nothing; a failure there also fails this last line.
    ok = write_all(fd, end_line, sizeof(end_line) - 1);
  }
  ok = fsync(fd) == 0 && ok;
  ok = close(fd) == 0 && ok;
  sigaction(SIGXFSZ, &previous, nullptr);
  if ( !ok )
  {
    unlink(path);
    return crash_report_result_t::failed;
  }
  return crash_report_result_t::written;
}

void format_crash_name(char *buf, size_t size, const char *prefix, const crash_time_t &time, long pid) noexcept
{
  size_t len = 0;
  if ( size == 0 )
    return;
  buf[0] = '\0';
  append(buf, size, &len, prefix);
  append(buf, size, &len, "-");
  append_decimal(buf, size, &len, time.year, 4);
  append_decimal(buf, size, &len, time.month, 2);
  append_decimal(buf, size, &len, time.day, 2);
  append(buf, size, &len, "-");
  append_decimal(buf, size, &len, time.hour, 2);
  append_decimal(buf, size, &len, time.minute, 2);
  append_decimal(buf, size, &len, time.second, 2);
  append(buf, size, &len, "-");
  append_decimal(buf, size, &len, pid);
  append(buf, size, &len, ".dmp");
}

crash_time_t crash_local_time() noexcept
{
  timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  const long long local = static_cast<long long>(now.tv_sec) + utc_offset_seconds;
  long long days = local / 86400;
  long long secs = local % 86400;
  if ( secs < 0 )
  {
    secs += 86400;
    --days;
  }
  // Civil date from days since 1970-01-01 (proleptic Gregorian, eras of 400 years).
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const long long doe = days - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long day = doy - (153 * mp + 2) / 5 + 1;
  const long long month = mp < 10 ? mp + 3 : mp - 9;
  const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  return {int(year), int(month), int(day), int(secs / 3600), int(secs / 60 % 60), int(secs % 60)};
}

bool install_crash_signals(crash_name_fn_t name_fn, const char *temp_dir) noexcept
{
  const time_t now = time(nullptr);
  struct tm local {};
  if ( localtime_r(&now, &local) != nullptr )
    utc_offset_seconds = local.tm_gmtoff;
  size_t len = 0;
  signal_temp_dir[0] = '\0';
  append(signal_temp_dir, sizeof(signal_temp_dir), &len, temp_dir != nullptr ? temp_dir : "");
  signal_name_fn = name_fn;
  // The first backtrace loads the unwinder, which allocates: do it now, not inside a handler.
  void *frame[1];
  (void)backtrace(frame, 1);

  stack_t stack {};
  stack.ss_sp = alternate_stack;
  stack.ss_size = sizeof(alternate_stack);
  if ( sigaltstack(&stack, nullptr) != 0 )
    return false;
  struct sigaction action {};
  action.sa_sigaction = on_fault_signal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for ( const int signo : fault_signals )
    if ( sigaction(signo, &action, nullptr) != 0 )
      return false;
  return true;
}

// Launching programs: finding the program file, arguments and redirections, environment, waiting.
#include "core/process_launch.h"

#include "core/debug_flags.h"
#include "core/directories.h"
#include "core/environment.h"
#include "core/error_state.h"
#include "core/file_ops.h"
#include "core/file_ops_p.h"
#include "core/threads.h"
#include "core/ui_callback.h"
#include "platform/process.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

extern char **environ;

namespace {

// The command interpreter of LAUNCH_SHELL and its switch for one command text.
constexpr const char SHELL_PATH[] = "/bin/sh";
constexpr const char SHELL_COMMAND_SWITCH[] = "-c";

bool has_separator(const char *path)
{
  return std::strpbrk(path, "/\\") != nullptr;
}

// The first executable file called name in the directories of PATH, into found.
bool search_path_variable(char *found, const char *name)
{
  qstring path_list;
  if ( !read_env_var("PATH", &path_list) )
    return false;
  std::string_view rest = path_list.view();
  while ( !rest.empty() )
  {
    const size_t end = rest.find_first_of(":;");
    const std::string dir(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if ( dir.empty() || join_path(found, PATH_MAX, dir.c_str(), name, nullptr) == nullptr )
      continue;
    const native_path_t native(found);
    if ( native.ok() && platform_is_executable_file(native.c_str()) )
      return true;
  }
  return false;
}

// Finds the program file wanted into found (PATH_MAX bytes).
bool find_program(char *found, const char *wanted, bool debug)
{
  const size_t len = std::strlen(wanted);
  if ( len == 0 || len >= PATH_MAX )
    return false;
  if ( debug && !is_absolute_path(wanted) && file_exists(wanted) )
    return full_path(found, PATH_MAX, wanted) != nullptr;
  if ( has_separator(wanted) )
  {
    // A path, absolute or relative to the working directory, is taken as written.
    if ( file_exists(wanted) )
    {
      std::memcpy(found, wanted, len + 1);
      return true;
    }
  }
  else if ( search_path_variable(found, wanted) )
  {
    return true;
  }
  return find_in_search_dirs(found, PATH_MAX, wanted, nullptr) != nullptr;
}

// Formats a failure into *errbuf (when given) and, under the launch debug bit, into the log.
void report_failure(qstring *errbuf, const char *format, ...)
{
  va_list va;
  va_start(va, format);
  qstring text;
  vformat_to_string(&text, format, va);
  va_end(va);
  if ( (debug_flags & DEBUG_FLAG_LAUNCH) != 0 )
    log_printf("%s\n", text.c_str());
  if ( errbuf != nullptr )
    *errbuf = std::move(text);
}

void format_error(qstring *errbuf, const char *format, ...)
{
  if ( errbuf == nullptr )
    return;
  va_list va;
  va_start(va, format);
  vformat_to_string(errbuf, format, va);
  va_end(va);
}

// The caller's value of a field from the environment additions on, or the empty value when the caller's
// record is too short to hold it.
template <typename T>
T field_if_present(const process_launch_params_t *params, T process_launch_params_t::*field)
{
  const auto offset = size_t(reinterpret_cast<const char *>(&(params->*field)) - reinterpret_cast<const char *>(params));
  return params->size >= offset + sizeof(T) ? params->*field : T {};
}

} // namespace

process_startup_t::~process_startup_t()
{
  for ( int fd : opened )
    close(fd);
}

int apply_redirections(const qvector<redirection_t> &redirections, qstring *errbuf, process_startup_t *startup)
{
  int saved_fds[3];
  std::memcpy(saved_fds, startup->std_fds, sizeof(saved_fds));
  const bool saved_use = startup->use_std_handles;
  const size_t opened_before = startup->opened.size();
  const auto fail = [&] {
    while ( startup->opened.size() > opened_before )
    {
      close(startup->opened.back());
      startup->opened.pop_back();
    }
    std::memcpy(startup->std_fds, saved_fds, sizeof(saved_fds));
    startup->use_std_handles = saved_use;
    return -1;
  };

  int mask = 0;
  for ( size_t i = 0; i < redirections.size(); ++i )
  {
    const redirection_t &r = redirections[i];
    if ( r.channel < 0 || r.channel > 2 )
    {
      format_error(errbuf, "cannot redirect channel %d on windows", r.channel);
      return fail();
    }
    if ( i == 0 )
    {
      for ( int channel = 0; channel < 3; ++channel )
        startup->std_fds[channel] = channel;
    }
    const char *target = r.target.c_str();
    int fd;
    if ( (r.kind & REDIRECT_QUOTED) == 0 && target[0] == '&' && target[1] >= '0' && target[1] <= '9'
         && target[2] == '\0' )
    {
      const int source = target[1] - '0';
      if ( source > 2 )
      {
        format_error(errbuf, "cannot redirect to channel %d on windows", source);
        return fail();
      }
      fd = startup->std_fds[source];
    }
    else
    {
      int mode;
      if ( (r.kind & REDIRECT_INPUT) != 0 )
        mode = O_RDONLY;
      else if ( (r.kind & REDIRECT_APPEND) != 0 )
        mode = O_WRONLY | O_CREAT | O_APPEND;
      else
        mode = O_WRONLY | O_CREAT | O_TRUNC; // never leave older bytes behind the new output
      const native_path_t native(target);
      fd = native.ok() ? open(native.c_str(), mode | O_CLOEXEC | O_NOCTTY, 0666) : -1;
      if ( fd >= 0 && fd <= 2 )
      {
        // We lack a standard channel of our own: keep the file off its number, which stands for ours.
        const int raised = fcntl(fd, F_DUPFD_CLOEXEC, 3);
        const int saved = errno;
        close(fd);
        errno = saved;
        fd = raised;
      }
      if ( fd < 0 )
      {
        format_error(errbuf, "failed to redirect %d to %s: %s", r.channel, target, win_error_text(uint32_t(errno)));
        return fail();
      }
      startup->opened.push_back(fd);
    }
    startup->std_fds[r.channel] = fd;
    startup->use_std_handles = true;
    mask |= 1 << r.channel;
  }
  return mask;
}

qvector<qstring> build_environment_block(const char *additions, bool inherit)
{
  std::map<std::string, std::string> vars;
  if ( inherit )
  {
    critical_section_guard_t guard(core_process_lock());
    for ( char **entry = environ; *entry != nullptr; ++entry )
    {
      const char *eq = std::strchr(*entry, '=');
      if ( eq != nullptr )
        vars.emplace(std::string(*entry, size_t(eq - *entry)), std::string(eq + 1)); // the first of duplicates, as getenv
    }
  }
  for ( const char *addition = additions; addition != nullptr && *addition != '\0';
        addition += std::strlen(addition) + 1 )
  {
    const char *eq = std::strchr(addition, '=');
    if ( eq == nullptr || eq == addition )
      continue;
    std::string name(addition, size_t(eq - addition));
    if ( eq[1] == '\0' )
      vars.erase(name);
    else
      vars[std::move(name)] = eq + 1;
  }
  qvector<qstring> block;
  block.reserve(vars.size());
  for ( const auto &[name, value] : vars )
  {
    qstring entry(name);
    entry += '=';
    entry.append(value);
    block.push_back(std::move(entry));
  }
  return block;
}

namespace {

// The child's argument vector from the found program and the arguments text (see spawn_process), and the
// redirections taken out of that text.
void launch_arguments(qvector<qstring> *args, qvector<redirection_t> *redirections, const char *found,
                      const char *arguments, uint32_t flags)
{
  if ( (flags & LAUNCH_SHELL) != 0 )
  {
    args->push_back(qstring(found));
    if ( arguments[0] != '\0' )
    {
      args->push_back(qstring(SHELL_COMMAND_SWITCH));
      args->push_back(qstring(arguments));
    }
  }
  else if ( (flags & LAUNCH_WHOLE_COMMAND_LINE) != 0 )
  {
    split_command_line(args, redirections, arguments, SPLIT_RAW_FIRST);
  }
  else
  {
    split_command_line(args, redirections, arguments, 0);
    args->insert(0, qstring(found));
  }
}

// The native forms of the found program and of the start directory (empty when none is given). The child
// may start elsewhere: a relative program path is resolved here, as we found it. False with errno set when
// either cannot be told.
bool native_exec_paths(std::string *exec_path, std::string *exec_directory, const char *found,
                       const char *directory)
{
  const native_path_t native_found(found);
  *exec_path = native_found.c_str();
  if ( !native_found.ok() )
    return false;
  if ( directory == nullptr || directory[0] == '\0' )
    return true;
  if ( (*exec_path)[0] != '/' )
  {
    char cwd[PATH_MAX];
    current_directory(cwd, PATH_MAX);
    *exec_path = std::string(cwd) + "/" + *exec_path;
    if ( exec_path->size() >= PATH_MAX )
    {
      errno = ENAMETOOLONG;
      return false;
    }
  }
  const native_path_t native_directory(directory);
  *exec_directory = native_directory.c_str();
  return native_directory.ok();
}

} // namespace

os_handle_t *spawn_process(const process_launch_params_t *params, qstring *errbuf)
{
  const char *program = params->program != nullptr ? params->program : "";
  const char *arguments = params->arguments != nullptr ? params->arguments : "";
  const uint32_t flags = params->flags;
  const char *additions = field_if_present(params, &process_launch_params_t::environment);
  const char *directory = field_if_present(params, &process_launch_params_t::start_directory);
  process_information_t *info = field_if_present(params, &process_launch_params_t::process_info);
  if ( (debug_flags & DEBUG_FLAG_LAUNCH) != 0 )
    log_printf("Launching process %s, with args %s\n", program, arguments);

  const bool shell = (flags & LAUNCH_SHELL) != 0;
  const char *wanted = shell ? SHELL_PATH : program;
  char found[PATH_MAX];
  if ( !find_program(found, wanted, (flags & LAUNCH_DEBUG) != 0) )
  {
    report_failure(errbuf, "Unable to launch process %s,file does not exist", wanted);
    return nullptr;
  }

  qvector<qstring> args;
  qvector<redirection_t> redirections;
  launch_arguments(&args, &redirections, found, arguments, flags);

  process_startup_t startup;
  const int given[3] = {params->std_input, params->std_output, params->std_error};
  if ( given[0] >= 0 || given[1] >= 0 || given[2] >= 0 )
  {
    for ( int channel = 0; channel < 3; ++channel )
      startup.std_fds[channel] = given[channel] >= 0 ? given[channel] : channel;
    startup.use_std_handles = true;
  }
  if ( !redirections.empty() && apply_redirections(redirections, errbuf, &startup) < 0 )
  {
    if ( (debug_flags & DEBUG_FLAG_LAUNCH) != 0 )
      log_printf("Unable to launch process, redirection error %s",
                 errbuf != nullptr ? errbuf->c_str() : "Unknown redirection error.\n");
    return nullptr;
  }

  qvector<qstring> environment;
  if ( additions != nullptr )
    environment = build_environment_block(additions, (flags & LAUNCH_NO_INHERIT_ENV) == 0);
  else
    environment = build_environment_block(nullptr, true); // a stable copy, read under the core's lock

  std::vector<const char *> argv, envp;
  for ( const qstring &arg : args )
    argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  for ( const qstring &entry : environment )
    envp.push_back(entry.c_str());
  envp.push_back(nullptr);

  std::string exec_path;
  std::string exec_directory;
  os_handle_t *handle = nullptr;
  uint32_t pid = 0;
  if ( native_exec_paths(&exec_path, &exec_directory, found, directory) )
  {
    process_spawn_request_t request;
    request.path = exec_path.c_str();
    request.argv = argv.data();
    request.envp = envp.data();
    request.directory = exec_directory.c_str();
    if ( startup.use_std_handles )
      std::memcpy(request.std_fds, startup.std_fds, sizeof(request.std_fds));
    request.new_session = (flags & LAUNCH_NEW_CONSOLE) != 0;
    request.traced = (flags & LAUNCH_DEBUG) != 0;
    handle = platform_process_spawn(request, &pid);
  }
  if ( handle == nullptr )
  {
    report_failure(errbuf, "%s: CreateProcess failed: %s", found, win_error_text(uint32_t(errno)));
    return nullptr;
  }
  if ( info != nullptr )
  {
    info->process_handle = handle;
    info->thread_handle = platform_process_watch(handle);
    info->process_id = pid;
    info->thread_id = pid;
  }
  return handle;
}

int wait_process(os_handle_t *handle, int32_t *exit_code, int64_t timeout_ms)
{
  if ( handle == nullptr )
  {
    if ( exit_code != nullptr )
      *exit_code = EBADF;
    return -1;
  }
  if ( !wait_for_handle(handle, timeout_ms < 0 ? -1 : timeout_ms) )
    return 1;
  int32_t code = 0;
  if ( platform_process_exit_code(handle, &code) )
  {
    if ( exit_code != nullptr )
      *exit_code = code;
    close_os_handle(handle);
    return 0;
  }
  if ( errno == EBADF )
  {
    if ( exit_code != nullptr )
      *exit_code = -9;
    return 0;
  }
  if ( exit_code != nullptr )
    *exit_code = errno;
  return -1;
}

// Child programs: fork and exec with a merged environment, exit codes with a time limit.
#include "tests/client/child_program.h"

#include "tests/support/file_contents.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

extern char **environ;

namespace fs = std::filesystem;

child_program_t::child_program_t(const fs::path &program, const std::vector<std::string> &args,
                                 const std::map<std::string, std::string> &env, const fs::path &cwd)
  : output_path_(cwd / "output.txt")
{
  std::vector<std::string> argv_texts {program.string()};
  argv_texts.insert(argv_texts.end(), args.begin(), args.end());
  std::map<std::string, std::string> all;
  for ( char **entry = environ; *entry != nullptr; ++entry )
  {
    const std::string text(*entry);
    const size_t eq = text.find('=');
    if ( eq != std::string::npos )
      all.emplace(text.substr(0, eq), text.substr(eq + 1));
  }
  for ( const auto &[name, value] : env )
    all[name] = value;
  std::vector<std::string> env_texts;
  for ( const auto &[name, value] : all )
    env_texts.push_back(name + "=" + value);
  std::vector<char *> argv;
  for ( std::string &text : argv_texts )
    argv.push_back(text.data());
  argv.push_back(nullptr);
  std::vector<char *> envp;
  for ( std::string &text : env_texts )
    envp.push_back(text.data());
  envp.push_back(nullptr);
  const int err = open(output_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const std::string dir = cwd.string();
  pid_ = fork();
  if ( pid_ == 0 )
  {
    if ( chdir(dir.c_str()) != 0 || err < 0 || dup2(err, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0 )
      _exit(127);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  if ( err >= 0 )
    close(err);
}

child_program_t::~child_program_t()
{
  if ( pid_ > 0 && !ended_ )
  {
    kill(pid_, SIGKILL);
    (void)waitpid(pid_, nullptr, 0);
  }
}

bool child_program_t::running()
{
  if ( ended_ || pid_ <= 0 )
    return false;
  if ( waitpid(pid_, &status_, WNOHANG) == pid_ )
    ended_ = true;
  return !ended_;
}

int child_program_t::wait_exit(std::chrono::milliseconds limit)
{
  using namespace std::chrono_literals;
  const auto end = std::chrono::steady_clock::now() + limit;
  while ( running() )
  {
    if ( std::chrono::steady_clock::now() >= end )
      return -1;
    std::this_thread::sleep_for(10ms);
  }
  return ended_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

std::string child_program_t::output() const
{
  return read_file(output_path_);
}

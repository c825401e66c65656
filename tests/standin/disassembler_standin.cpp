// The disassembler's stand-in in tests: records its command line and leaves behind what a database diff or
// merge leaves, or fails the way a test asks it to.
//
// It is built twice, as "zuk" and "zuk64", beside the test executables, which are the installation
// directory the command templates launch from.
//
// Command line: -A, -O<options>, -MB<base>, -MR<remote>, -MTL<title>, -MTR<title>, and the database last.
// The options of a diff or merge are "merge" followed by ':'-separated settings: "policy=diff|postpone|
// local|remote", "delete_local=on", "delete_remote=on", "save", "batch=on|off".
// - A diff (policy=diff) deletes the database when delete_local is on and the remote copy when
//   delete_remote is on: the copies are the disassembler's to remove.
// - A merge (any other policy) merges whole contents into the database in place: "local" keeps the
//   database, "remote" takes the remote copy, "postpone" takes whichever side changed against the base and
//   leaves a conflict when both changed differently. When no conflict remains it writes the completion
//   marker, the database path with the extension "zdb_ok".
// - Without a database it does nothing.
// Environment:
//   ZUK_STANDIN_RECORD  a file to which every run appends its program's file name and argument count on
//                       one line, then each argument on a line of its own
//   ZUK_STANDIN_EXIT    exit with this code right after recording, doing nothing else
//   ZUK_STANDIN_HOLD    wait until this file exists (or its folder is gone) before the work
//   ZUK_STANDIN_UNPACK  leave the unpacked component files of every database it opened beside it
// Exit code 0, or 2 when a file it needs cannot be read or written.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct command_t
{
  std::string options;
  std::string base;
  std::string remote;
  std::string database;
};

const char *const component_extensions[] = {"zd0", "$$$", "zd1", "nam", "seg", "til", "zd2"};

void record(const char *program, int argc, char **argv)
{
  const char *file = std::getenv("ZUK_STANDIN_RECORD");
  if ( file == nullptr )
    return;
  const char *slash = std::strrchr(program, '/');
  std::string text = std::string(slash != nullptr ? slash + 1 : program) + " " + std::to_string(argc - 1) + "\n";
  for ( int i = 1; i < argc; ++i )
    text += std::string(argv[i]) + "\n";
  // One write of the whole entry, so that runs at the same time never interleave.
  const int fd = open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if ( fd < 0 )
    return;
  if ( write(fd, text.data(), text.size()) != ssize_t(text.size()) )
    std::perror(file);
  close(fd);
}

void hold()
{
  const char *file = std::getenv("ZUK_STANDIN_HOLD");
  if ( file == nullptr )
    return;
  const std::string path(file);
  const std::string folder = path.substr(0, path.find_last_of('/') + 1) + ".";
  while ( access(file, F_OK) != 0 && access(folder.c_str(), F_OK) == 0 )
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

command_t parse(int argc, char **argv)
{
  command_t command;
  for ( int i = 1; i < argc; ++i )
  {
    const std::string arg = argv[i];
    if ( arg.rfind("-O", 0) == 0 )
      command.options = arg.substr(2);
    else if ( arg.rfind("-MB", 0) == 0 )
      command.base = arg.substr(3);
    else if ( arg.rfind("-MR", 0) == 0 )
      command.remote = arg.substr(3);
    else if ( arg.rfind("-MTL", 0) == 0 || arg.rfind("-MTR", 0) == 0 || arg == "-A" )
      continue;
    else
      command.database = arg;
  }
  return command;
}

bool has_setting(const std::string &options, const std::string &setting)
{
  std::stringstream in(options);
  for ( std::string item; std::getline(in, item, ':'); )
    if ( item == setting )
      return true;
  return false;
}

std::string policy_of(const std::string &options)
{
  std::stringstream in(options);
  for ( std::string item; std::getline(in, item, ':'); )
    if ( item.rfind("policy=", 0) == 0 )
      return item.substr(7);
  return "";
}

std::optional<std::string> read_file(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  if ( !in )
    return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool write_file(const std::string &path, const std::string &content)
{
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  return bool(out.flush());
}

// The path with the extension of its file name replaced (added when it has none).
std::string with_extension(const std::string &path, const char *ext)
{
  const size_t slash = path.rfind('/');
  const size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  const bool has_ext = dot != std::string::npos && dot > name_start; // a leading '.' starts a name
  return (has_ext ? path.substr(0, dot) : path) + "." + ext;
}

void unpack(const std::string &database)
{
  if ( std::getenv("ZUK_STANDIN_UNPACK") == nullptr || database.empty() )
    return;
  for ( const char *ext : component_extensions )
    write_file(with_extension(database, ext), "component\n");
}

int run_diff(const command_t &command)
{
  unpack(command.database);
  unpack(command.remote);
  if ( has_setting(command.options, "delete_local=on") )
    std::remove(command.database.c_str());
  if ( has_setting(command.options, "delete_remote=on") )
    std::remove(command.remote.c_str());
  return 0;
}

int run_merge(const command_t &command, const std::string &policy)
{
  const std::optional<std::string> local = read_file(command.database);
  const std::optional<std::string> base = read_file(command.base);
  const std::optional<std::string> remote = read_file(command.remote);
  if ( !local || !base || !remote )
  {
    std::fprintf(stderr, "zuk: cannot read the databases to merge\n");
    return 2;
  }
  unpack(command.database);
  unpack(command.base);
  unpack(command.remote);

  std::optional<std::string> merged;
  if ( policy == "local" )
    merged = *local;
  else if ( policy == "remote" )
    merged = *remote;
  else if ( *local == *base || *local == *remote )
    merged = *remote;
  else if ( *remote == *base )
    merged = *local;
  if ( !merged )
    return 0; // a conflict stays: the database is left as it was and no marker says the merge is done
  if ( !write_file(command.database, *merged) || !write_file(with_extension(command.database, "zdb_ok"), "") )
  {
    std::fprintf(stderr, "zuk: cannot write the merged database\n");
    return 2;
  }
  return 0;
}

} // namespace

int main(int argc, char **argv)
{
  record(argv[0], argc, argv);
  if ( const char *code = std::getenv("ZUK_STANDIN_EXIT") )
    return std::atoi(code);
  hold();
  const command_t command = parse(argc, argv);
  if ( command.database.empty() )
    return 0;
  const std::string policy = policy_of(command.options);
  return policy == "diff" ? run_diff(command) : run_merge(command, policy);
}

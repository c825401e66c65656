// Sync and commit of a whole work directory over TLS against the test server, beside `rsync -a` of the same
// tree between two local folders; both are durable at the end (the client's own batch ends, `sync -f` after
// rsync).
#include "repo/arkive_connection.h"
#include "repo/connection_factory.h"
#include "tests/server/arkive_test_server.h"

#include "bench/bench_runner.h"
#include "bench/pseudo_random.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int folders = 100;
constexpr int files_per_folder = 100;
constexpr size_t small_size = 4096;
constexpr size_t large_size = size_t(256) << 20;

// A scratch folder for the whole run, removed at the end.
struct scratch_t
{
  scratch_t()
  {
    std::string pattern = (fs::temp_directory_path() / "akui-bench-sync-XXXXXX").string();
    if ( mkdtemp(pattern.data()) == nullptr )
      std::abort();
    path = fs::canonical(pattern).string();
  }
  ~scratch_t() { fs::remove_all(path); }
  std::string path;
};

std::string content_of(uint64_t seed, size_t size)
{
  pseudo_random_t random(seed * 0x9E3779B97F4A7C15ull + 1);
  std::string text(size, '\0');
  for ( char &c : text )
    c = char('a' + random.next() % 26);
  return text;
}

std::string tree_path(int folder, int file)
{
  return "d" + std::to_string(folder) + "/f" + std::to_string(file) + ".txt";
}

void write_text(const std::string &path, const std::string &content)
{
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

int run(const std::string &command)
{
  return std::system(command.c_str());
}

// The server, with user alice and one site per benchmark tree, each site's root below the scratch folder.
struct bench_server_t
{
  bench_server_t()
  {
    server.repository().add_user("alice", "secret", true);
    std::vector<std::pair<std::string, std::string>> files;
    for ( int d = 0; d < folders; ++d )
      for ( int f = 0; f < files_per_folder; ++f )
        files.emplace_back("//small/" + tree_path(d, f), content_of(uint64_t(d * files_per_folder + f), small_size));
    server.repository().add_site("small", "alice", scratch.path + "/small", "bench");
    server.repository().commit_files("alice", "small", "small files", files);
    server.repository().add_site("large", "alice", scratch.path + "/large", "bench");
    server.repository().commit_files("alice", "large", "one large file",
                                     {{"//large/big.bin", content_of(7, large_size)}});
    std::string error;
    if ( !server.start(&error) || server.tls_port() == 0 )
    {
      std::fprintf(stderr, "cannot start the test server: %s\n", error.c_str());
      std::exit(1);
    }
  }

  // A TLS connection of alice using the site; null when it fails.
  std::unique_ptr<rpc_arkive_connection_t> connect(const char *site)
  {
    socket_stream_t *stream = make_socket_stream(true);
    connect_params_t params;
    params.server.host = "127.0.0.1";
    params.server.port = server.tls_port();
    if ( !stream->open(params) )
    {
      destroy_socket_stream(stream, -1);
      return nullptr;
    }
    auto connection = std::make_unique<rpc_arkive_connection_t>(stream);
    if ( !connection->login(nullptr, "alice", "secret", "bench") || connection->use_site(nullptr, site, "") != 0 )
      return nullptr;
    return connection;
  }

  scratch_t scratch;
  arkive_test_server_t server;
};

bench_server_t &bench_server()
{
  static bench_server_t *server = new bench_server_t;
  return *server;
}

qvector<qstring> patterns(const char *pattern)
{
  qvector<qstring> out;
  out.push_back(pattern);
  return out;
}

// Syncs a site's whole tree into its emptied work directory each iteration.
void sync_site(benchmark::State &state, const char *site, size_t bytes)
{
  bench_server_t &server = bench_server();
  auto connection = server.connect(site);
  if ( connection == nullptr )
  {
    state.SkipWithError("cannot connect");
    return;
  }
  const std::string root = server.scratch.path + "/" + site;
  const std::string pattern = std::string("//") + site + "/...";
  for ( auto _ : state )
  {
    state.PauseTiming();
    fs::remove_all(root);
    fs::create_directories(root);
    run("sync -f " + root);
    state.ResumeTiming();
    qvector<server_message_t> messages;
    if ( connection->sync_files(&messages, patterns(pattern.c_str()), -1, 4) != 0 )
    {
      state.SkipWithError("sync failed");
      break;
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void sync_small_files(benchmark::State &state)
{
  sync_site(state, "small", size_t(folders * files_per_folder) * small_size);
}

void sync_large_file(benchmark::State &state)
{
  sync_site(state, "large", large_size);
}

// The same trees copied by rsync into an emptied folder, then made durable.
struct rsync_tree_t
{
  explicit rsync_tree_t(bool large)
  {
    const std::string &base = bench_server().scratch.path;
    source = base + (large ? "/rsync-large-src" : "/rsync-small-src");
    target = base + (large ? "/rsync-large-dst" : "/rsync-small-dst");
    if ( fs::exists(source) )
      return;
    if ( large )
      write_text(source + "/big.bin", content_of(7, large_size));
    else
      for ( int d = 0; d < folders; ++d )
        for ( int f = 0; f < files_per_folder; ++f )
          write_text(source + "/" + tree_path(d, f), content_of(uint64_t(d * files_per_folder + f), small_size));
  }
  std::string source;
  std::string target;
};

void rsync_copy(benchmark::State &state, bool large, size_t bytes)
{
  const rsync_tree_t tree(large);
  for ( auto _ : state )
  {
    state.PauseTiming();
    fs::remove_all(tree.target);
    run("sync -f " + tree.source);
    state.ResumeTiming();
    if ( run("rsync -a " + tree.source + "/ " + tree.target + "/ && sync -f " + tree.target) != 0 )
    {
      state.SkipWithError("rsync failed");
      break;
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void rsync_small_files(benchmark::State &state)
{
  rsync_copy(state, false, size_t(folders * files_per_folder) * small_size);
}

void rsync_large_file(benchmark::State &state)
{
  rsync_copy(state, true, large_size);
}

// Opens every file of the small site for edit, changes each one, and commits them all; only the commit is
// timed.
void commit_small_files(benchmark::State &state)
{
  bench_server_t &server = bench_server();
  auto connection = server.connect("small");
  if ( connection == nullptr )
  {
    state.SkipWithError("cannot connect");
    return;
  }
  const std::string root = server.scratch.path + "/small";
  qvector<server_message_t> messages;
  if ( connection->sync_files(&messages, patterns("//small/..."), -1, 0) != 0 )
  {
    state.SkipWithError("sync failed");
    return;
  }
  qvector<qstring> server_paths;
  for ( int d = 0; d < folders; ++d )
    for ( int f = 0; f < files_per_folder; ++f )
      server_paths.push_back(("//small/" + tree_path(d, f)).c_str());
  uint64_t round = 0;
  for ( auto _ : state )
  {
    state.PauseTiming();
    ++round;
    messages.clear();
    if ( connection->edit_files(&messages, server_paths, 1) != 0 )
    {
      state.SkipWithError("edit failed");
      break;
    }
    for ( int d = 0; d < folders; ++d )
      for ( int f = 0; f < files_per_folder; ++f )
        write_text(root + "/small/" + tree_path(d, f), content_of(round * 1000003 + uint64_t(d * files_per_folder + f), small_size));
    run("sync -f " + root);
    state.ResumeTiming();
    int32_t commit = 0;
    messages.clear();
    if ( connection->commit_worklist(&messages, &commit, "bench round", 1, 0) != 0 )
    {
      state.SkipWithError("commit failed");
      break;
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(folders * files_per_folder) * int64_t(small_size));
}

// Every file of the rsync source changed, then copied over the earlier copy and made durable.
void rsync_changed_files(benchmark::State &state)
{
  const rsync_tree_t tree(false);
  run("rsync -a " + tree.source + "/ " + tree.target + "/");
  uint64_t round = 0;
  for ( auto _ : state )
  {
    state.PauseTiming();
    ++round;
    for ( int d = 0; d < folders; ++d )
      for ( int f = 0; f < files_per_folder; ++f )
        write_text(tree.source + "/" + tree_path(d, f),
                   content_of(round * 1000003 + uint64_t(d * files_per_folder + f), small_size));
    run("sync -f " + tree.source);
    state.ResumeTiming();
    if ( run("rsync -a " + tree.source + "/ " + tree.target + "/ && sync -f " + tree.target) != 0 )
    {
      state.SkipWithError("rsync failed");
      break;
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(folders * files_per_folder) * int64_t(small_size));
}

BENCHMARK(sync_small_files)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(rsync_small_files)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(commit_small_files)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(rsync_changed_files)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(sync_large_file)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(rsync_large_file)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
  return bench_runner_t(argc, argv).run({{"sync_small_files", "rsync_small_files"},
                                         {"commit_small_files", "rsync_changed_files"},
                                         {"sync_large_file", "rsync_large_file"}});
}

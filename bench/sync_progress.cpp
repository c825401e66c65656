// A sync of one 256 MiB file over TLS from the test server with the progress display shown in the wait box
// (offscreen), renewed and polled for cancellation at every chunk the server writes, beside the same sync
// reporting to a progressor that does nothing. Goal: the shown display keeps at least 0.9 times the quiet
// sync's throughput (sync_with_progress_display / sync_quiet at most 1.11 in time). The work directory lies in
// memory (/dev/shm when there is one) and the two run interleaved, repeated: the disk's write-back and other
// programs on the machine weigh on both alike instead of on whichever ran second.
#include "bench/bench_runner.h"
#include "bench/gui_bench_app.h"
#include "bench/pseudo_random.h"
#include "client/app/progress_display.h"
#include "repo/abstract_fs.h"
#include "repo/arkive_connection.h"
#include "tests/server/arkive_test_server.h"
#include "tests/ui/app/test_app.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr uint64_t file_size = uint64_t(256) << 20;
const char server_path[] = "//big/data.bin";

// The server with alice's site "big", whose work directory is a private folder removed at the end, and
// alice's connection to it. The sinks sit on the login's file system, as in the client.
class bench_site_t
{
public:
  bench_site_t()
  {
    const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "akui-bench-progress-XXXXXX").string();
    if ( mkdtemp(pattern.data()) == nullptr )
      fail("no scratch folder");
    scratch_ = pattern;
    root_ = scratch_ + "/big";
    pseudo_random_t random(11);
    std::string content(file_size, '\0');
    for ( char &c : content )
      c = char('a' + random.next() % 26);
    server_.repository().add_user("alice", "secret", true);
    server_.repository().add_site("big", "alice", root_, "bench");
    server_.repository().commit_files("alice", "big", "one large file", {{server_path, std::move(content)}});
    std::string error;
    if ( !server_.start(&error) || server_.tls_port() == 0 )
      fail(error.c_str());

    login_fs_ = get_file_system((scratch_ + "/login").c_str(), nullptr, FS_CREATE_WITH_CACHE);
    socket_stream_t *stream = make_socket_stream(true);
    connect_params_t params;
    params.server.host = "127.0.0.1";
    params.server.port = server_.tls_port();
    if ( !stream->open(params) )
      fail(stream->error_text());
    connection_ = std::make_unique<rpc_arkive_connection_t>(stream);
    connection_->set_file_system(login_fs_);
    if ( !connection_->login(nullptr, "alice", "secret", "bench") || connection_->use_site(nullptr, "big", "") != 0 )
      fail("cannot log in");
  }
  ~bench_site_t()
  {
    connection_.reset();
    server_.stop();
    fs::remove_all(scratch_);
  }

  // Installs the progressor (owned by the file system from now on).
  void report_to(arkive_progressor_t *progressor) { login_fs_->set_reporters(nullptr, progressor); }

  // Fetches the file again into the emptied work directory; false when the sync fails.
  bool sync()
  {
    qvector<qstring> patterns;
    patterns.push_back(server_path);
    qvector<server_message_t> messages;
    return connection_->sync_files(&messages, patterns, -1, 4) == 0;
  }

  void empty_work_directory()
  {
    fs::remove_all(root_);
    fs::create_directories(root_);
  }

private:
  [[noreturn]] static void fail(const char *why)
  {
    std::fprintf(stderr, "sync_progress: %s\n", why);
    std::exit(1);
  }

  std::string scratch_;
  std::string root_;
  arkive_test_server_t server_;
  abstract_fs_t *login_fs_ = nullptr;
  std::unique_ptr<rpc_arkive_connection_t> connection_;
};

bench_site_t &site()
{
  static bench_site_t *const instance = new bench_site_t;
  return *instance;
}

// shown: the client's display, told of the download before it starts (the announcement a server sends),
// else a progressor that does nothing.
void sync_large_file(benchmark::State &state, bool shown)
{
  akui_progressor_t *display = shown ? new akui_progressor_t : nullptr;
  site().report_to(display != nullptr ? static_cast<arkive_progressor_t *>(display) : new arkive_progressor_t);
  for ( auto _ : state )
  {
    state.PauseTiming();
    site().empty_work_directory();
    state.ResumeTiming();
    if ( display != nullptr )
    {
      (void)display->progress(progress_bytes_first, file_size);
      if ( !display->shown() )
      {
        state.SkipWithError("the display did not open");
        break;
      }
    }
    if ( !site().sync() )
    {
      state.SkipWithError("sync failed");
      break;
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file_size));
}

void sync_quiet(benchmark::State &state)
{
  sync_large_file(state, false);
}

void sync_with_progress_display(benchmark::State &state)
{
  sync_large_file(state, true);
}

} // namespace

int main(int argc, char **argv)
{
  bench_runner_t runner(argc, argv, {"--benchmark_repetitions=5", "--benchmark_enable_random_interleaving=true"});
  if ( !runner.ok() )
    return 1;
  default_to_offscreen_platform();
  test_app_t app(argc, argv);
  app.create_app_wait_dialog();
  (void)site();
  benchmark::RegisterBenchmark("sync_quiet", sync_quiet)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
  benchmark::RegisterBenchmark("sync_with_progress_display", sync_with_progress_display)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->UseRealTime();
  const int status = runner.run({{"sync_with_progress_display", "sync_quiet"}});
  std::printf("goal: sync_with_progress_display / sync_quiet at most 1.11 (0.9 times the throughput)\n");
  delete &site();
  return status;
}

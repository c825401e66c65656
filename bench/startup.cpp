// Start-up to the first shown window: akui, and a minimal Qt Widgets program showing a QMainWindow (this program
// started again with --anchor-window). Each iteration starts the process with private settings, waits for the X
// server to map its first top-level window, and kills it; only that span is timed.
#include "bench/bench_runner.h"

#include <QApplication>
#include <QMainWindow>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

// Xlib's macros clash with Qt's names: it comes after every Qt header.
#include <X11/Xlib.h>

extern char **environ;

namespace {

namespace fs = std::filesystem;

constexpr char anchor_flag[] = "--anchor-window";
constexpr int window_width = 1280;
constexpr int window_height = 800;
constexpr int map_wait_ms = 30000;

fs::path own_directory()
{
  return fs::read_symlink("/proc/self/exe").parent_path();
}

// The anchor: what any Qt Widgets program does before its main window shows.
int show_anchor_window(int argc, char **argv)
{
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("anchor"));
  window.resize(window_width, window_height);
  window.show();
  return app.exec();
}

// Starts the program, waits until the display maps its first top-level window and answers the seconds that took;
// negative when the program could not start or showed nothing in time. The program is killed either way.
double time_to_first_window(Display *display, const std::vector<std::string> &argv_texts, const fs::path &home)
{
  Window root = DefaultRootWindow(display);
  XSelectInput(display, root, SubstructureNotifyMask);
  XSync(display, True); // events of earlier runs are dropped

  std::vector<std::string> env_texts {"HOME=" + home.string(), "XDG_CONFIG_HOME=" + (home / "config").string(),
                                      "XDG_RUNTIME_DIR=" + (home / "runtime").string(), "TMPDIR=" + home.string()};
  for ( char **entry = environ; *entry != nullptr; ++entry )
  {
    const std::string text(*entry);
    if ( !text.starts_with("HOME=") && !text.starts_with("XDG_") && !text.starts_with("TMPDIR=")
      && !text.starts_with("ARKIVE_") )
      env_texts.push_back(text);
  }
  std::vector<char *> argv;
  for ( const std::string &text : argv_texts )
    argv.push_back(const_cast<char *>(text.c_str()));
  argv.push_back(nullptr);
  std::vector<char *> envp;
  for ( const std::string &text : env_texts )
    envp.push_back(const_cast<char *>(text.c_str()));
  envp.push_back(nullptr);

  // What the program says goes nowhere: the table stays readable.
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&quiet);
  if ( spawned != 0 )
    return -1;
  double seconds = -1;
  const int fd = ConnectionNumber(display);
  while ( seconds < 0 )
  {
    if ( XPending(display) == 0 )
    {
      fd_set set;
      FD_ZERO(&set);
      FD_SET(fd, &set);
      timeval wait {map_wait_ms / 1000, 0};
      if ( select(fd + 1, &set, nullptr, nullptr, &wait) <= 0 )
        break;
      continue;
    }
    XEvent event;
    XNextEvent(display, &event);
    if ( event.type == MapNotify && !event.xmap.override_redirect )
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  kill(pid, SIGKILL);
  (void)waitpid(pid, nullptr, 0);
  XSelectInput(display, root, NoEventMask);
  return seconds;
}

void run_startup(benchmark::State &state, const std::vector<std::string> &argv_texts)
{
  Display *display = XOpenDisplay(nullptr);
  if ( display == nullptr )
  {
    state.SkipWithError("no X display: run it on one, e.g. tests/support/with_xvfb");
    return;
  }
  char pattern[] = "/tmp/akui-startup-XXXXXX";
  if ( mkdtemp(pattern) == nullptr )
  {
    XCloseDisplay(display);
    state.SkipWithError("no private folder");
    return;
  }
  const fs::path home(pattern);
  for ( auto _ : state )
  {
    // Each start is a first start: no settings left by the one before.
    fs::remove_all(home / "config");
    fs::create_directories(home / "config");
    fs::create_directories(home / "runtime");
    fs::permissions(home / "runtime", fs::perms::owner_all);
    const double seconds = time_to_first_window(display, argv_texts, home);
    if ( seconds < 0 )
    {
      state.SkipWithError("the program showed no window");
      break;
    }
    state.SetIterationTime(seconds);
  }
  fs::remove_all(home);
  XCloseDisplay(display);
}

void bm_akui_startup(benchmark::State &state)
{
  run_startup(state, {(own_directory() / "akui").string()});
}

void bm_qt_main_window_startup(benchmark::State &state)
{
  run_startup(state, {(own_directory() / "bench_startup").string(), anchor_flag});
}

} // namespace

BENCHMARK(bm_akui_startup)->Iterations(20)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(bm_qt_main_window_startup)->Iterations(20)->Unit(benchmark::kMillisecond)->UseManualTime();

int main(int argc, char **argv)
{
  if ( argc == 2 && std::string(argv[1]) == anchor_flag )
    return show_anchor_window(argc, argv);
  return bench_runner_t(argc, argv).run({{"bm_akui_startup", "bm_qt_main_window_startup"}});
}

// The file trees against the test server: Local files showing a folder of 10,000 files (listing, rows described
// with their server states from a cached listing, icons) beside a QTreeView over a QFileSystemModel showing the
// same folder until all its rows are fetched; and checkout for edit of 10,000 files selected in the Arkive files
// tree (collection, request, the reply's messages logged) beside the bare edit_files request of the same paths.
#include "client/app/akui_app.h"
#include "client/app/akui_logger.h"
#include "client/app/startup.h"
#include "client/app/ui_dispatcher.h"
#include "client/commands/checkout_commands.h"
#include "client/views/arkive_files_view.h"
#include "client/views/arkive_listing_cache.h"
#include "client/views/local_files_view.h"
#include "core/registry.h"
#include "repo/arkive_connection.h"
#include "tests/server/arkive_test_server.h"
#include "tests/server/seed_file.h"
#include "ui/action_context.h"
#include "ui/log_widget.h"
#include "views/dirtree/directory_tree.h"

#include "bench/bench_runner.h"
#include "bench/gui_bench_app.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFileSystemModel>
#include <QTreeView>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int file_count = 10000;

std::string work_root;
arkive_test_server_t *server = nullptr;
qvector<qstring> big_paths; // the server paths of the folder's files

std::string file_name(int i)
{
  char name[32];
  std::snprintf(name, sizeof(name), "f%05d.txt", i);
  return name;
}

// The server with site ws holding 10,000 files of //big at revision 1, and the work directory holding them.
bool start_server()
{
  server = new arkive_test_server_t;
  std::string error;
  if ( !load_seed_text(server->repository(),
                       "user alice secret admin\nsite ws alice " + work_root + " alice-pc\n", &error) )
  {
    std::fprintf(stderr, "seed: %s\n", error.c_str());
    return false;
  }
  std::vector<std::pair<std::string, std::string>> files;
  std::filesystem::create_directories(work_root + "/big");
  for ( int i = 0; i < file_count; ++i )
  {
    const std::string path = "//big/" + file_name(i);
    files.emplace_back(path, "content");
    big_paths.push_back(qstring(path.c_str()));
    std::ofstream(work_root + "/big/" + file_name(i)) << "content";
  }
  (void)server->repository().commit_files("alice", "ws", "import", files);
  if ( !server->start(&error) || server->tls_port() == 0 )
  {
    std::fprintf(stderr, "cannot start the test server: %s\n", error.c_str());
    return false;
  }
  return true;
}

std::unique_ptr<arkive_connection_t> connect_alice()
{
  socket_stream_t *stream = make_socket_stream(true);
  connect_params_t params;
  params.server.host = "127.0.0.1";
  params.server.port = server->tls_port();
  if ( !stream->open(params) )
  {
    destroy_socket_stream(stream, -1);
    return nullptr;
  }
  auto connection = std::make_unique<rpc_arkive_connection_t>(stream);
  if ( !connection->login(nullptr, "alice", "secret", "alice-pc") || connection->use_site(nullptr, "ws", "") != 0 )
    return nullptr;
  return connection;
}

// Reads every row's texts and icon, as a view that showed them all would.
template<class Model>
size_t read_rows(Model &model, const QModelIndex &parent)
{
  size_t read = 0;
  for ( int r = 0; r < model.rowCount(parent); ++r )
  {
    for ( int c = 0; c < 2; ++c )
      read += model.index(r, c, parent).data().toString().isEmpty() ? 0 : 1;
    read += model.index(r, 0, parent).data(Qt::DecorationRole).isNull() ? 0 : 1;
  }
  return read;
}

void local_files_view(benchmark::State &state)
{
  akui_app_t &app = *akui_app();
  // The server's listing is cached once: the rows are described from it.
  if ( !fetch_folder_listing(nullptr, "//big", true) )
  {
    state.SkipWithError("listing failed");
    return;
  }
  size_t rows = 0;
  for ( auto _ : state )
  {
    local_files_dirtree_widget_t tree;
    tree.resize(600, 800);
    if ( !tree.select_path("/big") )
    {
      state.SkipWithError("no folder");
      break;
    }
    tree.expand(tree.currentIndex());
    (void)tree.flush_model_update();
    rows = size_t(tree.model()->rowCount(tree.currentIndex()));
    benchmark::DoNotOptimize(read_rows(*tree.model(), tree.currentIndex()));
  }
  app.refresh_widgets(all_widget_kinds, false);
  state.counters["rows"] = double(rows);
}

void qfilesystemmodel_view(benchmark::State &state)
{
  const QString folder = QString::fromStdString(work_root + "/big");
  size_t rows = 0;
  for ( auto _ : state )
  {
    QFileSystemModel model;
    QTreeView view;
    view.resize(600, 800);
    view.setModel(&model);
    const QModelIndex index = model.setRootPath(folder);
    view.setRootIndex(index);
    while ( model.rowCount(index) < file_count || model.canFetchMore(index) )
    {
      if ( model.canFetchMore(index) )
        model.fetchMore(index);
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    rows = size_t(model.rowCount(index));
    benchmark::DoNotOptimize(read_rows(model, index));
  }
  state.counters["rows"] = double(rows);
}

// Reverts the 10,000 files between runs (not timed), through the client, which brings the files back.
bool revert_all()
{
  return akui_app()->facade.revert_files(big_paths, 0) == 0;
}

// Between runs (not timed) the interface is brought back to one state, as the next command of a user would find
// it: no refresh pending, the event loop had its turn, the Output window empty, and the last message far enough
// back that the next one starts a new run of messages instead of continuing the revert's.
void settle_interface()
{
  akui_app_t &app = *akui_app();
  app.refresh_widgets(all_widget_kinds, false);
  QCoreApplication::processEvents();
  if ( log_widget_t *log = app.log_widget() )
    log->clear_contents();
  QCoreApplication::processEvents();
  constexpr auto pause_between_commands = std::chrono::milliseconds(60);
  std::this_thread::sleep_for(pause_between_commands);
}

// Each side runs its operation once before the timed runs, so that neither pays one-time costs in them, and
// reverts after each run, so that every run finds the same server state.
template<class Operation>
void run_checkouts(benchmark::State &state, Operation operation)
{
  if ( !operation() || !revert_all() )
  {
    state.SkipWithError("warm-up failed");
    return;
  }
  settle_interface();
  for ( auto _ : state )
  {
    const bool done = operation();
    state.PauseTiming();
    if ( !done || !revert_all() )
    {
      state.SkipWithError("checkout or revert failed");
      state.ResumeTiming();
      break;
    }
    settle_interface();
    state.ResumeTiming();
  }
}

void checkout_from_arkive_tree(benchmark::State &state)
{
  auto tree = std::make_unique<arkive_files_dirtree_widget_t>();
  if ( !tree->select_path("/big") )
  {
    state.SkipWithError("no folder");
    return;
  }
  // Every file of the folder selected, as a click on the first and a shift-click on the last select them.
  const QModelIndex folder = tree->currentIndex();
  tree->expand(folder);
  (void)tree->flush_model_update();
  const int count = tree->model()->rowCount(folder);
  tree->selectionModel()->select(QItemSelection(tree->model()->index(0, 0, folder),
                                                tree->model()->index(count - 1, 0, folder)),
                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  ui_action_activation_ctx_t context;
  context.widget = tree.get();
  context.widget_kind = akui_kind_arkive_files;
  // Collection, request and the reply's messages logged, as the command runs them.
  run_checkouts(state, [&] {
    selected_files_t files;
    (void)tree->collect_files(&files, WANT_PATH, context);
    checkout_for_edit_action_t edit;
    (void)edit.perform(files);
    return files.size() == size_t(file_count);
  });
}

void bare_edit_files(benchmark::State &state)
{
  // The client's own connection, without the views, the collection or the logging.
  arkive_connection_t *connection = akui_app()->facade.connection();
  run_checkouts(state, [&] {
    qvector<server_message_t> messages;
    return connection->edit_files(&messages, big_paths, 1) == 0;
  });
}

} // namespace

int main(int argc, char **argv)
{
  bench_runner_t runner(argc, argv);
  if ( !runner.ok() )
    return 1;
  default_to_offscreen_platform();
  // The views keep their state in a registry of the run's own, and the work directory is the run's too.
  const std::string scratch = std::filesystem::temp_directory_path().string() + "/akui-bench-" + std::to_string(getpid());
  std::filesystem::create_directories(scratch + "/home");
  setenv("HOME", (scratch + "/home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (scratch + "/home/.config").c_str(), 1);
  work_root = scratch + "/ws";
  if ( !start_server() )
    return 1;
  install_ui_callback_dispatcher();
  (void)registry_select_app("akui");
  int status = 1;
  {
    akui_app_t app(argc, argv);
    akui_logger_t logger {qstring()};
    (void)prepare_application(app);
    app.register_resource_icons();
    app.set_connection(connect_alice());
    if ( !app.has_usable_connection() || app.facade.get_arkive_info(&app.server_info) != 0 )
    {
      std::fprintf(stderr, "cannot log in\n");
      return 1;
    }
    benchmark::RegisterBenchmark("local_files_view", local_files_view)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("qfilesystemmodel_view", qfilesystemmodel_view)->Unit(benchmark::kMillisecond);
    // Each run is followed by a revert that writes the 10,000 files back: a few runs only.
    constexpr int checkout_runs = 3;
    benchmark::RegisterBenchmark("checkout_from_arkive_tree", checkout_from_arkive_tree)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(checkout_runs);
    benchmark::RegisterBenchmark("bare_edit_files", bare_edit_files)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(checkout_runs);
    status = runner.run({{"local_files_view", "qfilesystemmodel_view"}, {"checkout_from_arkive_tree", "bare_edit_files"}});
    app.set_connection(nullptr);
    app.delete_wait_dialog();
  }
  std::filesystem::remove_all(scratch);
  return status;
}

// The repository facade against the test server: 53 without a usable connection, server messages in the log,
// change events with their arguments, the error reports and the discard question.
#include "client/app/arkive_with_events.h"

#include "core/error_state.h"
#include "repo/abstract_fs.h"
#include "repo/arkive_errors.h"
#include "repo/arkive_progressor.h"
#include "tests/repo/test_server_client.h"
#include "tests/support/recording_ui_callback.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <functional>
#include <string>
#include <vector>

namespace {

qvector<qstring> paths_of(std::initializer_list<const char *> paths)
{
  qvector<qstring> out;
  for ( const char *path : paths )
    out.push_back(path);
  return out;
}

// One notification as a listener saw it: the code, and for operation events the result and the first input
// (a text, or the first path of a list).
struct heard_event_t
{
  uint64_t code = 0;
  int result = 0;
  std::string first;
};

// Records every event; answers null so that later handlers run too.
class event_recorder_t : public event_handler_t
{
public:
  void *handle(uint64_t code, va_list va) override
  {
    heard_event_t event;
    event.code = code;
    switch ( code )
    {
      case arkive_event_site_switched:
        event.result = va_arg(va, int);
        event.first = va_arg(va, const site_info_t *)->name.c_str();
        break;
      case arkive_event_worklist_committed:
      case arkive_event_files_copied:
      case arkive_event_files_moved:
        event.result = va_arg(va, int);
        event.first = va_arg(va, const char *);
        break;
      case arkive_event_files_synced:
      case arkive_event_files_migrated:
      case arkive_event_files_added:
      case arkive_event_files_edited:
      case arkive_event_files_deleted:
      case arkive_event_files_reverted:
      case arkive_event_filters_set:
      {
        event.result = va_arg(va, int);
        const auto *paths = va_arg(va, const qvector<qstring> *);
        event.first = paths->empty() ? "" : (*paths)[0].c_str();
        break;
      }
      default:
        break;
    }
    events.push_back(event);
    return nullptr;
  }

  std::vector<heard_event_t> events;
};

// One forwarding operation and the event it raises (-1: none).
struct operation_case_t
{
  const char *name;
  std::function<int(arkive_with_events_t &)> call;
  int event;
};

std::vector<operation_case_t> forwarding_operations()
{
  const qvector<qstring> paths = paths_of({"//depot/a.txt"});
  const qvector<qstring> none;
  return {
    {"edit_user", [](arkive_with_events_t &f) { return f.edit_user(user_info_t(), 0); }, -1},
    {"delete_user", [](arkive_with_events_t &f) { return f.delete_user("bob", 0); }, -1},
    {"add_group", [](arkive_with_events_t &f) { return f.add_group("g"); }, -1},
    {"edit_group", [](arkive_with_events_t &f) { return f.edit_group("g", "t", 0); }, -1},
    {"delete_group", [](arkive_with_events_t &f) { return f.delete_group("g"); }, -1},
    {"set_permissions", [](arkive_with_events_t &f) { return f.set_permissions({}); }, -1},
    {"get_permissions", [](arkive_with_events_t &f) { return f.get_permissions(nullptr); }, -1},
    {"check_permissions", [](arkive_with_events_t &f) { return f.check_permissions("alice", "//depot"); }, -1},
    {"get_sessions", [](arkive_with_events_t &f) { return f.get_sessions(nullptr); }, -1},
    {"set_password", [](arkive_with_events_t &f) { return f.set_password("bob", "x"); }, -1},
    {"get_users", [](arkive_with_events_t &f) { return f.get_users(nullptr); }, -1},
    {"get_user", [](arkive_with_events_t &f) { return f.get_user(nullptr, "bob"); }, -1},
    {"get_groups", [](arkive_with_events_t &f) { return f.get_groups(nullptr); }, -1},
    {"get_group", [](arkive_with_events_t &f) { return f.get_group(nullptr, "devs"); }, -1},
    {"edit_site", [](arkive_with_events_t &f) { return f.edit_site(site_info_t(), 0); }, -1},
    {"delete_site", [](arkive_with_events_t &f) { return f.delete_site("ws", 0); }, -1},
    {"get_sites", [](arkive_with_events_t &f) { return f.get_sites(nullptr, "alice"); }, -1},
    {"get_site", [](arkive_with_events_t &f) { return f.get_site(nullptr, "ws"); }, -1},
    {"use_site", [](arkive_with_events_t &f) { return f.use_site(nullptr, "ws", nullptr); }, -1},
    {"set_site_filters", [paths](arkive_with_events_t &f) { return f.set_site_filters(paths, "ws"); },
     arkive_event_filters_set},
    {"get_site_filters", [](arkive_with_events_t &f) { return f.get_site_filters(nullptr, "ws"); }, -1},
    {"get_commits", [none](arkive_with_events_t &f) { return f.get_commits(nullptr, none, commit_filter_t(), -1); },
     -1},
    {"edit_commit", [](arkive_with_events_t &f) { return f.edit_commit(1, "d"); }, -1},
    {"get_commit_files", [](arkive_with_events_t &f) { return f.get_commit_files(nullptr, 1); }, -1},
    {"get_arkive_files", [paths](arkive_with_events_t &f) { return f.get_arkive_files(nullptr, paths, -2, 0); }, -1},
    {"open_submitted_file", [](arkive_with_events_t &f) { return f.open_submitted_file(nullptr, "//depot/a.txt", 1); },
     -1},
    {"add_worklist", [](arkive_with_events_t &f) { return f.add_worklist(nullptr, "d"); }, -1},
    {"delete_worklist", [](arkive_with_events_t &f) { return f.delete_worklist(2); }, -1},
    {"edit_worklist", [](arkive_with_events_t &f) { return f.edit_worklist(1, "d"); }, -1},
    {"commit_worklist", [](arkive_with_events_t &f) { return f.commit_worklist(nullptr, "d", 1, 0); },
     arkive_event_worklist_committed},
    {"migrate_files", [paths](arkive_with_events_t &f) { return f.migrate_files(paths, 1); },
     arkive_event_files_migrated},
    {"get_worklists", [](arkive_with_events_t &f) { return f.get_worklists(nullptr, "*", "*", -1); }, -1},
    {"get_worklist_files", [](arkive_with_events_t &f) { return f.get_worklist_files(nullptr, nullptr, nullptr, -1); },
     -1},
    {"add_files", [paths](arkive_with_events_t &f) { return f.add_files(nullptr, paths, 1); },
     arkive_event_files_added},
    {"edit_files", [paths](arkive_with_events_t &f) { return f.edit_files(paths, 1); }, arkive_event_files_edited},
    {"delete_files", [paths](arkive_with_events_t &f) { return f.delete_files(paths, 1); },
     arkive_event_files_deleted},
    {"copy_files", [](arkive_with_events_t &f) { return f.copy_files("//depot/a.txt", "//depot/c.txt", -1, 1); },
     arkive_event_files_copied},
    {"move_files", [](arkive_with_events_t &f) { return f.move_files("//depot/a.txt", "//depot/c.txt", 1); },
     arkive_event_files_moved},
    {"revert_files", [paths](arkive_with_events_t &f) { return f.revert_files(paths, 0); },
     arkive_event_files_reverted},
    {"resolve_file", [](arkive_with_events_t &f) { return f.resolve_file("//depot/a.txt"); }, -1},
    {"sync_files", [paths](arkive_with_events_t &f) { return f.sync_files(paths, -1, 1); }, arkive_event_files_synced},
    {"sync_one_file", [](arkive_with_events_t &f) { return f.sync_one_file("//depot/a.txt", -1, nullptr); }, -1},
    {"get_arkive_info", [](arkive_with_events_t &f) { return f.get_arkive_info(nullptr); }, -1},
    {"scan_files", [none](arkive_with_events_t &f) { return f.scan_files(1, none, none, none, 0); }, -1},
    {"purge_files", [paths](arkive_with_events_t &f) { return f.purge_files(paths, 0); }, -1},
    {"set_verifying_site", [](arkive_with_events_t &f) { return f.set_verifying_site(1); }, -1},
  };
}

// Every forwarding operation answers 53 at once; an evented one still notifies its event with 53.
void expect_all_disconnected(arkive_with_events_t &facade, const char *state)
{
  for ( const operation_case_t &operation : forwarding_operations() )
  {
    SCOPED_TRACE(std::string(state) + ": " + operation.name);
    event_recorder_t recorder;
    facade.add_handler(&recorder);
    EXPECT_EQ(operation.call(facade), ARKIVE_DISCONNECTED);
    if ( operation.event < 0 )
    {
      EXPECT_TRUE(recorder.events.empty());
    }
    else
    {
      ASSERT_EQ(recorder.events.size(), 1u);
      EXPECT_EQ(recorder.events[0].code, uint64_t(operation.event));
      EXPECT_EQ(recorder.events[0].result, ARKIVE_DISCONNECTED);
    }
  }
  EXPECT_EQ(facade.zero_query(), 0);
}

class facade_test_t : public test_server_fixture_t
{
protected:
  // A facade holding alice's connection over TLS with site ws in use.
  void connect_facade()
  {
    facade.set_connection(connect_alice(transport_t::tls));
    ASSERT_TRUE(facade.is_usable());
  }

  std::vector<std::string> log_lines() const
  {
    std::vector<std::string> lines;
    for ( const ui_request_record_t &request : ui.requests_of(ui_code_log) )
      lines.push_back(request.text);
    return lines;
  }

  recording_ui_callback_t ui;
  arkive_with_events_t facade;
};

TEST_F(facade_test_t, answers_53_without_a_request_while_disconnected_or_broken)
{
  expect_all_disconnected(facade, "no connection");
  facade.noop_hook(); // nothing to forward to: does nothing
  EXPECT_EQ(server.connections(), 0);

  // A connection whose stream failed stays broken; the facade sends nothing more on it.
  connect_facade();
  server_fault_t drop;
  drop.on_type = GET_USERS;
  server.add_fault(drop);
  EXPECT_EQ(facade.get_users(nullptr), ARKIVE_DISCONNECTED);
  ASSERT_NE(facade.connection(), nullptr);
  EXPECT_TRUE(facade.connection()->is_broken());
  EXPECT_FALSE(facade.is_usable());
  server.clear_received();
  expect_all_disconnected(facade, "broken");
  EXPECT_TRUE(server.received().empty()) << "a broken connection is not asked";
}

TEST_F(facade_test_t, evented_operations_notify_their_result_and_first_input)
{
  connect_facade();
  event_recorder_t first;
  event_recorder_t second;
  ASSERT_TRUE(facade.add_handler(&first));
  ASSERT_TRUE(facade.add_handler(&second));

  EXPECT_EQ(facade.edit_files(paths_of({"//depot/a.txt"}), 1), 0);
  EXPECT_EQ(facade.commit_worklist(nullptr, "change a", 99, 0), 37) << "no worklist 99";
  EXPECT_EQ(facade.sync_files(paths_of({"//depot/b.txt"}), -1, 1), 0);

  const std::vector<std::pair<uint64_t, int>> expected = {
    {arkive_event_files_edited, 0}, {arkive_event_worklist_committed, 37}, {arkive_event_files_synced, 0}};
  for ( const event_recorder_t *recorder : {&first, &second} )
  {
    ASSERT_EQ(recorder->events.size(), expected.size()) << "every handler hears every event, in order";
    for ( size_t i = 0; i < expected.size(); ++i )
    {
      EXPECT_EQ(recorder->events[i].code, expected[i].first);
      EXPECT_EQ(recorder->events[i].result, expected[i].second);
    }
    EXPECT_EQ(recorder->events[0].first, "//depot/a.txt");
    EXPECT_EQ(recorder->events[1].first, "change a");
    EXPECT_EQ(recorder->events[2].first, "//depot/b.txt");
  }
}

// A handler that answers ends the dispatch; one linked after it is not called.
TEST_F(facade_test_t, an_answering_handler_ends_the_dispatch)
{
  struct answering_t : event_handler_t
  {
    void *handle(uint64_t, va_list) override { return this; }
  } answering;
  event_recorder_t later;
  facade.add_handler(&answering);
  facade.add_handler(&later);
  EXPECT_EQ(facade.edit_files({}, 1), ARKIVE_DISCONNECTED);
  EXPECT_TRUE(later.events.empty());
}

TEST_F(facade_test_t, use_site_notifies_and_fills_only_on_success)
{
  connect_facade();
  event_recorder_t recorder;
  facade.add_handler(&recorder);

  site_info_t out;
  out.name = "untouched";
  out.last_used = 77;
  EXPECT_EQ(facade.use_site(&out, "nowhere", nullptr), 5);
  EXPECT_TRUE(recorder.events.empty());
  EXPECT_EQ(out.name, "untouched");
  EXPECT_EQ(out.last_used, 77u);

  EXPECT_EQ(facade.use_site(&out, "ws", nullptr), 0);
  ASSERT_EQ(recorder.events.size(), 1u);
  EXPECT_EQ(recorder.events[0].code, uint64_t(arkive_event_site_switched));
  EXPECT_EQ(recorder.events[0].result, 0);
  EXPECT_EQ(recorder.events[0].first, "ws");
  EXPECT_EQ(out.name, "ws");
  EXPECT_EQ(out.user, "alice");
  EXPECT_EQ(out.root_dir, site_root.c_str());
  EXPECT_EQ(out.client_host, "alice-pc");
  EXPECT_NE(out.last_used, 77u);

  // Without an out record the event still carries the record.
  EXPECT_EQ(facade.use_site(nullptr, "ws", nullptr), 0);
  ASSERT_EQ(recorder.events.size(), 2u);
  EXPECT_EQ(recorder.events[1].first, "ws");
}

TEST_F(facade_test_t, server_messages_are_logged_one_line_each_after_success_only)
{
  connect_facade();
  ui.clear();
  EXPECT_EQ(facade.edit_files(paths_of({"//depot/missing.txt", "//depot/a.txt", "//depot/a.txt"}), 1), 0);
  // The reply's messages go out as one log message of one line each, in reply order.
  EXPECT_EQ(log_lines(), (std::vector<std::string>{"file '//depot/missing.txt' not found\nok\n"
                                                   "file '//depot/a.txt' is already checked out\n"}));

  // A message whose text holds a conversion is logged as it stands.
  ui.clear();
  EXPECT_EQ(facade.edit_files(paths_of({"//depot/%s%n.txt"}), 1), 0);
  EXPECT_EQ(log_lines(), std::vector<std::string>{"file '//depot/%s%n.txt' not found\n"});

  // A failed operation logs nothing itself: its caller reports the code.
  ui.clear();
  EXPECT_EQ(facade.edit_files(paths_of({"//depot/a.txt"}), 99), 37);
  EXPECT_TRUE(log_lines().empty());
}

// The connection dropped from inside one of its operations (a queued call run by the progress poll) goes
// only when the operation has returned; the facade answers 53 from then on.
TEST_F(facade_test_t, a_connection_dropped_inside_its_own_operation_outlives_it)
{
  // The sinks of the connection's file system: the test's progressor drops the connection at the first report.
  class dropping_progressor_t : public arkive_progressor_t
  {
  public:
    explicit dropping_progressor_t(arkive_with_events_t &facade) : facade_(facade) {}
    int32_t progress(uint8_t, uint64_t) override
    {
      if ( facade_.connection() != nullptr )
      {
        liveness = facade_.connection()->liveness();
        facade_.set_connection(nullptr);
        alive_after_drop = liveness->alive;
        nested_code = facade_.get_users(nullptr);
      }
      return 0;
    }
    std::shared_ptr<connection_liveness_t> liveness;
    bool alive_after_drop = false;
    int nested_code = -1;

  private:
    arkive_with_events_t &facade_;
  };

  // The login's file system carries the sinks; the site's file system passes its reports on to them.
  auto *progressor = new dropping_progressor_t(facade);
  abstract_fs_t *login_fs = get_file_system((site_root + "-login").c_str(), nullptr, FS_CREATE_WITH_CACHE);
  login_fs->set_reporters(nullptr, progressor);
  auto connection = connect(transport_t::tls);
  ASSERT_NE(connection, nullptr);
  connection->set_file_system(login_fs);
  qstring error;
  ASSERT_TRUE(connection->login(&error, "alice", "secret", "alice-pc")) << error.c_str();
  ASSERT_EQ(connection->use_site(nullptr, "ws", ""), 0);
  facade.set_connection(std::move(connection));

  EXPECT_EQ(facade.sync_files(paths_of({"//depot/a.txt"}), -1, 5), 0);
  ASSERT_NE(progressor->liveness, nullptr) << "the sync reported progress";
  EXPECT_TRUE(progressor->alive_after_drop) << "not deleted inside its own request";
  EXPECT_EQ(progressor->nested_code, ARKIVE_DISCONNECTED);
  EXPECT_FALSE(progressor->liveness->alive) << "deleted once the request returned";
  EXPECT_EQ(facade.connection(), nullptr);
  login_fs->set_reporters(nullptr, new arkive_progressor_t);
}

//--------------------------------------------------------------------------
// Reports and the discard question.

struct report_case_t
{
  const char *name;
  bool box;
  int code;
  std::string last_error; // string argument 0 of the thread's error state
  std::string log;        // the expected log line, "" for none
  std::string warning;    // the expected warning box, "" for none
};

TEST(facade_reports, give_the_head_and_the_error_table_text_in_a_line_or_a_box)
{
  const std::vector<report_case_t> cases = {
    {"53 in the log", false, 53, "Connection reset by peer", "Disconnected from the server: Connection reset by peer\n",
     ""},
    {"53 asked for a box still logs", true, 53, "timed out", "Disconnected from the server: timed out\n", ""},
    {"53 without a last error", false, 53, "", "Disconnected from the server: \n", ""},
    {"server code in the log", false, 37, "12", "Failed to sync 3 files: invalid worklist 12\n", ""},
    {"server code in a box", true, 37, "12", "", "Failed to sync 3 files\ninvalid worklist 12"},
    {"unexpected reply", true, 47, "101", "", "Failed to sync 3 files\nbad packet 101"},
    {"code beyond the table", false, 70, "x", "Failed to sync 3 files: ?\n", ""},
    {"conversions in the detail stay text", false, 33, "50%s done", "Failed to sync 3 files: 50%s done\n", ""},
  };
  for ( const report_case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    recording_ui_callback_t ui;
    error_arg_text(0, c.last_error.c_str());
    (c.box ? show_server_warning : show_server_error)(c.code, "Failed to sync %d files", 3);
    const auto logs = ui.requests_of(ui_code_log);
    const auto boxes = ui.requests_of(ui_code_message);
    if ( c.log.empty() )
    {
      EXPECT_TRUE(logs.empty());
    }
    else
    {
      ASSERT_EQ(logs.size(), 1u);
      EXPECT_EQ(logs[0].text, c.log);
    }
    if ( c.warning.empty() )
    {
      EXPECT_TRUE(boxes.empty());
    }
    else
    {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].kind, msg_kind_warning);
      EXPECT_EQ(boxes[0].text, c.warning);
    }
  }
}

TEST(facade_reports, discarding_changes_needs_a_yes)
{
  for ( const auto &[answer, expected] : std::vector<std::pair<int, bool>>{{1, true}, {0, false}, {-1, false}} )
  {
    SCOPED_TRACE(answer);
    recording_ui_callback_t ui;
    ui.script(ui_code_question, answer);
    EXPECT_EQ(confirm_discard_changes(), expected);
    const auto questions = ui.requests_of(ui_code_question);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].text, "HIDECANCEL\nAll changes will be lost.\nAre you sure?");
    EXPECT_EQ(questions[0].default_answer, 1);
  }
}

} // namespace

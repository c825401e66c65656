// The file commands' test fixture: the client's facade logged in to the test server over TLS with site ws in
// use, a selection source standing in for a view, and the server's record of the requests.
#pragma once

#include "client/app/akui_app.h"
#include "client/commands/file_assoc_lookup.h"
#include "client/commands/selected_file.h"
#include "repo/rpc_packet.h"
#include "tests/client/client_session.h"
#include "tests/repo/disassembler_standin.h"
#include "tests/repo/test_server_client.h"
#include "tests/support/recording_ui_callback.h"
#include "ui/action_context.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

// A view of a given kind whose selection is the records a test gives it; it keeps the request bits it was
// asked with.
class test_selection_view_t : public QWidget, public file_selection_source_t
{
public:
  explicit test_selection_view_t(int kind) : kind_(kind) {}

  int selection_widget_kind() const override { return kind_; }
  bool collect_files(selected_files_t *out, uint32_t request_bits, const action_ctx_base_t &) override
  {
    asked_bits.push_back(request_bits);
    for ( const selected_file_t &file : selection )
      out->push_back(file);
    return true;
  }
  int32_t current_history_revision() const override { return history_current; }
  bool selected_commit(int32_t *number) const override
  {
    if ( commit < 0 )
      return false;
    *number = commit;
    return true;
  }
  bool select_path(const char *tree_path) override
  {
    selected_paths.emplace_back(tree_path);
    return true;
  }
  bool sync_selected_revisions(const action_ctx_base_t &, int32_t flags, int32_t code) override
  {
    synced_with.emplace_back(flags, code);
    return true;
  }

  std::vector<selected_file_t> selection;
  std::vector<uint32_t> asked_bits;
  int32_t history_current = REVISION_LOCAL_FILE;
  int32_t commit = -1; // the selected commit of a Commits view, -1 none
  std::vector<std::pair<int32_t, int32_t>> synced_with; // flags and revision code of each row sync
  std::vector<std::string> selected_paths;               // the tree paths it was asked to reveal

private:
  int kind_;
};

// One record as a collector fills it.
selected_file_t file_record(const char *path, uint32_t flags, int32_t worklist = -1, int32_t revision = -4,
                            int32_t last_revision = -4, uint8_t state = 0);

// One association of the tests: the program and the argument templates by kind (merge: by method 1-4).
struct test_assoc_t
{
  std::string program;
  std::string view_args;
  std::string diff_args;
  std::string merge_args[4];
};

// The associations of a test, installed for its lifetime, by extension ("*" for every other file). Expansion
// quotes "%l", "%r" and "%b" with the core's template expansion.
class test_assoc_finder_t : public file_assoc_finder_t
{
public:
  test_assoc_finder_t() { install_file_assoc_finder(this); }
  ~test_assoc_finder_t() override { install_file_assoc_finder(nullptr); }
  bool find_file_assoc_command(file_assoc_command_t *out, int kind, const char *left, const char *right,
                               const char *third, int merge_method, bool expand) override;

  std::map<std::string, test_assoc_t> by_extension;
};

// A tool script: records each argument ("arg:" line) and the content of the file it names ("content:" line)
// into record_path, then exits with the code. Answers the script's path.
std::string write_tool_script(const std::string &folder, const std::string &name, const std::string &record_path,
                              int exit_code);

class file_command_test_t : public test_server_fixture_t
{
protected:
  void SetUp() override;
  void TearDown() override;

  static akui_app_t &app() { return *client_session().app; }

  // The action context of a view (the widget and its kind).
  template<class Context>
  void point_at(Context *context, test_selection_view_t &view, const char *action)
  {
    context->widget = &view;
    context->widget_kind = view.selection_widget_kind();
    context->action_name = action;
  }
  // Runs the activate handler of the file command row with the view as the context's widget and the chooser
  // rows selected.
  int activate(const char *action, test_selection_view_t &view, std::vector<int> rows = {});
  // Runs its update handler: 3 enabled, 7 disabled.
  int update(const char *action, test_selection_view_t &view, std::vector<int> rows = {});

  // The requests of one type the server received since it was last cleared, decoded as Packet.
  template<class Packet>
  std::vector<Packet> requests_of(uint8_t type) const
  {
    std::vector<Packet> out;
    for ( const recorded_frame_t &frame : server.received() )
    {
      if ( frame.type != type )
        continue;
      Packet packet(type);
      const uint8_t *cursor = frame.body.data();
      size_t remaining = frame.body.size();
      EXPECT_TRUE(packet.deserialize(cursor, remaining, ARKIVE_PROTOCOL_VERSION));
      out.push_back(std::move(packet));
    }
    return out;
  }
  // Types of every request the server received, in order.
  std::vector<uint8_t> request_types() const;
  // The log lines and warning boxes shown since the callback was last cleared.
  std::vector<std::string> log_lines() const;
  std::vector<std::string> warnings() const;
  // The local path of a server path under the site's root.
  std::string local(const char *server_path) const { return site_root + "/" + (server_path + 2); }

  // The disassembler's stand-in, recording its runs outside the folder of copies.
  std::unique_ptr<disassembler_standin_t> start_standin();
  // The names of the files in the folder of temporary copies (its folders left out).
  std::vector<std::string> leftover_copies() const;

  recording_ui_callback_t ui;
  std::string copies;  // the folder of this test's temporary copies (its TMPDIR)
  std::string scratch; // a folder of this test's own (tool scripts, their records)

private:
  std::string saved_tmpdir_;
};

inline std::string str(const qstring &text)
{
  return text.c_str();
}
// The paths of a path list as standard strings.
std::vector<std::string> strings_of(const qvector<qstring> &texts);

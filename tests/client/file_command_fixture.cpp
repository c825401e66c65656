// The file commands' test fixture.
#include "tests/client/file_command_fixture.h"

#include "client/commands/file_command_rows.h"
#include "core/text_utils.h"
#include "repo/disassembler_commands.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

selected_file_t file_record(const char *path, uint32_t flags, int32_t worklist, int32_t revision,
                            int32_t last_revision, uint8_t state)
{
  selected_file_t record;
  record.path = path;
  record.flags = flags;
  record.worklist = worklist;
  record.revision = revision;
  record.last_revision = last_revision;
  record.state = state;
  return record;
}

std::vector<std::string> strings_of(const qvector<qstring> &texts)
{
  std::vector<std::string> out;
  for ( const qstring &text : texts )
    out.emplace_back(text.c_str());
  return out;
}

namespace {

const action_desc_t &row_of(const char *action)
{
  static const std::vector<action_desc_t> rows = file_command_action_descs();
  for ( const action_desc_t &row : rows )
    if ( std::strcmp(row.name, action) == 0 )
      return row;
  ADD_FAILURE() << "no row " << action;
  return rows.front();
}

} // namespace

bool test_assoc_finder_t::find_file_assoc_command(file_assoc_command_t *out, int kind, const char *left,
                                                  const char *right, const char *third, int merge_method, bool expand)
{
  const char *extension = path_extension(left);
  auto found = by_extension.find(extension != nullptr ? extension : "");
  if ( found == by_extension.end() )
    found = by_extension.find("*");
  if ( found == by_extension.end() || found->second.program.empty() )
    return false;
  const test_assoc_t &assoc = found->second;
  std::string templ = kind == file_assoc_view ? assoc.view_args : kind == file_assoc_diff ? assoc.diff_args : "";
  if ( kind == file_assoc_merge && merge_method >= 1 && merge_method <= 4 )
    templ = assoc.merge_args[merge_method - 1];
  if ( out == nullptr )
    return true;
  out->program = assoc.program.c_str();
  if ( !expand )
  {
    out->arguments = templ.c_str();
  }
  else if ( templ.find('%') == std::string::npos )
  {
    out->arguments = templ.c_str();
    if ( !templ.empty() )
      out->arguments += ' ';
    append_quoted_argument(&out->arguments, left);
  }
  else
  {
    merge_side_t local;
    local.path = left;
    merge_side_t remote;
    remote.path = right;
    out->arguments = expand_merge_template(templ.c_str(), nullptr, local, right != nullptr ? &remote : nullptr, third);
  }
  return true;
}

std::string write_tool_script(const std::string &folder, const std::string &name, const std::string &record_path,
                              int exit_code)
{
  const std::string path = folder + "/" + name;
  std::ofstream(path) << "#!/bin/sh\n"
                         "{ for a in \"$@\"; do printf 'arg:%s\\n' \"$a\";"
                         " if [ -f \"$a\" ]; then printf 'content:%s\\n' \"$(cat \"$a\")\"; fi; done; } > '"
                      << record_path << ".part'\n"
                      << "mv '" << record_path << ".part' '" << record_path << "'\n"
                      << "exit " << exit_code << "\n";
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  return path;
}

std::unique_ptr<disassembler_standin_t> file_command_test_t::start_standin()
{
  setenv("TMPDIR", scratch.c_str(), 1);
  auto standin = std::make_unique<disassembler_standin_t>();
  setenv("TMPDIR", copies.c_str(), 1);
  return standin;
}

std::vector<std::string> file_command_test_t::leftover_copies() const
{
  std::vector<std::string> names;
  // The copies sit in a private folder of the process inside it.
  for ( const auto &entry : std::filesystem::recursive_directory_iterator(copies) )
    if ( !entry.is_directory() )
      names.push_back(entry.path().filename().string());
  return names;
}

void file_command_test_t::SetUp()
{
  test_server_fixture_t::SetUp();
  const char *tmpdir = std::getenv("TMPDIR");
  saved_tmpdir_ = tmpdir != nullptr ? tmpdir : "";
  copies = site_root + "-copies";
  scratch = site_root + "-scratch";
  std::filesystem::create_directories(copies);
  std::filesystem::create_directories(scratch);
  setenv("TMPDIR", copies.c_str(), 1);
  app().set_connection(connect_alice(transport_t::tls));
  ASSERT_TRUE(app().has_usable_connection());
  ASSERT_EQ(app().facade.get_arkive_info(&app().server_info), 0);
  ASSERT_STREQ(app().current_site_name().c_str(), "ws");
  server.clear_received();
  ui.clear();
}

void file_command_test_t::TearDown()
{
  if ( saved_tmpdir_.empty() )
    unsetenv("TMPDIR");
  else
    setenv("TMPDIR", saved_tmpdir_.c_str(), 1);
  app().set_connection(nullptr);
  app().server_info = arkive_server_info_t();
}

int file_command_test_t::activate(const char *action, test_selection_view_t &view, std::vector<int> rows)
{
  ui_action_activation_ctx_t context;
  point_at(&context, view, action);
  context.chooser_selection = std::move(rows);
  return row_of(action).activate(&context);
}

int file_command_test_t::update(const char *action, test_selection_view_t &view, std::vector<int> rows)
{
  ui_action_update_ctx_t context;
  point_at(&context, view, action);
  context.chooser_selection = std::move(rows);
  return row_of(action).update(nullptr, &context);
}

std::vector<uint8_t> file_command_test_t::request_types() const
{
  std::vector<uint8_t> types;
  for ( const recorded_frame_t &frame : server.received() )
    types.push_back(frame.type);
  return types;
}

std::vector<std::string> file_command_test_t::log_lines() const
{
  std::vector<std::string> lines;
  for ( const ui_request_record_t &request : ui.requests_of(ui_code_log) )
    lines.push_back(request.text);
  return lines;
}

std::vector<std::string> file_command_test_t::warnings() const
{
  std::vector<std::string> texts;
  for ( const ui_request_record_t &request : ui.requests_of(ui_code_message) )
    if ( request.kind == msg_kind_warning )
      texts.push_back(request.text);
  return texts;
}

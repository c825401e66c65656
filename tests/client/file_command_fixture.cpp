// The file commands' test fixture.
#include "tests/client/file_command_fixture.h"

#include "client/commands/file_command_rows.h"

#include <cstring>

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

void file_command_test_t::SetUp()
{
  test_server_fixture_t::SetUp();
  app().set_connection(connect_alice(transport_t::tls));
  ASSERT_TRUE(app().has_usable_connection());
  ASSERT_EQ(app().facade.get_arkive_info(&app().server_info), 0);
  ASSERT_STREQ(app().current_site_name().c_str(), "ws");
  server.clear_received();
  ui.clear();
}

void file_command_test_t::TearDown()
{
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

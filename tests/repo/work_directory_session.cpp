// Helpers of the tests in which the server works on the client's work directory.
#include "tests/repo/work_directory_session.h"

#include "repo/packet_type_table.h"
#include "repo/packets_login.h"
#include "repo/packets_users.h"
#include "repo/packets_worklists.h"

#include <string_view>

void recording_lines_t::print(const char *format, va_list va)
{
  qstring line;
  vformat_to_string(&line, format, va);
  lines_->emplace_back(line.view());
}

work_directory_test_t::work_directory_test_t() : progress(new recording_progressor_t)
{
  login_fs.set_reporters(new recording_lines_t(&message_lines), progress);
}

std::unique_ptr<rpc_arkive_connection_t> work_directory_test_t::connect_site(transport_t transport)
{
  auto connection = connect(transport);
  if ( connection == nullptr )
    return nullptr;
  qstring error;
  EXPECT_TRUE(connection->login(&error, "alice", "secret", "alice-pc")) << error.c_str();
  connection->set_file_system(&login_fs);
  EXPECT_EQ(connection->use_site(nullptr, "ws", "alice-pc"), 0) << error_detail();
  server.clear_received();
  return connection;
}

void work_directory_test_t::interpose(std::vector<frame_bytes_t> frames, uint8_t on_type)
{
  server_fault_t fault;
  fault.action = server_fault_t::interpose;
  fault.on_type = on_type;
  fault.frames = std::move(frames);
  server.add_fault(std::move(fault));
}

std::vector<recorded_frame_t> work_directory_test_t::answers() const
{
  std::vector<recorded_frame_t> frames = server.received();
  if ( !frames.empty() )
    frames.erase(frames.begin());
  return frames;
}

frame_bytes_t open_frame(const std::string &path, uint32_t flags)
{
  name_number_packet_t p(OPEN_FILE);
  p.name = qstring(std::string_view(path));
  p.number = int32_t(flags);
  return packet_frame(p);
}

frame_bytes_t delete_frame(const std::string &path, uint32_t flags)
{
  name_number_packet_t p(DEL_FILE);
  p.name = qstring(std::string_view(path));
  p.number = int32_t(flags);
  return packet_frame(p);
}

frame_bytes_t close_frame(int32_t handle, bool keep)
{
  close_file_packet_t p(CLOSE_FILE);
  p.handle = handle;
  p.keep = keep;
  return packet_frame(p);
}

frame_bytes_t read_frame(int32_t handle, uint32_t size)
{
  read_file_packet_t p(READ_FILE);
  p.handle = handle;
  p.size = size;
  return packet_frame(p);
}

frame_bytes_t write_frame(int32_t handle, const std::string &bytes)
{
  write_file_packet_t p(WRITE_FILE);
  p.handle = handle;
  p.data.resize(bytes.size());
  std::copy(bytes.begin(), bytes.end(), p.data.begin());
  return packet_frame(p);
}

frame_bytes_t notice_frame(int32_t kind, const std::string &text)
{
  code_text_packet_t p(RPC_NOTIFY);
  p.code = kind;
  p.text = qstring(std::string_view(text));
  return packet_frame(p);
}

frame_bytes_t progress_frame(uint8_t kind, uint64_t amount)
{
  progress_packet_t p(UPDATE_PROGRESS);
  p.kind = kind;
  p.amount = amount;
  return packet_frame(p);
}

answer_t decode_answer(const recorded_frame_t &frame)
{
  answer_t answer;
  answer.type = frame.type;
  std::unique_ptr<rpc_packet_t> packet;
  for ( const packet_type_row_t &row : packet_type_table )
    if ( row.type == frame.type )
      packet = row.factory(frame.body.data(), frame.body.size(), 5);
  if ( packet == nullptr )
    return answer;
  if ( frame.type == RPC_FAIL )
  {
    const auto &fail = static_cast<const code_text_packet_t &>(*packet);
    answer.code = fail.code;
    answer.text = std::string(fail.text.view());
  }
  else if ( frame.type == READ_FILE_RESULT || frame.type == CALC_CHANGE_STATUS_RESULT )
  {
    const auto &blob = static_cast<const blob_packet_t &>(*packet);
    answer.text.assign(reinterpret_cast<const char *>(blob.data.data()), blob.data.size());
  }
  else if ( frame.type == OPEN_FILE_RESULT )
  {
    answer.text = std::to_string(static_cast<const number_packet_t &>(*packet).number);
  }
  return answer;
}

// Helpers of the tests in which the server works on the client's work directory: a logged-in connection whose
// login file system records progress and messages, the site's folder, and the server's requests by hand.
#pragma once

#include "repo/plain_fs.h"
#include "tests/repo/test_server_client.h"
#include "tests/repo/work_dir_helpers.h"
#include "tests/support/recording_ui_callback.h"

#include <string>
#include <vector>

// A message sink that keeps every line.
class recording_lines_t : public arkive_messenger_t
{
public:
  explicit recording_lines_t(std::vector<std::string> *lines) : lines_(lines) {}
  void print(const char *format, va_list va) override;

private:
  std::vector<std::string> *lines_; // not owned
};

class work_directory_test_t : public test_server_fixture_t
{
protected:
  work_directory_test_t();

  // A connection logged in as alice whose login file system is login_fs, then switched to site ws (its work
  // directory is site_root); the server's record is cleared.
  std::unique_ptr<rpc_arkive_connection_t> connect_site(transport_t transport = transport_t::tcp);
  // The server answers the next request of `on_type` (0: any) as usual, after sending each frame as a request
  // of its own and reading the client's answer (recorded among the received frames).
  void interpose(std::vector<frame_bytes_t> frames, uint8_t on_type = 0);
  // The local path of a name in the work directory.
  std::string local(const std::string &name) const { return site_root + "/" + name; }
  // The received frames after the first (the client's request): the client's answers to interposed requests.
  std::vector<recorded_frame_t> answers() const;

  recording_ui_callback_t ui;
  process_fs_t login_fs;                 // the application's file system of the empty root
  recording_progressor_t *progress;      // owned by login_fs
  std::vector<std::string> message_lines; // what login_fs's message sink printed
};

// Frames of the server's requests.
frame_bytes_t open_frame(const std::string &path, uint32_t flags);
frame_bytes_t delete_frame(const std::string &path, uint32_t flags = 0);
frame_bytes_t close_frame(int32_t handle, bool keep);
frame_bytes_t read_frame(int32_t handle, uint32_t size);
frame_bytes_t write_frame(int32_t handle, const std::string &bytes);
frame_bytes_t notice_frame(int32_t kind, const std::string &text);
frame_bytes_t progress_frame(uint8_t kind, uint64_t amount);

// An answer as the client sent it: its type and, for RPC_FAIL, the code and text.
struct answer_t
{
  uint8_t type = 0;
  int32_t code = 0;
  std::string text; // RPC_FAIL: the text; READ_FILE_RESULT: the bytes; OPEN_FILE_RESULT: the handle in decimal
};
answer_t decode_answer(const recorded_frame_t &frame);

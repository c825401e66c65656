// The work directory of a connected client as the test server reaches it: the requests a server sends while
// one of the client's requests waits (open, read, write, close and delete files, change status, checksum
// flushes, progress, notices) and the client's answers.
#pragma once

#include "repo/rpc_packet.h"
#include "repo/wire_records.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Sends one request of the server to the client and reads the client's one answer; null when the link failed.
using client_ask_t = std::function<std::unique_ptr<rpc_packet_t>(const rpc_packet_t &request)>;

// Whole-file operations on local paths of the client, built from the server's requests. Every operation
// answers 0, the client's RPC_FAIL code (its text in last_text()), or link_lost once the link failed; after
// that every operation answers link_lost without sending anything.
class client_work_directory_t
{
public:
  static constexpr int link_lost = -1;
  // Bytes per WRITE_FILE and per READ_FILE: large, so that a big file costs few round trips.
  static constexpr size_t chunk_size = 1024 * 1024;

  explicit client_work_directory_t(client_ask_t ask) : ask_(std::move(ask)) {}

  // OPEN_FILE for writing with a digest, WRITE_FILE in chunks, CLOSE_FILE keeping the bytes (or throwing them
  // away when a write failed).
  int write_file(const std::string &path, std::string_view content);
  // OPEN_FILE for reading with a digest, READ_FILE until the end, CLOSE_FILE with commit (the client records
  // the digest).
  int read_file(const std::string &path, std::string *content);
  // DEL_FILE, forgetting the checksum-cache entry.
  int delete_file(const std::string &path);
  // CALC_CHANGE_STATUS: (*changed)[j] is the client's bit of items[j].
  int change_status(const std::vector<change_status_item_t> &items, int32_t mode, std::vector<bool> *changed);
  int flush_checksums();
  int progress(uint8_t kind, uint64_t amount);
  int notify(int32_t kind, const std::string &text);

  bool link_failed() const { return failed_; }
  const std::string &last_text() const { return text_; }

private:
  // One request and its answer: 0 with *answer of the expected type, the RPC_FAIL code, link_lost, or 33 for
  // an answer of another type.
  int ask(const rpc_packet_t &request, uint8_t expected, std::unique_ptr<rpc_packet_t> *answer = nullptr);
  int open(const std::string &path, uint32_t flags, int32_t *handle);
  int close(int32_t handle, bool keep);

  client_ask_t ask_;
  bool failed_ = false;
  std::string text_;
};

// The change-status entry the server expects for a file of this content.
change_status_item_t expected_status(const std::string &path, const std::string &content);

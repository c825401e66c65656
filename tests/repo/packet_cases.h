// Hand-written packet bodies for every packet type, and helpers that the packet tests share.
#pragma once

#include "repo/rpc_packet.h"
#include "tests/support/wire_bytes.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>


// The bytes of a serialized packet or record, and a readable dump for failure messages.
std::string hex(const bytes_t &bytes);
bytes_t to_bytes(const byte_buffer_t &buffer);
bytes_t serialize_packet(const rpc_packet_t &packet);

// A packet of one type, filled by hand, and its body written out byte by byte.
struct packet_case_t
{
  uint8_t type;
  std::function<std::unique_ptr<rpc_packet_t>()> build;
  bytes_t body;
};

// Test names and failure messages show a case as its type number and body.
void PrintTo(const packet_case_t &c, std::ostream *os);

// One case for every type of the packet type table.
const std::vector<packet_case_t> &packet_cases();

// Heap bytes that a packet holds (string and list capacities, element storage included); nothing when the
// packet's class is not one of the catalogue's body classes.
std::optional<size_t> packet_footprint(const rpc_packet_t &packet);

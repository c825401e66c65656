// The packet type table: for every type number its name and the factory that builds its packet from a body.
#pragma once

#include "repo/rpc_packet.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

// Builds the packet of one type. Without a body (null) it answers the empty packet (strings empty, numbers 0,
// lists empty); otherwise it reads the body of `size` bytes and answers null when the body is not complete.
// Bytes after a complete body are ignored.
using packet_factory_t = std::unique_ptr<rpc_packet_t> (*)(const uint8_t *body, size_t size, uint32_t version);

struct packet_type_row_t
{
  int32_t type;
  const char *name;  // the packet's name, e.g. "RPC_OK"
  packet_factory_t factory;
};

// One row per packet type, in ascending type order. Type numbers it does not list have no packet.
extern const std::span<const packet_type_row_t> packet_type_table;

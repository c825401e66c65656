// libFuzzer target: the first byte picks a packet type of the table, the rest is the body its factory reads.
// A body that is accepted must write back into bytes that read the same again.
#include "repo/packet_type_table.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if ( size == 0 )
    return 0;
  const packet_type_row_t &row = packet_type_table[data[0] % packet_type_table.size()];
  const auto packet = row.factory(data + 1, size - 1, ARKIVE_PROTOCOL_VERSION);
  if ( packet == nullptr )
    return 0;

  byte_buffer_t written;
  packet->serialize(written, ARKIVE_PROTOCOL_VERSION);
  const uint8_t nothing = 0;
  const auto again = row.factory(written.empty() ? &nothing : written.data(), written.size(), ARKIVE_PROTOCOL_VERSION);
  if ( again == nullptr )
    std::abort();
  byte_buffer_t rewritten;
  again->serialize(rewritten, ARKIVE_PROTOCOL_VERSION);
  if ( rewritten.size() != written.size()
    || (written.size() != 0 && std::memcmp(rewritten.data(), written.data(), written.size()) != 0) )
    std::abort();
  return 0;
}

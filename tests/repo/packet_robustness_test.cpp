// Decoders fed with hostile bodies: random bytes, every truncation and every single-byte change of valid bodies.
// Each decode must end cleanly and hold no more memory than a small multiple of the bytes it was given;
// what it accepts must write back into bytes that read the same again.
#include "packet_cases.h"

#include "repo/packet_type_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace {

// Strings cost a 24-byte header per byte of input (an empty string is one NUL), the widest case.
constexpr size_t footprint_per_input_byte = 32;
constexpr size_t footprint_slack = 64;

const packet_type_row_t &row_of(int type)
{
  return *std::find_if(packet_type_table.begin(), packet_type_table.end(),
                       [type](const packet_type_row_t &r) { return r.type == type; });
}

// Decodes one body the way the factory does, but keeps the object even when the body fails, so that what a
// failing decode allocated can be measured too. Returns whether the body was accepted.
::testing::AssertionResult decode_cleanly(const packet_type_row_t &row, const bytes_t &body)
{
  auto packet = row.factory(nullptr, 0, ARKIVE_PROTOCOL_VERSION);
  const uint8_t nothing = 0;
  const uint8_t *cursor = body.empty() ? &nothing : body.data();
  size_t remaining = body.size();
  const bool accepted = packet->deserialize(cursor, remaining, ARKIVE_PROTOCOL_VERSION);

  if ( remaining > body.size() || cursor + remaining != (body.empty() ? &nothing : body.data() + body.size()) )
    return ::testing::AssertionFailure() << row.name << ": cursor left the body for " << hex(body);
  const auto footprint = packet_footprint(*packet);
  if ( !footprint )
    return ::testing::AssertionFailure() << row.name << ": unknown body class";
  if ( *footprint > footprint_per_input_byte * body.size() + footprint_slack )
    return ::testing::AssertionFailure() << row.name << ": holds " << *footprint << " bytes after reading "
                                         << body.size() << " bytes: " << hex(body);
  if ( accepted )
  {
    // The accepted content written out must be a body that reads back to the very same bytes.
    const bytes_t written = serialize_packet(*packet);
    const auto again = row.factory(written.empty() ? &nothing : written.data(), written.size(),
                                   ARKIVE_PROTOCOL_VERSION);
    if ( again == nullptr )
      return ::testing::AssertionFailure() << row.name << ": cannot read its own output " << hex(written);
    if ( serialize_packet(*again) != written )
      return ::testing::AssertionFailure() << row.name << ": unstable round trip of " << hex(written);
  }
  return ::testing::AssertionSuccess();
}

class HostileBodies : public testing::TestWithParam<packet_case_t>
{
};

TEST_P(HostileBodies, EveryTruncationAndEverySingleByteChange)
{
  const packet_case_t &c = GetParam();
  const packet_type_row_t &row = row_of(c.type);
  for ( size_t n = 0; n <= c.body.size(); ++n )
    ASSERT_TRUE(decode_cleanly(row, bytes_t(c.body.begin(), c.body.begin() + n)));
  bytes_t body = c.body;
  for ( size_t at = 0; at < body.size(); ++at )
  {
    const uint8_t original = body[at];
    for ( int value = 0; value < 256; ++value )
    {
      body[at] = uint8_t(value);
      ASSERT_TRUE(decode_cleanly(row, body));
    }
    body[at] = original;
  }
}

TEST_P(HostileBodies, SeededRandomBodies)
{
  const packet_case_t &c = GetParam();
  const packet_type_row_t &row = row_of(c.type);
  std::mt19937 random(0x5eed0000u + c.type);
  // Bytes drawn mostly from the values that steer a decoder: small counts, NULs, long-form prefixes.
  const uint8_t steering[] = {0x00, 0x01, 0x02, 0x7F, 0x80, 0xBF, 0xC0, 0xDF, 0xE0, 0xFF, 'a', '/'};
  for ( int round = 0; round < 400; ++round )
  {
    bytes_t body(random() % 64);
    const bool steered = round % 2 == 0;
    for ( uint8_t &b : body )
      b = steered ? steering[random() % sizeof(steering)] : uint8_t(random());
    ASSERT_TRUE(decode_cleanly(row, body));
  }
}

TEST_P(HostileBodies, HugeCountsAreRefusedBeforeAnyAllocation)
{
  const packet_case_t &c = GetParam();
  const packet_type_row_t &row = row_of(c.type);
  // Put the largest count at each position of the valid body: lists and blobs see it as their count.
  bytes_t body = c.body;
  const uint8_t huge[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  for ( size_t at = 0; at < body.size(); ++at )
  {
    bytes_t hostile(body.begin(), body.begin() + at);
    hostile.insert(hostile.end(), std::begin(huge), std::end(huge));
    hostile.insert(hostile.end(), body.begin() + at, body.end());
    ASSERT_TRUE(decode_cleanly(row, hostile));
  }
}

INSTANTIATE_TEST_SUITE_P(AllTypes, HostileBodies, testing::ValuesIn(packet_cases()),
                         [](const testing::TestParamInfo<packet_case_t> &info) {
                           return std::string(row_of(info.param.type).name);
                         });

}  // namespace

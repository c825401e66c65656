// Every packet type: its row in the type table, its body written byte by byte, and the body read back.
#include "packet_cases.h"

#include "repo/packet_type_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <typeinfo>

namespace {

const packet_type_row_t *row_of(int type)
{
  const auto row = std::find_if(packet_type_table.begin(), packet_type_table.end(),
                                [type](const packet_type_row_t &r) { return r.type == type; });
  return row == packet_type_table.end() ? nullptr : &*row;
}

std::string case_name(const testing::TestParamInfo<packet_case_t> &info)
{
  const packet_type_row_t *row = row_of(info.param.type);
  return row != nullptr ? row->name : "type_" + std::to_string(info.param.type);
}

class PacketBody : public testing::TestWithParam<packet_case_t>
{
};

TEST_P(PacketBody, SerializesToTheHandWrittenBytes)
{
  const packet_case_t &c = GetParam();
  const auto packet = c.build();
  EXPECT_EQ(packet->type, c.type);
  EXPECT_EQ(hex(serialize_packet(*packet)), hex(c.body));
}

TEST_P(PacketBody, FactoryOfItsTypeReadsTheBytesBack)
{
  const packet_case_t &c = GetParam();
  const packet_type_row_t *row = row_of(c.type);
  ASSERT_NE(row, nullptr);
  const auto expected = c.build();

  const uint8_t nothing = 0;
  const auto packet = row->factory(c.body.empty() ? &nothing : c.body.data(), c.body.size(),
                                   ARKIVE_PROTOCOL_VERSION);
  ASSERT_NE(packet, nullptr) << hex(c.body);
  EXPECT_EQ(packet->type, c.type);
  EXPECT_EQ(typeid(*packet).name(), typeid(*expected).name()) << "body class of " << row->name;
  EXPECT_EQ(hex(serialize_packet(*packet)), hex(c.body));
}

TEST_P(PacketBody, ReaderStopsExactlyAtTheEndOfTheBody)
{
  const packet_case_t &c = GetParam();
  auto packet = c.build();
  bytes_t body = c.body;
  body.push_back(0xEE);  // a byte that belongs to no field
  const uint8_t *cursor = body.data();
  size_t remaining = body.size();
  auto fresh = row_of(c.type)->factory(nullptr, 0, ARKIVE_PROTOCOL_VERSION);
  ASSERT_TRUE(fresh->deserialize(cursor, remaining, ARKIVE_PROTOCOL_VERSION));
  if ( c.type == RPC_OK || c.type == LOGOFF || c.type == FLUSH_PENDING_MD5S )
    EXPECT_EQ(remaining, body.size()) << "an empty body reads nothing";
  else
    EXPECT_EQ(remaining, 1u);
  EXPECT_EQ(cursor + remaining, body.data() + body.size());
}

TEST_P(PacketBody, EveryProperPrefixOfANonEmptyBodyFails)
{
  const packet_case_t &c = GetParam();
  const packet_type_row_t *row = row_of(c.type);
  ASSERT_NE(row, nullptr);
  for ( size_t n = 0; n < c.body.size(); ++n )
  {
    // A blob whose count is missing altogether is empty, so these bodies are complete without their blob.
    const bool blob_may_be_missing = (c.type == READ_FILE_RESULT || c.type == CALC_CHANGE_STATUS_RESULT) && n == 0;
    const bool write_blob_may_be_missing = c.type == WRITE_FILE && n == 1;
    if ( blob_may_be_missing || write_blob_may_be_missing )
      continue;
    const uint8_t nothing = 0;
    const auto packet = row->factory(n == 0 ? &nothing : c.body.data(), n, ARKIVE_PROTOCOL_VERSION);
    EXPECT_EQ(packet, nullptr) << row->name << " accepted its first " << n << " bytes";
  }
}

INSTANTIATE_TEST_SUITE_P(AllTypes, PacketBody, testing::ValuesIn(packet_cases()), case_name);

//--------------------------------------------------------------------------
TEST(PacketTypeTable, RowsAreAscendingNamedAndUnique)
{
  std::set<std::string> names;
  int previous = -1;
  for ( const packet_type_row_t &row : packet_type_table )
  {
    EXPECT_GT(row.type, previous) << row.name;
    previous = row.type;
    ASSERT_NE(row.name, nullptr);
    EXPECT_TRUE(names.insert(row.name).second) << row.name;
    EXPECT_NE(row.factory, nullptr) << row.name;
    EXPECT_GE(row.type, 0);
    EXPECT_LE(row.type, 255);
  }
}

TEST(PacketTypeTable, EveryRowHasAHandWrittenBodyAndNoCaseLacksARow)
{
  std::set<int> covered;
  for ( const packet_case_t &c : packet_cases() )
  {
    EXPECT_NE(row_of(c.type), nullptr) << "case for unlisted type " << int(c.type);
    EXPECT_TRUE(covered.insert(c.type).second) << "two cases for type " << int(c.type);
  }
  for ( const packet_type_row_t &row : packet_type_table )
    EXPECT_TRUE(covered.count(row.type)) << row.name << " has no hand-written body";
}

TEST(PacketTypeTable, NamesAndNumbersOfTheWholeCatalogue)
{
  struct named_t
  {
    int type;
    const char *name;
  };
  // Spot checks across the range, the gaps and the end of the table.
  const named_t rows[] = {
    {10, "RPC_OK"},          {11, "RPC_FAIL"},        {24, "GET_SESSIONS_RESULT"}, {27, "SET_PASSWORD"},
    {53, "GET_ARKIVE_FILES_RESULT"}, {89, "PURGE_FILES_RESULT"}, {97, "SET_VERIFYING_SITE"}, {98, "LOGIN"},
    {109, "FLUSH_PENDING_MD5S"}, {110, "UPDATE_PROGRESS"}, {112, "AUTHENTICATE"}, {113, "AUTHENTICATE_RESULT"},
  };
  for ( const named_t &n : rows )
  {
    const packet_type_row_t *row = row_of(n.type);
    ASSERT_NE(row, nullptr) << n.type;
    EXPECT_STREQ(row->name, n.name);
  }
  for ( int unlisted : {0, 9, 25, 26, 90, 96, 111, 114, 255} )
    EXPECT_EQ(row_of(unlisted), nullptr) << unlisted;
  EXPECT_EQ(packet_type_table.front().type, 10);
  EXPECT_EQ(packet_type_table.back().type, 113);
}

}  // namespace

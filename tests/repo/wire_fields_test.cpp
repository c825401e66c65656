// Reader and writer rules of the field encodings: strings, compact values, flags, digests, blobs and lists.
#include "packet_cases.h"

#include "repo/packet_type_table.h"
#include "repo/packets_login.h"
#include "repo/packets_sites.h"
#include "repo/packets_users.h"
#include "repo/packets_worklists.h"
#include "repo/wire_fields.h"
#include "tests/support/heap_in_use.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <type_traits>

namespace {

std::unique_ptr<rpc_packet_t> decode(int type, const bytes_t &body)
{
  const auto row = std::find_if(packet_type_table.begin(), packet_type_table.end(),
                                [type](const packet_type_row_t &r) { return r.type == type; });
  if ( row == packet_type_table.end() )
    return nullptr;
  // A non-null pointer even for an empty body: null would mean "no body at all".
  static const uint8_t nothing = 0;
  return row->factory(body.empty() ? &nothing : body.data(), body.size(), ARKIVE_PROTOCOL_VERSION);
}

template<class P>
const P &as(const std::unique_ptr<rpc_packet_t> &packet)
{
  return dynamic_cast<const P &>(*packet);
}

//--------------------------------------------------------------------------
struct body_rule_case_t
{
  const char *what;
  int type;
  bytes_t body;
  bool accepted;
};

void PrintTo(const body_rule_case_t &c, std::ostream *os)
{
  *os << c.what << " [" << hex(c.body) << "]";
}

class BodyReadingRules : public testing::TestWithParam<body_rule_case_t>
{
};

TEST_P(BodyReadingRules, AcceptsCompleteBodiesOnly)
{
  const body_rule_case_t &c = GetParam();
  const auto packet = decode(c.type, c.body);
  EXPECT_EQ(packet != nullptr, c.accepted) << hex(c.body);
  if ( packet != nullptr )
  {
    EXPECT_EQ(packet->type, c.type);
  }
}

INSTANTIATE_TEST_SUITE_P(
  Fields, BodyReadingRules,
  testing::Values(
    // Strings
    body_rule_case_t{"string_without_nul_fails", ADD_GROUP, wire({"devs"}), false},
    body_rule_case_t{"empty_string_is_one_nul", ADD_GROUP, wire({0}), true},
    body_rule_case_t{"empty_body_has_no_string", ADD_GROUP, {}, false},
    body_rule_case_t{"last_string_of_record_unterminated", GET_SITE_RESULT, wire({"ws", 0, "ann", 0, "/w", 0, "pc"}),
                     false},
    // Compact values, checked
    body_rule_case_t{"one_byte_value", DEL_WORKLIST, wire({0x7F}), true},
    body_rule_case_t{"two_byte_value_cut", DEL_WORKLIST, wire({0x81}), false},
    body_rule_case_t{"four_byte_value_cut_after_one", DEL_WORKLIST, wire({0xC1}), false},
    body_rule_case_t{"four_byte_value_cut_after_three", DEL_WORKLIST, wire({0xC0, 0x00, 0x40}), false},
    body_rule_case_t{"five_byte_value_cut", DEL_WORKLIST, wire({0xFF, 0x12, 0x34}), false},
    body_rule_case_t{"odd_first_byte_reads_like_ff", DEL_WORKLIST, wire({0xE5, 0, 0, 1, 0}), true},
    body_rule_case_t{"missing_value", DEL_WORKLIST, {}, false},
    body_rule_case_t{"u64_without_high_half", UPDATE_PROGRESS, wire({1, 0}), false},
    body_rule_case_t{"u64_high_half_cut", UPDATE_PROGRESS, wire({1, 0, 0x81}), false},
    // Bytes and flags
    body_rule_case_t{"missing_want_byte", GET_USER, wire({"ann", 0}), false},
    body_rule_case_t{"flag_seven", SET_VERIFYING_SITE, wire({7}), true},
    body_rule_case_t{"flag_cut", SET_VERIFYING_SITE, wire({0x80}), false},
    body_rule_case_t{"flag_missing", SET_VERIFYING_SITE, {}, false},
    // Digests
    body_rule_case_t{"digest_of_fifteen_bytes", CALC_CHANGE_STATUS,
                     wire({1, "a", 0, 1, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}), false},
    // Blobs
    body_rule_case_t{"blob_count_missing_at_end", READ_FILE_RESULT, {}, true},
    body_rule_case_t{"blob_count_zero", READ_FILE_RESULT, wire({0}), true},
    body_rule_case_t{"blob_count_exceeds_bytes", READ_FILE_RESULT, wire({4, "abc"}), false},
    body_rule_case_t{"blob_count_cut", READ_FILE_RESULT, wire({0x80}), false},
    body_rule_case_t{"blob_huge_count", READ_FILE_RESULT, wire({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, "abc"}), false},
    body_rule_case_t{"write_blob_after_handle_missing", WRITE_FILE, wire({3}), true},
    // Lists
    body_rule_case_t{"list_count_missing", ADD_FILES_RESULT, {}, false},
    body_rule_case_t{"list_count_beyond_bytes", ADD_FILES_RESULT, wire({3, 0, 0}), false},
    body_rule_case_t{"list_count_exactly_fits", ADD_FILES_RESULT, wire({3, 0, 0, 0}), true},
    body_rule_case_t{"list_count_huge", GET_USERS_RESULT, wire({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0}), false},
    body_rule_case_t{"list_count_beyond_record_size", GET_COMMIT_FILES_RESULT, wire({2, "//a", 0}), false},
    body_rule_case_t{"element_fails_whole_list", CHECK_PERMISSIONS_RESULT, wire({2, 0, "a", 0, 5}), false},
    body_rule_case_t{"message_code_without_text", CHECK_PERMISSIONS_RESULT, wire({1, 22}), false},
    body_rule_case_t{"second_list_cut", GET_ARKIVE_FILES_RESULT, wire({0}), false},
    body_rule_case_t{"commit_number_missing", COMMIT_WORKLIST_RESULT, wire({0}), false},
    // Whole bodies
    body_rule_case_t{"rpc_ok_ignores_a_body", RPC_OK, wire({1, 2, 3}), true},
    body_rule_case_t{"extra_bytes_after_body", GET_USER, wire({"ann", 0, 1, 0xFF, 0x80}), true},
    body_rule_case_t{"unknown_type_has_no_row", 25, wire({0}), false}),
  [](const testing::TestParamInfo<body_rule_case_t> &info) { return std::string(info.param.what); });

//--------------------------------------------------------------------------
TEST(FieldValues, FlagReceivedAsSevenReadsTrueAndIsSentAsOne)
{
  const auto packet = decode(SET_VERIFYING_SITE, wire({7}));
  ASSERT_NE(packet, nullptr);
  EXPECT_TRUE(as<bool_packet_t>(packet).flag);
  EXPECT_EQ(serialize_packet(*packet), wire({1}));
}

TEST(FieldValues, PlusOneFieldsCarryAllOnesAsZero)
{
  struct row_t
  {
    uint64_t amount;
    bytes_t tail;
  };
  const row_t rows[] = {
    {~uint64_t(0), wire({0, 0})},
    {0, wire({1, 0})},
    {0xFFFFFFFF, wire({0, 1})},  // plus one carries into the high half
    {uint64_t(0xFFFFFFFE), wire({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0})},
  };
  for ( const row_t &row : rows )
  {
    progress_packet_t p(UPDATE_PROGRESS);
    p.kind = 2;
    p.amount = row.amount;
    bytes_t expected = wire({2});
    expected.insert(expected.end(), row.tail.begin(), row.tail.end());
    EXPECT_EQ(serialize_packet(p), expected) << row.amount;
    const auto back = decode(UPDATE_PROGRESS, expected);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(as<progress_packet_t>(back).amount, row.amount);
  }
}

TEST(FieldValues, FiveByteFormWithOddFirstByteKeepsItsValue)
{
  const auto packet = decode(DEL_WORKLIST, wire({0xE5, 0, 0, 1, 0}));
  ASSERT_NE(packet, nullptr);
  EXPECT_EQ(as<number_packet_t>(packet).number, 0x100);
}

TEST(FieldValues, StringsTravelUpToTheirFirstNul)
{
  name_packet_t p(ADD_GROUP);
  p.name = qstring("ab\0cd", 5);
  EXPECT_EQ(serialize_packet(p), wire({"ab", 0}));
}

TEST(FieldValues, BlobsAppendToWhatTheyHold)
{
  blob_packet_t p(READ_FILE_RESULT);
  p.data = {'x'};
  const bytes_t body = wire({2, "yz", "tail"});
  const uint8_t *cursor = body.data();
  size_t remaining = body.size();
  ASSERT_TRUE(p.deserialize(cursor, remaining, ARKIVE_PROTOCOL_VERSION));
  EXPECT_EQ(to_bytes(p.data), wire({"xyz"}));
  // The cursor stops behind the body; what follows stays unread.
  EXPECT_EQ(remaining, 4u);
  EXPECT_EQ(cursor, body.data() + 3);
}

TEST(FieldValues, FailedBodyKeepsTheFieldsReadBeforeTheFailure)
{
  two_names_number_packet_t p(MOVE_FILES);
  const bytes_t body = wire({"//a", 0, "//b", 0, 0x81});
  const uint8_t *cursor = body.data();
  size_t remaining = body.size();
  EXPECT_FALSE(p.deserialize(cursor, remaining, ARKIVE_PROTOCOL_VERSION));
  EXPECT_EQ(p.name, "//a");
  EXPECT_EQ(p.text, "//b");
  EXPECT_LE(remaining, body.size());
}

TEST(FieldValues, FactoryWithoutBodyGivesTheEmptyPacket)
{
  for ( const packet_type_row_t &row : packet_type_table )
  {
    const auto packet = row.factory(nullptr, 0, ARKIVE_PROTOCOL_VERSION);
    ASSERT_NE(packet, nullptr) << row.name;
    EXPECT_EQ(packet->type, row.type) << row.name;
    const auto footprint = packet_footprint(*packet);
    ASSERT_TRUE(footprint.has_value()) << row.name;
    EXPECT_EQ(*footprint, 0u) << row.name << ": an empty packet holds no buffer";
  }
}

//--------------------------------------------------------------------------
// The smallest size of each record bounds the list counts a reader accepts: it must never exceed what an
// empty record really takes on the wire, or valid lists would be refused.
template<class R>
void expect_min_size_of_empty_record(const char *name, size_t expected)
{
  byte_buffer_t out;
  write_wire(R{}, out, ARKIVE_PROTOCOL_VERSION);
  EXPECT_EQ(out.size(), expected) << name;
  EXPECT_EQ(wire_min_size<R>(), expected) << name;
  // And such a record reads back from exactly those bytes.
  R back;
  const uint8_t *cursor = out.data();
  size_t remaining = out.size();
  EXPECT_TRUE(read_wire(back, cursor, remaining, ARKIVE_PROTOCOL_VERSION)) << name;
  EXPECT_EQ(remaining, 0u) << name;
}

// A record that takes one byte on the wire and a page of memory, and notes the heap in use when its first
// element is read (by then the list has set aside whatever it sets aside beforehand). A byte 0xFF fails it.
struct fat_record_t
{
  uint8_t tag = 0;
  char page[4096] = {};

  static inline size_t heap_at_first = 0;
  static inline bool first = true;
  template<class Self, class V>
  static bool wire_fields(Self &self, V &v)
  {
    if constexpr ( std::is_same_v<V, wire_reader_t> )
    {
      if ( first )
        heap_at_first = heap_in_use();
      first = false;
    }
    return v(self.tag) && self.tag != 0xFF;
  }
};

TEST(WireRecords, ListsSetAsideNoMoreMemoryThanTheBytesLeftJustify)
{
  // A count that the bytes allow (each element takes one byte), elements that take 4 KiB each in memory, and
  // a first element that fails.
  constexpr uint32_t count = 20000;
  byte_buffer_t body;
  wire_put_u32(body, count);
  body.push_back(0xFF);
  body.resize(body.size() + count - 1, 0);
  const size_t before = heap_in_use();
  fat_record_t::first = true;
  qvector<fat_record_t> list;
  const uint8_t *cursor = body.data();
  size_t remaining = body.size();
  EXPECT_FALSE(read_wire(list, cursor, remaining, ARKIVE_PROTOCOL_VERSION));
  EXPECT_FALSE(fat_record_t::first);
  EXPECT_LT(fat_record_t::heap_at_first - std::min(fat_record_t::heap_at_first, before), 2 * body.size() + 65536);
}

TEST(WireRecords, EmptyRecordsTakeTheirSmallestSize)
{
  expect_min_size_of_empty_record<server_message_t>("server_message_t", 2);
  expect_min_size_of_empty_record<arkive_file_info_t>("arkive_file_info_t", 1 + 16 + 2 + 2 + 4 + 1);
  expect_min_size_of_empty_record<commit_info_t>("commit_info_t", 1 + 1 + 2 + 3);
  expect_min_size_of_empty_record<commit_filter_t>("commit_filter_t", 2 + 4 + 2 + 2);
  expect_min_size_of_empty_record<worklist_info_t>("worklist_info_t", 3 + 2 + 2);
  expect_min_size_of_empty_record<worklist_file_t>("worklist_file_t", 3 + 4);
  expect_min_size_of_empty_record<user_info_t>("user_info_t", 5 + 2 + 1);
  expect_min_size_of_empty_record<site_info_t>("site_info_t", 4 + 2);
  expect_min_size_of_empty_record<group_info_t>("group_info_t", 2);
  expect_min_size_of_empty_record<permission_rule_t>("permission_rule_t", 3);
  expect_min_size_of_empty_record<session_info_t>("session_info_t", 3 + 4 + 2);
  expect_min_size_of_empty_record<server_identity_t>("server_identity_t", 3 + 2 + 2);
  expect_min_size_of_empty_record<arkive_server_info_t>("arkive_server_info_t", 9 + 1 + 7 + 3 + 4);
  expect_min_size_of_empty_record<change_status_item_t>("change_status_item_t", 1 + 2 + 16);
}

TEST(WireRecords, FileInfoSizeOfAllOnesTravelsAsZero)
{
  arkive_file_info_t file;
  file.path = "//a";
  file.size = ~uint64_t(0);
  byte_buffer_t out;
  write_wire(file, out, ARKIVE_PROTOCOL_VERSION);
  const bytes_t bytes = to_bytes(out);
  // path (4 bytes), digest (16), then the size: two zero bytes.
  ASSERT_GE(bytes.size(), 22u);
  EXPECT_EQ(bytes[20], 0);
  EXPECT_EQ(bytes[21], 0);

  arkive_file_info_t back;
  back.size = 7;
  const uint8_t *cursor = out.data();
  size_t remaining = out.size();
  ASSERT_TRUE(read_wire(back, cursor, remaining, ARKIVE_PROTOCOL_VERSION));
  EXPECT_EQ(back.size, ~uint64_t(0));
}

TEST(WireRecords, EditedUserKeepsItsInfoText)
{
  const bytes_t received = wire({"ann", 0, "Ann", 0, "a@b", 0, "notes", 0, "opaque\x01", 0, 3, 0, 1});
  user_info_t user;
  const uint8_t *cursor = received.data();
  size_t remaining = received.size();
  ASSERT_TRUE(read_wire(user, cursor, remaining, ARKIVE_PROTOCOL_VERSION));
  user.real_name = "Ann Lee";

  user_edit_packet_t edit(EDIT_USER);
  edit.user = user;
  EXPECT_EQ(serialize_packet(edit),
            wire({"ann", 0, "Ann Lee", 0, "a@b", 0, "notes", 0, "opaque\x01", 0, 3, 0, 1, 0}));
}

TEST(WireRecords, ListsOfRecordsCopyDeeply)
{
  qvector<group_info_t> groups = {{.name = "devs", .members = {"ann", "bob"}}};
  qvector<group_info_t> copy = groups;
  groups[0].members[0] = "zed";
  groups[0].name = "ops";
  EXPECT_EQ(copy[0].name, "devs");
  EXPECT_EQ(copy[0].members[0], "ann");
  copy.resize(0);
  EXPECT_EQ(groups[0].members.size(), 2u);
}

}  // namespace

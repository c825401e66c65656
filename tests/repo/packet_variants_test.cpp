// Bodies the client sends in more than one form: each pair differs exactly where the protocol says it does.
#include "packet_cases.h"

#include "repo/packets_sites.h"
#include "repo/packets_users.h"
#include "repo/packets_worklists.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct variant_case_t
{
  const char *what;
  std::function<std::unique_ptr<rpc_packet_t>(bool second)> build;
  bytes_t first;
  bytes_t second;
};

void PrintTo(const variant_case_t &c, std::ostream *os)
{
  *os << c.what;
}

class PacketVariants : public testing::TestWithParam<variant_case_t>
{
};

TEST_P(PacketVariants, BothFormsHaveTheirBytes)
{
  const variant_case_t &c = GetParam();
  EXPECT_EQ(hex(serialize_packet(*c.build(false))), hex(c.first));
  EXPECT_EQ(hex(serialize_packet(*c.build(true))), hex(c.second));
}

std::unique_ptr<rpc_packet_t> edit_user(bool create)
{
  auto p = std::make_unique<user_edit_packet_t>(EDIT_USER);
  p->user.login = "bob";
  p->user.email = "b@x";
  p->create = create;
  return p;
}

std::unique_ptr<rpc_packet_t> edit_site(bool create)
{
  auto p = std::make_unique<site_edit_packet_t>(EDIT_SITE);
  p->site.name = "ws";
  p->site.root_dir = "/w";
  p->create = create;
  return p;
}

std::unique_ptr<rpc_packet_t> del_site(bool force)
{
  auto p = std::make_unique<name_bool_packet_t>(DEL_SITE);
  p->name = "ws";
  p->force = force;
  return p;
}

std::unique_ptr<rpc_packet_t> del_user(bool confirmed)
{
  auto p = std::make_unique<name_number_packet_t>(DEL_USER);
  p->name = "bob";
  p->number = confirmed ? 3 : 0;
  return p;
}

std::unique_ptr<rpc_packet_t> use_site(bool after_reconnect)
{
  auto p = std::make_unique<two_names_flag_packet_t>(USE_SITE);
  p->name = "ws";
  p->text = after_reconnect ? "pc1" : "";
  p->want_reply = 1;
  return p;
}

std::unique_ptr<rpc_packet_t> folder_listing(bool show_deleted)
{
  auto p = std::make_unique<path_query_packet_t>(GET_ARKIVE_FILES);
  p->patterns = {"//src/"};
  p->revision = -3;
  p->options = show_deleted ? 7 : 6;
  p->want = 2;
  return p;
}

std::unique_ptr<rpc_packet_t> sync_target(bool to_revision)
{
  auto p = std::make_unique<path_query_packet_t>(SYNC_FILES);
  p->patterns = {"//a.c"};
  p->revision = 12;
  p->options = to_revision ? 1 : 0;
  p->want = 1;
  return p;
}

std::unique_ptr<rpc_packet_t> empty_replies(bool file_query)
{
  if ( file_query )
    return std::make_unique<file_query_result_packet_t>(GET_ARKIVE_FILES_RESULT);
  return std::make_unique<message_list_packet_t>(CHECK_PERMISSIONS_RESULT);
}

INSTANTIATE_TEST_SUITE_P(
  Forms, PacketVariants,
  testing::Values(
    variant_case_t{"edit_user_create_flag", edit_user, wire({"bob", 0, 0, "b@x", 0, 0, 0, 0, 0, 0, 0}),
                   wire({"bob", 0, 0, "b@x", 0, 0, 0, 0, 0, 0, 1})},
    variant_case_t{"edit_site_create_flag", edit_site, wire({"ws", 0, 0, "/w", 0, 0, 0, 0, 0}),
                   wire({"ws", 0, 0, "/w", 0, 0, 0, 0, 1})},
    variant_case_t{"del_site_force", del_site, wire({"ws", 0, 0}), wire({"ws", 0, 1})},
    variant_case_t{"del_user_confirmed", del_user, wire({"bob", 0, 0}), wire({"bob", 0, 3})},
    variant_case_t{"use_site_host", use_site, wire({"ws", 0, 0, 1}), wire({"ws", 0, "pc1", 0, 1})},
    variant_case_t{"folder_listing_deleted", folder_listing, wire({1, "//src/", 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFD, 6, 2}),
                   wire({1, "//src/", 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFD, 7, 2})},
    variant_case_t{"sync_commit_or_revision", sync_target, wire({1, "//a.c", 0, 12, 0, 1}),
                   wire({1, "//a.c", 0, 12, 1, 1})},
    variant_case_t{"empty_replies", empty_replies, wire({0}), wire({0, 0})}),
  [](const testing::TestParamInfo<variant_case_t> &info) { return std::string(info.param.what); });

}  // namespace

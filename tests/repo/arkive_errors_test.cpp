// Texts of repository error codes, with explicit details and with the thread's stored detail.
#include "repo/arkive_errors.h"

#include "core/error_state.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

namespace {

struct explicit_detail_case_t
{
  const char *what;
  int code;
  const char *detail;
  const char *expected;
};

void PrintTo(const explicit_detail_case_t &c, std::ostream *os)
{
  *os << "code " << c.code << " detail \"" << c.detail << "\"";
}

class ArkiveErrorText : public testing::TestWithParam<explicit_detail_case_t>
{
};

TEST_P(ArkiveErrorText, FormatsTheRowWithTheDetail)
{
  const explicit_detail_case_t &c = GetParam();
  EXPECT_EQ(std::string(arkive_error_text(c.code, c.detail).c_str()), c.expected);
  // Appended, the same text follows what the string held.
  qstring lines("first\n");
  append_arkive_error_text(&lines, c.code, c.detail);
  EXPECT_EQ(std::string(lines.c_str()), std::string("first\n") + c.expected);
}

INSTANTIATE_TEST_SUITE_P(
  Rows, ArkiveErrorText,
  testing::Values(
    explicit_detail_case_t{"ok_ignores_detail", 0, "whatever", "ok"},
    explicit_detail_case_t{"canceled_has_no_placeholder", 1, "x", "canceled by the user"},
    explicit_detail_case_t{"already_exists", 2, "//a", "'//a' already exists"},
    explicit_detail_case_t{"file_not_found", 3, "/w/a.c", "file '/w/a.c' not found"},
    explicit_detail_case_t{"host_in_the_middle", 13, "pc1", "invalid host 'pc1' for site"},
    explicit_detail_case_t{"not_empty_site", 6, "ws", "'ws' not empty"},
    explicit_detail_case_t{"non_empty_worklists", 16, "bob", "user 'bob' has non-empty worklist(s)"},
    explicit_detail_case_t{"permission_denied_detail_first", 22, "/a", "/a: permission denied"},
    explicit_detail_case_t{"skipped_changed_file", 31, "//a.c",
                           "//a.c: skipped changed file, use sync -f to override it"},
    explicit_detail_case_t{"message_is_the_detail", 33, "disk full", "disk full"},
    explicit_detail_case_t{"percent_in_detail_is_not_a_format", 33, "100%s %d %n", "100%s %d %n"},
    explicit_detail_case_t{"outside_root", 42, "//../x", "'//../x' is outside of site rootdir"},
    explicit_detail_case_t{"bad_packet_number", 47, "10", "bad packet 10"},
    explicit_detail_case_t{"warning_prefix", 52, "late", "warning: late"},
    explicit_detail_case_t{"disconnected_empty", 53, "", ""},
    explicit_detail_case_t{"disconnected_text", 53, "Disconnected from the server", "Disconnected from the server"},
    explicit_detail_case_t{"last_row", 62, "ann", "Wrong pair user/password provided"},
    explicit_detail_case_t{"unlisted_code_keeps_number", 11, "strange", "error 11: strange"},
    explicit_detail_case_t{"unlisted_code_without_detail", 46, "", "error 46"},
    explicit_detail_case_t{"first_code_out_of_table", 63, "x", "?"},
    explicit_detail_case_t{"minus_one", -1, "x", "?"},
    explicit_detail_case_t{"most_negative", INT32_MIN, "x", "?"}),
  [](const testing::TestParamInfo<explicit_detail_case_t> &info) { return std::string(info.param.what); });

TEST(ArkiveErrorTextStoredDetail, NullDetailTakesStringArgumentZero)
{
  error_arg_text(0, "//src/a.c");
  EXPECT_EQ(std::string(arkive_error_text(25).c_str()), "file '//src/a.c' is locked");
  EXPECT_EQ(std::string(arkive_error_text(47, nullptr).c_str()), "bad packet //src/a.c");
  // An explicit detail wins over the stored one.
  EXPECT_EQ(std::string(arkive_error_text(25, "x").c_str()), "file 'x' is locked");
  error_arg_text(0, nullptr);
}

TEST(ArkiveErrorTextStoredDetail, NoStoredDetailGivesTheEmptyText)
{
  error_arg_text(0, nullptr);
  EXPECT_EQ(std::string(arkive_error_text(3).c_str()), "file '' not found");
  EXPECT_EQ(std::string(arkive_error_text(53).c_str()), "");
  error_arg_text(0, "");
  EXPECT_EQ(std::string(arkive_error_text(33).c_str()), "");
  error_arg_text(0, nullptr);
}

}  // namespace

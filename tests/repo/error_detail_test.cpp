// Repository error codes with their detail in the thread's error state.
#include "repo/error_detail.h"

#include "core/error_state.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

std::string detail()
{
  const char *text = get_error_arg_text(0);
  return text != nullptr ? text : "<none>";
}

TEST(ArkiveErrnoError, PathColonBlankAndTheSystemText)
{
  EXPECT_EQ(arkive_errno_error(ENOENT, "/a"), 33);
  EXPECT_EQ(detail(), std::string("/a: ") + system_error_text(ENOENT));
}

TEST(ArkiveErrnoError, WithoutAPathTheSystemTextAlone)
{
  EXPECT_EQ(arkive_errno_error(EACCES, nullptr), 33);
  EXPECT_EQ(detail(), system_error_text(EACCES));
}

TEST(ArkiveErrnoError, MinusOneTakesTheCurrentErrno)
{
  errno = EISDIR;
  EXPECT_EQ(arkive_errno_error(-1, "d"), 33);
  EXPECT_EQ(detail(), std::string("d: ") + system_error_text(EISDIR));
}

TEST(ArkiveFormatError, FormatsTheDetailAndReturnsTheCode)
{
  EXPECT_EQ(arkive_format_error(3, "%s", "/w/a"), 3);
  EXPECT_EQ(detail(), "/w/a");
  EXPECT_EQ(arkive_format_error(42, "%s: %d", "x", 7), 42);
  EXPECT_EQ(detail(), "x: 7");
}

TEST(ArkiveFormatError, AnEmptyTextReleasesTheDetail)
{
  arkive_format_error(3, "%s", "before");
  EXPECT_EQ(arkive_format_error(1, "%s", ""), 1);
  EXPECT_EQ(detail(), "<none>");
}

} // namespace

// Tests of the credential store: naming, round trips, the error texts of bad parts and of missing or
// unreachable credentials, and the process-wide instance.
#include "repo/credential_store.h"

#include "core/error_state.h"
#include "platform/generic_credentials.h"
#include "tests/support/env_guard.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

byte_buffer_t buffer(std::string_view text)
{
  byte_buffer_t b;
  for ( const char c : text )
    b.push_back(uint8_t(c));
  return b;
}

std::string text_of(const byte_buffer_t &b)
{
  return std::string(b.begin(), b.end());
}

// The user's credential file as the store finds it.
generic_credential_file_t user_file()
{
  const char *config = std::getenv("XDG_CONFIG_HOME");
  const char *home = std::getenv("HOME");
  return generic_credential_file_t(
    generic_credential_file_t::default_dir(config != nullptr ? config : "", home != nullptr ? home : ""));
}

class CredentialStore : public testing::Test
{
protected:
  void SetUp() override
  {
    // Each test starts without stored credentials.
    fs::remove(fs::path(user_file().file_path()));
  }

  os_credential_store_t store_;
};

TEST_F(CredentialStore, SecretIsStoredUnderUserTargetAndService)
{
  qstring error;
  ASSERT_TRUE(store_.write_secret("alice", "server.example:65433", "arkstore", buffer(std::string("pw\0", 3)), &error))
    << error.c_str();
  generic_credential_t raw;
  ASSERT_EQ(user_file().read("alice@server.example:65433/arkstore", &raw), 0);
  EXPECT_EQ(raw.user, "alice");
  EXPECT_EQ(std::string(raw.secret.begin(), raw.secret.end()), std::string("pw\0", 3));

  byte_buffer_t out = buffer("kept:");
  ASSERT_TRUE(store_.read_secret(&out, "alice", "server.example:65433", "arkstore", &error));
  EXPECT_EQ(text_of(out), std::string("kept:pw\0", 8)) << "the secret is appended";
}

TEST_F(CredentialStore, WritingTwiceKeepsOneCredentialWithTheSecondSecret)
{
  ASSERT_TRUE(store_.write_secret("u", "h:1", "arkstore", buffer("first"), nullptr));
  ASSERT_TRUE(store_.write_secret("u", "h:1", "arkstore", buffer("second"), nullptr));
  ASSERT_TRUE(store_.write_secret("u", "h:1", "arkstore_proxy", buffer("proxy"), nullptr));
  byte_buffer_t out;
  ASSERT_TRUE(store_.read_secret(&out, "u", "h:1", "arkstore", nullptr));
  EXPECT_EQ(text_of(out), "second");
  out.clear();
  ASSERT_TRUE(store_.read_secret(&out, "u", "h:1", "arkstore_proxy", nullptr));
  EXPECT_EQ(text_of(out), "proxy");
}

TEST_F(CredentialStore, DeletingRemovesOnlyThatCredentialAndMissingOnesCountAsDeleted)
{
  ASSERT_TRUE(store_.write_secret("u", "h:1", "arkstore", buffer("pw"), nullptr));
  ASSERT_TRUE(store_.write_secret("u", "h:1", "arkstore_proxy", buffer("pp"), nullptr));
  qstring error = "untouched";
  EXPECT_TRUE(store_.delete_secret("u", "h:1", "arkstore", &error));
  EXPECT_TRUE(store_.delete_secret("u", "h:1", "arkstore", &error)) << "already gone";
  EXPECT_TRUE(store_.delete_secret("nobody", "h:1", "arkstore", &error)) << "never stored";
  EXPECT_EQ(error, "untouched");
  byte_buffer_t out;
  EXPECT_FALSE(store_.read_secret(&out, "u", "h:1", "arkstore", nullptr));
  EXPECT_TRUE(store_.read_secret(&out, "u", "h:1", "arkstore_proxy", nullptr));
}

TEST_F(CredentialStore, ReadingAMissingCredentialGivesTheSystemsMessage)
{
  byte_buffer_t out = buffer("x");
  qstring error;
  EXPECT_FALSE(store_.read_secret(&out, "u", "h:1", "arkstore", &error));
  EXPECT_EQ(error, win_error_text(ENOKEY));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(text_of(out), "x");
  EXPECT_FALSE(store_.read_secret(&out, "u", "h:1", "arkstore", nullptr)) << "no error string to fill";
}

TEST_F(CredentialStore, BadPartsAreRefusedWithoutTouchingTheFile)
{
  struct row
  {
    const char *label;
    const char *user;
    const char *target;
    const char *service;
    const char *error;
  };
  const row rows[] = {
    {"null user", nullptr, "h:1", "arkstore", "Invalid credentionals"},
    {"null target", "u", nullptr, "arkstore", "Invalid credentionals"},
    {"null service", "u", "h:1", nullptr, "Invalid credentionals"},
    {"user not UTF-8", "\xC3", "h:1", "arkstore", "Conversion error"},
    {"target not UTF-8", "u", "h\xFF:1", "arkstore", "Conversion error"},
    {"service overlong", "u", "h:1", "\xC0\xAF", "Conversion error"},
  };
  for ( const row &r : rows )
  {
    qstring error;
    byte_buffer_t out;
    EXPECT_FALSE(store_.write_secret(r.user, r.target, r.service, buffer("pw"), &error)) << r.label;
    EXPECT_EQ(error, r.error) << r.label;
    error.clear();
    EXPECT_FALSE(store_.read_secret(&out, r.user, r.target, r.service, &error)) << r.label;
    EXPECT_EQ(error, r.error) << r.label;
    error.clear();
    EXPECT_FALSE(store_.delete_secret(r.user, r.target, r.service, &error)) << r.label;
    EXPECT_EQ(error, r.error) << r.label;
    EXPECT_FALSE(store_.write_secret(r.user, r.target, r.service, buffer("pw"), nullptr)) << r.label;
  }
  EXPECT_FALSE(fs::exists(user_file().file_path()));
}

TEST_F(CredentialStore, UnreachableFolderFailsWithTheSystemsMessage)
{
  const fs::path blocker = fs::path(std::getenv("XDG_CONFIG_HOME")).parent_path() / "not-a-folder";
  std::ofstream(blocker) << "x";
  const env_guard_t config("XDG_CONFIG_HOME", blocker.c_str());
  qstring error;
  byte_buffer_t out;
  EXPECT_FALSE(store_.write_secret("u", "h:1", "arkstore", buffer("pw"), &error));
  EXPECT_EQ(error, win_error_text(ENOTDIR));
  error.clear();
  EXPECT_FALSE(store_.read_secret(&out, "u", "h:1", "arkstore", &error));
  EXPECT_EQ(error, win_error_text(ENOTDIR));
  error.clear();
  EXPECT_FALSE(store_.delete_secret("u", "h:1", "arkstore", &error)) << "only a missing entry counts as deleted";
  EXPECT_EQ(error, win_error_text(ENOTDIR));
}

TEST(CredentialStoreInstance, IsOneStoreForEveryThread)
{
  std::vector<credential_store_t *> seen(8, nullptr);
  std::vector<std::thread> threads;
  for ( size_t i = 0; i < seen.size(); ++i )
    threads.emplace_back([&seen, i] { seen[i] = credential_store_instance(); });
  for ( std::thread &t : threads )
    t.join();
  ASSERT_NE(seen[0], nullptr);
  for ( credential_store_t *s : seen )
    EXPECT_EQ(s, seen[0]);
  EXPECT_NE(dynamic_cast<os_credential_store_t *>(seen[0]), nullptr);
}

} // namespace

// The command line: the options the start-up consumes, the credentials' options and where the login data comes from.
#include "client/app/client_config.h"
#include "core/registry.h"
#include "tests/support/env_guard.h"
#include "tests/support/recording_ui_callback.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// An argument vector the scan may rewrite: owned texts and a null-terminated pointer array.
struct arguments_t
{
  explicit arguments_t(std::vector<std::string> texts) : storage(std::move(texts))
  {
    for ( std::string &text : storage )
      pointers.push_back(text.data());
    pointers.push_back(nullptr);
    argc = int(storage.size());
  }
  [[nodiscard]] std::vector<std::string> left() const { return {pointers.begin(), pointers.begin() + argc}; }

  std::vector<std::string> storage;
  std::vector<char *> pointers;
  int argc;
};

struct option_scan_case_t
{
  const char *name;
  std::vector<std::string> argv;
  std::vector<std::string> left;
  const char *log_path;
  bool flags_given;
  uint32_t flags;
};

TEST(CommandLine, LeadingOptionsAreConsumedUntilTheFirstArgumentThatIsNoOption)
{
  const option_scan_case_t cases[] = {
    {"empty log path and flags", {"akui", "-L", "-zFF", "file"}, {"akui", "file"}, "", true, 0xFF},
    {"log path after flags", {"akui", "-zFF", "-L/tmp/akui.log"}, {"akui"}, "/tmp/akui.log", true, 0xFF},
    {"the later log path wins", {"akui", "-Lfirst", "-Lsecond"}, {"akui"}, "second", false, 0},
    {"a non-option stops the scan", {"akui", "file", "-Lx", "-z1"}, {"akui", "file", "-Lx", "-z1"}, "", false, 0},
    {"not wholly hexadecimal", {"akui", "-z1G"}, {"akui"}, "", true, 0xFFFFFFFF},
    {"no digits", {"akui", "-z"}, {"akui"}, "", true, 0xFFFFFFFF},
    {"trailing blank", {"akui", "-z10 "}, {"akui"}, "", true, 0xFFFFFFFF},
    {"lower-case digits", {"akui", "-zdeadbeef"}, {"akui"}, "", true, 0xDEADBEEF},
    {"directives and logins stay in order",
     {"akui", "-DTOOL_CLOSED_BY_ESC=1", "-hhost", "-Llog", "-sdemo", "rest"},
     {"akui", "-DTOOL_CLOSED_BY_ESC=1", "-hhost", "-sdemo", "rest"}, "log", false, 0},
    {"program name only", {"akui"}, {"akui"}, "", false, 0},
  };
  for ( const option_scan_case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    arguments_t args(c.argv);
    leading_options_t options;
    consume_leading_options(&args.argc, args.pointers.data(), &options);
    EXPECT_EQ(args.left(), c.left);
    EXPECT_EQ(args.pointers[size_t(args.argc)], nullptr);
    EXPECT_STREQ(options.log_path.c_str(), c.log_path);
    EXPECT_EQ(options.debug_flags_given, c.flags_given);
    if ( c.flags_given )
    {
      EXPECT_EQ(options.debug_flags, c.flags);
    }
  }
}

TEST(CommandLine, CredentialOptionsSetTheClientsFlags)
{
  struct case_t
  {
    const char *argument;
    bool known;
    const char *host;
    uint16_t port;
    const char *user;
    const char *password;
    const char *site;
    const char *proxy_host;
    uint32_t flags;
  };
  const case_t cases[] = {
    {"-sdemo", true, "old", 1, "ann", "secret", "demo", "", 0x100},
    {"-s", true, "old", 1, "ann", "secret", "", "", 0x100},
    {"-hnewhost", true, "newhost", 1, "ann", "secret", "site0", "", 0},
    {"-hbob:pw@newhost:2000", true, "newhost", 2000, "bob", "pw", "site0", "", 0},
    {"-Pproxy:8080", true, "old", 1, "ann", "secret", "site0", "proxy", 0x402},
    {"-ucarol", true, "old", 1, "carol", "secret", "site0", "", 0},
    {"-p", true, "old", 1, "ann", "", "site0", "", 0},
    {"-x", false, "old", 1, "ann", "secret", "site0", "", 0},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.argument);
    arkive_credentials_t login;
    login.host = "old";
    login.port = 1;
    login.user = "ann";
    login.password = "secret";
    login.site = "site0";
    EXPECT_EQ(parse_credentials_option(&login, c.argument), c.known);
    EXPECT_STREQ(login.host.c_str(), c.host);
    EXPECT_EQ(login.port, c.port);
    EXPECT_STREQ(login.user.c_str(), c.user);
    EXPECT_STREQ(login.password.c_str(), c.password);
    EXPECT_STREQ(login.site.c_str(), c.site);
    EXPECT_STREQ(login.proxy.host.c_str(), c.proxy_host);
    EXPECT_EQ(login.flags, c.flags);
  }
}

TEST(CommandLine, LoginDataRisesFromConfigurationToEnvironmentToOptions)
{
  recording_ui_callback_t ui;
  env_guard_t env({"ARKIVE_HOST", "ARKIVE_USER", "ARKIVE_PASS", "ARKIVE_SITE", "ARKIVE_PROXY", "http_proxy", "USER"});
  for ( const char *name : {"ARKIVE_HOST", "ARKIVE_USER", "ARKIVE_PASS", "ARKIVE_SITE", "ARKIVE_PROXY", "http_proxy"} )
    set_env(name, nullptr);

  struct case_t
  {
    const char *name;
    const char *env_user;
    const char *env_site;
    std::vector<std::string> argv;
    const char *user;
    const char *site;
  };
  const case_t cases[] = {
    {"configuration only", nullptr, nullptr, {"akui"}, "cfguser", "cfgsite"},
    {"environment over configuration", "envuser", "envsite", {"akui"}, "envuser", "envsite"},
    {"options over environment", "envuser", "envsite", {"akui", "-uarguser", "-sargsite"}, "arguser", "argsite"},
    {"options after a non-option are not read", "envuser", nullptr, {"akui", "file", "-uarguser"}, "envuser",
     "cfgsite"},
  };
  for ( const case_t &c : cases )
  {
    SCOPED_TRACE(c.name);
    set_env("ARKIVE_USER", c.env_user);
    set_env("ARKIVE_SITE", c.env_site);
    akui_client_config_t config;
    const auto table = client_keyword_table(config);
    for ( const char *directive : {"ARKIVE_USER = \"cfguser\"", "ARKIVE_SITE = \"cfgsite\""} )
      ASSERT_TRUE(read_config_source(directive, 0, table.data(), table.size(), legacy_key_directive, nullptr, 0,
                                     &config));
    arguments_t args(c.argv);
    merge_start_credentials(&config.default_credentials, args.argc, args.pointers.data());
    EXPECT_STREQ(config.default_credentials.user.c_str(), c.user);
    EXPECT_STREQ(config.default_credentials.site.c_str(), c.site);
  }
}

TEST(CommandLine, WithoutAnyUserTheSystemsUserNameIsTaken)
{
  env_guard_t env({"ARKIVE_USER", "USER"});
  set_env("ARKIVE_USER", nullptr);
  const qstring system_name = system_user_name();
  ASSERT_FALSE(system_name.empty());
  arkive_credentials_t login;
  arguments_t args({"akui"});
  merge_start_credentials(&login, args.argc, args.pointers.data());
  EXPECT_EQ(login.user, system_name);
  // A user from any source is kept.
  arkive_credentials_t named;
  arguments_t with_user({"akui", "-udave"});
  merge_start_credentials(&named, with_user.argc, with_user.pointers.data());
  EXPECT_STREQ(named.user.c_str(), "dave");
}

} // namespace

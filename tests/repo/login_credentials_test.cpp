// Tests of logins: endpoint texts, command-line options, saving, loading, forgetting and migrating logins in
// a test registry with their passwords in the credential store.
#include "repo/login_credentials.h"

#include "core/qvector.h"
#include "core/registry.h"
#include "repo/credential_store.h"
#include "tests/support/env_guard.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

std::string str(const qstring &s)
{
  return std::string(s.view());
}

endpoint_credentials_t endpoint(const char *host, uint16_t port, const char *user = "", const char *password = "")
{
  endpoint_credentials_t e;
  e.host = host;
  e.port = port;
  e.user = user;
  e.password = password;
  return e;
}

std::optional<std::string> registry_text(const char *name, const char *subkey)
{
  qstring out;
  if ( !registry_read_text(&out, name, subkey) )
    return std::nullopt;
  return str(out);
}

std::optional<std::string> stored_secret(const char *user, const char *target, const char *service)
{
  byte_buffer_t secret;
  if ( !credential_store_instance()->read_secret(&secret, user, target, service, nullptr) )
    return std::nullopt;
  return std::string(secret.begin(), secret.end());
}

// Every test starts under the application "akui" without saved logins, stored passwords or login variables.
class Logins : public testing::Test
{
protected:
  void SetUp() override
  {
    for ( const char *name : {"ARKIVE_HOST", "ARKIVE_USER", "ARKIVE_PASS", "ARKIVE_SITE", "ARKIVE_PROXY", "http_proxy"} )
      unsetenv(name);
    ASSERT_TRUE(registry_select_app("akui"));
    (void)registry_remove_tree("ArkiveCredentials"); // absent in a fresh test
    registry_remove_value("ArkiveStoreCredentials");
    const char *config = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::remove(std::filesystem::path(config) / "Quorvin" / "credentials");
  }

  const env_guard_t environment_{"ARKIVE_HOST", "ARKIVE_USER", "ARKIVE_PASS", "ARKIVE_SITE", "ARKIVE_PROXY", "http_proxy"};
  static arkive_credentials_t login(const char *user, const char *host, uint16_t port)
  {
    arkive_credentials_t c;
    c.user = user;
    c.host = host;
    c.port = port;
    return c;
  }
};

//--------------------------------------------------------------------------
// Endpoint texts.

TEST(EndpointText, ParsesUsersPasswordsHostsAndPorts)
{
  struct row
  {
    const char *label;
    const char *text;
    bool keep;
    bool ok;
    const char *host;
    uint16_t port;
    const char *user;
    const char *password;
  };
  // Every row starts from the endpoint old:7 with user "ou" and password "op".
  const row rows[] = {
    {"all four", "alice:pw@srv:8080", false, true, "srv", 8080, "alice", "pw"},
    {"bare host keeps the port", "srv", true, true, "srv", 7, "ou", "op"},
    {"bare host without keep", "srv", false, true, "srv", 0, "", ""},
    {"user without password keeps it", "bob@srv:1", true, true, "srv", 1, "bob", "op"},
    {"user ending in a colon keeps the password", "bob:@srv", true, true, "srv", 7, "bob", "op"},
    {"empty user before a password", ":pw@srv", true, true, "srv", 7, "", "pw"},
    {"host part ending in a colon", "srv:", true, true, "srv", 0, "ou", "op"},
    {"single word ending in @", "word@", true, true, "word", 7, "ou", "op"},
    {"port with a trailing slash", "proxy:3128/", false, true, "proxy", 3128, "", ""},
    {"highest port", "srv:65535", false, true, "srv", 65535, "", ""},
    {"IPv6 in brackets with a port", "u@[2001:db8::2]:443", false, true, "2001:db8::2", 443, "u", ""},
    {"IPv6 in brackets keeps the port", "[::1]", true, true, "::1", 7, "ou", "op"},
    {"bare IPv6 keeps the port", "fe80::1", true, true, "fe80::1", 7, "ou", "op"},
    {"empty text", "", true, false, "old", 7, "ou", "op"},
    {"empty user part", "@srv", true, false, "old", 7, "ou", "op"},
    {"two @", "a@b@c", true, false, "old", 7, "ou", "op"},
    {"two colons in the user part", "a:b:c@srv", true, false, "old", 7, "ou", "op"},
    {"port 0", "srv:0", true, false, "old", 7, "ou", "op"},
    {"port above 16 bits", "srv:65536", true, false, "old", 7, "ou", "op"},
    {"port that would wrap", "srv:4295032833", true, false, "old", 7, "ou", "op"},
    {"port with letters", "srv:80a", true, false, "old", 7, "ou", "op"},
    {"negative port", "srv:-1", true, false, "old", 7, "ou", "op"},
    {"two slashes after the port", "srv:80//", true, false, "old", 7, "ou", "op"},
    {"unclosed bracket", "[::1:80", true, false, "old", 7, "ou", "op"},
    {"empty brackets", "[]:80", true, false, "old", 7, "ou", "op"},
    {"text after the bracket", "[::1]80", true, false, "old", 7, "ou", "op"},
    {"bad port after a user with keep", "u:p@srv:99999", true, false, "old", 7, "u", "p"},
    {"bad port without keep clears", "u:p@srv:99999", false, false, "", 0, "", ""},
  };
  for ( const row &r : rows )
  {
    endpoint_credentials_t e = endpoint("old", 7, "ou", "op");
    EXPECT_EQ(parse_endpoint_string(&e, r.text, r.keep), r.ok) << r.label;
    EXPECT_EQ(str(e.host), r.host) << r.label;
    EXPECT_EQ(e.port, r.port) << r.label;
    EXPECT_EQ(str(e.user), r.user) << r.label;
    EXPECT_EQ(str(e.password), r.password) << r.label;
  }
  endpoint_credentials_t e = endpoint("old", 7);
  EXPECT_FALSE(parse_endpoint_string(&e, nullptr, false));
  EXPECT_TRUE(e.host.empty());
}

TEST(EndpointText, PrintsLoginAndTargetTexts)
{
  struct row
  {
    const char *label;
    endpoint_credentials_t endpoint;
    bool with_user;
    const char *expected; // null: the output stays as it was
  };
  const row rows[] = {
    {"login text", endpoint("srv", 65433, "alice", "pw"), true, "alice@srv:65433"},
    {"login text without a user", endpoint("srv", 80), true, "srv:80"},
    {"target text", endpoint("srv", 80, "alice", "pw"), false, "srv:80"},
    {"IPv6 host in brackets", endpoint("::1", 8080, "u"), true, "u@[::1]:8080"},
    {"port 0", endpoint("srv", 0, "u"), true, nullptr},
    {"empty host", endpoint("", 80, "u"), false, nullptr},
  };
  for ( const row &r : rows )
  {
    qstring out = "before";
    endpoint_to_string(r.endpoint, &out, r.with_user);
    EXPECT_EQ(str(out), r.expected != nullptr ? r.expected : "before") << r.label;
    if ( r.expected == nullptr )
      continue;
    // What is printed parses back to the same endpoint, less the password.
    endpoint_credentials_t back;
    ASSERT_TRUE(parse_endpoint_string(&back, out.c_str(), false)) << r.label;
    EXPECT_EQ(str(back.host), str(r.endpoint.host)) << r.label;
    EXPECT_EQ(back.port, r.endpoint.port) << r.label;
    EXPECT_EQ(str(back.user), r.with_user ? str(r.endpoint.user) : "") << r.label;
    EXPECT_TRUE(back.password.empty()) << r.label;
  }
}

TEST(EndpointText, ClearAssignAndFree)
{
  endpoint_credentials_t a = endpoint("h", 1, "u", "p");
  endpoint_credentials_t b;
  endpoint_assign(&b, a);
  EXPECT_EQ(str(b.host), "h");
  EXPECT_EQ(b.port, 1);
  EXPECT_EQ(str(b.user), "u");
  EXPECT_EQ(str(b.password), "p");
  endpoint_clear(&a);
  EXPECT_TRUE(a.host.empty() && a.user.empty() && a.password.empty());
  EXPECT_EQ(a.port, 0);
  free_endpoint_strings(&b);
  EXPECT_EQ(b.host.data(), nullptr);
  EXPECT_EQ(b.password.data(), nullptr);
}

//--------------------------------------------------------------------------
// Records and options.

TEST(Credentials, DefaultsCopiesAndClearing)
{
  arkive_credentials_t c;
  EXPECT_EQ(str(c.host), default_arkive_host);
  EXPECT_FALSE(c.host.empty());
  EXPECT_EQ(c.port, 65433);
  EXPECT_TRUE(c.user.empty() && c.password.empty() && c.proxy.host.empty() && c.site.empty());
  EXPECT_EQ(c.flags, 0u);

  c.user = "u";
  c.password = "p";
  c.proxy = endpoint("px", 3128, "pu", "pp");
  c.flags = credentials_use_proxy | credentials_save;
  c.site = "site";
  arkive_credentials_t copy;
  copy = c;
  EXPECT_EQ(str(copy.user), "u");
  EXPECT_EQ(str(copy.password), "p");
  EXPECT_EQ(str(copy.proxy.password), "pp");
  EXPECT_EQ(copy.flags, c.flags);
  EXPECT_EQ(str(copy.site), "site");

  copy.clear();
  EXPECT_TRUE(copy.host.empty() && copy.user.empty() && copy.password.empty() && copy.proxy.host.empty()
              && copy.proxy.password.empty() && copy.site.empty());
  EXPECT_EQ(copy.port, 0);
  EXPECT_EQ(copy.flags, 0u);
}

TEST(Credentials, CommandLineOptions)
{
  struct row
  {
    const char *label;
    const char *argument;
    bool handled;
    const char *host;
    uint16_t port;
    const char *user;
    const char *password;
    const char *site;
    uint32_t flags;
    const char *proxy_host;
    uint16_t proxy_port;
  };
  // Every row starts from user "ou", password "op", site "os", host old:7 and no proxy.
  const row rows[] = {
    {"-h with all four parts", "-halice:pw@srv:8080", true, "srv", 8080, "alice", "pw", "os", 0, "", 0},
    {"-h with a bare host keeps the port", "-hsrv", true, "srv", 7, "ou", "op", "os", 0, "", 0},
    {"-h starting with @ changes nothing", "-h@srv", true, "old", 7, "ou", "op", "os", 0, "", 0},
    {"-u", "-ubob", true, "old", 7, "bob", "op", "os", 0, "", 0},
    {"-u empty", "-u", true, "old", 7, "", "op", "os", 0, "", 0},
    {"-p", "-psecret", true, "old", 7, "ou", "secret", "os", 0, "", 0},
    {"-s", "-smysite", true, "old", 7, "ou", "op", "mysite", 0, "", 0},
    {"-s empty", "-s", true, "old", 7, "ou", "op", "", 0, "", 0},
    {"-P", "-Pproxy:3128", true, "old", 7, "ou", "op", "os", credentials_use_proxy, "proxy", 3128},
    {"-P that does not parse still sets the flag", "-P@x", true, "old", 7, "ou", "op", "os", credentials_use_proxy,
     "", 0},
    {"unknown letter", "-xvalue", false, "old", 7, "ou", "op", "os", 0, "", 0},
    {"no letter", "-", false, "old", 7, "ou", "op", "os", 0, "", 0},
  };
  for ( const row &r : rows )
  {
    arkive_credentials_t c;
    c.host = "old";
    c.port = 7;
    c.user = "ou";
    c.password = "op";
    c.site = "os";
    EXPECT_EQ(c.parse_option(r.argument), r.handled) << r.label;
    EXPECT_EQ(str(c.host), r.host) << r.label;
    EXPECT_EQ(c.port, r.port) << r.label;
    EXPECT_EQ(str(c.user), r.user) << r.label;
    EXPECT_EQ(str(c.password), r.password) << r.label;
    EXPECT_EQ(str(c.site), r.site) << r.label;
    EXPECT_EQ(c.flags, r.flags) << r.label;
    EXPECT_EQ(str(c.proxy.host), r.proxy_host) << r.label;
    EXPECT_EQ(c.proxy.port, r.proxy_port) << r.label;
  }
  login_credentials_t bare;
  EXPECT_FALSE(bare.parse_option("-ssite")) << "a bare login has no site";
  EXPECT_TRUE(bare.parse_option("-ubob"));
  EXPECT_EQ(str(bare.user), "bob");
}

TEST(CredentialsDeathTest, ArgumentWithoutDashIsAnInternalError)
{
  arkive_credentials_t c;
  EXPECT_EXIT(c.parse_option("hsrv"), testing::ExitedWithCode(1), "internal error 2695");
  login_credentials_t bare;
  EXPECT_EXIT(bare.parse_option("hsrv"), testing::ExitedWithCode(1), "internal error 2756");
}

TEST(Credentials, BareLoginHasNoStoredPasswordsAndCannotBeSaved)
{
  login_credentials_t bare;
  bare.user = "u";
  bare.host = "h";
  bare.port = 1;
  qstring out = "x";
  qstring error = "y";
  EXPECT_FALSE(bare.read_password(&out, &error));
  EXPECT_FALSE(bare.read_proxy_password(&out, &error));
  EXPECT_FALSE(bare.save(&error));
  EXPECT_EQ(str(out), "x");
  EXPECT_EQ(str(error), "y");
}

//--------------------------------------------------------------------------
// Saving and loading.

TEST_F(Logins, SavingWritesTheRegistryAndTheStore)
{
  arkive_credentials_t c = login("alice", "srv", 8080);
  c.password = "pw";
  c.site = "work";
  c.flags = credentials_use_proxy;
  c.proxy = endpoint("px", 3128, "pu", "ppw");
  qstring error;
  ASSERT_TRUE(c.save(&error)) << error.c_str();

  EXPECT_EQ(registry_text("Default", "ArkiveCredentials"), "alice@srv:8080");
  qstring key;
  credentials_registry_key(c, &key);
  EXPECT_EQ(str(key), "ArkiveCredentials\\alice@srv:8080");
  EXPECT_EQ(registry_text("DefaultSite", key.c_str()), "work");
  EXPECT_EQ(registry_int("UseProxy", false, -1, key.c_str()), 1);
  EXPECT_EQ(registry_text("Proxy", key.c_str()), "pu@px:3128");
  EXPECT_EQ(registry_text("Password", key.c_str()), std::nullopt) << "no password in the registry";
  EXPECT_EQ(stored_secret("alice", "srv:8080", "arkstore"), std::string("pw\0", 3)) << "n + 1 bytes";
  EXPECT_EQ(stored_secret("alice", "srv:8080", "arkstore_proxy"), std::string("ppw\0", 4));

  qstring password;
  ASSERT_TRUE(c.read_password(&password, &error));
  EXPECT_EQ(str(password), "pw");
  ASSERT_TRUE(c.read_proxy_password(&password, &error));
  EXPECT_EQ(str(password), "ppw");
}

TEST_F(Logins, SavedLoginLoadsBackWithoutPasswords)
{
  arkive_credentials_t saved = login("alice", "srv", 8080);
  saved.password = "pw";
  saved.site = "work";
  saved.flags = credentials_use_proxy;
  saved.proxy = endpoint("px", 3128, "pu", "ppw");
  ASSERT_TRUE(saved.save(nullptr));
  set_store_credentials_flag(true);

  arkive_credentials_t loaded;
  load_saved_credentials(&loaded);
  EXPECT_EQ(str(loaded.user), "alice");
  EXPECT_EQ(str(loaded.host), "srv");
  EXPECT_EQ(loaded.port, 8080);
  EXPECT_EQ(str(loaded.site), "work");
  EXPECT_EQ(loaded.flags, credentials_use_proxy | credentials_save);
  EXPECT_EQ(str(loaded.proxy.host), "px");
  EXPECT_EQ(loaded.proxy.port, 3128);
  EXPECT_EQ(str(loaded.proxy.user), "pu");
  EXPECT_TRUE(loaded.password.empty());
  EXPECT_TRUE(loaded.proxy.password.empty());
  qstring password;
  ASSERT_TRUE(loaded.read_password(&password, nullptr));
  EXPECT_EQ(str(password), "pw");
}

TEST_F(Logins, SavedLoginWithoutUseProxyClearsTheFlagAndAnEmptyUserReplacesTheUser)
{
  registry_write_text("Default", "ArkiveCredentials", "srv:1");
  arkive_credentials_t c;
  c.user = "earlier";
  c.flags = credentials_use_proxy | credentials_save;
  load_saved_credentials(&c);
  EXPECT_EQ(c.flags, 0u);
  EXPECT_TRUE(c.user.empty());
  EXPECT_EQ(str(c.host), "srv");
  EXPECT_EQ(c.port, 1);
}

TEST_F(Logins, UnparsableDefaultIsIgnored)
{
  registry_write_text("Default", "ArkiveCredentials", "a@b@c");
  arkive_credentials_t c = login("u", "h", 9);
  load_saved_credentials(&c);
  EXPECT_EQ(str(c.user), "u");
  EXPECT_EQ(str(c.host), "h");
  EXPECT_EQ(c.port, 9);
}

TEST_F(Logins, HttpProxyIsUsedOnlyWithoutASavedLogin)
{
  struct row
  {
    const char *label;
    const char *value;
    bool flag;
    const char *host;
    uint16_t port;
    const char *user;
  };
  const row rows[] = {
    {"http URL with a slash after the port", "http://proxy.corp:3128/", true, "proxy.corp", 3128, ""},
    {"https URL with a user", "https://pu:pp@px:8443", true, "px", 8443, "pu"},
    {"bare endpoint", "px:8000", true, "px", 8000, ""},
    {"bad port", "http://px:99999/", false, "", 0, ""},
    {"empty", "", false, "", 0, ""},
  };
  for ( const row &r : rows )
  {
    setenv("http_proxy", r.value, 1);
    arkive_credentials_t c;
    load_saved_credentials(&c);
    EXPECT_EQ((c.flags & credentials_use_proxy) != 0, r.flag) << r.label;
    EXPECT_EQ(str(c.proxy.host), r.host) << r.label;
    EXPECT_EQ(c.proxy.port, r.port) << r.label;
    EXPECT_EQ(str(c.proxy.user), r.user) << r.label;
  }
  setenv("http_proxy", "http://px:3128/", 1);
  ASSERT_TRUE(login("alice", "srv", 1).save(nullptr));
  arkive_credentials_t c;
  load_saved_credentials(&c);
  EXPECT_EQ(c.flags & credentials_use_proxy, 0u) << "a saved login wins";
  EXPECT_TRUE(c.proxy.host.empty());
}

TEST_F(Logins, EnvironmentOverridesTheSavedLogin)
{
  arkive_credentials_t saved = login("alice", "srv", 8080);
  saved.site = "work";
  ASSERT_TRUE(saved.save(nullptr));
  setenv("ARKIVE_HOST", "other:99", 1);
  setenv("ARKIVE_USER", "bob", 1);
  setenv("ARKIVE_PASS", "envpw", 1);
  setenv("ARKIVE_SITE", "", 1);
  setenv("ARKIVE_PROXY", "pu:pp@px:3128", 1);
  arkive_credentials_t c;
  load_saved_credentials(&c);
  EXPECT_EQ(str(c.host), "other:99") << "the host as a whole; no port is taken from it";
  EXPECT_EQ(c.port, 8080);
  EXPECT_EQ(str(c.user), "bob");
  EXPECT_EQ(str(c.password), "envpw");
  EXPECT_EQ(str(c.site), "") << "a variable set to nothing empties the site";
  EXPECT_NE(c.flags & credentials_use_proxy, 0u);
  EXPECT_EQ(str(c.proxy.host), "px");
  EXPECT_EQ(str(c.proxy.password), "pp");
}

TEST_F(Logins, StoreFlagFollowsTheRegistry)
{
  EXPECT_FALSE(get_store_credentials_flag()) << "missing reads as false";
  arkive_credentials_t c;
  c.flags = credentials_save;
  load_saved_credentials(&c);
  EXPECT_EQ(c.flags & credentials_save, 0u);
  set_store_credentials_flag(true);
  EXPECT_TRUE(get_store_credentials_flag());
  EXPECT_EQ(registry_int("ArkiveStoreCredentials", false, -1), 1);
  load_saved_credentials(&c);
  EXPECT_NE(c.flags & credentials_save, 0u);
  set_store_credentials_flag(false);
  EXPECT_FALSE(get_store_credentials_flag());
}

TEST_F(Logins, IncompleteLoginsAreNotSaved)
{
  struct row
  {
    const char *label;
    const char *user;
    const char *host;
    uint16_t port;
    const char *error;
  };
  const row rows[] = {
    {"no user", "", "srv", 1, "Invalid user name"},
    {"no user and no host", "", "", 1, "Invalid user name"},
    {"no host", "alice", "", 1, "Invalid host name"},
    {"no port", "alice", "srv", 0, "Invalid host name"},
  };
  for ( const row &r : rows )
  {
    arkive_credentials_t c = login(r.user, r.host, r.port);
    c.password = "pw";
    qstring error;
    EXPECT_FALSE(c.save(&error)) << r.label;
    EXPECT_EQ(str(error), r.error) << r.label;
    EXPECT_FALSE(c.save(nullptr)) << r.label;
  }
  qvector<qstring> names;
  EXPECT_FALSE(registry_list_names(&names, "ArkiveCredentials", false)) << "nothing written";
}

TEST_F(Logins, LoginWithoutHostOrPortNeverTouchesOtherLogins)
{
  arkive_credentials_t saved = login("bob", "srv", 1);
  saved.site = "work";
  saved.password = "pw";
  ASSERT_TRUE(saved.save(nullptr));
  for ( arkive_credentials_t partial : {login("alice", "srv", 0), login("alice", "", 1)} )
  {
    qstring error;
    EXPECT_TRUE(forget_saved_credentials(partial, &error)) << error.c_str();
    partial.save_default_site("elsewhere");
    partial.site = "kept";
    EXPECT_FALSE(partial.load_default_site());
    EXPECT_EQ(str(partial.site), "kept");
  }
  EXPECT_EQ(registry_text("DefaultSite", "ArkiveCredentials\\bob@srv:1"), "work");
  EXPECT_EQ(registry_text("Default", "ArkiveCredentials"), "bob@srv:1");
  EXPECT_EQ(registry_text("DefaultSite", "ArkiveCredentials"), std::nullopt);
  EXPECT_EQ(stored_secret("bob", "srv:1", "arkstore"), std::string("pw\0", 3));

  // A saved "Default" without a port gives the login but none of its values.
  registry_write_text("Default", "ArkiveCredentials", "bob@srv");
  arkive_credentials_t loaded;
  loaded.flags = credentials_use_proxy;
  load_saved_credentials(&loaded);
  EXPECT_EQ(str(loaded.user), "bob");
  EXPECT_EQ(loaded.port, 0);
  EXPECT_TRUE(loaded.site.empty());
  EXPECT_EQ(loaded.flags & credentials_use_proxy, 0u);
}

TEST_F(Logins, SavingWithoutAProxyRemovesTheEarlierProxy)
{
  arkive_credentials_t c = login("alice", "srv", 1);
  c.proxy = endpoint("px", 3128);
  c.flags = credentials_use_proxy;
  ASSERT_TRUE(c.save(nullptr));
  c.proxy = endpoint("", 0);
  c.flags = 0;
  ASSERT_TRUE(c.save(nullptr));
  arkive_credentials_t loaded;
  load_saved_credentials(&loaded);
  EXPECT_TRUE(loaded.proxy.host.empty());
  EXPECT_EQ(loaded.flags & credentials_use_proxy, 0u);
}

TEST_F(Logins, StoreFailureFailsTheSave)
{
  arkive_credentials_t c = login("alice", "srv", 1);
  c.password = "pw";
  const std::string config = std::getenv("XDG_CONFIG_HOME");
  const std::filesystem::path store = std::filesystem::path(config) / "Quorvin" / "credentials";
  std::filesystem::create_directories(store.parent_path());
  std::filesystem::create_directory(store); // a folder where the file belongs
  qstring error;
  EXPECT_FALSE(c.save(&error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(str(error).find("pw"), std::string::npos) << "the password never reaches an error text";
  std::filesystem::remove(store);
}

TEST_F(Logins, StoredPasswordIsTheTextUpToTheFirstZeroByte)
{
  struct row
  {
    const char *label;
    std::string secret;
    const char *text;
  };
  const row rows[] = {
    {"zero-terminated", std::string("pw\0", 3), "pw"},
    {"no zero byte", "pw", "pw"},
    {"zero in the middle", std::string("ab\0cd", 5), "ab"},
    {"only a zero", std::string("\0", 1), ""},
  };
  for ( const row &r : rows )
  {
    byte_buffer_t secret;
    for ( const char ch : r.secret )
      secret.push_back(uint8_t(ch));
    ASSERT_TRUE(credential_store_instance()->write_secret("u", "h:1", "arkstore", secret, nullptr));
    qstring out = "old";
    ASSERT_TRUE(read_store_password(login("u", "h", 1), &out, nullptr, "arkstore")) << r.label;
    EXPECT_EQ(str(out), r.text) << r.label;
  }
  qstring out = "old";
  qstring error;
  EXPECT_FALSE(read_store_password(login("u", "h", 1), &out, &error, "arkstore_proxy"));
  EXPECT_EQ(str(out), "old");
  EXPECT_FALSE(error.empty());
}

TEST_F(Logins, LegacyRegistryPasswordsMoveIntoTheStore)
{
  // Older versions kept the password beside the login; the registry keeps ':' in names as '_'.
  registry_write_text("Password", "ArkiveCredentials\\bob@srv:65433", "legacy");
  registry_write_text("Password", "ArkiveCredentials\\carol@srv:1", "other");
  registry_write_text("Password", "ArkiveCredentials\\no-at-sign", "skipped");
  registry_write_text("DefaultSite", "ArkiveCredentials\\dave@srv:2", "site"); // no password to move

  arkive_credentials_t c = login("bob", "srv", 65433);
  qstring password;
  qstring error;
  ASSERT_TRUE(c.read_password(&password, &error)) << error.c_str();
  EXPECT_EQ(str(password), "legacy");
  EXPECT_EQ(stored_secret("bob", "srv:65433", "arkstore"), std::string("legacy\0", 7));
  EXPECT_EQ(stored_secret("carol", "srv:1", "arkstore"), std::string("other\0", 6));
  EXPECT_EQ(registry_text("Password", "ArkiveCredentials\\bob@srv:65433"), std::nullopt);
  EXPECT_EQ(registry_text("Password", "ArkiveCredentials\\carol@srv:1"), std::nullopt);
  EXPECT_EQ(registry_text("Password", "ArkiveCredentials\\no-at-sign"), "skipped");
  EXPECT_EQ(registry_text("DefaultSite", "ArkiveCredentials\\dave@srv:2"), "site");

  arkive_credentials_t unknown = login("erin", "srv", 3);
  EXPECT_FALSE(unknown.read_password(&password, &error)) << "nothing stored, nothing to migrate";
  EXPECT_FALSE(unknown.read_proxy_password(&password, &error));
}

TEST_F(Logins, ForgettingRemovesTheLoginAndItsPasswords)
{
  arkive_credentials_t c = login("alice", "srv", 1);
  c.password = "pw";
  c.proxy = endpoint("px", 3128, "pu", "ppw");
  c.site = "work";
  ASSERT_TRUE(c.save(nullptr));
  arkive_credentials_t other = login("bob", "srv", 1);
  other.password = "bobpw";
  ASSERT_TRUE(other.save(nullptr)); // "Default" now names bob

  qstring error;
  EXPECT_TRUE(forget_saved_credentials(c, &error)) << error.c_str();
  qstring key;
  credentials_registry_key(c, &key);
  EXPECT_EQ(registry_text("DefaultSite", key.c_str()), std::nullopt);
  EXPECT_EQ(stored_secret("alice", "srv:1", "arkstore"), std::nullopt);
  EXPECT_EQ(stored_secret("alice", "srv:1", "arkstore_proxy"), std::nullopt);
  EXPECT_EQ(registry_text("Default", "ArkiveCredentials"), "bob@srv:1") << "another login stays the default";
  EXPECT_EQ(stored_secret("bob", "srv:1", "arkstore"), std::string("bobpw\0", 6));

  EXPECT_TRUE(forget_saved_credentials(other, &error)) << "no proxy password: missing entries count as deleted";
  EXPECT_EQ(registry_text("Default", "ArkiveCredentials"), std::nullopt);
  EXPECT_TRUE(forget_saved_credentials(other, &error)) << "forgetting twice";
}

TEST_F(Logins, DefaultSiteOfALogin)
{
  arkive_credentials_t c = login("alice", "srv", 1);
  EXPECT_FALSE(c.load_default_site());
  c.save_default_site("work");
  c.site.clear();
  EXPECT_TRUE(c.load_default_site());
  EXPECT_EQ(str(c.site), "work");
  c.save_default_site(nullptr);
  c.site = "kept";
  EXPECT_FALSE(c.load_default_site());
  EXPECT_EQ(str(c.site), "kept");

  arkive_credentials_t nameless = login("", "srv", 1);
  nameless.save_default_site("x");
  qstring key;
  credentials_registry_key(nameless, &key);
  EXPECT_EQ(registry_text("DefaultSite", key.c_str()), std::nullopt) << "only a login with a user";
}

TEST_F(Logins, LoginsLiveUnderTheApplicationAkuiWhateverIsCurrent)
{
  ASSERT_TRUE(registry_select_app("otherapp"));
  arkive_credentials_t c = login("alice", "srv", 1);
  c.site = "work";
  ASSERT_TRUE(c.save(nullptr));
  set_store_credentials_flag(true);
  qstring current;
  registry_current_app(&current);
  EXPECT_EQ(str(current), "otherapp");
  EXPECT_EQ(registry_text("Default", "ArkiveCredentials"), std::nullopt);

  arkive_credentials_t loaded;
  load_saved_credentials(&loaded);
  EXPECT_EQ(str(loaded.site), "work");
  EXPECT_NE(loaded.flags & credentials_save, 0u);
  registry_current_app(&current);
  EXPECT_EQ(str(current), "otherapp");

  ASSERT_TRUE(registry_select_app("akui"));
  EXPECT_EQ(registry_text("Default", "ArkiveCredentials"), "alice@srv:1");
}

} // namespace

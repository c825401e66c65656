// Tests of environment reads, host name resolution, the computer's name and the text-scanning helpers.
#include "core/environment.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

//--------------------------------------------------------------------------
TEST(Environment, ReadEnvVar)
{
  setenv("AKUI_TEST_EMPTY", "", 1);
  setenv("AKUI_TEST_VALUE", "some value \xC3\xA9", 1);
  unsetenv("AKUI_TEST_UNSET");

  qstring out("untouched");
  EXPECT_FALSE(read_env_var("AKUI_TEST_UNSET", &out));
  EXPECT_EQ(out, "untouched");
  EXPECT_TRUE(read_env_var("AKUI_TEST_EMPTY", &out));
  EXPECT_EQ(out, "");
  EXPECT_TRUE(read_env_var("AKUI_TEST_VALUE", &out));
  EXPECT_EQ(out, "some value \xC3\xA9");
  EXPECT_TRUE(read_env_var("AKUI_TEST_VALUE", nullptr));
  EXPECT_FALSE(read_env_var("AKUI_TEST_UNSET", nullptr));
  EXPECT_FALSE(read_env_var("akui_test_value", &out)) << "names are case-sensitive";
}

TEST(Environment, ReadEnvVarFromManyThreads)
{
  setenv("AKUI_TEST_SHARED", "shared", 1);
  std::vector<std::thread> threads;
  std::vector<int> good(8, 0);
  for ( size_t t = 0; t < good.size(); ++t )
    threads.emplace_back([&good, t]
    {
      for ( int i = 0; i < 500; ++i )
      {
        qstring value;
        if ( read_env_var("AKUI_TEST_SHARED", &value) && value == "shared" )
          ++good[t];
      }
    });
  for ( std::thread &t : threads )
    t.join();
  for ( int g : good )
    EXPECT_EQ(g, 500);
}

//--------------------------------------------------------------------------
// Only numeric addresses and names of the local hosts file: the tests never query a name server.
TEST(HostLookup, NumericIpv4)
{
  sockaddr_storage addr;
  memset(&addr, 0xAB, sizeof(addr));
  ASSERT_TRUE(resolve_host_address(&addr, "127.0.0.1", AF_INET, 65433));
  const auto *in = reinterpret_cast<const sockaddr_in *>(&addr);
  EXPECT_EQ(in->sin_family, AF_INET);
  EXPECT_EQ(ntohs(in->sin_port), 65433);
  EXPECT_EQ(ntohl(in->sin_addr.s_addr), 0x7F000001u);
  const auto *bytes = reinterpret_cast<const unsigned char *>(&addr);
  for ( size_t i = sizeof(sockaddr_in); i < sizeof(addr); ++i )
    ASSERT_EQ(bytes[i], 0) << "byte " << i << " beyond the 16-byte address";
}

TEST(HostLookup, NumericIpv6)
{
  sockaddr_storage addr;
  ASSERT_TRUE(resolve_host_address(&addr, "::1", AF_INET6, 443));
  const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(&addr);
  EXPECT_EQ(in6->sin6_family, AF_INET6);
  EXPECT_EQ(ntohs(in6->sin6_port), 443);
  EXPECT_TRUE(IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr));
  EXPECT_EQ(sizeof(sockaddr_in6), 28u);
}

TEST(HostLookup, HostsFileNameAndNoPort)
{
  addrinfo *list = lookup_host("localhost", AF_INET, 0);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->ai_family, AF_INET);
  const auto *in = reinterpret_cast<const sockaddr_in *>(list->ai_addr);
  EXPECT_EQ(in->sin_port, 0);
  EXPECT_EQ(ntohl(in->sin_addr.s_addr), 0x7F000001u);
  ASSERT_NE(list->ai_canonname, nullptr) << "the canonical name is asked for";
  freeaddrinfo(list);
}

TEST(HostLookup, FailuresLeaveTheAddressAlone)
{
  const struct { const char *host; int family; } cases[] =
  {
    { "127.0.0.1", AF_INET6 },      // an IPv4 literal in the IPv6 family
    { "::1", AF_INET },             // and the other way round
    { "127.0.0.1", AF_UNIX },       // a family that has no host addresses
  };
  for ( const auto &c : cases )
  {
    EXPECT_EQ(lookup_host(c.host, c.family, 80), nullptr) << c.host;
    sockaddr_storage addr;
    memset(&addr, 0x5A, sizeof(addr));
    EXPECT_FALSE(resolve_host_address(&addr, c.host, c.family, 80)) << c.host;
    EXPECT_EQ(reinterpret_cast<const unsigned char *>(&addr)[0], 0x5A);
  }
}

//--------------------------------------------------------------------------
TEST(ComputerName, MatchesTheHostName)
{
  char expected[HOST_NAME_MAX + 1] = {};
  ASSERT_EQ(gethostname(expected, sizeof(expected) - 1), 0);
  qstring name;
  ASSERT_TRUE(local_computer_name(&name));
  EXPECT_EQ(name, expected);
  EXPECT_FALSE(name.empty());
}

//--------------------------------------------------------------------------
TEST(TextScan, SkipBlanks)
{
  const struct { const char *text; size_t offset; } cases[] =
  {
    { "  \t\n\v\f\rx y", 7 },
    { "x", 0 },
    { "   ", 3 },
    { "", 0 },
    { "\xC2\xA0x", 0 },          // bytes of 0x80 and above are not white space
  };
  for ( const auto &c : cases )
    EXPECT_EQ(skip_blanks(c.text), c.text + c.offset) << '"' << c.text << '"';
  EXPECT_EQ(skip_blanks(static_cast<const char *>(nullptr)), nullptr);
  char mutable_text[] = " a";
  EXPECT_EQ(skip_blanks(mutable_text), mutable_text + 1);
}

TEST(TextScan, TrimRight)
{
  const struct { const char *text; const char *trimmed; } cases[] =
  {
    { "a b \t\r\n", "a b" },
    { "   ", "" },
    { "", "" },
    { "none", "none" },
    { "x\xC2\xA0", "x\xC2\xA0" },
    { "x\xA0 ", "x\xA0" },
    { " lead", " lead" },
  };
  for ( const auto &c : cases )
  {
    std::string buf = c.text;
    EXPECT_EQ(trim_right(buf.data()), buf.data());
    EXPECT_STREQ(buf.c_str(), c.trimmed) << '"' << c.text << '"';
  }
  EXPECT_EQ(trim_right(nullptr), nullptr);
}

TEST(TextScan, FindTextNocase)
{
  const struct { const char *text; const char *pattern; ptrdiff_t at; } cases[] =
  {
    { "XYZabc", "ABC", 3 },
    { "XYZabc", "abc", 3 },
    { "aXbXc", "xC", 3 },
    { "aaab", "AAB", 1 },
    { "abc", "abcd", -1 },
    { "abc", "x", -1 },
    { "", "a", -1 },
    { "abc", "", 0 },
    { "\xC3\xA9t\xC3\xA9", "T\xC3\xA9", 2 },
    { "\xC3\xA9", "\xC3\x89", -1 },       // only ASCII letters fold
    { "[x]", "{X}", -1 },
  };
  for ( const auto &c : cases )
  {
    const char *found = find_text_nocase(c.text, c.pattern);
    EXPECT_EQ(found, c.at < 0 ? nullptr : c.text + c.at) << '"' << c.text << "\" / \"" << c.pattern << '"';
  }
  EXPECT_EQ(find_text_nocase(static_cast<const char *>(nullptr), "a"), nullptr);
  EXPECT_EQ(find_text_nocase("a", nullptr), nullptr);
}

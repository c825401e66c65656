// The test server's command line and start: what it accepts, and each refusal naming what is wrong.
#include "tests/server/arkive_test_server.h"
#include "tests/server/server_command_line.h"

#include "test_root_ca.h"

#include <gtest/gtest.h>

namespace {

TEST(test_server_command_line_test, options_are_read)
{
  server_command_line_t line;
  std::string error;
  ASSERT_TRUE(parse_server_command_line({"--port", "0", "--tls-port", "65535", "--seed", "s.txt",
                                         "--site-root-base", "sites"},
                                        &line, &error))
    << error;
  EXPECT_EQ(line.tcp_port, 0);
  EXPECT_EQ(line.tls_port, 65535);
  EXPECT_TRUE(line.tls);
  EXPECT_FALSE(line.help);
  EXPECT_EQ(line.seed, "s.txt");
  EXPECT_EQ(line.site_root_base, "sites");

  server_command_line_t plain;
  ASSERT_TRUE(parse_server_command_line({"--no-tls", "--port", "8080", "--help"}, &plain, &error)) << error;
  EXPECT_FALSE(plain.tls);
  EXPECT_EQ(plain.tcp_port, 8080);
  EXPECT_TRUE(plain.help);
  EXPECT_EQ(std::string(server_usage).find("usage: arkive-test-server"), 0u);
}

TEST(test_server_command_line_test, refusals_name_the_option_and_value)
{
  const struct
  {
    std::vector<std::string> args;
    const char *error;
  } cases[] = {
    {{"--frobnicate"}, "unknown option --frobnicate"},
    {{"seed.txt"}, "unknown option seed.txt"},
    {{"--port", "70000"}, "--port 70000: not a port number (0 to 65535)"},
    {{"--tls-port", "-1"}, "--tls-port -1: not a port number (0 to 65535)"},
    {{"--port", "80x"}, "--port 80x: not a port number (0 to 65535)"},
    {{"--port", ""}, "--port : not a port number (0 to 65535)"},
    {{"--port"}, "--port needs a value"},
    {{"--seed"}, "--seed needs a value"},
    {{"--site-root-base", ""}, "--site-root-base needs a value"},
    {{"--tls-port", "9000", "--no-tls"}, "--tls-port cannot be used with --no-tls"},
    {{"--no-tls", "--tls-port", "0"}, "--tls-port cannot be used with --no-tls"},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.error);
    server_command_line_t line;
    std::string error;
    EXPECT_FALSE(parse_server_command_line(c.args, &line, &error));
    EXPECT_EQ(error, c.error);
  }
}

TEST(test_server_command_line_test, start_fails_when_the_tls_identity_cannot_be_made)
{
  const std::string cert = AKUI_TEST_ROOT_CA_CERT;
  const struct
  {
    std::string cert;
    std::string key;
    std::string error;
  } cases[] = {
    {cert, "", "cannot serve TLS: no key is known for the root CA " + cert + ", so no server certificate can be signed"},
    {cert, "/nonexistent/root_ca.key",
     "cannot serve TLS: cannot read the root CA key /nonexistent/root_ca.key: No such file or directory"},
    {"/nonexistent/root_ca.pem", "/nonexistent/root_ca.key",
     "cannot serve TLS: cannot read the root CA certificate /nonexistent/root_ca.pem: No such file or directory"},
  };
  for ( const auto &c : cases )
  {
    SCOPED_TRACE(c.error);
    arkive_test_server_t server;
    server.sign_with_root_ca(c.cert, c.key);
    std::string error;
    EXPECT_FALSE(server.start(&error));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(server.tcp_port(), 0) << "nothing is served";

    // Without TLS the root is not needed.
    arkive_test_server_t plain;
    plain.sign_with_root_ca(c.cert, c.key);
    ASSERT_TRUE(plain.start(&error, 0, 0, false)) << error;
    EXPECT_NE(plain.tcp_port(), 0);
    EXPECT_EQ(plain.tls_port(), 0);
  }
}

}  // namespace

// arkive-test-server: the project's own repository server on loopback, for demos and manual tests.
#include "tests/server/arkive_test_server.h"
#include "tests/server/seed_file.h"
#include "tests/server/server_command_line.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
  server_command_line_t line;
  std::string error;
  if ( !parse_server_command_line(std::vector<std::string>(argv + 1, argv + argc), &line, &error) )
  {
    std::fprintf(stderr, "arkive-test-server: %s\n(arkive-test-server --help prints the usage)\n", error.c_str());
    return 2;
  }
  if ( line.help )
  {
    std::fputs(server_usage, stdout);
    return 0;
  }

  // The signals are taken by sigwait below, on this thread only.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  arkive_test_server_t server;
  if ( !line.seed.empty() && !load_seed_file(server.repository(), line.seed, &error, line.site_root_base) )
  {
    std::fprintf(stderr, "arkive-test-server: %s\n", error.c_str());
    return 1;
  }
  if ( !server.start(&error, line.tcp_port, line.tls_port, line.tls) )
  {
    std::fprintf(stderr, "arkive-test-server: %s\n", error.c_str());
    if ( error.starts_with("cannot serve TLS") )
      std::fputs("arkive-test-server: --no-tls serves plain TCP alone\n", stderr);
    return 1;
  }
  std::printf("tcp port %u\n", unsigned(server.tcp_port()));
  if ( server.tls_port() != 0 )
    std::printf("tls port %u\n", unsigned(server.tls_port()));
  std::fflush(stdout);

  int received = 0;
  sigwait(&signals, &received);
  server.stop();
  return 0;
}

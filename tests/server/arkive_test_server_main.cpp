// arkive-test-server: the project's own repository server on loopback, for demos and manual tests.
#include "tests/server/arkive_test_server.h"
#include "tests/server/seed_file.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int usage()
{
  std::fprintf(stderr, "usage: arkive-test-server [--port N] [--tls-port N] [--no-tls] [--seed FILE]\n"
                       "Serves on 127.0.0.1 until interrupted; prints the ports it listens on.\n");
  return 2;
}

bool parse_port(const char *text, uint16_t *port)
{
  char *end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if ( end == text || *end != '\0' || value < 0 || value > 65535 )
    return false;
  *port = uint16_t(value);
  return true;
}

}  // namespace

int main(int argc, char **argv)
{
  uint16_t tcp_port = 0;
  uint16_t tls_port = 0;
  bool tls = true;
  std::string seed;
  for ( int i = 1; i < argc; ++i )
  {
    const bool has_value = i + 1 < argc;
    if ( std::strcmp(argv[i], "--port") == 0 && has_value && parse_port(argv[i + 1], &tcp_port) )
      ++i;
    else if ( std::strcmp(argv[i], "--tls-port") == 0 && has_value && parse_port(argv[i + 1], &tls_port) )
      ++i;
    else if ( std::strcmp(argv[i], "--seed") == 0 && has_value )
      seed = argv[++i];
    else if ( std::strcmp(argv[i], "--no-tls") == 0 )
      tls = false;
    else
      return usage();
  }

  // The signals are taken by sigwait below, on this thread only.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  arkive_test_server_t server;
  std::string error;
  if ( !seed.empty() && !load_seed_file(server.repository(), seed, &error) )
  {
    std::fprintf(stderr, "arkive-test-server: %s: %s\n", seed.c_str(), error.c_str());
    return 1;
  }
  if ( !server.start(&error, tcp_port, tls_port, tls) )
  {
    std::fprintf(stderr, "arkive-test-server: %s\n", error.c_str());
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

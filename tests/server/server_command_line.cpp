// The command line of arkive-test-server: its options, their checks and the usage text.
#include "tests/server/server_command_line.h"

#include <charconv>

const char server_usage[] =
  "usage: arkive-test-server [--port N] [--tls-port N] [--no-tls] [--seed FILE] [--site-root-base DIR]\n"
  "Serves a repository kept in memory on 127.0.0.1 until interrupted, and prints the ports it listens on.\n"
  "  --port N             the plain TCP port (default: any free port)\n"
  "  --tls-port N         the TLS port (default: any free port)\n"
  "  --no-tls             serve plain TCP alone\n"
  "  --seed FILE          load users, groups, sites, commits and worklists from FILE\n"
  "  --site-root-base DIR place the seed's relative site roots under DIR (default: the current folder)\n"
  "  --help               print this text\n";

namespace {

bool parse_port(const std::string &text, uint16_t *port)
{
  unsigned value = 0;
  const char *end = text.data() + text.size();
  const auto [stop, failure] = std::from_chars(text.data(), end, value);
  if ( text.empty() || failure != std::errc() || stop != end || value > 65535 )
    return false;
  *port = uint16_t(value);
  return true;
}

}  // namespace

bool parse_server_command_line(const std::vector<std::string> &args, server_command_line_t *line,
                               std::string *error)
{
  bool tls_port_given = false;
  for ( size_t i = 0; i < args.size(); ++i )
  {
    const std::string &option = args[i];
    if ( option == "--help" )
    {
      line->help = true;
      continue;
    }
    if ( option == "--no-tls" )
    {
      line->tls = false;
      continue;
    }
    if ( option != "--port" && option != "--tls-port" && option != "--seed" && option != "--site-root-base" )
    {
      *error = "unknown option " + option;
      return false;
    }
    if ( i + 1 == args.size() )
    {
      *error = option + " needs a value";
      return false;
    }
    const std::string &value = args[++i];
    if ( option == "--seed" || option == "--site-root-base" )
    {
      if ( value.empty() )
      {
        *error = option + " needs a value";
        return false;
      }
      (option == "--seed" ? line->seed : line->site_root_base) = value;
    }
    else if ( !parse_port(value, option == "--port" ? &line->tcp_port : &line->tls_port) )
    {
      *error = option + " " + value + ": not a port number (0 to 65535)";
      return false;
    }
    tls_port_given |= option == "--tls-port";
  }
  if ( tls_port_given && !line->tls )
  {
    *error = "--tls-port cannot be used with --no-tls";
    return false;
  }
  return true;
}

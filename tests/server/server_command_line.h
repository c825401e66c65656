// The command line of arkive-test-server: its options, their checks and the usage text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the command line asks for. Promise: a parsed value is within its range and the options agree.
struct server_command_line_t
{
  uint16_t tcp_port = 0; // 0: an ephemeral port
  uint16_t tls_port = 0;
  bool tls = true;
  bool help = false;           // --help: print the usage and stop
  std::string seed;            // empty: no seed
  std::string site_root_base;  // empty: relative site roots of the seed resolve against the current folder
};

// The usage text, ending with a newline.
extern const char server_usage[];

// Reads the arguments after the program name. False with *error naming the offending option (and its value)
// when an option is unknown, lacks its value, has a value out of range, or conflicts with another.
[[nodiscard]] bool parse_server_command_line(const std::vector<std::string> &args, server_command_line_t *line,
                                             std::string *error);

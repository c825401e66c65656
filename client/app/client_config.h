// The client's configuration: the record "akui.cfg" and "-D" directives write into, the login data the start-up
// gathers, and the options of the command line.
#pragma once

#include "core/cfg_reader.h"
#include "core/json_value.h"
#include "core/qstring.h"
#include "repo/login_credentials.h"

#include <array>
#include <cstdint>

// Bits of the client's credentials flags on top of the repository core's.
inline constexpr uint32_t credentials_site_from_command_line = 0x100;
inline constexpr uint32_t credentials_proxy_option = 0x402;

// What the configuration sets. Promise: all zero (the layouts JSON_NONE) and the built-in login until read.
struct akui_client_config_t
{
  uint32_t closed_by_esc = 0;       // CLOSED_BY_ESC: bit k makes views of kind k close on Escape
  uint8_t escape_closes_docks = 0;  // no directive sets it
  uint8_t tool_closed_by_esc = 0;   // TOOL_CLOSED_BY_ESC: the Output window closes on Escape
  json_value_t menus_layout;        // MENUS_LAYOUT: an array once given
  json_value_t toolbars_layout;     // TOOLBARS_LAYOUT: an array once given
  arkive_credentials_t default_credentials;
};

// The process-wide record.
[[nodiscard]] akui_client_config_t &client_config();

// The keyword table of "akui.cfg", its targets relative to the record (pass the record as the reader's base).
inline constexpr size_t client_keyword_count = 9;
[[nodiscard]] std::array<config_keyword_t, client_keyword_count>
client_keyword_table(const akui_client_config_t &config);

// The directives with a handler (config_base_handler_t, base: the record). A layout that does not parse as an
// array is a warning with the file and line, and the layout read before stays. ARKIVE_HOST: 2 for a value that
// is not a string, 3 for a text that does not parse as an endpoint (the server endpoint is then emptied), else 0.
intptr_t menus_layout_directive(token_reader_t *reader, const lexer_token_t *name, const lexer_token_t *value,
                                uint64_t, uint64_t, void *base);
intptr_t toolbars_layout_directive(token_reader_t *reader, const lexer_token_t *name, const lexer_token_t *value,
                                   uint64_t, uint64_t, void *base);
intptr_t arkive_host_directive(token_reader_t *reader, const lexer_token_t *name, const lexer_token_t *value,
                               uint64_t, uint64_t, void *base);
// Any other directive: a quoted keyword, or any keyword with a string value, is a legacy key assignment of
// that action (0); the rest is unknown (1).
intptr_t legacy_key_directive(token_reader_t *reader, const lexer_token_t *name, const lexer_token_t *value);

// Reads every "akui.cfg" (the installation directory's "cfg" folder first, then the user's) into the record,
// with one warning "Errors while processing akui.cfg." when a file failed, then every argument from the second
// on that begins with "-D" as directive text, wherever it stands. Arguments are left in place.
void load_client_config(akui_client_config_t *config, int argc, char **argv);

// The options the start-up consumes itself from the leading arguments (those before the first that does not
// begin with "-"): "-L<path>" (the log file; empty clears it) and "-z<hex>" (the debug flags; anything but a
// whole hexadecimal number sets them all). Consumed arguments are removed from argv and argc lowered; other
// options stay for the configuration and the credentials.
struct leading_options_t
{
  qstring log_path;
  uint32_t debug_flags = 0;
  bool debug_flags_given = false;
};
void consume_leading_options(int *argc, char **argv, leading_options_t *out);

// One command-line option of the credentials: the repository core's parser, then flag 0x100 for "-s" and
// 0x402 for "-P". True when the option is one of the credentials'.
bool parse_credentials_option(arkive_credentials_t *credentials, const char *argument);

// The login data in rising priority: what the record holds (built-in default and the configuration's
// directives), the saved login and the environment, the leading command-line options, and, when no user is
// known then, the system's name of the user.
void merge_start_credentials(arkive_credentials_t *credentials, int argc, char **argv);

// The user's login name: the password database's entry of the effective user, else $USER; empty when neither.
[[nodiscard]] qstring system_user_name();

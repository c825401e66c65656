// The client's configuration: the keyword table of "akui.cfg", its directives, the command line and the login data.
#include "client/app/client_config.h"

#include "core/debug_flags.h"
#include "core/directories.h"
#include "core/environment.h"
#include "core/printf_format.h"
#include "core/ui_callback.h"
#include "ui/shortcut_config.h"

#include <pwd.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace {

constexpr char config_file_name[] = "akui.cfg";

uint64_t offset_in(const akui_client_config_t &config, const void *member)
{
  return uint64_t(static_cast<const char *>(member) - reinterpret_cast<const char *>(&config));
}

uint64_t handler_target(config_base_handler_t handler)
{
  return uint64_t(reinterpret_cast<uintptr_t>(handler));
}

// A layout directive: the JSON array replaces the earlier layout; anything else is reported and changes nothing.
intptr_t read_layout(token_reader_t *reader, const lexer_token_t *value, json_value_t *layout, const char *keyword)
{
  json_value_t parsed;
  if ( read_config_json(reader, *value, &parsed) != 0 || parsed.tag != JSON_ARRAY )
  {
    qstring text;
    format_to_string(&text, "Invalid %s directive", keyword);
    report_shortcut_config_error(reader, text.c_str(), false);
    return CFG_RESULT_OK;
  }
  *layout = std::move(parsed);
  return CFG_RESULT_OK;
}

} // namespace

akui_client_config_t &client_config()
{
  static akui_client_config_t config;
  return config;
}

std::array<config_keyword_t, client_keyword_count> client_keyword_table(const akui_client_config_t &config)
{
  const arkive_credentials_t &login = config.default_credentials;
  constexpr uint32_t text_field = CFG_STRING | CFG_STRING_QSTRING | CFG_OFFSET;
  return {{
    {"MENUS_LAYOUT", handler_target(menus_layout_directive), CFG_HANDLER | CFG_OFFSET, 0, 0},
    {"TOOLBARS_LAYOUT", handler_target(toolbars_layout_directive), CFG_HANDLER | CFG_OFFSET, 0, 0},
    {"CLOSED_BY_ESC", offset_in(config, &config.closed_by_esc),
     CFG_INTEGER | CFG_INT_BOUNDS | CFG_INT_UNSIGNED | CFG_OFFSET, 0, 0xFFFFFFFFu},
    {"TOOL_CLOSED_BY_ESC", offset_in(config, &config.tool_closed_by_esc), CFG_BOOLEAN | CFG_BOOL_BYTE | CFG_OFFSET, 1,
     0},
    {"ARKIVE_HOST", handler_target(arkive_host_directive), CFG_HANDLER | CFG_OFFSET, 0, 0},
    {"ARKIVE_USER", offset_in(config, &login.user), text_field, 0, 0},
    {"ARKIVE_PASS", offset_in(config, &login.password), text_field, 0, 0},
    {"ARKIVE_SITE", offset_in(config, &login.site), text_field, 0, 0},
    {"SHORTCUTS", uint64_t(reinterpret_cast<uintptr_t>(&apply_shortcuts_directive)), CFG_HANDLER, 0, 0},
  }};
}

intptr_t menus_layout_directive(token_reader_t *reader, const lexer_token_t *, const lexer_token_t *value, uint64_t,
                                uint64_t, void *base)
{
  return read_layout(reader, value, &static_cast<akui_client_config_t *>(base)->menus_layout, "MENUS_LAYOUT");
}

intptr_t toolbars_layout_directive(token_reader_t *reader, const lexer_token_t *, const lexer_token_t *value,
                                   uint64_t, uint64_t, void *base)
{
  return read_layout(reader, value, &static_cast<akui_client_config_t *>(base)->toolbars_layout, "TOOLBARS_LAYOUT");
}

intptr_t arkive_host_directive(token_reader_t *, const lexer_token_t *, const lexer_token_t *value, uint64_t,
                               uint64_t, void *base)
{
  if ( value->kind != TOKEN_STRING )
    return CFG_RESULT_REFUSED;
  arkive_credentials_t &login = static_cast<akui_client_config_t *>(base)->default_credentials;
  return parse_endpoint_string(&login, value->text.c_str(), false) ? CFG_RESULT_OK : CFG_RESULT_BAD_VALUE;
}

intptr_t legacy_key_directive(token_reader_t *reader, const lexer_token_t *name, const lexer_token_t *value)
{
  if ( name->kind != TOKEN_STRING && value->kind != TOKEN_STRING )
    return CFG_RESULT_UNRECOGNISED;
  parse_key_assignment(reader, name->text.c_str(), value, false);
  return CFG_RESULT_OK;
}

void load_client_config(akui_client_config_t *config, int argc, char **argv)
{
  const auto table = client_keyword_table(*config);
  qvector<qstring> files;
  // Without any file the missing layouts are reported when the menus are built.
  if ( find_config_files(&files, config_file_name)
       && !read_config_source(config_file_name, 1, table.data(), table.size(), legacy_key_directive, nullptr, 0,
                              config) )
    warning_printf("Errors while processing %s.", config_file_name);
  for ( int i = 1; i < argc; ++i )
  {
    const char *argument = argv[i];
    if ( strncmp(argument, "-D", 2) != 0 )
      continue;
    const char *directive = argument + 2;
    if ( (debug_flags & CFG_DEBUG_FLAG) != 0 )
      log_printf("cfg: process config directives \"%s\"\n", directive);
    (void)read_config_source(directive, 0, table.data(), table.size(), legacy_key_directive, nullptr, 0, config);
  }
}

void consume_leading_options(int *argc, char **argv, leading_options_t *out)
{
  int kept = 1;
  int i = 1;
  for ( ; i < *argc && argv[i][0] == '-'; ++i )
  {
    const char *argument = argv[i];
    if ( argument[1] == 'L' )
    {
      out->log_path = argument + 2;
      continue;
    }
    if ( argument[1] == 'z' )
    {
      const char *rest = argument + 2;
      unsigned value = 0;
      int consumed = 0;
      const bool whole = buf_scanf(rest, "%X%n", &value, &consumed) == 1 && rest[consumed] == '\0';
      out->debug_flags = whole ? uint32_t(value) : 0xFFFFFFFFu;
      out->debug_flags_given = true;
      continue;
    }
    argv[kept++] = argv[i];
  }
  for ( ; i < *argc; ++i )
    argv[kept++] = argv[i];
  argv[kept] = nullptr;
  *argc = kept;
}

bool parse_credentials_option(arkive_credentials_t *credentials, const char *argument)
{
  const bool known = credentials->parse_option(argument);
  if ( argument[1] == 's' )
    credentials->flags |= credentials_site_from_command_line;
  else if ( argument[1] == 'P' )
    credentials->flags |= credentials_proxy_option;
  return known;
}

void merge_start_credentials(arkive_credentials_t *credentials, int argc, char **argv)
{
  load_saved_credentials(credentials);
  for ( int i = 1; i < argc && argv[i][0] == '-'; ++i )
    (void)parse_credentials_option(credentials, argv[i]);
  if ( credentials->user.empty() )
    credentials->user = system_user_name();
}

qstring system_user_name()
{
  passwd entry {};
  passwd *found = nullptr;
  std::vector<char> buffer(16384);
  if ( getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr
       && found->pw_name != nullptr && found->pw_name[0] != '\0' )
    return qstring(found->pw_name);
  qstring name;
  (void)read_env_var("USER", &name);
  return name;
}

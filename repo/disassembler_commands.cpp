// Disassembler command templates, their expansion and the launch of the disassembler.
#include "repo/disassembler_commands.h"

#include "core/command_line.h"
#include "core/directories.h"
#include "core/environment.h"
#include "core/error_state.h"
#include "core/process_launch.h"
#include "core/threads.h"
#include "repo/arkive_errors.h"
#include "repo/database_files.h"
#include "repo/local_site.h"

namespace {

// Every merge template ends with the base, the remote copy and the database merged in place.
constexpr const char merge_suffix[] = " -MB%b -MR%r %l";

const char *on_off(bool on)
{
  return on ? "on" : "off";
}

} // namespace

qstring default_diff_arguments()
{
  return qstring("-Omerge:policy=diff:delete_local=%<:delete_remote=%>:batch=off -MTL%[ -MTR%] -MR%r %l");
}

qstring default_merge_arguments(int method)
{
  const char *options = "";
  switch ( method )
  {
    case merge_auto_safe:
      options = "-A -Omerge:save:policy=postpone:batch=on";
      break;
    case merge_auto_local:
      options = "-A -Omerge:save:policy=local:batch=on";
      break;
    case merge_auto_remote:
      options = "-A -Omerge:save:policy=remote:batch=on";
      break;
    case merge_interactive:
      options = "-Omerge:save:policy=postpone:batch=off";
      break;
    default:
      break;
  }
  qstring text(options);
  text += merge_suffix;
  return text;
}

void append_quoted_argument(qstring *command, const char *value)
{
  qstring arg(value != nullptr ? value : "");
  quote_shell_argument(&arg);
  command->append(arg);
}

qstring expand_merge_template(const char *templ, const char *item, const merge_side_t &local,
                              const merge_side_t *remote, const char *base)
{
  qstring out;
  if ( templ == nullptr )
    return out;
  for ( const char *p = templ; *p != '\0'; ++p )
  {
    if ( *p != '%' )
    {
      out += *p;
      continue;
    }
    if ( *++p == '\0' )
      break;
    switch ( *p )
    {
      case 'l':
        append_quoted_argument(&out, local.path);
        break;
      case 'r':
        append_quoted_argument(&out, remote != nullptr ? remote->path : nullptr);
        break;
      case 'b':
        append_quoted_argument(&out, base);
        break;
      case 'i':
        append_quoted_argument(&out, item);
        break;
      case '<':
        out += on_off(local.temporary);
        break;
      case '>':
        out += on_off(remote != nullptr && remote->temporary);
        break;
      case '[':
        append_quoted_argument(&out, local.title);
        break;
      case ']':
        append_quoted_argument(&out, remote != nullptr ? remote->title : nullptr);
        break;
      case 'I':
      {
        qstring dir;
        install_dir_string(&dir);
        out += dir;
        break;
      }
      default:
        out += *p;
        break;
    }
  }
  return out;
}

os_handle_t *launch_merge_tool(const char *variable, const char *templ, const merge_side_t &local,
                               const merge_side_t *remote, const char *base)
{
  qstring executable;
  if ( local.path == nullptr || !database_executable(local.path, &executable) )
  {
    error_arg_text(0, "Currently only ZUK databases can be merged");
    return nullptr;
  }
  const qstring program = expand_merge_template(executable.c_str(), "", local, remote, base);
  qstring chosen(templ != nullptr ? templ : "");
  read_env_var(variable, &chosen);
  const qstring arguments = expand_merge_template(chosen.c_str(), "", local, remote, base);

  process_launch_params_t params;
  params.program = program.c_str();
  params.arguments = arguments.c_str();
  qstring error;
  os_handle_t *process = spawn_process(&params, &error);
  if ( process == nullptr )
  {
    // The launch tells why in its error text; the thread's error code is not about this launch.
    qstring detail;
    format_to_string(&detail, "%s: %s", program.c_str(), error.c_str());
    error_arg_text(0, detail.c_str());
  }
  return process;
}

int local_site_t::diff(const merge_side_t &local, const merge_side_t &remote, const char *templ)
{
  os_handle_t *process = launch_merge_tool("ARKIVE_DIFF", templ, local, &remote, nullptr);
  if ( process == nullptr )
    return ARKIVE_MESSAGE;
  close_os_handle(process); // nobody waits for a diff; the child is reaped when it ends
  return ARKIVE_OK;
}

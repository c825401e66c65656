// Revision, action and filter texts.
#include "repo/revision_texts.h"

qstring format_revision(revision_spec revision)
{
  qstring text;
  switch ( revision )
  {
    case revision_last:
      text = "#last";
      break;
    case revision_current:
      text = "#current";
      break;
    case revision_working:
      break;
    default:
      format_to_string(&text, "#%d", revision);
      break;
  }
  return text;
}

qstring format_revision_pair(int32_t a, int32_t b)
{
  qstring text;
  if ( a == b )
    format_to_string(&text, "#%d", a);
  else
    format_to_string(&text, "#%d/%d", a, b);
  return text;
}

const char *file_action_name(uint8_t action)
{
  static const char *const names[] = {"", "add", "del", "edit", "move", "medt", "copy", "cedt"};
  return action < sizeof(names) / sizeof(names[0]) ? names[action] : "?";
}

const char *default_site_filters_text()
{
  return "# By default all arkive files are visible.\n"
         "# The admin can set up permissions to deny access\n"
         "# to some files. The user too can set up filter\n"
         "# patterns to make some files invisible. For that,\n"
         "# each site has a user-controlled filter table.\n"
         "#\n"
         "# The below table controls arkive file visibility.\n"
         "# The table is scanned from the beginning to the end.\n"
         "# Lines starting with '!' hide the matching files.\n"
         "# Other lines make the matching files visible.\n"
         "# If the first line starts with '!', all files are\n"
         "# visible by default. Otherwise, all files are\n"
         "# invisible by default.\n"
         "# Example: !*.mov will hide all *.mov files.\n"
         "\n";
}

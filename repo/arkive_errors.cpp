// Texts of the repository error codes.
#include "repo/arkive_errors.h"

#include "core/error_state.h"

#include <array>
#include <string_view>

namespace {

// Codes 0 to 62 have a row; every other code, negative ones included, is "?".
constexpr int ARKIVE_ERROR_LIMIT = 63;

// Message formats by code; each holds at most one "%s", the detail. Null: the code has no row.
constexpr std::array<const char *, ARKIVE_ERROR_LIMIT> error_formats = [] {
  std::array<const char *, ARKIVE_ERROR_LIMIT> f{};
  f[0] = "ok";
  f[1] = "canceled by the user";
  f[2] = "'%s' already exists";
  f[3] = "file '%s' not found";
  f[4] = "user '%s' not found";
  f[5] = "site '%s' not found";
  f[6] = "'%s' not empty";
  f[7] = "invalid path '%s'";
  f[8] = "invalid user '%s'";
  f[9] = "invalid group '%s'";
  f[10] = "invalid email '%s'";
  f[12] = "invalid site '%s'";
  f[13] = "invalid host '%s' for site";
  f[14] = "too long name '%s'";
  f[15] = "user '%s' is locked";
  f[16] = "user '%s' has non-empty worklist(s)";
  f[17] = "deleted user '%s' is still active";
  f[18] = "deleted site '%s' is still active";
  f[19] = "invalid commit %s";
  f[20] = "invalid rootdir '%s'";
  f[21] = "commit '%s' already submitted";
  f[22] = "%s: permission denied";
  f[23] = "inconsistent permissions in rule %s";
  f[24] = "file '%s' is forbidden by filters";
  f[25] = "file '%s' is locked";
  f[26] = "file '%s' read error";
  f[27] = "file '%s' write error";
  f[28] = "%s is not the last revision, please resolve";
  f[29] = "file '%s' is not present at site";
  f[30] = "file '%s' is already checked out";
  f[31] = "%s: skipped changed file, use sync -f to override it";
  f[32] = "bad revision %s";
  f[33] = "%s";
  f[34] = "no matching opened files for '%s'";
  f[35] = "resolving '%s' is not needed";
  f[36] = "worklist %s has empty description";
  f[37] = "invalid worklist %s";
  f[38] = "worklist %s is empty";
  f[39] = "worklist %s is not empty";
  f[40] = "already added '%s' into a worklist";
  f[41] = "file revision %s is deleted";
  f[42] = "'%s' is outside of site rootdir";
  f[43] = "no matching files for '%s'";
  f[44] = "trailing slash in '%s' is missing";
  f[45] = "forbidden wildcards in '%s'";
  f[47] = "bad packet %s";
  f[48] = "warning: must resolve before committing %s";
  f[49] = "no files to reconcile in '%s'";
  f[50] = "source of '%s' was purged";
  f[51] = "%s";
  f[52] = "warning: %s";
  f[53] = "%s";
  f[62] = "Wrong pair user/password provided";
  return f;
}();

}  // namespace

qstring arkive_error_text(int code, const char *detail)
{
  qstring result;
  append_arkive_error_text(&result, code, detail);
  return result;
}

void append_arkive_error_text(qstring *out, int code, const char *detail)
{
  if ( uint32_t(code) >= uint32_t(ARKIVE_ERROR_LIMIT) )
  {
    out->push_back('?');
    return;
  }
  if ( detail == nullptr )
  {
    detail = get_error_arg_text(0);
    if ( detail == nullptr )
      detail = "";
  }
  const char *format = error_formats[code];
  if ( format == nullptr )
  {
    // A code the table does not name (the server may still send one): keep its number and the detail.
    if ( *detail != '\0' )
      append_format_to_string(out, "error %d: %s", code, detail);
    else
      append_format_to_string(out, "error %d", code);
    return;
  }
  // The detail goes in as it is, never as a format of its own.
  const std::string_view row(format);
  const size_t at = row.find("%s");
  if ( at == std::string_view::npos )
  {
    out->append(row);
    return;
  }
  out->append(row.substr(0, at));
  out->append(std::string_view(detail));
  out->append(row.substr(at + 2));
}

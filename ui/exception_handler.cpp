// The application's handler of faults that the framework's guards catch, and the crash reports it writes.
#include "ui/exception_handler.h"

#include "core/directories.h"
#include "core/internal_error.h"

#include <climits>

#include <unistd.h>

namespace {

// Holds the process-wide report flag for one report, whatever the application's hooks throw.
struct report_claim_t
{
  report_claim_t() : held(begin_crash_report()) {}
  ~report_claim_t()
  {
    if ( held )
      end_crash_report();
  }
  report_claim_t(const report_claim_t &) = delete;
  report_claim_t &operator=(const report_claim_t &) = delete;
  const bool held;
};

} // namespace

uint32_t fault_exception_code(const std::exception_ptr &fault)
{
  try
  {
    if ( fault )
      std::rethrow_exception(fault);
  }
  catch ( const interr_exc_t & )
  {
    return internal_error_exception_code;
  }
  catch ( ... )
  {
  }
  return foreign_exception_code;
}

std::string fault_exception_text(const std::exception_ptr &fault)
{
  try
  {
    if ( fault )
      std::rethrow_exception(fault);
  }
  catch ( const interr_exc_t &e )
  {
    return "internal error " + std::to_string(e.code);
  }
  catch ( const std::exception &e )
  {
    return e.what();
  }
  catch ( ... )
  {
  }
  return "unknown exception";
}

int32_t win32_exception_handler_t::handle(const std::exception_ptr &fault)
{
  if ( (dump_all_exceptions || fault_exception_code(fault) == internal_error_exception_code) && write_minidump(fault) )
    return 1;
  return no_dump_message(fault);
}

bool win32_exception_handler_t::write_minidump(const std::exception_ptr &fault)
{
  const report_claim_t claim;
  if ( !claim.held )
    return false;
  const uint32_t code = fault_exception_code(fault);
  const bool internal_error = code == internal_error_exception_code;
  const time_t now = time(nullptr);
  tm local {};
  localtime_r(&now, &local);
  qstring name;
  dump_file_name(&name, fault, local, long(getpid()), internal_error);

  char code_text[16];
  snprintf(code_text, sizeof(code_text), "0x%08X", code);
  const std::string text = "Exception code " + std::string(code_text) + "\nException: " + fault_exception_text(fault) + "\n";
  char temp_dir[PATH_MAX];
  if ( temp_directory(temp_dir, sizeof(temp_dir)) == nullptr )
    temp_dir[0] = '\0';
  char path[PATH_MAX + 256];
  const crash_report_result_t result = write_crash_report(path, sizeof(path), name.c_str(), temp_dir, text.c_str());
  if ( result == crash_report_result_t::not_created )
    return false;
  const bool written = result == crash_report_result_t::written;
  after_dump_message(fault, path, internal_error, written);
  return written;
}

bool install_fault_signal_reports(crash_name_fn_t name_fn)
{
  char temp_dir[PATH_MAX];
  return install_crash_signals(name_fn, temp_directory(temp_dir, sizeof(temp_dir)) != nullptr ? temp_dir : "");
}

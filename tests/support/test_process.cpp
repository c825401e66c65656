// The body shared by every suite's test main: each test process gets its own HOME, XDG_CONFIG_HOME and
// TMPDIR, so no test reads or writes the user's files, and parallel test processes never share state.
#include "tests/support/test_process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

// Under AddressSanitizer an impossible allocation must fail the way it does in the program (a null
// result), so that the tests of the allocation failure paths can run; unused in other builds.
extern "C" const char *__asan_default_options()
{
  return "allocator_may_return_null=1";
}

// Qt's offscreen platform never frees its screen objects, and the D-Bus library that Qt uses on a display keeps
// a buffer to the end; that is no fault of ours.
extern "C" const char *__lsan_default_suppressions()
{
  return "leak:libqoffscreen.so\nleak:libdbus-1.so\n";
}

int run_test_process(int &argc, char **argv, const std::function<int(int &argc, char **argv)> &run)
{
  std::string base = std::filesystem::temp_directory_path() / "akui-test-XXXXXX";
  if ( mkdtemp(base.data()) == nullptr )
    return 2;
  const std::filesystem::path home(base);
  std::filesystem::create_directories(home / ".config");
  std::filesystem::create_directories(home / "tmp");
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
  setenv("TMPDIR", (home / "tmp").c_str(), 1);
  // Offscreen unless a platform is named: the OnDisplay suites run on a private display (tests/support/with_xvfb).
  setenv("QT_QPA_PLATFORM", "offscreen", 0);

  testing::InitGoogleTest(&argc, argv);
  const int rc = run(argc, argv);

  // Not an atexit handler: a forked death-test child must never remove its parent's folder.
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
  return rc;
}

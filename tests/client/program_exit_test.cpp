// The real program's exit when it cannot start: its message on standard error and its exit code.
#include "core/directories.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

// Runs a shell command line; answers its exit code and what it wrote to both streams.
int run_command(const std::string &command, std::string *output)
{
  FILE *pipe = popen((command + " 2>&1").c_str(), "r");
  if ( pipe == nullptr )
    return -1;
  char buffer[4096];
  size_t n = 0;
  while ( (n = fread(buffer, 1, sizeof(buffer), pipe)) > 0 )
    output->append(buffer, n);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ProgramExit, WithoutItsMessageCatalogueTheProgramEndsWith255)
{
  const std::filesystem::path installed = std::filesystem::path(install_directory(nullptr)) / "akui";
  ASSERT_TRUE(std::filesystem::exists(installed));
  // A copy of the program alone in a folder: no catalogue beside it.
  const std::filesystem::path alone = std::filesystem::temp_directory_path() / "akui-alone";
  std::filesystem::create_directories(alone);
  std::filesystem::copy_file(installed, alone / "akui", std::filesystem::copy_options::overwrite_existing);
  std::string output;
  const int code = run_command("cd '" + alone.string() + "' && PATH=/nonexistent QT_QPA_PLATFORM=offscreen ./akui",
                               &output);
  EXPECT_EQ(code, 255);
  EXPECT_NE(output.find("Can't initialize help system"), std::string::npos) << output;
  std::filesystem::remove_all(alone);
}

} // namespace

// The .zxl test programs: every file compiles; each "expect NAME: VALUE" line runs NAME and compares its
// value, each "fails NAME: CODE" line expects an uncaught exception with that error code. The native
// eval_fails(text) compiles a text and answers 1 when it is refused.
#include "script/compiler/zxl_compiler.h"

#include "tests/script/compiler_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace
{

std::vector<std::string> program_names()
{
  std::vector<std::string> names;
  for ( const auto &entry : std::filesystem::directory_iterator(programs_directory()) )
    if ( entry.path().extension() == ".zxl" )
      names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

int eval_fails(zxl_value_t *args, zxl_value_t *result)
{
  const std::string text = "static ___probe(){ " + std::string(zxl_string_view(args[0])) + " }";
  qstring error;
  *result = zxl_long(zxl_compile_text(text.c_str(), &error, nullptr, false) ? 0 : 1);
  return 0;
}

class zxl_program_test : public zxl_compiler_test, public ::testing::WithParamInterface<std::string>
{
protected:
  void SetUp() override
  {
    zxl_compiler_test::SetUp();
    auto *native = new zxl_native_t;
    native->name = "eval_fails";
    native->callback = eval_fails;
    native->arg_kinds = "\x07";
    native->flags = ZXL_NATIVE_ANY_THREAD;
    zxl_add_native(native);
  }
};

TEST_P(zxl_program_test, runs_as_expected)
{
  const std::string path = programs_directory() + "/" + GetParam() + ".zxl";
  qstring error;
  ASSERT_TRUE(zxl_compile_source_file(path.c_str(), &error, ZXL_COMPILE_RESET_MACROS | ZXL_COMPILE_DEFAULT_NAMES))
      << error.c_str();
  std::ifstream in(path);
  int checks = 0;
  for ( std::string line; std::getline(in, line); )
  {
    // "// expect NAME: VALUE" or "// fails NAME: CODE"
    std::istringstream words(line);
    std::string slashes, verb, name;
    words >> slashes >> verb >> name;
    if ( slashes != "//" || (verb != "expect" && verb != "fails") || name.size() < 2 || name.back() != ':' )
      continue;
    name.pop_back();
    std::string expected;
    std::getline(words >> std::ws, expected);
    ++checks;
    const zxl_outcome_t outcome = zxl_run_by_name(name.c_str());
    if ( verb == "expect" )
    {
      EXPECT_TRUE(outcome.ok) << name << ": " << outcome.error;
      EXPECT_EQ(outcome.value, expected) << name;
    }
    else
    {
      EXPECT_FALSE(outcome.ok) << name;
      EXPECT_EQ(std::to_string(outcome.code), expected) << name << ": " << outcome.error;
    }
    EXPECT_EQ(outcome.depth_left, 0u) << name;
  }
  EXPECT_GT(checks, 0);
}

INSTANTIATE_TEST_SUITE_P(programs, zxl_program_test, ::testing::ValuesIn(program_names()),
                         [](const ::testing::TestParamInfo<std::string> &info) { return info.param; });

} // namespace

// Helpers shared by the compiler tests.
#include "tests/script/compiler_fixture.h"

#include "test_paths.h"

#include "script/compiler/zxl_compiler.h"

#include "core/directories.h"
#include "core/message_catalog.h"

#include <chrono>
#include <cstdio>
#include <future>
#include <thread>

void zxl_compiler_test::SetUp()
{
  zxl_engine_test::SetUp();
  ASSERT_EQ(load_help_file(install_directory("zuk.hlp")), 0);
}

bool compile_text(const std::string &text, std::string *error)
{
  qstring message;
  const bool ok = zxl_compile_text(text.c_str(), &message, nullptr, false);
  if ( error != nullptr )
    *error = message.c_str();
  return ok;
}

std::vector<uint8_t> code_of(const char *name)
{
  const int32_t index = zxl_compiled_function_index(name);
  if ( index < 0 )
    return {};
  const zxl_function_t *f = zxl_function_at(index);
  return std::vector<uint8_t>(f->body.data(), f->body.data() + f->code_length);
}

std::vector<uint8_t> assembled(const std::string &text)
{
  const zxl_assembly_t assembly = zxl_assemble(text);
  return std::vector<uint8_t>(assembly.code.data(), assembly.code.data() + assembly.code.size());
}

std::string hex(const std::vector<uint8_t> &bytes)
{
  std::string text;
  char buf[4];
  for ( uint8_t b : bytes )
  {
    std::snprintf(buf, sizeof(buf), "%02X ", b);
    text += buf;
  }
  return text;
}

std::string programs_directory()
{
  return AKUI_ZXL_PROGRAMS;
}

bool script_lock_is_free()
{
  auto taken = std::make_shared<std::promise<void>>();
  std::future<void> done = taken->get_future();
  std::thread([taken] {
    lock_enter(zxl_script_lock);
    lock_leave(zxl_script_lock);
    taken->set_value();
  }).detach();
  return done.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
}

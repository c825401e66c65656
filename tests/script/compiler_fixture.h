// Helpers of the compiler tests: compiling texts, reading compiled code, and comparing it with assembly.
#pragma once

#include "tests/script/engine_fixture.h"
#include "tests/script/zxl_assembler.h"

#include "core/qstring.h"
#include "core/ui_callback.h"

#include <cstdint>
#include <string>
#include <vector>

// A started engine with the message catalogue loaded.
class zxl_compiler_test : public zxl_engine_test
{
protected:
  void SetUp() override;
};

// Installs a UI callback for its lifetime and restores the previous one.
class ui_callback_scope_t
{
public:
  explicit ui_callback_scope_t(ui_callback_t callback) : saved_(ui_callback) { ui_callback = callback; }
  ~ui_callback_scope_t() { ui_callback = saved_; }
  ui_callback_scope_t(const ui_callback_scope_t &) = delete;
  ui_callback_scope_t &operator=(const ui_callback_scope_t &) = delete;

private:
  ui_callback_t saved_;
};

// Compiles a text with native permission and no resolver; the error text (empty on success) into *error.
bool compile_text(const std::string &text, std::string *error = nullptr);
// The code bytes (without the handler table) of the compiled function `name`; empty when there is none.
std::vector<uint8_t> code_of(const char *name);
// The code bytes of assembly text.
std::vector<uint8_t> assembled(const std::string &text);
// Bytes as "A5 00 00 ..." for readable failures.
std::string hex(const std::vector<uint8_t> &bytes);
// True when another thread can take the script lock (within 10 seconds).
bool script_lock_is_free();
// The directory of the .zxl test programs.
std::string programs_directory();

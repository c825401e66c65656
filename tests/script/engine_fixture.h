// A started ZXL engine for each test, and readable descriptions of values.
#pragma once

#include "script/runtime/zxl_engine.h"
#include "script/runtime/zxl_object.h"
#include "script/runtime/zxl_value.h"

#include "core/error_state.h"

#include <gtest/gtest.h>

#include <string>

// Starts the engine before each test and tears it down afterwards, so every test sees a fresh engine.
class zxl_engine_test : public ::testing::Test
{
protected:
  void SetUp() override
  {
    zxl_init();
    qerrno_set(0);
  }
  void TearDown() override
  {
    zxl_get_engine()->destructor_runner = nullptr;
    zxl_shutdown();
  }
};

// "LONG 5", "INT64 -1", "FLOAT 2.5", "STRING ab" (NULs as \0), "OBJECT {a=LONG 1,b=...}", "FUNC 3",
// "POINTER 16", "REF -1", or "?" with the kind code.
std::string describe(const zxl_value_t &v);

// A value owned by a test: released at the end of its scope.
struct owned_value_t
{
  zxl_value_t v;
  owned_value_t() = default;
  explicit owned_value_t(const zxl_value_t &value) : v(value) {}
  owned_value_t(const owned_value_t &) = delete;
  owned_value_t &operator=(const owned_value_t &) = delete;
  ~owned_value_t() { zxl_value_clear(&v); }
};

// A new object of class 0 with the given attributes (values taken over).
zxl_value_t make_object(std::initializer_list<std::pair<const char *, zxl_value_t>> attributes,
                        int32_t class_index = 0);
// A FLOAT read from decimal text.
zxl_value_t float_of(const char *text);

// Function bodies: the code buffer services, the finished layout and handler lookup.
#include "script/runtime/zxl_bytecode.h"

#include "tests/script/engine_fixture.h"
#include "tests/script/zxl_assembler.h"
#include "tests/support/interr_capture.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

using bytecode_test = zxl_engine_test;

std::vector<uint8_t> bytes_of(const byte_buffer_t &b)
{
  return std::vector<uint8_t>(b.begin(), b.end());
}

TEST_F(bytecode_test, smallest_body_is_seven_bytes_and_opcode_names_map_to_their_numbers)
{
  const int32_t index = zxl_install("main", 0, "RESERVE 0; PUSH_SMALL 0; RET");
  const zxl_function_t *f = zxl_function_at(index);
  EXPECT_EQ(bytes_of(f->body), (std::vector<uint8_t> {165, 0, 0, 224, 175, 0, 0}));
  EXPECT_EQ(f->code_length, 5u);

  const std::pair<const char *, int> names[] = {
      {"CALL_NATIVE_S", 0},  {"CALL_FUNC_S", 16}, {"POP_LOCAL_S", 32},    {"PUSH_ARG_S", 112},
      {"CALL_NATIVE_W", 129}, {"PUSH_ARG_W", 143}, {"INC_LOCAL_B", 192},  {"DEC_ARG_W", 199},
      {"PUSH_GLOBAL_B", 213}, {"DEC_GLOBAL_W", 222}, {"THROW", 223},       {"NEW", 240},
      {"SET_ITEM", 255},      {"SET_SLICE", 251},  {"PUSH_INT64", 211},   {"MARK_BELOW", 212},
      {"TO_STR", 191},        {"TO_LONG", 206},    {"TO_INT64", 209},     {"PUSH_INT32", 167},
  };
  for ( const auto &[name, opcode] : names )
    EXPECT_EQ(zxl_opcode_of(name), opcode) << name;
}

TEST_F(bytecode_test, finished_bodies_are_checked_and_patches_stay_inside)
{
  struct case_t
  {
    std::vector<uint8_t> body;
    int32_t interr; // 0: the code length below
    uint32_t length;
  };
  const case_t cases[] = {
      {{}, 278, 0},
      {{175, 0}, 278, 0},
      {{175, 0, 0}, 0, 1},
      {{175, 1, 0}, 279, 0},        // the table would leave no code
      {{175, 9, 1, 0}, 0, 1},       // one code byte, one table byte
      {{175, 9, 9, 1, 0}, 0, 2},    // one table byte
      {{175, 0, 0, 0xFF, 0xFF}, 279, 0},
  };
  for ( const case_t &c : cases )
  {
    byte_buffer_t body;
    zxl_code_append(&body, c.body.data(), c.body.size());
    uint32_t length = 0;
    EXPECT_EQ(interr_number([&] { length = zxl_code_length(body); }), c.interr) << c.body.size();
    if ( c.interr == 0 )
    {
      EXPECT_EQ(length, c.length);
    }
  }

  byte_buffer_t body;
  const uint8_t code[] = {171, 0, 0, 0, 0};
  zxl_code_append(&body, code, sizeof(code));
  zxl_code_patch32(&body, 1, 0x11223344);
  zxl_code_patch16(&body, 3, 0xBEEF);
  zxl_code_patch8(&body, 0, 172);
  EXPECT_EQ(bytes_of(body), (std::vector<uint8_t> {172, 0x44, 0x33, 0xEF, 0xBE}));
  EXPECT_EQ(interr_number([&] { zxl_code_patch32(&body, 2, 0); }), 277);
  EXPECT_EQ(interr_number([&] { zxl_code_patch16(&body, 4, 0); }), 277);
  EXPECT_EQ(interr_number([&] { zxl_code_patch8(&body, 5, 0); }), 277);
  EXPECT_EQ(bytes_of(body), (std::vector<uint8_t> {172, 0x44, 0x33, 0xEF, 0xBE}));
}

TEST_F(bytecode_test, handler_tables_keep_table_order_with_inner_handlers_first)
{
  // An inner handler [10, 20) written before its outer one [5, 40): the start delta goes back by 5.
  const int32_t index = zxl_define_function("f");
  zxl_function_t *f = zxl_function_at(index);
  const std::vector<uint8_t> code(50, 166);
  zxl_code_append(&f->body, code.data(), code.size());
  ASSERT_TRUE(zxl_code_finish(f, {{10, 20, 1, 3}, {5, 40, 3, 300}}));
  EXPECT_EQ(f->code_length, 50u);
  EXPECT_EQ(zxl_code_length(f->body), 50u);

  struct case_t
  {
    uint32_t offset;
    bool found;
    uint32_t start, end, kind, index;
  };
  const case_t cases[] = {
      {4, false, 0, 0, 0, 0},   {5, true, 5, 40, 3, 300},  {9, true, 5, 40, 3, 300}, {10, true, 10, 20, 1, 3},
      {19, true, 10, 20, 1, 3}, {20, true, 5, 40, 3, 300}, {39, true, 5, 40, 3, 300}, {40, false, 0, 0, 0, 0},
  };
  for ( const case_t &c : cases )
  {
    zxl_handler_t h;
    ASSERT_EQ(zxl_find_handler(*f, c.offset, &h), c.found) << c.offset;
    if ( c.found )
    {
      EXPECT_EQ(h.start, c.start) << c.offset;
      EXPECT_EQ(h.end, c.end) << c.offset;
      EXPECT_EQ(h.slot_kind, c.kind) << c.offset;
      EXPECT_EQ(h.slot_index, c.index) << c.offset;
    }
  }

  // A body without handlers has a zero table size and finds none; a cut table finds none either.
  const int32_t plain = zxl_install("g", 0, "PUSH_SMALL 1; RET");
  zxl_handler_t h;
  EXPECT_FALSE(zxl_find_handler(*zxl_function_at(plain), 0, &h));
  f->body[f->code_length] = 100; // the count now claims far more rows than the table holds
  EXPECT_FALSE(zxl_find_handler(*f, 45, &h));
}

TEST_F(bytecode_test, a_handler_table_past_the_sixteen_bit_size_is_refused)
{
  const int32_t index = zxl_define_function("big");
  zxl_function_t *f = zxl_function_at(index);
  const uint8_t ret = 175;
  zxl_code_append(&f->body, &ret, 1);
  // Each row takes at least 12 bytes (its slot kind and index are large): 7,000 rows pass 65,535.
  std::vector<zxl_handler_t> rows(7000, zxl_handler_t {0, 1, 0xF0000002, 0xF0000003});
  EXPECT_FALSE(zxl_code_finish(f, rows));
  EXPECT_EQ(f->body.size(), 1u);
}

// The steps the interpreter runs as one are recognised from the bytes alone, with every jump target checked
// against the code: a target outside it, or a sequence cut off by the end of the code, is left to the single
// instructions, which fail as they should.
TEST_F(bytecode_test, code_decodes_into_steps_with_targets_inside_the_code)
{
  struct case_t
  {
    const char *code;
    uint32_t at;
    zxl_step_form form;
    uint32_t x = 0;
    uint32_t y = 0;
    uint8_t third = 0;
  };
  constexpr uint32_t none = ZXL_STEP_NO_TARGET;
  const case_t cases[] = {
    // JMP_FALSE goes on for a non-zero result (x) and jumps for zero (y); JMP_TRUE the other way round.
    {"PUSH_LOCAL_S 0; PUSH_SMALL 3; LT; JMP_FALSE end; NOP; end: RET", 0, ZXL_STEP_BRANCH, 8, 9},
    {"PUSH_ARG_S 1; PUSH_LOCAL_S 2; EQ; JMP_TRUE end; NOP; end: RET", 0, ZXL_STEP_BRANCH, 9, 8},
    {"PUSH_LOCAL_S 0; PUSH_SMALL 3; LT; JMP_FALSE 100; RET", 0, ZXL_STEP_BRANCH, 8, none},
    {"PUSH_LOCAL_S 0; PUSH_SMALL 3; LT; JMP_FALSE 0", 0, ZXL_STEP_BRANCH, none, none},
    {"PUSH_LOCAL_S 1; PUSH_LOCAL_S 0; ADD; POP_LOCAL_S 1; RET", 0, ZXL_STEP_ASSIGN, 1},
    {"PUSH_LOCAL_S 1; PUSH_LOCAL_S 0; MUL; RET", 0, ZXL_STEP_OPERATION},
    // DIV is no operator the loop computes itself, and a sequence cut short by the end is none.
    {"PUSH_LOCAL_S 1; PUSH_LOCAL_S 0; DIV; RET", 0, ZXL_STEP_NONE},
    {"RET; PUSH_LOCAL_S 1; PUSH_LOCAL_S 0", 1, ZXL_STEP_NONE},
    // A loop step with its jump back, without one, and with a jump out of the code.
    {"top: PUSH_LOCAL_S 0; INC_LOCAL_B 0; POP; JMP top; RET", 0, ZXL_STEP_STEP, 0, 0, 1},
    {"PUSH_LOCAL_S 0; DEC_LOCAL_B 2; POP; RET", 0, ZXL_STEP_STEP, 2},
    {"PUSH_LOCAL_S 0; INC_LOCAL_B 0; POP; JMP -10; RET", 0, ZXL_STEP_STEP, 0, none, 0},
    {R"(PUSH_ARG_S 0; PUSH_STR "n"; GET_ATTR; RET)", 0, ZXL_STEP_MEMBER, 1, 7},
    {R"(PUSH_ARG_S 0; PUSH_STR "n"; ADD; RET)", 0, ZXL_STEP_NONE},
    {"MARK; PUSH_ARG_S 0; PUSH_SMALL 1; SUB; CALL_FUNC_S 3; RET", 0, ZXL_STEP_CALL_ONE, 3},
    {"NOP; JMP 1; NOP; RET", 1, ZXL_STEP_JUMP, 7, 6},
    {"NOP; JMP_FALSE -2; RET", 1, ZXL_STEP_JUMP, 4, 6},
    {"NOP; JMP_FALSE -7; RET", 1, ZXL_STEP_JUMP, none, 6},
    {"RESERVE 513; RET", 0, ZXL_STEP_RESERVE, 513},
    {".byte 165; .byte 1", 0, ZXL_STEP_NONE},
  };
  for ( const case_t &c : cases )
  {
    const zxl_assembly_t assembly = zxl_assemble(c.code);
    const auto steps = zxl_decode_steps(assembly.code.data(), uint32_t(assembly.code.size()));
    const zxl_step_t &step = steps[c.at];
    // The step past the code stops a run that gets there.
    EXPECT_EQ(steps[assembly.code.size()].entry, ZXL_STEP_ENTRY_END) << c.code;
    EXPECT_EQ(step.form, c.form) << c.code;
    // The loop dispatches on the entry: a single instruction's opcode, or the fused step's own handler.
    EXPECT_EQ(step.entry, c.form == ZXL_STEP_NONE ? assembly.code[c.at] : ZXL_STEP_ENTRY_BASE + c.form) << c.code;
    if ( c.form == ZXL_STEP_NONE )
      continue;
    EXPECT_EQ(step.x, c.x) << c.code;
    EXPECT_EQ(step.y, c.y) << c.code;
    if ( c.form == ZXL_STEP_STEP )
    {
      EXPECT_EQ(step.third, c.third) << c.code;
    }
  }
}

} // namespace

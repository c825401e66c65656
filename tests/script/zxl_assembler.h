// A small assembler for hand-written ZXL bodies, so interpreter tests read as instructions, not bytes.
#pragma once

#include "script/runtime/zxl_bytecode.h"
#include "script/runtime/zxl_value.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// Assembles text into a body. Statements are separated by ';' or new lines:
//   NAME [operand]     an instruction by its opcode name; S forms take their index as the operand
//                      (PUSH_LOCAL_S 3), PUSH_SMALL its value, PUSH_STR a "quoted" text, PUSH_FLOAT a decimal,
//                      jumps a label name or a number
//   label:             the current offset
//   .handler A B K I   a handler protecting [A, B) into slot kind K (local, arg, global or a number), index I
//   .line N / .file F  the line or file of the code from here on
//   .byte N            a raw byte
// Unknown names, operands or labels fail the calling test.
struct zxl_assembly_t
{
  byte_buffer_t code;
  std::vector<zxl_handler_t> handlers;
  std::vector<std::pair<uint32_t, uint32_t>> lines;
  std::vector<std::pair<uint32_t, std::string>> files;
};
zxl_assembly_t zxl_assemble(const std::string &text);

// The opcode of an instruction name (S forms: their first opcode), or -1.
int zxl_opcode_of(const std::string &name);

// Assembles text and installs it as the finished body of the function `name` (defined when new, made idle),
// with its parameter count and defaults (taken over). Gives the function's index.
int32_t zxl_install(const char *name, int32_t params, const std::string &text,
                    std::initializer_list<zxl_value_t> defaults = {});

// What a run through zxl_run_function gave.
struct zxl_outcome_t
{
  bool ok = false;
  std::string value;  // describe() of the result or of the exception
  int64_t qerrno = 0; // the exception's "qerrno", when it is an object that has one
  int32_t code = 0;   // the thread error code after the run
  std::string error;  // the runtime error text
  size_t depth_left = 0;
};
// Runs the function in a fresh context (the arguments are taken over and released).
zxl_outcome_t zxl_run_by_name(const char *name, std::initializer_list<zxl_value_t> args = {}, bool no_ui = true);

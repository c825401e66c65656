// The test assembler: opcode names to bytes, labels, handler and position tables.
#include "tests/script/zxl_assembler.h"

#include "tests/script/engine_fixture.h"

#include "script/runtime/zxl_context.h"
#include "script/runtime/zxl_operators.h"
#include "script/runtime/zxl_tables.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <map>
#include <sstream>

namespace
{

enum operand_form
{
  NONE,
  S_FORM, // the index is in the opcode
  U8,
  U16,
  I8,
  I16,
  I32,
  I64,
  FLOAT,
  TEXT,
  JUMP,
};

struct opcode_info_t
{
  int opcode;
  operand_form form;
};

const std::map<std::string, opcode_info_t> &opcode_table()
{
  static const std::map<std::string, opcode_info_t> table = [] {
    std::map<std::string, opcode_info_t> t;
    const char *families[8] = {"CALL_NATIVE", "CALL_FUNC",   "POP_LOCAL",  "POP_ARG",
                               "STORE_LOCAL", "STORE_ARG", "PUSH_LOCAL", "PUSH_ARG"};
    for ( int i = 0; i < 8; ++i )
    {
      t[std::string(families[i]) + "_S"] = {i * 16, S_FORM};
      t[std::string(families[i]) + "_B"] = {128 + 2 * i, U8};
      t[std::string(families[i]) + "_W"] = {129 + 2 * i, U16};
    }
    const char *counted[4] = {"INC_LOCAL", "INC_ARG", "DEC_LOCAL", "DEC_ARG"};
    for ( int i = 0; i < 4; ++i )
    {
      t[std::string(counted[i]) + "_B"] = {192 + 2 * i, U8};
      t[std::string(counted[i]) + "_W"] = {193 + 2 * i, U16};
    }
    const char *globals[5] = {"PUSH_GLOBAL", "POP_GLOBAL", "STORE_GLOBAL", "INC_GLOBAL", "DEC_GLOBAL"};
    for ( int i = 0; i < 5; ++i )
    {
      t[std::string(globals[i]) + "_B"] = {213 + 2 * i, U8};
      t[std::string(globals[i]) + "_W"] = {214 + 2 * i, U16};
    }
    const std::pair<const char *, opcode_info_t> others[] = {
        {"PUSH_SMALL", {224, S_FORM}}, {"PUSH_INT8", {160, I8}},    {"PUSH_INT16", {161, I16}},
        {"PUSH_INT32", {167, I32}},    {"PUSH_INT64", {211, I64}},  {"PUSH_FLOAT", {210, FLOAT}},
        {"PUSH_STR", {168, TEXT}},     {"POP", {169, NONE}},        {"DROP_B", {162, U8}},
        {"DROP_W", {163, U16}},        {"RESERVE", {165, U16}},     {"NOP", {166, NONE}},
        {"MARK", {170, NONE}},         {"MARK_BELOW", {212, NONE}}, {"DUP", {253, NONE}},
        {"REF_ARG", {248, NONE}},      {"REF_LOCAL", {249, NONE}},  {"REF_GLOBAL", {250, NONE}},
        {"JMP", {171, JUMP}},          {"JMP_TRUE", {172, JUMP}},   {"JMP_FALSE", {173, JUMP}},
        {"RET", {175, NONE}},          {"THROW", {223, NONE}},      {"CALL_VALUE", {164, NONE}},
        {"FUNC_REF", {174, NONE}},     {"NEW", {240, U16}},         {"CLONE", {241, NONE}},
        {"GET_ATTR", {242, NONE}},     {"SET_ATTR", {243, NONE}},   {"SET_ATTR_POP", {244, NONE}},
        {"INC_ATTR", {245, NONE}},     {"DEC_ATTR", {246, NONE}},   {"CALL_METHOD", {247, NONE}},
        {"GET_ITEM", {254, NONE}},     {"GET_SLICE", {252, NONE}},  {"SET_ITEM", {255, NONE}},
        {"SET_SLICE", {251, NONE}},
    };
    for ( const auto &[name, info] : others )
      t[name] = info;
    const char *operators[] = {"ADD", "SUB", "MUL", "DIV", "MOD", "LOR", "LAND", "LNOT",
                               "BOR", "BAND", "BXOR", "BNOT", "SHR", "SHL", "NEG", "TO_STR"};
    for ( int i = 0; i < 16; ++i )
      t[operators[i]] = {ZOP_ADD + i, NONE};
    const char *comparisons[] = {"EQ", "NE", "LE", "GE", "LT", "GT", "TO_LONG"};
    for ( int i = 0; i < 7; ++i )
      t[comparisons[i]] = {ZOP_EQ + i, NONE};
    t["TO_FLOAT"] = {ZOP_TO_FLOAT, NONE};
    t["TO_INT64"] = {ZOP_TO_INT64, NONE};
    return t;
  }();
  return table;
}

void put(byte_buffer_t *code, uint64_t value, size_t width)
{
  for ( size_t i = 0; i < width; ++i )
    code->push_back(uint8_t(value >> (8 * i)));
}

// Splits a statement into words; a "quoted" word keeps its blanks and may use \n, \0, \\ and \".
std::vector<std::string> words_of(const std::string &statement)
{
  std::vector<std::string> words;
  size_t i = 0;
  while ( i < statement.size() )
  {
    if ( statement[i] == ' ' || statement[i] == '\t' )
    {
      ++i;
      continue;
    }
    std::string word;
    if ( statement[i] == '"' )
    {
      word = "\"";
      for ( ++i; i < statement.size() && statement[i] != '"'; ++i )
      {
        char ch = statement[i];
        if ( ch == '\\' && i + 1 < statement.size() )
        {
          ch = statement[++i];
          ch = ch == 'n' ? '\n' : ch == '0' ? '\0' : ch;
        }
        word += ch;
      }
      ++i;
    }
    else
    {
      while ( i < statement.size() && statement[i] != ' ' && statement[i] != '\t' )
        word += statement[i++];
    }
    words.push_back(word);
  }
  return words;
}

} // namespace

int zxl_opcode_of(const std::string &name)
{
  const auto it = opcode_table().find(name);
  return it != opcode_table().end() ? it->second.opcode : -1;
}

zxl_assembly_t zxl_assemble(const std::string &text)
{
  zxl_assembly_t out;
  std::map<std::string, uint32_t> labels;
  struct fixup_t
  {
    size_t position;
    std::string label;
  };
  std::vector<fixup_t> fixups;
  struct pending_handler_t
  {
    std::string start, end;
    uint32_t kind, index;
  };
  std::vector<pending_handler_t> handlers;

  std::string statement;
  std::istringstream lines(text);
  std::vector<std::string> statements;
  for ( std::string line; std::getline(lines, line); )
  {
    bool quoted = false;
    std::string current;
    for ( char ch : line )
    {
      if ( ch == '"' )
        quoted = !quoted;
      if ( ch == ';' && !quoted )
      {
        statements.push_back(current);
        current.clear();
      }
      else
        current += ch;
    }
    statements.push_back(current);
  }
  for ( const std::string &s : statements )
  {
    std::vector<std::string> w = words_of(s);
    const uint32_t pc = uint32_t(out.code.size());
    while ( !w.empty() && w[0].back() == ':' )
    {
      labels[w[0].substr(0, w[0].size() - 1)] = pc;
      w.erase(w.begin());
    }
    if ( w.empty() )
      continue;
    if ( w[0] == ".handler" )
    {
      EXPECT_EQ(w.size(), 5u) << s;
      const std::map<std::string, uint32_t> kinds = {{"local", 1}, {"arg", 2}, {"global", 3}};
      const auto k = kinds.find(w[3]);
      handlers.push_back({w[1], w[2], k != kinds.end() ? k->second : uint32_t(std::stoul(w[3])),
                          uint32_t(std::stoul(w[4]))});
      continue;
    }
    if ( w[0] == ".line" )
    {
      out.lines.emplace_back(pc, uint32_t(std::stoul(w[1])));
      continue;
    }
    if ( w[0] == ".file" )
    {
      out.files.emplace_back(pc, w[1].substr(w[1][0] == '"' ? 1 : 0));
      continue;
    }
    if ( w[0] == ".byte" )
    {
      out.code.push_back(uint8_t(std::stoul(w[1])));
      continue;
    }
    const auto it = opcode_table().find(w[0]);
    if ( it == opcode_table().end() )
    {
      ADD_FAILURE() << "unknown instruction " << w[0];
      continue;
    }
    const opcode_info_t info = it->second;
    const std::string operand = w.size() > 1 ? w[1] : "";
    const auto number = [&]() -> int64_t {
      if ( operand.empty() )
        return 0;
      return operand[0] == '-' ? std::stoll(operand, nullptr, 0) : int64_t(std::stoull(operand, nullptr, 0));
    };
    switch ( info.form )
    {
    case NONE:
      out.code.push_back(uint8_t(info.opcode));
      break;
    case S_FORM:
      EXPECT_TRUE(number() >= 0 && number() < 16) << s;
      out.code.push_back(uint8_t(info.opcode + number()));
      break;
    case U8:
    case I8:
      out.code.push_back(uint8_t(info.opcode));
      put(&out.code, uint64_t(number()), 1);
      break;
    case U16:
    case I16:
      out.code.push_back(uint8_t(info.opcode));
      put(&out.code, uint64_t(number()), 2);
      break;
    case I32:
      out.code.push_back(uint8_t(info.opcode));
      put(&out.code, uint64_t(number()), 4);
      break;
    case I64:
      out.code.push_back(uint8_t(info.opcode));
      put(&out.code, uint64_t(number()), 8);
      break;
    case FLOAT:
    {
      out.code.push_back(uint8_t(info.opcode));
      const zxl_value_t f = float_of(operand.c_str());
      const auto *bytes = reinterpret_cast<const uint8_t *>(&f.f);
      for ( size_t i = 0; i < sizeof(f.f); ++i )
        out.code.push_back(bytes[i]);
      break;
    }
    case TEXT:
    {
      out.code.push_back(uint8_t(info.opcode));
      const std::string bytes = operand.substr(1);
      put(&out.code, bytes.size(), 4);
      for ( char ch : bytes )
        out.code.push_back(uint8_t(ch));
      break;
    }
    case JUMP:
      out.code.push_back(uint8_t(info.opcode));
      if ( !operand.empty() && (std::isdigit(uint8_t(operand[0])) || operand[0] == '-') )
        put(&out.code, uint64_t(number()), 4);
      else
      {
        fixups.push_back({out.code.size(), operand});
        put(&out.code, 0, 4);
      }
      break;
    }
  }
  const auto label = [&](const std::string &name) -> uint32_t {
    const auto it = labels.find(name);
    if ( it == labels.end() )
    {
      ADD_FAILURE() << "unknown label " << name;
      return 0;
    }
    return it->second;
  };
  for ( const fixup_t &f : fixups )
  {
    const int32_t offset = int32_t(label(f.label)) - int32_t(f.position + 4);
    for ( size_t i = 0; i < 4; ++i )
      out.code[f.position + i] = uint8_t(uint32_t(offset) >> (8 * i));
  }
  for ( const pending_handler_t &h : handlers )
    out.handlers.push_back({label(h.start), label(h.end), h.kind, h.index});
  return out;
}

int32_t zxl_install(const char *name, int32_t params, const std::string &text,
                    std::initializer_list<zxl_value_t> defaults)
{
  const zxl_assembly_t assembly = zxl_assemble(text);
  // A method mapped by zxl_define_method waits with activation -1: fill that record.
  int32_t index = zxl_compiled_function_index(name);
  if ( index < 0 || zxl_function_at(index)->activation != -1 )
    index = zxl_define_function(name);
  EXPECT_GE(index, 0) << name;
  zxl_function_t *f = zxl_function_at(index);
  f->clear_body();
  zxl_code_append(&f->body, assembly.code.data(), assembly.code.size());
  EXPECT_TRUE(zxl_code_finish(f, assembly.handlers));
  EXPECT_EQ(zxl_code_length(f->body), f->code_length);
  for ( const auto &[pc, line] : assembly.lines )
    zxl_line_table_append(f, pc, line);
  for ( const auto &[pc, file] : assembly.files )
    zxl_file_table_append(f, pc, file.c_str());
  f->param_count = params;
  for ( const zxl_value_t &v : defaults )
    f->defaults.push_back(v);
  f->activation = 0;
  return index;
}

zxl_outcome_t zxl_run_by_name(const char *name, std::initializer_list<zxl_value_t> args, bool no_ui)
{
  std::vector<zxl_value_t> values(args);
  zxl_context_t context;
  zxl_context_init(&context, zxl_resolver_pair_t(), no_ui);
  zxl_outcome_t outcome;
  owned_value_t result;
  qstring error;
  outcome.ok = zxl_run_function(&context, name, 0, int32_t(values.size()), values.data(), &result.v, &error);
  outcome.code = qerrno_get();
  outcome.error = error.c_str();
  outcome.value = describe(result.v);
  if ( result.v.kind == ZK_OBJECT && !outcome.ok )
  {
    zxl_value_t q = zxl_long(0);
    if ( zxl_get_member(&q, &result.v, "qerrno") == 0 && q.kind == ZK_LONG )
      outcome.qerrno = q.i;
    zxl_value_clear(&q);
  }
  outcome.depth_left = context.stack.size();
  zxl_context_free(&context);
  for ( zxl_value_t &v : values )
    zxl_value_clear(&v);
  qerrno_set(outcome.code);
  return outcome;
}

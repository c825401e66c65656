// The ZXL compiler's state and the operations its actions share; private to the compiler.
#pragma once

#include "script/compiler/zxl_compiler.h"
#include "script/compiler/zxl_grammar.h"

#include "script/runtime/zxl_bytecode.h"
#include "script/runtime/zxl_engine.h"
#include "script/runtime/zxl_tables.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Kinds of a pending item.
enum zxl_item_kind : uint8_t
{
  ZXL_ITEM_NAME = 1,
  ZXL_ITEM_CALL = 2,
  ZXL_ITEM_SLICE = 3,
  ZXL_ITEM_INDEX = 4,
  ZXL_ITEM_MEMBER = 5,
};

// A pending expression part, emitted once it is known whether it is read, written or called. Items chain
// through their base; a chain of any length is freed without recursion.
struct zxl_compile_item_t
{
  zxl_compile_item_t() = default;
  zxl_compile_item_t(const zxl_compile_item_t &) = delete;
  zxl_compile_item_t &operator=(const zxl_compile_item_t &) = delete;
  ~zxl_compile_item_t();

  zxl_item_kind kind = ZXL_ITEM_NAME;
  std::string name;     // name: the name; member: the member name
  std::string code;     // call: the argument code; index and slice: the index code
  uint32_t argc = 0;    // call: the argument count
  std::unique_ptr<zxl_compile_item_t> base;
};

// A try block: where it starts, where its handler starts, and the variable that receives the exception.
struct zxl_try_record_t
{
  uint32_t start = 0;
  uint32_t handler = 0;
  uint32_t kind = 0; // 1 local, 2 argument, 3 global
  uint32_t slot = 0;
};

// Kinds answered by zxl_compiler_t::resolve_name.
enum zxl_name_kind : int
{
  ZXL_NAME_UNKNOWN = 0,
  ZXL_NAME_LOCAL = 1,
  ZXL_NAME_ARG = 2,
  ZXL_NAME_GLOBAL = 3,
  ZXL_NAME_CLASS = 5,
  ZXL_NAME_FUNCTION = 6,
};

// Kinds of the function being compiled.
enum zxl_function_kind : int32_t
{
  ZXL_PLAIN_FUNCTION = 0,
  ZXL_CONSTRUCTOR = 1,
  ZXL_DESTRUCTOR = 2,
};

// The last-opcode register after a forward jump was patched to the current position: nothing before that
// position may be rewritten.
inline constexpr uint8_t ZXL_JUMP_TARGET = 255;

// One compilation. Promises: lives on the stack of zxl_compile_program under the script lock; every stack
// is empty between functions; `function`, when set, has activation -1 and an empty body: its code and line
// table are built in `body` and `lines`, and copied to it when it ends.
struct zxl_compiler_t : grammar_driver_t
{
  // The standard string hash: the library searches small tables without hashing.
  using slot_index_t = std::unordered_map<std::string, uint32_t>;
  // An open call: its callee's name item (null when the callee is no plain name) and, once an argument
  // asked for them, the native or compiled function of that name.
  struct open_call_t
  {
    const zxl_compile_item_t *callee = nullptr;
    bool looked_up = false;
    const zxl_native_t *native = nullptr;
    int32_t function = -1;
  };

  zxl_engine_t *engine = nullptr;
  // Kept from one function to the next, so a function's code grows without a reallocation per doubling.
  byte_buffer_t body;
  qvector<zxl_line_entry_t> lines;
  slot_index_t local_index; // name -> slot; the size is the number of locals
  slot_index_t arg_index;   // likewise for the arguments
  std::vector<open_call_t> open_calls;
  zxl_class_t *current_class = nullptr;
  zxl_function_t *function = nullptr;
  uint8_t last_op = ZOP_NOP;
  bool destructor_flag = false;
  int32_t function_kind = ZXL_PLAIN_FUNCTION;
  struct if_entry_t
  {
    uint32_t position;
    uint8_t op_before; // the last opcode before the jump, restored when an empty branch removes it
  };
  std::vector<if_entry_t> if_stack;
  std::vector<int64_t> break_list;    // -1 separates loop levels
  std::vector<int64_t> continue_list; // likewise
  std::vector<uint32_t> loop_stack;
  std::vector<uint32_t> saved_positions; // code positions of open calls and indexes
  std::vector<uint32_t> arg_counts;
  std::vector<std::unique_ptr<zxl_compile_item_t>> items;
  std::vector<std::unique_ptr<zxl_compile_item_t>> spare_items; // their strings keep their capacity
  std::vector<zxl_try_record_t> try_stack;
  std::vector<zxl_try_record_t> finished_tries;
  qvector<zxl_value_t> constants; // owned values of the constant expression being evaluated
  zxl_name_resolver_t *resolver = nullptr;
  int32_t first_default = -1;
  bool native_permission = true;
  bool parent_ctor_missing = false; // the open parent constructor call has no constructor to call

  ~zxl_compiler_t();

  // Code emission; pc is the length of the current body.
  byte_buffer_t &code() { return body; }
  uint32_t pc() const { return uint32_t(body.size()); }
  void emit_op(uint8_t op);
  void emit_byte(uint8_t value);
  void emit_word(uint16_t value);
  void emit_dword(uint32_t value);
  void emit_qword(uint64_t value);
  void emit_bytes(std::string_view bytes);
  void emit_int_const(int64_t value);
  void emit_op_index(uint8_t op, uint32_t n);
  void emit_slot_op(uint8_t base, uint32_t n);
  void emit_string_const(std::string_view bytes);
  // A forward jump with operand 0: the operand's position. Past the 32-bit range: ZXL_LIMIT_PASSED.
  [[nodiscard]] int emit_forward_jump(uint8_t op, uint32_t *operand_position);
  [[nodiscard]] int emit_jump_to(uint8_t op, uint32_t target);
  // The one patch helper: a jump operand patched to the current position marks it as a jump target.
  [[nodiscard]] int patch_jump(uint32_t operand_position, uint32_t target);
  // Removes the last `count` bytes (internal error 708 past the start).
  void remove_code(uint32_t count);
  // Drops the value on the top: folds the drop into the instruction that made it when it can.
  void emit_drop();
  // Moves the code from the newest saved position on into a new item of kind `kind` over the top item.
  void cut_code_to_item(zxl_item_kind kind);
  // Records the reader's file and line for the current pc.
  void record_source_position(const char *file, int32_t line);

  // Declares the current token's name as the next local (refused when it names an argument or a local) or
  // the next argument (refused when it names an argument): 52, or the limit of 65,535.
  [[nodiscard]] int declare_variable(bool local);

  // Items: a new one of that kind (from the spares when there are), and the return of an item with its
  // chain of bases to the spares.
  std::unique_ptr<zxl_compile_item_t> new_item(zxl_item_kind kind);
  void recycle_item(std::unique_ptr<zxl_compile_item_t> item);

  // Names and items (expressions).
  zxl_name_kind resolve_name(const std::string &name, uint32_t *slot);
  [[nodiscard]] int emit_name_access(const std::string &name, bool store, int step);
  [[nodiscard]] int emit_inc_dec_name(int step);
  [[nodiscard]] int emit_item(const zxl_compile_item_t &item, bool store, int step);
  [[nodiscard]] int emit_load(const zxl_compile_item_t &item);
  [[nodiscard]] int emit_call_by_name(const std::string &name, uint32_t count);
  [[nodiscard]] int emit_name_reference(const std::string &name);
  [[nodiscard]] int check_call_argument();
  [[nodiscard]] int begin_parent_ctor_call(const zxl_class_t *parent);
  [[nodiscard]] int end_parent_ctor_call();

  // Functions.
  [[nodiscard]] int begin_function(const std::string &name);
  [[nodiscard]] int end_function();
  void reset_function_state();
  void clear_function_stacks();
};

// Sets the thread error code (with a text argument when given) and answers it.
int zxl_compile_fail(int code, const char *argument = nullptr);
// ZXL_LIMIT_PASSED naming the limit.
int zxl_limit_passed(const char *what);

// The opcodes of the 21 operators in action order ("||" first, "~" last), shared by the expression actions
// 64-84 and the constant actions 32-52, and of the four conversions long, __int64, char and float.
inline constexpr uint8_t zxl_operator_opcodes[21] = {
  181, 182, 184, 186, 185, 200, 201, 203, 202, 204, 205, 188, 189, 176, 177, 178, 179, 180, 190, 183, 187,
};
inline constexpr uint8_t zxl_conversion_opcodes[4] = {206, 209, 191, 208};

// The actions of the three Parts of the language; each answers 0 or an error code.
int zxl_statement_action(grammar_driver_t *driver, int action);
int zxl_expression_action(grammar_driver_t *driver, int action);
int zxl_function_action(grammar_driver_t *driver, int action);

// The bytes of a string token into *out: narrow as written, wide as UTF-16 little-endian units. A wide
// literal that is not UTF-8 fails with ZXL_BAD_WIDE_LITERAL.
[[nodiscard]] bool zxl_string_literal_bytes(const lexer_token_t &token, std::string *out);
// The text of the current token, read by actions that come right after a NAME.
inline std::string zxl_token_text(const grammar_driver_t *driver)
{
  return std::string(driver->token.text.view());
}

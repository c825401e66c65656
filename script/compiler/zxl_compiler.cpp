// The ZXL compiler core: emission helpers, the drop peephole, code cutting, error texts, the compilation
// driver and the entry points.
#include "script/compiler/zxl_compiler.h"

#include "script/compiler/zxl_compiler_p.h"

#include "script/runtime/zxl_bytecode.h"

#include "core/error_state.h"
#include "core/internal_error.h"
#include "core/unicode.h"

#include <array>
#include <cstring>

namespace
{

// Feeds the driver from the engine's token reader.
int compiler_read_token(grammar_driver_t *driver)
{
  zxl_compiler_t *c = static_cast<zxl_compiler_t *>(driver);
  return read_token(c->engine->reader.get(), &driver->token);
}

// The action table: statements (1-22, 28, 59, 60), expressions (61-110), and functions, classes and
// constant expressions (0, 23-27, 29-58, 111-114).
constexpr std::array<grammar_action_t, ZXL_ACTION_COUNT> make_actions()
{
  std::array<grammar_action_t, ZXL_ACTION_COUNT> table {};
  for ( int i = 0; i < ZXL_ACTION_COUNT; ++i )
  {
    if ( (i >= 1 && i <= 22) || i == 28 || i == 59 || i == 60 )
      table[size_t(i)] = zxl_statement_action;
    else if ( i >= 61 && i <= 110 )
      table[size_t(i)] = zxl_expression_action;
    else
      table[size_t(i)] = zxl_function_action;
  }
  return table;
}
constexpr std::array<grammar_action_t, ZXL_ACTION_COUNT> zxl_actions = make_actions();

// The error text of a failed compilation: "file,line: " or "line-1: " before the catalogue's text.
void format_compile_error(int code, const lexer_token_t &token, token_reader_t *reader, qstring *out)
{
  if ( out == nullptr )
    return;
  out->clear();
  if ( code == -1 )
    code = qerrno_get();
  if ( code == 0 )
    return;
  std::string text;
  int32_t line = -1;
  const char *file = reader->get_position(&line, nullptr, 0);
  if ( line >= 0 )
  {
    if ( file != nullptr )
      text += file;
    if ( line != 0 )
    {
      if ( file != nullptr )
        text += "," + std::to_string(line);
      else
        text += std::to_string(line - 1);
    }
    if ( !text.empty() )
      text += ": ";
  }
  if ( code == 47 )
  {
    qstring token_text;
    error_arg_text(0, token_to_text(token, &token_text));
  }
  text += error_code_text(code);
  *out = text.c_str();
}

// Holds the script lock and the reader's user data for one compilation.
struct compilation_scope_t
{
  critical_section_guard_t guard {zxl_script_lock};
};

} // namespace

int zxl_compile_fail(int code, const char *argument)
{
  if ( argument != nullptr )
    error_arg_text(0, argument);
  qerrno_set(code);
  return code;
}

int zxl_limit_passed(const char *what)
{
  return zxl_compile_fail(ZXL_LIMIT_PASSED, what);
}

zxl_compile_item_t::~zxl_compile_item_t()
{
  std::unique_ptr<zxl_compile_item_t> next = std::move(base);
  while ( next != nullptr )
    next = std::move(next->base);
}

zxl_compiler_t::~zxl_compiler_t()
{
  zxl_values_release(&constants);
}

// ---------------------------------------------------------------------------------------------------------
// Emission

void zxl_compiler_t::emit_op(uint8_t op)
{
  code().push_back(op);
  last_op = op;
}

void zxl_compiler_t::emit_byte(uint8_t value)
{
  code().push_back(value);
}

void zxl_compiler_t::emit_word(uint16_t value)
{
  const uint8_t bytes[2] = {uint8_t(value), uint8_t(value >> 8)};
  zxl_code_append(&code(), bytes, 2);
}

void zxl_compiler_t::emit_dword(uint32_t value)
{
  emit_word(uint16_t(value));
  emit_word(uint16_t(value >> 16));
}

void zxl_compiler_t::emit_qword(uint64_t value)
{
  emit_dword(uint32_t(value));
  emit_dword(uint32_t(value >> 32));
}

void zxl_compiler_t::emit_bytes(std::string_view bytes)
{
  zxl_code_append(&code(), bytes.data(), bytes.size());
}

void zxl_compiler_t::emit_int_const(int64_t v)
{
  if ( v >= 0 && v <= 15 )
  {
    emit_op(uint8_t(ZOP_PUSH_SMALL + v));
  }
  else if ( v >= INT8_MIN && v <= INT8_MAX )
  {
    emit_op(ZOP_PUSH_INT8);
    emit_byte(uint8_t(v));
  }
  else if ( v >= INT16_MIN && v <= INT16_MAX )
  {
    emit_op(ZOP_PUSH_INT16);
    emit_word(uint16_t(v));
  }
  else if ( v >= INT32_MIN && v <= INT32_MAX )
  {
    emit_op(ZOP_PUSH_INT32);
    emit_dword(uint32_t(v));
  }
  else
  {
    emit_op(ZOP_PUSH_INT64);
    emit_qword(uint64_t(v));
  }
}

void zxl_compiler_t::emit_op_index(uint8_t op, uint32_t n)
{
  if ( n <= 0xFF )
  {
    emit_op(op);
    emit_byte(uint8_t(n));
  }
  else
  {
    emit_op(uint8_t(op + 1));
    emit_word(uint16_t(n));
  }
}

void zxl_compiler_t::emit_slot_op(uint8_t base, uint32_t n)
{
  if ( n < 16 )
  {
    emit_op(uint8_t(base + n));
  }
  else if ( n <= 0xFF )
  {
    emit_op(uint8_t(128 + base / 8));
    emit_byte(uint8_t(n));
  }
  else
  {
    emit_op(uint8_t(129 + base / 8));
    emit_word(uint16_t(n));
  }
}

void zxl_compiler_t::emit_string_const(std::string_view bytes)
{
  emit_op(ZOP_PUSH_STR);
  emit_dword(uint32_t(bytes.size()));
  emit_bytes(bytes);
}

int zxl_compiler_t::emit_forward_jump(uint8_t op, uint32_t *operand_position)
{
  if ( code().size() > size_t(INT32_MAX) - 5 )
    return zxl_limit_passed("a function body past the 32-bit jump range");
  emit_op(op);
  *operand_position = pc();
  emit_dword(0);
  return 0;
}

int zxl_compiler_t::emit_jump_to(uint8_t op, uint32_t target)
{
  if ( code().size() > size_t(INT32_MAX) - 5 )
    return zxl_limit_passed("a function body past the 32-bit jump range");
  emit_op(op);
  emit_dword(uint32_t(int32_t(int64_t(target) - int64_t(pc()) - 4)));
  return 0;
}

int zxl_compiler_t::patch_jump(uint32_t operand_position, uint32_t target)
{
  const int64_t offset = int64_t(target) - int64_t(operand_position) - 4;
  if ( offset > INT32_MAX || offset < INT32_MIN )
    return zxl_limit_passed("a function body past the 32-bit jump range");
  zxl_code_patch32(&code(), operand_position, uint32_t(int32_t(offset)));
  if ( target == pc() )
    last_op = ZXL_JUMP_TARGET;
  return 0;
}

void zxl_compiler_t::remove_code(uint32_t count)
{
  if ( count > code().size() )
    interr(708);
  code().resize(code().size() - count);
}

void zxl_compiler_t::emit_drop()
{
  const uint8_t op = last_op;
  auto rewrite = [&](size_t back, uint8_t to) {
    if ( back > body.size() )
      interr(708);
    body[body.size() - back] = to;
  };
  if ( op >= ZOP_STORE_LOCAL_S && op < ZOP_PUSH_LOCAL_S )
    rewrite(1, uint8_t(op - 32));
  else if ( op == ZOP_STORE_LOCAL_B || op == ZOP_STORE_ARG_B )
    rewrite(2, uint8_t(op - 4));
  else if ( op == ZOP_STORE_LOCAL_W || op == ZOP_STORE_ARG_W )
    rewrite(3, uint8_t(op - 4));
  else if ( op == ZOP_STORE_GLOBAL_B )
    rewrite(2, ZOP_POP_GLOBAL_B);
  else if ( op == ZOP_STORE_GLOBAL_W )
    rewrite(3, ZOP_POP_GLOBAL_W);
  else if ( op == ZOP_SET_ATTR )
    rewrite(1, ZOP_SET_ATTR_POP);
  else if ( op >= ZOP_PUSH_LOCAL_S && op < ZOP_CALL_NATIVE_B )
    remove_code(1);
  else if ( op == ZOP_PUSH_LOCAL_B || op == ZOP_PUSH_ARG_B )
    remove_code(2);
  else if ( op == ZOP_PUSH_LOCAL_W || op == ZOP_PUSH_ARG_W )
    remove_code(3);
  else
    code().push_back(ZOP_POP);
  last_op = ZOP_POP;
}

void zxl_compiler_t::cut_code_to_item(zxl_item_kind kind)
{
  if ( saved_positions.empty() || items.empty() )
    interr(273);
  const uint32_t from = saved_positions.back();
  saved_positions.pop_back();
  if ( from > pc() )
    interr(708);
  std::unique_ptr<zxl_compile_item_t> item = new_item(kind);
  item->code.assign(reinterpret_cast<const char *>(code().data()) + from, pc() - from);
  item->base = std::move(items.back());
  items.back() = std::move(item);
  code().resize(from);
  last_op = ZOP_POP;
  // Positions recorded inside the moved code no longer describe it; they must stay in rising order.
  while ( !lines.empty() && lines.back().pc > from )
    lines.pop_back();
  while ( !function->file_table.empty() && function->file_table.back().pc > from )
    function->file_table.pop_back();
}

int zxl_compiler_t::declare_variable(bool local)
{
  std::string name = zxl_token_text(this);
  if ( arg_index.count(name) != 0 || (local && local_index.count(name) != 0) )
    return zxl_compile_fail(52, name.c_str());
  slot_index_t &names = local ? local_index : arg_index;
  if ( names.size() >= 0xFFFF )
    return zxl_limit_passed(local ? "more than 65,535 locals" : "more than 65,535 arguments");
  const uint32_t slot = uint32_t(names.size());
  names.emplace(std::move(name), slot);
  return 0;
}

std::unique_ptr<zxl_compile_item_t> zxl_compiler_t::new_item(zxl_item_kind kind)
{
  std::unique_ptr<zxl_compile_item_t> item;
  if ( spare_items.empty() )
  {
    item = std::make_unique<zxl_compile_item_t>();
  }
  else
  {
    item = std::move(spare_items.back());
    spare_items.pop_back();
  }
  item->kind = kind;
  return item;
}

void zxl_compiler_t::recycle_item(std::unique_ptr<zxl_compile_item_t> item)
{
  while ( item != nullptr )
  {
    std::unique_ptr<zxl_compile_item_t> next = std::move(item->base);
    item->name.clear();
    item->code.clear();
    item->argc = 0;
    spare_items.push_back(std::move(item));
    item = std::move(next);
  }
}

void zxl_compiler_t::record_source_position(const char *file, int32_t line)
{
  if ( function == nullptr )
    return;
  if ( file != nullptr )
    zxl_file_table_append(function, pc(), file);
  if ( line >= 0 )
    zxl_line_table_append(&lines, pc(), uint32_t(line));
}

bool zxl_string_literal_bytes(const lexer_token_t &token, std::string *out)
{
  const std::string_view text = token.text.view();
  if ( token.flag != 1 )
  {
    out->assign(text);
    return true;
  }
  wide_string_t wide;
  if ( !utf8_to_utf16(&wide, text.data(), ptrdiff_t(text.size())) )
  {
    zxl_compile_fail(ZXL_BAD_WIDE_LITERAL);
    return false;
  }
  out->clear();
  out->reserve(text.size() * 2);
  for ( size_t i = 0; i + 1 < wide.size(); ++i ) // the conversion ends with a 0 unit
  {
    out->push_back(char(wide[i] & 0xFF));
    out->push_back(char(wide[i] >> 8));
  }
  return true;
}

// ---------------------------------------------------------------------------------------------------------
// Compilation and entry points

namespace
{

// Forgets a failed compilation: the function under compilation keeps an empty body and is no longer marked
// as being compiled.
void abandon_function(zxl_compiler_t *c)
{
  if ( c->function != nullptr )
  {
    c->function->clear_body();
    c->function->activation = 0;
    c->function = nullptr;
  }
}

bool zxl_compile_program(zxl_engine_t *engine, zxl_name_resolver_t *resolver, qstring *error, bool natives)
{
  zxl_compiler_t c;
  c.feed = compiler_read_token;
  c.rules = zxl_rules;
  c.actions = zxl_actions.data();
  c.engine = engine;
  c.resolver = resolver;
  c.native_permission = natives;
  token_reader_t *reader = engine->reader.get();
  struct user_data_scope_t
  {
    token_reader_t *reader;
    void *saved;
    ~user_data_scope_t() { reader->set_user_data(saved); }
  } scope {reader, reader->set_user_data(&c)};
  qerrno_set(0);
  bool ok = false;
  try
  {
    ok = grammar_driver(&c, 0);
  }
  catch ( ... )
  {
    abandon_function(&c);
    throw;
  }
  if ( !ok )
  {
    format_compile_error(-1, c.token, reader, error);
    abandon_function(&c);
  }
  else if ( error != nullptr )
  {
    error->clear();
  }
  return ok;
}

} // namespace

bool zxl_compile_source_file(const char *path, qstring *error, uint32_t flags)
{
  const compilation_scope_t scope;
  zxl_engine_t *engine = zxl_get_engine();
  token_reader_t *reader = engine->reader.get();
  engine->include_paths.set_paths(nullptr, false);
  struct end_input_t
  {
    token_reader_t *reader;
    bool reset;
    ~end_input_t() { reader->end_input(reset); }
  } end_input {reader, (flags & ZXL_COMPILE_RESET_MACROS) != 0};
  if ( reader->open_file(path) != 0 )
  {
    if ( error != nullptr )
      *error = error_code_text(-1);
    return false;
  }
  zxl_name_resolver_t *resolver = (flags & ZXL_COMPILE_DEFAULT_NAMES) != 0 ? &zxl_default_resolver : nullptr;
  return zxl_compile_program(engine, resolver, error, (flags & ZXL_COMPILE_NO_NATIVES) == 0);
}

bool zxl_compile_text(const char *text, qstring *error, zxl_name_resolver_t *resolver, bool restrict_natives)
{
  const compilation_scope_t scope;
  zxl_engine_t *engine = zxl_get_engine();
  token_reader_t *reader = engine->reader.get();
  // The reader keeps no pointer into the text once the compilation is over.
  struct end_input_t
  {
    token_reader_t *reader;
    ~end_input_t() { reader->end_input(false); }
  } end_input {reader};
  reader->set_text(text, nullptr);
  return zxl_compile_program(engine, resolver, error, !restrict_natives);
}

bool zxl_set_function_code(const char *name, int32_t params, const uint8_t *code, size_t length)
{
  const compilation_scope_t scope;
  const int32_t index = zxl_define_function(name);
  if ( index < 0 )
    return false;
  zxl_function_t *f = zxl_function_at(index);
  f->body.clear();
  zxl_code_append(&f->body, code, length);
  f->code_length = zxl_code_length(f->body);
  f->param_count = params;
  f->activation = 0;
  return true;
}

bool zxl_check_call_arity(const zxl_engine_t *engine, int32_t index, size_t count)
{
  const critical_section_guard_t guard(zxl_script_lock);
  size_t params = 0;
  size_t defaults = 0;
  bool variadic = false;
  if ( index < 0 )
  {
    const uint64_t n = uint64_t(-int64_t(index));
    if ( n >= engine->natives.size() )
      return false;
    const zxl_native_t &native = *engine->natives[size_t(n)];
    const std::string_view kinds = native.arg_kinds.view();
    params = kinds.size();
    while ( params > 0 && uint8_t(kinds[params - 1]) == ZK_ANY )
      --params;
    variadic = params != kinds.size();
    defaults = native.defaults.size();
  }
  else
  {
    if ( index == ZXL_NO_FUNCTION || size_t(index) >= engine->functions.size() )
      return false;
    const zxl_function_t &f = *engine->functions[size_t(index)];
    params = size_t(std::max(f.param_count, 0));
    defaults = f.defaults.size();
  }
  return count + defaults >= params && (variadic || count <= params);
}

int compiler_line_callback(void *user_data, const char *file_name, int32_t line_number, const char *)
{
  if ( user_data != nullptr )
    static_cast<zxl_compiler_t *>(user_data)->record_source_position(file_name, line_number);
  return 0;
}

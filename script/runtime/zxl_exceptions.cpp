// ZXL exceptions: exception objects, the protected run, runtime error texts and destructor runs.
#include "script/runtime/zxl_exceptions.h"

#include "script/runtime/zxl_object.h"
#include "script/runtime/zxl_tables.h"

#include "core/error_state.h"
#include "core/internal_error.h"

#include <cinttypes>
#include <cstdio>
#include <new>
#include <string>

namespace
{

// Runs nested on this thread's machine stack (entry points, getattr and setattr methods, destructors).
thread_local int nested_runs = 0;

// Where a bug report about an internal error goes.
constexpr const char *support_address = "support@example.invalid";

int32_t exception_class()
{
  const zxl_class_t *cls = zxl_find_class("exception");
  return cls != nullptr ? cls->index : 0;
}

// The slot becomes a new exception object with a description.
zxl_object_t *new_exception(zxl_value_t *slot, std::string_view description)
{
  zxl_object_t *object = zxl_object_new(exception_class());
  zxl_value_t value;
  value.kind = ZK_OBJECT;
  value.object = object;
  zxl_value_replace(slot, value);
  zxl_value_replace(zxl_attr_slot(object, "description"), zxl_string(description));
  return object;
}

std::string internal_error_text(int32_t number)
{
  return "Internal error " + std::to_string(number) +
         " occurred when running a script. Either\n  - the script misused the Zuk API, or\n  - there is a logic "
         "error in Zuk\nPlease check the script first.\nIf it appears correct, send a bug report to <" +
         support_address + ">.\nIn any case we strongly recommend you to restart Zuk as soon as possible.";
}

} // namespace

void zxl_make_exception(zxl_value_t *slot)
{
  const int32_t code = qerrno_get();
  zxl_object_t *object = new_exception(slot, error_code_text(code));
  zxl_value_replace(zxl_attr_slot(object, "qerrno"), zxl_long(code));
  qerrno_set(code);
}

void zxl_add_position(const zxl_context_t *context, zxl_value_t *value)
{
  if ( value->kind != ZK_OBJECT )
    return;
  zxl_object_t *object = value->object;
  const zxl_function_t *function = context->function;
  const char *file = nullptr;
  int32_t line = -1;
  if ( function != nullptr )
  {
    // The failing instruction is the one before pc (pc has already moved past its operand).
    zxl_position_of(*function, context->pc > 0 ? context->pc - 1 : 0, &file, &line);
  }
  zxl_value_replace(zxl_attr_slot(object, "file"), zxl_string(file != nullptr ? file : ""));
  zxl_value_replace(zxl_attr_slot(object, "func"),
                    zxl_string(function != nullptr ? function->name.view() : std::string_view()));
  zxl_value_replace(zxl_attr_slot(object, "line"), zxl_long(line));
  zxl_value_replace(zxl_attr_slot(object, "pc"), zxl_long(context->pc));
}

void zxl_raise_current(zxl_context_t *context)
{
  if ( context->stack.empty() )
    context->stack.push_back(zxl_long(0));
  zxl_make_exception(&context->stack.back());
  zxl_add_position(context, &context->stack.back());
}

bool zxl_run_protected(zxl_context_t *context, zxl_value_t *result, const char *name, int32_t index)
{
  const size_t depth = context->frames.size();
  if ( nested_runs >= ZXL_MAX_NESTED_RUNS )
  {
    qerrno_set(ZXL_TOO_DEEP);
    context->stack.push_back(zxl_long(0));
    zxl_raise_current(context);
    return false;
  }
  struct nesting_t
  {
    nesting_t() { ++nested_runs; }
    ~nesting_t() { --nested_runs; }
  } nesting;
  const uint8_t previous = set_interr_throws(1);
  bool ok = false;
  bool caught = false;
  std::string text;
  try
  {
    ok = zxl_run(context, result, name, index);
  }
  catch ( const std::bad_alloc & )
  {
    caught = true;
    text = "Out of memory";
  }
  catch ( const interr_exc_t &e )
  {
    caught = true;
    text = internal_error_text(e.code);
  }
  catch ( const std::exception &e )
  {
    caught = true;
    text = e.what();
  }
  catch ( ... )
  {
    caught = true;
  }
  set_interr_throws(previous);
  const int32_t code = qerrno_get();
  if ( caught )
  {
    // A failure without a text still leaves an exception, so a failed run always has one on its top.
    if ( text.empty() )
      text = "Unhandled C++ exception!";
    context->stack.push_back(zxl_long(0));
    new_exception(&context->stack.back(), text);
    ok = false;
  }
  while ( context->frames.size() > depth )
    if ( zxl_return(context) != 0 )
      interr(508);
  zxl_load_code(context);
  qerrno_set(ok ? 0 : code);
  return ok;
}

void zxl_runtime_error_text(const zxl_value_t &exception, qstring *out)
{
  std::string text = "Runtime error";
  // A member that cannot be read stays LONG 0.
  const auto member = [&](const char *name) {
    zxl_value_t value = zxl_long(0);
    if ( zxl_get_member(&value, &exception, name) != 0 )
      zxl_value_replace(&value, zxl_long(0));
    return value;
  };
  zxl_value_t line = member("line");
  zxl_value_t file = member("file");
  if ( line.kind == ZK_LONG && line.i > 0 && file.kind == ZK_STRING )
  {
    const std::string_view name = zxl_string_view(file);
    text += " on ";
    text += name.empty() ? std::string_view("<unknown>") : name;
    text += ":" + std::to_string(int32_t(line.i));
  }
  else
  {
    zxl_value_t func = member("func");
    if ( func.kind == ZK_STRING && !zxl_string_view(func).empty() )
    {
      zxl_value_t pc = member("pc");
      char hex[32];
      std::snprintf(hex, sizeof(hex), "%" PRIX64, uint64_t(pc.kind == ZK_LONG ? pc.i : 0));
      text += " at ";
      text += zxl_string_view(func);
      text += "+0x";
      text += hex;
      zxl_value_clear(&pc);
    }
    zxl_value_clear(&func);
  }
  text += ": ";
  zxl_value_t description = member("description");
  if ( description.kind == ZK_STRING )
    text += zxl_string_view(description);
  else
    text += "Unhandled exception";
  zxl_value_clear(&description);
  zxl_value_clear(&file);
  zxl_value_clear(&line);
  out->assign(text.data(), text.size());
}

void zxl_run_destructor(int32_t function_index, zxl_object_t *object)
{
  bool *outer_cancel = zxl_active_cancel();
  const int32_t saved_code = qerrno_get();
  zxl_context_t context;
  zxl_context_init(&context, zxl_resolver_pair_t(), true);
  if ( outer_cancel != nullptr )
  {
    // Inside a cancellable run the destructor can be cancelled too (no start notice, no wait box).
    context.polls = true;
    context.cancelled = outer_cancel;
  }
  context.marks.push_back(0);
  context.stack.push_back(zxl_object_value(object));
  (void)zxl_run_protected(&context, nullptr, nullptr, function_index);
  zxl_context_free(&context);
  qerrno_set(saved_code);
}

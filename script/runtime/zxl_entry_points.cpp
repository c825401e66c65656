// The ZXL engine's entry points: the language record's nine functions and snippet runs.
#include "script/runtime/zxl_entry_points.h"

#include "script/compiler/zxl_compiler.h"
#include "script/runtime/zxl_context.h"
#include "script/runtime/zxl_exceptions.h"
#include "script/runtime/zxl_object.h"
#include "script/runtime/zxl_source_text.h"

#include "core/error_state.h"
#include "core/text_utils.h"
#include "core/ui_callback.h"

#include <cstring>
#include <string>
#include <vector>

namespace
{

// The context slot the user interface may fill before a run.
uint64_t ask_script_context()
{
  uint64_t slot = 0;
  if ( ui_callback != nullptr )
    ui_callback(uicb_script_context, &slot);
  return slot;
}

// A value owned by an entry point for the length of the call.
struct held_value_t
{
  zxl_value_t v = zxl_long(0);
  held_value_t() = default;
  held_value_t(const held_value_t &) = delete;
  held_value_t &operator=(const held_value_t &) = delete;
  ~held_value_t() { zxl_value_clear(&v); }
};

bool fail_with_text(int code, qstring *error)
{
  qerrno_set(code);
  if ( error != nullptr )
    *error = error_code_text(code);
  return false;
}

// Runs function `index` in a fresh context with (first, args...) when first is given, else with args.
bool run_with(int32_t index, const zxl_value_t *first, const zxl_value_t *args, size_t count, zxl_value_t *result,
              qstring *error)
{
  std::vector<zxl_value_t> argv;
  argv.reserve(count + 1);
  if ( first != nullptr )
    argv.push_back(*first);
  argv.insert(argv.end(), args, args + count);
  zxl_context_t context;
  zxl_context_init(&context, zxl_resolver_pair_t(), false);
  const bool ok = zxl_run_function(&context, nullptr, index, int32_t(argv.size()), argv.data(), result, error);
  zxl_context_free(&context);
  return ok;
}

// For a STRING object: a copy of the global it names into *held (false when there is none).
bool global_named_by(const zxl_value_t &object, zxl_value_t *held)
{
  const critical_section_guard_t guard(zxl_script_lock);
  const std::string name(zxl_string_view(object));
  const zxl_global_t *global = zxl_find_global(name.c_str());
  if ( global == nullptr )
    return false;
  return zxl_value_copy(held, &global->value) == 0;
}

} // namespace

bool zxl_run_snippet(zxl_value_t *result, const char *text, qstring *error, const zxl_resolver_pair_t &resolver)
{
  struct slot_t
  {
    int32_t number = zxl_take_snippet_slot();
    ~slot_t() { zxl_release_snippet_slot(number); }
  } slot;
  if ( text == nullptr )
    return false;
  const std::string name = "___zxlexec" + std::to_string(slot.number);
  qstring wrapper;
  zxl_wrapper_text(&wrapper, name.c_str(), text);
  if ( !zxl_compile_text(wrapper.c_str(), error, resolver.resolver, false) )
    return false;
  return zxl_call_by_name(result, name.c_str(), nullptr, 0, error, resolver);
}

bool zxl_compile_expression(const char *function_name, uint64_t, const char *text, qstring *error)
{
  if ( text == nullptr || function_name == nullptr )
    return false;
  qstring wrapper;
  zxl_wrapper_text(&wrapper, function_name, text);
  return zxl_compile_text(wrapper.c_str(), error, &zxl_default_resolver, false);
}

bool zxl_compile_file(const char *path, const void *, qstring *error)
{
  return zxl_compile_source_file(path, error, ZXL_COMPILE_RESET_MACROS | ZXL_COMPILE_DEFAULT_NAMES);
}

bool zxl_call_function(zxl_value_t *result, const char *name, const zxl_value_t *args, size_t count,
                       qstring *error)
{
  const zxl_resolver_pair_t resolver {&zxl_default_resolver, ask_script_context()};
  if ( name == nullptr || count > size_t(INT32_MAX) )
    return fail_with_text(56, error);
  return zxl_call_by_name(result, name, args, int32_t(count), error, resolver);
}

bool zxl_eval(zxl_value_t *result, uint64_t context, const char *text, qstring *error)
{
  if ( result != nullptr )
    zxl_value_clear(result);
  return zxl_run_snippet(result, text, error, {&zxl_default_resolver, context});
}

bool zxl_eval_snippet(const char *text, qstring *error)
{
  const zxl_resolver_pair_t resolver {&zxl_default_resolver, ask_script_context()};
  if ( text == nullptr )
    return false;
  if ( std::strstr(text, "static ") == nullptr )
    return zxl_run_snippet(nullptr, text, error, resolver);
  // RESERVE 0, PUSH_SMALL 0, RET and an empty handler table: a "main" that returns 0.
  static constexpr uint8_t default_main[7] = {0xA5, 0x00, 0x00, 0xE0, 0xAF, 0x00, 0x00};
  if ( !zxl_set_function_code("main", 0, default_main, sizeof(default_main)) )
    return fail_with_text(40, error);
  if ( !zxl_compile_text(text, error, resolver.resolver, false) )
    return false;
  return zxl_call_by_name(nullptr, "main", nullptr, 0, error, resolver);
}

bool zxl_create_object(zxl_value_t *result, const char *class_name, const zxl_value_t *args, size_t count,
                       qstring *error)
{
  int32_t class_index = 0;
  int32_t constructor = -1;
  if ( class_name != nullptr )
  {
    const critical_section_guard_t guard(zxl_script_lock);
    const zxl_class_t *cls = zxl_find_class(class_name);
    if ( cls == nullptr )
    {
      error_arg_text(0, class_name);
      return fail_with_text(1536, error);
    }
    class_index = cls->index;
    constructor = zxl_find_method(cls, cls->name.c_str());
  }
  held_value_t object;
  object.v.kind = ZK_OBJECT;
  object.v.object = zxl_object_new(class_index);
  if ( constructor >= 0 )
  {
    if ( count > size_t(INT32_MAX) - 1 )
      return fail_with_text(56, error);
    return run_with(constructor, &object.v, args, count, result, error);
  }
  if ( result != nullptr )
    (void)zxl_value_move(result, &object.v);
  return true;
}

bool zxl_get_attribute(zxl_value_t *result, const zxl_value_t *object, const char *name)
{
  held_value_t global;
  if ( object != nullptr && object->kind == ZK_STRING )
  {
    if ( !global_named_by(*object, &global.v) )
    {
      qerrno_set(1532);
      return false;
    }
    object = &global.v;
  }
  if ( object != nullptr && object->kind == ZK_OBJECT && (name == nullptr || *name == '\0') )
  {
    std::string class_name;
    {
      const critical_section_guard_t guard(zxl_script_lock);
      class_name = zxl_class_at(object->object->class_index)->name.view();
    }
    if ( result != nullptr )
      zxl_value_replace(result, zxl_string(class_name));
    return true;
  }
  return zxl_get_member(result, object, name != nullptr ? name : "") == 0;
}

bool zxl_set_attribute(zxl_value_t *object, const char *name, const zxl_value_t *value)
{
  held_value_t global;
  const zxl_value_t *target = object;
  if ( object != nullptr && object->kind == ZK_STRING )
    target = global_named_by(*object, &global.v) ? &global.v : nullptr;
  return zxl_set_member(target, name != nullptr ? name : "", value) == 0;
}

bool zxl_call_method(zxl_value_t *result, const zxl_value_t *object, const char *name, const zxl_value_t *args,
                     size_t count, qstring *error)
{
  held_value_t callee;
  int code = 0;
  if ( name == nullptr && object != nullptr )
    code = zxl_value_copy(&callee.v, object);
  else
    code = zxl_get_member(&callee.v, object, name != nullptr ? name : "");
  int32_t function = 0;
  if ( code == 0 )
  {
    const zxl_value_t *target = zxl_value_deref(&callee.v, 0);
    if ( target == nullptr )
      code = qerrno_get();
    else if ( target->kind != ZK_FUNC )
      code = qerrno_set(1541);
    else
      function = target->func;
  }
  if ( code == 0 && count > size_t(INT32_MAX) - 1 )
    code = qerrno_set(56);
  if ( code != 0 )
  {
    if ( result != nullptr )
      zxl_make_exception(result);
    if ( error != nullptr )
      *error = error_code_text(code);
    return false;
  }
  return run_with(function, object, args, count, result, error);
}

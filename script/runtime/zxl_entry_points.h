// The ZXL engine's entry points: the nine functions of the language record and the snippet run beneath them.
#pragma once

#include "script/runtime/zxl_engine.h"
#include "script/runtime/zxl_value.h"

#include "core/qstring.h"

#include <cstddef>
#include <cstdint>

// UI callback request made before a function or snippet runs: its argument is the address of an 8-byte
// context slot the user interface may fill; the engine only hands the value on.
inline constexpr int32_t uicb_script_context = 11;

// Runs a text as the body of a function "___zxlexecN" (N: the lowest free snippet slot, internal error 1443
// when all 64 are taken), returning the value of its last statement when that is an expression. A null text
// gives false. True when it compiled and ran without an uncaught exception; the result (when given) receives
// the value or the exception, the error buffer (when given) the error text.
bool zxl_run_snippet(zxl_value_t *result, const char *text, qstring *error, const zxl_resolver_pair_t &resolver);

// Compiles a function `function_name` without parameters that returns the value of the text's last
// statement. False for a null text or a compile error (its text in *error).
bool zxl_compile_expression(const char *function_name, uint64_t context, const char *text, qstring *error);
// Compiles a source file with its includes: macros reset afterwards, names through the default resolver.
bool zxl_compile_file(const char *path, const void *ignored, qstring *error);
// Runs a function by name with copies of the arguments after asking the UI for the context (code 11). On
// failure the result receives the exception and *error the runtime error text.
bool zxl_call_function(zxl_value_t *result, const char *name, const zxl_value_t *args, size_t count,
                       qstring *error);
// Clears the result to LONG 0, then runs the text as a snippet with the caller's context value.
bool zxl_eval(zxl_value_t *result, uint64_t context, const char *text, qstring *error);
// Runs a text without result after asking the UI for the context: a text holding "static " is a program whose
// "main" runs (a default "main" returning 0 is defined first); any other text is a snippet.
bool zxl_eval_snippet(const char *text, qstring *error);
// Creates an object of the class (class 0 without a name) and runs its constructor with the arguments; an
// unknown class is error 1536 with the result untouched.
bool zxl_create_object(zxl_value_t *result, const char *class_name, const zxl_value_t *args, size_t count,
                       qstring *error);
// Reads an attribute: a STRING object names a global whose value is the object; an OBJECT with a null or
// empty name gives its class name; a null object reads a global or function by name.
bool zxl_get_attribute(zxl_value_t *result, const zxl_value_t *object, const char *name);
// Writes an attribute; a STRING object names a global whose value is the object (none: the name is then a
// global); a null object writes the global of that name, which must exist (1538).
bool zxl_set_attribute(zxl_value_t *object, const char *name, const zxl_value_t *value);
// Calls a method or a function-valued attribute of the object (the object itself with a null name), with the
// object prepended to the arguments when it is given. Failures before the run leave an exception in the
// result and the error text in *error.
bool zxl_call_method(zxl_value_t *result, const zxl_value_t *object, const char *name, const zxl_value_t *args,
                     size_t count, qstring *error);

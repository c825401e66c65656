// The ZXL compiler's entry points: compiling a source file or a text into the engine's tables, installing
// a function body, checking a call's arity, and the token reader's line hook.
#pragma once

#include "script/runtime/zxl_engine.h"

#include "core/qstring.h"

#include <cstddef>
#include <cstdint>

// Flags of zxl_compile_source_file.
inline constexpr uint32_t ZXL_COMPILE_RESET_MACROS = 1;  // the reader's macros are reset at the end
inline constexpr uint32_t ZXL_COMPILE_DEFAULT_NAMES = 2; // names resolve through the default resolver
inline constexpr uint32_t ZXL_COMPILE_NO_NATIVES = 4;    // only natives flagged ZXL_NATIVE_ANY_THREAD are called

// A compiled body, its bytes or its index passing what the bytecode's operands hold: more than 65,535
// locals, arguments, globals or classes, a handler table over 65,535 bytes, or a body past the 32-bit jump
// range. Argument 0 names the limit.
inline constexpr int32_t ZXL_LIMIT_PASSED = 1691;

// A wide string literal whose bytes are not UTF-8.
inline constexpr int32_t ZXL_BAD_WIDE_LITERAL = 1692;

// Compiles a source file under the script lock: the include list is cleared, the file opened with the
// engine's token reader and compiled. False with the error text ("file,line: text") on failure.
[[nodiscard]] bool zxl_compile_source_file(const char *path, qstring *error, uint32_t flags);
// Compiles a text under the script lock with the given name resolver (null: none); with `restrict_natives`
// only natives flagged ZXL_NATIVE_ANY_THREAD may be called. False with the error text on failure.
[[nodiscard]] bool zxl_compile_text(const char *text, qstring *error, zxl_name_resolver_t *resolver,
                                    bool restrict_natives);
// Replaces the body of the function `name` (defined when new) by `length` bytes that end with the handler
// table's trailer, with the parameter count; the function becomes idle. False when it cannot be defined
// (it is running).
[[nodiscard]] bool zxl_set_function_code(const char *name, int32_t params, const uint8_t *code, size_t length);
// True when `count` arguments suit function `index` (compiled from 0 up, native when negative): a native's
// parameters are its kind string without a trailing run of "any", which makes it variadic; defaults fill
// the last parameters.
[[nodiscard]] bool zxl_check_call_arity(const zxl_engine_t *engine, int32_t index, size_t count);

// The token reader's line hook: records the file and line of the current pc of the function being compiled
// (the compiler is the reader's user data). Always 0.
int compiler_line_callback(void *user_data, const char *file_name, int32_t line_number, const char *line_text);

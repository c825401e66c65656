// ZXL exceptions: exception objects and their positions, the protected run, runtime error texts, and the
// destructor runs of the object release protocol.
#pragma once

#include "script/runtime/zxl_context.h"
#include "script/runtime/zxl_value.h"

#include "core/qstring.h"

#include <cstdint>

// The error code of a value thrown by THROW (or by a native that fails with it: its result is thrown).
inline constexpr int32_t ZXL_THROWN = 90;

// The slot becomes a new object of class "exception" (class 0 when there is none) with "qerrno" and
// "description" from the thread error state, which is kept.
void zxl_make_exception(zxl_value_t *slot);
// An OBJECT value gets "file", "func", "line" and "pc" of the context's current position straight in its map;
// other values stay as they are.
void zxl_add_position(const zxl_context_t *context, zxl_value_t *value);
// The top (a LONG 0 pushed onto an empty stack) becomes the exception of the current error, with its position.
void zxl_raise_current(zxl_context_t *context);

// zxl_run with failures that escape it (internal errors, exhaustion of memory, other thrown failures) caught and
// turned into exception objects; frames above the entry depth are unwound afterwards. A run nested deeper than
// ZXL_MAX_NESTED_RUNS on this thread fails with ZXL_TOO_DEEP. The thread error code is 0 after success, else the
// failure's.
bool zxl_run_protected(zxl_context_t *context, zxl_value_t *result, const char *name, int32_t index);

// "Runtime error", the position (" on file:line" or " at func+0xPC") when the exception has one, ": " and its
// description ("Unhandled exception" when it has none).
void zxl_runtime_error_text(const zxl_value_t &exception, qstring *out);

// The engine's destructor runner: the destructor runs in a fresh context without UI (polling for cancellation
// when a cancellable run on this thread is under way), with a copy of the object as its one argument; its
// failures are ignored.
void zxl_run_destructor(int32_t function_index, zxl_object_t *object);

// The record through which a script language offers its name, highlighter and entry points to the program.
#pragma once

#include "core/qstring.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

// A script engine's value; only the engine that fills a record's entry points knows its layout.
struct zxl_value_t;

// Entry points of a language (each true on success; on failure the error buffer, when given, receives a text).
using lang_compile_expression_t = bool (*)(const char *function_name, uint64_t context, const char *text,
                                           qstring *error);
using lang_compile_file_t = bool (*)(const char *path, const void *ignored, qstring *error);
using lang_call_function_t = bool (*)(zxl_value_t *result, const char *name, const zxl_value_t *args,
                                      size_t count, qstring *error);
using lang_eval_t = bool (*)(zxl_value_t *result, uint64_t context, const char *text, qstring *error);
using lang_eval_snippet_t = bool (*)(const char *text, qstring *error);
using lang_create_object_t = bool (*)(zxl_value_t *result, const char *class_name, const zxl_value_t *args,
                                      size_t count, qstring *error);
using lang_get_attribute_t = bool (*)(zxl_value_t *result, const zxl_value_t *object, const char *name);
using lang_set_attribute_t = bool (*)(zxl_value_t *object, const char *name, const zxl_value_t *value);
using lang_call_method_t = bool (*)(zxl_value_t *result, const zxl_value_t *object, const char *name,
                                    const zxl_value_t *args, size_t count, qstring *error);

// Sixteen 8-byte words: size, flags with the busy marker, name, extension, highlighter, nine entry points and
// two zero words. Promises: a record whose busy marker is non-zero is in use (a highlighter running it holds
// one use) and is neither registered nor unregistered; the highlighter word is opaque here (the forms
// library knows what it points to); an entry point is null until the engine that serves it is built.
struct language_record_t
{
  uint64_t size = 0x80;
  uint32_t flags = 1;
  std::atomic<uint32_t> busy {0};
  const char *name = nullptr;
  const char *extension = nullptr;
  const void *highlighter = nullptr;
  lang_compile_expression_t compile_expression = nullptr;
  lang_compile_file_t compile_file = nullptr;
  lang_call_function_t call_function = nullptr;
  lang_eval_t eval = nullptr;
  lang_eval_snippet_t eval_snippet = nullptr;
  lang_create_object_t create_object = nullptr;
  lang_get_attribute_t get_attribute = nullptr;
  lang_set_attribute_t set_attribute = nullptr;
  lang_call_method_t call_method = nullptr;
  uint64_t reserved[2] = {0, 0};
};
static_assert(sizeof(language_record_t) == 0x80);
static_assert(offsetof(language_record_t, highlighter) == 4 * 8);
static_assert(offsetof(language_record_t, call_method) == 13 * 8);

// Test helpers: building JSON values in one expression, and an exact readable dump to compare them by.
#pragma once

#include "core/json_value.h"

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

json_value_t jint(int64_t value);
json_value_t jdouble(double value);
json_value_t jbool(bool value);
json_value_t jnull();
// Keeps every byte of the text, NUL bytes included.
json_value_t jstr(std::string_view text);
json_value_t jarr(std::initializer_list<json_value_t> elements);
json_value_t jobj(std::initializer_list<std::pair<std::string_view, json_value_t>> members);

// Every tag, byte and bit of the value: integers in decimal, doubles in hexadecimal ("d0x1p-1"), strings
// and keys quoted with every byte outside printable ASCII as \xNN, members in their order. Two values dump
// the same exactly when they are equal.
std::string json_dump(const json_value_t &value);

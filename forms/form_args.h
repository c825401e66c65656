// The argument cursor of a form description: the caller's arguments, read in the order the text asks for them.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <vector>

// What an element of a form description takes from the argument list.
enum class form_arg_kind : char
{
  help_text,      // const char*: the HELP block's "%s" text
  callback,       // form_callback_t
  caller_data,    // void*: "%*"
  buffer,         // char[]: A T X F f fields, A F T X f h labels
  string,         // qstring*: q p y I i fields and labels; an editable 'b' value
  number,         // 64-bit integer*: the number, address and segment kinds
  int32,          // int32_t*: a colour, a non-editable 'b' index
  mask16,         // uint16_t*: the value of a check-box or radio group
  button_handler, // form_button_handler_t: B k
  string_list,    // qvector<qstring>*: the items of a 'b' field
  chooser,        // form_chooser_t*: an 'E' field's list
  selection,      // qvector<uint64_t>*: an 'E' field's selection
  type_record,    // the record of an 'e' field
  text_record,    // the record of a 't' field
  any_value,      // the value of a dynamic label of a kind without a text form
};

// One argument of a counted list: its kind, the pointer, and for buffers their size in bytes.
struct form_arg_t
{
  form_arg_kind kind;
  void *pointer;
  size_t size = 0;
};

// Reads a form's arguments from a va_list (the UI callback's road: the caller's list cannot be checked, so
// outside text never goes into a description) or from a counted list of typed arguments, which refuses to be
// read past its end, as another kind, or as a buffer larger than the one given.
// Promise: a refused read changes nothing and leaves the cursor where it was.
class form_args_t
{
public:
  // The va_list is copied; the caller's list is not advanced.
  explicit form_args_t(va_list va);
  explicit form_args_t(std::vector<form_arg_t> args);
  ~form_args_t();
  form_args_t(const form_args_t &) = delete;
  form_args_t &operator=(const form_args_t &) = delete;

  // The next argument, as a pointer (function pointers included). False from a counted list when none is
  // left, it is of another kind, or (for a buffer) it holds fewer than needed_size bytes.
  [[nodiscard]] bool take(form_arg_kind kind, void **out, size_t needed_size = 0);
  // True for a counted list.
  [[nodiscard]] bool counted() const { return counted_; }

private:
  bool counted_;
  va_list va_ {};
  std::vector<form_arg_t> args_;
  size_t next_ = 0;
};

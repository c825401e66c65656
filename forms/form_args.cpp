// The argument cursor of a form description.
#include "forms/form_args.h"

#include "core/form_actions.h"

#include <utility>

form_args_t::form_args_t(va_list va) : counted_(false)
{
  va_copy(va_, va);
}

form_args_t::form_args_t(std::vector<form_arg_t> args) : counted_(true), args_(std::move(args))
{
}

form_args_t::~form_args_t()
{
  if ( !counted_ )
    va_end(va_);
}

bool form_args_t::take(form_arg_kind kind, void **out, size_t needed_size)
{
  if ( !counted_ )
  {
    // Function pointers travel as themselves; every other argument is a data pointer.
    if ( kind == form_arg_kind::callback )
      *out = reinterpret_cast<void *>(va_arg(va_, form_callback_t));
    else if ( kind == form_arg_kind::button_handler )
      *out = reinterpret_cast<void *>(va_arg(va_, form_button_handler_t));
    else
      *out = va_arg(va_, void *);
    return true;
  }
  if ( next_ >= args_.size() )
    return false;
  const form_arg_t &arg = args_[next_];
  if ( arg.kind != kind )
    return false;
  if ( kind == form_arg_kind::buffer && arg.pointer != nullptr && arg.size < needed_size )
    return false;
  *out = arg.pointer;
  ++next_;
  return true;
}

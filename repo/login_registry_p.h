// The registry application of saved logins, selected for the length of one operation.
#pragma once

#include "core/qstring.h"
#include "core/registry.h"

// Makes "akui" the current registry application for its lifetime when another one is current, then restores
// the previous one.
class akui_registry_scope_t
{
public:
  akui_registry_scope_t()
  {
    registry_current_app(&previous_);
    switched_ = previous_ != "akui";
    if ( switched_ )
      (void)registry_select_app("akui"); // a valid name: never refused
  }
  ~akui_registry_scope_t()
  {
    if ( switched_ )
      (void)registry_select_app(previous_.c_str()); // was selected before, so valid
  }
  akui_registry_scope_t(const akui_registry_scope_t &) = delete;
  akui_registry_scope_t &operator=(const akui_registry_scope_t &) = delete;

private:
  qstring previous_;
  bool switched_ = false;
};

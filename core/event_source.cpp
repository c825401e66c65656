// Linking, unlinking and dispatch of event sources and handlers.
#include "core/event_source.h"

#include <algorithm>

namespace {

template <typename T>
bool contains(const qvector<T *> &list, const T *item)
{
  return std::find(list.begin(), list.end(), item) != list.end();
}

template <typename T>
void remove_first(qvector<T *> &list, const T *item)
{
  T *const *it = std::find(list.begin(), list.end(), item);
  if ( it != list.end() )
    list.erase(size_t(it - list.begin()));
}

} // namespace

event_source_t::~event_source_t()
{
  unlink_event_peers(this);
  handlers_.release();
}

bool event_source_t::add_handler(event_handler_t *handler)
{
  if ( contains(handlers_, handler) )
    return false;
  handlers_.push_back(handler);
  if ( !contains(handler->sources_, static_cast<const event_source_t *>(this)) )
    handler->sources_.push_back(this);
  return true;
}

void *event_source_t::notify(uint64_t code, ...)
{
  va_list va;
  va_start(va, code);
  void *answer = notify_va(code, va);
  va_end(va);
  return answer;
}

void *event_source_t::notify_va(uint64_t code, va_list va)
{
  // Walk the list as it was when the dispatch started, skipping handlers that left it meanwhile: a handler
  // that unlinks or destroys another must not make us call a dead object.
  const qvector<event_handler_t *> snapshot = handlers_;
  for ( event_handler_t *handler : snapshot )
  {
    if ( !contains(handlers_, handler) )
      continue;
    va_list copy;
    va_copy(copy, va);
    void *answer = handler->handle(code, copy);
    va_end(copy);
    if ( answer != nullptr )
      return answer;
  }
  return nullptr;
}

event_handler_t::~event_handler_t()
{
  unlink_event_peers(this);
  sources_.release();
}

void unlink_event_peers(event_source_t *source)
{
  for ( event_handler_t *handler : source->handlers_ )
    remove_first(handler->sources_, source);
}

void unlink_event_peers(event_handler_t *handler)
{
  for ( event_source_t *source : handler->sources_ )
    remove_first(source->handlers_, handler);
}

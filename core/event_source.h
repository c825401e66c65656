// Event sources and handlers: a many-to-many notification pair where either side may be destroyed first.
#pragma once

#include "core/qvector.h"

#include <cstdarg>
#include <cstdint>

class event_handler_t;

// An object that announces changes. Promises: handlers are called in link order until one answers (returns
// non-null); each handler gets its own copy of the argument list; destroying the source unlinks it from every
// handler. Single-threaded: used on one thread only.
class event_source_t
{
public:
  event_source_t() = default;
  // Links belong to one object: a copy would leave its peers unaware of it.
  event_source_t(const event_source_t &) = delete;
  event_source_t &operator=(const event_source_t &) = delete;
  virtual ~event_source_t();

  // Links the handler to this source. False when it is already linked; otherwise appends it to this source's
  // list, appends this source to the handler's list (unless already there) and returns true.
  bool add_handler(event_handler_t *handler);

  // Calls handle(code, arguments) on each linked handler in link order; the first non-null answer ends the
  // dispatch and is returned; null when no handler answered. Handlers linked while the dispatch runs are not
  // called this time; handlers unlinked (or destroyed) meanwhile are skipped.
  void *notify(uint64_t code, ...);
  void *notify_va(uint64_t code, va_list va);

private:
  friend class event_handler_t;
  friend void unlink_event_peers(event_source_t *source);
  friend void unlink_event_peers(event_handler_t *handler);

  qvector<event_handler_t *> handlers_;  // not owned, in link order, each at most once
};

// An object that wants notifications. Promises: destroying it unlinks it from every source, so no source
// calls it afterwards.
class event_handler_t
{
public:
  event_handler_t() = default;
  event_handler_t(const event_handler_t &) = delete;
  event_handler_t &operator=(const event_handler_t &) = delete;
  virtual ~event_handler_t();

  // Answers one notification: the meaning of the code and of the arguments is the source's. Non-null ends the
  // dispatch. The argument list is this handler's own copy.
  virtual void *handle(uint64_t code, va_list va) = 0;

private:
  friend class event_source_t;
  friend void unlink_event_peers(event_source_t *source);
  friend void unlink_event_peers(event_handler_t *handler);

  qvector<event_source_t *> sources_;  // not owned
};

// Removes the object from the list of every peer it is linked with (the first equal entry in each); leaves
// the object's own list alone.
void unlink_event_peers(event_source_t *source);
void unlink_event_peers(event_handler_t *handler);

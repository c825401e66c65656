// GUI-thread requests: the entry point any thread uses, the stamp that marks a queued request, the queue entry.
#pragma once

#include "core/process_exit.h"
#include "core/ui_callback.h"

#include <cstdint>

// The word written into a request's `stamp` while it is queued; its low three bits carry the caller's flags.
constexpr uint64_t REQUEST_STAMP = 0x12345678;
// Stamp bit of a request that nobody waits for (flag 4, exec_flag_no_wait).
constexpr uint64_t REQUEST_STAMP_NO_WAIT = 4;

// True for a word that is a stamp: equal to REQUEST_STAMP once its low three bits are cleared.
[[nodiscard]] constexpr bool is_request_stamp(uint64_t word)
{
  return (word & ~uint64_t(7)) == REQUEST_STAMP;
}

// The stamp for a caller's flags: the low three bits of the flags, and bit 0 as well with flag 2.
[[nodiscard]] constexpr uint64_t request_stamp_for(int32_t flags)
{
  uint64_t stamp = REQUEST_STAMP | (uint64_t(uint32_t(flags)) & 7);
  if ( (flags & exec_flag_marked) != 0 )
    stamp |= 1;
  return stamp;
}

// One queued request, in arrival order. The queue never owns the request.
struct request_queue_entry_t
{
  exec_request_t *request;
  int32_t id;
};

// Runs a request on the GUI thread (see _base_app_mixin_t::queue_request): at once when called there
// without flag 4, else through the application's queue. Answers the run's result for a waited-for
// request (-1 when it was cancelled or its run faulted), the request id (never 0) for a no-wait one,
// and -1 without doing anything when there is no application object. Any thread; every caller passes id 0.
int64_t execute_request(exec_request_t *request, int32_t flags, int32_t id = 0);

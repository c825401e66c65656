// Tells which internal error a piece of test code raises, without ending the test process.
#pragma once

#include "core/internal_error.h"

#include <cstdint>

// Runs work with the calling thread's internal errors thrown (its previous choice comes back afterwards)
// and answers the number of the internal error work raised, or 0 when it raised none.
template <typename Work>
int32_t interr_number(Work &&work)
{
  const uint8_t previous = set_interr_throws(1);
  int32_t number = 0;
  try
  {
    work();
  }
  catch ( const interr_exc_t &e )
  {
    number = e.code;
  }
  set_interr_throws(previous);
  return number;
}

// Letter sets of filter texts.
#include "views/filter/letter_set.h"

#include "views/filter/text_fold.h"

uint64_t letter_set(std::string_view text)
{
  uint64_t set = 0;
  for ( const char c : text )
  {
    const unsigned char b = static_cast<unsigned char>(c);
    if ( b < 0x80 )
      set |= uint64_t(1) << (ascii_upper(b) & 63);
  }
  return set;
}

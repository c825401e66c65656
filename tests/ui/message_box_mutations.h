// Hostile message-box texts for seeded loops: well-formed headers with a few random edits.
#pragma once

#include "tests/support/seeded_random.h"

#include <string>

// One of two texts full of control lines and help markers, edited one to six times (a byte replaced, up to four
// removed, or one inserted) from an alphabet of the parser's own words, newlines, stars, 0x03, bytes that are no
// UTF-8, digits and "%".
inline std::string mutated_message_box_text(uint32_t *state)
{
  static const std::string seeds[] = {
    "TITLE t\nICON INFO\nAUTOHIDE SESSION*\n@0:12[]\nHIDECANCEL\nRICHTEXT\nbody @0:3[]\n",
    "AUTOHIDE REGISTRY\nICON ERROR\n\x03%s",
  };
  static constexpr char alphabet[] = "TITLEICONAUTOHIDE@0:[]\n *\x03\xFF\xC3 9%";
  const auto pick = [state] { return alphabet[next_random(state) % (sizeof(alphabet) - 1)]; };
  std::string text = seeds[next_random(state) % 2];
  const uint32_t edits = 1 + next_random(state) % 6;
  for ( uint32_t e = 0; e < edits && !text.empty(); ++e )
  {
    const size_t at = next_random(state) % text.size();
    switch ( next_random(state) % 3 )
    {
      case 0: text[at] = pick(); break;
      case 1: text.erase(at, 1 + next_random(state) % 4); break;
      default: text.insert(at, 1, pick()); break;
    }
  }
  return text;
}

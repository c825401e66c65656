// Robustness of the token reader: pseudo-random mixes of directives, macro uses and broken literals always come to an end.
#include "core/token_reader.h"

#include "tests/support/seeded_random.h"
#include "token_stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace
{

// Pieces that meet each other's edge cases when thrown together: macro uses cut off by directives and
// line ends, pastes and stringising of odd operands, unclosed literals and comments, marker-like bytes.
const char *const fragments[] = {
  "#define F(x) x", "#define G(x,y) x##y", "#define S(x) #x", "#define A A+1", "#define H(a) F(a) G(a,a) S(a)",
  "#define E", "#define R(x) R(x) x", "#define P(a,b) a ## b ## a", "#define D defined(F)", "#undef F", "#if",
  "#elif", "#else", "#endif", "#ifdef F", "#ifndef G", "#if F(1)", "#if defined(", "#if 1/0", "#if D", "#error e",
  "#pragma once", "#include \"nope.h\"", "#include F(<x.h>)", "F", "G", "S", "H", "A", "R", "P", "D", "E", "(", ")",
  ",", "##", "#", "\"", "'", "/*", "*/", "//", "\\", "x", "1", "0x", "1.5", "1e", "'a'", "\"s\"", "defined",
  "__has_include", "__has_include(\"x\")", "__LINE__", "__FILE__", "\xFF\x80", "\xC3\xA9", "+", "-", "/", "?", ":",
  "<", ">", "<<", "&&", "!", "~", "L", "L'", "...", "F(", "G(1,", "S(\xFF\x81)", "\n", " ",
};

TEST(TokenReaderRobustness, RandomFragmentsAlwaysComeToAnEnd)
{
  constexpr size_t fragment_count = sizeof(fragments) / sizeof(*fragments);
  uint32_t state = 0x9E3779B9u;
  for ( int run = 0; run < 3000; ++run )
  {
    std::string text;
    const uint32_t length = next_random(&state) % 60;
    for ( uint32_t i = 0; i < length; ++i )
    {
      text += fragments[next_random(&state) % fragment_count];
      text += next_random(&state) % 3 == 0 ? "\n" : " ";
    }
    reader_ptr reader = make_reader(next_random(&state) & 1);
    reader->set_text(text.c_str(), nullptr);
    lexer_token_t token;
    int reads = 0;
    for ( ; reads < 100000; ++reads )
    {
      const int code = read_token(reader.get(), &token);
      // 37 (input ended inside a conditional) is reported again on every later read
      if ( (code == 0 && token.kind == TOKEN_END) || code == 37 )
        break;
    }
    ASSERT_LT(reads, 100000) << text;
  }
}

} // namespace

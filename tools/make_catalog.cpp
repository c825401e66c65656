// Build tool: turns the readable catalogue source into the "HF" message catalogue file.
//
//   make_catalog SOURCE OUTPUT
//
// The source format is described at the top of resources/zuk_hlp.txt. Every text is checked as a printf
// format over the four 64-bit error arguments, so a catalogue text can never ask for more (or other)
// arguments than error_code_text passes. The output is written to a temporary file and renamed into place.
#include "platform/hex_digits.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace
{

constexpr int max_conversions = 4;
constexpr size_t max_text_length = 0xFFFE; // the stored length (with the terminator) is 16-bit
constexpr long max_id = 0xFFFE;            // section counts are 16-bit
constexpr long max_section = 0xFFFE;

struct source_error
{
  int line;
  std::string what;
};

std::string unescape(const std::string &text, int line)
{
  std::string out;
  for ( size_t i = 0; i < text.size(); ++i )
  {
    if ( text[i] != '\\' )
    {
      out += text[i];
      continue;
    }
    if ( ++i == text.size() )
      throw source_error{line, "backslash at the end of the line"};
    switch ( text[i] )
    {
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case '\\': out += '\\'; break;
      case 'x':
      {
        const int hi = i + 1 < text.size() ? hex_digit_value(text[i + 1]) : -1;
        const int lo = i + 2 < text.size() ? hex_digit_value(text[i + 2]) : -1;
        if ( hi < 0 || lo < 0 )
          throw source_error{line, "\\x needs two hexadecimal digits"};
        if ( hi == 0 && lo == 0 )
          throw source_error{line, "a text cannot hold a zero byte"};
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        break;
      }
      default:
        throw source_error{line, std::string("unknown escape \\") + text[i]};
    }
  }
  return out;
}

// The arguments are four 64-bit integers (text arguments are addresses): integer, character and text
// conversions only; no "*" (it would take an argument of its own), no "%n".
void check_format(const std::string &text, int line)
{
  int conversions = 0;
  for ( size_t i = 0; i < text.size(); ++i )
  {
    if ( text[i] != '%' )
      continue;
    ++i;
    if ( i < text.size() && text[i] == '%' )
      continue;
    while ( i < text.size() && std::strchr("-+ #0", text[i]) != nullptr )
      ++i;
    while ( i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.') )
      ++i;
    while ( i < text.size() && std::strchr("hlzjt", text[i]) != nullptr )
      ++i;
    if ( i == text.size() )
      throw source_error{line, "format ends inside a conversion"};
    if ( std::strchr("diouxXcsa", text[i]) == nullptr )
      throw source_error{line, std::string("conversion %") + text[i] + " is not allowed"};
    if ( ++conversions > max_conversions )
      throw source_error{line, "more than four conversions"};
  }
}

using section_t = std::map<long, std::string>;

long parse_number(const std::string &text, size_t *end, long limit, int line, const char *what)
{
  size_t i = *end;
  long value = 0;
  if ( i == text.size() || !std::isdigit(static_cast<unsigned char>(text[i])) )
    throw source_error{line, std::string(what) + " expected"};
  while ( i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) )
  {
    value = value * 10 + (text[i] - '0');
    if ( value > limit )
      throw source_error{line, std::string(what) + " too large"};
    ++i;
  }
  *end = i;
  return value;
}

std::map<long, section_t> read_source(std::istream &in)
{
  std::map<long, section_t> sections;
  section_t *current = nullptr;
  std::string line;
  int number = 0;
  while ( std::getline(in, line) )
  {
    ++number;
    if ( !line.empty() && line.back() == '\r' )
      line.pop_back();
    if ( line.empty() || line[0] == '#' )
      continue;
    if ( line.rfind("[section ", 0) == 0 )
    {
      size_t pos = 9;
      const long s = parse_number(line, &pos, max_section, number, "section number");
      if ( line.substr(pos) != "]" )
        throw source_error{number, "section header must be \"[section N]\""};
      if ( sections.count(s) != 0 )
        throw source_error{number, "section given twice"};
      current = &sections[s];
      continue;
    }
    if ( current == nullptr )
      throw source_error{number, "text before the first section header"};
    size_t pos = 0;
    const long id = parse_number(line, &pos, max_id, number, "message id");
    if ( pos == line.size() || line[pos] != ' ' )
      throw source_error{number, "a blank must separate the id from the text"};
    const std::string text = unescape(line.substr(pos + 1), number);
    if ( text.empty() )
      throw source_error{number, "empty text"};
    if ( text.size() > max_text_length - 1 )
      throw source_error{number, "text too long"};
    check_format(text, number);
    if ( !current->emplace(id, text).second )
      throw source_error{number, "message id given twice in its section"};
  }
  return sections;
}

void put16(std::vector<uint8_t> &out, uint32_t v)
{
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

void put32(std::vector<uint8_t> &out, uint32_t v)
{
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

// Layout: "HF", version 2, two reserved values (0), the section count, every section's table
// (count, then one 32-bit offset per id, 0 for none), "HF" again, then the texts (16-bit length with the
// terminator, the bytes, the terminator). Numbers are little-endian.
std::vector<uint8_t> build_image(const std::map<long, section_t> &sections)
{
  const long section_count = sections.empty() ? 0 : sections.rbegin()->first + 1;
  size_t tables = 0;
  for ( long s = 0; s < section_count; ++s )
  {
    const auto it = sections.find(s);
    const long count = it == sections.end() || it->second.empty() ? 0 : it->second.rbegin()->first + 1;
    tables += 2 + 4 * size_t(count);
  }
  size_t text_offset = 11 + tables + 2;

  std::vector<uint8_t> head;
  std::vector<uint8_t> texts;
  head.insert(head.end(), {'H', 'F', 2});
  put32(head, 0);
  put16(head, 0);
  put16(head, uint32_t(section_count));
  for ( long s = 0; s < section_count; ++s )
  {
    const auto it = sections.find(s);
    const long count = it == sections.end() || it->second.empty() ? 0 : it->second.rbegin()->first + 1;
    put16(head, uint32_t(count));
    for ( long id = 0; id < count; ++id )
    {
      const auto t = it->second.find(id);
      if ( t == it->second.end() )
      {
        put32(head, 0);
        continue;
      }
      if ( text_offset > 0xFFFFFFFFu - 0x10000 )
        throw source_error{0, "catalogue larger than 4 GiB"};
      put32(head, uint32_t(text_offset));
      put16(texts, uint32_t(t->second.size() + 1));
      texts.insert(texts.end(), t->second.begin(), t->second.end());
      texts.push_back(0);
      text_offset += 2 + t->second.size() + 1;
    }
  }
  head.insert(head.end(), {'H', 'F'});
  head.insert(head.end(), texts.begin(), texts.end());
  return head;
}

} // namespace

int main(int argc, char **argv)
{
  if ( argc != 3 )
  {
    std::cerr << "usage: make_catalog SOURCE OUTPUT\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if ( !in )
  {
    std::cerr << argv[1] << ": cannot open\n";
    return 1;
  }
  std::vector<uint8_t> image;
  try
  {
    image = build_image(read_source(in));
  }
  catch ( const source_error &e )
  {
    std::cerr << argv[1] << ":" << e.line << ": " << e.what << "\n";
    return 1;
  }
  const std::string temp = std::string(argv[2]) + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(image.data()), std::streamsize(image.size()));
    out.close();
    if ( !out )
    {
      std::cerr << temp << ": cannot write\n";
      std::remove(temp.c_str());
      return 1;
    }
  }
  if ( std::rename(temp.c_str(), argv[2]) != 0 )
  {
    std::perror(argv[2]);
    std::remove(temp.c_str());
    return 1;
  }
  return 0;
}

// The settings tree of the registry store in memory, and the line format it is saved in.
#include "platform/registry_tree.h"

#include "platform/hex_digits.h"

#include <cerrno>
#include <charconv>
#include <utility>

namespace {

constexpr std::string_view header_line = "akui registry 1";
constexpr char hex_digits[] = "0123456789abcdef";

unsigned char fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

// Length of the valid UTF-8 sequence that starts at `pos`, or 0 when the bytes there are not one.
// Overlong forms, surrogates and code points above U+10FFFF are not valid.
std::size_t utf8_sequence_length(std::string_view s, std::size_t pos)
{
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char c = at(pos);
  std::size_t len;
  unsigned char lo = 0x80, hi = 0xBF;  // range of the first continuation byte
  if ( c >= 0xC2 && c <= 0xDF )
    len = 2;
  else if ( c >= 0xE0 && c <= 0xEF )
  {
    len = 3;
    if ( c == 0xE0 )
      lo = 0xA0;
    else if ( c == 0xED )
      hi = 0x9F;
  }
  else if ( c >= 0xF0 && c <= 0xF4 )
  {
    len = 4;
    if ( c == 0xF0 )
      lo = 0x90;
    else if ( c == 0xF4 )
      hi = 0x8F;
  }
  else
    return 0;
  if ( s.size() - pos < len || at(pos + 1) < lo || at(pos + 1) > hi )
    return 0;
  for ( std::size_t i = 2; i < len; ++i )
    if ( at(pos + i) < 0x80 || at(pos + i) > 0xBF )
      return 0;
  return len;
}

void append_escaped_byte(std::string &out, unsigned char c)
{
  out += '%';
  out += upper_hex_digits[c >> 4];
  out += upper_hex_digits[c & 15];
}

// Appends bytes in the readable escaped form. In a name every space is escaped (spaces separate the fields
// of a line); in a text only a last one, which editors tend to strip. Runs of plain bytes are copied whole.
void append_escaped(std::string &out, std::string_view bytes, bool is_name)
{
  std::size_t start = 0;
  std::size_t i = 0;
  while ( i < bytes.size() )
  {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if ( (c > 0x20 && c < 0x7F && c != '%') || (c == ' ' && !is_name && i + 1 < bytes.size()) )
    {
      ++i;
      continue;
    }
    if ( c >= 0x80 )
      if ( const std::size_t len = utf8_sequence_length(bytes, i); len != 0 )
      {
        i += len;
        continue;
      }
    out.append(bytes.substr(start, i - start));
    append_escaped_byte(out, c);
    start = ++i;
  }
  out.append(bytes.substr(start));
}

// Reverses `append_escaped`. Control bytes must be escaped; false for a control byte or a bad escape.
bool unescape(std::string_view in, std::string &out)
{
  out.clear();
  out.reserve(in.size());
  for ( std::size_t i = 0; i < in.size(); ++i )
  {
    const auto c = static_cast<unsigned char>(in[i]);
    if ( c < 0x20 || c == 0x7F )
      return false;
    if ( c != '%' )
    {
      out += static_cast<char>(c);
      continue;
    }
    if ( in.size() - i < 3 )
      return false;
    const int hi = hex_digit_value(in[i + 1]);
    const int lo = hex_digit_value(in[i + 2]);
    if ( hi < 0 || lo < 0 )
      return false;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

// Calls fn(name) for each non-empty name of a '\'-separated path.
template <typename F>
void for_each_name(std::string_view path, F fn)
{
  while ( !path.empty() )
  {
    const std::size_t cut = path.find('\\');
    const std::string_view name = path.substr(0, cut);
    if ( !name.empty() )
      fn(name);
    if ( cut == std::string_view::npos )
      break;
    path.remove_prefix(cut + 1);
  }
}

void append_key(std::string &out, const registry_key_t &key, std::string &path)
{
  for ( const auto &[name, sub] : key.subkeys() )
  {
    const std::size_t old_size = path.size();
    if ( !path.empty() )
      path += '\\';
    append_escaped(path, name, true);
    out += "\nkey ";
    out += path;
    out += '\n';
    for ( const auto &[value_name, value] : sub->values() )
    {
      switch ( value.type )
      {
        case registry_type_t::integer:
          out += "int ";
          append_escaped(out, value_name, true);
          out += ' ';
          {
            char digits[16];
            const auto result = std::to_chars(digits, digits + sizeof(digits), value.as_integer());
            out.append(digits, result.ptr);
          }
          break;
        case registry_type_t::text:
          out += "text ";
          append_escaped(out, value_name, true);
          if ( !value.data.empty() )
          {
            out += ' ';
            append_escaped(out, value.data, false);
          }
          break;
        case registry_type_t::binary:
          out += "bytes ";
          append_escaped(out, value_name, true);
          if ( !value.data.empty() )
          {
            out += ' ';
            for ( const char b : value.data )
            {
              out += hex_digits[static_cast<unsigned char>(b) >> 4];
              out += hex_digits[static_cast<unsigned char>(b) & 15];
            }
          }
          break;
      }
      out += '\n';
    }
    append_key(out, *sub, path);
    path.resize(old_size);
  }
}

// Parses one value line (already split off its type word) into `key`; false with a reason.
bool parse_value(registry_key_t &key, std::string_view type, std::string_view rest, std::string &why)
{
  const std::size_t cut = rest.find(' ');
  std::string name;
  if ( !unescape(rest.substr(0, cut), name) || name.empty() )
  {
    why = "bad value name";
    return false;
  }
  const std::string_view field = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
  if ( key.value(name) != nullptr )
  {
    why = "value listed twice";
    return false;
  }
  registry_value_t value;
  if ( type == "int" )
  {
    std::int32_t number = 0;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), number);
    if ( field.empty() || ec != std::errc() || end != field.data() + field.size() )
    {
      why = "bad integer";
      return false;
    }
    value = registry_value_t::integer(number);
  }
  else if ( type == "text" )
  {
    value.type = registry_type_t::text;
    if ( !unescape(field, value.data) )
    {
      why = "bad text";
      return false;
    }
  }
  else if ( type == "bytes" )
  {
    value.type = registry_type_t::binary;
    if ( field.size() % 2 != 0 )
    {
      why = "bad bytes";
      return false;
    }
    value.data.reserve(field.size() / 2);
    for ( std::size_t i = 0; i < field.size(); i += 2 )
    {
      const int hi = hex_digit_value(field[i]);
      const int lo = hex_digit_value(field[i + 1]);
      if ( hi < 0 || lo < 0 )
      {
        why = "bad bytes";
        return false;
      }
      value.data += static_cast<char>(hi * 16 + lo);
    }
  }
  else
  {
    why = "unknown line";
    return false;
  }
  key.set_value(name, std::move(value));
  return true;
}

}  // namespace

registry_value_t registry_value_t::integer(std::int32_t value)
{
  const auto u = static_cast<std::uint32_t>(value);
  registry_value_t v;
  v.type = registry_type_t::integer;
  v.data = {static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF), static_cast<char>((u >> 16) & 0xFF),
            static_cast<char>(u >> 24)};
  return v;
}

registry_value_t registry_value_t::text(std::string_view bytes)
{
  return {registry_type_t::text, std::string(bytes)};
}

registry_value_t registry_value_t::binary(std::string_view bytes)
{
  return {registry_type_t::binary, std::string(bytes)};
}

std::int32_t registry_value_t::as_integer() const
{
  if ( type != registry_type_t::integer || data.size() != 4 )
    return 0;
  std::uint32_t u = 0;
  for ( int i = 3; i >= 0; --i )
    u = (u << 8) | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
  return static_cast<std::int32_t>(u);
}

bool registry_name_less::operator()(std::string_view a, std::string_view b) const noexcept
{
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for ( std::size_t i = 0; i < n; ++i )
  {
    // Names of one key mostly share long prefixes: equal bytes need no folding.
    if ( a[i] == b[i] )
      continue;
    const unsigned char x = fold(static_cast<unsigned char>(a[i]));
    const unsigned char y = fold(static_cast<unsigned char>(b[i]));
    if ( x != y )
      return x < y;
  }
  return a.size() < b.size();
}

const registry_value_t *registry_key_t::value(std::string_view name) const
{
  const auto it = values_.find(name);
  return it == values_.end() ? nullptr : &it->second;
}

int registry_key_t::set_value(std::string_view name, registry_value_t value)
{
  if ( name.empty() || (value.type == registry_type_t::integer && value.data.size() != 4) )
    return EINVAL;
  const auto it = values_.find(name);
  if ( it != values_.end() )
    it->second = std::move(value);
  else
    values_.emplace(std::string(name), std::move(value));
  return 0;
}

bool registry_key_t::remove_value(std::string_view name)
{
  const auto it = values_.find(name);
  if ( it == values_.end() )
    return false;
  values_.erase(it);
  return true;
}

const registry_key_t *registry_tree_t::find_key(std::string_view path) const
{
  const registry_key_t *key = &root_;
  for_each_name(path, [&](std::string_view name) {
    if ( key == nullptr )
      return;
    const auto it = key->subkeys_.find(name);
    key = it == key->subkeys_.end() ? nullptr : it->second.get();
  });
  return key;
}

registry_key_t *registry_tree_t::find_key(std::string_view path)
{
  return const_cast<registry_key_t *>(std::as_const(*this).find_key(path));
}

registry_key_t *registry_tree_t::create_key(std::string_view path, bool &created)
{
  created = false;
  registry_key_t *key = &root_;
  for_each_name(path, [&](std::string_view name) {
    auto it = key->subkeys_.find(name);
    if ( it == key->subkeys_.end() )
    {
      it = key->subkeys_.emplace(std::string(name), std::make_unique<registry_key_t>()).first;
      created = true;
    }
    key = it->second.get();
  });
  return key == &root_ ? nullptr : key;
}

int registry_tree_t::remove_key(std::string_view path, bool tree)
{
  registry_key_t *parent = nullptr;
  registry_key_t *key = &root_;
  std::string_view last;
  for_each_name(path, [&](std::string_view name) {
    if ( key == nullptr )
      return;
    parent = key;
    last = name;
    const auto it = key->subkeys_.find(name);
    key = it == key->subkeys_.end() ? nullptr : it->second.get();
  });
  if ( key == &root_ )
    return EINVAL;
  if ( key == nullptr )
    return ENOENT;
  if ( !tree && !key->subkeys_.empty() )
    return ENOTEMPTY;
  parent->subkeys_.erase(parent->subkeys_.find(last));
  return 0;
}

std::string registry_tree_t::to_text() const
{
  std::string out(header_line);
  out += '\n';
  std::string path;
  append_key(out, root_, path);
  return out;
}

bool registry_tree_t::from_text(std::string_view text, registry_tree_t &out, std::string &error)
{
  registry_tree_t tree;
  registry_key_t *key = nullptr;
  std::size_t line_no = 0;
  const auto fail = [&](std::string_view why) {
    error = "line " + std::to_string(line_no) + ": " + std::string(why);
    return false;
  };
  while ( !text.empty() )
  {
    ++line_no;
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if ( line_no == 1 )
    {
      if ( line != header_line )
        return fail("not a registry store");
      continue;
    }
    if ( line.empty() || line.front() == '#' )
      continue;
    const std::size_t cut = line.find(' ');
    if ( cut == std::string_view::npos )
      return fail("unknown line");
    const std::string_view word = line.substr(0, cut);
    const std::string_view rest = line.substr(cut + 1);
    if ( word == "key" )
    {
      std::string path;
      bool bad = false;
      std::string name;
      for_each_name(rest, [&](std::string_view escaped) {
        if ( bad || !unescape(escaped, name) || name.find('\\') != std::string::npos )
        {
          bad = true;
          return;
        }
        if ( !path.empty() )
          path += '\\';
        path += name;
      });
      bool created;
      if ( bad || (key = tree.create_key(path, created)) == nullptr )
        return fail("bad key path");
      continue;
    }
    if ( key == nullptr )
      return fail("value before any key");
    std::string why;
    if ( !parse_value(*key, word, rest, why) )
      return fail(why);
  }
  if ( line_no == 0 )
    return fail("not a registry store");
  out = std::move(tree);
  return true;
}

// The settings tree of the registry store in memory, and the line format it is saved in.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The kinds a stored value keeps: a 32-bit integer, a text, or raw bytes.
enum class registry_type_t : std::uint8_t { integer, text, binary };

// One typed value. Every kind is held as bytes; an integer is its 4 bytes in little-endian order, so a
// value of kind integer always has exactly 4 bytes of data.
struct registry_value_t
{
  registry_type_t type = registry_type_t::binary;
  std::string data;

  static registry_value_t integer(std::int32_t value);
  static registry_value_t text(std::string_view bytes);
  static registry_value_t binary(std::string_view bytes);
  // The integer of a value of kind integer; 0 for any other value.
  std::int32_t as_integer() const;
  bool operator==(const registry_value_t &) const = default;
};

// Orders names byte by byte with ASCII letters folded to lower case: names that differ only in the case of
// ASCII letters are the same name, and the spelling stored first is the one kept.
struct registry_name_less
{
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept;
};

// A key: its values and its subkeys, each ordered by name under the case rule above. Keys are made and
// deleted through `registry_tree_t`.
class registry_key_t
{
public:
  using value_map = std::map<std::string, registry_value_t, registry_name_less>;
  using key_map = std::map<std::string, std::unique_ptr<registry_key_t>, registry_name_less>;

  // The value of that name, or null.
  const registry_value_t *value(std::string_view name) const;
  // Stores a value, keeping the spelling of a name that exists already. EINVAL for an empty name or an
  // integer that does not hold exactly 4 bytes.
  int set_value(std::string_view name, registry_value_t value);
  // Deletes the value; false when there was none.
  bool remove_value(std::string_view name);
  const value_map &values() const { return values_; }
  const key_map &subkeys() const { return subkeys_; }

private:
  friend class registry_tree_t;
  value_map values_;
  key_map subkeys_;
};

// The whole tree under one root. Key paths are names joined by '\'; empty names in a path are skipped,
// so "a\\b\" names the same key as "a\b", and a path without any name is the root.
class registry_tree_t
{
public:
  // The key at the path, or null when it does not exist.
  const registry_key_t *find_key(std::string_view path) const;
  registry_key_t *find_key(std::string_view path);
  // The key at the path, created with its missing parents; `created` tells whether any key was made.
  // Null for a path that names the root, which holds no values of its own.
  registry_key_t *create_key(std::string_view path, bool &created);
  // Deletes the key at the path with its values; with `tree` also everything below it.
  // Returns 0, ENOENT when it is missing, ENOTEMPTY when it has subkeys and `tree` is false,
  // EINVAL for the root.
  int remove_key(std::string_view path, bool tree);
  bool empty() const { return root_.subkeys_.empty(); }

  // The text form: a first line "akui registry 1", then for each key a line "key " with its path, followed by
  // one line per value: "int NAME DECIMAL", "text NAME TEXT" or "bytes NAME HEX". Names and texts keep their
  // readable bytes; a byte below 0x21 (a space only in names and at the end of a text), 0x7F, '%' and any
  // byte that is not part of valid UTF-8 is written as "%XX", so every byte of every name and value round-trips.
  std::string to_text() const;
  // Parses the text form into a fresh tree. On failure returns false, leaves `out` untouched and puts the
  // reason, with its line number, into `error`. Blank lines and lines starting with '#' are skipped.
  static bool from_text(std::string_view text, registry_tree_t &out, std::string &error);

private:
  registry_key_t root_;
};

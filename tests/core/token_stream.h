// Test helpers for the token reader: a whole input rendered as one line of tokens, and scratch files.
#pragma once

#include "core/error_state.h"
#include "core/token_reader.h"
#include "core/xfloat_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

struct reader_deleter_t
{
  void operator()(token_reader_t *r) const { destroy_token_reader(r); }
};
using reader_ptr = std::unique_ptr<token_reader_t, reader_deleter_t>;

inline reader_ptr make_reader(uint32_t options = 0, const char *const *keywords = nullptr, size_t count = 0)
{
  return reader_ptr(create_token_reader(keywords, count, nullptr, options));
}

// One token in a form that tells kinds apart: names as written, keywords "text#code", integers
// "i:decimal", 64-bit integers "ll:decimal", characters "c:hex" (with "L" when wide), floats "f:text",
// strings as token_to_text quotes them, punctuation as its characters.
inline std::string describe_token(const lexer_token_t &token)
{
  qstring text;
  switch ( token.kind )
  {
    case TOKEN_NAME: return std::string(token.text.view());
    case TOKEN_INTEGER: return "i:" + std::to_string(token.number);
    case TOKEN_INT64: return "ll:" + std::to_string(token.value.integer);
    case TOKEN_CHAR:
    {
      char hex[32];
      snprintf(hex, sizeof(hex), "%s:%llx", token.flag != 0 ? "Lc" : "c", static_cast<unsigned long long>(token.number));
      return hex;
    }
    case TOKEN_FLOAT:
    {
      char value[128];
      float_to_text(value, sizeof(value), token.value.real, 20);
      return std::string("f:") + value;
    }
    default:
      if ( token.kind >= TOKEN_FIRST_KEYWORD && token.kind <= TOKEN_LAST_KEYWORD )
        return std::string(token.text.view()) + "#" + std::to_string(token.kind);
      return token_to_text(token, &text);
  }
}

// Reads the reader to its end (or first error) and renders the tokens separated by blanks; an error
// ends the line with "!E<code>".
inline std::string read_all(token_reader_t *reader, int limit = 10000)
{
  std::string out;
  lexer_token_t token;
  for ( int i = 0; i < limit; ++i )
  {
    const int code = read_token(reader, &token);
    if ( code != 0 )
    {
      out += out.empty() ? "" : " ";
      out += "!E" + std::to_string(code);
      return out;
    }
    if ( token.kind == TOKEN_END )
      return out;
    out += out.empty() ? "" : " ";
    out += describe_token(token);
  }
  return out + " <limit>";
}

// The whole text read by a fresh reader (default keywords, options as given).
inline std::string tokens_of(const char *text, uint32_t options = 0)
{
  reader_ptr reader = make_reader(options);
  reader->set_text(text, nullptr);
  return read_all(reader.get());
}

// A row of a token table: the test's name, a source text and the tokens (read_all form) it must give.
struct stream_case
{
  const char *label;
  const char *source;
  const char *tokens;
};

// Shows a row by its label and its source, escaped so that test listings stay one line per test.
inline void PrintTo(const stream_case &c, std::ostream *os)
{
  *os << c.label << ": " << testing::PrintToString(std::string(c.source));
}

// Names the test of a table row (of any row type with a label) after its label.
inline constexpr auto case_name = [](const auto &info) { return std::string(info.param.label); };

// A scratch folder below the test's private temporary directory, removed afterwards.
class scratch_dir_t
{
public:
  scratch_dir_t()
  {
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for ( char &c : name )
      if ( c == '/' )
        c = '_';
    root_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
  }
  ~scratch_dir_t() { std::filesystem::remove_all(root_); }
  scratch_dir_t(const scratch_dir_t &) = delete;
  scratch_dir_t &operator=(const scratch_dir_t &) = delete;

  // Writes a file (folders created) and returns its path.
  std::string write(const std::string &relative, const std::string &content) const
  {
    const std::filesystem::path path = root_ / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }
  std::string path(const std::string &relative = "") const { return (root_ / relative).string(); }

private:
  std::filesystem::path root_;
};

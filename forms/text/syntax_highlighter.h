// The table-driven line highlighter: language descriptions, the callbacks it reports through, and its engine.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <cstdint>
#include <string_view>

// Style numbers the engine reports.
enum highlight_style_t : int32_t
{
  HL_PLAIN = 0,
  HL_KEYWORD1 = 1,
  HL_KEYWORD2 = 2,
  HL_KEYWORD3 = 3,
  HL_STRING = 4,
  HL_COMMENT = 5,
  HL_PREPROCESSOR = 6,
  HL_NUMBER = 7,
};

// Line states: 0 normal, 1..15 inside block comment pair n - 1, 16 inside a directive continued by the escape.
constexpr int HL_STATE_DIRECTIVE = 16;
// The line state keeps the pair number in four bits and 16 means "directive": fifteen pairs at most.
constexpr size_t HL_MAX_BLOCK_COMMENTS = 15;

// What a run reports to. Positions and lengths count code points from the line start (a malformed UTF-8 byte
// counts as one). The base ignores styles and states and reads every previous state as 0.
class highlighter_cbs_t
{
public:
  virtual ~highlighter_cbs_t() = default;
  virtual void apply_style(int /*start*/, int /*length*/, int /*style*/) {}
  virtual int previous_line_state() { return 0; }
  virtual int current_line_state() { return 0; }
  virtual void store_line_state(int /*state*/) {}
};

class syntax_highlighter_t;
using highlight_entry_t = void (*)(syntax_highlighter_t *hl, highlighter_cbs_t *cbs, const qstring *line);

// A highlighter: something with an engine entry that colours one line at a time.
class syntax_highlighter_t
{
public:
  explicit syntax_highlighter_t(highlight_entry_t entry) : entry_(entry) {}
  virtual ~syntax_highlighter_t() = default;
  syntax_highlighter_t(const syntax_highlighter_t &) = delete;
  syntax_highlighter_t &operator=(const syntax_highlighter_t &) = delete;

  // Colours one line; a line without a text buffer reports nothing.
  void highlight(highlighter_cbs_t *cbs, const qstring *line) { entry_(this, cbs, line); }

private:
  highlight_entry_t entry_;
};

// A token scanner answers the length in code points of a token at the start of `rest` (0 for none) and its
// style; a word classifier answers true when it decides the style of `word`.
using token_scanner_t = int (*)(int32_t *style, std::string_view rest);
using word_classifier_t = bool (*)(int32_t *style, std::string_view word);

// One group of keywords; `key` is also the style of its words. The words point into the highlighter's
// keyword sources.
struct keyword_group_t
{
  qvector<const char *> words;
  int32_t key = 0;
};

struct block_comment_t
{
  qstring open;
  qstring close;
};

// The description of a language that the engine runs. Promises: at most fifteen block-comment pairs, none
// with an empty marker; a keyword word is in at most one group; a run never reports outside its line.
class zuk_syntax_highlighter_t : public syntax_highlighter_t
{
public:
  zuk_syntax_highlighter_t();

  // Adds the words of `text` (split at '|', empty pieces skipped) to the group with `key`; a word another
  // group holds moves here.
  void add_keyword_group(const char *text, int32_t key);
  // The first group with `key`, created empty at the end when there is none.
  keyword_group_t &group_with_key(int32_t key);
  // Adds a block-comment pair; false (nothing added) for an empty marker or a sixteenth pair.
  [[nodiscard]] bool add_block_comment(const char *open, const char *close);

  const qvector<keyword_group_t> &keyword_groups() const { return groups_; }

  qstring line_comment;
  int32_t default_style = HL_PLAIN;
  int32_t comment_style = HL_COMMENT;
  int32_t string_style = HL_STRING;
  int32_t preprocessor_style = HL_PREPROCESSOR;
  qvector<token_scanner_t> token_scanners;
  qvector<word_classifier_t> word_classifiers;
  char quote1 = 0;
  char quote2 = 0;
  char escape = 0;
  char directive = 0;

private:
  friend struct highlight_run_t;
  qvector<qstring> keyword_sources_;
  qvector<keyword_group_t> groups_;
  qvector<block_comment_t> block_comments_;
};

// The engine entry of zuk_syntax_highlighter_t.
void zuk_highlight_line(syntax_highlighter_t *hl, highlighter_cbs_t *cbs, const qstring *line);

// Code points in `text`, counted as the engine counts them.
size_t count_code_points(std::string_view text);

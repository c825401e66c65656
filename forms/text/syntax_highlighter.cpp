// The line highlighter's engine: block and line comments, directives, strings, keywords and numbers.
#include "forms/text/syntax_highlighter.h"

#include <cstring>

namespace {

bool is_alnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_xdigit(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool is_word_start(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool is_word_char(char c) { return is_alnum(c) || c == '_'; }
bool is_alnum_dot(char c) { return is_alnum(c) || c == '.'; }
bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Bytes of the code point at `pos`: a well-formed sequence as a whole, anything else one byte.
size_t code_point_bytes(std::string_view text, size_t pos)
{
  auto lead = static_cast<unsigned char>(text[pos]);
  size_t n = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
           : lead >= 0xF0 && lead <= 0xF4                    ? 4
                                                             : 1;
  if ( n == 1 || pos + n > text.size() )
    return 1;
  for ( size_t i = 1; i < n; ++i )
    if ( !is_continuation(static_cast<unsigned char>(text[pos + i])) )
      return 1;
  return n;
}

// Code points from `from` to `to`; a sequence that would run past `to` ends the count there.
size_t code_points_between(std::string_view text, size_t from, size_t to)
{
  size_t count = 0;
  while ( from < to )
  {
    from += code_point_bytes(text, from);
    ++count;
  }
  return count;
}

} // namespace

size_t count_code_points(std::string_view text)
{
  return code_points_between(text, 0, text.size());
}

// One run over one line. Positions are byte offsets; reports convert them to code points incrementally, so a
// run stays linear in the length of the line.
struct highlight_run_t
{
  zuk_syntax_highlighter_t &hl;
  highlighter_cbs_t &cbs;
  std::string_view text;
  size_t pos = 0;
  size_t pending = 0;    // start of the not yet reported text
  size_t pending_cp = 0; // the same in code points
  bool reported = false;
  int32_t style = 0;

  char at(size_t i) const { return i < text.size() ? text[i] : '\0'; }
  bool starts_with(size_t i, const qstring &marker) const
  {
    return !marker.empty() && text.substr(i).substr(0, marker.size()) == marker.view();
  }

  void report(size_t upto, int32_t with)
  {
    if ( pending >= upto )
      return;
    size_t cps = code_points_between(text, pending, upto);
    cbs.apply_style(int(pending_cp), int(cps), with);
    pending = upto;
    pending_cp += cps;
    reported = true;
  }

  // Directive to the end of the line; it continues when the line's last byte is the escape character.
  void directive_to_end()
  {
    pos = text.size();
    report(pos, hl.preprocessor_style);
    if ( hl.escape != 0 && !text.empty() && text.back() == hl.escape )
    {
      cbs.store_line_state(HL_STATE_DIRECTIVE);
      style = hl.preprocessor_style;
    }
    else
    {
      style = hl.default_style;
    }
  }

  // Inside block comment `pair` from pos: behind its closing marker, or to the end with the pair's state.
  void finish_block_comment(size_t pair)
  {
    style = hl.comment_style;
    const qstring &close = hl.block_comments_[pair].close;
    size_t found = text.find(close.view(), pos);
    if ( found != std::string_view::npos )
    {
      pos = found + close.size();
      cbs.store_line_state(0);
      style = hl.default_style;
    }
    else
    {
      pos = text.size();
      cbs.store_line_state(int(pair + 1));
    }
    report(pos, hl.comment_style);
  }

  bool pending_is_blank() const
  {
    for ( size_t i = pending; i < pos; ++i )
      if ( !is_space(text[i]) )
        return false;
    return true;
  }

  // Length of a number at pos (all its characters are ASCII), 0 for none.
  size_t number_length() const
  {
    size_t i = pos;
    char c = at(i);
    if ( c == '+' || c == '-' )
    {
      if ( (i > 0 && is_alnum_dot(text[i - 1])) || !is_alnum_dot(at(i + 1)) )
        return 0;
      c = at(++i);
    }
    bool seen_dot = false;
    bool seen_e = false;
    bool hex = false;
    if ( c == 'e' || c == 'E' )
    {
      if ( !is_alnum_dot(at(i + 1)) )
        return 0;
      seen_e = true;
      ++i;
    }
    else if ( c == '.' )
    {
      seen_dot = true;
      ++i;
    }
    else if ( !is_digit(c) )
    {
      return 0;
    }
    else if ( c == '0' && (at(i + 1) == 'x' || at(i + 1) == 'X') )
    {
      if ( !is_alnum_dot(at(i + 2)) )
        return 0;
      hex = true;
      i += 2;
    }
    while ( is_alnum_dot(at(i)) )
    {
      c = text[i];
      if ( is_digit(c) || (hex && is_xdigit(c)) )
      {
        ++i;
      }
      else if ( c == '.' )
      {
        if ( seen_dot )
          return 0;
        seen_dot = true;
        ++i;
      }
      else if ( (c == 'e' || c == 'E') && !seen_e )
      {
        seen_e = true;
        ++i;
        if ( at(i) == '+' || at(i) == '-' )
          ++i;
      }
      else if ( c == 'L' )
      {
        char before = i > 0 ? text[i - 1] : '\0';
        bool after_digit = hex ? is_xdigit(before) : is_digit(before);
        if ( !after_digit || is_alnum_dot(at(i + 1)) )
          return 0;
        return i + 1 - pos;
      }
      else
      {
        return 0;
      }
    }
    return i - pos;
  }

  int32_t keyword_style(std::string_view word) const
  {
    for ( const keyword_group_t &group : hl.groups_ )
      for ( const char *w : group.words )
        // Most words differ in their first byte; no keyword is measured whole before that.
        if ( w[0] == word[0] && std::strncmp(w, word.data(), word.size()) == 0 && w[word.size()] == '\0' )
          return group.key;
    return style;
  }

  // Bytes of `cps` code points from pos, stopping at the line end.
  size_t bytes_of(size_t cps) const
  {
    size_t i = pos;
    for ( ; cps > 0 && i < text.size(); --cps )
      i += code_point_bytes(text, i);
    return i - pos;
  }

  // The rest of a string opened at pos; false when the line ends inside it (the run is then over).
  bool string_token()
  {
    char quote = text[pos];
    report(pos, style);
    size_t i = pos + 1;
    while ( i < text.size() )
    {
      char c = text[i];
      if ( c == hl.escape )
      {
        ++i;
        if ( i >= text.size() )
          break;
        i += code_point_bytes(text, i);
      }
      else if ( c == quote )
      {
        pos = i + 1;
        report(pos, hl.string_style);
        return true;
      }
      else
      {
        i += code_point_bytes(text, i);
      }
    }
    pos = text.size();
    report(pos, style);
    return false;
  }

  void previous_state()
  {
    int m = cbs.previous_line_state();
    // A state this highlighter cannot have produced (another highlighter's, or from elsewhere) counts as 0.
    size_t low = size_t(m & 15);
    if ( m < 1 || m > (HL_STATE_DIRECTIVE | 15) || (low != 0 && low > hl.block_comments_.size()) )
      return;
    if ( low != 0 )
      finish_block_comment(low - 1);
    if ( (m & HL_STATE_DIRECTIVE) != 0 )
      directive_to_end();
  }

  void run()
  {
    cbs.store_line_state(0);
    previous_state();
    while ( pos < text.size() )
    {
      char c = text[pos];
      if ( is_space(c) )
      {
        ++pos;
        continue;
      }
      for ( size_t pair = 0; pair < hl.block_comments_.size(); ++pair )
      {
        if ( starts_with(pos, hl.block_comments_[pair].open) )
        {
          report(pos, style);
          pos += hl.block_comments_[pair].open.size();
          finish_block_comment(pair);
          break;
        }
      }
      if ( pos >= text.size() )
        break;
      c = text[pos];
      if ( c == hl.directive && c != '\0' && (!reported || pending_is_blank()) )
      {
        report(pos, style);
        directive_to_end();
        continue;
      }
      if ( c != '\0' && (c == hl.quote1 || c == hl.quote2) )
      {
        if ( !string_token() )
          return;
        continue;
      }
      if ( starts_with(pos, hl.line_comment) )
      {
        report(pos, style);
        pos = text.size();
        report(pos, hl.comment_style);
        style = hl.default_style;
        continue;
      }
      bool on_word = is_word_start(c);
      if ( on_word )
      {
        size_t end = pos;
        while ( end < text.size() && is_word_char(text[end]) )
          ++end;
        std::string_view word = text.substr(pos, end - pos);
        int32_t word_style = style;
        for ( word_classifier_t classify : hl.word_classifiers )
          if ( classify(&word_style, word) )
            break;
        if ( word_style == style )
          word_style = keyword_style(word);
        if ( word_style != style )
        {
          report(pos, style);
          pos = end;
          report(pos, word_style);
          continue;
        }
      }
      if ( size_t n = number_length(); n > 0 )
      {
        report(pos, style);
        pos += n;
        report(pos, HL_NUMBER);
        continue;
      }
      size_t before = pos;
      for ( token_scanner_t scan : hl.token_scanners )
      {
        int32_t token_style = style;
        int n = scan(&token_style, text.substr(pos));
        if ( n > 0 )
        {
          report(pos, style);
          pos += bytes_of(size_t(n));
          report(pos, token_style);
          style = hl.default_style;
          break;
        }
      }
      if ( pos == before )
      {
        if ( on_word )
          while ( pos < text.size() && is_word_char(text[pos]) )
            ++pos;
        else
          while ( pos < text.size() && is_alnum_dot(text[pos]) )
            ++pos;
      }
      if ( pos == before )
        pos += code_point_bytes(text, pos);
    }
    report(pos, style);
  }
};

zuk_syntax_highlighter_t::zuk_syntax_highlighter_t() : syntax_highlighter_t(zuk_highlight_line) {}

void zuk_highlight_line(syntax_highlighter_t *hl, highlighter_cbs_t *cbs, const qstring *line)
{
  if ( line == nullptr || line->data() == nullptr )
    return;
  // The line ends at its first NUL byte, as a C text would.
  std::string_view text(line->c_str(), std::strlen(line->c_str()));
  if ( text.size() > line->size() )
    text = text.substr(0, line->size());
  highlight_run_t run {*static_cast<zuk_syntax_highlighter_t *>(hl), *cbs, text};
  run.style = run.hl.default_style;
  run.run();
}

keyword_group_t &zuk_syntax_highlighter_t::group_with_key(int32_t key)
{
  for ( keyword_group_t &group : groups_ )
    if ( group.key == key )
      return group;
  keyword_group_t &group = groups_.emplace_back();
  group.key = key;
  return group;
}

void zuk_syntax_highlighter_t::add_keyword_group(const char *text, int32_t key)
{
  qstring &source = keyword_sources_.emplace_back(text);
  if ( source.data() == nullptr )
    return;
  char *p = source.data();
  char *end = p + source.size();
  while ( p < end )
  {
    char *bar = static_cast<char *>(std::memchr(p, '|', size_t(end - p)));
    if ( bar == nullptr )
      bar = end;
    *bar = '\0';
    if ( bar != p )
    {
      const char *word = p;
      bool placed = false;
      for ( keyword_group_t &group : groups_ )
      {
        for ( size_t i = 0; i < group.words.size(); ++i )
        {
          if ( std::strcmp(group.words[i], word) != 0 )
            continue;
          placed = true;
          if ( group.key != key )
          {
            group.words.erase(i);
            group_with_key(key).words.push_back(word);
          }
          break;
        }
        if ( placed )
          break;
      }
      if ( !placed )
        group_with_key(key).words.push_back(word);
    }
    p = bar + 1;
  }
}

bool zuk_syntax_highlighter_t::add_block_comment(const char *open, const char *close)
{
  if ( block_comments_.size() >= HL_MAX_BLOCK_COMMENTS || open == nullptr || close == nullptr || *open == '\0'
       || *close == '\0' )
    return false;
  block_comments_.push_back(block_comment_t {open, close});
  return true;
}

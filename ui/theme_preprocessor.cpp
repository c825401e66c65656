// The theme preprocessor: conditionals, variables and colour functions over a theme's lines.
#include "ui/theme_loader_p.h"

#include "ui/theme_stylesheets.h"

#include <QColor>
#include <QString>

#include <climits>
#include <cstring>
#include <map>

namespace
{

bool is_blank(char c)
{
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}

// True when the line begins with the keyword followed by a blank or the end; *rest is what follows it.
bool keyword_line(const std::string &line, std::string_view keyword, std::string_view *rest)
{
  if ( line.compare(0, keyword.size(), keyword) != 0 || (line.size() > keyword.size() && !is_blank(line[keyword.size()])) )
    return false;
  *rest = std::string_view(line).substr(keyword.size());
  return true;
}

std::string_view skip_blanks(std::string_view text)
{
  size_t i = 0;
  while ( i < text.size() && is_blank(text[i]) )
    ++i;
  return text.substr(i);
}

std::string_view trim(std::string_view text)
{
  text = skip_blanks(text);
  while ( !text.empty() && is_blank(text.back()) )
    text.remove_suffix(1);
  return text;
}

std::string too_large_error()
{
  return "Theme text exceeds " + std::to_string(theme_text_limit) + " bytes";
}

// A decimal integer with an optional sign that fits an int.
bool parse_factor(std::string_view text, int *out)
{
  const bool negative = !text.empty() && text[0] == '-';
  size_t i = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if ( i == text.size() )
    return false;
  long long value = 0;
  for ( ; i < text.size(); ++i )
  {
    if ( text[i] < '0' || text[i] > '9' )
      return false;
    value = value * 10 + (text[i] - '0');
    if ( value > INT_MAX )
      return false;
  }
  *out = int(negative ? -value : value);
  return true;
}

class preprocessor_t
{
public:
  bool run(const std::vector<theme_line_t> &lines, std::string *out, std::string *error);

private:
  struct condition_t
  {
    std::string name;
    bool polarity; // true for @ifdef
    bool else_seen;
  };

  bool defined(const std::string &name) const { return variables_.count(name) != 0; }
  bool satisfied(const condition_t &c) const { return defined(c.name) == c.polarity; }
  void push_condition(condition_t c);
  void pop_condition();
  void flip_condition();
  bool conditional(const std::string &line, bool *handled, std::string *error);
  bool expand_first_reference(std::string *text, std::string *error) const;
  bool define(const std::string &line, std::string *error);
  bool colour_function(std::string *line, const char *keyword, std::string *error) const;

  std::map<std::string, std::string> variables_ {{"__NT__", "1"}};
  std::vector<condition_t> conditions_;
  // Entries of the stack whose test fails: a line is kept when there are none. Kept as a count so that a
  // deeply nested text costs no more per line than a flat one.
  size_t unsatisfied_ = 0;
  // Per name, the @ifndef entries on the stack (they all fail once a @def defines the name).
  std::map<std::string, size_t> negated_;
};

void preprocessor_t::push_condition(condition_t c)
{
  unsatisfied_ += satisfied(c) ? 0 : 1;
  if ( !c.polarity )
    ++negated_[c.name];
  conditions_.push_back(std::move(c));
}

void preprocessor_t::pop_condition()
{
  const condition_t &c = conditions_.back();
  unsatisfied_ -= satisfied(c) ? 0 : 1;
  if ( !c.polarity && --negated_[c.name] == 0 )
    negated_.erase(c.name);
  conditions_.pop_back();
}

void preprocessor_t::flip_condition()
{
  condition_t c = conditions_.back();
  pop_condition();
  c.polarity = !c.polarity;
  c.else_seen = true;
  push_condition(std::move(c));
}

// Handles a conditional line (also inside skipped blocks, so that nesting works).
bool preprocessor_t::conditional(const std::string &line, bool *handled, std::string *error)
{
  std::string_view rest;
  *handled = true;
  for ( const bool polarity : {true, false} )
  {
    const char *keyword = polarity ? "@ifdef" : "@ifndef";
    if ( !keyword_line(line, keyword, &rest) )
      continue;
    rest = skip_blanks(rest);
    size_t name_end = 0;
    while ( name_end < rest.size() && !is_blank(rest[name_end]) )
      ++name_end;
    if ( name_end == 0 )
    {
      *error = std::string(keyword) + " requires an argument";
      return false;
    }
    push_condition({std::string(rest.substr(0, name_end)), polarity, false});
    return true;
  }
  if ( keyword_line(line, "@else", &rest) )
  {
    if ( conditions_.empty() || conditions_.back().else_seen )
    {
      *error = "Unbalanced @else";
      return false;
    }
    flip_condition();
    return true;
  }
  if ( keyword_line(line, "@endif", &rest) )
  {
    if ( conditions_.empty() )
    {
      *error = "Unbalanced @endif";
      return false;
    }
    pop_condition();
    return true;
  }
  *handled = false;
  return true;
}

// Replaces the first "${name}" of the text by the variable's value; later references stay as they are.
bool preprocessor_t::expand_first_reference(std::string *text, std::string *error) const
{
  const size_t open = text->find("${");
  if ( open == std::string::npos )
    return true;
  const size_t close = text->find('}', open + 2);
  if ( close == std::string::npos )
  {
    *error = "Malformed variable reference: " + *text;
    return false;
  }
  const std::string name = text->substr(open + 2, close - open - 2);
  const auto it = variables_.find(name);
  if ( it == variables_.end() )
  {
    *error = "Undefined variable \"" + name + "\"";
    return false;
  }
  if ( text->size() - (close + 1 - open) + it->second.size() > theme_text_limit )
  {
    *error = too_large_error();
    return false;
  }
  text->replace(open, close + 1 - open, it->second);
  return true;
}

// "@def name value;": sets a variable (a later @def of the name overrides it).
bool preprocessor_t::define(const std::string &line, std::string *error)
{
  const std::string_view after = std::string_view(line).substr(4);
  const std::string_view text = skip_blanks(after);
  size_t name_end = 0;
  while ( name_end < text.size() && !is_blank(text[name_end]) && text[name_end] != ';' )
    ++name_end;
  const std::string_view value_text = skip_blanks(text.substr(name_end));
  const size_t semicolon = value_text.find(';');
  if ( name_end == 0 || name_end == text.size() || text[name_end] == ';' || semicolon == std::string_view::npos )
  {
    *error = "Malformed @def: " + std::string(after);
    return false;
  }
  std::string value(value_text.substr(0, semicolon));
  if ( !expand_first_reference(&value, error) )
    return false;
  const std::string name(text.substr(0, name_end));
  if ( !defined(name) )
  {
    // Every @ifndef of this name on the stack now fails.
    const auto it = negated_.find(name);
    unsatisfied_ += it != negated_.end() ? it->second : 0;
  }
  variables_[name] = std::move(value);
  return true;
}

// Replaces the first "@lighten(colour, factor)" or "@darken(...)" of the line by the resulting colour's name.
bool preprocessor_t::colour_function(std::string *line, const char *keyword, std::string *error) const
{
  const size_t at = line->find(keyword);
  if ( at == std::string::npos )
    return true;
  const std::string_view call = skip_blanks(std::string_view(*line).substr(at + strlen(keyword)));
  const size_t comma = call.find(',');
  const size_t close = comma == std::string_view::npos ? comma : call.find(')', comma + 1);
  if ( call.empty() || call[0] != '(' || close == std::string_view::npos )
  {
    *error = std::string("Malformed ") + keyword + " directive: " + *line;
    return false;
  }
  const std::string colour_text(trim(call.substr(1, comma - 1)));
  const std::string factor_text(trim(call.substr(comma + 1, close - comma - 1)));
  const QString colour_name = QString::fromUtf8(colour_text.data(), int(colour_text.size()));
  if ( !QColor::isValidColor(colour_name) )
  {
    *error = "Color \"" + colour_text + "\" is not valid";
    return false;
  }
  int factor = 0;
  if ( !parse_factor(factor_text, &factor) )
  {
    *error = std::string("Invalid ") + keyword + " factor: " + factor_text;
    return false;
  }
  const QColor colour(colour_name);
  const QColor result = keyword[1] == 'l' ? colour.lighter(factor) : colour.darker(factor);
  const size_t call_end = size_t(call.data() - line->data()) + close + 1;
  line->replace(at, call_end - at, result.name().toStdString());
  return true;
}

bool preprocessor_t::run(const std::vector<theme_line_t> &lines, std::string *out, std::string *error)
{
  out->clear();
  for ( size_t i = 0; i < lines.size(); ++i )
  {
    if ( i > 0 )
      *out += '\n';
    bool handled = false;
    if ( !conditional(lines[i].text, &handled, error) )
      return false;
    if ( handled || unsatisfied_ != 0 )
      continue;
    std::string line = lines[i].text;
    if ( !expand_first_reference(&line, error) )
      return false;
    std::string_view rest;
    if ( keyword_line(line, "@def", &rest) )
    {
      if ( !define(line, error) )
        return false;
      continue;
    }
    if ( !colour_function(&line, "@lighten", error) || !colour_function(&line, "@darken", error) )
      return false;
    if ( out->size() + line.size() > theme_text_limit )
    {
      *error = too_large_error();
      return false;
    }
    *out += line;
  }
  return true;
}

} // namespace

bool preprocess_theme_lines(const std::vector<theme_line_t> &lines, std::string *out, std::string *error)
{
  preprocessor_t preprocessor;
  return preprocessor.run(lines, out, error);
}

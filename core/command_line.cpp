// Splitting command lines into arguments and redirections, and quoting arguments for them.
#include "core/command_line.h"

#include "core/environment.h"

#include <cstring>
#include <string>
#include <string_view>

namespace {

bool is_blank(char c)
{
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

size_t skip_blanks_at(const char *text, size_t i)
{
  return size_t(skip_blanks(text + i) - text);
}

class splitter_t
{
public:
  splitter_t(qvector<qstring> *args, qvector<redirection_t> *redirections, const char *text, int flags)
    : args_(args), redirections_(redirections), text_(text), raw_first_((flags & SPLIT_RAW_FIRST) != 0)
  {
  }

  void run()
  {
    for ( ;; )
    {
      i_ = skip_blanks_at(text_, i_);
      if ( text_[i_] == '\0' )
        return;
      walk_argument();
    }
  }

private:
  // Builds one argument from i_ up to a blank outside quotes or the end, and appends it.
  void walk_argument()
  {
    const bool raw = raw_first_ && args_->empty();
    qstring current;
    bool quoted = false;
    for ( ;; )
    {
      const char c = text_[i_];
      if ( c == '\0' || (!quoted && is_blank(c)) )
        break;
      if ( c == '\\' && !raw )
      {
        size_t run = 0;
        while ( text_[i_ + run] == '\\' )
          ++run;
        if ( text_[i_ + run] != '"' )
        {
          current.append(text_ + i_, run);
          i_ += run;
          continue;
        }
        current.append(std::string(run / 2, '\\'));
        i_ += run;
        if ( run % 2 != 0 )
        {
          current += '"';
          ++i_;
          continue;
        }
        if ( quoted && text_[i_ + 1] == '"' )
        {
          current += '"';
          i_ += 2;
          continue;
        }
        // An even run: the quote after it opens or closes quoting as a plain one would.
      }
      if ( text_[i_] == '"' )
      {
        ++i_;
        if ( !quoted )
        {
          quoted = true;
          continue;
        }
        quoted = false;
        if ( text_[i_] == '\0' || is_blank(text_[i_]) )
        {
          args_->push_back(std::move(current));
          return;
        }
        continue;
      }
      current += c;
      ++i_;
      if ( !quoted && !raw && redirections_ != nullptr && (c == '<' || c == '>') && take_redirection(current) )
        current.clear();
    }
    if ( !current.empty() )
      args_->push_back(std::move(current));
  }

  // current ends with the operator character just taken (at i_ - 1). When current is an operator written
  // unquoted and a target follows, records the redirection, moves i_ past it and its blanks, and answers
  // true; otherwise nothing changes.
  bool take_redirection(const qstring &current)
  {
    const size_t n = current.size();
    const char op = current[n - 1];
    int channel;
    if ( op == '<' && n == 1 )
      channel = 0;
    else if ( op == '>' && n == 1 )
      channel = 1;
    else if ( op == '>' && n == 2 && current[0] >= '0' && current[0] <= '9' )
      channel = current[0] - '0';
    else
      return false;
    const size_t start = i_ - n;
    // The operator's characters must be the text's own, not the product of quotes or escapes.
    if ( std::memcmp(text_ + start, current.c_str(), n) != 0 )
      return false;

    redirection_t redirection;
    redirection.channel = channel;
    redirection.kind = op == '<' ? REDIRECT_INPUT : REDIRECT_OUTPUT;
    size_t j = i_;
    if ( op == '>' && text_[j] == '>' )
    {
      redirection.kind |= REDIRECT_APPEND;
      ++j;
    }
    j = skip_blanks_at(text_, j);
    if ( text_[j] == '"' )
    {
      redirection.kind |= REDIRECT_QUOTED;
      ++j;
      for ( ;; )
      {
        const char c = text_[j];
        if ( c == '\0' || (c == '\\' && text_[j + 1] == '\0') )
          return false; // unclosed
        if ( c == '"' )
        {
          ++j;
          break;
        }
        if ( c == '\\' )
          ++j;
        redirection.target += text_[j];
        ++j;
      }
    }
    else
    {
      const size_t first = j;
      while ( text_[j] != '\0' && !is_blank(text_[j]) && text_[j] != '<' && text_[j] != '>' )
        ++j;
      redirection.target.assign(text_ + first, j - first);
    }
    if ( redirection.target.empty() )
      return false;
    j = skip_blanks_at(text_, j);
    redirection.offset = start;
    redirection.length = j - start;
    redirections_->push_back(std::move(redirection));
    i_ = j;
    return true;
  }

  qvector<qstring> *args_;
  qvector<redirection_t> *redirections_; // null: not wanted
  const char *text_;
  const bool raw_first_;
  size_t i_ = 0; // position of the walk in text_
};

} // namespace

int split_command_line(qvector<qstring> *args, qvector<redirection_t> *redirections, const char *text, int flags)
{
  args->clear();
  if ( redirections != nullptr )
    redirections->clear();
  if ( text == nullptr )
    return 0;
  splitter_t(args, redirections, text, flags).run();
  return int(args->size());
}

bool quote_shell_argument(qstring *arg)
{
  const std::string_view text = arg->view();
  bool plain = !text.empty();
  for ( char c : text )
    if ( is_blank(c) || c == '"' || std::string_view("?*[]()<>;&$|^#").find(c) != std::string_view::npos )
      plain = false;
  if ( plain )
    return false;

  qstring quoted;
  quoted.reserve(text.size() * 2 + 3);
  quoted += '"';
  size_t run = 0; // backslashes seen just before the current character
  for ( char c : text )
  {
    if ( c == '\\' )
    {
      ++run;
      continue;
    }
    // Backslashes before a double quote are doubled and the quote escaped; others stay single.
    const size_t count = c == '"' ? run * 2 + 1 : run;
    quoted.append(std::string(count, '\\'));
    quoted += c;
    run = 0;
  }
  quoted.append(std::string(run * 2, '\\')); // the closing quote must stay a quote
  quoted += '"';
  *arg = std::move(quoted);
  return true;
}

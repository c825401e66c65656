// Log messages and the stream interface that writes them line by line: to the log file or to the Output window.
#include "ui/msg_outstream.h"

#include "core/file_ops.h"

#include <algorithm>
#include <string_view>

size_t msg_outstream_t::write_message(const msg_data_t &msg, uint32_t flags)
{
  const size_t n = msg.text.size();
  if ( n == 0 )
    return 0;
  const unsigned k = (flags & LOG_FLAG_TIMESTAMPS) != 0 ? KIND_WITH_PREFIX : 0;
  const std::string_view view = msg.text.view();
  // Where the line from a position stops: at the next line break or carriage return, else at the end. Most
  // texts hold no carriage return: the next one is looked for again only once it lies behind.
  size_t next_return = std::min(view.find('\r'), n);
  const auto line_end = [&view, &next_return, n](size_t from) {
    if ( next_return < from )
      next_return = std::min(view.find('\r', from), n);
    return std::min(std::min(view.find('\n', from), n), next_return);
  };
  line_length_hint_ = line_end(0);
  if ( first_ )
  {
    start_line(msg.prefix, k | KIND_NO_BREAK);
    first_ = false;
  }
  else if ( !mid_line_ )
  {
    start_line(msg.prefix, k);
  }
  // A message that continues an unfinished line starts nothing and writes on from its column.
  size_t c = column();
  qstring &line = line_;
  line.clear();
  const char *text = msg.text.c_str();
  for ( size_t i = 0; i < n; ++i )
  {
    // The characters up to the next line break or carriage return go into the line at once.
    const size_t stop = line_end(i);
    if ( stop > i )
    {
      line.append(text + i, stop - i);
      mid_line_ = true;
      i = stop;
      if ( i == n )
        break;
    }
    const char ch = text[i];
    if ( ch == '\r' && i + 1 < n && text[i + 1] == '\n' )
      continue; // "\r\n" counts as "\n"
    if ( ch == '\n' )
    {
      if ( !line.empty() )
        write_at(c, line);
      line.clear();
      mid_line_ = i + 1 < n;
      if ( mid_line_ )
      {
        line_length_hint_ = line_end(i + 1) - (i + 1);
        start_line(msg.prefix, 0);
        c = column();
      }
    }
    else if ( ch == '\r' )
    {
      // The text before a lone carriage return is never written; what follows goes after the prefix.
      line.clear();
      carriage_return();
      c = LOG_PREFIX_WIDTH;
    }
  }
  if ( !line.empty() )
    write_at(c, line);
  flush();
  return n;
}

void file_outstream_t::closer_t::operator()(FILE *fp) const
{
  (void)file_close(fp);
}

bool file_outstream_t::open_append(const char *path)
{
  stream_.reset(file_open_append(path));
  return stream_ != nullptr;
}

void file_outstream_t::start_line(const qstring &prefix, unsigned kind)
{
  if ( (kind & KIND_NO_BREAK) == 0 )
    (void)file_putc('\n', stream_.get());
  if ( (kind & KIND_WITH_PREFIX) != 0 )
  {
    (void)file_write(stream_.get(), prefix.c_str(), ptrdiff_t(prefix.size()));
    column_ = prefix.size();
  }
  else
  {
    column_ = 0;
  }
}

void file_outstream_t::write_at(size_t column, const qstring &text)
{
  for ( ; column_ < column; ++column_ )
    (void)file_putc(' ', stream_.get());
  (void)file_write(stream_.get(), text.c_str(), ptrdiff_t(text.size()));
  column_ += text.size();
}

void file_outstream_t::flush()
{
  if ( stream_ != nullptr )
    (void)std::fflush(stream_.get());
}

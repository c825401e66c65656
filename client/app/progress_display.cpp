// The progress display: figures, file title and bar of a long repository operation in the wait box.
#include "client/app/progress_display.h"

#include "core/number_format.h"
#include "core/unicode.h"
#include "ui/app_base.h"

#include <algorithm>
#include <cstdarg>
#include <limits>

namespace {

// Below these amounts an operation is too short to show.
constexpr int64_t bytes_threshold = 0x8000;
constexpr int64_t files_threshold = 1000;
// A file check renews the display once per this many files.
constexpr int64_t files_per_renewal = 100;

constexpr char ellipsis[] = "\u2026";
constexpr char full_cell[] = "\u2588";
constexpr char empty_cell[] = "\u2591";

struct kind_words_t
{
  const char *label;
  const char *unit;
};

kind_words_t words_of(uint8_t kind)
{
  switch ( kind )
  {
    case 2:
      return {"Downloading", "bytes"};
    case 3:
      return {"Uploading", "bytes"};
    case 4:
      return {"Calculating MD5", "bytes"};
    case progress_items:
      return {"Checking files", "files"};
    default:
      return {"Transferring", "bytes"};
  }
}

// done + step, kept within 0..INT64_MAX.
int64_t saturated_sum(int64_t done, int64_t step)
{
  if ( step > 0 && done > std::numeric_limits<int64_t>::max() - step )
    return std::numeric_limits<int64_t>::max();
  return std::max<int64_t>(done + step, 0);
}

bool push_wait_text(app_t &app, bool is_new, const char *format, ...)
{
  va_list va;
  va_start(va, format);
  const bool taken = app.push_wait_dialog_request(format, va, is_new);
  va_end(va);
  return taken;
}

std::string display_text(uint8_t kind, int64_t done, int64_t total, const char *total_text, const qstring &title)
{
  const kind_words_t words = words_of(kind);
  char done_text[8];
  format_byte_size(done_text, sizeof(done_text), uint64_t(done));
  qstring text;
  format_to_string(&text, "%s %s/%s %s (%.2f%%)\n", words.label, done_text, total_text, words.unit,
                   double(done) * 100.0 / double(total));
  if ( !title.empty() )
    append_format_to_string(&text, "File: %s\n", shortened_progress_title(title.c_str()).c_str());
  std::string out(text.view());
  const int fill = progress_bar_fill(done, total);
  for ( int cell = 0; cell < progress_bar_cells; ++cell )
    out += cell < fill ? full_cell : empty_cell;
  return out;
}

} // namespace

int progress_bar_fill(int64_t done, int64_t total)
{
  if ( total <= 0 || done <= 0 )
    return 0;
  if ( done >= total )
    return progress_bar_cells;
  // done < total, so the quotient is below 40; the product needs 70 bits at most.
  return int(static_cast<__int128>(done) * progress_bar_cells / total);
}

std::string shortened_progress_title(const char *title)
{
  const size_t length = utf8_count_chars(title);
  if ( length <= progress_title_chars )
    return title;
  const size_t drive = title[0] != '\0' && title[1] == ':' ? 2 : 0;
  const char *rest = title + drive;
  (void)utf8_skip_chars(&rest, length - progress_title_chars);
  std::string out(title, drive);
  out += ellipsis;
  out += rest;
  return out;
}

int32_t akui_progressor_t::set_title(const char *text)
{
  if ( text != nullptr )
    title_ = text;
  else
    title_.clear();
  return 0;
}

int32_t akui_progressor_t::progress(uint8_t event, uint64_t amount)
{
  if ( current_app() == nullptr || event > progress_items )
    return 0;
  // The wire carries unsigned amounts; a count above 2^63 is a negative one.
  const auto count = static_cast<int64_t>(amount);
  switch ( event )
  {
    case progress_end:
      done_ = 0;
      total_ = 0;
      total_text_[0] = '\0';
      title_.clear();
      close_display();
      return 0;
    case progress_add:
      if ( !shown_ )
        return 0;
      done_ = saturated_sum(done_, count);
      if ( kind_ == progress_items && done_ % files_per_renewal != 0 )
        return 0;
      renew_display();
      return _base_app_mixin_t::is_long_op_cancelled() ? 1 : 0;
    default:
      if ( count < (event == progress_items ? files_threshold : bytes_threshold) )
        return 0;
      kind_ = event;
      total_ = count;
      done_ = 0;
      format_byte_size(total_text_, sizeof(total_text_), amount);
      renew_display();
      return 0;
  }
}

void akui_progressor_t::renew_display()
{
  app_t *app = current_app();
  if ( app == nullptr || total_ == 0 )
    return;
  const std::string text = display_text(kind_, done_, total_, total_text_, title_);
  if ( shown_ )
    (void)push_wait_text(*app, false, "%s", text.c_str());
  else
    shown_ = push_wait_text(*app, true, "NODELAY\n%s", text.c_str());
}

void akui_progressor_t::close_display()
{
  if ( !shown_ )
    return;
  shown_ = false;
  if ( app_t *app = current_app() )
    app->hide_wait_dialog();
}

void close_progress_display(akui_progressor_t &progressor)
{
  progressor.close_display();
}

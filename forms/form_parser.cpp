// The form description language.
#include "forms/form_parser.h"

#include "core/qstring.h"
#include "core/unicode.h"
#include "core/ui_callback.h"
#include "forms/form_values.h"
#include "forms/inputs/input_requests.h"
#include "ui/message_box_header.h"

#include <QStringList>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr const char field_letters[] = "AqhSNnLlMmuDoOsYH$IiBkKFfTyXeEtbRCrcp";

bool is_blank(char c)
{
  return c == ' ' || c == '\t';
}

bool starts_with_nocase(const std::string &text, size_t pos, const char *word)
{
  const size_t n = std::strlen(word);
  if ( pos + n > text.size() )
    return false;
  for ( size_t i = 0; i < n; ++i )
    if ( std::toupper(static_cast<unsigned char>(text[pos + i])) != std::toupper(static_cast<unsigned char>(word[i])) )
      return false;
  return true;
}

void report_error_at(const std::string &text, size_t pos)
{
  warning_printf("form: error at %s", text.c_str() + std::min(pos, text.size()));
}

// atoi over the text, refusing (nullopt) a number that does not fit an int. No digits read as 0, like atoi.
std::optional<int> checked_atoi(const std::string &text)
{
  size_t i = 0;
  while ( i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) )
    ++i;
  bool negative = false;
  if ( i < text.size() && (text[i] == '+' || text[i] == '-') )
    negative = text[i++] == '-';
  int64_t value = 0;
  for ( ; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i )
  {
    value = value * 10 + (text[i] - '0');
    if ( value > int64_t(INT_MAX) + 1 )
      return std::nullopt;
  }
  value = negative ? -value : value;
  if ( value > INT_MAX || value < INT_MIN )
    return std::nullopt;
  return int(value);
}

// An unsigned number with C base prefixes (0x, 0), refused when it does not fit an int.
std::optional<int> checked_unsigned(const std::string &text)
{
  size_t i = 0;
  while ( i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) )
    ++i;
  int radix = 10;
  if ( i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') )
  {
    radix = 16;
    i += 2;
  }
  else if ( i < text.size() && text[i] == '0' )
  {
    radix = 8;
  }
  int64_t value = 0;
  for ( ; i < text.size(); ++i )
  {
    const int d = std::isdigit(static_cast<unsigned char>(text[i])) ? text[i] - '0'
                : std::isxdigit(static_cast<unsigned char>(text[i])) ? std::tolower(text[i]) - 'a' + 10 : 99;
    if ( d >= radix )
      break;
    value = value * radix + d;
    if ( value > INT_MAX )
      return std::nullopt;
  }
  return int(value);
}

// Digits at pos, as an int; pos advances past them. nullopt when they do not fit.
std::optional<int> read_id(const std::string &text, size_t *pos)
{
  int64_t value = 0;
  while ( *pos < text.size() && text[*pos] >= '0' && text[*pos] <= '9' )
  {
    value = value * 10 + (text[(*pos)++] - '0');
    if ( value > INT_MAX )
      return std::nullopt;
  }
  return int(value);
}

// The visible text of a label for fitting: after the last '#', blanks trimmed, "~x~" resolved, '&' removed.
QString fitting_text(const std::string &label)
{
  std::string visible = label_text_after_hint(label, false);
  visible.erase(std::remove(visible.begin(), visible.end(), '~'), visible.end());
  visible.erase(std::remove(visible.begin(), visible.end(), '&'), visible.end());
  return QString::fromUtf8(visible.c_str(), int(visible.size())).trimmed();
}

// Splits the text after a field's colon at the unescaped colons, removing the escapes.
std::vector<std::string> split_subfields(const std::string &text)
{
  std::vector<std::string> parts;
  std::string copy = text;
  for ( char *rest = copy.data(); rest != nullptr; )
  {
    char *next = split_at_unescaped_colon(rest);
    parts.emplace_back(rest);
    rest = next;
  }
  return parts;
}

// The state of one line being read.
class line_reader_t
{
public:
  line_reader_t(form_layout_t *form, const std::string &line, int index, form_args_t &args, int start,
                const form_chooser_width_t &chooser_width)
    : form_(form), line_(line), index_(index), args_(args), start_(start), chooser_width_(chooser_width)
  {
  }

  bool read();

private:
  std::vector<form_item_t> &items() { return form_->lines[size_t(index_)]; }
  bool advance(int64_t by)
  {
    column_ += by;
    return column_ <= form_max_columns;
  }
  form_item_t make_item(char type, size_t offset)
  {
    form_item_t item;
    item.type = type;
    item.column = int(column_);
    item.line = index_;
    item.source_offset = int(offset) - 2 * skipped_;
    return item;
  }
  void start_run(size_t offset)
  {
    run_open_ = true;
    run_.clear();
    run_column_ = column_;
    run_offset_ = offset;
  }
  bool end_run();
  void number_item(form_item_t &item, bool take_number)
  {
    item.number = take_number ? form_->field_counter++ : form_->field_counter;
    item.start = item.number == start_;
  }
  bool read_field(size_t lt, size_t *next);
  bool read_member(form_item_t member, const std::string &after_letter, size_t *consumed);
  bool read_dynamic_label(size_t percent, size_t *next);

  form_layout_t *form_;
  const std::string &line_;
  int index_;
  form_args_t &args_;
  int start_;
  const form_chooser_width_t &chooser_width_;
  int64_t column_ = 0;
  int skipped_ = 0; // "%/" and "%*" elements read so far
  bool run_open_ = false;
  std::string run_;
  int64_t run_column_ = 0;
  size_t run_offset_ = 0;
};

bool line_reader_t::end_run()
{
  if ( !run_open_ )
    return true;
  run_open_ = false;
  const int64_t length = int64_t(run_.size());
  std::string text = run_;
  while ( !text.empty() && is_blank(text.back()) )
    text.pop_back();
  const size_t hash = text.rfind('#');
  const std::string after = hash == std::string::npos ? text : text.substr(hash + 1);
  form_item_t item;
  item.type = 0;
  item.column = int(run_column_);
  item.line = index_;
  item.source_offset = int(run_offset_) - 2 * skipped_;
  item.width = int(std::count_if(after.begin(), after.end(), [](char c) { return c != '~'; }));
  item.text = QString::fromUtf8(text.c_str(), int(text.size()));
  item.number = form_->field_counter;
  items().push_back(std::move(item));
  column_ = run_column_;
  return advance(length);
}

bool line_reader_t::read_dynamic_label(size_t percent, size_t *next)
{
  size_t p = percent + 1;
  const auto id = read_id(line_, &p);
  if ( !id )
    return false;
  const char letter = line_[p];
  void *value = nullptr;
  const form_arg_kind kind = form_value_arg_kind(letter);
  if ( !args_.take(kind, &value) )
    return false;
  form_item_t item = make_item(letter == 'h' ? 'h' : ' ', percent);
  item.id = *id;
  item.arg = value;
  item.value_type = letter;
  if ( value == nullptr )
    warning_printf("form: nullptr is an invalid input field argument");
  else
    (void)value_to_text(value, letter, 10, &item.text);
  int widest = 0;
  for ( const QString &part : item.text.split(QLatin1Char('\n')) )
    widest = std::max(widest, int(part.size()));
  item.width = widest;
  item.number = form_->field_counter;
  item.start = item.number == start_;
  *next = p + 1;
  if ( *id > 0 || !item.text.isEmpty() )
  {
    items().push_back(std::move(item));
    return advance(widest);
  }
  return true;
}

bool line_reader_t::read_member(form_item_t member, const std::string &rest, size_t *consumed)
{
  // rest starts right after the type letter and id, at the '>' that must follow.
  if ( rest.empty() || rest[0] != '>' )
    return false;
  size_t p = 1;
  bool closes = false;
  int group_id = 0;
  {
    size_t q = p;
    const auto digits = read_id(rest, &q);
    if ( !digits )
      return false;
    if ( q < rest.size() && rest[q] == '>' )
    {
      closes = true;
      group_id = *digits;
      p = q + 1;
    }
  }
  *consumed = p;
  const bool radio = member.type == 'R';
  const int slot = (radio ? 0 : 1) + (member.lowercase ? 2 : 0);
  if ( form_->open_slots[slot] == -1 )
    form_->open_slots[slot] = member.column;
  else
    member.column = form_->open_slots[slot];
  int g = -1;
  for ( size_t i = 0; i < form_->groups.size(); ++i )
    if ( !form_->groups[i].closed && form_->groups[i].column == member.column )
      g = int(i);
  if ( g < 0 )
  {
    form_group_t group;
    group.column = member.column;
    group.first_line = index_;
    if ( radio )
      group.number = form_->field_counter++;
    form_->groups.push_back(group);
    g = int(form_->groups.size()) - 1;
  }
  form_group_t &group = form_->groups[size_t(g)];
  if ( group.members.empty() )
  {
    group.first_line = index_;
  }
  else if ( group.first_line == index_ )
  {
    group.horizontal = true;
  }
  if ( radio )
  {
    member.number = group.number;
    member.start = member.number == start_;
  }
  else
  {
    number_item(member, true);
  }
  member.group = g;
  const int width = member.width;
  group.members.emplace_back(index_, int(items().size()));
  items().push_back(member);
  if ( !advance(width) )
    return false;
  if ( closes )
  {
    const form_item_t &first = form_->lines[size_t(group.members[0].first)][size_t(group.members[0].second)];
    group.column = first.column;
    group.first_line = first.line;
    group.source_offset = first.source_offset;
    group.type = first.type;
    group.line_count = group.horizontal ? 1 : int(group.members.size());
    group.id = group_id;
    void *value = nullptr;
    if ( !args_.take(form_arg_kind::mask16, &value) )
      return false;
    group.value = static_cast<uint16_t *>(value);
    group.initial = group.value != nullptr ? *group.value : 0;
    group.closed = true;
    form_->open_slots[slot] = -1;
  }
  return true;
}

bool line_reader_t::read_field(size_t lt, size_t *next)
{
  // The first colon not written "\:", then the first '>' after it.
  size_t colon = std::string::npos;
  for ( size_t i = lt + 1; i < line_.size(); ++i )
  {
    if ( line_[i] == '\\' && i + 1 < line_.size() && line_[i + 1] == ':' )
    {
      ++i;
      continue;
    }
    if ( line_[i] == ':' )
    {
      colon = i;
      break;
    }
  }
  if ( colon == std::string::npos )
    return false;
  const size_t gt = line_.find('>', colon);
  if ( gt == std::string::npos )
    return false;
  std::string label;
  {
    size_t i = lt + 1;
    while ( i < colon && is_blank(line_[i]) )
      ++i;
    for ( ; i < colon; ++i )
    {
      if ( line_[i] == '\\' && i + 1 < colon && line_[i + 1] == ':' )
        continue;
      label += line_[i];
    }
  }
  size_t p = colon + 1;
  while ( p < gt && is_blank(line_[p]) )
    ++p;
  const char letter = line_[p];
  if ( letter == '\0' || std::strchr(field_letters, letter) == nullptr )
    return false;
  ++p;
  const auto id = read_id(line_, &p);
  if ( !id )
    return false;
  const QString label_text = QString::fromUtf8(label.c_str(), int(label.size()));
  const int label_width = visible_label_width(label);

  if ( std::strchr("CcRr", letter) != nullptr )
  {
    form_item_t member = make_item(char(std::toupper(letter)), lt);
    member.lowercase = std::islower(static_cast<unsigned char>(letter)) != 0;
    member.id = *id;
    member.text = label_text;
    member.width = label_width + 2;
    size_t consumed = 0;
    if ( !read_member(member, line_.substr(p), &consumed) )
      return false;
    *next = p + consumed;
    return true;
  }

  const std::vector<std::string> subfields = split_subfields(line_.substr(colon + 1, gt - colon - 1));
  const std::string width_field = subfields.size() > 1 ? subfields[1] : std::string();
  const std::string screen_field = subfields.size() > 2 ? subfields[2] : std::string();
  form_item_t field = make_item(letter, lt);
  field.id = *id;
  field.text = label_text;
  if ( std::strchr("BEKbkFf", letter) != nullptr )
  {
    const auto flags = checked_unsigned(width_field);
    if ( !flags )
      return false;
    field.flags = *flags;
    if ( letter == 'F' || letter == 'f' )
      field.max_length = 260;
  }
  else
  {
    const auto length = checked_atoi(width_field);
    if ( !length )
      return false;
    field.max_length = unsigned(std::max(*length, 0));
    if ( std::strchr("DHMNOYmn", letter) != nullptr )
    {
      size_t i = 0;
      while ( i < width_field.size() && is_blank(width_field[i]) )
        ++i;
      if ( i < width_field.size() && width_field[i] == '+' )
        field.flags = 1;
    }
  }
  const auto screen = checked_atoi(screen_field);
  if ( !screen || *screen < 0 || *screen > form_max_columns )
    return false;
  field.width = *screen;

  // Arguments, in the order the field takes them.
  const auto take = [&](form_arg_kind kind, void **out, size_t size = 0) { return args_.take(kind, out, size); };
  switch ( letter )
  {
    case 'A': case 'T':
      if ( !take(form_arg_kind::buffer, &field.arg, field.max_length) )
        return false;
      break;
    case 'X':
      if ( !take(form_arg_kind::buffer, &field.arg, form_text_buffer_size) )
        return false;
      break;
    case 'F': case 'f':
      if ( !take(form_arg_kind::buffer, &field.arg, form_path_size) )
        return false;
      break;
    case 'B': case 'k':
      if ( !take(form_arg_kind::button_handler, &field.arg) )
        return false;
      break;
    case 'b':
      if ( !take(form_arg_kind::string_list, &field.arg2)
        || !take(field.flags != 0 ? form_arg_kind::string : form_arg_kind::int32, &field.arg) )
        return false;
      break;
    case 'E':
      if ( !take(form_arg_kind::chooser, &field.arg2) || !take(form_arg_kind::selection, &field.arg) )
        return false;
      break;
    case 'e':
      if ( !take(form_arg_kind::type_record, &field.arg) )
        return false;
      break;
    case 't':
      if ( !take(form_arg_kind::text_record, &field.arg) )
        return false;
      break;
    case 'h':
      break;
    default:
      if ( !take(form_value_arg_kind(letter), &field.arg) )
        return false;
      break;
  }
  if ( field.width == 0 )
  {
    if ( letter == 'B' || letter == 'k' )
      field.width = label_width;
    else if ( letter == 'K' )
      field.width = 12;
    else if ( letter == 'E' )
    {
      field.width = chooser_width_ && field.arg2 != nullptr ? std::min(chooser_width_(field.arg2), form_max_columns) : 0;
      field.flags = 1;
    }
  }
  *next = gt + 1;
  if ( std::strchr("BEekt", letter) != nullptr )
  {
    number_item(field, true);
    const int width = field.width;
    items().push_back(std::move(field));
    return advance(width == 0 ? 1 : width);
  }
  form_item_t label_item = make_item(0, lt);
  label_item.text = label_text;
  label_item.width = label_width;
  number_item(label_item, false);
  field.column = int(column_ + label_width);
  number_item(field, true);
  const int width = field.width;
  items().push_back(std::move(label_item));
  items().push_back(std::move(field));
  return advance(int64_t(label_width) + (width == 0 ? 1 : width));
}

bool line_reader_t::read()
{
  std::string trimmed_line = line_;
  while ( !trimmed_line.empty() && is_blank(trimmed_line.back()) )
    trimmed_line.pop_back();
  const size_t first = trimmed_line.find_first_not_of(" \t");
  if ( first != std::string::npos && trimmed_line.compare(first, std::string::npos, "<->") == 0 )
  {
    items().push_back(make_item('-', first));
    return true;
  }
  size_t i = 0;
  while ( i < line_.size() )
  {
    const char c = line_[i];
    if ( c == ' ' || c == '\t' )
    {
      if ( run_open_ )
        run_ += c;
      else if ( !advance(1) )
        return false;
      ++i;
    }
    else if ( c == '\\' )
    {
      if ( i + 1 >= line_.size() )
      {
        if ( !run_open_ )
          start_run(i);
        run_ += c;
        ++i;
      }
      else if ( !run_open_ )
      {
        if ( line_[i + 1] != ' ' )
        {
          start_run(i);
          run_ += line_[i + 1];
        }
        i += 2;
      }
      else
      {
        run_ += c;
        run_ += line_[i + 1];
        i += 2;
      }
    }
    else if ( c == '|' )
    {
      if ( !end_run() || !advance(1) )
        return false;
      ++i;
    }
    else if ( c == '%' && i + 1 < line_.size() && line_[i + 1] == '%' )
    {
      if ( !end_run() )
        return false;
      start_run(i + 1);
      run_ += '%';
      i += 2;
    }
    else if ( c == '%' && i + 1 < line_.size() && line_[i + 1] == '/' )
    {
      if ( !end_run() )
        return false;
      ++skipped_;
      i += 2;
    }
    else if ( c == '%' && [&] {
                size_t p = i + 1;
                while ( p < line_.size() && std::isdigit(static_cast<unsigned char>(line_[p])) )
                  ++p;
                return p < line_.size() && (line_[p] == '*' || (line_[p] != '\0' && std::strchr(field_letters, line_[p]) != nullptr));
              }() )
    {
      if ( !end_run() )
        return false;
      size_t p = i + 1;
      while ( std::isdigit(static_cast<unsigned char>(line_[p])) )
        ++p;
      if ( line_[p] == '*' )
      {
        void *data = nullptr;
        if ( !args_.take(form_arg_kind::caller_data, &data) )
          return false;
        form_item_t item = make_item('*', i);
        item.arg = data;
        form_->caller_data = data;
        items().push_back(std::move(item));
        ++skipped_;
        i = p + 1;
      }
      else if ( !read_dynamic_label(i, &i) )
      {
        return false;
      }
    }
    else if ( c == '<' )
    {
      if ( !end_run() )
        return false;
      if ( line_.compare(i, 3, "<|>") == 0 )
      {
        items().push_back(make_item('|', i));
        i += 3;
      }
      else if ( line_.compare(i, 2, "<=") == 0 )
      {
        if ( !items().empty() || i + 2 >= line_.size() || line_[i + 2] != ':' )
          return false;
        const size_t gt = line_.find('>', i + 3);
        if ( gt == std::string::npos )
          return false;
        form_item_t item = make_item('=', i);
        item.text = QString::fromUtf8(line_.c_str() + i + 3, int(gt - i - 3));
        size_t p = gt + 1;
        size_t q = p;
        const auto id = read_id(line_, &q);
        if ( !id )
          return false;
        if ( q > p && q < line_.size() && line_[q] == '>' )
        {
          item.id = *id;
          p = q + 1;
        }
        items().push_back(std::move(item));
        i = p;
      }
      else if ( line_.compare(i, 2, "<-") == 0 )
      {
        return false;
      }
      else if ( !read_field(i, &i) )
      {
        return false;
      }
    }
    else
    {
      if ( !run_open_ )
        start_run(i);
      run_ += c;
      ++i;
    }
  }
  return end_run();
}

// Grid columns of items and groups from the boundaries.
void assign_grid_columns(form_layout_t *form)
{
  for ( const auto &line : form->lines )
    for ( const form_item_t &item : line )
      if ( item.type != 'C' && item.type != 'R' )
      {
        form->boundaries.insert(item.column);
        if ( item.width > 0 )
          form->boundaries.insert(item.column + item.width);
      }
  auto &groups = form->groups;
  for ( size_t a = 0; a < groups.size(); ++a )
    for ( size_t b = a + 1; b < groups.size(); ++b )
    {
      const form_group_t &early = groups[a];
      form_group_t &late = groups[b];
      const bool lines_meet = late.first_line < early.first_line + std::max(early.line_count, 1)
                           && early.first_line < late.first_line + std::max(late.line_count, 1);
      if ( late.column < early.column + early.width && lines_meet )
        late.column = std::min(early.column + early.width + 1, 2 * form_max_columns);
    }
  for ( const form_group_t &group : groups )
  {
    form->boundaries.insert(group.column);
    if ( group.width > 0 )
      form->boundaries.insert(group.column + group.width);
  }
  form->sorted_boundaries.assign(form->boundaries.begin(), form->boundaries.end());
  const auto &b = form->sorted_boundaries;
  const int last = int(b.size()) - 1;
  const auto place = [&](int column, int width, int *grid_column, int *span) {
    const auto at = std::lower_bound(b.begin(), b.end(), column);
    if ( at == b.end() || *at != column )
    {
      *grid_column = 0;
      *span = 0;
      return;
    }
    *grid_column = int(at - b.begin());
    const auto end = std::lower_bound(at + 1, b.end(), column + width);
    *span = 1 + int(end - (at + 1));
  };
  for ( auto &line : form->lines )
    for ( form_item_t &item : line )
    {
      if ( item.type == 'C' || item.type == 'R' )
      {
        item.grid_column = 0;
        item.column_span = 0;
        continue;
      }
      place(item.column, item.width, &item.grid_column, &item.column_span);
      if ( item.width == 0 && (item.type == 'E' || item.type == 'e' || item.type == 't') )
        item.column_span = std::max(1, last - item.grid_column);
    }
  for ( form_group_t &group : groups )
    place(group.column, group.width, &group.grid_column, &group.column_span);
}

} // namespace

std::string label_text_after_hint(const std::string &label, bool skip_blanks)
{
  const size_t hash = label.rfind('#');
  size_t start = hash == std::string::npos ? 0 : hash + 1;
  if ( skip_blanks )
    while ( start < label.size() && is_blank(label[start]) )
      ++start;
  return label.substr(start);
}

std::string label_hint(const std::string &label)
{
  if ( label.empty() || label[0] != '#' )
    return {};
  const size_t end = label.find('#', 1);
  if ( end == std::string::npos )
    return {};
  return label.substr(1, end - 1);
}

int visible_label_width(const std::string &label)
{
  const std::string visible = label_text_after_hint(label, false);
  return int(std::count_if(visible.begin(), visible.end(), [](char c) { return c != '~'; }));
}

bool parse_form_header(const std::string &text, form_args_t &args, form_header_t *header)
{
  *header = form_header_t();
  // A text that is not UTF-8 is refused where it stops being UTF-8.
  for ( const char *cursor = text.c_str(); *cursor != '\0'; )
    if ( utf8_next_char(&cursor) == bad_code_point )
    {
      report_error_at(text, size_t(cursor - text.c_str()));
      return false;
    }
  size_t p = 0;
  if ( p < text.size() && text[p] == '$' )
    ++p;
  for ( ;; )
  {
    if ( starts_with_nocase(text, p, "STARTITEM ") )
    {
      const size_t eol = text.find('\n', p);
      if ( eol == std::string::npos )
      {
        report_error_at(text, p);
        return false;
      }
      const auto number = checked_atoi(text.substr(p + 10, eol - p - 10));
      if ( !number )
      {
        report_error_at(text, p);
        return false;
      }
      header->start_number = *number;
      p = eol + 1;
    }
    else if ( starts_with_nocase(text, p, "AUTOSYNC\n") )
    {
      header->autosync = true;
      p += 9;
    }
    else if ( starts_with_nocase(text, p, "BUTTON ") )
    {
      const size_t keyword = p;
      p += 7;
      while ( p < text.size() && is_blank(text[p]) )
        ++p;
      int which;
      if ( starts_with_nocase(text, p, "YES") )
      {
        which = form_button_yes;
        p += 3;
      }
      else if ( starts_with_nocase(text, p, "NO") )
      {
        which = form_button_no;
        p += 2;
      }
      else if ( starts_with_nocase(text, p, "CANCEL") )
      {
        which = form_button_cancel;
        p += 6;
      }
      else
      {
        report_error_at(text, keyword);
        return false;
      }
      if ( p < text.size() && text[p] == '*' )
      {
        header->default_button = which;
        ++p;
      }
      if ( p >= text.size() || (!is_blank(text[p]) && text[p] != '\n') )
      {
        report_error_at(text, keyword);
        return false;
      }
      while ( p < text.size() && (is_blank(text[p]) || text[p] == '\n') )
        ++p;
      size_t eol = text.find('\n', p);
      if ( eol == std::string::npos )
        eol = text.size();
      std::string label = text.substr(p, eol - p);
      while ( !label.empty() && is_blank(label.back()) )
        label.pop_back();
      if ( label == "NONE" )
        header->buttons[which].reset();
      else
        header->buttons[which] = label;
      p = eol < text.size() ? eol + 1 : eol;
    }
    else
    {
      break;
    }
  }
  if ( text.compare(p, 5, "HELP\n") == 0 )
  {
    const size_t end = text.find("\nENDHELP\n", p + 4);
    if ( end == std::string::npos )
    {
      report_error_at(text, p);
      return false;
    }
    std::string help = text.substr(p + 5, end + 1 - (p + 5));
    if ( help.compare(0, 2, "%s") == 0 )
    {
      void *argument = nullptr;
      if ( !args.take(form_arg_kind::help_text, &argument) )
      {
        report_error_at(text, p);
        return false;
      }
      help = argument != nullptr ? static_cast<const char *>(argument) : "";
    }
    header->help_text = help;
    header->help_id = 0xFFFE;
    p = end + 9;
  }
  std::string rest = text.substr(p);
  if ( !header->help_text )
  {
    header->help_id = extract_help_marker(rest.data());
    rest.resize(std::strlen(rest.c_str()));
  }
  if ( header->help_id != 0 )
    header->buttons[form_button_help] = std::string("Help");
  const size_t eol = rest.find('\n');
  if ( eol == std::string::npos )
  {
    report_error_at(text, p);
    return false;
  }
  header->title = rest.substr(0, eol);
  header->body = rest.substr(eol + 1);
  return true;
}

bool parse_form_line(form_layout_t *form, const std::string &line, int line_index, form_args_t &args, int start,
                     const form_chooser_width_t &chooser_width)
{
  if ( form->lines.size() <= size_t(line_index) )
    form->lines.resize(size_t(line_index) + 1);
  line_reader_t reader(form, line, line_index, args, start, chooser_width);
  return reader.read();
}

bool layout_form_lines(form_layout_t *form, const std::string &text, form_args_t &args, int start,
                       const form_text_measure_t &measure, const form_chooser_width_t &chooser_width)
{
  size_t b = 0;
  size_t e = text.size();
  while ( b < e && (text[b] == '\n' || text[b] == '\r') )
    ++b;
  while ( e > b && (text[e - 1] == '\n' || text[e - 1] == '\r') )
    --e;
  const std::string body = text.substr(b, e - b);
  if ( body.empty() )
  {
    warning_printf("form: error at %s", body.c_str());
    return false;
  }
  if ( body.find("%/") != std::string::npos )
  {
    void *callback = nullptr;
    if ( !args.take(form_arg_kind::callback, &callback) )
    {
      warning_printf("form: error at %s", body.c_str());
      return false;
    }
    form->callback = reinterpret_cast<form_callback_t>(callback);
  }
  // Line ends between a '<' and the next '>' stay inside the element.
  std::vector<std::string> lines(1);
  bool in_element = false;
  for ( const char c : body )
  {
    if ( c == '<' )
      in_element = true;
    else if ( c == '>' )
      in_element = false;
    if ( c == '\n' && !in_element )
      lines.emplace_back();
    else
      lines.back() += c;
  }
  form->lines.assign(lines.size(), {});
  for ( size_t i = 0; i < lines.size(); ++i )
    if ( !parse_form_line(form, lines[i], int(i), args, start, chooser_width) )
    {
      warning_printf("form: error at %s", body.c_str());
      return false;
    }

  // A group never closed has no value to edit: the form is refused.
  for ( const form_group_t &group : form->groups )
    if ( !group.closed )
    {
      warning_printf("form: error at %s", body.c_str());
      return false;
    }

  // Common indentation goes.
  int indent = INT_MAX;
  for ( const auto &line : form->lines )
    if ( !line.empty() )
      indent = std::min(indent, line.front().column);
  if ( indent != INT_MAX && indent > 0 )
  {
    for ( auto &line : form->lines )
      for ( form_item_t &item : line )
        item.column = std::max(0, item.column - indent);
    for ( form_group_t &group : form->groups )
      group.column = std::max(0, group.column - indent);
  }

  if ( measure )
  {
    for ( auto &line : form->lines )
      for ( form_item_t &item : line )
      {
        if ( item.type != 0 && item.type != 'C' && item.type != 'R' )
          continue;
        const QString visible = fitting_text(item.text.toStdString());
        if ( visible.isEmpty() )
          continue;
        const double exes = measure(QString(visible.size(), QLatin1Char('X')));
        if ( exes <= 0 )
          continue;
        const float fitted = std::ceil(float(item.width) * float(measure(visible)) / float(exes));
        item.width = std::min(item.width, int(fitted));
      }
  }

  for ( form_group_t &group : form->groups )
  {
    int width = 0;
    for ( const auto &[line, index] : group.members )
    {
      const int member = form->lines[size_t(line)][size_t(index)].width;
      width = group.horizontal ? width + member + 2 : std::max(width, member);
    }
    group.width = std::min(width + 4, form_max_columns);
  }
  assign_grid_columns(form);
  return true;
}

// The type editor, its margins and the type service hook.
#include "forms/text/type_editor.h"

#include "forms/text/type_editor_highlighter.h"

#include <QTextBlock>

#include <algorithm>
#include <climits>
#include <string_view>

namespace {

type_service_t empty_type_service;
type_service_t *installed_type_service = nullptr; // not owned

// The declaration as the service takes it: trailing white space removed, ending in ';'.
qstring declaration_text(const QString &plain)
{
  QByteArray utf8 = plain.toUtf8();
  int end = int(utf8.size());
  while ( end > 0 && (utf8[end - 1] == ' ' || (utf8[end - 1] >= '\t' && utf8[end - 1] <= '\r')) )
    --end;
  qstring text(utf8.constData(), size_t(end));
  if ( qstring_last_char(text) != ';' )
    text += ';';
  return text;
}

} // namespace

type_service_t &type_service()
{
  return installed_type_service != nullptr ? *installed_type_service : empty_type_service;
}

void set_type_service(type_service_t *service)
{
  installed_type_service = service;
}

int parse_line_marker(qstring *comment)
{
  const std::string_view text = comment->view();
  if ( text.size() < 2 || text[0] != '\x05' || text[1] < '0' || text[1] > '9' )
    return 0;
  size_t end = 1;
  int64_t line = 0;
  while ( end < text.size() && text[end] >= '0' && text[end] <= '9' )
  {
    line = std::min<int64_t>(line * 10 + (text[end] - '0'), int64_t(INT_MAX) + 1);
    ++end;
  }
  if ( end + 1 < text.size() && text[end] == '.' )
    end += 2;
  else if ( end + 1 == text.size() && text[end] == '.' )
    end += 1;
  *comment = qstring(text.substr(end));
  // A number too large for a line names none.
  return line <= INT_MAX ? int(line) : 0;
}

// ---- Margins ----------------------------------------------------------------------------------------------

type_editor_text_margin_t::type_editor_text_margin_t(type_editor_t *editor, const QString &name)
  : text_area_margin_widget_t(editor, name)
{
}

const type_editor_t &type_editor_text_margin_t::type_editor() const
{
  return *static_cast<const type_editor_t *>(editor());
}

QString type_editor_text_margin_t::block_text(int block) const
{
  const int64_t value = line_value(block);
  return value < 0 ? QString() : QString::asprintf("%04llX", static_cast<unsigned long long>(value / 8));
}

int64_t offsets_margin_t::line_value(int line) const
{
  const auto &lines = type_editor().line_table();
  return line >= 0 && size_t(line) < lines.size() ? lines[size_t(line)].offset : -1;
}

int64_t sizes_margin_t::line_value(int line) const
{
  const auto &lines = type_editor().line_table();
  return line >= 0 && size_t(line) < lines.size() ? lines[size_t(line)].size : -1;
}

// ---- The editor --------------------------------------------------------------------------------------------

type_editor_t::type_editor_t(QWidget *parent, uint64_t type_id, const char *name, const char *second,
                             const QString &text, uint32_t options)
  : text_area_t(parent, false), options_(options)
{
  // The record stays in use while the editor is built, also before its highlighter holds it.
  language_record_t &language = type_declaration_language();
  language.busy.fetch_add(1);
  set_indent_width(0);
  offsets_ = new offsets_margin_t(this);
  sizes_ = new sizes_margin_t(this);
  add_margin(offsets_);
  add_margin(sizes_);
  attach_highlighter(this, &language);
  set_type_reference(type_id, name, second);
  refresh_layout(&text);
  language.busy.fetch_sub(1);
}

type_editor_t::~type_editor_t() = default;

void type_editor_t::set_type_reference(uint64_t type_id, const char *name, const char *second)
{
  reference_.type_id = type_id;
  if ( type_id != 0 )
  {
    reference_.name = name != nullptr ? name : "";
    reference_.second = second != nullptr ? second : "";
  }
  else
  {
    reference_.name.clear();
    reference_.second.clear();
  }
}

bool type_editor_t::parse_declaration(type_reference_t *out, int flags, qvector<qstring> *messages)
{
  if ( (flags & 8) == 0 )
    flags |= 4;
  const qstring text = declaration_text(toPlainText());
  const bool parsed = type_service().parse_declaration(out, text.c_str(), flags);
  if ( !parsed && messages != nullptr )
    messages->push_back("Parse error");
  return parsed;
}

bool type_editor_t::lay_out(bool *is_struct)
{
  type_layout_t layout;
  if ( !type_service().layout_type(&layout, reference_) )
    return false;
  *is_struct = layout.is_struct;
  lines_.assign(size_t(blockCount()), line_entry_t {});
  if ( layout.is_struct )
  {
    for ( type_member_t &member : layout.members )
    {
      const int line = parse_line_marker(&member.comment);
      if ( line < 1 || size_t(line) > lines_.size() )
        continue;
      line_entry_t &entry = lines_[size_t(line) - 1];
      if ( entry.offset < 0 )
        entry.offset = int64_t(member.offset_bits);
      entry.size = std::max<int64_t>(entry.size, 0) + int64_t(member.size_bits);
    }
  }
  for ( QTextBlock block = document()->lastBlock(); block.isValid(); block = block.previous() )
  {
    if ( block.text().contains(QChar(';')) )
    {
      lines_[size_t(block.blockNumber())].size = int64_t(layout.size_bits);
      break;
    }
  }
  return true;
}

void type_editor_t::refresh_layout(const QString *text)
{
  if ( text != nullptr )
    setPlainText(*text);
  lines_.clear();
  bool is_struct = false;
  const bool laid_out = lay_out(&is_struct);
  for ( type_editor_text_margin_t *margin : findChildren<type_editor_text_margin_t *>() )
  {
    margin->set_show_header(laid_out && is_struct);
    margin->setVisible(laid_out);
    margin->update();
  }
  sync_viewport_margins();
}

void type_editor_t::changedText()
{
  text_area_t::changedText();
  type_reference_t parsed;
  const bool valid = parse_declaration(&parsed, 0x801, nullptr);
  if ( valid )
  {
    reference_.name = parsed.name;
    reference_.second = parsed.second;
    refresh_layout(nullptr);
  }
  emit validity_updated(valid);
}

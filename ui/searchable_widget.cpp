// Type-ahead and substring search over the rows of a list or tree widget.
#include "ui/searchable_widget.h"

#include "core/ui_callback.h"
#include "ui/app_base.h"

#include <QChar>
#include <QKeyEvent>
#include <QString>

#include <climits>
#include <cstring>
#include <memory>

ui_owned_object_t *ui_widget_factory_t::new_search_op_ctl(int32_t /*argument*/)
{
  return new ui_search_op_ctl_t;
}

namespace
{

const char search_form[] = "Enter the search substring\n\n <#The search is case-insensitive#String:q:1000:50::>\n\n";

// Releases a search control through the factory that made it.
struct search_ctl_release_t
{
  ui_widget_factory_t *factory;
  void operator()(ui_owned_object_t *ctl) const { factory->delete_owned_object(ctl); }
};
using search_ctl_t = std::unique_ptr<ui_owned_object_t, search_ctl_release_t>;

search_ctl_t new_search_ctl()
{
  app_t *app = current_app();
  ui_widget_factory_t *factory = app != nullptr ? app->get_widget_factory() : nullptr;
  if ( factory == nullptr )
    return search_ctl_t(nullptr, search_ctl_release_t {nullptr});
  return search_ctl_t(factory->new_search_op_ctl(0), search_ctl_release_t {factory});
}

// The first character of a key's text as UTF-8 (a surrogate pair as one character); empty when the text
// is empty or the character is not printable.
QByteArray printable_first_char(const QString &text)
{
  if ( text.isEmpty() )
    return {};
  const uint code = text.at(0).isHighSurrogate() && text.size() > 1 && text.at(1).isLowSurrogate()
                  ? QChar::surrogateToUcs4(text.at(0), text.at(1))
                  : text.at(0).unicode();
  if ( !QChar::isPrint(code) )
    return {};
  return QString::fromUcs4(&code, 1).toUtf8();
}

} // namespace

template <typename F>
bool searchable_widget_mixin_t::run_search(F &&search)
{
  const search_ctl_t ctl = new_search_ctl();
  struct busy_mark_t
  {
    int &busy;
    explicit busy_mark_t(int &b) : busy(b) { ++busy; }
    ~busy_mark_t() { --busy; }
  } mark(busy);
  return search();
}

bool searchable_widget_mixin_t::handle_search_key(QAbstractItemView *view, QKeyEvent *event)
{
  if ( !enabled )
    return false;
  const int key = event->key();
  const Qt::KeyboardModifiers mods = event->modifiers();
  if ( (mods & Qt::ControlModifier) != 0 && (key == Qt::Key_Return || key == Qt::Key_Enter) && typed_len > 0 )
  {
    type_ahead_search(view, (mods & Qt::ShiftModifier) != 0 ? search_repeat | search_backwards : search_repeat);
    event->accept();
    return true;
  }
  if ( mods != Qt::NoModifier && (mods & Qt::ShiftModifier) == 0 )
    return false;
  if ( typed_len == 0 && key >= Qt::Key_0 && key <= Qt::Key_9 )
  {
    // Saturates instead of overflowing on a very long number.
    const int digit = key - Qt::Key_0;
    row_number = row_number > (INT_MAX - digit) / 10 ? INT_MAX : row_number * 10 + digit;
    if ( row_number > 0 )
      jump_to_row(row_number - 1);
    event->accept();
    return true;
  }
  if ( key == Qt::Key_Backspace && typed_len > 0 )
  {
    // Back over the continuation bytes to the start of the last whole character.
    do
      --typed_len;
    while ( typed_len > 0 && (uint8_t(typed[typed_len]) & 0xC0) == 0x80 );
    typed[typed_len] = '\0';
    show_status_text(typed);
    event->accept();
    return true;
  }
  const QByteArray character = printable_first_char(event->text());
  if ( character.isEmpty() )
  {
    if ( mods == Qt::NoModifier )
    {
      typed_len = 0;
      row_number = 0;
      typed[0] = '\0';
    }
    return false;
  }
  // A character that does not fit whole is dropped; the key still counts as used.
  if ( size_t(typed_len) + size_t(character.size()) <= typed_room )
  {
    memcpy(typed + typed_len, character.constData(), size_t(character.size()));
    typed[size_t(typed_len) + size_t(character.size())] = '\0';
    type_ahead_search(view, search_new_char);
  }
  event->accept();
  return true;
}

void searchable_widget_mixin_t::type_ahead_search(QAbstractItemView *view, int32_t flags)
{
  // Without a new character the pending bytes after typed_len (a character that matched nothing) are
  // not part of the text.
  const size_t pending = (flags & search_new_char) != 0 ? strlen(typed + typed_len) : 0;
  const QByteArray text(typed, typed_len + int(pending));
  const bool found = run_search([&] { return find_match(view, text.constData(), flags); });
  if ( found && pending > 0 )
    typed_len += int(pending);
}

void searchable_widget_mixin_t::search_substring(QAbstractItemView *view)
{
  const qstring text = last_search;
  if ( !run_search([&] { return find_next_match(view, text.c_str()); }) )
    log_printf("String \"%s\" not found\n", text.c_str());
}

void searchable_widget_mixin_t::prompt_search(QAbstractItemView *view)
{
  if ( form_dialog_printf(search_form, &last_search) <= 0 || last_search.empty() )
    return;
  search_substring(view);
}

void searchable_widget_mixin_t::repeat_search(QAbstractItemView *view)
{
  if ( !last_search.empty() )
    search_substring(view);
}

int searchable_widget_mixin_t::jump_match_flags(int flags)
{
  return ((flags & search_repeat) != 0 ? 11 : 9) + ((flags & search_backwards) != 0 ? 4 : 0);
}

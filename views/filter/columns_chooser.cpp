// The "Columns" form of filtered views.
#include "views/filter/columns_chooser.h"

#include "core/ui_callback.h"

#include <QHeaderView>

#include <algorithm>
#include <array>

namespace
{

constexpr size_t max_groups = columns_chooser_max_columns / columns_chooser_group_size;
static_assert(max_groups == 8, "columns_chooser_dialog passes eight group values");

// The number of columns offered from `first` on.
size_t offered_columns(const std::vector<qstring> &titles, size_t first)
{
  return first < titles.size() ? std::min(titles.size() - first, columns_chooser_max_columns) : 0;
}

} // namespace

qstring columns_chooser_form(const std::vector<qstring> &titles, size_t first)
{
  const size_t count = offered_columns(titles, first);
  qstring form("Columns");
  for ( size_t i = 0; i < count; ++i )
  {
    form += "\n<";
    for ( const char c : titles[first + i].view() )
      form += c == ':' || c == '<' || c == '>' ? ' ' : c;
    form += ":C>";
    // A group closes with a '>' right after its last member's; one at the start of the next line would be text.
    if ( (i + 1) % columns_chooser_group_size == 0 || i + 1 == count )
      form += ">";
  }
  return form;
}

bool columns_chooser_dialog(QHeaderView *header, const std::vector<qstring> &titles, size_t first)
{
  const size_t count = offered_columns(titles, first);
  std::array<uint16_t, max_groups> groups {};
  for ( size_t i = 0; i < count; ++i )
    if ( !header->isSectionHidden(int(first + i)) )
      groups[i / columns_chooser_group_size] |= uint16_t(1u << (i % columns_chooser_group_size));
  const qstring form = columns_chooser_form(titles, first);
  // The form takes one value per group it holds; the rest of the arguments are not read.
  if ( form_dialog_printf(form.c_str(), &groups[0], &groups[1], &groups[2], &groups[3], &groups[4], &groups[5],
                          &groups[6], &groups[7]) <= 0 )
    return false;
  for ( size_t i = 0; i < count; ++i )
  {
    const bool shown = (groups[i / columns_chooser_group_size] >> (i % columns_chooser_group_size) & 1) != 0;
    const int column = int(first + i);
    if ( shown == header->isSectionHidden(column) )
      header->setSectionHidden(column, !shown);
  }
  return true;
}

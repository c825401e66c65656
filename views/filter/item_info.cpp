// One cached row of a filtered view.
#include "views/filter/item_info.h"

void item_info_t::set_text(size_t column, std::string_view text)
{
  texts.set(column, text);
  if ( column < sort_keys.size() )
    sort_keys[column] = sort_key_t();
}

// One cached row of a filtered view.
#include "views/filter/item_info.h"

#include "views/filter/letter_set.h"

void item_info_t::set_text(size_t column, std::string_view text)
{
  texts[column].assign(text.data(), text.size());
  letter_sets[column] = letter_set(text);
  if ( column < sort_keys.size() )
    sort_keys[column] = sort_key_t();
}

void item_info_t::refresh_letter_sets()
{
  letter_sets.resize(texts.size());
  sort_keys.clear();
  for ( size_t i = 0; i < texts.size(); ++i )
    letter_sets[i] = letter_set(texts[i].view());
}

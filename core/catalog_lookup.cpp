// Catalogue lookups. The message-catalogue loader provides the real body; until it exists no
// catalogue is ever loaded, so every lookup answers "no text".
#include "core/catalog_lookup.h"

#include "core/internal_error.h"

const char *catalog_lookup(int section, int id)
{
  if ( id < 0 )
    interr(540);
  (void)section;
  return nullptr;
}

const char *catalog_message(int id)
{
  return catalog_lookup(0, id);
}

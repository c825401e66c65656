// Lookups in the loaded message catalogue.
#pragma once

// The text stored for id in section `section` of the loaded catalogue, or null when the section or
// id is out of range, the id has no text, or no catalogue is loaded. A negative id is internal
// error 540.
const char *catalog_lookup(int section, int id);
// catalog_lookup in section 0: the core's error texts and messages, used as printf formats.
const char *catalog_message(int id);

// The model linked into the program rather than loaded: its exports by name.
#ifndef TDS_WEB_LINKED_H
#define TDS_WEB_LINKED_H

#include <cstddef>

namespace tds {

// The address of the model function with this export name, or null.
void* linked_export(const char* name);
// How many exports the table holds (the library's 2010).
std::size_t linked_export_count();

}  // namespace tds

#endif  // TDS_WEB_LINKED_H

// The model store: one statically allocated object per model variable and
// per signal parameter slot, named by its qualified name. Private to the
// library; the host reaches the values only through the exported accessors,
// while IniModel and the node code use these objects directly.
#ifndef TARVELLODEMOSITE_STORE_H
#define TARVELLODEMOSITE_STORE_H

#include "TarvelloDemoSite.h"

namespace tds::store {

#define TDS_DECLARE_STORAGE(kind, name) extern TDS_TYPE(kind) name;
TDS_VARIABLES(TDS_DECLARE_STORAGE)
TDS_SLOTS(TDS_DECLARE_STORAGE)
#undef TDS_DECLARE_STORAGE

}  // namespace tds::store

#endif  // TARVELLODEMOSITE_STORE_H

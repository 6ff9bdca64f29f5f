// Storage objects and their accessor pairs, expanded from the catalogue.
#include "store.h"

namespace tds::store {

// constinit: every object is zero from the moment the module is mapped; no
// code runs at load to initialise the store.
#define TDS_DEFINE_STORAGE(kind, name) constinit TDS_TYPE(kind) name{};
TDS_VARIABLES(TDS_DEFINE_STORAGE)
TDS_SLOTS(TDS_DEFINE_STORAGE)
#undef TDS_DEFINE_STORAGE

}  // namespace tds::store

extern "C" {

// A getter reads its own object; a setter writes it once and answers with
// what the object now holds. Nothing is converted, validated or copied: a
// double keeps its bit pattern (NaN payloads, -0.0) and a text keeps its address.
#define TDS_DEFINE_ACCESSORS(kind, name)                              \
  TDS_API TDS_TYPE(kind) Get##name(void) { return tds::store::name; } \
  TDS_API TDS_TYPE(kind) Set##name(TDS_TYPE(kind) value) {            \
    tds::store::name = value;                                         \
    return tds::store::name;                                          \
  }
TDS_VARIABLES(TDS_DEFINE_ACCESSORS)
TDS_SLOTS(TDS_DEFINE_ACCESSORS)
#undef TDS_DEFINE_ACCESSORS

}  // extern "C"

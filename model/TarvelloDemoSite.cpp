// Model identity and initialisation.
#include "store.h"

namespace {

// The model name, also the stem of the module file name.
constexpr char kModelName[] = "TarvelloDemoSite";

// The constant texts that IniModel points text variables at. Each is one
// object, so variables initialised to the same text share its address.
#define TDS_DEFINE_CONSTANT_TEXT(constant, text) constexpr char constant[] = text;
TDS_CONSTANT_TEXTS(TDS_DEFINE_CONSTANT_TEXT)
#undef TDS_DEFINE_CONSTANT_TEXT

}  // namespace

extern "C" {

TDS_API const char* IniModel(void) {
  using namespace tds::store;
#define TDS_ASSIGN_INITIAL_VALUE(name, value) name = value;
  TDS_INITIAL_VALUES(TDS_ASSIGN_INITIAL_VALUE)
#undef TDS_ASSIGN_INITIAL_VALUE
  return kModelName;
}

TDS_API const char* GetModelName(void) { return kModelName; }

}  // extern "C"

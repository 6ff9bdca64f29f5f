// The model's functions as the page's build links them in: a table of every
// export by name, expanded from the catalogue, for the run engine to bind as
// it binds a loaded module's exports.
#include "linked.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "TarvelloDemoSite.h"

namespace tds {

namespace {

struct Entry {
  const char* name;
  void* address;
};

#define TDS_FUNCTION_ENTRY(function) {#function, reinterpret_cast<void*>(&(function))},
#define TDS_ACCESSOR_ENTRIES(kind, name)              \
  {"Get" #name, reinterpret_cast<void*>(&Get##name)}, \
      {"Set" #name, reinterpret_cast<void*>(&Set##name)},

const Entry kExports[] = {TDS_FUNCTION_ENTRY(IniModel) TDS_FUNCTION_ENTRY(GetModelName)
                              TDS_FUNCTION_ENTRY(GetModelDecision) TDS_FUNCTION_ENTRY(GetModelTask)
                                  TDS_VARIABLES(TDS_ACCESSOR_ENTRIES)
                                      TDS_SLOTS(TDS_ACCESSOR_ENTRIES)};

#undef TDS_FUNCTION_ENTRY
#undef TDS_ACCESSOR_ENTRIES

}  // namespace

std::size_t linked_export_count() { return std::size(kExports); }

void* linked_export(const char* name) {
  // Sorted by name once, for a binary search per name.
  static const std::vector<Entry> sorted = [] {
    std::vector<Entry> entries(std::begin(kExports), std::end(kExports));
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return std::strcmp(a.name, b.name) < 0; });
    return entries;
  }();
  const auto it =
      std::lower_bound(sorted.begin(), sorted.end(), name,
                       [](const Entry& e, const char* n) { return std::strcmp(e.name, n) < 0; });
  return it != sorted.end() && std::strcmp(it->name, name) == 0 ? it->address : nullptr;
}

}  // namespace tds

#include "method.h"

#include <type_traits>

namespace tds::study {

const char* method_name(const Method& m) {
  return std::visit([](const auto& o) { return std::decay_t<decltype(o)>::kName; }, m);
}

bool one_batch(const Method& m) {
  return std::visit([](const auto& o) { return std::decay_t<decltype(o)>::kOneBatch; }, m);
}

namespace {

template <class... M>
std::vector<std::string> tables_of(const std::variant<M...>* /*methods*/) {
  std::vector<std::string> names;
  (names.insert(names.end(), M::kTables.begin(), M::kTables.end()), ...);
  return names;
}

}  // namespace

std::vector<std::string> method_tables() { return tables_of(static_cast<const Method*>(nullptr)); }

}  // namespace tds::study

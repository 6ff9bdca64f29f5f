#include "method.h"

#include <type_traits>

namespace tds::study {

const char* method_name(const Method& m) {
  return std::visit([](const auto& o) { return std::decay_t<decltype(o)>::kName; }, m);
}

bool one_batch(const Method& m) {
  return std::visit([](const auto& o) { return std::decay_t<decltype(o)>::kOneBatch; }, m);
}

}  // namespace tds::study

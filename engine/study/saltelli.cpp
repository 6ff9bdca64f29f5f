#include "saltelli.h"
namespace tds::study {
std::vector<std::vector<double>> saltelli_design(std::size_t, std::size_t, bool, bool,
                                                 std::uint64_t) {
  return {};
}
SobolIndices sobol_indices(const std::vector<double>&, std::size_t, std::size_t, bool, std::size_t,
                           double, std::uint64_t) {
  return {};
}
}  // namespace tds::study

#include "morris.h"
namespace tds::study {
std::vector<std::vector<double>> morris_design(std::size_t, std::size_t, std::size_t,
                                               std::uint64_t) {
  return {};
}
std::vector<std::vector<MorrisEffect>> morris_effects(const std::vector<std::vector<double>>&,
                                                      const std::vector<std::vector<double>>&,
                                                      std::size_t) {
  return {};
}
}  // namespace tds::study

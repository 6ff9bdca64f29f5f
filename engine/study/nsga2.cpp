#include "nsga2.h"
namespace tds::study {
Nsga2::Nsga2(std::size_t k, std::size_t objectives, Nsga2Options o)
    : k_(k), m_(objectives), options_(o), random_(o.seed) {}
const std::vector<std::vector<double>>& Nsga2::ask() { return offspring_; }
void Nsga2::tell(const std::vector<std::vector<double>>&, const std::vector<double>&) { ++told_; }
bool Nsga2::done() const { return told_ > options_.generations; }
std::vector<std::size_t> Nsga2::front() const { return {}; }
}  // namespace tds::study

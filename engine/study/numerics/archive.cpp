#include "archive.h"

#include <cmath>
#include <stdexcept>
#include <utility>

namespace tds::study {

namespace {

// -1: box a dominates box b, 1: b dominates a, 0: equal boxes, 2: neither.
int compare_boxes(const std::vector<double>& a, const std::vector<double>& b) {
  bool a_better = false, b_better = false;
  for (std::size_t j = 0; j < a.size(); ++j) {
    a_better = a_better || a[j] < b[j];
    b_better = b_better || b[j] < a[j];
  }
  if (a_better && b_better) return 2;
  return a_better ? -1 : b_better ? 1 : 0;
}

}  // namespace

ParetoArchive::ParetoArchive(std::vector<double> epsilons) : epsilons_(std::move(epsilons)) {
  for (const double e : epsilons_)
    if (!(e > 0) || !std::isfinite(e))
      throw std::invalid_argument("Pareto archive: an epsilon is not above 0");
}

bool ParetoArchive::offer(const std::vector<double>& objectives, std::size_t id) {
  const std::size_t m = objectives.size();
  if ((!epsilons_.empty() && m != epsilons_.size()) ||
      (!members_.empty() && m != members_[0].objectives.size()))
    throw std::invalid_argument("Pareto archive: a point with another number of objectives");
  for (const double f : objectives)
    if (!std::isfinite(f)) return false;
  std::vector<double> box = objectives;
  if (!epsilons_.empty())
    for (std::size_t j = 0; j < m; ++j) box[j] = std::floor(objectives[j] / epsilons_[j]);
  // The scaled distance of a point from its box's best corner: of two
  // points in one box, neither dominating, the nearer is kept (Laumanns et
  // al. 2002), the earlier on a tie.
  const auto corner_distance = [&](const std::vector<double>& f, const std::vector<double>& b) {
    double sum = 0;
    for (std::size_t j = 0; j < m; ++j) {
      const double d = epsilons_.empty() ? 0.0 : f[j] / epsilons_[j] - b[j];
      sum += d * d;
    }
    return sum;
  };
  for (std::size_t i = 0; i < members_.size(); ++i) {
    const Member& a = members_[i];
    const int c = compare_boxes(a.box, box);
    if (c < 0) return false;
    if (c != 0) continue;
    // The same box (without thinning, the same objectives): the archive
    // holds one point per box and no box dominates another, so no other
    // member is affected.
    bool a_better = false, f_better = false;
    for (std::size_t j = 0; j < m; ++j) {
      a_better = a_better || a.objectives[j] < objectives[j];
      f_better = f_better || objectives[j] < a.objectives[j];
    }
    const bool replace = (f_better && !a_better) ||
                         (f_better && a_better &&
                          corner_distance(objectives, box) < corner_distance(a.objectives, a.box));
    if (!replace) return false;
    members_.erase(members_.begin() + static_cast<std::ptrdiff_t>(i));
    members_.push_back({objectives, std::move(box), id});
    return true;
  }
  std::erase_if(members_, [&](const Member& a) { return compare_boxes(box, a.box) < 0; });
  members_.push_back({objectives, std::move(box), id});
  return true;
}

}  // namespace tds::study

// The non-dominated designs of a whole search, in the order they were
// evaluated, optionally thinned by epsilon-box dominance (Laumanns, M.,
// Thiele, L., Deb, K. & Zitzler, E. (2002), "Combining convergence and
// diversity in evolutionary multiobjective optimization", Evolutionary
// Computation 10(3)): the objective space is cut into boxes of size epsilon
// per objective, at most one point is kept per box, and a point whose box
// another's box dominates is not kept. The archive then holds no point that
// another's box dominates, and every point offered is within epsilon of a
// member in each objective (a member's values less epsilon are no worse).
#pragma once

#include <cstddef>
#include <vector>

namespace tds::study {

class ParetoArchive {
 public:
  struct Member {
    std::vector<double> objectives;
    std::vector<double> box;  // per objective floor(f / epsilon), or f without thinning
    std::size_t id;
  };

  // Without epsilons the archive keeps every non-dominated point (a repeated
  // one once, its first); else one epsilon (> 0) per objective. Throws
  // std::invalid_argument for an epsilon that is not above 0 or finite.
  explicit ParetoArchive(std::vector<double> epsilons = {});

  // Offers a point's objectives (minimised) under an identifier; a point
  // with a NaN or infinite objective is refused. Returns whether it entered.
  // Throws std::invalid_argument when the number of objectives differs from
  // the epsilons' or from the earlier points'.
  bool offer(const std::vector<double>& objectives, std::size_t id);

  // The members in the order they entered.
  const std::vector<Member>& members() const { return members_; }

 private:
  std::vector<double> epsilons_;
  std::vector<Member> members_;
};

}  // namespace tds::study

// What a study runs its points through: the model's evaluator in the front
// end, or an analytic function in the tests. Points are unit coordinates in
// [0,1]^k; the evaluator maps them to factor values.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace tds::study {

struct Evaluation {
  bool ok = true;
  std::string reason;           // why the case failed, when !ok
  std::vector<double> outputs;  // one per output, when ok
};

class Evaluator {
 public:
  virtual ~Evaluator() = default;
  virtual std::size_t outputs() const = 0;
  // Evaluates every point and calls done(index, result) in index order.
  virtual void evaluate(const std::vector<std::vector<double>>& points,
                        const std::function<void(std::size_t, Evaluation&&)>& done) = 0;
};

}  // namespace tds::study

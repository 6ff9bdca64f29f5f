// Analytic test functions with known sensitivity indices, evaluated through
// the study's Evaluator interface in place of the model.
#pragma once

#include <cmath>
#include <functional>
#include <numbers>
#include <utility>
#include <vector>

#include "evaluate.h"
#include "nsga2.h"

namespace tds::study::test {

// Evaluates a function of the unit coordinates point by point.
class FunctionEvaluator : public Evaluator {
 public:
  using Function = std::function<std::vector<double>(const std::vector<double>&)>;
  FunctionEvaluator(std::size_t outputs, Function f) : outputs_(outputs), f_(std::move(f)) {}
  std::size_t outputs() const override { return outputs_; }
  void evaluate(const std::vector<std::vector<double>>& points,
                const std::function<void(std::size_t, Evaluation&&)>& done) override {
    for (std::size_t i = 0; i < points.size(); ++i) {
      done(i, Evaluation{true, {}, f_(points[i])});
    }
  }

 private:
  std::size_t outputs_;
  Function f_;
};

// Every point's outputs, in order.
inline std::vector<std::vector<double>> evaluate_all(
    Evaluator& evaluator, const std::vector<std::vector<double>>& points) {
  std::vector<std::vector<double>> outputs(points.size());
  evaluator.evaluate(points,
                     [&](std::size_t i, Evaluation&& e) { outputs[i] = std::move(e.outputs); });
  return outputs;
}

// Runs an NSGA-II search to its end; f gives a point's objectives and its
// constraint violation.
inline void run_to_end(
    Nsga2& search,
    const std::function<std::pair<std::vector<double>, double>(const std::vector<double>&)>& f) {
  while (!search.done()) {
    std::vector<std::vector<double>> objectives;
    std::vector<double> violations;
    for (const auto& x : search.ask()) {
      auto [values, violation] = f(x);
      objectives.push_back(std::move(values));
      violations.push_back(violation);
    }
    search.tell(objectives, violations);
  }
}

// Ishigami & Homma (1990), a = 7, b = 0.1, inputs uniform on [-pi, pi].
inline double ishigami(const std::vector<double>& u) {
  const double pi = std::numbers::pi;
  const double x1 = -pi + 2 * pi * u[0], x2 = -pi + 2 * pi * u[1], x3 = -pi + 2 * pi * u[2];
  return std::sin(x1) + 7 * std::sin(x2) * std::sin(x2) + 0.1 * x3 * x3 * x3 * x3 * std::sin(x1);
}

// Sobol's g-function: prod (|4u - 2| + a_i) / (1 + a_i).
inline double g_function(const std::vector<double>& u, const std::vector<double>& a) {
  double g = 1;
  for (std::size_t i = 0; i < a.size(); ++i) {
    g *= (std::fabs(4 * u[i] - 2) + a[i]) / (1 + a[i]);
  }
  return g;
}

// Its exact indices: V_i = 1 / (3 (1 + a_i)^2), V = prod (1 + V_i) - 1.
inline std::pair<std::vector<double>, std::vector<double>> g_function_indices(
    const std::vector<double>& a) {
  std::vector<double> v;
  double product = 1;
  for (const double ai : a) {
    v.push_back(1 / (3 * (1 + ai) * (1 + ai)));
    product *= 1 + v.back();
  }
  std::vector<double> first, total;
  for (const double vi : v) {
    first.push_back(vi / (product - 1));
    total.push_back(vi * product / (1 + vi) / (product - 1));
  }
  return {first, total};
}

}  // namespace tds::study::test

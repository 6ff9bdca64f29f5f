#include "model_evaluator.h"

namespace tds::study {

ModelEvaluator::ModelEvaluator(const Model& model, const Plan& plan, const Scenario& scenario,
                               const Study& study, BatchOptions options)
    : cases_(model.description(), plan, study) {
  cases_.configure(options);
  session_ = std::make_unique<BatchSession>(model, plan, scenario, std::move(options));
}

void ModelEvaluator::evaluate(const std::vector<std::vector<double>>& points,
                              const std::function<void(std::size_t, Evaluation&&)>& done) {
  std::vector<BatchCase> cases;
  cases.reserve(points.size());
  for (const std::vector<double>& point : points) cases.push_back(cases_.case_at(point));
  session_->run(cases, [&](std::size_t index, CaseOutcome&& outcome) {
    done(index, cases_.evaluation(outcome));
  });
}

}  // namespace tds::study

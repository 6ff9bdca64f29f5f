// The model as a study's evaluator: each unit point becomes a case of the
// batch engine (the study's fixed values and scales, then each factor's value
// at its coordinate), and each case's outcome the figure columns and the
// study's outputs. A case that fails or crashes is reported as a failed
// evaluation with its reason; the study goes on.
#ifndef TDS_ENGINE_STUDY_MODEL_EVALUATOR_H
#define TDS_ENGINE_STUDY_MODEL_EVALUATOR_H

#include <memory>
#include <string>
#include <vector>

#include "batch.h"
#include "evaluate.h"
#include "spec.h"

namespace tds::study {

class ModelEvaluator : public Evaluator {
 public:
  // `options` carries the jobs, isolation, snapshot and progress; its run
  // options' overrides and reductions are the study's. Every evaluate() runs
  // on the same workers, which end with the evaluator.
  ModelEvaluator(const Model& model, const Plan& plan, const Scenario& scenario, const Study& study,
                 BatchOptions options);
  // The figure columns, then the study's outputs.
  std::size_t outputs() const override { return figures_.size() + study_->outputs.size(); }
  const std::vector<std::string>& figures() const { return figures_; }
  // The batch options that every case runs with (what a worker serves).
  const BatchOptions& batch_options() const { return options_; }
  void evaluate(const std::vector<std::vector<double>>& points,
                const std::function<void(std::size_t, Evaluation&&)>& done) override;

 private:
  const Model* model_;
  const Study* study_;
  BatchOptions options_;
  std::vector<std::string> figures_;
  std::vector<std::size_t> reduction_of_;  // per output: its index in the reductions
  std::unique_ptr<BatchSession> session_;  // runs every batch with options_
};

}  // namespace tds::study

#endif  // TDS_ENGINE_STUDY_MODEL_EVALUATOR_H

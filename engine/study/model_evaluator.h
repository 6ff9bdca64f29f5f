// The model as a study's evaluator: the points of each batch become cases of
// the batch engine (see ModelCases), run on the workers of one batch session
// that lasts as long as the evaluator, and their outcomes the study's
// evaluations. A case that fails or crashes is reported as a failed
// evaluation with its reason; the study goes on.
#ifndef TDS_ENGINE_STUDY_MODEL_EVALUATOR_H
#define TDS_ENGINE_STUDY_MODEL_EVALUATOR_H

#include <memory>
#include <string>
#include <vector>

#include "batch.h"
#include "evaluate.h"
#include "model_cases.h"
#include "study_file.h"

namespace tds::study {

class ModelEvaluator : public Evaluator {
 public:
  // `options` carries the jobs, isolation, snapshot and progress; its run
  // options' overrides and reductions are the study's.
  ModelEvaluator(const Model& model, const Plan& plan, const Scenario& scenario, const Study& study,
                 BatchOptions options);
  // The figure columns, then the study's outputs.
  std::size_t outputs() const override { return cases_.outputs(); }
  const std::vector<std::string>& figures() const { return cases_.figures(); }
  void evaluate(const std::vector<std::vector<double>>& points,
                const std::function<void(std::size_t, Evaluation&&)>& done) override;

 private:
  ModelCases cases_;
  std::unique_ptr<BatchSession> session_;  // runs every batch with the study's options
};

}  // namespace tds::study

#endif  // TDS_ENGINE_STUDY_MODEL_EVALUATOR_H

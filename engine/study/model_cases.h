// The model's side of a study, shared by every front end that runs one: the
// batch options its cases run with (the study's days, fixed values and
// reductions), each unit point as a case of the batch engine (the study's
// fixed scales, then each factor's value at its coordinate), and each case's
// outcome as an evaluation (the figure columns, then the study's outputs; a
// case that failed or crashed is a failed evaluation with its reason).
#ifndef TDS_ENGINE_STUDY_MODEL_CASES_H
#define TDS_ENGINE_STUDY_MODEL_CASES_H

#include <cstddef>
#include <string>
#include <vector>

#include "case.h"
#include "evaluate.h"
#include "study_file.h"

namespace tds::study {

class ModelCases {
 public:
  // Keeps references to the description and the study.
  ModelCases(const Description& d, const Plan& plan, const Study& study);
  // The figure columns (figure_columns of the plan), then the study's outputs.
  std::size_t outputs() const { return figures_.size() + study_->outputs.size(); }
  const std::vector<std::string>& figures() const { return figures_; }
  // Sets what every case of the study runs with: its days, its fixed values,
  // its reductions, no daily rows and no CSV.
  void configure(BatchOptions& options) const;
  BatchCase case_at(const std::vector<double>& point) const;
  Evaluation evaluation(const CaseOutcome& outcome) const;

 private:
  const Description* description_;
  const Study* study_;
  std::vector<std::string> figures_;
  std::vector<Reduction> reductions_;
  std::vector<std::size_t> reduction_of_;  // per output: its index in the reductions
};

}  // namespace tds::study

#endif  // TDS_ENGINE_STUDY_MODEL_CASES_H

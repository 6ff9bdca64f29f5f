#include "python_study.h"

#include <filesystem>
#include <utility>

#include "input.h"
#include "method.h"
#include "model_cases.h"

namespace tds::python {

study::Study read_study(const Site& site, std::string_view text, const std::string& source,
                        const std::optional<std::string>& base, StudyTexts& files) {
  // The reader is called only while the study is read; what it reads stays
  // in `files`, the caller's.
  const study::StudyFileReader read = [&base, &files](const std::string& name) -> std::string {
    if (const auto it = files.find(name); it != files.end()) return it->second;
    if (!base) throw InputError(quote_input(name) + " was not sent with the study");
    std::string text = read_text_file((std::filesystem::path(*base) / name).string(), "file");
    files.emplace(name, text);
    return text;
  };
  return study::parse_study(text, source, site.description(), site.plan(), site.scenario(), read);
}

SteppedStudy::SteppedStudy(const Site& site, std::string_view text, const std::string& source,
                           const std::optional<std::string>& base, StudyTexts files)
    : site_(&site),
      files_(std::move(files)),
      study_(read_study(site, text, source, base, files_)),
      figures_(study::ModelCases(site.description(), site.plan(), study_).figures()),
      run_(std::make_unique<study::StudyRun>(study_, figures_.size())) {}

SteppedStudy::~SteppedStudy() = default;

const char* SteppedStudy::method() const { return study::method_name(study_.method); }

std::size_t SteppedStudy::total() const { return study::case_count(study_); }

study::Tables SteppedStudy::tables() const {
  return study::make_tables(study_, figures_, run_->cases());
}

std::vector<study::Evaluation> SteppedStudy::evaluate(
    const std::vector<std::vector<double>>& points, unsigned jobs,
    const std::function<void()>& checked) const {
  std::vector<study::Evaluation> results(points.size());
  site_->exclusive([&](const Model& model, const Plan& plan, const Scenario& scenario,
                       const Snapshot& snapshot) {
    if (!evaluator_ || evaluator_jobs_ != jobs) {
      evaluator_.reset();
      BatchOptions options;
      options.jobs = jobs;
      options.snapshot = &snapshot;
      evaluator_ = std::make_unique<study::ModelEvaluator>(model, plan, scenario, study_, options);
      evaluator_jobs_ = jobs;
    }
    evaluator_->evaluate(points, [&](std::size_t i, study::Evaluation&& e) {
      if (checked) checked();
      results[i] = std::move(e);
    });
  });
  return results;
}

}  // namespace tds::python

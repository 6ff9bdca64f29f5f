// A design study driven from Python one batch at a time, so that its points
// can be evaluated elsewhere (on the workers of a Dask cluster): each batch's
// points go out as plain numbers, their evaluations come back in the order
// of the points, and the tables are made from the cases once the study is
// done. The same object evaluates a chunk of points on a site of its own,
// which is what a worker process does with the chunk it is sent. The tables
// depend on the study and its cases alone, so the bytes are those of a study
// run in one process, however the points were split.
#ifndef TDS_PYTHON_STUDY_H
#define TDS_PYTHON_STUDY_H

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model_evaluator.h"
#include "python_site.h"
#include "study.h"
#include "study_file.h"

namespace tds::python {

// The texts of the files a study names (a designs file, a futures file, the
// per-day tables of recorded years), by the names the study gives them.
using StudyTexts = std::map<std::string, std::string>;

// Reads a study for the site; throws InputError naming the bad key. With a
// base folder, the files the study names are read from there and kept in
// `files`; without one they are taken from `files` alone, so that a study
// sent with its files (to a worker of a cluster) reads none.
study::Study read_study(const Site& site, std::string_view text, const std::string& source,
                        const std::optional<std::string>& base, StudyTexts& files);

class SteppedStudy {
 public:
  // Reads the study for the site as read_study does; throws InputError
  // naming the bad key. Keeps a reference to the site.
  SteppedStudy(const Site& site, std::string_view text, const std::string& source,
               const std::optional<std::string>& base, StudyTexts files);
  ~SteppedStudy();
  SteppedStudy(const SteppedStudy&) = delete;
  SteppedStudy& operator=(const SteppedStudy&) = delete;

  const char* method() const;
  const study::Study& study() const { return study_; }
  // The files the study named, read once: what a worker is sent with it.
  const StudyTexts& files() const { return files_; }
  // How many numbers an evaluation that ran has: the figure columns, then
  // the study's outputs.
  std::size_t outputs() const { return figures_.size() + study_.outputs.size(); }
  // How many cases the study runs in all.
  std::size_t total() const;
  bool done() const { return run_->done(); }
  // The next batch's points (unit coordinates) and its phase; see StudyRun.
  const std::vector<std::vector<double>>& next() { return run_->next(); }
  const std::string& phase() const { return run_->phase(); }
  // How many cases were told so far.
  std::size_t told() const { return run_->cases().points.size(); }
  void tell(std::vector<study::Evaluation> results) { run_->tell(std::move(results)); }
  // The study's files and summary from the cases told.
  study::Tables tables() const;

  // Evaluates points of this study on the site's batch engine with `jobs`
  // cases at once; `checked` is called as each case finishes (and may throw
  // to end the batch). Results in the order of the points. The engine's
  // workers stay for the next call with the same jobs, which then pays
  // neither their start nor the engine's self-check again.
  std::vector<study::Evaluation> evaluate(const std::vector<std::vector<double>>& points,
                                          unsigned jobs,
                                          const std::function<void()>& checked) const;

 private:
  const Site* site_;
  StudyTexts files_;  // before study_: reading the study fills it
  study::Study study_;
  std::vector<std::string> figures_;
  std::unique_ptr<study::StudyRun> run_;  // refers to study_
  // What evaluate() runs on, used under the site's lock only.
  mutable std::unique_ptr<study::ModelEvaluator> evaluator_;
  mutable unsigned evaluator_jobs_ = 0;
};

}  // namespace tds::python

#endif  // TDS_PYTHON_STUDY_H

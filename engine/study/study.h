// A design study run on an Evaluator, and the tables it produces as text:
// samples.csv (itself a cases file for --sweep), results.csv (the sweep
// summary's columns and the study's outputs), the method's table
// (effects.csv, indices.csv, best.csv, pareto.csv) and, for lhs and nsga2,
// optim.out in the form the library's result reader takes. No files, no
// terminal: the command line, the Python package and the page share it.
// What differs between the methods (design, case count, tables) is in each
// method's unit (method.h); this driver dispatches to them.
//
// The tables are a function of the study and its cases alone (the points
// evaluated and their results), so that a study run in shards and merged
// gives the bytes of one run on one machine; NSGA-II's generations are
// replayed from the recorded cases.
#ifndef TDS_ENGINE_STUDY_STUDY_H
#define TDS_ENGINE_STUDY_STUDY_H

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "evaluate.h"
#include "study_file.h"
#include "tables.h"

namespace tds::study {

// The points of a one-batch method, in case order.
std::vector<std::vector<double>> design(const Study& s);
// How many cases the study runs.
std::size_t case_count(const Study& s);

// Told as cases are done: cases done, of how many, and the phase (e.g.
// "generation 3 of 50").
using StudyProgress = std::function<void(std::size_t done, std::size_t total, const std::string&)>;

// A study driven by ask and tell, for a front end whose evaluations come
// when they come (the page's workers): next() gives the next batch of points
// (the design as one batch, or NSGA-II's generation), tell() takes their
// evaluations in the order of the points, until done().
class StudyRun {
 public:
  // figures: how many figure columns lead each evaluation's outputs.
  StudyRun(const Study& s, std::size_t figures);
  ~StudyRun();
  StudyRun(const StudyRun&) = delete;
  StudyRun& operator=(const StudyRun&) = delete;
  bool done() const;
  // The next batch; asked again before a tell, the same batch. Throws
  // std::logic_error when done.
  const std::vector<std::vector<double>>& next();
  // The phase of the batch that next() gave ("cases", "generation 3 of 50").
  const std::string& phase() const { return phase_; }
  // The evaluations of the batch that next() gave. Throws std::logic_error
  // when no batch waits or their count is not the batch's.
  void tell(std::vector<Evaluation> results);
  // The cases told so far, in order.
  const Cases& cases() const { return cases_; }
  Cases take_cases() { return std::move(cases_); }

 private:
  const Study* study_;
  std::size_t figures_;
  Cases cases_;
  const Nsga2StudyOptions* nsga2_;  // the search's options, or null for one batch
  std::unique_ptr<Nsga2> search_;
  std::vector<std::vector<double>> batch_;
  bool asked_ = false, told_design_ = false;
  std::size_t generation_ = 0;
  std::string phase_;
};

// Runs the study's cases through the evaluator: the design as one batch, or
// NSGA-II's generations one batch each.
Cases run_cases(const Study& s, Evaluator& evaluator, const StudyProgress& progress);

// The two tables of every study, before the method's own.
constexpr const char* kSamplesFile = "samples.csv";
constexpr const char* kResultsFile = "results.csv";

// The study's tables: samples.csv, results.csv, then the method's.
// figures: the names of the figure columns that lead each evaluation's
// outputs. table_name: how samples.csv names a per-day table that the study
// names (for a front end that writes samples.csv elsewhere than the study
// file lies, so that it names the table as a cases file there would); by
// default as the study names it.
using TableName = std::function<std::string(const std::string&)>;
Tables make_tables(const Study& s, const std::vector<std::string>& figures, const Cases& cases,
                   const TableName& table_name = {});

// The rows of samples.csv and results.csv for a case, for a front end that
// writes them as cases finish: the header, and one case's record.
std::string samples_header(const Study& s);
std::string samples_row(const Study& s, std::size_t index, const std::vector<double>& point,
                        const TableName& table_name = {});
std::string results_header(const Study& s, const std::vector<std::string>& figures);
std::string results_row(std::size_t index, const Evaluation& e, std::size_t columns);
// The header of results.csv as the study's tables write it: results_header's,
// or for a study with futures (a robust study or a robust search) its own
// (robust_results), whose columns between the
// case and its status name the case's design, future and values.
std::string results_file_header(const Study& s, const std::vector<std::string>& figures);
// Reads a results row back (as results_row wrote it): the case index and its
// evaluation. Throws InputError naming `where`.
std::pair<std::size_t, Evaluation> parse_results_row(const std::vector<std::string>& fields,
                                                     std::size_t columns, const std::string& where);

}  // namespace tds::study

#endif  // TDS_ENGINE_STUDY_STUDY_H

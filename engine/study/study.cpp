#include "study.h"

#include <algorithm>
#include <deque>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <variant>

#include "csv.h"
#include "run.h"

namespace tds::study {

namespace {

// The study's outputs of a case (after the figure columns), NaN when it failed.
std::vector<double> study_outputs(const Study& s, const Evaluation& e, std::size_t figures) {
  std::vector<double> out(s.outputs.size(), std::numeric_limits<double>::quiet_NaN());
  if (e.ok)
    for (std::size_t j = 0; j < out.size(); ++j) out[j] = e.outputs[figures + j];
  return out;
}

// The factor whose column of samples.csv a factor's value goes into: its
// own, or for an uncertainty that scales a lever's column too, the lever's,
// where the case's factor is the product of both.
std::size_t sample_column(const Study& s, std::size_t i) {
  if (i >= s.levers)
    for (std::size_t l = 0; l < s.levers; ++l)
      if (s.factors[l].name == s.factors[i].name) return l;
  return i;
}

}  // namespace

std::vector<std::vector<double>> design(const Study& s) {
  return std::visit(
      [&](const auto& o) -> std::vector<std::vector<double>> {
        if constexpr (std::decay_t<decltype(o)>::kOneBatch)
          return design(s, o);
        else
          throw std::logic_error("NSGA-II has no design of its own");
      },
      s.method);
}

std::size_t case_count(const Study& s) {
  return std::visit([&](const auto& o) { return case_count(s, o); }, s.method);
}

StudyRun::StudyRun(const Study& s, std::size_t figures)
    : study_(&s), figures_(figures), nsga2_(std::get_if<Nsga2StudyOptions>(&s.method)) {
  if (nsga2_ != nullptr) search_ = std::make_unique<Nsga2>(new_search(s, *nsga2_));
}

StudyRun::~StudyRun() = default;

bool StudyRun::done() const { return search_ ? search_->done() : told_design_; }

const std::vector<std::vector<double>>& StudyRun::next() {
  if (asked_) return batch_;
  if (done()) throw std::logic_error("the study is done");
  if (search_) {
    batch_ = generation_points(*study_, search_->ask());
    phase_ = generation_phase(*nsga2_, generation_++);
  } else {
    batch_ = design(*study_);
    phase_ = "cases";
  }
  asked_ = true;
  return batch_;
}

void StudyRun::tell(std::vector<Evaluation> results) {
  if (!asked_ || results.size() != batch_.size())
    throw std::logic_error("a study told evaluations that are not of its batch");
  asked_ = false;
  const std::size_t first = cases_.points.size();
  cases_.points.insert(cases_.points.end(), std::make_move_iterator(batch_.begin()),
                       std::make_move_iterator(batch_.end()));
  batch_.clear();
  cases_.results.insert(cases_.results.end(), std::make_move_iterator(results.begin()),
                        std::make_move_iterator(results.end()));
  if (!search_) {
    told_design_ = true;
    return;
  }
  // Each design's cases, one per future (one without futures), measured.
  const std::size_t per_design = futures_per_design(*study_);
  std::vector<std::vector<double>> objectives;
  std::vector<double> violations;
  for (std::size_t c = first; c < cases_.points.size(); c += per_design) {
    std::vector<std::vector<double>> outputs;
    outputs.reserve(per_design);
    for (std::size_t f = c; f < c + per_design; ++f)
      outputs.push_back(study_outputs(*study_, cases_.results[f], figures_));
    auto [o, v] = objectives_of(*nsga2_, design_measures(*study_, *nsga2_, outputs));
    objectives.push_back(std::move(o));
    violations.push_back(v);
  }
  search_->tell(objectives, violations);
}

Cases run_cases(const Study& s, Evaluator& evaluator, const StudyProgress& progress) {
  const std::size_t total = case_count(s);
  StudyRun run(s, evaluator.outputs() - s.outputs.size());
  while (!run.done()) {
    const std::vector<std::vector<double>>& points = run.next();
    const std::size_t first = run.cases().points.size();
    std::vector<Evaluation> results(points.size());
    evaluator.evaluate(points, [&](std::size_t i, Evaluation&& e) {
      results[i] = std::move(e);
      if (progress) progress(first + i + 1, total, run.phase());
    });
    run.tell(std::move(results));
  }
  return run.take_cases();
}

std::string samples_header(const Study& s) {
  CsvWriter csv;
  csv.field("case");
  csv.field("days");
  for (std::size_t i = 0; i < s.factors.size(); ++i)
    if (sample_column(s, i) == i) csv.field(s.factors[i].name);
  csv.end_row();
  return std::move(csv.buffer());
}

std::string samples_row(const Study& s, std::size_t index, const std::vector<double>& point,
                        const TableName& table_name) {
  CsvWriter csv;
  csv.field(case_name(index));
  csv.number(static_cast<std::int64_t>(s.days));
  std::vector<double> values = factor_values(s, point);
  for (std::size_t i = 0; i < values.size(); ++i)
    if (sample_column(s, i) != i) values[sample_column(s, i)] *= values[i];
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (sample_column(s, i) != i) continue;
    const Factor& f = s.factors[i];
    if (f.type == Factor::Type::Input && table_name)
      csv.field(table_name(f.paths[static_cast<std::size_t>(values[i])]));
    else
      write_factor_value(csv, f, values[i]);
  }
  csv.end_row();
  return std::move(csv.buffer());
}

std::string results_header(const Study& s, const std::vector<std::string>& figures) {
  CsvWriter csv;
  csv.field("case");
  csv.field("status");
  for (const std::string& f : figures) csv.field(f);
  for (const Output& o : s.outputs) csv.field(o.name);
  csv.end_row();
  return std::move(csv.buffer());
}

std::string results_file_header(const Study& s, const std::vector<std::string>& figures) {
  return s.futures.values.empty() ? results_header(s, figures)
                                  : robust_results(s, figures, Cases{});
}

std::string results_row(std::size_t index, const Evaluation& e, std::size_t columns) {
  CsvWriter csv;
  csv.field(case_name(index));
  csv.field(e.ok ? "ok" : e.reason.empty() ? "failed" : e.reason);
  for (std::size_t c = 0; c < columns; ++c) {
    if (e.ok)
      csv.number(e.outputs[c]);
    else
      csv.field("");
  }
  csv.end_row();
  return std::move(csv.buffer());
}

std::pair<std::size_t, Evaluation> parse_results_row(const std::vector<std::string>& fields,
                                                     std::size_t columns,
                                                     const std::string& where) {
  if (fields.size() != columns + 2)
    throw InputError(where + ": " + std::to_string(fields.size()) + " fields, not " +
                     std::to_string(columns + 2));
  const std::string& name = fields[0];
  std::size_t index = 0;
  const bool named =
      name.size() >= 7 && name[0] == 'c' &&
      std::all_of(name.begin() + 1, name.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (named) index = std::stoull(name.substr(1));
  if (!named || index == 0 || name.size() > 16 || case_name(index - 1) != name)
    throw InputError(where + ": " + quote_input(name) + " is not a study's case name");
  Evaluation e;
  e.ok = fields[1] == "ok";
  if (!e.ok) {
    e.reason = fields[1];
    return {index - 1, e};
  }
  std::deque<std::string> keep;
  for (std::size_t c = 0; c < columns; ++c)
    e.outputs.push_back(
        parse_cell(Kind::Double, fields[2 + c], where + ": column " + std::to_string(c + 3), keep)
            .d);
  return {index - 1, e};
}

Tables make_tables(const Study& s, const std::vector<std::string>& figures, const Cases& cases,
                   const TableName& table_name) {
  Tables t;
  const std::size_t columns = figures.size() + s.outputs.size();
  // The results of a study with futures (a robust study or a robust search)
  // name each case's design and future.
  const bool with_futures = !s.futures.values.empty();
  std::string samples = samples_header(s);
  std::string results =
      with_futures ? robust_results(s, figures, cases) : results_header(s, figures);
  std::vector<std::vector<double>> outputs;
  for (std::size_t c = 0; c < cases.points.size(); ++c) {
    samples += samples_row(s, c, cases.points[c], table_name);
    if (!with_futures) results += results_row(c, cases.results[c], columns);
    outputs.push_back(study_outputs(s, cases.results[c], figures.size()));
  }
  t.files.emplace_back(kSamplesFile, std::move(samples));
  t.files.emplace_back(kResultsFile, std::move(results));
  std::visit([&](const auto& o) { add_tables(s, o, outputs, cases, t); }, s.method);
  return t;
}

}  // namespace tds::study

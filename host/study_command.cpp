#include "study_command.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "csv.h"
#include "interrupt.h"
#include "model_evaluator.h"
#include "output.h"
#include "progress.h"
#include "run_record.h"
#include "study.h"
#include "study_plot.h"
#include "sweep_files.h"

namespace tds {

namespace fs = std::filesystem;
using nlohmann::json;
using study::Evaluation;
using study::Evaluator;

namespace {

study::StudyRecord record_of(const json& identity, unsigned shard, unsigned shards,
                             std::size_t cases, bool complete) {
  return {identity, shard, shards, cases, complete};
}

// The complete records of a journal (a last one cut short is dropped), as
// rows of fields after its header. A finished study's results.csv serves as
// well: when it starts with `finished` (the header of the results.csv that
// the tables write), the columns that it holds between the case and its
// status are left out of each row, so that the rows read as the journal's.
std::vector<CsvTable::Row> journal_rows(const std::string& path, const std::string& header,
                                        const std::string& finished) {
  std::error_code error;
  if (!fs::exists(path, error)) return {};
  std::string text = read_text_file(path, "journal");
  text.erase(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);
  if (text.compare(0, header.size(), header) == 0) return parse_csv(text, path).rows;
  if (finished == header || text.compare(0, finished.size(), finished) != 0) return {};
  CsvTable table = parse_csv(text, path);
  const std::size_t extra = table.header.size() - parse_csv(header, path).header.size();
  for (CsvTable::Row& row : table.rows)
    if (row.fields.size() > extra)
      row.fields.erase(row.fields.begin() + 1, row.fields.begin() + 1 + static_cast<long>(extra));
  return table.rows;
}

// An evaluator that answers the first points from a journal of an earlier
// run and the rest from the model, journalling each new result under its
// case's index.
class JournalledEvaluator : public Evaluator {
 public:
  JournalledEvaluator(Evaluator& inner, std::vector<Evaluation> kept, Journal& journal,
                      std::vector<std::size_t> case_index)
      : inner_(inner),
        kept_(std::move(kept)),
        journal_(journal),
        case_index_(std::move(case_index)) {}
  std::size_t outputs() const override { return inner_.outputs(); }
  void evaluate(const std::vector<std::vector<double>>& points,
                const std::function<void(std::size_t, Evaluation&&)>& done) override {
    std::size_t p = 0;
    for (; p < points.size() && position_ < kept_.size(); ++p, ++position_)
      done(p, Evaluation(kept_[position_]));
    if (p == points.size()) return;
    const std::size_t first = p;
    const std::vector<std::vector<double>> rest(points.begin() + static_cast<long>(first),
                                                points.end());
    inner_.evaluate(rest, [&](std::size_t i, Evaluation&& e) {
      const std::size_t at = position_++;
      journal_.append(study::results_row(case_index_.empty() ? at : case_index_[at], e, outputs()));
      done(first + i, std::move(e));
    });
  }

 private:
  Evaluator& inner_;
  std::vector<Evaluation> kept_;
  Journal& journal_;
  std::vector<std::size_t> case_index_;
  std::size_t position_ = 0;
};

// A progress bar per phase of the study.
class StudyProgressBar {
 public:
  explicit StudyProgressBar(bool enabled) : enabled_(enabled) {}
  void operator()(std::size_t done, std::size_t total, const std::string& phase) {
    if (!enabled_) return;
    if (phase != phase_ || !bar_) {
      bar_.reset();
      phase_ = phase;
      unit_ = phase + ": case";
      bar_ = std::make_unique<ProgressBar>(true, static_cast<long long>(total), unit_.c_str());
    }
    bar_->update(static_cast<long long>(done));
  }

 private:
  bool enabled_;
  std::string phase_, unit_;
  std::unique_ptr<ProgressBar> bar_;
};

// How samples.csv in out_dir names a per-day table that the study names
// relative to its own folder: relative to out_dir, as a cases file names
// its tables, so that samples.csv serves as one where it lies (absolute when
// there is no relative path). An absolute name stays.
study::TableName table_name_in(const std::string& out_dir, const std::string& study_folder) {
  std::error_code error;
  const fs::path from = fs::weakly_canonical(fs::absolute(out_dir, error), error);
  const fs::path to =
      fs::weakly_canonical(fs::absolute(study_folder.empty() ? "." : study_folder, error), error);
  const fs::path relative = to.lexically_relative(from);
  const fs::path folder = relative.empty() ? to : relative;
  return [folder](const std::string& name) {
    const fs::path table(name);
    if (table.is_absolute()) return name;
    return (folder / table).lexically_normal().generic_string();
  };
}

void write_tables(const std::string& dir, const study::Study& s, const study::Tables& t,
                  bool plots) {
  for (const auto& [name, text] : t.files) write_file_atomically(in_dir(dir, name), text);
  if (plots) plot_tables(dir, s, t);
}

}  // namespace

std::string run_study(const Model& model, const Plan& plan, const Scenario& scenario,
                      const study::Study& s, const json& identity, const StudyOptions& o) {
  if (o.shards > 1 && !study::one_batch(s.method))
    throw InputError("--shard: an nsga2 study runs each generation as a batch on one machine");
  const std::size_t total = study::case_count(s);
  const study::StudyRecord record = record_of(identity, o.shard, o.shards, total, false);
  const bool resuming = claim_study_directory(o.out_dir, record, o.resume, "--out");
  study::ModelEvaluator model_evaluator(model, plan, scenario, s, o.batch);
  const std::vector<std::string>& figures = model_evaluator.figures();
  const std::size_t columns = model_evaluator.outputs();
  const std::string header = study::results_header(s, figures);
  const std::string journal_path = in_dir(o.out_dir, kResultsJournal);

  // The cases of this shard, in order.
  std::vector<std::vector<double>> points;
  std::vector<std::size_t> mine;
  if (study::one_batch(s.method)) {
    const auto all = study::design(s);
    for (std::size_t i = 0; i < all.size(); ++i)
      if (i % o.shards == o.shard) {
        points.push_back(all[i]);
        mine.push_back(i);
      }
  }
  // What an earlier run of the same study journalled, as far as it is in order.
  std::vector<Evaluation> kept;
  std::string start = header;
  if (resuming) {
    // A study that had finished keeps its results.csv as its journal.
    std::error_code error;
    const std::string kept_path =
        fs::exists(journal_path, error) ? journal_path : in_dir(o.out_dir, "results.csv");
    for (const CsvTable::Row& row :
         journal_rows(kept_path, header, study::results_file_header(s, figures))) {
      const std::string where = kept_path + ":" + std::to_string(row.line);
      auto [index, e] = study::parse_results_row(row.fields, columns, where);
      const std::size_t expected = mine.empty()                ? kept.size()
                                   : kept.size() < mine.size() ? mine[kept.size()]
                                                               : total;
      if (index != expected) break;
      kept.push_back(std::move(e));
      start += study::results_row(index, kept.back(), columns);
    }
  }
  write_file_atomically(in_dir(o.out_dir, kStudyRecord), study::record_text(record));
  Journal journal(journal_path, start);
  const std::string kept_note =
      kept.empty() ? std::string()
                   : " (" + std::to_string(kept.size()) + " cases kept from before)";
  JournalledEvaluator evaluator(model_evaluator, std::move(kept), journal, mine);
  StudyProgressBar bar(o.progress);

  if (o.shards > 1) {
    evaluator.evaluate(points,
                       [&](std::size_t i, Evaluation&&) { bar(i + 1, points.size(), "cases"); });
    journal.finish(in_dir(o.out_dir, "results.csv"));
    write_file_atomically(in_dir(o.out_dir, kStudyRecord),
                          study::record_text(record_of(identity, o.shard, o.shards, total, true)));
    return "shard " + std::to_string(o.shard) + "/" + std::to_string(o.shards) + " of " +
           std::to_string(total) + " cases done" + kept_note + "; merge the shards with --merge";
  }
  const study::Cases cases = study::run_cases(s, evaluator, std::ref(bar));
  journal.finish(in_dir(o.out_dir, "results.csv"));
  const study::Tables t =
      study::make_tables(s, figures, cases, table_name_in(o.out_dir, o.study_folder));
  write_tables(o.out_dir, s, t, o.plots);
  write_file_atomically(in_dir(o.out_dir, kStudyRecord),
                        study::record_text(record_of(identity, 0, 1, total, true)));
  return t.summary + kept_note;
}

std::string merge_study(const Plan& plan, const study::Study& s, const json& identity,
                        const std::string& out_dir, const std::vector<std::string>& shard_dirs,
                        const std::string& study_folder, bool plots) {
  if (!study::one_batch(s.method)) throw InputError("--merge: an nsga2 study is not run in shards");
  const std::vector<std::string> figures = study::figure_columns(plan);
  const std::size_t columns = figures.size() + s.outputs.size();
  const std::string header = study::results_header(s, figures);
  study::Cases cases;
  cases.points = study::design(s);
  const std::size_t total = cases.points.size();
  cases.results.resize(total);
  std::vector<bool> have(total, false);
  std::vector<std::string> shard_of;
  long long shards = -1;
  for (const std::string& dir : shard_dirs) {
    if (fs::exists(dir) && fs::exists(out_dir) && fs::equivalent(dir, out_dir))
      throw InputError("--merge: the output directory " + out_dir + " is one of the shards");
    const std::optional<study::StudyRecord> r = read_study_record(dir);
    if (!r) throw InputError("--merge: " + dir + " holds no study (no study.json)");
    if (const std::string d = identity_difference(r->identity, identity); !d.empty())
      throw InputError("--merge: " + dir + " is a shard of another study (its " + d + " differs)");
    const auto n = static_cast<long long>(r->shards), i = static_cast<long long>(r->shard);
    if (shards >= 0 && n != shards)
      throw InputError("--merge: " + dir + " is a shard of " + std::to_string(n) + ", not " +
                       std::to_string(shards));
    shards = n;
    if (shard_of.empty()) shard_of.assign(static_cast<std::size_t>(n), "");
    if (!shard_of[static_cast<std::size_t>(i)].empty())
      throw InputError("--merge: " + dir + " and " + shard_of[static_cast<std::size_t>(i)] +
                       " are both shard " + std::to_string(i));
    shard_of[static_cast<std::size_t>(i)] = dir;
    if (!r->complete)
      throw InputError("--merge: " + dir + " is unfinished; run it again with --resume");
    const std::string path = in_dir(dir, "results.csv");
    const std::string text = read_text_file(path, "shard results");
    if (text.compare(0, header.size(), header) != 0)
      throw InputError("--merge: " + path + ": its columns are not the study's");
    for (const CsvTable::Row& row : parse_csv(text, path).rows) {
      auto [index, e] =
          study::parse_results_row(row.fields, columns, path + ":" + std::to_string(row.line));
      if (index >= total || index % static_cast<std::size_t>(n) != static_cast<std::size_t>(i) ||
          have[index])
        throw InputError("--merge: " + path + ":" + std::to_string(row.line) + ": case " +
                         study::case_name(index) + " is not one of this shard's");
      cases.results[index] = std::move(e);
      have[index] = true;
    }
  }
  for (std::size_t i = 0; i < shard_of.size(); ++i)
    if (shard_of[i].empty())
      throw InputError("--merge: shard " + std::to_string(i) + " of " + std::to_string(shards) +
                       " is missing");
  for (std::size_t c = 0; c < total; ++c)
    if (!have[c]) throw InputError("--merge: case " + study::case_name(c) + " has no result");
  const study::StudyRecord record = record_of(identity, 0, 1, total, false);
  claim_study_directory(out_dir, record, false, "--merge");
  const study::Tables t =
      study::make_tables(s, figures, cases, table_name_in(out_dir, study_folder));
  write_tables(out_dir, s, t, plots);
  write_file_atomically(in_dir(out_dir, kStudyRecord),
                        study::record_text(record_of(identity, 0, 1, total, true)));
  return t.summary;
}

}  // namespace tds

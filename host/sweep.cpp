#include "sweep.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "batch_hooks.h"
#include "csv.h"
#include "interrupt.h"
#include "output.h"
#include "progress.h"
#include "run_record.h"
#include "sweep_files.h"

namespace tds {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// The summary's columns after "case" and "status".
std::vector<std::string> result_columns(const Description& d, const Plan& plan,
                                        const RunOptions& run) {
  std::vector<std::string> columns = {"days"};
  for (std::size_t v : run.variables) columns.push_back(d.values()[v].name);
  for (const NodeCount& c : plan.counts()) columns.push_back(c.name);
  columns.push_back("shortfall_days");
  for (const NodeCount& c : plan.shortfalls()) columns.push_back(c.name);
  return columns;
}

std::string daily_path(const std::string& dir, const std::string& name) {
  return in_dir(dir, name + ".csv");
}

// Where a worker writes a case's daily file until it is complete. The sweep
// knows the name, so it can remove what a crashed or stopped worker left.
std::string daily_temporary(const std::string& dir, const std::string& token,
                            const std::string& name) {
  return in_dir(dir, "." + name + ".csv." + token + ".tmp");
}

// Where a sweep's workers write the daily files, and what they hold.
struct DailyFiles {
  std::string dir, token;
  std::vector<std::size_t> variables;
  long long every = 1;
};

// A case's fields of the summary after "case" and "status".
void summary_fields(CsvWriter& csv, const RunResult& r) {
  csv.number(static_cast<std::int64_t>(r.days));
  for (const Cell& cell : r.finals) csv.cell(cell);
  for (long long n : r.counted) csv.number(static_cast<std::int64_t>(n));
  csv.number(static_cast<std::int64_t>(r.shortfall_days));
  for (long long n : r.shortfall_each) csv.number(static_cast<std::int64_t>(n));
}

// In the worker: writes a case's daily file from its rows, the bytes that a
// run alone writes with the same --vars and --every, through a temporary
// file renamed when complete, and drops the rows. Returns why it could not.
std::string write_daily(const Description& d, const DailyFiles& files, const BatchCase& c,
                        CaseOutcome& outcome) {
  const std::vector<std::size_t>& variables = files.variables;
  CsvWriter csv;
  csv.field("day");
  for (std::size_t v : variables) csv.field(d.values()[v].name);
  csv.end_row();
  const std::size_t width = variables.size();
  long long day = files.every;
  for (std::size_t at = 0; at < outcome.daily.size() || (width == 0 && day <= outcome.figures.days);
       at += width, day += files.every) {
    csv.number(static_cast<std::int64_t>(day));
    for (std::size_t k = 0; k < width; ++k) csv.cell(outcome.daily[at + k]);
    csv.end_row();
  }
  outcome.daily.clear();
  const std::string path = daily_path(files.dir, c.label),
                    temporary = daily_temporary(files.dir, files.token, c.label);
  std::string reason;
  RawFile file = RawFile::create_new(temporary, reason);
  if (!file.is_open()) return "cannot write " + temporary + ": " + reason;
  reason = file.write(csv.buffer());
  if (reason.empty()) reason = file.sync();
  if (reason.empty()) reason = file.close();
  if (reason.empty()) reason = replace_file(temporary, path);
  if (reason.empty()) return reason;
  file.close();
  std::remove(temporary.c_str());
  return "cannot write " + path + ": " + reason;
}

}  // namespace

BatchOptions sweep_batch(const SweepOptions& o, const Description& d) {
  BatchOptions b = o.batch;
  // The workers write the daily files, as many at once as there are workers.
  if (o.batch.daily)
    b.in_worker =
        [&d, files = DailyFiles{o.out_dir, o.token, o.batch.run.variables, o.batch.run.every}](
            const BatchCase& c, CaseOutcome& outcome) { return write_daily(d, files, c, outcome); };
  add_host_hooks(b);
  return b;
}

SweepResult run_sweep(const Model& model, const Plan& plan, const Scenario& scenario,
                      const CaseTable& table, const SweepOptions& o) {
  std::vector<std::size_t> todo;
  json names = json::array();
  for (std::size_t i = 0; i < table.cases.size(); ++i)
    if (table.cases[i].row % o.shards == o.shard) {
      todo.push_back(i);
      names.push_back(table.cases[i].name);
    }
  const auto columns = result_columns(model.description(), plan, o.batch.run);
  CsvWriter header;
  header.field("case");
  header.field("status");
  for (const std::string& c : columns) header.field(c);
  header.end_row();

  json manifest = {{"format", "tarvello-sweep-shard"},
                   {"formatVersion", kShardFormat},
                   {"shard", o.shard},
                   {"shards", o.shards},
                   {"cases", table.cases.size()},
                   {"casesDigest", table.digest},
                   {"identity", o.identity},
                   {"caseNames", names},
                   {"complete", false}};
  const std::optional<json> resumed = claim_directory(o.out_dir, manifest, o.resume, "--out");

  // What a resumed sweep keeps: the summary's rows in order as far as they
  // belong to this sweep's cases, each with its daily file.
  std::vector<std::string> records;
  SweepResult result;
  if (resumed) {
    std::string text = read_file_or_empty(in_dir(o.out_dir, kJournal));
    if (text.empty()) text = read_file_or_empty(in_dir(o.out_dir, kSummary));
    const std::vector<std::string> found = raw_records(text);
    if (!found.empty() && found.front() + "\n" == header.buffer()) {
      for (std::size_t k = 1; k < found.size() && k - 1 < todo.size(); ++k) {
        const SweepCase& c = table.cases[todo[k - 1]];
        std::error_code error;
        if (first_field(found[k]) != c.name || (o.batch.daily && record_ok(found[k]) &&
                                                !fs::exists(daily_path(o.out_dir, c.name), error)))
          break;
        records.push_back(found[k]);
      }
    }
  }
  result.kept = records.size();
  {
    const interrupt::Hold held;  // the manifest and the journal, each whole
    write_file_atomically(in_dir(o.out_dir, kManifest), manifest.dump() + "\n");
  }
  std::string start = header.buffer();
  for (const std::string& r : records) start += r + "\n";
  Journal journal(in_dir(o.out_dir, kJournal), start);
  records.resize(todo.size());

  // The cases still to run, handed back in order: each record goes to the
  // journal as it arrives.
  std::vector<BatchCase> runs;
  runs.reserve(todo.size() - result.kept);
  for (std::size_t k = result.kept; k < todo.size(); ++k) runs.push_back(table.runs[todo[k]]);
  {
    ProgressBar progress(o.progress, static_cast<long long>(runs.size()), "case");
    BatchOptions batch = sweep_batch(o, model.description());
    batch.on_progress = [&progress](std::size_t done, std::size_t) {
      progress.update(static_cast<long long>(done));
    };
    // A case's temporary daily file is removed on interruption while a
    // worker may be writing it, and after the worker, whatever its end.
    std::map<std::size_t, std::size_t> temporaries;  // case index: slot
    if (o.batch.daily) {
      batch.on_case_started = [&](std::size_t i) {
        temporaries[i] = interrupt::add_file(daily_temporary(o.out_dir, o.token, runs[i].label));
      };
      batch.on_case_ended = [&](std::size_t i) {
        std::remove(daily_temporary(o.out_dir, o.token, runs[i].label).c_str());
        interrupt::remove_file(temporaries[i]);
        temporaries.erase(i);
      };
    }
    CsvWriter row;
    run_batch(model, plan, scenario, runs, batch, [&](std::size_t i, CaseOutcome&& outcome) {
      const std::size_t k = result.kept + i;
      const SweepCase& c = table.cases[todo[k]];
      std::string status = "ok";
      if (outcome.status == CaseOutcome::Status::Failed) {
        status = "failed: " + outcome.reason;
      } else if (outcome.status == CaseOutcome::Status::Crashed) {
        status = "crashed: " + outcome.reason;
      }
      row.buffer().clear();
      row.field(c.name);
      row.field(status);
      if (status == "ok") {
        summary_fields(row, outcome.figures);
      } else {
        row.buffer().append(columns.size(), ',');
      }
      row.end_row();
      journal.append(row.buffer());
      row.buffer().pop_back();
      records[k] = row.buffer();
    });
  }
  result.ran = todo.size() - result.kept;
  for (std::size_t k = 0; k < todo.size(); ++k)
    if (!record_ok(records[k])) ++result.failed;

  std::string rows_text;
  json rows = json::array();
  for (std::size_t k = 0; k < todo.size(); ++k) {
    rows_text += records[k] + "\n";
    rows.push_back(table.cases[todo[k]].row);
  }
  journal.finish(in_dir(o.out_dir, kSummary));
  manifest["complete"] = true;
  manifest["rows"] = rows;
  manifest["rowsDigest"] = hex_digest(rows_text);
  write_file_atomically(in_dir(o.out_dir, kManifest), manifest.dump() + "\n");
  return result;
}

}  // namespace tds

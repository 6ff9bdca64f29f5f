// --sweep: every case of a cases file run from a pristine library into an
// output directory, with a line on standard error of how many ran and failed.
// Also the record of the inputs that a sweep and a study keep.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "cases.h"
#include "cli_context.h"
#include "csv.h"
#include "interrupt.h"
#include "output.h"
#include "sweep.h"

namespace tds {

namespace fs = std::filesystem;

namespace {

std::string sweep_summary(const std::string& out_dir, const SweepResult& r, double seconds) {
  std::ostringstream s;
  s << kProgram << ": sweep of " << r.ran + r.kept << " cases in "
    << format_double(static_cast<double>(static_cast<long long>(seconds * 1000)) / 1000.0) << " s";
  if (r.kept) s << " (" << r.kept << " kept from before, " << r.ran << " run now)";
  if (r.failed) s << ", " << r.failed << " failed";
  s << "; summary in " << (fs::path(out_dir) / "summary.csv").string() << "\n";
  return s.str();
}

// The digest of a file's bytes, or "unreadable" (a module found by the
// platform's search).
std::string file_digest(const std::string& path) {
  try {
    return hex_digest(read_text_file(path, "file"));
  } catch (const InputError&) {
    return "unreadable";
  }
}

}  // namespace

nlohmann::json record_identity(const Loaded& loaded, const std::string& key,
                               const std::string& digest) {
  return {{"inputs",
           {{key, digest},
            {"plan", hex_digest(loaded.site.plan_text())},
            {"scenario", hex_digest(loaded.site.scenario_text())},
            {"daily", hex_digest(loaded.site.daily_text())},
            {"module", file_digest(loaded.at.module)},
            {"description", file_digest(loaded.at.description)}}},
          {"options", nlohmann::json::object()}};
}

int sweep_command(const Context& c) {
  const Options& o = c.o;
  const Description& description = c.loaded.site.description();
  SweepOptions sweep;
  sweep.out_dir = o.out;
  sweep.resume = o.resume;
  sweep.shard = c.checked.shard;
  sweep.shards = c.checked.shards;
  sweep.batch = case_batch(c);
  if (c.checked.worker) {
    // Its daily files are named by the sweep's token.
    sweep.token = o.worker;
    interrupt::as_child();
    return serve_batch_worker(c.model, c.plan, c.scenario, sweep_batch(sweep, description));
  }
  sweep.token = random_token();
  add_worker_command(sweep.batch, o, sweep.token);

  const std::string cases_text = read_text_file(o.sweep, "cases file");
  CaseInputs inputs;
  inputs.read = [](const std::string& path) { return read_text_file(path, "per-day input table"); };
  inputs.cycle = c.scenario.cycle;
  for (const auto& [value, factor] : c.run.scales) inputs.scaled.push_back(value);
  const CaseTable table = CaseTable::parse(cases_text, o.sweep, description, c.scenario.daily,
                                           c.checked.days, &c.labels, inputs);
  nlohmann::json vars = nlohmann::json::array();
  for (std::size_t v : c.run.variables) vars.push_back(description.values()[v].name);
  sweep.identity = record_identity(c.loaded, "cases", table.digest);
  // The digests of the cases' own tables, in the order the cases first name
  // them (not their paths: shards may run elsewhere); recorded only when the
  // cases name tables, so that other sweeps keep the shard.json of before.
  if (!table.input_digests.empty()) {
    nlohmann::json tables = nlohmann::json::array();
    for (const auto& [path, digest] : table.input_digests) tables.push_back(digest);
    sweep.identity["inputs"]["caseInputs"] = tables;
  }
  sweep.identity["options"] = {{"days", c.checked.days},
                               {"set", o.sets},
                               {"vars", vars},
                               {"every", c.checked.every},
                               {"dailyFiles", o.daily}};
  // Recorded only when given, so that a sweep without scales keeps the
  // shard.json of before.
  if (!o.scales.empty()) sweep.identity["options"]["scale"] = o.scales;
  sweep.progress = progress_shown(o);
  const auto started = std::chrono::steady_clock::now();
  const SweepResult result = run_sweep(c.model, c.plan, c.scenario, table, sweep);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (!o.quiet) std::fputs(sweep_summary(o.out, result, seconds).c_str(), stderr);
  return result.failed ? 1 : 0;
}

}  // namespace tds

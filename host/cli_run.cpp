// A run: the model day by day into a CSV file or standard output, with a
// summary of its figures on standard error.
#include <cstdio>
#include <sstream>

#include "cli_context.h"
#include "csv.h"
#include "output.h"
#include "progress.h"

namespace tds {

namespace {

std::string summary(const Description& d, const Plan& plan, const Scenario& scenario,
                    const RunResult& r) {
  std::ostringstream s;
  s << kProgram << ": " << r.days << " days of " << d.model() << " " << d.version() << " in ";
  if (r.seconds < 1.0)
    s << format_double(static_cast<double>(static_cast<long long>(r.seconds * 1e4)) / 10.0)
      << " ms\n";
  else
    s << format_double(static_cast<double>(static_cast<long long>(r.seconds * 100)) / 100.0)
      << " s\n";
  s << run_figures(d, plan, scenario, r);
  return s.str();
}

}  // namespace

int run_command(const Context& c) {
  const Options& o = c.o;
  RunOptions options = c.run;
  // The target is checked and opened before the run: a temporary file beside
  // it, renamed into place once the run has succeeded; standard output is
  // held until then.
  const std::unique_ptr<OutputFile> out = OutputFile::open(o.out, "--out");
  RunResult result;
  {
    ProgressBar progress(progress_shown(o), c.checked.days, "day");
    options.on_day = [&progress](long long day) { progress.update(day); };
    result = run_model(c.model, c.plan, c.scenario, options,
                       [&](std::string& chunk) { out->write(chunk); });
  }
  out->commit();
  if (!o.quiet)
    std::fputs(summary(c.loaded.site.description(), c.plan, c.scenario, result).c_str(), stderr);
  return 0;
}

}  // namespace tds

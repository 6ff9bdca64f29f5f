// One case of the batch engine, run in this process: what a worker does for
// each request, and what the page does in its own instances of the program.
// It needs no process, no snapshot and no pool.
#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "case.h"

namespace tds {

namespace {

// The reductions' running values over the days of a case.
class Reducer {
 public:
  explicit Reducer(const std::vector<Reduction>& r) : reductions_(r), values_(r.size(), 0.0) {}
  void day(const Model& model, long long d) {
    for (std::size_t k = 0; k < reductions_.size(); ++k) {
      const Cell c = model.read(reductions_[k].value);
      const double x = c.kind == Kind::Int ? static_cast<double>(c.i) : c.d;
      double& v = values_[k];
      switch (reductions_[k].op) {
        case Reduction::Op::Final:
          v = x;
          break;
        case Reduction::Op::Mean:
        case Reduction::Op::Sum:
          v += x;
          break;
        case Reduction::Op::Min:
          if (d == 1 || x < v) v = x;
          break;
        case Reduction::Op::Max:
          if (d == 1 || x > v) v = x;
          break;
      }
    }
  }
  std::vector<double> finish(long long days) {
    for (std::size_t k = 0; k < reductions_.size(); ++k)
      if (reductions_[k].op == Reduction::Op::Mean) values_[k] /= static_cast<double>(days);
    return std::move(values_);
  }

 private:
  const std::vector<Reduction>& reductions_;
  std::vector<double> values_;
};

}  // namespace

CaseOutcome run_case(const Model& model, const Plan& plan, const Scenario& scenario,
                     const BatchCase& c, const BatchOptions& o) {
  CaseOutcome out;
  try {
    RunOptions options = o.run;
    options.days = c.days;
    options.write_csv = false;
    options.overrides.insert(options.overrides.end(), c.values.begin(), c.values.end());
    options.scales.insert(options.scales.end(), c.scales.begin(), c.scales.end());
    const std::vector<std::size_t>& variables = o.run.variables;
    const long long every = std::max(1LL, o.run.every);
    if (o.daily) out.daily.reserve(static_cast<std::size_t>(c.days / every) * variables.size());
    Reducer reducer(o.reductions);
    const bool reducing = !o.reductions.empty();
    options.on_day = [&](long long day) {
      if (o.daily && day % every == 0)
        for (std::size_t v : variables) out.daily.push_back(model.read(v));
      if (reducing) reducer.day(model, day);
    };
    out.figures = run_model(model, plan, scenario, options, [](std::string&) {});
    out.reduced = reducer.finish(c.days);
  } catch (const std::exception& e) {
    out = CaseOutcome{};
    out.status = CaseOutcome::Status::Failed;
    out.reason = one_line(e.what());
  }
  return out;
}

}  // namespace tds

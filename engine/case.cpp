// One case of the batch engine, run in this process: what a worker does for
// each request, and what the page does in its own instances of the program.
// It needs no process, no snapshot and no pool.
#include <algorithm>
#include <exception>
#include <limits>
#include <string>
#include <vector>

#include "case.h"

namespace tds {

namespace {

constexpr int kDaysOfYear = 365;

bool in_window(const Reduction& r, long long day) {
  if (r.from == 0) return true;
  const long long d = (day - 1) % kDaysOfYear + 1;
  return r.from <= r.to ? d >= r.from && d <= r.to : d >= r.from || d <= r.to;
}

// The reductions' running values over the days of a case: a variable's value
// after each day, or whether the day counted a count or a shortfall (what
// the figures so far grew by), over the days of each reduction's window.
class Reducer {
 public:
  explicit Reducer(const std::vector<Reduction>& r)
      : reductions_(r), values_(r.size(), 0.0), days_(r.size(), 0) {}

  // Whether a reduction needs each day's figures, not only the model's values.
  bool needs_figures() const {
    return std::any_of(reductions_.begin(), reductions_.end(),
                       [](const Reduction& r) { return r.source != Reduction::Source::Value; });
  }

  void day(const Model& model, long long d, const RunResult* so_far) {
    for (std::size_t k = 0; k < reductions_.size(); ++k) {
      const Reduction& r = reductions_[k];
      const double x = happened(model, r, so_far);  // every day: the counts' last values move on
      if (!in_window(r, d)) continue;
      double& v = values_[k];
      const bool first = days_[k]++ == 0;
      switch (r.op) {
        case Reduction::Op::Final:
          v = x;
          break;
        case Reduction::Op::Mean:
        case Reduction::Op::Sum:
          v += x;
          break;
        case Reduction::Op::Min:
          if (first || x < v) v = x;
          break;
        case Reduction::Op::Max:
          if (first || x > v) v = x;
          break;
      }
    }
    if (so_far != nullptr) {
      counted_ = so_far->counted;
      shortfall_each_ = so_far->shortfall_each;
      shortfall_days_ = so_far->shortfall_days;
    }
  }

  std::vector<double> finish() {
    for (std::size_t k = 0; k < reductions_.size(); ++k) {
      if (reductions_[k].op == Reduction::Op::Sum) continue;
      if (days_[k] == 0) {
        values_[k] = std::numeric_limits<double>::quiet_NaN();
      } else if (reductions_[k].op == Reduction::Op::Mean) {
        values_[k] /= static_cast<double>(days_[k]);
      }
    }
    return std::move(values_);
  }

 private:
  // The reduced quantity on this day: the value, or 1 when the day counted.
  double happened(const Model& model, const Reduction& r, const RunResult* so_far) const {
    const auto grew = [](const std::vector<long long>& now, const std::vector<long long>& before,
                         std::size_t i) {
      return now[i] > (i < before.size() ? before[i] : 0) ? 1.0 : 0.0;
    };
    switch (r.source) {
      case Reduction::Source::Value: {
        const Cell c = model.read(r.value);
        return c.kind == Kind::Int ? static_cast<double>(c.i) : c.d;
      }
      case Reduction::Source::Count:
        return grew(so_far->counted, counted_, r.value);
      case Reduction::Source::Shortfall:
        return grew(so_far->shortfall_each, shortfall_each_, r.value);
      case Reduction::Source::AnyShortfall:
        return so_far->shortfall_days > shortfall_days_ ? 1.0 : 0.0;
    }
    return 0.0;
  }

  const std::vector<Reduction>& reductions_;
  std::vector<double> values_;
  std::vector<long long> days_;                      // per reduction: days of its window so far
  std::vector<long long> counted_, shortfall_each_;  // the figures after the day before
  long long shortfall_days_ = 0;
};

}  // namespace

void check_reductions(const Description& d, const Plan& plan,
                      const std::vector<Reduction>& reductions) {
  for (const Reduction& r : reductions) {
    switch (r.source) {
      case Reduction::Source::Value:
        if (r.value >= d.values().size() || d.values()[r.value].kind == Kind::Text)
          throw InputError("a reduction needs a double or an int value");
        break;
      case Reduction::Source::Count:
        if (r.value >= plan.counts().size())
          throw InputError("a reduction of a count needs one of the plan's counts");
        break;
      case Reduction::Source::Shortfall:
        if (r.value >= plan.shortfalls().size())
          throw InputError("a reduction of a shortfall needs one of the plan's shortfalls");
        break;
      case Reduction::Source::AnyShortfall:
        break;
    }
    if (r.from < 0 || r.from > kDaysOfYear || (r.from > 0 && (r.to < 1 || r.to > kDaysOfYear)))
      throw InputError("a reduction's window needs days of the year from 1 to " +
                       std::to_string(kDaysOfYear));
  }
}

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
    const bool reducing = !o.reductions.empty(), figures = reducer.needs_figures();
    options.on_day = [&](long long day) {
      if (o.daily && day % every == 0)
        for (std::size_t v : variables) out.daily.push_back(model.read(v));
      if (reducing && !figures) reducer.day(model, day, nullptr);
    };
    if (figures)
      options.on_day_figures = [&](long long day, const RunResult& so_far) {
        reducer.day(model, day, &so_far);
      };
    out.figures = run_model(model, plan, scenario, c.input ? *c.input : scenario.daily, options,
                            [](std::string&) {});
    out.reduced = reducer.finish();
  } catch (const std::exception& e) {
    out = CaseOutcome{};
    out.status = CaseOutcome::Status::Failed;
    out.reason = one_line(e.what());
  }
  return out;
}

}  // namespace tds

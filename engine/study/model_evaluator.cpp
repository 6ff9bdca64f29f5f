#include "model_evaluator.h"

#include <cmath>
#include <limits>

namespace tds::study {

namespace {

double number(const Cell& c) {
  return c.kind == Kind::Int      ? static_cast<double>(c.i)
         : c.kind == Kind::Double ? c.d
                                  : std::numeric_limits<double>::quiet_NaN();
}

Reduction::Op batch_op(Output::Op op) {
  switch (op) {
    case Output::Op::Final:
      return Reduction::Op::Final;
    case Output::Op::Mean:
      return Reduction::Op::Mean;
    case Output::Op::Min:
      return Reduction::Op::Min;
    case Output::Op::Max:
      return Reduction::Op::Max;
    case Output::Op::Sum:
      return Reduction::Op::Sum;
  }
  return Reduction::Op::Final;
}

}  // namespace

ModelEvaluator::ModelEvaluator(const Model& model, const Plan& plan, const Scenario& scenario,
                               const Study& study, BatchOptions options)
    : model_(&model), study_(&study), options_(std::move(options)), figures_(figure_columns(plan)) {
  options_.run.days = study.days;
  options_.run.variables.clear();
  options_.run.write_csv = false;
  options_.run.overrides = study.set;
  options_.daily = false;
  options_.reductions.clear();
  for (const Output& o : study.outputs) {
    reduction_of_.push_back(options_.reductions.size());
    if (o.source == Output::Source::Reduction)
      options_.reductions.push_back({o.index, batch_op(o.op)});
  }
  session_ = std::make_unique<BatchSession>(model, plan, scenario, options_);
}

void ModelEvaluator::evaluate(const std::vector<std::vector<double>>& points,
                              const std::function<void(std::size_t, Evaluation&&)>& done) {
  const Description& d = model_->description();
  std::vector<BatchCase> cases;
  cases.reserve(points.size());
  for (const std::vector<double>& point : points) {
    BatchCase c;
    c.days = study_->days;
    c.scales = study_->scale;
    for (std::size_t i = 0; i < study_->factors.size(); ++i) {
      const Factor& f = study_->factors[i];
      const double x = factor_value(f, point[i]);
      if (f.type == Factor::Type::Scale) {
        c.scales.emplace_back(f.value, x);
      } else {
        Cell cell;
        cell.kind = d.values()[f.value].kind;
        if (cell.kind == Kind::Int)
          cell.i = static_cast<std::int32_t>(x);
        else
          cell.d = x;
        c.values.emplace_back(f.value, cell);
      }
    }
    cases.push_back(std::move(c));
  }
  session_->run(cases, [&](std::size_t index, CaseOutcome&& outcome) {
    Evaluation e;
    if (outcome.status != CaseOutcome::Status::Ok) {
      e.ok = false;
      e.reason =
          std::string(outcome.status == CaseOutcome::Status::Crashed ? "crashed: " : "failed: ") +
          outcome.reason;
      done(index, std::move(e));
      return;
    }
    const RunResult& r = outcome.figures;
    // The figure columns, in the order of figure_columns().
    e.outputs.push_back(static_cast<double>(r.days));
    for (long long n : r.counted) e.outputs.push_back(static_cast<double>(n));
    e.outputs.push_back(static_cast<double>(r.shortfall_days));
    for (long long n : r.shortfall_each) e.outputs.push_back(static_cast<double>(n));
    for (std::size_t j = 0; j < study_->outputs.size(); ++j) {
      const Output& o = study_->outputs[j];
      switch (o.source) {
        case Output::Source::Count:
          e.outputs.push_back(static_cast<double>(r.counted[o.index]));
          break;
        case Output::Source::ShortfallDays:
          e.outputs.push_back(static_cast<double>(r.shortfall_days));
          break;
        case Output::Source::Shortfall:
          e.outputs.push_back(static_cast<double>(r.shortfall_each[o.index]));
          break;
        case Output::Source::Level:
          e.outputs.push_back(number(r.levels[o.index]));
          break;
        case Output::Source::Reduction:
          e.outputs.push_back(outcome.reduced[reduction_of_[j]]);
          break;
      }
    }
    done(index, std::move(e));
  });
}

}  // namespace tds::study

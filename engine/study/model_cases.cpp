#include "model_cases.h"

#include <cstdint>
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

ModelCases::ModelCases(const Description& d, const Plan& plan, const Study& study)
    : description_(&d), study_(&study), figures_(figure_columns(plan)) {
  for (const Output& o : study.outputs) {
    reduction_of_.push_back(reductions_.size());
    if (o.source == Output::Source::Reduction) {
      reductions_.push_back({o.index, batch_op(o.op), Reduction::Source::Value, o.from, o.to});
    } else if (o.from != 0) {
      // A figure over a window: its days in the window, summed.
      const Reduction::Source source = o.source == Output::Source::Count ? Reduction::Source::Count
                                       : o.source == Output::Source::Shortfall
                                           ? Reduction::Source::Shortfall
                                           : Reduction::Source::AnyShortfall;
      reductions_.push_back({o.index, Reduction::Op::Sum, source, o.from, o.to});
    }
  }
}

void ModelCases::configure(BatchOptions& options) const {
  options.run.days = study_->days;
  options.run.variables.clear();
  options.run.write_csv = false;
  options.run.overrides = study_->set;
  options.daily = false;
  options.reductions = reductions_;
}

BatchCase ModelCases::case_at(const std::vector<double>& point) const {
  BatchCase c;
  c.days = study_->days;
  c.scales = study_->scale;
  for (std::size_t i = 0; i < study_->factors.size(); ++i) {
    const Factor& f = study_->factors[i];
    const double x = point_value(*study_, i, point[i]);
    if (f.type == Factor::Type::Input) {
      c.input = f.tables[static_cast<std::size_t>(x)];
    } else if (f.type == Factor::Type::Scale) {
      c.scales.emplace_back(f.value, x);
    } else {
      Cell cell;
      cell.kind = description_->values()[f.value].kind;
      if (cell.kind == Kind::Int)
        cell.i = static_cast<std::int32_t>(x);
      else
        cell.d = x;
      c.values.emplace_back(f.value, cell);
    }
  }
  return c;
}

Evaluation ModelCases::evaluation(const CaseOutcome& outcome) const {
  Evaluation e;
  if (outcome.status != CaseOutcome::Status::Ok) {
    e.ok = false;
    e.reason =
        std::string(outcome.status == CaseOutcome::Status::Crashed ? "crashed: " : "failed: ") +
        outcome.reason;
    return e;
  }
  const RunResult& r = outcome.figures;
  // The figure columns, in the order of figure_columns().
  e.outputs.push_back(static_cast<double>(r.days));
  for (long long n : r.counted) e.outputs.push_back(static_cast<double>(n));
  e.outputs.push_back(static_cast<double>(r.shortfall_days));
  for (long long n : r.shortfall_each) e.outputs.push_back(static_cast<double>(n));
  for (std::size_t j = 0; j < study_->outputs.size(); ++j) {
    const Output& o = study_->outputs[j];
    if (o.from != 0) {
      e.outputs.push_back(outcome.reduced[reduction_of_[j]]);
      continue;
    }
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
  return e;
}

}  // namespace tds::study

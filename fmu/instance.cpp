// The instance's modes, its lifecycle (instantiation, setup,
// initialisation, termination, reset) and the step.
#include "instance.h"

#include <algorithm>
#include <cmath>

#include "csv.h"
#include "instance_impl.h"

namespace tds::fmu {

namespace {

constexpr double kDay = 86400.0;

}  // namespace

std::string seconds(double t) { return format_double(t) + " s"; }

const char* mode_name(Mode m) {
  switch (m) {
    case Mode::Instantiated:
      return "Instantiated";
    case Mode::Initialization:
      return "Initialization";
    case Mode::Step:
      return "Step";
    case Mode::Terminated:
      return "Terminated";
    case Mode::Error:
      break;
  }
  return "Error";
}

Instance::Instance(const std::string& binary_dir, const std::string& resources_dir,
                   const std::string& token, Logger logger, bool logging_on, bool with_time)
    : logger_(std::move(logger)), log_all_(logging_on), fmi3_(with_time) {
  std::vector<std::string> texts;
  for (const std::string& name : resource_names())
    texts.push_back(read_text_file(path_join(resources_dir, name), "FMU resource"));
  token_ = fmu::token(texts);
  if (token != token_)
    throw Refusal("the token " + quote_input(token) + " is not this FMU's " + token_ +
                  " (the modelDescription.xml and the resources of different builds?)");
  site_.set_description(
      Description::parse(texts[0], path_join(resources_dir, resource_names()[0])));
  site_.load_module(path_join(binary_dir, module_file_name(description_.model())), true);
  site_.bind();
  site_.read_plan({path_join(resources_dir, "plan.json"), texts[1]});
  site_.read_scenario({path_join(resources_dir, "scenario.json"), texts[2]},
                      [&](const std::string& name) {
                        return read_text_file(path_join(resources_dir, name), "per-day table");
                      });
  model_ = &site_.model();
  plan_ = &site_.plan();
  scenario_ = &site_.scenario();
  variables_ = variables(description_, *plan_, *scenario_, with_time);
  pristine_ = &site_.take_snapshot();
  runner_.emplace(*model_, *plan_);
  overrides_.assign(description_.values().size(), std::nullopt);
  driven_.assign(description_.values().size(), std::nullopt);
}

Instance::~Instance() = default;

void Instance::setup(double start_time, std::optional<double> stop_time) {
  if (!std::isfinite(start_time))
    throw Refusal("the start time " + seconds(start_time) + " is not finite");
  if (stop_time && !(std::isfinite(*stop_time) && *stop_time >= start_time))
    throw Refusal("the stop time " + seconds(*stop_time) + " is not a finite time from the start " +
                  seconds(start_time) + " on");
  start_time_ = start_time;
  stop_time_ = stop_time;
  time_ = start_time;
}

void Instance::enter_initialization() {
  mode_ = Mode::Initialization;
  dirty_ = true;
  settle();
  log_event("initialised: day 0 at " + seconds(time_));
}

void Instance::settle() {
  if (!dirty_) return;
  std::vector<std::pair<std::size_t, Cell>> overrides;
  for (std::size_t v = 0; v < overrides_.size(); ++v)
    if (overrides_[v]) overrides.emplace_back(v, *overrides_[v]);
  pristine_->restore();
  runner_->start(*scenario_, overrides);
  dirty_ = false;
}

void Instance::exit_initialization() {
  settle();
  if (!use_scenario_inputs_)
    for (std::size_t v : scenario_->daily.columns()) driven_[v] = model_->read(v);
  skip_stale_ = true;
  mode_ = Mode::Step;
  log_event(use_scenario_inputs_ ? "step mode: the scenario's per-day table drives the inputs"
                                 : "step mode: the importer drives every input");
}

void Instance::terminate() {
  mode_ = Mode::Terminated;
  log_event("terminated on day " + std::to_string(runner_->day()));
}

void Instance::reset() {
  pristine_->restore();
  runner_->set_day(0);
  mode_ = Mode::Instantiated;
  start_time_ = time_ = 0.0;
  stop_time_.reset();
  use_scenario_inputs_ = true;
  dirty_ = false;
  overrides_.assign(overrides_.size(), std::nullopt);
  driven_.assign(driven_.size(), std::nullopt);
  skip_stale_ = true;
  log_event("reset to the state after instantiation");
}

void Instance::write_driven() const {
  for (std::size_t v : driven_list_) model_->write(v, *driven_[v]);
}

void Instance::step(double at, double step) {
  if (!(step > 0.0)) throw Refusal("the step size " + seconds(step) + " is not positive");
  if (!std::isfinite(step)) throw Refusal("the step size " + seconds(step) + " is not finite");
  const double tolerance = 1e-9 * std::max(1.0, std::fabs(time_));
  if (!(std::fabs(at - time_) <= tolerance))
    throw Refusal("the communication point " + seconds(at) + " is not the instance's time " +
                  seconds(time_));
  const double end = at + step;
  if (stop_time_ && end > *stop_time_ + 1e-9 * std::max(1.0, std::fabs(*stop_time_)))
    throw Refusal("the step ends at " + seconds(end) + ", after the stop time " +
                  seconds(*stop_time_));
  // The days whose end the step reaches; a step that ends within a day
  // leaves it for a later step. The margin absorbs the rounding of a time
  // summed from many small steps. The bounds are checked on the double
  // before it becomes a day number, which could not hold a larger one.
  const double days = std::floor((end - start_time_) / kDay + 1e-9);
  if (days - static_cast<double>(runner_->day()) > static_cast<double>(kMaxStepDays))
    throw Refusal("the step of " + seconds(step) + " would perform " +
                  format_double(days - static_cast<double>(runner_->day())) +
                  " days, more than the bound of " + std::to_string(kMaxStepDays) + " days a step");
  if (days > static_cast<double>(kMaxDay))
    throw Refusal("the step would end on day " + format_double(days) +
                  ", beyond the bound of day " + std::to_string(kMaxDay));
  const auto target = static_cast<long long>(days);
  if (skip_stale_) {
    skip_.assign(overrides_.size(), false);
    driven_list_.clear();
    for (std::size_t v = 0; v < skip_.size(); ++v) {
      skip_[v] = overrides_[v] || driven_[v];
      if (driven_[v]) driven_list_.push_back(v);
    }
    skip_stale_ = false;
  }
  while (runner_->day() < target) {
    write_driven();
    runner_->next_day(use_scenario_inputs_ ? &scenario_->daily : nullptr, skip_);
  }
  time_ = end;
}

void Instance::unsupported(const std::string& what) {
  throw Refusal("this FMU does not provide " + what);
}

}  // namespace tds::fmu

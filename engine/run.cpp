#include "run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string_view>

#include "csv.h"

namespace tds {

namespace {

using Clock = std::chrono::steady_clock;

// Walks one process from `start` until a node without successor. Marks every
// node visited on `day` in last_visit.
void walk(const Model& model, const Plan& plan, int start, long long day,
          std::vector<long long>& last_visit) {
  const auto& nodes = plan.nodes();
  int steps = 0;
  for (int i = start; i >= 0;) {
    const PlanNode& node = nodes[static_cast<std::size_t>(i)];
    if (++steps > kMaxStepsPerWalk)
      throw RunError("the walk of " + plan.processes()[node.process].name + " on day " +
                     std::to_string(day) + " took more than " + std::to_string(kMaxStepsPerWalk) +
                     " steps (at node " + node.id + "): the plan loops");
    last_visit[static_cast<std::size_t>(i)] = day;
    switch (node.kind) {
      case PlanNode::Kind::Task:
        model.task(node.id.c_str());
        i = node.next;
        break;
      case PlanNode::Kind::Decision: {
        const std::int32_t answer = model.decision(node.id.c_str());
        i = plan.answer(node, answer);
        if (i < 0)
          throw RunError("decision " + node.id + " answered " + std::to_string(answer) +
                         " on day " + std::to_string(day) + ", and the plan defines no node " +
                         sibling_node(node.id, answer));
        break;
      }
      case PlanNode::Kind::Host:
        for (const Action& a : node.actions)
          model.write(a.target, a.copy ? model.read(a.source) : a.value);
        i = node.next;
        break;
    }
  }
}

}  // namespace

void DayRunner::start(const Scenario& scenario,
                      const std::vector<std::pair<std::size_t, Cell>>& overrides) {
  model_->initialise();
  for (const auto& [value, cell] : scenario.constants) model_->write(value, cell);
  for (const auto& [value, cell] : overrides) model_->write(value, cell);
  last_visit_.assign(plan_->nodes().size(), -1);
  day_ = 0;
  for (const PlanProcess& p : plan_->processes())
    if (p.start >= 0) walk(*model_, *plan_, p.start, 0, last_visit_);
}

void DayRunner::next_day(const DailyInputs* daily, const std::vector<bool>& skip,
                         const std::vector<double>* factors) {
  const long long day = day_ + 1;
  if (daily != nullptr) daily->apply(*model_, day, skip, factors);
  for (const PlanProcess& p : plan_->processes())
    if (p.day >= 0) walk(*model_, *plan_, p.day, day, last_visit_);
  day_ = day;
}

RunResult run_model(const Model& model, const Plan& plan, const Scenario& scenario,
                    const RunOptions& options, const std::function<void(std::string&)>& sink) {
  return run_model(model, plan, scenario, scenario.daily, options, sink);
}

RunResult run_model(const Model& model, const Plan& plan, const Scenario& scenario,
                    const DailyInputs& daily, const RunOptions& options,
                    const std::function<void(std::string&)>& sink) {
  const auto started = Clock::now();
  const Description& d = model.description();
  RunResult result;
  CsvWriter csv;
  auto flush = [&](bool always) {
    if (csv.size() > 0 && (always || csv.size() >= (1u << 16))) {
      sink(csv.buffer());
      csv.buffer().clear();
    }
  };
  if (options.write_csv) {
    csv.field("day");
    for (std::size_t v : options.variables) csv.field(d.values()[v].name);
    csv.end_row();
  }

  DayRunner runner(model, plan);
  runner.start(scenario, options.overrides);
  std::vector<bool> overridden(d.values().size(), false);
  for (const auto& [value, cell] : options.overrides) overridden[value] = true;
  const std::vector<long long>& last_visit = runner.last_visit();
  std::vector<double> factors;
  if (!options.scales.empty()) factors = daily.factors(d, options.scales);
  const std::vector<double>* scaled = options.scales.empty() ? nullptr : &factors;

  result.counted.assign(plan.counts().size(), 0);
  result.shortfall_each.assign(plan.shortfalls().size(), 0);
  for (long long day = 1; day <= options.days; ++day) {
    runner.next_day(&daily, overridden, scaled);
    for (std::size_t c = 0; c < plan.counts().size(); ++c)
      if (last_visit[static_cast<std::size_t>(plan.counts()[c].node)] == day) ++result.counted[c];
    bool shortfall = false;
    for (std::size_t c = 0; c < plan.shortfalls().size(); ++c)
      if (last_visit[static_cast<std::size_t>(plan.shortfalls()[c].node)] == day) {
        ++result.shortfall_each[c];
        shortfall = true;
      }
    if (shortfall) ++result.shortfall_days;

    if (options.write_csv && day % options.every == 0) {
      csv.number(static_cast<std::int64_t>(day));
      for (std::size_t v : options.variables) csv.cell(model.read(v));
      csv.end_row();
      flush(false);
    }
    if (options.on_day) options.on_day(day);
    if (options.on_day_figures) options.on_day_figures(day, result);
  }
  flush(true);
  result.days = options.days;
  for (std::size_t i = 0; i < plan.nodes().size(); ++i)
    if (plan.nodes()[i].kind != PlanNode::Kind::Host && last_visit[i] >= 0)
      ++result.model_nodes_visited;
  for (std::size_t v : plan.levels()) result.levels.push_back(model.read(v));
  for (std::size_t v : options.variables) result.finals.push_back(model.read(v));
  result.seconds = std::chrono::duration<double>(Clock::now() - started).count();
  return result;
}

std::string figure_text(const Cell& c) {
  return c.kind == Kind::Double ? format_double(c.d)
         : c.kind == Kind::Int  ? std::to_string(c.i)
                                : std::string(c.t ? c.t : "(null)");
}

namespace {

const Label* label_entry(const Plan& plan, const Scenario& scenario, std::size_t value) {
  return shown_label(scenario.labels, plan.labels(), value);
}

}  // namespace

std::string label_of(const Description& d, const Plan& plan, const Scenario& scenario,
                     std::size_t value) {
  const Label* l = label_entry(plan, scenario, value);
  return l && !l->label.empty() ? l->label : d.values()[value].name;
}

std::string unit_of(const Plan& plan, const Scenario& scenario, std::size_t value) {
  const Label* l = label_entry(plan, scenario, value);
  return l ? l->unit : std::string();
}

std::string label_of(const NodeCount& count) {
  if (!count.label.empty()) return count.label;
  std::string words = count.name;
  for (char& c : words)
    if (c == '_') c = ' ';
  return words;
}

std::string in_sentence(std::string label) {
  const auto upper = [](char c) { return c >= 'A' && c <= 'Z'; };
  const std::string_view first = std::string_view(label).substr(0, label.find(' '));
  const bool plain_word = std::none_of(first.begin() + (first.empty() ? 0 : 1), first.end(),
                                       [&](char c) { return upper(c) || c == '_'; });
  if (!first.empty() && upper(first[0]) && plain_word)
    label[0] = static_cast<char>(label[0] - 'A' + 'a');
  return label;
}

std::string with_unit(const std::string& figure, const std::string& unit) {
  return unit.empty() ? figure : figure + " " + unit;
}

std::string run_figures(const Description& d, const Plan& plan, const Scenario& scenario,
                        const RunResult& r) {
  std::string s = "  nodes with model code visited: " + std::to_string(r.model_nodes_visited) +
                  " of " + std::to_string(d.nodes().size()) + "\n";
  for (std::size_t i = 0; i < plan.counts().size(); ++i)
    s +=
        "  " + in_sentence(label_of(plan.counts()[i])) + ": " + std::to_string(r.counted[i]) + "\n";
  if (!plan.shortfalls().empty()) {
    s += "  shortfall days: " + std::to_string(r.shortfall_days) + " (";
    for (std::size_t i = 0; i < plan.shortfalls().size(); ++i)
      s += (i ? ", " : "") + in_sentence(label_of(plan.shortfalls()[i])) + " " +
           std::to_string(r.shortfall_each[i]);
    s += ")\n";
  }
  for (std::size_t i = 0; i < plan.levels().size(); ++i) {
    const std::size_t v = plan.levels()[i];
    s += "  final " + in_sentence(label_of(d, plan, scenario, v)) + ": " +
         with_unit(figure_text(r.levels[i]), unit_of(plan, scenario, v)) + "\n";
  }
  return s;
}

}  // namespace tds

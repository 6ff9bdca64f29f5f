#include "python_site.h"

#include <cmath>
#include <filesystem>
#include <limits>
#include <sstream>

#include "csv.h"

namespace tds {
extern const char kDefaultPlan[];
extern const char kDefaultScenario[];
extern const char kDefaultInputs[];
}  // namespace tds

namespace tds::python {

namespace fs = std::filesystem;

namespace {

std::unique_ptr<Module> load_module(const std::string& path) {
  try {
    return Module::load_private_copy(path);
  } catch (const LoadError& e) {
    throw InputError(e.what());
  }
}

Plan load_plan(const std::string& path, const Description& d) {
  if (path.empty()) return Plan::parse(kDefaultPlan, "(built-in)", d);
  return Plan::parse(read_text_file(path, "plan"), path, d);
}

Scenario load_scenario(const std::string& path, const Description& d) {
  if (path.empty())
    return Scenario::parse(kDefaultScenario, "(built-in)", d, [](const std::string& name) {
      if (name != "inputs.csv") throw InputError("scenario (built-in): no built-in file " + name);
      return std::string(kDefaultInputs);
    });
  const fs::path dir = fs::path(path).parent_path();
  return Scenario::parse(read_text_file(path, "scenario"), path, d, [&](const std::string& name) {
    return read_text_file((dir / name).string(), "per-day input table");
  });
}

}  // namespace

Site::Site(const SiteInputs& inputs)
    : inputs_(inputs),
      module_(load_module(inputs.library)),
      description_(Description::load(inputs.description)) {
  // The load-time state, recorded before anything calls into the library.
  try {
    snapshot_ = Snapshot::take(*module_);
  } catch (const LoadError& e) {
    throw InputError(std::string("cannot record the library's load-time state: ") + e.what());
  }
  try {
    model_ = std::make_unique<Model>(*module_, description_);
  } catch (const LoadError& e) {
    throw InputError(e.what());
  }
  plan_.emplace(load_plan(inputs.plan, description_));
  scenario_.emplace(load_scenario(inputs.scenario, description_));
  labels_ = shown_labels(scenario_->labels, plan_->labels());
}

std::size_t Site::value(const std::string& name, const std::string& what) const {
  const auto v = description_.find_value(name);
  if (!v)
    throw InputError(with_nearest(what + ": unknown variable " + quote_input(name),
                                  description_.nearest_values(name, &labels_)));
  return *v;
}

std::vector<std::size_t> Site::variables(const std::vector<std::string>& names, bool all,
                                         bool defaults) const {
  std::vector<std::size_t> out;
  if (defaults) return plan_->default_variables();
  if (all) {
    for (std::size_t i = 0; i < description_.values().size(); ++i) out.push_back(i);
    return out;
  }
  for (const std::string& name : names) out.push_back(value(name, "vars"));
  return out;
}

std::vector<std::pair<std::size_t, Cell>> Site::cells(const std::vector<Setting>& settings,
                                                      std::deque<std::string>& keep) const {
  std::vector<std::pair<std::size_t, Cell>> out;
  for (const Setting& s : settings) {
    const std::size_t v = value(s.name, "set");
    const Kind kind = description_.values()[v].kind;
    const std::string what = "set " + s.name;
    Cell c;
    c.kind = kind;
    switch (s.type) {
      case Setting::Type::Text:
        // A text is read as --set reads it, whatever the kind.
        c = parse_cell(kind, s.text, what, keep);
        break;
      case Setting::Type::Float:
        if (kind == Kind::Double) {
          c.d = s.d;
        } else if (kind == Kind::Int && std::isfinite(s.d) && std::floor(s.d) == s.d &&
                   s.d >= std::numeric_limits<std::int32_t>::min() &&
                   s.d <= std::numeric_limits<std::int32_t>::max()) {
          c.i = static_cast<std::int32_t>(s.d);
        } else {
          throw InputError(what + ": " + format_double(s.d) + " is not " + a_kind(kind));
        }
        break;
      case Setting::Type::Integer:
        if (kind == Kind::Double) {
          c.d = static_cast<double>(s.i);
        } else if (kind == Kind::Int && s.i >= std::numeric_limits<std::int32_t>::min() &&
                   s.i <= std::numeric_limits<std::int32_t>::max()) {
          c.i = static_cast<std::int32_t>(s.i);
        } else {
          throw InputError(what + ": " + std::to_string(s.i) + " is not " + a_kind(kind));
        }
        break;
    }
    out.emplace_back(v, c);
  }
  return out;
}

std::vector<std::pair<std::size_t, double>> Site::scales(
    const std::vector<std::pair<std::string, double>>& factors) const {
  std::vector<std::pair<std::size_t, double>> out;
  for (const auto& [name, factor] : factors) {
    const std::size_t v = value(name, "scale");
    check_scaled(description_, scenario_->daily, v, "scale " + name);
    if (!std::isfinite(factor))
      throw InputError("scale " + name + ": " + format_double(factor) + " is not a finite number");
    out.emplace_back(v, factor);
  }
  return out;
}

void Site::batch(const std::vector<BatchCase>& cases, BatchOptions options,
                 const std::function<void(std::size_t, CaseOutcome&&)>& on_result) const {
  // Workers are forks of this process: they start from the load-time state
  // whatever ran here before, and restore it between cases.
  exclusive([&](const Model& model, const Plan& plan, const Scenario& scenario,
                const Snapshot& snapshot) {
    options.snapshot = &snapshot;
    run_batch(model, plan, scenario, cases, options, on_result);
  });
}

Columns Site::run(const RunOptions& options) const {
  const std::lock_guard<std::mutex> lock(running_);
  Columns out;
  out.variables = options.variables;
  const std::size_t n = options.variables.size();
  out.doubles.resize(n);
  out.ints.resize(n);
  out.texts.resize(n);
  const std::size_t rows = static_cast<std::size_t>(options.days / options.every);
  out.days.reserve(rows);
  for (std::size_t c = 0; c < n; ++c) {
    switch (description_.values()[options.variables[c]].kind) {
      case Kind::Double:
        out.doubles[c].reserve(rows);
        break;
      case Kind::Int:
        out.ints[c].reserve(rows);
        break;
      case Kind::Text:
        out.texts[c].reserve(rows);
        break;
    }
  }
  RunOptions o = options;
  o.write_csv = false;
  o.on_day = [&](long long day) {
    if (day % options.every != 0) return;
    out.days.push_back(day);
    for (std::size_t c = 0; c < n; ++c) {
      const Cell cell = model_->read(options.variables[c]);
      switch (cell.kind) {
        case Kind::Double:
          out.doubles[c].push_back(cell.d);
          break;
        case Kind::Int:
          out.ints[c].push_back(cell.i);
          break;
        case Kind::Text:
          out.texts[c].push_back(cell.t ? std::optional<std::string>(cell.t) : std::nullopt);
          break;
      }
    }
  };
  snapshot_->restore();
  out.result = run_model(*model_, *plan_, *scenario_, o, [](std::string&) {});
  return out;
}

std::string Site::info() const {
  std::size_t slots = 0;
  for (const ValueInfo& v : description_.values()) slots += v.slot;
  std::ostringstream out;
  out << description_.model() << " " << description_.version() << "\n"
      << "  library      " << inputs_.library << "\n"
      << "  description  " << inputs_.description << "\n"
      << "  values       " << description_.values().size() << " ("
      << description_.values().size() - slots << " variables, " << slots
      << " signal parameter slots)\n"
      << "  nodes        " << description_.nodes().size() << " with model code\n"
      << "  plan         " << plan_->source() << ": " << plan_->processes().size() << " processes, "
      << plan_->nodes().size() << " nodes\n"
      << "  scenario     " << scenario_->source << ": " << scenario_->constants.size()
      << " constants, " << scenario_->daily.columns().size() << " per-day inputs";
  if (scenario_->cycle > 0) out << " repeating every " << scenario_->cycle << " days";
  out << "\n";
  return out.str();
}

}  // namespace tds::python

#include "python_site.h"

#include <cmath>
#include <limits>
#include <sstream>

#include "csv.h"

namespace tds::python {

Site::Site(const SiteInputs& inputs) : inputs_(inputs) {
  site_.load_module(inputs.library, true);
  site_.load_description(inputs.description);
  // The load-time state, recorded before anything calls into the library.
  try {
    site_.take_snapshot();
  } catch (const LoadError& e) {
    throw InputError(std::string("cannot record the library's load-time state: ") + e.what());
  }
  site_.bind();
  site_.read_plan(tds::Site::given_plan(inputs.plan));
  site_.read_scenario(inputs.scenario);
}

std::size_t Site::value(const std::string& name, const std::string& what) const {
  return value_named(description(), name, what + ": ", &site_.labels(), NameShown::Quoted);
}

std::vector<std::size_t> Site::variables(const std::vector<std::string>& names, bool all,
                                         bool defaults) const {
  std::vector<std::size_t> out;
  if (defaults) return plan().default_variables();
  if (all) {
    for (std::size_t i = 0; i < description().values().size(); ++i) out.push_back(i);
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
    const Kind kind = description().values()[v].kind;
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
    check_scaled(description(), scenario().daily, v, "scale " + name);
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
    switch (description().values()[options.variables[c]].kind) {
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
      const Cell cell = model().read(options.variables[c]);
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
  site_.snapshot()->restore();
  out.result = run_model(model(), plan(), scenario(), o, [](std::string&) {});
  return out;
}

std::string Site::info() const {
  std::size_t slots = 0;
  for (const ValueInfo& v : description().values()) slots += v.slot;
  std::ostringstream out;
  out << description().model() << " " << description().version() << "\n"
      << "  library      " << inputs_.library << "\n"
      << "  description  " << inputs_.description << "\n"
      << "  values       " << description().values().size() << " ("
      << description().values().size() - slots << " variables, " << slots
      << " signal parameter slots)\n"
      << "  nodes        " << description().nodes().size() << " with model code\n"
      << "  plan         " << plan().source() << ": " << plan().processes().size() << " processes, "
      << plan().nodes().size() << " nodes\n"
      << "  scenario     " << scenario().source << ": " << scenario().constants.size()
      << " constants, " << scenario().daily.columns().size() << " per-day inputs";
  if (scenario().cycle > 0) out << " repeating every " << scenario().cycle << " days";
  out << "\n";
  return out.str();
}

}  // namespace tds::python

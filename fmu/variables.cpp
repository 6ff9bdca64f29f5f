#include "variables.h"

#include <cstdio>
#include <set>

#include "csv.h"

namespace tds::fmu {

namespace {

Type type_of(Kind k) {
  switch (k) {
    case Kind::Double:
      return Type::Real;
    case Kind::Int:
      return Type::Integer;
    case Kind::Text:
      break;
  }
  return Type::String;
}

// A start value in the form an importer reads back to the same value: the
// shortest round-trip text of a double, the decimal int, the text itself.
std::string start_text(const Cell& c) {
  switch (c.kind) {
    case Kind::Double:
      return format_double(c.d);
    case Kind::Int:
      return std::to_string(c.i);
    case Kind::Text:
      break;
  }
  return c.t != nullptr ? c.t : "";
}

}  // namespace

std::vector<Variable> variables(const Description& d, const Plan& plan, const Scenario& scenario,
                                bool with_time) {
  const auto& values = d.values();
  std::set<std::size_t> inputs(scenario.daily.columns().begin(), scenario.daily.columns().end());
  std::set<std::size_t> outputs(plan.default_variables().begin(), plan.default_variables().end());
  std::vector<std::optional<std::string>> constant(values.size());
  for (const auto& [value, cell] : scenario.constants) constant[value] = start_text(cell);

  std::vector<Variable> out;
  out.reserve(values.size() + 2);
  std::deque<std::string> keep;
  for (std::size_t v = 0; v < values.size(); ++v) {
    const ValueInfo& info = values[v];
    Variable var{info.name, type_of(info.kind), Causality::Local, std::nullopt, {}, v};
    std::optional<std::string> initial;
    if (info.initial) initial = start_text(parse_cell(info.kind, *info.initial, info.name, keep));
    std::string process;
    for (const ProcessInfo& p : d.processes())
      if (p.number == info.process) process = p.name + " (block " + p.block + ")";
    std::string what = std::string(info.slot ? "signal parameter slot" : "variable") +
                       " of the process " + process;
    if (inputs.count(v) != 0) {
      var.causality = Causality::Input;
      var.start = constant[v] ? constant[v] : initial;
      if (!var.start) var.start = info.kind == Kind::Text ? "" : "0";
      what += "; input: the scenario's per-day table gives it each day";
    } else if (constant[v]) {
      var.causality = Causality::Parameter;
      var.start = constant[v];
      what += "; the scenario sets it after IniModel";
    } else if (outputs.count(v) != 0) {
      var.causality = Causality::Output;
      what += "; one of the plan's output variables";
    } else {
      var.start = initial;
    }
    var.description = what;
    out.push_back(std::move(var));
  }
  Variable use{"useScenarioInputs",
               Type::Boolean,
               Causality::Parameter,
               "true",
               "true: the scenario's per-day table drives the inputs that the importer does not "
               "set; false: every input holds the value the importer gives it",
               std::nullopt,
               Variable::Own::UseScenarioInputs};
  out.push_back(std::move(use));
  if (with_time)
    out.push_back({"time", Type::Real, Causality::Independent, std::nullopt,
                   "simulated time in seconds; one day is 86400 s", std::nullopt,
                   Variable::Own::Time});
  return out;
}

const char* causality_name(Causality c) {
  switch (c) {
    case Causality::Input:
      return "input";
    case Causality::Output:
      return "output";
    case Causality::Parameter:
      return "parameter";
    case Causality::Local:
      return "local";
    case Causality::Independent:
      break;
  }
  return "independent";
}

// By Type: the FMI 2.0 and the FMI 3.0 name.
constexpr const char* kTypeNames[][2] = {
    {"Real", "Float64"}, {"Integer", "Int32"}, {"Boolean", "Boolean"}, {"String", "String"}};

const char* fmi2_type_name(Type t) { return kTypeNames[static_cast<int>(t)][0]; }
const char* fmi3_type_name(Type t) { return kTypeNames[static_cast<int>(t)][1]; }

std::string token(const std::vector<std::string>& resource_texts) {
  // Two FNV-1a digests with different offsets over the texts, each preceded
  // by its length so that moving bytes between texts changes the digest.
  std::uint64_t h[2] = {0xcbf29ce484222325ull, 0x84222325cbf29ce4ull};
  auto feed = [&](unsigned char byte) {
    for (auto& x : h) x = (x ^ byte) * 0x100000001b3ull;
  };
  for (const std::string& text : resource_texts) {
    std::uint64_t n = text.size();
    for (int i = 0; i < 8; ++i) feed(static_cast<unsigned char>(n >> (8 * i)));
    for (char c : text) feed(static_cast<unsigned char>(c));
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08x-%04x-%04x-%04x-%012llx}", static_cast<unsigned>(h[0] >> 32),
                static_cast<unsigned>((h[0] >> 16) & 0xffff), static_cast<unsigned>(h[0] & 0xffff),
                static_cast<unsigned>(h[1] >> 48),
                static_cast<unsigned long long>(h[1] & 0xffffffffffffull));
  return buf;
}

}  // namespace tds::fmu

// --version, --list and --info: what tarvello-run has found, and no run.
#include <ostream>
#include <sstream>
#include <string_view>

#include "cases.h"
#include "cli_context.h"
#include "csv.h"
#include "output.h"

namespace tds {

namespace {

// A glob with * and ?; a pattern without either matches names that contain it.
bool matches(std::string_view pattern, std::string_view name) {
  if (pattern.find_first_of("*?") == std::string_view::npos)
    return name.find(pattern) != std::string_view::npos;
  std::size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

void print_info(std::ostream& out, const Description& d, const Located& at, const Plan& plan,
                const Scenario& scenario) {
  std::size_t slots = 0, initial = 0, kinds[3] = {0, 0, 0}, decisions = 0;
  for (const ValueInfo& v : d.values()) {
    slots += v.slot;
    initial += v.initial.has_value();
    ++kinds[static_cast<int>(v.kind)];
  }
  for (const NodeInfo& n : d.nodes()) decisions += n.decision;
  out << d.model() << " " << d.version() << "\n"
      << "  module       " << at.module << "\n"
      << "  description  " << at.description << "\n"
      << "  values       " << d.values().size() << " (" << d.values().size() - slots
      << " variables, " << slots << " signal parameter slots; " << kinds[0] << " double, "
      << kinds[1] << " int, " << kinds[2] << " text), " << initial << " with an initial value\n"
      << "  nodes        " << d.nodes().size() << " with model code (" << decisions
      << " decisions, " << d.nodes().size() - decisions << " tasks)\n"
      << "  processes    " << d.processes().size() << "\n";
  for (const ProcessInfo& p : d.processes()) {
    out << "    " << p.number << " " << p.name << " (block " << p.block << "):";
    const char* separator = " ";
    for (const NodeInfo& n : d.nodes())
      if (n.process == p.number) {
        out << separator << n.id << (n.decision ? " (decision)" : "");
        separator = ", ";
      }
    if (*separator == ' ') out << " no nodes with model code";
    out << "\n";
  }
  std::size_t host_nodes = 0;
  for (const PlanNode& n : plan.nodes()) host_nodes += n.kind == PlanNode::Kind::Host;
  // Each entry in plain words with the name that options and files take in
  // parentheses, one list per heading.
  const auto list = [&out](const char* heading, const std::vector<std::string>& entries) {
    std::string indent = std::string("    ") + heading;
    indent.resize(17, ' ');
    for (const std::string& e : entries) {
      out << indent << e << "\n";
      indent.assign(17, ' ');
    }
  };
  const auto value = [&](std::size_t v) {
    const std::string unit = unit_of(plan, scenario, v);
    return label_of(d, plan, scenario, v) + (unit.empty() ? "" : ", " + unit) + " (" +
           d.values()[v].name + ")";
  };
  const auto counts = [](const std::vector<NodeCount>& of) {
    std::vector<std::string> entries;
    entries.reserve(of.size());
    for (const NodeCount& c : of) entries.push_back(label_of(c) + " (" + c.name + ")");
    return entries;
  };
  const auto values = [&](const std::vector<std::size_t>& of) {
    std::vector<std::string> entries;
    entries.reserve(of.size());
    for (std::size_t v : of) entries.push_back(value(v));
    return entries;
  };
  out << "  plan         " << plan.source() << ": " << plan.processes().size() << " processes, "
      << plan.nodes().size() << " nodes (" << host_nodes << " without model code)\n";
  list("counts", counts(plan.counts()));
  list("shortfalls", counts(plan.shortfalls()));
  list("levels", values(plan.levels()));
  list("columns", values(plan.default_variables()));
  out << "  scenario     " << scenario.source << ": " << scenario.constants.size() << " constants, "
      << scenario.daily.columns().size() << " per-day inputs";
  if (scenario.cycle > 0) out << " repeating every " << scenario.cycle << " days";
  out << "\n";
  std::vector<std::string> constants;
  for (const auto& [v, cell] : scenario.constants) {
    const std::string unit = unit_of(plan, scenario, v);
    constants.push_back(label_of(d, plan, scenario, v) + " (" + d.values()[v].name +
                        "): " + with_unit(figure_text(cell), unit));
  }
  list("constants", constants);
  list("per-day", values(scenario.daily.columns()));
}

void print_list(std::ostream& out, const Description& d, const std::string& pattern) {
  CsvWriter csv;
  csv.field("name");
  csv.field("kind");
  csv.field("initial");
  csv.end_row();
  for (const ValueInfo& v : d.values()) {
    if (!matches(pattern, v.name)) continue;
    csv.field(v.name);
    csv.field(kind_name(v.kind));
    if (!v.initial)
      csv.field("");
    else if (v.kind == Kind::Text)
      csv.text(v.initial->c_str());
    else
      csv.field(*v.initial);
    csv.end_row();
  }
  out << csv.buffer();
}

}  // namespace

// What --version prints: this program's version, and the model's name and
// version with the digest of its description (the one that study and sweep
// records keep), each with the file it came from. It loads no module and
// runs nothing; a model that cannot be found is reported on its line, since
// that is when one asks.
std::string version_text(const Options& o) {
  std::string out = std::string(kProgram) + " " + TDS_VERSION + "\n";
  try {
    const SiteText plan = Site::given_plan(o.plan);
    const Located at =
        locate(model_of(Plan::read_json(plan.text, plan.source)), o.library, o.description);
    const std::string text = read_text_file(at.description, "model description");
    const Description d = Description::parse(text, at.description);
    out += "model " + d.model() + " " + d.version() + " (" + at.module + ")\n";
    out += "description fnv1a64:" + hex_digest(text) + " (" + at.description + ")\n";
  } catch (const InputError& e) {
    out += std::string("model: unknown (") + e.what() + ")\n";
  }
  return out;
}

int list_command(const Options& o, const Loaded& loaded) {
  std::ostringstream list;
  print_list(list, loaded.site.description(), o.list);
  write_stdout(list.str());
  return 0;
}

int info_command(const Loaded& loaded) {
  std::ostringstream info;
  print_info(info, loaded.site.description(), loaded.at, loaded.site.plan(),
             loaded.site.scenario());
  write_stdout(info.str());
  return 0;
}

}  // namespace tds

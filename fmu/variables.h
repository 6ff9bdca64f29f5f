// The FMU's variables: how the model's values appear to an FMI importer.
//
// Every value of the description is one scalar variable; its value reference
// is its position in the description. Causality and variability follow from
// the plan and the scenario:
//   - a column of the scenario's per-day table is an input (discrete), the
//     value the model sees that day;
//   - one of the plan's output variables is an output (discrete), computed
//     by the model, with no start value;
//   - a constant of the scenario is a fixed parameter, its start value the
//     scenario's;
//   - any other value is local: with a start value (exact) when IniModel
//     gives it one, calculated otherwise.
// After the values come the variables of the FMU itself: the Boolean
// parameter useScenarioInputs and, for FMI 3.0, the independent variable
// time.
#ifndef TDS_FMU_VARIABLES_H
#define TDS_FMU_VARIABLES_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "description.h"
#include "plan.h"
#include "scenario.h"

namespace tds::fmu {

enum class Causality { Input, Output, Parameter, Local, Independent };
enum class Type { Real, Integer, Boolean, String };

struct Variable {
  std::string name;
  Type type;
  Causality causality;
  std::optional<std::string> start;  // as the description or the scenario gives it
  std::string description;
  std::optional<std::size_t> value;  // the description's value, or none for the FMU's own
  enum class Own { None, UseScenarioInputs, Time } own = Own::None;
};

// The variables in value-reference order, with or without time (FMI 3.0).
std::vector<Variable> variables(const Description& d, const Plan& plan, const Scenario& scenario,
                                bool with_time);

const char* causality_name(Causality c);
const char* fmi2_type_name(Type t);  // Real, Integer, Boolean, String
const char* fmi3_type_name(Type t);  // Float64, Int32, Boolean, String

// The token that ties a modelDescription.xml to its binaries: a digest of
// the resources it was generated from, "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}".
std::string token(const std::vector<std::string>& resource_texts);

// The resource files, in the order token() digests them.
inline const std::vector<std::string>& resource_names() {
  static const std::vector<std::string> names = {"TarvelloDemoSite.json", "plan.json",
                                                 "scenario.json", "inputs.csv"};
  return names;
}

}  // namespace tds::fmu

#endif  // TDS_FMU_VARIABLES_H

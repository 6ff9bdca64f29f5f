// A study's method: one of the method units' option types, each with its
// name in the study file, whether its cases are one batch known beforehand,
// and its reading and checks (method_morris.h, method_sobol.h, method_lhs.h,
// method_nsga2.h, method_robust.h). A method unit also holds the method's design, its case
// count and its tables; study.h dispatches to them.
#ifndef TDS_ENGINE_STUDY_METHOD_H
#define TDS_ENGINE_STUDY_METHOD_H

#include <string>
#include <variant>
#include <vector>

#include "method_lhs.h"
#include "method_morris.h"
#include "method_nsga2.h"
#include "method_robust.h"
#include "method_sobol.h"

namespace tds::study {

// In the order of the study file's schema: morris, sobol, lhs, nsga2, robust.
using Method =
    std::variant<MorrisOptions, SobolOptions, LhsOptions, Nsga2StudyOptions, RobustOptions>;

// The method's name in the study file ("morris", "sobol", "lhs", "nsga2",
// "robust").
const char* method_name(const Method& m);
// Whether the method's cases are one batch known beforehand (morris, sobol,
// lhs, robust), which can then be split into shards.
bool one_batch(const Method& m);
// The tables that a study of any method writes beside samples.csv and
// results.csv: each method unit's kTables, in the order of the methods.
std::vector<std::string> method_tables();

}  // namespace tds::study

#endif  // TDS_ENGINE_STUDY_METHOD_H

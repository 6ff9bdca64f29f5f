// The built-in default plan, scenario and per-day inputs: the files in
// host/defaults/, compiled into the engine for every front end.
#ifndef TDS_ENGINE_DEFAULTS_H
#define TDS_ENGINE_DEFAULTS_H

namespace tds {

extern const char kDefaultPlan[];
extern const char kDefaultScenario[];
extern const char kDefaultInputs[];

}  // namespace tds

#endif  // TDS_ENGINE_DEFAULTS_H

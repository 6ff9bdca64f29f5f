// The built-in default plan, scenario and per-day inputs: the files in
// host/defaults/, compiled into the host.
#ifndef TDS_HOST_DEFAULTS_H
#define TDS_HOST_DEFAULTS_H

namespace tds {

extern const char kDefaultPlan[];
extern const char kDefaultScenario[];
extern const char kDefaultInputs[];

}  // namespace tds

#endif  // TDS_HOST_DEFAULTS_H

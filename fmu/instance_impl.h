// What the instance's source files share and the FMI wrappers do not see:
// a saved state's contents, and times as messages show them.
#ifndef TDS_FMU_INSTANCE_IMPL_H
#define TDS_FMU_INSTANCE_IMPL_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "instance.h"
#include "model.h"
#include "snapshot.h"

namespace tds::fmu {

// A time in messages: its shortest digits, then " s".
std::string seconds(double t);

// A value held by a saved state: its index and its cell, a text by its
// contents.
struct Held {
  std::size_t value = 0;
  Kind kind = Kind::Double;
  double d = 0.0;
  std::int32_t i = 0;
  bool null = false;
  std::string text;
};

// What the importer's state handle points to: the model module's memory as
// it differs from the load-time snapshot, the instance's mode, times, day
// and flags, the values set before step mode and those the importer drives,
// and the texts the model holds.
struct SavedState {
  std::vector<Snapshot::Word> memory;
  Mode mode = Mode::Instantiated;
  double start_time = 0.0, time = 0.0;
  std::optional<double> stop_time;
  long long day = 0;
  bool use_scenario_inputs = true, dirty = false;
  std::vector<Held> overrides, driven, texts;
};

}  // namespace tds::fmu

#endif  // TDS_FMU_INSTANCE_IMPL_H

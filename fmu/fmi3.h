// The FMI 3.0 types that the site's co-simulation FMU uses, declared for
// this project from the standard's documents.
#ifndef TDS_FMU_FMI3_H
#define TDS_FMU_FMI3_H

#include <cstddef>
#include <cstdint>

extern "C" {

using fmi3Instance = void*;
using fmi3InstanceEnvironment = void*;
using fmi3FMUState = void*;
using fmi3ValueReference = std::uint32_t;
using fmi3Float32 = float;
using fmi3Float64 = double;
using fmi3Int8 = std::int8_t;
using fmi3UInt8 = std::uint8_t;
using fmi3Int16 = std::int16_t;
using fmi3UInt16 = std::uint16_t;
using fmi3Int32 = std::int32_t;
using fmi3UInt32 = std::uint32_t;
using fmi3Int64 = std::int64_t;
using fmi3UInt64 = std::uint64_t;
using fmi3Boolean = bool;
using fmi3Char = char;
using fmi3String = const fmi3Char*;
using fmi3Byte = std::uint8_t;
using fmi3Binary = const fmi3Byte*;
using fmi3Clock = bool;

enum fmi3Status { fmi3OK, fmi3Warning, fmi3Discard, fmi3Error, fmi3Fatal };
enum fmi3DependencyKind {
  fmi3Independent,
  fmi3Constant,
  fmi3Fixed,
  fmi3Tunable,
  fmi3Discrete,
  fmi3Dependent
};
enum fmi3IntervalQualifier { fmi3IntervalNotYetKnown, fmi3IntervalUnchanged, fmi3IntervalChanged };

using fmi3LogMessageCallback = void (*)(fmi3InstanceEnvironment, fmi3Status status,
                                        fmi3String category, fmi3String message);
using fmi3IntermediateUpdateCallback = void (*)(fmi3InstanceEnvironment, fmi3Float64 time,
                                                fmi3Boolean set_requested, fmi3Boolean get_allowed,
                                                fmi3Boolean step_finished,
                                                fmi3Boolean can_return_early,
                                                fmi3Boolean* early_return_requested,
                                                fmi3Float64* early_return_time);
}

#endif  // TDS_FMU_FMI3_H

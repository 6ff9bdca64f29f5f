// The site as an FMI 3.0 co-simulation FMU, on the same instance as the FMI
// 2.0 one: each function checks the shape of its arguments and hands the
// work to the instance, which checks the mode.
#include "fmi3Functions.h"

#include <memory>
#include <optional>
#include <string>

#include "export.h"
#include "instance.h"

namespace {

using tds::fmu::bit;
using tds::fmu::Instance;
using tds::fmu::Mode;
using tds::fmu::Refusal;

struct Component {
  fmi3InstanceEnvironment environment = nullptr;
  fmi3LogMessageCallback log = nullptr;
  std::unique_ptr<Instance> instance;
};

template <class F>
fmi3Status call(fmi3Instance c, const char* function, unsigned modes, F&& work) {
  auto* comp = static_cast<Component*>(c);
  if (comp == nullptr || !comp->instance) return fmi3Error;
  return comp->instance->guarded(function, modes, work) == tds::fmu::Status::Ok ? fmi3OK
                                                                                : fmi3Error;
}

constexpr unsigned kAny = tds::fmu::kAnyMode;
constexpr unsigned kNone = 0;
constexpr unsigned kSet = bit(Mode::Instantiated) | bit(Mode::Initialization) | bit(Mode::Step);
constexpr unsigned kGet =
    bit(Mode::Initialization) | bit(Mode::Step) | bit(Mode::Terminated) | bit(Mode::Error);
constexpr unsigned kGetState =
    bit(Mode::Instantiated) | bit(Mode::Initialization) | bit(Mode::Step) | bit(Mode::Terminated);

void scalars(std::size_t n_refs, std::size_t n_values) {
  if (n_refs != n_values)
    throw Refusal(std::to_string(n_values) + " values for " + std::to_string(n_refs) +
                  " value references: every variable of this FMU is a scalar");
}

fmi3Instance refuse_instance(fmi3InstanceEnvironment environment, fmi3LogMessageCallback log,
                             const char* function, const std::string& why) {
  if (log != nullptr)
    log(environment, fmi3Error, "logStatusError", (function + (": " + why)).c_str());
  return nullptr;
}

}  // namespace

TDS_FMI_EXPORT const char* fmi3GetVersion() { return "3.0"; }

TDS_FMI_EXPORT fmi3Instance fmi3InstantiateCoSimulation(
    fmi3String name, fmi3String token, fmi3String resources, fmi3Boolean /*visible*/,
    fmi3Boolean logging_on, fmi3Boolean event_mode_used, fmi3Boolean /*early_return_allowed*/,
    const fmi3ValueReference[], std::size_t, fmi3InstanceEnvironment environment,
    fmi3LogMessageCallback log, fmi3IntermediateUpdateCallback) {
  const char* f = "fmi3InstantiateCoSimulation";
  if (name == nullptr || *name == '\0')
    return refuse_instance(environment, log, f, "the instance name is empty");
  if (token == nullptr)
    return refuse_instance(environment, log, f, "the instantiation token is null");
  if (event_mode_used)
    return refuse_instance(environment, log, f,
                           "this FMU has no event mode (hasEventMode is false)");
  try {
    auto comp = std::make_unique<Component>();
    comp->environment = environment;
    comp->log = log;
    Component* raw = comp.get();
    auto logger = [raw](bool error, const char* category, const std::string& text) {
      if (raw->log != nullptr)
        raw->log(raw->environment, error ? fmi3Error : fmi3OK, category, text.c_str());
    };
    const std::string binary = tds::fmu::binary_directory();
    const std::string at = resources != nullptr && *resources != '\0'
                               ? std::string(resources)
                               : tds::fmu::resources_beside(binary);
    comp->instance = std::make_unique<Instance>(binary, at, token, logger, logging_on,
                                                /*with_time=*/true);
    return comp.release();
  } catch (const std::exception& e) {
    return refuse_instance(environment, log, f, e.what());
  } catch (...) {
    return refuse_instance(environment, log, f, "an unexpected failure");
  }
}

TDS_FMI_EXPORT fmi3Instance fmi3InstantiateModelExchange(fmi3String, fmi3String, fmi3String,
                                                         fmi3Boolean, fmi3Boolean,
                                                         fmi3InstanceEnvironment environment,
                                                         fmi3LogMessageCallback log) {
  return refuse_instance(environment, log, "fmi3InstantiateModelExchange",
                         "this FMU supports co-simulation only");
}

TDS_FMI_EXPORT void fmi3FreeInstance(fmi3Instance c) { delete static_cast<Component*>(c); }

TDS_FMI_EXPORT fmi3Status fmi3SetDebugLogging(fmi3Instance c, fmi3Boolean on, std::size_t n,
                                              const fmi3String categories[]) {
  return call(c, "fmi3SetDebugLogging", kAny,
              [&](Instance& i) { i.set_debug_logging(on, n, categories); });
}

TDS_FMI_EXPORT fmi3Status fmi3EnterInitializationMode(fmi3Instance c, fmi3Boolean, fmi3Float64,
                                                      fmi3Float64 start, fmi3Boolean stop_defined,
                                                      fmi3Float64 stop) {
  return call(c, "fmi3EnterInitializationMode", bit(Mode::Instantiated), [&](Instance& i) {
    i.setup(start, stop_defined ? std::optional<double>(stop) : std::nullopt);
    i.enter_initialization();
  });
}
TDS_FMI_EXPORT fmi3Status fmi3ExitInitializationMode(fmi3Instance c) {
  return call(c, "fmi3ExitInitializationMode", bit(Mode::Initialization),
              [&](Instance& i) { i.exit_initialization(); });
}
TDS_FMI_EXPORT fmi3Status fmi3Terminate(fmi3Instance c) {
  return call(c, "fmi3Terminate", bit(Mode::Step), [&](Instance& i) { i.terminate(); });
}
TDS_FMI_EXPORT fmi3Status fmi3Reset(fmi3Instance c) {
  return call(c, "fmi3Reset", kAny, [&](Instance& i) { i.reset(); });
}

TDS_FMI_EXPORT fmi3Status fmi3GetFloat64(fmi3Instance c, const fmi3ValueReference vr[],
                                         std::size_t n, fmi3Float64 values[], std::size_t nv) {
  return call(c, "fmi3GetFloat64", kGet, [&](Instance& i) {
    scalars(n, nv);
    i.get_reals(vr, n, values);
  });
}
TDS_FMI_EXPORT fmi3Status fmi3GetInt32(fmi3Instance c, const fmi3ValueReference vr[], std::size_t n,
                                       fmi3Int32 values[], std::size_t nv) {
  return call(c, "fmi3GetInt32", kGet, [&](Instance& i) {
    scalars(n, nv);
    i.get_integers(vr, n, values);
  });
}
TDS_FMI_EXPORT fmi3Status fmi3GetBoolean(fmi3Instance c, const fmi3ValueReference vr[],
                                         std::size_t n, fmi3Boolean values[], std::size_t nv) {
  return call(c, "fmi3GetBoolean", kGet, [&](Instance& i) {
    scalars(n, nv);
    i.get_booleans(vr, n, values);
  });
}
TDS_FMI_EXPORT fmi3Status fmi3GetString(fmi3Instance c, const fmi3ValueReference vr[],
                                        std::size_t n, fmi3String values[], std::size_t nv) {
  return call(c, "fmi3GetString", kGet, [&](Instance& i) {
    scalars(n, nv);
    i.get_strings(vr, n, values);
  });
}
TDS_FMI_EXPORT fmi3Status fmi3SetFloat64(fmi3Instance c, const fmi3ValueReference vr[],
                                         std::size_t n, const fmi3Float64 values[],
                                         std::size_t nv) {
  return call(c, "fmi3SetFloat64", kSet, [&](Instance& i) {
    scalars(n, nv);
    i.set_reals(vr, n, values);
  });
}
TDS_FMI_EXPORT fmi3Status fmi3SetInt32(fmi3Instance c, const fmi3ValueReference vr[], std::size_t n,
                                       const fmi3Int32 values[], std::size_t nv) {
  return call(c, "fmi3SetInt32", kSet, [&](Instance& i) {
    scalars(n, nv);
    i.set_integers(vr, n, values);
  });
}
TDS_FMI_EXPORT fmi3Status fmi3SetBoolean(fmi3Instance c, const fmi3ValueReference vr[],
                                         std::size_t n, const fmi3Boolean values[],
                                         std::size_t nv) {
  return call(c, "fmi3SetBoolean", kSet, [&](Instance& i) {
    scalars(n, nv);
    i.set_booleans(vr, n, values);
  });
}
TDS_FMI_EXPORT fmi3Status fmi3SetString(fmi3Instance c, const fmi3ValueReference vr[],
                                        std::size_t n, const fmi3String values[], std::size_t nv) {
  return call(c, "fmi3SetString", kSet, [&](Instance& i) {
    scalars(n, nv);
    i.set_strings(vr, n, values);
  });
}

// The types of which the FMU has no variables: any value reference is
// refused, naming its real type.
#define TDS_FMI3_NO_VARIABLES(Name, Type)                                                      \
  TDS_FMI_EXPORT fmi3Status fmi3Get##Name(fmi3Instance c, const fmi3ValueReference vr[],       \
                                          std::size_t n, Type[], std::size_t) {                \
    return call(c, "fmi3Get" #Name, kGet, [&](Instance& i) { i.no_such_type(vr, n, #Name); }); \
  }                                                                                            \
  TDS_FMI_EXPORT fmi3Status fmi3Set##Name(fmi3Instance c, const fmi3ValueReference vr[],       \
                                          std::size_t n, const Type[], std::size_t) {          \
    return call(c, "fmi3Set" #Name, kSet, [&](Instance& i) { i.no_such_type(vr, n, #Name); }); \
  }
TDS_FMI3_NO_VARIABLES(Float32, fmi3Float32)
TDS_FMI3_NO_VARIABLES(Int8, fmi3Int8)
TDS_FMI3_NO_VARIABLES(UInt8, fmi3UInt8)
TDS_FMI3_NO_VARIABLES(Int16, fmi3Int16)
TDS_FMI3_NO_VARIABLES(UInt16, fmi3UInt16)
TDS_FMI3_NO_VARIABLES(UInt32, fmi3UInt32)
TDS_FMI3_NO_VARIABLES(Int64, fmi3Int64)
TDS_FMI3_NO_VARIABLES(UInt64, fmi3UInt64)
#undef TDS_FMI3_NO_VARIABLES

TDS_FMI_EXPORT fmi3Status fmi3GetBinary(fmi3Instance c, const fmi3ValueReference vr[],
                                        std::size_t n, std::size_t[], fmi3Binary[], std::size_t) {
  return call(c, "fmi3GetBinary", kGet, [&](Instance& i) { i.no_such_type(vr, n, "Binary"); });
}
TDS_FMI_EXPORT fmi3Status fmi3SetBinary(fmi3Instance c, const fmi3ValueReference vr[],
                                        std::size_t n, const std::size_t[], const fmi3Binary[],
                                        std::size_t) {
  return call(c, "fmi3SetBinary", kSet, [&](Instance& i) { i.no_such_type(vr, n, "Binary"); });
}
TDS_FMI_EXPORT fmi3Status fmi3GetClock(fmi3Instance c, const fmi3ValueReference vr[], std::size_t n,
                                       fmi3Clock[]) {
  return call(c, "fmi3GetClock", kGet, [&](Instance& i) { i.no_such_type(vr, n, "Clock"); });
}
TDS_FMI_EXPORT fmi3Status fmi3SetClock(fmi3Instance c, const fmi3ValueReference vr[], std::size_t n,
                                       const fmi3Clock[]) {
  return call(c, "fmi3SetClock", kSet, [&](Instance& i) { i.no_such_type(vr, n, "Clock"); });
}

TDS_FMI_EXPORT fmi3Status fmi3GetFMUState(fmi3Instance c, fmi3FMUState* state) {
  return call(c, "fmi3GetFMUState", kGetState, [&](Instance& i) { i.get_state(state); });
}
TDS_FMI_EXPORT fmi3Status fmi3SetFMUState(fmi3Instance c, fmi3FMUState state) {
  return call(c, "fmi3SetFMUState", kAny, [&](Instance& i) { i.set_state(state); });
}
TDS_FMI_EXPORT fmi3Status fmi3FreeFMUState(fmi3Instance c, fmi3FMUState* state) {
  return call(c, "fmi3FreeFMUState", kAny, [&](Instance&) { Instance::free_state(state); });
}
TDS_FMI_EXPORT fmi3Status fmi3SerializedFMUStateSize(fmi3Instance c, fmi3FMUState state,
                                                     std::size_t* size) {
  return call(c, "fmi3SerializedFMUStateSize", kAny,
              [&](Instance& i) { i.serialized_size(state, size); });
}
TDS_FMI_EXPORT fmi3Status fmi3SerializeFMUState(fmi3Instance c, fmi3FMUState state,
                                                fmi3Byte bytes[], std::size_t size) {
  return call(c, "fmi3SerializeFMUState", kAny,
              [&](Instance& i) { i.serialize(state, bytes, size); });
}
TDS_FMI_EXPORT fmi3Status fmi3DeserializeFMUState(fmi3Instance c, const fmi3Byte bytes[],
                                                  std::size_t size, fmi3FMUState* state) {
  return call(c, "fmi3DeserializeFMUState", kAny,
              [&](Instance& i) { i.deserialize(bytes, size, state); });
}

TDS_FMI_EXPORT fmi3Status fmi3DoStep(fmi3Instance c, fmi3Float64 at, fmi3Float64 step, fmi3Boolean,
                                     fmi3Boolean* event_handling_needed,
                                     fmi3Boolean* terminate_simulation, fmi3Boolean* early_return,
                                     fmi3Float64* last_successful_time) {
  return call(c, "fmi3DoStep", bit(Mode::Step), [&](Instance& i) {
    if (event_handling_needed == nullptr || terminate_simulation == nullptr ||
        early_return == nullptr || last_successful_time == nullptr)
      throw Refusal("an output argument is a null pointer");
    *event_handling_needed = false;
    *terminate_simulation = false;
    *early_return = false;
    i.step(at, step);
    *last_successful_time = i.time();
  });
}

// What a co-simulation FMU without event mode, clocks or derivatives does
// not provide: refused with the reason.
#define TDS_FMI3_UNSUPPORTED(Name, What, ...)                                            \
  TDS_FMI_EXPORT fmi3Status fmi3##Name(fmi3Instance c __VA_OPT__(, ) __VA_ARGS__) {      \
    return call(c, "fmi3" #Name, kAny, [&](Instance&) { Instance::unsupported(What); }); \
  }
TDS_FMI3_UNSUPPORTED(EnterEventMode, "an event mode")
TDS_FMI3_UNSUPPORTED(EnterConfigurationMode, "structural parameters to configure")
TDS_FMI3_UNSUPPORTED(ExitConfigurationMode, "structural parameters to configure")
TDS_FMI3_UNSUPPORTED(EvaluateDiscreteStates, "an event mode")
TDS_FMI3_UNSUPPORTED(UpdateDiscreteStates, "an event mode", fmi3Boolean*, fmi3Boolean*,
                     fmi3Boolean*, fmi3Boolean*, fmi3Boolean*, fmi3Float64*)
TDS_FMI3_UNSUPPORTED(GetNumberOfVariableDependencies, "variable dependencies", fmi3ValueReference,
                     std::size_t*)
TDS_FMI3_UNSUPPORTED(GetVariableDependencies, "variable dependencies", fmi3ValueReference,
                     std::size_t[], fmi3ValueReference[], std::size_t[], fmi3DependencyKind[],
                     std::size_t)
TDS_FMI3_UNSUPPORTED(GetDirectionalDerivative, "directional derivatives",
                     const fmi3ValueReference[], std::size_t, const fmi3ValueReference[],
                     std::size_t, const fmi3Float64[], std::size_t, fmi3Float64[], std::size_t)
TDS_FMI3_UNSUPPORTED(GetAdjointDerivative, "adjoint derivatives", const fmi3ValueReference[],
                     std::size_t, const fmi3ValueReference[], std::size_t, const fmi3Float64[],
                     std::size_t, fmi3Float64[], std::size_t)
TDS_FMI3_UNSUPPORTED(GetOutputDerivatives, "output derivatives", const fmi3ValueReference[],
                     std::size_t, const fmi3Int32[], fmi3Float64[], std::size_t)
TDS_FMI3_UNSUPPORTED(GetIntervalDecimal, "clocks", const fmi3ValueReference[], std::size_t,
                     fmi3Float64[], fmi3IntervalQualifier[])
TDS_FMI3_UNSUPPORTED(GetIntervalFraction, "clocks", const fmi3ValueReference[], std::size_t,
                     fmi3UInt64[], fmi3UInt64[], fmi3IntervalQualifier[])
TDS_FMI3_UNSUPPORTED(GetShiftDecimal, "clocks", const fmi3ValueReference[], std::size_t,
                     fmi3Float64[])
TDS_FMI3_UNSUPPORTED(GetShiftFraction, "clocks", const fmi3ValueReference[], std::size_t,
                     fmi3UInt64[], fmi3UInt64[])
TDS_FMI3_UNSUPPORTED(SetIntervalDecimal, "clocks", const fmi3ValueReference[], std::size_t,
                     const fmi3Float64[])
TDS_FMI3_UNSUPPORTED(SetIntervalFraction, "clocks", const fmi3ValueReference[], std::size_t,
                     const fmi3UInt64[], const fmi3UInt64[])
TDS_FMI3_UNSUPPORTED(SetShiftDecimal, "clocks", const fmi3ValueReference[], std::size_t,
                     const fmi3Float64[])
TDS_FMI3_UNSUPPORTED(SetShiftFraction, "clocks", const fmi3ValueReference[], std::size_t,
                     const fmi3UInt64[], const fmi3UInt64[])
// Model Exchange and Scheduled Execution: this FMU is for co-simulation
// only, but every function of the standard is there, so that an importer
// that resolves them all when it loads the binary finds them.
TDS_FMI3_UNSUPPORTED(SetTime, "model exchange", fmi3Float64)
TDS_FMI3_UNSUPPORTED(SetContinuousStates, "model exchange", const fmi3Float64[], std::size_t)
TDS_FMI3_UNSUPPORTED(GetContinuousStateDerivatives, "model exchange", fmi3Float64[], std::size_t)
TDS_FMI3_UNSUPPORTED(GetEventIndicators, "model exchange", fmi3Float64[], std::size_t)
TDS_FMI3_UNSUPPORTED(GetContinuousStates, "model exchange", fmi3Float64[], std::size_t)
TDS_FMI3_UNSUPPORTED(GetNominalsOfContinuousStates, "model exchange", fmi3Float64[], std::size_t)
TDS_FMI3_UNSUPPORTED(GetNumberOfEventIndicators, "model exchange", std::size_t*)
TDS_FMI3_UNSUPPORTED(GetNumberOfContinuousStates, "model exchange", std::size_t*)
TDS_FMI3_UNSUPPORTED(EnterContinuousTimeMode, "model exchange")
TDS_FMI3_UNSUPPORTED(CompletedIntegratorStep, "model exchange", fmi3Boolean, fmi3Boolean*,
                     fmi3Boolean*)
TDS_FMI3_UNSUPPORTED(ActivateModelPartition, "scheduled execution", fmi3ValueReference, fmi3Float64)
#undef TDS_FMI3_UNSUPPORTED

TDS_FMI_EXPORT fmi3Instance fmi3InstantiateScheduledExecution(
    fmi3String, fmi3String, fmi3String, fmi3Boolean, fmi3Boolean,
    fmi3InstanceEnvironment environment, fmi3LogMessageCallback log, fmi3ClockUpdateCallback,
    fmi3LockPreemptionCallback, fmi3UnlockPreemptionCallback) {
  return refuse_instance(environment, log, "fmi3InstantiateScheduledExecution",
                         "this FMU supports co-simulation only");
}

TDS_FMI_EXPORT fmi3Status fmi3EnterStepMode(fmi3Instance c) {
  // Step mode follows initialisation at once: there is no event mode to
  // leave.
  return call(c, "fmi3EnterStepMode", kNone, [&](Instance&) {});
}

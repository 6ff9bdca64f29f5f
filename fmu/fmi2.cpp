// The site as an FMI 2.0 co-simulation FMU: each function checks the shape
// of its arguments and hands the work to the instance, which checks the mode.
#include "fmi2Functions.h"

#include <memory>
#include <new>
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
  fmi2CallbackLogger logger = nullptr;
  fmi2ComponentEnvironment environment = nullptr;
  std::string name;
  std::unique_ptr<Instance> instance;
};

fmi2Status status_of(tds::fmu::Status s) { return s == tds::fmu::Status::Ok ? fmi2OK : fmi2Error; }

// Every function of an instance: a null instance is refused without a word
// (there is no logger to tell).
template <class F>
fmi2Status call(fmi2Component c, const char* function, unsigned modes, F&& work) {
  auto* comp = static_cast<Component*>(c);
  if (comp == nullptr || !comp->instance) return fmi2Error;
  return status_of(comp->instance->guarded(function, modes, work));
}

constexpr unsigned kAny = tds::fmu::kAnyMode;
constexpr unsigned kSet = bit(Mode::Instantiated) | bit(Mode::Initialization) | bit(Mode::Step);
constexpr unsigned kGet =
    bit(Mode::Initialization) | bit(Mode::Step) | bit(Mode::Terminated) | bit(Mode::Error);
constexpr unsigned kGetState =
    bit(Mode::Instantiated) | bit(Mode::Initialization) | bit(Mode::Step) | bit(Mode::Terminated);

}  // namespace

TDS_FMI_EXPORT const char* fmi2GetTypesPlatform() { return "default"; }
TDS_FMI_EXPORT const char* fmi2GetVersion() { return "2.0"; }

TDS_FMI_EXPORT fmi2Component fmi2Instantiate(fmi2String name, fmi2Type type, fmi2String guid,
                                             fmi2String resources,
                                             const fmi2CallbackFunctions* functions,
                                             fmi2Boolean /*visible*/, fmi2Boolean logging_on) {
  if (functions == nullptr || functions->logger == nullptr) return nullptr;
  const char* shown = name != nullptr ? name : "";
  auto refuse = [&](const std::string& why) -> fmi2Component {
    const std::string text = "fmi2Instantiate: " + why;
    functions->logger(functions->componentEnvironment, shown, fmi2Error, "logStatusError", "%s",
                      text.c_str());
    return nullptr;
  };
  if (name == nullptr || *name == '\0') return refuse("the instance name is empty");
  if (type != fmi2CoSimulation) return refuse("this FMU supports co-simulation only");
  if (guid == nullptr) return refuse("the GUID is null");
  try {
    auto comp = std::make_unique<Component>();
    comp->logger = functions->logger;
    comp->environment = functions->componentEnvironment;
    comp->name = name;
    Component* raw = comp.get();
    auto logger = [raw](bool error, const char* category, const std::string& text) {
      raw->logger(raw->environment, raw->name.c_str(), error ? fmi2Error : fmi2OK, category, "%s",
                  text.c_str());
    };
    const std::string binary = tds::fmu::binary_directory();
    const std::string at =
        tds::fmu::path_of_file_uri(resources).value_or(tds::fmu::resources_beside(binary));
    comp->instance = std::make_unique<Instance>(binary, at, guid, logger, logging_on != fmi2False,
                                                /*with_time=*/false);
    return comp.release();
  } catch (const std::exception& e) {
    return refuse(e.what());
  } catch (...) {
    return refuse("an unexpected failure");
  }
}

TDS_FMI_EXPORT void fmi2FreeInstance(fmi2Component c) { delete static_cast<Component*>(c); }

TDS_FMI_EXPORT fmi2Status fmi2SetDebugLogging(fmi2Component c, fmi2Boolean on, std::size_t n,
                                              const fmi2String categories[]) {
  return call(c, "fmi2SetDebugLogging", kAny,
              [&](Instance& i) { i.set_debug_logging(on != fmi2False, n, categories); });
}

TDS_FMI_EXPORT fmi2Status fmi2SetupExperiment(fmi2Component c, fmi2Boolean, fmi2Real,
                                              fmi2Real start, fmi2Boolean stop_defined,
                                              fmi2Real stop) {
  return call(c, "fmi2SetupExperiment", bit(Mode::Instantiated), [&](Instance& i) {
    i.setup(start, stop_defined != fmi2False ? std::optional<double>(stop) : std::nullopt);
  });
}

TDS_FMI_EXPORT fmi2Status fmi2EnterInitializationMode(fmi2Component c) {
  return call(c, "fmi2EnterInitializationMode", bit(Mode::Instantiated),
              [&](Instance& i) { i.enter_initialization(); });
}

TDS_FMI_EXPORT fmi2Status fmi2ExitInitializationMode(fmi2Component c) {
  return call(c, "fmi2ExitInitializationMode", bit(Mode::Initialization),
              [&](Instance& i) { i.exit_initialization(); });
}

TDS_FMI_EXPORT fmi2Status fmi2Terminate(fmi2Component c) {
  return call(c, "fmi2Terminate", bit(Mode::Step), [&](Instance& i) { i.terminate(); });
}

TDS_FMI_EXPORT fmi2Status fmi2Reset(fmi2Component c) {
  return call(c, "fmi2Reset", kAny, [&](Instance& i) { i.reset(); });
}

TDS_FMI_EXPORT fmi2Status fmi2GetReal(fmi2Component c, const fmi2ValueReference vr[], std::size_t n,
                                      fmi2Real value[]) {
  return call(c, "fmi2GetReal", kGet, [&](Instance& i) { i.get_reals(vr, n, value); });
}
TDS_FMI_EXPORT fmi2Status fmi2GetInteger(fmi2Component c, const fmi2ValueReference vr[],
                                         std::size_t n, fmi2Integer value[]) {
  static_assert(sizeof(fmi2Integer) == sizeof(std::int32_t));
  return call(c, "fmi2GetInteger", kGet,
              [&](Instance& i) { i.get_integers(vr, n, reinterpret_cast<std::int32_t*>(value)); });
}
TDS_FMI_EXPORT fmi2Status fmi2GetBoolean(fmi2Component c, const fmi2ValueReference vr[],
                                         std::size_t n, fmi2Boolean value[]) {
  return call(c, "fmi2GetBoolean", kGet, [&](Instance& i) {
    if (n > 0 && value == nullptr) throw Refusal("the values are a null array");
    for (std::size_t k = 0; k < n; ++k) {
      bool b = false;
      i.get_booleans(vr + k, 1, &b);
      value[k] = b ? fmi2True : fmi2False;
    }
  });
}
TDS_FMI_EXPORT fmi2Status fmi2GetString(fmi2Component c, const fmi2ValueReference vr[],
                                        std::size_t n, fmi2String value[]) {
  return call(c, "fmi2GetString", kGet, [&](Instance& i) { i.get_strings(vr, n, value); });
}
TDS_FMI_EXPORT fmi2Status fmi2SetReal(fmi2Component c, const fmi2ValueReference vr[], std::size_t n,
                                      const fmi2Real value[]) {
  return call(c, "fmi2SetReal", kSet, [&](Instance& i) { i.set_reals(vr, n, value); });
}
TDS_FMI_EXPORT fmi2Status fmi2SetInteger(fmi2Component c, const fmi2ValueReference vr[],
                                         std::size_t n, const fmi2Integer value[]) {
  return call(c, "fmi2SetInteger", kSet, [&](Instance& i) {
    i.set_integers(vr, n, reinterpret_cast<const std::int32_t*>(value));
  });
}
TDS_FMI_EXPORT fmi2Status fmi2SetBoolean(fmi2Component c, const fmi2ValueReference vr[],
                                         std::size_t n, const fmi2Boolean value[]) {
  return call(c, "fmi2SetBoolean", kSet, [&](Instance& i) {
    if (n > 0 && value == nullptr) throw Refusal("the values are a null array");
    for (std::size_t k = 0; k < n; ++k) {
      const bool b = value[k] != fmi2False;
      i.set_booleans(vr + k, 1, &b);
    }
  });
}
TDS_FMI_EXPORT fmi2Status fmi2SetString(fmi2Component c, const fmi2ValueReference vr[],
                                        std::size_t n, const fmi2String value[]) {
  return call(c, "fmi2SetString", kSet, [&](Instance& i) { i.set_strings(vr, n, value); });
}

TDS_FMI_EXPORT fmi2Status fmi2GetFMUstate(fmi2Component c, fmi2FMUstate* state) {
  return call(c, "fmi2GetFMUstate", kGetState, [&](Instance& i) { i.get_state(state); });
}
TDS_FMI_EXPORT fmi2Status fmi2SetFMUstate(fmi2Component c, fmi2FMUstate state) {
  return call(c, "fmi2SetFMUstate", kAny, [&](Instance& i) { i.set_state(state); });
}
TDS_FMI_EXPORT fmi2Status fmi2FreeFMUstate(fmi2Component c, fmi2FMUstate* state) {
  return call(c, "fmi2FreeFMUstate", kAny, [&](Instance&) { Instance::free_state(state); });
}
TDS_FMI_EXPORT fmi2Status fmi2SerializedFMUstateSize(fmi2Component c, fmi2FMUstate state,
                                                     std::size_t* size) {
  return call(c, "fmi2SerializedFMUstateSize", kAny,
              [&](Instance& i) { i.serialized_size(state, size); });
}
TDS_FMI_EXPORT fmi2Status fmi2SerializeFMUstate(fmi2Component c, fmi2FMUstate state,
                                                fmi2Byte bytes[], std::size_t size) {
  return call(c, "fmi2SerializeFMUstate", kAny, [&](Instance& i) {
    i.serialize(state, reinterpret_cast<unsigned char*>(bytes), size);
  });
}
TDS_FMI_EXPORT fmi2Status fmi2DeSerializeFMUstate(fmi2Component c, const fmi2Byte bytes[],
                                                  std::size_t size, fmi2FMUstate* state) {
  return call(c, "fmi2DeSerializeFMUstate", kAny, [&](Instance& i) {
    i.deserialize(reinterpret_cast<const unsigned char*>(bytes), size, state);
  });
}

TDS_FMI_EXPORT fmi2Status fmi2GetDirectionalDerivative(fmi2Component c, const fmi2ValueReference[],
                                                       std::size_t, const fmi2ValueReference[],
                                                       std::size_t, const fmi2Real[], fmi2Real[]) {
  return call(c, "fmi2GetDirectionalDerivative", kAny,
              [&](Instance&) { Instance::unsupported("directional derivatives"); });
}
TDS_FMI_EXPORT fmi2Status fmi2SetRealInputDerivatives(fmi2Component c, const fmi2ValueReference[],
                                                      std::size_t, const fmi2Integer[],
                                                      const fmi2Real[]) {
  return call(c, "fmi2SetRealInputDerivatives", kAny,
              [&](Instance&) { Instance::unsupported("input derivatives"); });
}
TDS_FMI_EXPORT fmi2Status fmi2GetRealOutputDerivatives(fmi2Component c, const fmi2ValueReference[],
                                                       std::size_t, const fmi2Integer[],
                                                       fmi2Real[]) {
  return call(c, "fmi2GetRealOutputDerivatives", kAny,
              [&](Instance&) { Instance::unsupported("output derivatives"); });
}

TDS_FMI_EXPORT fmi2Status fmi2DoStep(fmi2Component c, fmi2Real at, fmi2Real step, fmi2Boolean) {
  return call(c, "fmi2DoStep", bit(Mode::Step), [&](Instance& i) { i.step(at, step); });
}
TDS_FMI_EXPORT fmi2Status fmi2CancelStep(fmi2Component c) {
  return call(c, "fmi2CancelStep", kAny,
              [&](Instance&) { Instance::unsupported("asynchronous steps to cancel"); });
}

TDS_FMI_EXPORT fmi2Status fmi2GetStatus(fmi2Component c, const fmi2StatusKind, fmi2Status*) {
  return call(c, "fmi2GetStatus", kAny,
              [&](Instance&) { Instance::unsupported("asynchronous steps"); });
}
TDS_FMI_EXPORT fmi2Status fmi2GetRealStatus(fmi2Component c, const fmi2StatusKind kind,
                                            fmi2Real* value) {
  return call(c, "fmi2GetRealStatus", kAny, [&](Instance& i) {
    if (kind != fmi2LastSuccessfulTime) Instance::unsupported("this status kind as a Real");
    if (value == nullptr) throw Refusal("the value pointer is null");
    *value = i.time();
  });
}
TDS_FMI_EXPORT fmi2Status fmi2GetIntegerStatus(fmi2Component c, const fmi2StatusKind,
                                               fmi2Integer*) {
  return call(c, "fmi2GetIntegerStatus", kAny,
              [&](Instance&) { Instance::unsupported("Integer status"); });
}
TDS_FMI_EXPORT fmi2Status fmi2GetBooleanStatus(fmi2Component c, const fmi2StatusKind kind,
                                               fmi2Boolean* value) {
  return call(c, "fmi2GetBooleanStatus", kAny, [&](Instance&) {
    if (kind != fmi2Terminated) Instance::unsupported("this status kind as a Boolean");
    if (value == nullptr) throw Refusal("the value pointer is null");
    *value = fmi2False;
  });
}
TDS_FMI_EXPORT fmi2Status fmi2GetStringStatus(fmi2Component c, const fmi2StatusKind, fmi2String*) {
  return call(c, "fmi2GetStringStatus", kAny,
              [&](Instance&) { Instance::unsupported("String status"); });
}

// Model Exchange: this FMU is for co-simulation only, but every function of
// the standard is there, so that an importer that resolves them all when it
// loads the binary finds them.
#define TDS_FMI2_MODEL_EXCHANGE(Name, ...)                                           \
  TDS_FMI_EXPORT fmi2Status fmi2##Name(fmi2Component c __VA_OPT__(, ) __VA_ARGS__) { \
    return call(c, "fmi2" #Name, kAny,                                               \
                [&](Instance&) { Instance::unsupported("model exchange"); });        \
  }
TDS_FMI2_MODEL_EXCHANGE(EnterEventMode)
TDS_FMI2_MODEL_EXCHANGE(NewDiscreteStates, fmi2EventInfo*)
TDS_FMI2_MODEL_EXCHANGE(EnterContinuousTimeMode)
TDS_FMI2_MODEL_EXCHANGE(CompletedIntegratorStep, fmi2Boolean, fmi2Boolean*, fmi2Boolean*)
TDS_FMI2_MODEL_EXCHANGE(SetTime, fmi2Real)
TDS_FMI2_MODEL_EXCHANGE(SetContinuousStates, const fmi2Real[], std::size_t)
TDS_FMI2_MODEL_EXCHANGE(GetDerivatives, fmi2Real[], std::size_t)
TDS_FMI2_MODEL_EXCHANGE(GetEventIndicators, fmi2Real[], std::size_t)
TDS_FMI2_MODEL_EXCHANGE(GetContinuousStates, fmi2Real[], std::size_t)
TDS_FMI2_MODEL_EXCHANGE(GetNominalsOfContinuousStates, fmi2Real[], std::size_t)
#undef TDS_FMI2_MODEL_EXCHANGE

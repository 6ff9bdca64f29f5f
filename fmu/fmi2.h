// The FMI 2.0 types and functions that the site's co-simulation FMU exports,
// declared for this project from the standard's documents.
#ifndef TDS_FMU_FMI2_H
#define TDS_FMU_FMI2_H

#include <cstddef>

extern "C" {

using fmi2Component = void*;
using fmi2ComponentEnvironment = void*;
using fmi2FMUstate = void*;
using fmi2ValueReference = unsigned int;
using fmi2Real = double;
using fmi2Integer = int;
using fmi2Boolean = int;
using fmi2Char = char;
using fmi2String = const fmi2Char*;
using fmi2Byte = char;

constexpr fmi2Boolean fmi2True = 1;
constexpr fmi2Boolean fmi2False = 0;

enum fmi2Status { fmi2OK, fmi2Warning, fmi2Discard, fmi2Error, fmi2Fatal, fmi2Pending };
enum fmi2Type { fmi2ModelExchange, fmi2CoSimulation };
enum fmi2StatusKind { fmi2DoStepStatus, fmi2PendingStatus, fmi2LastSuccessfulTime, fmi2Terminated };

using fmi2CallbackLogger = void (*)(fmi2ComponentEnvironment, fmi2String instance, fmi2Status,
                                    fmi2String category, fmi2String message, ...);
using fmi2CallbackAllocateMemory = void* (*)(std::size_t, std::size_t);
using fmi2CallbackFreeMemory = void (*)(void*);
using fmi2StepFinished = void (*)(fmi2ComponentEnvironment, fmi2Status);

struct fmi2CallbackFunctions {
  fmi2CallbackLogger logger;
  fmi2CallbackAllocateMemory allocateMemory;
  fmi2CallbackFreeMemory freeMemory;
  fmi2StepFinished stepFinished;
  fmi2ComponentEnvironment componentEnvironment;
};
}

#endif  // TDS_FMU_FMI2_H

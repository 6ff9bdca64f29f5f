// A test-only model library whose state is not all in its module's memory:
// with "leak" set, each run of its one task adds a count kept in the C
// runtime's environment, which no snapshot of the module restores. With
// "crash" set the task crashes. It lets the sweep's self-check and worker
// replacement be tested.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#define LEAKY_EXPORT extern "C" __declspec(dllexport)
#else
#define LEAKY_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {
double count = 0.0;
std::int32_t leak = 0, crash = 0;

long long runs_so_far() {
  const char* text = std::getenv("LEAKY_RUNS");
  const long long runs = text ? std::strtoll(text, nullptr, 10) + 1 : 1;
  // Copied into the runtime's own memory (a buffer of this module's would be
  // restored with it).
  char number[32];
  std::snprintf(number, sizeof number, "%lld", runs);
#if defined(_WIN32)
  _putenv_s("LEAKY_RUNS", number);
#else
  setenv("LEAKY_RUNS", number, 1);
#endif
  return runs;
}
}  // namespace

LEAKY_EXPORT const char* GetModelName() { return "Leaky"; }
LEAKY_EXPORT const char* IniModel() {
  count = 0.0;
  return GetModelName();
}
LEAKY_EXPORT std::int32_t GetModelDecision(const char*) { return 0; }
LEAKY_EXPORT std::int32_t GetModelTask(const char* id) {
  if (id == nullptr || std::strcmp(id, "0_1_1_RUN_1") != 0) return 0;
  if (crash) {
    // A crash the sanitizers do not turn into an orderly exit.
#if defined(_WIN32)
    RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
#else
    std::abort();
#endif
  }
  count += 1.0;
  if (leak) count += static_cast<double>(runs_so_far());
  return 0;
}
LEAKY_EXPORT double Getcount_B1_Site_P1_Counter() { return count; }
LEAKY_EXPORT double Setcount_B1_Site_P1_Counter(double v) { return count = v; }
LEAKY_EXPORT std::int32_t Getleak_B1_Site_P1_Counter() { return leak; }
LEAKY_EXPORT std::int32_t Setleak_B1_Site_P1_Counter(std::int32_t v) { return leak = v; }
LEAKY_EXPORT std::int32_t Getcrash_B1_Site_P1_Counter() { return crash; }
LEAKY_EXPORT std::int32_t Setcrash_B1_Site_P1_Counter(std::int32_t v) { return crash = v; }

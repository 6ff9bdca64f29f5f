#include "batch_hooks.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "interrupt.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace tds {

void add_host_hooks(BatchOptions& b) {
  b.on_notice = [](const std::string& line) {
    std::fprintf(stderr, "tarvello-run: %s\n", line.c_str());
  };
  // Workers are registered for interruption while it waits: an interruption
  // kills and reaps every one of them.
  auto holds = std::make_shared<std::vector<std::unique_ptr<interrupt::Hold>>>();
  b.hooks.hold = [holds] { holds->push_back(std::make_unique<interrupt::Hold>()); };
  b.hooks.release = [holds] { holds->pop_back(); };
#if defined(_WIN32)
  b.hooks.started = [](void* process) {
    AssignProcessToJobObject(static_cast<HANDLE>(interrupt::job()), static_cast<HANDLE>(process));
  };
#else
  b.hooks.started = [](int pid) { interrupt::add_child(pid); };
  b.hooks.ended = [](int pid) { interrupt::remove_child(pid); };
  b.hooks.in_worker = [] { interrupt::as_child(); };
#endif
}

}  // namespace tds

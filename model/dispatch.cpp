// Node dispatch: the decision and task nodes of the process diagrams.
#include "store.h"

extern "C" {

TDS_API int32_t GetModelDecision(const char* node) {
  (void)node;
  return 0;
}

TDS_API int32_t GetModelTask(const char* node) {
  (void)node;
  return 0;
}

}  // extern "C"

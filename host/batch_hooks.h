// The host's part in any batch it runs: the engine's notices on standard
// error, and its workers registered for interruption, which kills and reaps
// every one of them.
#ifndef TDS_HOST_BATCH_HOOKS_H
#define TDS_HOST_BATCH_HOOKS_H

#include "batch.h"

namespace tds {

// Sets the batch's on_notice and hooks.
void add_host_hooks(BatchOptions& b);

}  // namespace tds

#endif  // TDS_HOST_BATCH_HOOKS_H

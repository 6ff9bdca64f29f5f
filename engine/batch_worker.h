// The worker's side of the batch engine: requests read, cases run (the
// self-check's twice, with a restore between), outcomes answered. Internal
// to the batch engine; a Windows worker program calls serve_batch_worker
// (batch.h).
#ifndef TDS_ENGINE_BATCH_WORKER_H
#define TDS_ENGINE_BATCH_WORKER_H

#include "case.h"

namespace tds {

#if !defined(_WIN32)
// A forked worker's body: serves requests read from one descriptor and
// answers on the other until the batch closes its end. Returns the exit
// status.
int serve_forked_worker(int requests, int answers, const Model& model, const Plan& plan,
                        const Scenario& scenario, const BatchOptions& options);
#endif

}  // namespace tds

#endif  // TDS_ENGINE_BATCH_WORKER_H

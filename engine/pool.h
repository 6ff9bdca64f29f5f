// The batch's worker processes, one per slot: started, sent requests, retired
// (no more requests: the worker ends when it has answered), and waited on for
// their answers and their ends. Internal to the batch engine.
#ifndef TDS_ENGINE_POOL_H
#define TDS_ENGINE_POOL_H

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "case.h"

namespace tds {

// What the pool reports: an answer from a worker, or its end.
struct PoolEvent {
  std::size_t slot = 0;
  bool ended = false;
  std::string answer;  // when !ended: a frame's payload
  std::string crash;   // when ended: how it died, if it died of a crash
  int status = 0;      // when ended normally: its exit status
};

class Pool {
 public:
  virtual ~Pool() = default;
  Pool() = default;
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;
  Pool(Pool&&) = delete;
  Pool& operator=(Pool&&) = delete;

  // Starts a worker in the slot; false, with the reason, when it cannot.
  virtual bool start(std::size_t slot, std::string& why) = 0;
  virtual bool send(std::size_t slot, const std::string& request) = 0;
  virtual void retire(std::size_t slot) = 0;
  virtual PoolEvent wait() = 0;
};

// A worker's body where workers are forks: it reads requests from one
// descriptor and answers on the other, and returns its exit status.
using WorkerBody = std::function<int(int requests, int answers)>;

// The platform's pool: forks running `body` on Linux, the options' worker
// command on Windows. Destroying it kills and reaps every worker.
std::unique_ptr<Pool> make_pool(std::size_t slots, const BatchOptions& options,
                                const WorkerBody& body);

}  // namespace tds

#endif  // TDS_ENGINE_POOL_H

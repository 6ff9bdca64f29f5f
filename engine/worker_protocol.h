// The pipe protocol between a batch and its workers. A request carries its
// whole case (days, values, scales), so that a worker needs only the model,
// plan, scenario and batch options it was started with; an answer carries
// the case's outcome with every number as its raw 8 bytes, so that what the
// batch receives is bit for bit what the worker computed.
//
// Both directions are frames: the payload's length in decimal, a line end,
// the payload. Every number inside a payload is little-endian binary.
#ifndef TDS_ENGINE_WORKER_PROTOCOL_H
#define TDS_ENGINE_WORKER_PROTOCOL_H

#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "case.h"

namespace tds::wire {

enum class Request : char {
  Run = 'r',      // restore the snapshot, run the case, serve on
  RunOnce = 'o',  // run the case in the library as it is, then end
  Check = 'c',    // the self-check: run, restore, run again, compare
};

// A payload in its frame.
std::string frame(std::string_view payload);
// Takes the first complete frame's payload off the front of what arrived.
std::optional<std::string> next_frame(std::string& buffer);

std::string encode_request(Request kind, const BatchCase& c);
// False for a payload that is not a request. Texts of the case's values are
// kept in `texts` for as long as the case runs.
bool decode_request(std::string_view payload, Request& kind, BatchCase& c,
                    std::deque<std::string>& texts);

std::string encode_outcome(const CaseOutcome& outcome);
// False for a payload that is not an outcome. Texts land in outcome.texts.
bool decode_outcome(std::string_view payload, CaseOutcome& outcome);

}  // namespace tds::wire

#endif  // TDS_ENGINE_WORKER_PROTOCOL_H

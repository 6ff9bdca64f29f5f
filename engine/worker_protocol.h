// The pipe protocol between a batch and its workers. A request carries its
// whole case (days, values, scales, its own per-day table), so that a worker needs only the model,
// plan, scenario and batch options it was started with; an answer carries
// the case's outcome with every number as its raw 8 bytes, so that what the
// batch receives is bit for bit what the worker computed.
//
// Both directions are frames: the payload's length in decimal, a line end,
// the payload. Every number inside a payload is little-endian binary.
#ifndef TDS_ENGINE_WORKER_PROTOCOL_H
#define TDS_ENGINE_WORKER_PROTOCOL_H

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
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

// A case's own per-day table travels by an id that the batch gives each
// distinct table: its bytes come with the first request that names it to a
// worker, which keeps it for the later ones.
using Tables = std::map<std::uint64_t, std::shared_ptr<const DailyInputs>>;

// `table` is the id of the case's own table (when it has one), sent with its
// bytes when `with_table`.
std::string encode_request(Request kind, const BatchCase& c, std::uint64_t table = 0,
                           bool with_table = false);
// False for a payload that is not a request, or that names a table neither
// in `tables` nor sent with it. Texts of the case's values are kept in
// `texts` for as long as the case runs; a table sent is checked against the
// description as a table read from a file, and kept in `tables`.
bool decode_request(std::string_view payload, Request& kind, BatchCase& c,
                    std::deque<std::string>& texts, const Description& d, Tables& tables);

std::string encode_outcome(const CaseOutcome& outcome);
// False for a payload that is not an outcome. Texts land in outcome.texts.
bool decode_outcome(std::string_view payload, CaseOutcome& outcome);

}  // namespace tds::wire

#endif  // TDS_ENGINE_WORKER_PROTOCOL_H

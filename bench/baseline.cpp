#include "baseline.h"

namespace tds_bench {

// noinline keeps the call even under link-time optimisation.
[[gnu::noinline]] void empty_function() {}

}  // namespace tds_bench

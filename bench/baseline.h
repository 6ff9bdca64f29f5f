// The baseline of every benchmark: an empty function, compiled in a unit of its
// own and kept out of line, so that calling it costs what a call through a
// pointer costs and nothing more.
#ifndef TDS_BENCH_BASELINE_H
#define TDS_BENCH_BASELINE_H

namespace tds_bench {

void empty_function();

}  // namespace tds_bench

#endif  // TDS_BENCH_BASELINE_H

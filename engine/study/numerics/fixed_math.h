// Powers computed by the study's own code from IEEE's correctly rounded
// operations (+, -, *, /, and exact scaling by powers of two), so that they
// give the same bits on every platform; the C library's pow, exp and log
// differ between the libms of Linux, mingw and emscripten in the last bits,
// and NSGA-II's variation, which draws every generation from the previous
// one, would amplify such a difference into another run.
#pragma once

namespace tds::study {

// x^y for x > 0 and finite y, within a relative 1e-15 (1 + |y log x|);
// 0 for x == 0 and y > 0.
double fixed_pow(double x, double y);

}  // namespace tds::study

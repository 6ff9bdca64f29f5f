// Reproducible pseudo-random numbers for generated model code.
//
// One multiplicative congruential (Lehmer) generator, state <- 16807 * state
// mod 2147483647, started at 48271 when the library is loaded, feeds nine
// distributions. Every sample is rounded to `digits` (5) decimals. All draws of
// all distributions advance the same state, so a sample depends on every draw
// made before it. There is no seeding or reset: each load of the library
// yields the same sequence.
//
// The unit is internal to the library: model code calls it directly, the host
// never sees it. Nothing here is synchronised; calls come from one thread at a
// time. The declarations have C linkage so that C and C++ model code alike can
// call them.
#ifndef CONGRUENTAIL_RANDOM_H
#define CONGRUENTAIL_RANDOM_H

#if defined(__GNUC__) && !defined(_WIN32)
#define CR_INTERNAL __attribute__((visibility("hidden")))
#else
#define CR_INTERNAL
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Generator state (always an integer in 1 ... 2147483646), multiplier,
// increment and the variate of the latest draw, in 80-bit extended precision.
CR_INTERNAL extern long double m_seed;
CR_INTERNAL extern long double m_multiplier;
CR_INTERNAL extern long double m_increment;
CR_INTERNAL extern long double m_last_random;
// Number of decimals kept by round_dbl.
CR_INTERNAL extern int digits;

// One step of the generator; returns the new variate m_seed / 2147483647,
// strictly between 0 and 1, in extended precision.
CR_INTERNAL long double get_random(void);

// x rounded to `digits` decimals, halves away from zero; a zero result is +0.
// NaN and the infinities come back unchanged, and so does a value so large that
// it has no decimals left to round. Draws nothing.
CR_INTERNAL double round_dbl(double x);

// Each function below returns a sample rounded by round_dbl, except where noted.

// low + (high - low) * U; one draw. The bounds are not ordered.
CR_INTERNAL double uniform(double low, double high);
// uniform(low, high) truncated toward zero to an integer (not rounded again); one draw.
CR_INTERNAL double intuniform(double low, double high);
// location - mean * ln u with u = uniform(0, 1); one draw. A u that rounds to 0
// is taken as 10^-digits, so the sample stays finite.
CR_INTERNAL double exponential(double location, double mean);
// Polar method with a stored second value: every other call generates a pair
// (two draws per attempt), the calls between use the stored value without a
// draw. A negative sample is returned as exactly 0.0 when nonnegative == 1.
CR_INTERNAL double normal(double mean, double sd, int nonnegative);
// exp(normal(mean, sd, 0)) + shift; shares the pair and phase of normal.
CR_INTERNAL double lognormal(double shift, double mean, double sd);
// Sum of ceil(k) samples exponential(0, mean); 0 without a draw for k <= 0.
CR_INTERNAL double kerlang(double k, double mean);
// Sum of exponential(0, means[i]) for i = 0 ... ceil(n) - 1; 0 without a draw for n <= 0
// or a null means.
CR_INTERNAL double hypoexponential(double n, const double* means);
// Draws U; exponential(0, means[i]) for the first i of 0 ... 7 with thresholds[i] >= U,
// else 0.0 (also when either array is null). Entries after the matching one are not read.
CR_INTERNAL double hiperexponential(const double* thresholds, const double* means);
// Draws the mode (mean2/sd2 when the variate is above 0.5, else mean1/sd1), then a
// polar-method sample as normal, with a pair and phase of its own.
CR_INTERNAL double bimodal(double mean1, double sd1, double mean2, double sd2, int nonnegative);

#ifdef __cplusplus
}
#endif

#endif  // CONGRUENTAIL_RANDOM_H

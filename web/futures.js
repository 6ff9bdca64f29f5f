// The futures of the Futures view, without the document: a Latin hypercube
// of scale factors of the per-day columns drawn from a seed, percentiles as
// NumPy's default ("linear") method computes them, the per-day bands of a
// series over the futures, a figure's spread and the share of futures that
// meet every threshold. Shared by the page and its tests.

// The default range of a per-day column's scale factor in the futures.
export const LOW = 0.8;
export const HIGH = 1.2;

// A generator of uniform numbers in [0, 1) from a 32-bit seed (mulberry32):
// the same seed gives the same numbers in every browser and in node.
function uniform(seed) {
  let a = seed >>> 0;
  return () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

// `count` futures of the named columns: each future a list of factors, one
// per column, in [low, high). A Latin hypercube: each column's range cut
// into `count` equal strata, every stratum used by exactly one future, the
// strata shuffled per column and a point drawn within each.
export function sampleFutures(names, count, seed, low = LOW, high = HIGH) {
  const next = uniform(seed);
  const futures = Array.from({ length: count }, () => new Array(names.length));
  names.forEach((_, c) => {
    const strata = Array.from({ length: count }, (_, i) => i);
    for (let i = count - 1; i > 0; i--) {
      const j = Math.floor(next() * (i + 1));
      [strata[i], strata[j]] = [strata[j], strata[i]];
    }
    for (let f = 0; f < count; f++) futures[f][c] = low + ((strata[f] + next()) / count) * (high - low);
  });
  return futures;
}

// NumPy's interpolation between a and b at t, which takes the nearer end as
// its base so that t = 0 gives a and t = 1 gives b exactly.
function lerp(a, b, t) {
  const diff = b - a;
  return t >= 0.5 ? b - diff * (1 - t) : a + diff * t;
}

// The p-th percentile (0 to 100) of sorted values, as numpy.percentile's
// default method computes it: the value at the fractional index
// (n - 1) * p / 100, interpolated between its two neighbours.
export function percentile(sorted, p) {
  const n = sorted.length;
  if (n === 0) return NaN;
  const at = (n - 1) * (p / 100);
  const below = Math.floor(at);
  const above = Math.min(n - 1, below + 1);
  return lerp(sorted[below], sorted[above], at - below);
}

// The spread of one figure over the futures: its median, its 10th and 90th
// percentiles, its lowest and its highest value.
export function spread(values) {
  const sorted = Float64Array.from(values).sort();
  return { p10: percentile(sorted, 10), median: percentile(sorted, 50), p90: percentile(sorted, 90),
    low: sorted[0], high: sorted[sorted.length - 1] };
}

// The per-day bands of one series over the futures: runs[f] is future f's
// series (all of `days` values); answers {p10, median, p90}, each a
// Float64Array of the days.
export function bands(runs, days) {
  const p10 = new Float64Array(days), median = new Float64Array(days), p90 = new Float64Array(days);
  const day = new Float64Array(runs.length);
  for (let d = 0; d < days; d++) {
    for (let f = 0; f < runs.length; f++) day[f] = runs[f][d];
    day.sort();
    p10[d] = percentile(day, 10);
    median[d] = percentile(day, 50);
    p90[d] = percentile(day, 90);
  }
  return { p10, median, p90 };
}

// Whether a value meets a threshold {kind: 'max' | 'min', value}: at most or
// at least its value.
export function meets(value, threshold) {
  return threshold.kind === 'max' ? value <= threshold.value : value >= threshold.value;
}

// The share of futures that meet every threshold: figures[f] is future f's
// figures by name (a Map); thresholds: [{figure, kind, value}]. Answers
// {met, count}.
export function meeting(figures, thresholds) {
  let met = 0;
  for (const f of figures) if (thresholds.every((t) => meets(f.get(t.figure), t))) met++;
  return { met, count: figures.length };
}

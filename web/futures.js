// The per-day bands of the Futures view's charts, without the document:
// percentiles as NumPy's default ("linear") method computes them, day by
// day over the futures' series. (The futures themselves and every figure
// over them are the robust study's, computed by the study program.)

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

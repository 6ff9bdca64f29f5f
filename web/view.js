// How the page words and shows figures: the plain labels and units that the
// plan and the scenario give their values, figures to a sensible precision,
// and the time axis in months (up to two years) or years (beyond).

// Every labelled value's {label, unit, ...} by name: the scenario's entry
// where both the scenario and the plan's output labels give one, as the
// engine chooses. Looked up in Maps, never as object properties.
function entries(scenario, plan) {
  const out = new Map(Object.entries(plan?.output?.labels || {}));
  for (const [name, e] of Object.entries(scenario?.labels || {})) if (e) out.set(name, e);
  return out;
}

function entry(scenario, plan, name) {
  return entries(scenario, plan).get(name) || null;
}

// Every value's plain label, {NAME: LABEL}, for the engine's nearest names.
export function labelsOf(scenario, plan) {
  const out = {};
  for (const [name, e] of entries(scenario, plan)) if (typeof e?.label === 'string') out[name] = e.label;
  return out;
}

// A value's plain label, or its qualified name when none is given.
export function labelOf(scenario, plan, name) {
  return entry(scenario, plan, name)?.label || name;
}

export function unitOf(scenario, plan, name) {
  return entry(scenario, plan, name)?.unit || '';
}

// The run's headline figures as the page words them, for its cards and for
// the study's outputs: each count of days, the days with any shortfall, each
// shortfall's days, each level at the end. Each gives its kind (count,
// any-shortfall, shortfall, level), the name a study file gives it (figure),
// its label, its value and unit, and the qualified name of a level (title).
export function headlineFigures(scenario, plan, answer) {
  const plain = (entry, name) => entry?.label || name.replace(/_/g, ' ');
  const counts = new Map((plan.summary?.counts || []).map((c) => [c.name, c]));
  const shortfalls = new Map((plan.summary?.shortfalls || []).map((c) => [c.name, c]));
  return [
    ...answer.counts.map((c) => ({ kind: 'count', figure: c.name, label: plain(counts.get(c.name), c.name),
      value: c.days, unit: 'days' })),
    { kind: 'any-shortfall', figure: 'shortfall_days', label: 'Days with any shortfall', value: answer.shortfallDays,
      unit: 'days' },
    ...answer.shortfalls.map((c) => ({ kind: 'shortfall', figure: c.name,
      label: `Short: ${plain(shortfalls.get(c.name), c.name)}`, value: c.days, unit: 'days' })),
    ...answer.levels.map((l) => ({ kind: 'level', figure: l.name,
      label: `Final ${labelOf(scenario, plan, l.name).toLowerCase()}`, value: l.value,
      unit: unitOf(scenario, plan, l.name), title: l.name })),
  ];
}

const small = new Intl.NumberFormat('en', { maximumSignificantDigits: 4 });
const large = new Intl.NumberFormat('en', { maximumFractionDigits: 0 });

// A figure as the page shows it: four significant digits, whole numbers
// from 1000 on; the downloads keep every digit.
export function figure(value) {
  if (value === null || value === undefined || Number.isNaN(value)) return '–';
  if (!Number.isFinite(value)) return value > 0 ? '∞' : '−∞';
  return (Math.abs(value) >= 1000 ? large : small).format(value).replace('-', '−');
}

const MONTHS = ['Jan', 'Feb', 'Mar', 'Apr', 'May', 'Jun', 'Jul', 'Aug', 'Sep', 'Oct', 'Nov', 'Dec'];
const STARTS = [1, 32, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335];
const YEAR = 365;

// The time axis of a run of `days` days (day 1 is the 1st of January of a
// 365-day year): its kind, uPlot's splits and values, a day's date in words
// and the days that a data table shows. The ticks follow what is shown: a
// zoomed view of up to two years shows months.
export function axisFor(days) {
  const yearOf = (day) => Math.floor((day - 1) / YEAR) + 1;
  const monthOf = (day) => STARTS.findLastIndex((s) => s <= ((day - 1) % YEAR) + 1);
  const monthStarts = (min, max) => {
    const out = [];
    for (let y = Math.max(0, yearOf(Math.max(1, min)) - 1); y * YEAR + 1 <= max; y++)
      for (const s of STARTS) if (y * YEAR + s >= min && y * YEAR + s <= max && y * YEAR + s <= days) out.push(y * YEAR + s);
    return out;
  };
  const width = (u) => u.bbox.width / (globalThis.devicePixelRatio || 1);
  const splits = (u, i, min, max) => {
    if (max - min <= 2 * YEAR) {
      // Every month where there is room for it, else every third or sixth.
      const shown = monthStarts(min, max);
      const room = width(u) / Math.max(1, shown.length);
      const step = room >= 40 ? 1 : room >= 14 ? 3 : 6;
      return shown.filter((d) => monthOf(d) % step === 0);
    }
    const years = (max - min) / YEAR;
    const stride = [1, 2, 5, 10, 20, 25, 50].find((s) => years / s <= 10) || 100;
    const out = [];
    for (let y = 0; y * YEAR + 1 <= max; y += stride) if (y * YEAR + 1 >= min) out.push(y * YEAR + 1);
    return out;
  };
  const values = (u, ticks) => ticks.map((d) => {
    const m = monthOf(d);
    if (m === 0 && days > YEAR) return `Year ${yearOf(d)}`;
    return MONTHS[m];
  });
  if (days <= 2 * YEAR) {
    return {
      kind: 'month',
      splits,
      values,
      date: (day) => {
        const m = monthOf(day);
        const text = `${((day - 1) % YEAR) + 1 - STARTS[m] + 1} ${MONTHS[m]}`;
        return days > YEAR ? `${text}, year ${yearOf(day)}` : text;
      },
      rows: () => monthStarts(1, days),
    };
  }
  const years = Math.ceil(days / YEAR);
  return {
    kind: 'year',
    splits,
    values,
    date: (day) => `year ${yearOf(day)}, day ${((day - 1) % YEAR) + 1}`,
    rows: () => Array.from({ length: years }, (_, y) => y * YEAR + 1),
  };
}

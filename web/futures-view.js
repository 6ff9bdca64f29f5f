// The Futures view: the settings on screen run across sampled futures of
// the per-day inputs (each per-day column scaled by a factor between 0.8
// and 1.2, a Latin hypercube from the seed; futures.js) on a pool of
// workers (futures-pool.js). The charts then show the futures' median and
// their 10–90 % band day by day (charts.js), and the view's table each
// headline figure's median and range, with a threshold per figure set by
// the planner and the share of futures that meet every one.
import { $, el } from './dom.js';
import { FuturesPool } from './futures-pool.js';
import { HIGH, LOW, bands, meeting, meets, sampleFutures, spread } from './futures.js';
import { draw } from './results.js';
import { request, toHash } from './settings.js';
import { columns, page, probe } from './state.js';
import { figure, headlineFigures } from './view.js';

const MAX_FUTURES = 1000;
// Futures times days: 200 futures of ten years at most, so that their
// series fit in the page's memory.
const MAX_FUTURE_DAYS = 200 * 3650;

const pool = new FuturesPool();
// The thresholds set, by figure: {kind: '' | 'max' | 'min', text}.
const thresholds = new Map();
let running = null;  // {stopped}
// Whether the table stands: it is first built when futures are asked for,
// so that the page does not move as it loads.
let built = false;

const keyOf = (settings) => toHash(settings);

// The futures of the settings on screen, or null: {names, factors, seed,
// days, figures (per future, a Map figure -> value), spreads (a Map figure
// -> spread), bands (a Map variable -> {p10, median, p90})}.
export function shownFutures() {
  const f = page.futures;
  return f && page.current && f.key === keyOf(page.current.settings) ? f : null;
}

function status(text) {
  $('futures-status').textContent = text;
}

// The per-day columns that the futures scale: those of kind double that no
// set takes out of the table.
function uncertainties(settings) {
  const fixed = new Set(settings.sets.map(([name]) => name));
  return columns().filter((name) => page.values.get(name)?.kind === 'double' && !fixed.has(name));
}

// A whole number from a field, within [low, high], or an Error naming it;
// the field is marked while it holds anything else.
function whole(id, what, low, high) {
  const field = $(id);
  const text = field.value.trim();
  if (!/^\d+$/.test(text) || Number(text) < low || Number(text) > high) {
    field.setAttribute('aria-invalid', 'true');
    throw new Error(`${what}: a whole number from ${low} to ${high}, not “${text}”`);
  }
  field.removeAttribute('aria-invalid');
  return Number(text);
}

const yieldToPage = () => new Promise((resolve) => setTimeout(resolve, 0));

// The variables that the charts draw.
const charted = () => [...new Set((page.plan.output?.panels || []).flatMap((p) => p.variables))];

async function run() {
  if (running || !page.current) return;
  const started = performance.now();
  const settings = page.current.settings;
  const days = page.current.answer.days;
  let count, seed;
  try {
    count = whole('fu-count', 'Futures', 2, MAX_FUTURES);
    seed = whole('fu-seed', 'Seed', 0, 4294967295);
    if (count * days > MAX_FUTURE_DAYS)
      throw new Error(`${count} futures of ${days} days are too many for this page: at most ${MAX_FUTURE_DAYS} ` +
        'future-days (200 futures of ten years)');
  } catch (e) {
    status(`Not run: ${e.message}.`);
    return;
  }
  const names = uncertainties(settings);
  const factors = sampleFutures(names, count, seed);
  const base = { ...request(page.files, page.table, settings), description: undefined };
  const keep = charted();
  const scales = factors.map((f) => names.map((name, c) => `${name}=${f[c]}`));
  const me = { stopped: false };
  running = me;
  $('futures-run').disabled = true;
  $('futures-stop').disabled = false;
  const bar = $('futures-progress');
  bar.max = count;
  bar.value = 0;
  fillTable(null);
  status(`Running ${count} futures…`);
  try {
    await pool.open(page.files.description);
    const answers = await pool.run(base, scales, keep, (done) => {
      bar.value = done;
      status(`Running ${count} futures: ${done} done…`);
    }, () => me.stopped);
    if (!answers) {
      status(`Stopped; nothing of the futures is kept.`);
      bar.value = 0;
      return;
    }
    const refused = answers.findIndex((a) => a.error !== undefined);
    if (refused >= 0) throw new Error(`future ${refused + 1}: ${answers[refused].error}`);
    const figures = answers.map((a) =>
      new Map(headlineFigures(page.scenario, page.plan, a).map((c) => [c.figure, c.value])));
    const spreads = new Map([...figures[0].keys()].map((name) => [name, spread(figures.map((f) => f.get(name)))]));
    const perVariable = new Map();
    for (const [k, name] of keep.entries()) {
      await yieldToPage();
      perVariable.set(name, bands(answers.map((a) => a.series[k]), answers[0].days));
    }
    page.futures = { key: keyOf(settings), names, factors, seed, days, figures, spreads, bands: perVariable };
    const ms = performance.now() - started;
    if (!shownFutures()) {
      status('The settings changed while the futures ran; run them again for the settings now on screen.');
      return;
    }
    await draw();
    fillTable(page.futures);
    const drawnMs = performance.now() - started;
    // What the test checks against the command line: the scale factors as
    // the runs took them, each figure's spread, and the bands of the first
    // variable charted.
    probe.futures = { count, workers: pool.size, runMs: ms, drawnMs, names, scales,
      spreads: Object.fromEntries(spreads), band: { name: keep[0], ...perVariable.get(keep[0]) } };
    status(`${count} futures run in ${(ms / 1000).toFixed(1)} s on ${pool.size} workers: the charts show their ` +
      'median (dotted) and the band that holds 80 % of them (shaded).');
    $('futures-clear').disabled = false;
  } catch (e) {
    status(`The futures cannot run: ${e.message}`);
    pool.close();
  } finally {
    running = null;
    $('futures-run').disabled = false;
    $('futures-stop').disabled = true;
  }
}

// The thresholds in force: [{figure, kind, value}], and the first that
// cannot be read, if any.
function thresholdsInForce() {
  const out = [];
  let bad = null;
  for (const [name, t] of thresholds) {
    if (!t.kind || t.text.trim() === '') continue;
    const value = Number(t.text);
    if (!Number.isFinite(value)) bad ??= name;
    else out.push({ figure: name, kind: t.kind, value });
  }
  return { list: out, bad };
}

// The share of futures that meet every threshold, in words, and each
// figure's own share.
function showShares(futures) {
  const rows = $('futures-figures').querySelectorAll('tbody tr');
  const { list, bad } = thresholdsInForce();
  for (const row of rows) {
    const t = list.find((x) => x.figure === row.dataset.figure);
    const cell = row.querySelector('.share');
    if (!futures || !t) cell.textContent = '–';
    else {
      const met = futures.figures.filter((f) => meets(f.get(t.figure), t)).length;
      cell.textContent = `${percent(met, futures.figures.length)} (${met})`;
    }
  }
  const box = $('futures-share');
  if (bad !== null) box.textContent = `The threshold of ${labelOfFigure(bad)} is not a number.`;
  else if (!futures) box.textContent = '';
  else if (!list.length) box.textContent = 'Set a threshold (at most or at least) for any figure to see the share ' +
    'of futures that meet it.';
  else {
    const { met, count } = meeting(futures.figures, list);
    box.textContent = `${met} of ${count} futures (${percent(met, count)}) meet every threshold set.`;
  }
  if (futures) probe.futuresShare = box.textContent;
}

const percent = (part, whole) => `${figure((100 * part) / whole)} %`;

function labelOfFigure(name) {
  return headlineFigures(page.scenario, page.plan, page.current.answer).find((c) => c.figure === name)?.label || name;
}

// The table of the headline figures: the scenario's year, the futures'
// median, 10–90 % and lowest to highest, each figure's threshold and the
// share of futures that meet it. Built with blank figures when no futures
// are shown, so that it keeps its size when they come.
function fillTable(futures) {
  built = true;
  const cards = headlineFigures(page.scenario, page.plan, page.current.answer);
  const table = $('futures-figures');
  const head = el('tr', {}, ...['Figure', 'This year', 'Median', '10–90 %', 'Lowest–highest', 'Threshold',
    'Share meeting it'].map((text) => el('th', { scope: 'col', text })));
  const rows = cards.map((c, i) => {
    const s = futures?.spreads.get(c.figure);
    const t = thresholds.get(c.figure) || { kind: '', text: '' };
    const kind = el('select', { id: `fu-kind-${i}`, 'aria-label': `Threshold of ${c.label}` },
      ...[['', 'none'], ['max', 'at most'], ['min', 'at least']].map(([value, text]) =>
        el('option', { value, text, ...(value === t.kind ? { selected: '' } : {}) })));
    const value = el('input', { id: `fu-value-${i}`, value: t.text, inputmode: 'decimal', size: '6',
      autocomplete: 'off', 'aria-label': `Threshold value of ${c.label}` });
    const update = () => {
      thresholds.set(c.figure, { kind: kind.value, text: value.value });
      showShares(shownFutures());
    };
    kind.addEventListener('change', update);
    value.addEventListener('input', update);
    const range = (a, b) => (s ? `${figure(a)}–${figure(b)}` : '–');
    return el('tr', { 'data-figure': c.figure }, el('th', { scope: 'row', text: c.label }),
      el('td', { text: figure(c.value) }), el('td', { text: s ? figure(s.median) : '–' }),
      el('td', { text: range(s?.p10, s?.p90) }), el('td', { text: range(s?.low, s?.high) }),
      el('td', { class: 'threshold' }, kind, value), el('td', { class: 'share', text: '–' }));
  });
  const cols = el('colgroup', {}, ...['figure', 'number', 'number', 'range', 'range', 'threshold', 'share'].map((kind) =>
    el('col', { class: `${kind}-col` })));
  table.replaceChildren(el('caption', { text: 'The headline figures over the futures' }), cols,
    el('thead', {}, head), el('tbody', {}, ...rows));
  showShares(futures);
}

// After each run drawn: the table follows the figures on screen; futures
// of other settings are no longer shown.
export function futuresAfterRun() {
  if (running || !built) return;
  const stale = page.futures && !shownFutures();
  fillTable(shownFutures());
  if (stale) {
    status('The futures were run for earlier settings; run them again for the settings now on screen.');
    $('futures-clear').disabled = true;
  }
}

function clear() {
  page.futures = null;
  $('futures-clear').disabled = true;
  $('futures-progress').value = 0;
  fillTable(null);
  status('Futures cleared.');
  draw();
}

export function setupFutures() {
  $('futures-text').textContent = 'How the settings above fare when the year’s per-day inputs differ from the ' +
    `scenario’s: in each future, every per-day column is scaled by its own factor between ${LOW} and ${HIGH} ` +
    '(the factors drawn from the seed as a Latin hypercube, so that each column’s range is covered evenly). ' +
    'The charts then show the futures’ median and the band between their 10th and 90th percentiles, day by day.';
  $('futures-form').addEventListener('submit', (e) => {
    e.preventDefault();
    run();
  });
  $('futures-stop').addEventListener('click', () => {
    if (!running) return;
    running.stopped = true;
    $('futures-stop').disabled = true;
  });
  $('futures-clear').addEventListener('click', clear);
}

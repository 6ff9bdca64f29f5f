// The Futures view: the design on screen as a robust study of one design
// (no levers): every per-day column scaled by a factor between 0.8 and 1.2
// of its setting (the uncertainties), a Latin hypercube of futures from the
// seed, the thresholds the planner sets as the study's. The study program
// runs it on a pool of study workers (study-pool.js), which also keep each
// future's series of the charted variables: the charts show their median
// and 10–90 % band day by day (futures.js, charts.js). Every figure over
// the futures (the spreads, the share that meets the thresholds, where the
// design misses) is the study's tables' (robustness.csv, results.csv and
// its summary), and the study file downloads, for tarvello-run --study.
import { csvTable } from './csv.js';
import { $, el, save } from './dom.js';
import { bands } from './futures.js';
import { draw } from './results.js';
import { toHash } from './settings.js';
import { columns, page, probe } from './state.js';
import { runStudy } from './study.js';
import { figureOutputs, fixedSettings } from './study-form.js';
import { StudyPool } from './study-pool.js';
import { figure, headlineFigures } from './view.js';

const MAX_FUTURES = 1000;
// Futures times days: 200 futures of ten years at most, so that their
// series fit in the page's memory.
const MAX_FUTURE_DAYS = 200 * 3650;
// The range of a per-day column's scale factor in the futures, relative to
// its setting.
const LOW = 0.8;
const HIGH = 1.2;
const STUDY_FILE = 'futures-study.json';

const pool = new StudyPool();
// The thresholds set, by figure: {kind: '' | 'max' | 'min', text}.
const thresholds = new Map();
let running = null;  // {stopped}
let retabling = null;  // {again}: the tables being made for changed thresholds
// Whether the table stands: it is first built when futures are asked for,
// so that the page does not move as it loads.
let built = false;

const keyOf = (settings) => toHash(settings);

// The futures of the settings on screen, or null: {key, settings, study
// (the study file), text (its text), outputs, evaluations, tables: {files (a
// Map name -> text), summary}, spreads (a Map figure -> spread), bands (a
// Map variable -> {p10, median, p90}), thresholds (those of the tables)}.
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

// The robust study of the design on screen: one design (the settings fixed
// for every case), the per-day columns' scales as its uncertainties (a
// column's own setting scales its range), the headline figures as its
// outputs and the thresholds in force as its own.
function futuresStudy(settings, count, seed, outputs, inForce) {
  const kinds = new Map(page.description.values.map((v) => [v.name, v.kind]));
  const names = uncertainties(settings);
  const study = {
    description: 'The design on screen in the explorer page across sampled futures of its per-day inputs.',
    method: 'robust', days: Number(settings.days), seed,
    uncertainties: names.map((name) => {
      const factor = Number(settings.scale[name] ?? 1);
      return { name: `scale:${name}`, low: LOW * factor, high: HIGH * factor };
    }),
    futures: { sample: 'lhs', count },
    outputs: outputs.map(({ name, figure: f }) => ({ name, figure: f })),
    ...fixedSettings(settings, kinds, new Set(names.map((name) => `scale:${name}`))),
  };
  if (inForce.length) {
    const nameOf = new Map(outputs.map((o) => [o.figure, o.name]));
    study.robust = { thresholds: inForce.map((t) => ({ output: nameOf.get(t.figure), [t.kind]: t.value })) };
  }
  return study;
}

const studyText = (study) => `${JSON.stringify(study, null, 2)}\n`;

// The study's request to the study program.
const studyRequest = (text) => ({ plan: page.files.plan, scenario: page.files.scenario, daily: page.files.inputs,
  study: text, source: STUDY_FILE });

// Each figure's spread over the futures, from the study's tables: the
// median and the 10th and 90th percentiles of robustness.csv, the lowest
// and highest of results.csv's column.
function spreadsOf(files, outputs) {
  const robustness = csvTable(files.get('robustness.csv'));
  const results = csvTable(files.get('results.csv'));
  const col = (table, name) => table.header.indexOf(name);
  const spreads = new Map();
  for (const o of outputs) {
    const row = robustness.rows.find((r) => r[col(robustness, 'output')] === o.name);
    const at = col(results, o.name);
    const values = results.rows.map((r) => r[at]).filter((t) => t !== '').map(Number);
    const get = (name) => Number(row[col(robustness, name)]);
    spreads.set(o.figure, { p10: get('p10'), median: get('p50'), p90: get('p90'),
      low: values.reduce((a, b) => Math.min(a, b)), high: values.reduce((a, b) => Math.max(a, b)) });
  }
  return spreads;
}

// The study's tables for the futures run, with the thresholds now in force:
// the leader starts the study anew and is told the same evaluations (the
// thresholds change no case), so that no case runs again.
async function tablesFor(futures, inForce) {
  const study = futuresStudy(futures.settings, futures.study.futures.count, futures.study.seed, futures.outputs,
    inForce);
  const text = studyText(study);
  const begun = await pool.leader.start(studyRequest(text));
  if (!begun.ok) throw new Error(begun.error);
  let told = 0;
  const tables = await runStudy(pool.leader, (points) => {
    const out = futures.evaluations.slice(told, told + points.length);
    told += points.length;
    return out;
  });
  return { study, text, tables: { files: new Map(tables.files), summary: tables.summary } };
}

async function run() {
  if (running || retabling || !page.current) return;
  const started = performance.now();
  const settings = page.current.settings;
  const days = page.current.answer.days;
  const inForce = thresholdsInForce().list;
  const outputs = figureOutputs(page.plan, page.scenario, page.current.answer);
  let study;
  try {
    const count = whole('fu-count', 'Futures', 2, MAX_FUTURES);
    const seed = whole('fu-seed', 'Seed', 0, 4294967295);
    if (count * days > MAX_FUTURE_DAYS)
      throw new Error(`${count} futures of ${days} days are too many for this page: at most ${MAX_FUTURE_DAYS} ` +
        'future-days (200 futures of ten years)');
    study = futuresStudy(settings, count, seed, outputs, inForce);
  } catch (e) {
    status(`Not run: ${e.message}.`);
    return;
  }
  const count = study.futures.count;
  const text = studyText(study);
  const request = studyRequest(text);
  const keep = charted();
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
    const begun = await pool.leader.start(request);
    if (!begun.ok) throw new Error(begun.error);
    await pool.load(request);
    const series = [];
    const evaluations = [];
    const tables = await runStudy(pool.leader, async (points, progress) => {
      const answers = await pool.evaluate(points, progress, () => me.stopped, keep);
      if (!answers) return null;
      for (const a of answers) {
        series.push(a.series);
        evaluations.push(a.ok ? { ok: true, outputs: a.outputs } : { ok: false, reason: a.reason });
      }
      return evaluations.slice(-answers.length);
    }, {
      progress: (done) => {
        if (me.stopped) return;
        bar.value = done;
        status(`Running ${count} futures: ${done} done…`);
      },
      stopped: () => me.stopped,
    });
    if (!tables) {
      status('Stopped; nothing of the futures is kept.');
      bar.value = 0;
      return;
    }
    const refused = evaluations.findIndex((e) => !e.ok);
    if (refused >= 0) throw new Error(`future ${refused + 1}: ${evaluations[refused].reason}`);
    const files = new Map(tables.files);
    const perVariable = new Map();
    for (const [k, name] of keep.entries()) {
      await yieldToPage();
      perVariable.set(name, bands(series.map((s) => s[k]), series[0][k].length));
    }
    page.futures = { key: keyOf(settings), settings, study, text, outputs, evaluations,
      tables: { files, summary: tables.summary }, spreads: spreadsOf(files, outputs), bands: perVariable,
      thresholds: JSON.stringify(inForce) };
    const ms = performance.now() - started;
    if (!shownFutures()) {
      status('The settings changed while the futures ran; run them again for the settings now on screen.');
      return;
    }
    await draw();
    fillTable(page.futures);
    const drawnMs = performance.now() - started;
    // What the test checks against the command line: the study file, its
    // tables, and the bands of the first variable charted.
    probe.futures = { count, workers: pool.size, runMs: ms, drawnMs, outputs };
    const cells = Object.keys(settings.cells || {}).length
      ? ' They ran the scenario’s own per-day table: cells edited on the page are not part of a study.' : '';
    status(`${count} futures run in ${(ms / 1000).toFixed(1)} s on ${pool.size} workers: the charts show their ` +
      `median (dotted) and the band that holds 80 % of them (shaded).${cells}`);
    $('futures-clear').disabled = false;
    $('futures-download').disabled = false;
    probeBand(keep[0]);
    running = null;
    // Thresholds changed while the futures ran: the tables follow them.
    thresholdsChanged();
  } catch (e) {
    status(`The futures cannot run: ${e.message}`);
    pool.close();
  } finally {
    running = null;
    $('futures-run').disabled = false;
    $('futures-stop').disabled = true;
  }
}

// The figures the test reads of the futures shown.
function probeBand(name) {
  const f = page.futures;
  probe.futures = { ...probe.futures, study: f.text, files: Object.fromEntries(f.tables.files),
    summary: f.tables.summary, spreads: Object.fromEntries(f.spreads), band: { name, ...f.bands.get(name) } };
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

// After a threshold changed: the study's tables for the thresholds now in
// force (one at a time; the last change wins), then the share and the box.
async function thresholdsChanged() {
  const futures = shownFutures();
  if (!futures || running || thresholdsInForce().bad !== null) {
    showShares(futures);
    return;
  }
  if (retabling) {
    retabling.again = true;
    return;
  }
  retabling = { again: false };
  try {
    for (;;) {
      const now = thresholdsInForce().list;
      if (JSON.stringify(now) === futures.thresholds) break;
      const { study, text, tables } = await tablesFor(futures, now);
      Object.assign(futures, { study, text, tables, thresholds: JSON.stringify(now) });
      if (futures === page.futures) probeBand(probe.futures?.band?.name);
      if (!retabling.again) break;
      retabling.again = false;
    }
  } catch (e) {
    $('futures-box').textContent = `The thresholds cannot be applied: ${e.message}`;
    return;
  } finally {
    retabling = null;
  }
  showShares(shownFutures());
}

// The share of futures that meet every threshold and where the design
// misses them, in words, from the study's tables for the thresholds set.
function showShares(futures) {
  const { list, bad } = thresholdsInForce();
  const share = $('futures-share'), box = $('futures-box');
  const current = futures && futures.thresholds === JSON.stringify(list);
  if (bad !== null) {
    share.textContent = `The threshold of ${labelOfFigure(bad)} is not a number.`;
    box.textContent = '';
  } else if (!futures) {
    share.textContent = '';
    box.textContent = '';
  } else if (!list.length) {
    share.textContent = 'Set a threshold (at most or at least) for any figure to see the share of futures that ' +
      'meet them, and where the design misses.';
    box.textContent = '';
  } else if (!current) {
    share.textContent = 'Counting the futures that meet the thresholds…';
    box.textContent = '';
  } else {
    const robustness = csvTable(futures.tables.files.get('robustness.csv'));
    const satisficing = Number(robustness.rows[0][robustness.header.indexOf('satisficing')]);
    const count = futures.study.futures.count;
    const met = Math.round(satisficing * count);
    share.textContent = `${met} of ${count} futures (${figure(100 * satisficing)} %) meet every threshold set.`;
    box.textContent = missesInWords(futures.tables.summary, count);
  }
  if (futures) {
    probe.futuresShare = share.textContent;
    probe.futuresBox = box.textContent;
  }
}

// Where the design misses its thresholds, as the study's summary says it
// (after "one design across N futures; "), or that it never does.
function missesInWords(summary, count) {
  const words = summary.match(/design d\d+ [\s\S]*$/)[0];
  if (/^design \S+ meets its thresholds in every future/.test(words))
    return `The design meets every threshold in all ${count} futures.`;
  return `Where it misses: ${words.replace(/^design \S+/, 'the design')}.`;
}

function labelOfFigure(name) {
  return headlineFigures(page.scenario, page.plan, page.current.answer).find((c) => c.figure === name)?.label || name;
}

// The table of the headline figures: the scenario's year, the futures'
// median, 10–90 % and lowest to highest, and each figure's threshold.
// Built with blank figures when no futures are shown, so that it keeps its
// size when they come.
function fillTable(futures) {
  built = true;
  const cards = headlineFigures(page.scenario, page.plan, page.current.answer);
  const table = $('futures-figures');
  const head = el('tr', {}, ...['Figure', 'This year', 'Median', '10–90 %', 'Lowest–highest', 'Threshold']
    .map((text) => el('th', { scope: 'col', text })));
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
      thresholdsChanged();
    };
    kind.addEventListener('change', update);
    value.addEventListener('input', update);
    const range = (a, b) => (s ? `${figure(a)}–${figure(b)}` : '–');
    return el('tr', { 'data-figure': c.figure }, el('th', { scope: 'row', text: c.label }),
      el('td', { text: figure(c.value) }), el('td', { text: s ? figure(s.median) : '–' }),
      el('td', { text: range(s?.p10, s?.p90) }), el('td', { text: range(s?.low, s?.high) }),
      el('td', { class: 'threshold' }, kind, value));
  });
  const cols = el('colgroup', {}, ...['figure', 'number', 'number', 'range', 'range', 'threshold'].map((kind) =>
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
    $('futures-download').disabled = true;
  }
}

function clear() {
  page.futures = null;
  $('futures-clear').disabled = true;
  $('futures-download').disabled = true;
  $('futures-progress').value = 0;
  fillTable(null);
  status('Futures cleared.');
  draw();
}

export function setupFutures() {
  $('futures-text').textContent = 'How the settings above fare when the year’s per-day inputs differ from the ' +
    `scenario’s: in each future, every per-day column is scaled by its own factor between ${LOW} and ${HIGH} ` +
    'times its setting (the factors drawn from the seed as a Latin hypercube, so that each column’s range is ' +
    'covered evenly). The charts then show the futures’ median and the band between their 10th and 90th ' +
    'percentiles, day by day. The futures run as a robust study of the design on screen, whose study file ' +
    'downloads: tarvello-run --study futures-study.json gives the same tables.';
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
  $('futures-download').addEventListener('click', () => {
    const f = shownFutures();
    if (f) save(STUDY_FILE, f.text, 'application/json');
  });
}

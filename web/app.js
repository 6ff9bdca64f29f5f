// The explorer page: its controls are generated from the model description,
// the plan and the scenario; every change reruns the model in a worker
// (worker.js) and redraws the headline figures and the plan's panels.
import {
  commandLine, dailyTable, editsTable, emptySettings, fromHash, request, scenarioFile, toHash,
} from './settings.js';
import { csvTable } from './csv.js';
import { $, el, save } from './dom.js';
import { setupStudy } from './study-panel.js';
import { axisFor, labelOf, labelsOf, figure, unitOf } from './view.js';

const MAX_DAYS = 36500;
const COLOURS = ['#1a4f8b', '#b3471d', '#2a7d2e', '#7b3294'];


// What the test reads: when the first chart was drawn, every rerun's time
// from the last change to the redrawn charts, and how many runs were started
// and drawn.
const probe = { firstChart: null, timings: [], runs: 0, errors: 0, started: 0, superseded: 0 };
window.tarvello = probe;

let files, description, values, table, plan, scenarioDoc, worker;
let current = null;   // the last good run: {settings, answer}
let baseline = null;  // a pinned run
let kept = [];        // the address's parts that could not be applied: [{part, message}]
let charts = [];
let chartsKey = '';
let study = null;     // the Study panel

// The worker: one request at a time in flight, answered in order.
let asked = 0;
const answers = new Map();
function ask(message) {
  const id = ++asked;
  worker.postMessage({ id, ...message });
  return new Promise((resolve) => answers.set(id, resolve));
}

// Takes the worker and the texts that boot.js started as the page drew its
// first frame (the worker compiles the program while the texts load); answers
// {ready}, the promise of the engine's readiness: the worker parses the
// description while the page builds its controls.
async function load() {
  const boot = window.tarvelloBoot;
  worker = boot.worker;
  worker.onmessage = ({ data }) => {
    answers.get(data.id)(data);
    answers.delete(data.id);
  };
  const text = async (name) => {
    const r = await boot.texts.get(name);
    if (!r.ok) throw new Error(`cannot load ${name}: ${r.status}`);
    return r.text();
  };
  const descriptionText = text('TarvelloDemoSite.json');
  const ready = descriptionText.then((d) => ask({ init: { description: d } })).then((reply) => {
    probe.engineReady = performance.now();
    if (reply.error) throw new Error(reply.error);
  });
  const [d, p, s, i] = await Promise.all([descriptionText, text('plan.json'), text('scenario.json'),
    text('inputs.csv')]);
  files = { description: d, plan: p, scenario: s, inputs: i };
  description = JSON.parse(d);
  values = new Map(description.values.map((v) => [v.name, v]));
  plan = JSON.parse(p);
  scenarioDoc = JSON.parse(s);
  table = csvTable(i);
  probe.textsLoaded = performance.now();
  ready.catch(() => {});  // awaited once the controls stand
  return { ready };
}

const constants = () => new Map(Object.entries(scenarioDoc.constants || {}));
const notes = () => new Map(Object.entries(scenarioDoc.notes || {}));
const columns = () => table.header.slice(1);

// A labelled field named by the qualified name of what it sets, with its
// help, its range and a reset to the scenario's value.
function field(id, name, value, { help, reset, extra = [] } = {}) {
  const error = el('span', { class: 'error', id: `${id}-error` });
  const input = el('input', { id, name, value, autocomplete: 'off', spellcheck: 'false', inputmode: 'decimal',
    title: name });
  const described = [`${id}-error`];
  const unit = unitOf(scenarioDoc, plan, name);
  const parts = [el('label', { for: id, text: labelOf(scenarioDoc, plan, name) + (unit ? ` (${unit})` : '') }),
    input];
  const range = (scenarioDoc.labels?.[name] || {});
  const bounds = range.min !== undefined && range.max !== undefined ? `Range ${range.min} to ${range.max}.`
    : range.min !== undefined ? `At least ${range.min}.` : range.max !== undefined ? `At most ${range.max}.` : '';
  const hints = [help, bounds].filter(Boolean).join(' ');
  if (hints) {
    parts.push(el('span', { class: 'help', id: `${id}-help`, text: hints }));
    described.push(`${id}-help`);
  }
  if (reset !== undefined) {
    const button = el('button', { type: 'button', class: 'reset', text: 'Reset',
      'aria-label': `Reset ${labelOf(scenarioDoc, plan, name)} to ${reset}` });
    button.addEventListener('click', () => {
      input.value = reset;
      changed(performance.now());
    });
    parts.push(button);
  }
  input.setAttribute('aria-describedby', described.join(' '));
  return el('div', { class: 'field' }, ...parts, ...extra, error);
}

function initialText(name) {
  const v = values.get(name);
  if (!v || v.initial === null || v.initial === undefined) return v && v.kind === 'text' ? '' : '0';
  return String(v.initial);
}

function buildControls() {
  $('scenario-text').textContent = scenarioDoc.description || '';
  $('daily-text').textContent = notes().get(scenarioDoc.daily) || '';

  const box = $('constants');
  for (const [name, value] of constants())
    box.append(field(`f-${name}`, name, String(value), { help: notes().get(name), reset: String(value) }));

  const presets = Object.entries(scenarioDoc.presets || {});
  // The presets' line stands from the start (a scenario without presets
  // hides it), so that the fields below it do not move.
  $('presets').hidden = !presets.length;
  if (presets.length) {
    const menu = $('preset');
    for (const [name] of presets) menu.append(el('option', { value: name, text: name }));
    $('apply-preset').addEventListener('click', () => {
      const chosen = new Map(presets).get(menu.value);
      if (!chosen) return;
      resetAll();
      for (const [name, value] of Object.entries(chosen.constants || {}))
        if ($(`f-${name}`)) $(`f-${name}`).value = String(value);
        else addValue(name, String(value));
      for (const [name, factor] of Object.entries(chosen.scale || {}))
        if ($(`s-${name}`)) $(`s-${name}`).value = String(factor);
      showStatus(chosen.description || `Preset ${menu.value} applied.`);
      changed(performance.now());
    });
  }

  const t = $('daily');
  t.append(el('caption', { text: 'Per-day input table' }));
  const head = el('thead');
  head.append(el('tr', {}, el('th', { scope: 'col', text: 'Day' }),
    ...columns().map((name) => el('th', { scope: 'col', title: name, text: labelOf(scenarioDoc, plan, name) }))));
  head.append(el('tr', {}, el('th', { scope: 'row', text: 'Scale factor' }),
    ...columns().map((name) => el('td', {}, el('input', {
      id: `s-${name}`, name: `scale:${name}`, value: '1', inputmode: 'decimal', autocomplete: 'off',
      'aria-label': `Scale factor of ${labelOf(scenarioDoc, plan, name)}`,
    })))));
  t.append(head);
  const body = el('tbody');
  for (const row of table.rows)
    body.append(el('tr', {}, el('th', { scope: 'row', text: row[0] }),
      ...columns().map((name, c) => el('td', {}, el('input', {
        id: `c-${row[0]}-${name}`, name: `${name}@${row[0]}`, value: row[c + 1], inputmode: 'decimal',
        autocomplete: 'off', 'aria-label': `${labelOf(scenarioDoc, plan, name)} from day ${row[0]}`,
        'data-original': row[c + 1],
      })))));
  t.append(body);

  // The thousand names the search suggests are listed once it is first
  // used, not while the page starts.
  $('f-search').addEventListener('focus', () =>
    $('value-names').append(...description.values.map((v) => el('option', { value: v.name }))), { once: true });
  $('add-value').addEventListener('click', () => addValue($('f-search').value.trim()));
  $('f-search').addEventListener('keydown', (e) => {
    if (e.key === 'Enter') {
      e.preventDefault();
      addValue($('f-search').value.trim());
    }
  });
  $('controls').addEventListener('submit', (e) => e.preventDefault());
  $('controls').addEventListener('input', (e) => {
    if (e.target.id !== 'f-search' && e.target.id !== 'preset') changed(e.timeStamp);
  });
  $('reset-all').addEventListener('click', () => {
    resetAll();
    changed(performance.now());
  });
  $('pin').addEventListener('click', pin);
  $('unpin').addEventListener('click', unpin);
  $('download-csv').addEventListener('click', () => whenShown(downloadCsv));
  $('download-scenario').addEventListener('click', () => whenShown(downloadScenario));
  $('download-table').addEventListener('click', () => whenShown(() =>
    save('tarvello-inputs.csv', dailyTable(table, current.settings), 'text/csv')));
  window.addEventListener('hashchange', () => {
    if (location.hash === address()) return;
    fromAddress();
  });
}

// The scenario's own values everywhere.
function resetAll() {
  applySettings(emptySettings());
}

// A field for any value of the description, set after the scenario.
function addValue(name, value) {
  const search = $('f-search');
  const error = $('f-search-error');
  if (!values.has(name)) {
    search.setAttribute('aria-invalid', 'true');
    error.textContent = name ? `no value is named ${name}` : 'type a qualified name';
    // The names the host would offer, added when the worker answers, unless
    // the box has changed since.
    if (name) ask({ nearest: { name, labels: labelsOf(scenarioDoc, plan) } }).then((reply) => {
      if (reply.names?.length && search.value.trim() === name && error.textContent === `no value is named ${name}`)
        error.textContent = `no value is named ${name} (nearest: ${reply.names.join(', ')})`;
    });
    return null;
  }
  search.removeAttribute('aria-invalid');
  error.textContent = '';
  const id = `f-${name}`;
  if ($(id)) {
    if (value !== undefined) $(id).value = value;
    else $(id).focus();
    return $(id);
  }
  const v = values.get(name);
  const remove = el('button', { type: 'button', class: 'remove', text: 'Remove', 'aria-label': `Remove ${name}` });
  const f = field(id, name, value ?? initialText(name), { help: `${name}: ${v.kind}, ${v.category} of ${v.process}`,
    extra: [remove] });
  f.dataset.extra = 'true';
  remove.addEventListener('click', () => {
    f.remove();
    search.focus();
    changed(performance.now());
  });
  $('extra').append(f);
  if (value === undefined) {
    search.value = '';
    $(id).focus();
    changed(performance.now());
  }
  return $(id);
}

// The settings that the fields hold now.
function readSettings() {
  const s = emptySettings();
  s.days = $('f-days').value.trim();
  for (const [name, value] of constants()) {
    const text = $(`f-${name}`).value;
    if (text !== String(value)) s.sets.push([name, text]);
  }
  for (const f of $('extra').querySelectorAll('input')) s.sets.push([f.name, f.value]);
  for (const name of columns()) {
    const factor = $(`s-${name}`).value.trim();
    if (factor !== '1') s.scale[name] = factor;
  }
  for (const input of $('daily').querySelectorAll('tbody input'))
    if (input.value !== input.dataset.original) {
      const [name, day] = input.name.split('@');
      s.cells[`${day}:${name}`] = input.value;
    }
  return s;
}

// Puts settings into the fields.
function applySettings(s) {
  $('f-days').value = s.days;
  for (const f of [...$('extra').children]) f.remove();
  const sets = new Map(s.sets);
  for (const [name, value] of constants()) $(`f-${name}`).value = sets.has(name) ? sets.get(name) : String(value);
  for (const [name, value] of s.sets) if (!constants().has(name)) addValue(name, value);
  for (const name of columns()) $(`s-${name}`).value = s.scale[name] ?? '1';
  for (const input of $('daily').querySelectorAll('tbody input')) {
    const [name, day] = input.name.split('@');
    const key = `${day}:${name}`;
    input.value = key in s.cells ? s.cells[key] : input.dataset.original;
  }
}

// The address of what the page shows: the fields, the baseline, and what
// could not be applied.
function address() {
  return toHash(readSettings(), baseline ? baseline.settings : null, kept.map((k) => k.part));
}

// Puts what the page shows into its address, without a new history entry.
function remember() {
  const now = address();
  if (location.hash !== now) history.replaceState(null, '', now);
}

// Applies the address: its settings to the fields, its baseline run and
// pinned, each part that cannot be applied listed in the notice.
async function fromAddress() {
  const shape = { values, columns: new Set(columns()), days: new Set(table.rows.map((r) => r[0])) };
  const found = fromHash(location.hash, shape);
  kept = found.problems;
  // An unknown name gets the host's own message.
  const unknown = kept.filter((k) => k.set);
  if (unknown.length) {
    const labels = labelsOf(scenarioDoc, plan);
    const reply = await ask({ checks: unknown.map((k) => ({ set: k.set, labels })), request: null });
    unknown.forEach((k, i) => (k.message = reply.problems ? reply.problems[i] : reply.error));
  }
  applySettings(found.settings);
  baseline = null;
  if (found.baseline) {
    const reply = await runChecked(found.baseline);
    if (reply.answer) baseline = { settings: found.baseline, answer: reply.answer };
    else kept.push({ part: toHash(found.baseline).slice(1).split('&').map((p) => `base.${p}`).join('&'),
      message: `the baseline cannot be run: ${reply.message}` });
  }
  $('unpin').disabled = !baseline;
  showNotice();
  changed(performance.now());
}

function showNotice() {
  const box = $('notice');
  if (!kept.length) {
    box.replaceChildren();
    box.hidden = true;
    return;
  }
  box.hidden = false;
  box.replaceChildren(el('p', { text: 'Parts of this address cannot be applied; they stay in it until removed:' }),
    el('ul', {}, ...kept.map((k, i) => {
      const button = el('button', { type: 'button', class: 'remove', text: 'Remove',
        'aria-label': `Remove ${k.part} from the address` });
      button.addEventListener('click', () => {
        kept.splice(i, 1);
        showNotice();
        remember();
        $('results-heading').focus();
      });
      return el('li', {}, el('code', { text: k.part }), ` — ${k.message} `, button);
    })));
}

function clearErrors() {
  for (const input of document.querySelectorAll('#controls input[aria-invalid]')) {
    if (input.id === 'f-search') continue;
    input.removeAttribute('aria-invalid');
    $(`${input.id}-error`)?.replaceChildren();
  }
}

// Marks the field at fault with the message.
function markError(input, message) {
  input.setAttribute('aria-invalid', 'true');
  let error = $(`${input.id}-error`);
  if (!error) {
    error = el('span', { class: 'error', id: `${input.id}-error` });
    input.after(error);
    input.setAttribute('aria-describedby', error.id);
  }
  error.textContent = message;
}

// The host's checks of the settings, each with the field it belongs to: the
// days, every set as --set reads it, every edited cell as the per-day table's
// reader reads it, every scale factor as --scale reads it.
function checksOf(s) {
  const checks = [{ days: s.days }, ...s.sets.map(([name, value]) => ({ set: `${name}=${value}` }))];
  const fieldsOf = ['f-days', ...s.sets.map(([name]) => `f-${name}`)];
  for (const [key, text] of Object.entries(s.cells)) {
    const [day, name] = [key.slice(0, key.indexOf(':')), key.slice(key.indexOf(':') + 1)];
    const line = table.rows.findIndex((r) => r[0] === day) + 2;
    checks.push({ value: name, text, what: `${scenarioDoc.daily}:${line}: column ${name}` });
    fieldsOf.push(`c-${day}-${name}`);
  }
  for (const [name, factor] of Object.entries(s.scale)) {
    checks.push({ factor, name });
    fieldsOf.push(`s-${name}`);
  }
  return { checks, fieldsOf };
}

// Runs settings in the worker after the host's checks: {answer} or
// {message, problems: [[field id, message]]}.
async function runChecked(s, csv = false) {
  const { checks, fieldsOf } = checksOf(s);
  if (/^\+?\d+$/.test(s.days) && Number(s.days) > MAX_DAYS) {
    const message = `days: at most ${MAX_DAYS} (100 years) in this page`;
    return { message, problems: [['f-days', message]] };
  }
  const reply = await ask({ checks, request: request(files, table, s, csv) });
  if (reply.error) return { message: reply.error, problems: [] };
  if (reply.problems) {
    const problems = reply.problems.map((p, i) => [fieldsOf[i], p]).filter(([, p]) => p !== null);
    return { message: problems[0][1], problems };
  }
  if (!reply.answer.ok) {
    const message = reply.answer.error;
    const i = reply.answer.set;
    return { message, problems: i !== undefined ? [[`f-${s.sets[i][0]}`, message]] : [] };
  }
  return { answer: reply.answer };
}

// Runs: the latest settings only. A change while a run is under way waits
// for it and supersedes whatever was waiting; after a slow run a burst of
// changes is gathered for a moment first.
let running = false;
let wanted = null;  // the time of the latest change not yet run
let timer = null;
let lastRunMs = 0;
let settled = [];

function changed(since) {
  remember();
  if (wanted !== null) probe.superseded++;
  wanted = since;
  clearTimeout(timer);
  timer = setTimeout(pump, lastRunMs > 40 ? 120 : 0);
}

async function pump() {
  timer = null;
  if (running || wanted === null) return;
  const since = wanted;
  wanted = null;
  running = true;
  try {
    await rerun(since);
  } finally {
    running = false;
  }
  if (wanted !== null) {
    if (timer === null) pump();
  } else {
    for (const done of settled.splice(0)) done();
  }
}

// Calls `then` once the run of the settings on screen is drawn.
function whenSettled(then) {
  if (!running && wanted === null) then();
  else settled.push(then);
}

// A download: of the run of the settings on screen, once it is drawn; none
// while a field holds a value that cannot run, since the charts then show
// an older run.
function whenShown(download) {
  whenSettled(() => {
    if (!current) return;
    if (document.querySelector('#controls input[aria-invalid="true"]:not(#f-search)'))
      showStatus('Not downloaded: a marked field holds a value that cannot run; mend it first.');
    else download();
  });
}

async function rerun(since) {
  const s = readSettings();
  probe.started++;
  const reply = await runChecked(s);
  // A newer change supersedes this run: it is not drawn.
  if (wanted !== null) {
    probe.superseded++;
    return;
  }
  clearErrors();
  if (!reply.answer) {
    for (const [id, message] of reply.problems) if ($(id)) markError($(id), message);
    showStatus(`Not run: ${reply.message}. The charts show the last good run.`);
    probe.errors++;
    return;
  }
  const answer = reply.answer;
  lastRunMs = answer.workerMs;
  current = { settings: s, answer };
  await draw();
  const ms = performance.now() - since;
  probe.runs++;
  probe.timings.push({ days: answer.days, ms, engineMs: answer.seconds * 1000, workerMs: answer.workerMs });
  showStatus(`${answer.days} days run in ${(answer.seconds * 1000).toFixed(1)} ms.`);
  study.ready();
}

function showStatus(text) {
  $('status').textContent = text;
}

// The headline figures: counted days, shortfall days by cause, final stores.
function headline(answer) {
  const label = (entry, fallback) => entry?.label || fallback.replace(/_/g, ' ');
  const counts = new Map((plan.summary?.counts || []).map((c) => [c.name, c]));
  const shortfalls = new Map((plan.summary?.shortfalls || []).map((c) => [c.name, c]));
  return [
    ...answer.counts.map((c) => ({ key: c.name, label: label(counts.get(c.name), c.name), value: c.days, unit: 'days' })),
    { key: 'shortfall', label: 'Days with any shortfall', value: answer.shortfallDays, unit: 'days' },
    ...answer.shortfalls.map((c) => ({ key: c.name, label: `Short: ${label(shortfalls.get(c.name), c.name)}`,
      value: c.days, unit: 'days' })),
    ...answer.levels.map((l) => ({ key: l.name, label: `Final ${labelOf(scenarioDoc, plan, l.name).toLowerCase()}`,
      value: l.value, unit: unitOf(scenarioDoc, plan, l.name), title: l.name })),
  ];
}

function drawCards() {
  const now = headline(current.answer);
  const then = baseline ? new Map(headline(baseline.answer).map((c) => [c.key, c])) : null;
  $('cards').replaceChildren(...now.map((c) => {
    const b = then?.get(c.key);
    const parts = [el('dt', { text: c.label, ...(c.title ? { title: c.title } : {}) }),
      el('dd', { class: 'figure', text: `${figure(c.value)} ${c.unit || ''}`.trim() })];
    if (b) {
      const diff = c.value - b.value;
      parts.push(el('dd', { class: 'diff', text: `${diff > 0 ? '+' : diff < 0 ? '−' : '±'}${figure(Math.abs(diff))} ` +
        `on the baseline's ${figure(b.value)}` }));
    }
    return el('div', { class: 'card' }, ...parts);
  }));
  const a = current.answer;
  $('summary-text').textContent = `${a.days} days of ${description.model} ${description.version}\n${a.summary}`;
  $('command').textContent = commandLine(current.settings);
}

const panels = () => plan.output?.panels || [];

function chartData(panel) {
  const a = current.answer;
  const length = Math.max(a.days, baseline ? baseline.answer.days : 0);
  const x = new Float64Array(length);
  for (let i = 0; i < length; i++) x[i] = i + 1;
  const column = (answer, name) => {
    const series = answer.series[answer.variables.indexOf(name)];
    if (series.length === length) return series;
    const out = new Array(length).fill(null);
    for (let i = 0; i < series.length; i++) out[i] = series[i];
    return out;
  };
  const data = [x, ...panel.variables.map((name) => column(a, name))];
  if (baseline) data.push(...panel.variables.map((name) => column(baseline.answer, name)));
  return data;
}

function chartWidth() {
  return Math.max(260, ($('charts').clientWidth || 600) - 4);
}

// What a chart draws of its data: every day where there are at most four
// days to a pixel; beyond, each group of days as its lowest and its highest
// value (a line's envelope at that width). Days within [min, max], the part
// shown when zoomed, are grouped finely enough for the shown width.
function drawn(data, width, min = -Infinity, max = Infinity) {
  const n = data[0].length;
  const groups = Math.max(1, Math.floor(width));
  if (n <= groups * 4) return data;
  const from = Math.max(0, Math.floor(min) - 1), to = Math.min(n, Math.ceil(max));
  const fine = to > from ? Math.max(1, (to - from) / groups / 2) : n;
  const coarse = n / groups / 2;
  const out = data.map(() => []);
  let i = 0;
  while (i < n) {
    const size = i >= from && i < to ? fine : coarse;
    const end = Math.min(n, Math.max(i + 1, Math.round(i + size)));
    if (end - i <= 2) {
      for (let k = i; k < end; k++) data.forEach((column, c) => out[c].push(column[k]));
    } else {
      out[0].push(data[0][i], data[0][end - 1]);
      for (let c = 1; c < data.length; c++) {
        let lo = null, hi = null;
        for (let k = i; k < end; k++) {
          const v = data[c][k];
          if (v === null || Number.isNaN(v)) continue;
          if (lo === null || v < lo) lo = v;
          if (hi === null || v > hi) hi = v;
        }
        out[c].push(lo, hi);
      }
    }
    i = end;
  }
  return out;
}

// Lets the page handle input between two charts' drawing, so that a long
// run's redraw is several short tasks rather than one long one.
const yieldToPage = () => new Promise((resolve) => setTimeout(resolve, 0));

async function drawCharts() {
  const box = $('charts');
  const days = Math.max(current.answer.days, baseline ? baseline.answer.days : 0);
  const axis = axisFor(days);
  const key = `${!!baseline}:${days}`;
  if (charts.length && chartsKey === key) {
    for (const [i, panel] of panels().entries()) {
      if (i > 0) await yieldToPage();
      const chart = charts[i];
      chart.full = chartData(panel);
      chart.fineFor = 'whole';
      chart.setData(drawn(chart.full, chart.bbox.width / devicePixelRatio));
    }
    refreshTables();
    return;
  }
  // The headline figures shown first; each chart then drawn in a task of
  // its own.
  await yieldToPage();
  for (const c of charts) c.destroy();
  box.replaceChildren();
  chartsKey = key;
  const sync = window.uPlot.sync('tarvello');
  const width = chartWidth();
  charts = [];
  for (const [i, panel] of panels().entries()) {
    if (i > 0) await yieldToPage();
    const titleId = `chart-${i}-title`;
    const unit = panel.unit ? ` (${panel.unit})` : '';
    const legend = el('div', { class: 'legend', role: 'group', 'aria-label': `Series of ${panel.title}` });
    const readout = el('p', { class: 'readout', id: `chart-${i}-readout` });
    const plot = el('div', { class: 'plot', role: 'img', 'aria-label': `Chart of ${panel.title}; its data is in ` +
      'the table below it' });
    const tableBox = el('details', { class: 'data' }, el('summary', { text: `${panel.title}: the data as a table` }));
    tableBox.addEventListener('toggle', () => tableBox.open && fillTable(tableBox, panel));
    box.append(el('figure', { 'aria-labelledby': titleId },
      el('figcaption', { id: titleId, text: panel.title + unit }), legend, plot, readout, tableBox));
    const series = [{ label: 'day' }];
    const names = panel.variables.map((name) => labelOf(scenarioDoc, plan, name));
    panel.variables.forEach((name, k) =>
      series.push({ label: names[k], stroke: COLOURS[k % COLOURS.length], width: 1.5 }));
    if (baseline)
      panel.variables.forEach((name, k) =>
        series.push({ label: `${names[k]} (baseline)`, stroke: COLOURS[k % COLOURS.length], width: 1, dash: [6, 4] }));
    const full = chartData(panel);
    const chart = new window.uPlot({
      width, height: 180, series,
      scales: { x: { time: false } },
      axes: [{ splits: axis.splits, values: axis.values, space: 40 },
        { size: 56, values: (u, ticks) => ticks.map((t) => figure(t)) }],
      legend: { show: false },
      cursor: { sync: { key: sync.key }, drag: { x: true, y: false } },
      hooks: {
        setCursor: [(u) => showReadout(u, readout, axis)],
        // Zoomed in or out: the shown days drawn finely again (new data
        // resets the scales, so the zoom is set again after it).
        setScale: [(u, key) => {
          if (key !== 'x' || !u.full || u.busy) return;
          const { min, max } = u.scales.x;
          const whole = min <= 1 && max >= u.full[0].length;
          if (u.fineFor === (whole ? 'whole' : `${min}:${max}`)) return;
          u.busy = true;
          u.fineFor = whole ? 'whole' : `${min}:${max}`;
          u.setData(drawn(u.full, u.bbox.width / devicePixelRatio, whole ? -Infinity : min, whole ? Infinity : max));
          if (!whole) u.setScale('x', { min, max });
          u.busy = false;
        }],
      },
    }, drawn(full, width), plot);
    chart.full = full;
    chart.fineFor = 'whole';
    series.slice(1).forEach((s, k) => {
      const name = panel.variables[k % panel.variables.length];
      const button = el('button', { type: 'button', class: 'series', 'aria-pressed': 'true', title: name },
        el('span', { class: 'swatch', style: `border-color: ${s.stroke}${s.dash ? '; border-top-style: dashed' : ''}` }),
        s.label);
      button.addEventListener('click', () => {
        const show = button.getAttribute('aria-pressed') !== 'true';
        button.setAttribute('aria-pressed', String(show));
        chart.setSeries(k + 1, { show });
      });
      legend.append(button);
    });
    charts.push(chart);
    if (probe.firstChart === null) probe.firstChart = performance.now();
  }
}

// The values of the day under the cursor, from the whole data.
function showReadout(u, readout, axis) {
  const i = u.cursor.idx;
  if (i === null || i === undefined || !u.full) {
    readout.textContent = '';
    return;
  }
  const day = u.data[0][i];
  const parts = u.series.slice(1).map((s, k) => `${s.label}: ${figure(u.full[k + 1][day - 1])}`);
  readout.textContent = `${axis.date(day)} — ${parts.join('; ')}`;
}

// The data table of a chart: the first day of each month (of each year beyond two years).
function fillTable(box, panel) {
  const days = current.answer.days;
  const axis = axisFor(days);
  const data = chartData(panel);
  const head = el('tr', {}, el('th', { scope: 'col', text: 'Day' }),
    ...panel.variables.map((name) => el('th', { scope: 'col', title: name, text: labelOf(scenarioDoc, plan, name) })),
    ...(baseline ? panel.variables.map((name) => el('th', { scope: 'col',
      text: `${labelOf(scenarioDoc, plan, name)} (baseline)` })) : []));
  const rows = axis.rows(days).map((day) => el('tr', {}, el('th', { scope: 'row', text: axis.date(day) }),
    ...data.slice(1).map((column) => el('td', { text: figure(column[day - 1]) }))));
  box.querySelector('table')?.remove();
  box.append(el('table', {}, el('caption', { text: `${panel.title}, at the start of each ${axis.kind}` }),
    el('thead', {}, head), el('tbody', {}, ...rows)));
}

function refreshTables() {
  panels().forEach((panel, i) => {
    const box = $('charts').querySelectorAll('details.data')[i];
    if (box?.open) fillTable(box, panel);
  });
}

// Draws the current run; a newer draw started meanwhile leaves the older one.
let drawing = Promise.resolve();
function draw() {
  drawCards();
  drawing = drawing.catch(() => {}).then(drawCharts);
  return drawing;
}

function pin() {
  if (!current) return;
  baseline = current;
  $('unpin').disabled = false;
  remember();
  showStatus('Baseline pinned; change a control to compare. The address now carries it.');
  draw();
}

function unpin() {
  baseline = null;
  $('unpin').disabled = true;
  remember();
  showStatus('Baseline cleared.');
  draw();
}

// The CSV of the run on screen, once the latest change has run.
async function downloadCsv() {
  const reply = await runChecked(current.settings, true);
  if (!reply.answer) return showStatus(`Not run: ${reply.message}`);
  save(`tarvello-${current.settings.days}-days.csv`, reply.answer.csvBytes, 'text/csv');
}

function downloadScenario() {
  try {
    save('tarvello-scenario.json', scenarioFile(files, description, current.settings), 'application/json');
    if (editsTable(current.settings) || current.settings.sets.length)
      showStatus('Saved tarvello-scenario.json; it names tarvello-inputs.csv (Download per-day table) beside it.');
  } catch (e) {
    showStatus(e.message);
  }
}

window.addEventListener('resize', () => {
  for (const c of charts) c.setSize({ width: chartWidth(), height: 180 });
});

// A design of a study into the controls: its factors' values, a scale
// factor for "scale:NAME".
function applyDesign(design) {
  for (const [name, text] of design) {
    if (name.startsWith('scale:')) $(`s-${name.slice(6)}`).value = text;
    else if ($(`f-${name}`)) $(`f-${name}`).value = text;
    else addValue(name, text);
  }
  changed(performance.now());
}

try {
  const { ready } = await load();
  buildControls();
  study = setupStudy({ description, plan, scenario: scenarioDoc, files, columns, readSettings, applyDesign,
    current: () => current });
  await ready;
  await window.tarvelloBoot.uplot;
  await fromAddress();
} catch (e) {
  showStatus(`The page cannot start: ${e.message}`);
  throw e;
}

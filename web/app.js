// The explorer page: its controls are generated from the model description,
// the plan and the scenario; every change reruns the model in WebAssembly
// and redraws the plan's panels with uPlot.
import { Engine } from './engine.js';
import {
  commandLine, dailyTable, editsTable, emptySettings, fromHash, parseTable, request, scenarioFile, toHash,
} from './settings.js';

const MAX_DAYS = 36500;
const COLOURS = ['#1a4f8b', '#b3471d', '#2a7d2e', '#7b3294'];

const $ = (id) => document.getElementById(id);
const el = (tag, props = {}, ...children) => {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(props)) {
    if (k === 'text') e.textContent = v;
    else if (k in e && typeof v !== 'string') e[k] = v;
    else e.setAttribute(k, v);
  }
  e.append(...children);
  return e;
};
const words = (name) => name.replace(/_/g, ' ');

// What the test reads: when the first chart was drawn, and every rerun's
// time from the changed control to the redrawn charts.
const probe = { firstChart: null, timings: [], runs: 0, errors: 0 };
window.tarvello = probe;

let files, description, kinds, table, plan, scenarioDoc, engine;
let current = null;   // the last good run: {settings, answer}
let baseline = null;  // a pinned run
let charts = [];
let chartsWithBaseline = false;

async function load() {
  const text = async (name) => {
    const r = await fetch(name);
    if (!r.ok) throw new Error(`cannot load ${name}: ${r.status}`);
    return r.text();
  };
  const [d, p, s, i, wasm] = await Promise.all([
    text('TarvelloDemoSite.json'), text('plan.json'), text('scenario.json'), text('inputs.csv'),
    WebAssembly.compileStreaming(fetch('tarvello.wasm')),
  ]);
  files = { description: d, plan: p, scenario: s, inputs: i };
  description = JSON.parse(d);
  kinds = new Map(description.values.map((v) => [v.name, v]));
  plan = JSON.parse(p);
  scenarioDoc = JSON.parse(s);
  table = parseTable(i);
  engine = new Engine(window.createTarvello, wasm);
}

// A labelled field named by the qualified name of what it sets.
function field(id, name, label, value, help, extra = []) {
  const error = el('span', { class: 'error', id: `${id}-error` });
  const input = el('input', { id, name, value, autocomplete: 'off', spellcheck: 'false' });
  const described = [`${id}-error`];
  const parts = [el('label', { for: id, text: label }), input];
  if (help) {
    parts.push(el('span', { class: 'help', id: `${id}-help`, text: help }));
    described.push(`${id}-help`);
  }
  input.setAttribute('aria-describedby', described.join(' '));
  return el('div', { class: 'field' }, ...parts, ...extra, error);
}

function initialText(name) {
  const v = kinds.get(name);
  if (!v || v.initial === null || v.initial === undefined) return v && v.kind === 'text' ? '' : '0';
  return String(v.initial);
}

function buildControls() {
  $('plan-text').textContent = plan.description || '';
  $('scenario-text').textContent = scenarioDoc.description || '';
  $('daily-text').textContent = (scenarioDoc.notes || {})[scenarioDoc.daily] || '';

  const constants = $('constants');
  for (const [name, value] of Object.entries(scenarioDoc.constants || {}))
    constants.append(field(`f-${name}`, name, name, String(value), (scenarioDoc.notes || {})[name]));

  const t = $('daily');
  const columns = table.header.slice(1);
  t.append(el('caption', { text: 'Per-day input table' }));
  const head = el('thead');
  head.append(el('tr', {}, el('th', { scope: 'col', text: 'Day' }),
    ...columns.map((name) => el('th', { scope: 'col', text: name }))));
  head.append(el('tr', {}, el('th', { scope: 'row', text: 'Scale factor' }),
    ...columns.map((name) => el('td', {}, el('input', {
      id: `s-${name}`, name: `scale:${name}`, value: '1', inputmode: 'decimal', autocomplete: 'off',
      'aria-label': `Scale factor of ${name}`,
    })))));
  t.append(head);
  const body = el('tbody');
  for (const row of table.rows)
    body.append(el('tr', {}, el('th', { scope: 'row', text: row[0] }),
      ...columns.map((name, c) => el('td', {}, el('input', {
        id: `c-${row[0]}-${name}`, name: `${name}@${row[0]}`, value: row[c + 1], inputmode: 'decimal',
        autocomplete: 'off', 'aria-label': `${name} from day ${row[0]}`, 'data-original': row[c + 1],
      })))));
  t.append(body);

  const list = $('value-names');
  for (const v of description.values) list.append(el('option', { value: v.name }));
  $('add-value').addEventListener('click', () => addValue($('f-search').value.trim()));
  $('f-search').addEventListener('keydown', (e) => {
    if (e.key === 'Enter') {
      e.preventDefault();
      addValue($('f-search').value.trim());
    }
  });
  $('controls').addEventListener('submit', (e) => e.preventDefault());
  $('controls').addEventListener('input', (e) => {
    if (e.target.id !== 'f-search') schedule(e.timeStamp);
  });
  $('pin').addEventListener('click', pin);
  $('unpin').addEventListener('click', unpin);
  $('download-csv').addEventListener('click', downloadCsv);
  $('download-scenario').addEventListener('click', downloadScenario);
  $('download-table').addEventListener('click', () => {
    if (current) save('tarvello-inputs.csv', dailyTable(table, current.settings), 'text/csv');
  });
  window.addEventListener('hashchange', () => {
    if (current && location.hash === toHash(current.settings)) return;
    applySettings(fromHash(location.hash));
    schedule(performance.now());
  });
}

// A field for any value of the description, set after the scenario.
function addValue(name, value) {
  const search = $('f-search');
  const error = $('f-search-error');
  if (!kinds.has(name)) {
    search.setAttribute('aria-invalid', 'true');
    error.textContent = name ? `no value is named ${name}` : 'type a qualified name';
    return null;
  }
  search.removeAttribute('aria-invalid');
  error.textContent = '';
  const id = `f-${name}`;
  if ($(id)) {
    if (value !== undefined) $(id).value = value;
    $(id).focus();
    return $(id);
  }
  const v = kinds.get(name);
  const remove = el('button', { type: 'button', class: 'remove', text: 'Remove', 'aria-label': `Remove ${name}` });
  const f = field(id, name, name, value ?? initialText(name), `${v.kind}, ${v.category} of ${v.process}`,
    [remove]);
  f.dataset.extra = 'true';
  remove.addEventListener('click', () => {
    f.remove();
    search.focus();
    schedule(performance.now());
  });
  $('extra').append(f);
  if (value === undefined) {
    search.value = '';
    $(id).focus();
    schedule(performance.now());
  }
  return $(id);
}

// The settings that the fields hold now.
function readSettings() {
  const s = emptySettings();
  s.days = $('f-days').value.trim();
  for (const [name, value] of Object.entries(scenarioDoc.constants || {})) {
    const text = $(`f-${name}`).value;
    if (text !== String(value)) s.sets.push([name, text]);
  }
  for (const f of $('extra').querySelectorAll('input')) s.sets.push([f.name, f.value]);
  for (const name of table.header.slice(1)) {
    const factor = $(`s-${name}`).value.trim();
    if (factor !== '1') s.scale[name] = factor;
  }
  for (const input of $('daily').querySelectorAll('tbody input'))
    if (input.value !== input.dataset.original) s.cells[`${input.name.split('@')[1]}:${input.name.split('@')[0]}`] = input.value;
  return s;
}

// Puts settings (from an address) into the fields.
function applySettings(s) {
  $('f-days').value = s.days;
  for (const f of [...$('extra').children]) f.remove();
  const sets = new Map(s.sets);
  for (const [name, value] of Object.entries(scenarioDoc.constants || {}))
    $(`f-${name}`).value = sets.has(name) ? sets.get(name) : String(value);
  for (const [name, value] of s.sets)
    if (!(name in (scenarioDoc.constants || {}))) addValue(name, value);
  for (const name of table.header.slice(1)) $(`s-${name}`).value = s.scale[name] ?? '1';
  for (const input of $('daily').querySelectorAll('tbody input')) {
    const [name, day] = input.name.split('@');
    const key = `${day}:${name}`;
    input.value = key in s.cells ? s.cells[key] : input.dataset.original;
  }
}

function clearErrors() {
  for (const input of document.querySelectorAll('#controls input[aria-invalid]')) {
    if (input.id === 'f-search') continue;
    input.removeAttribute('aria-invalid');
    $(`${input.id}-error`)?.replaceChildren();
  }
  for (const e of document.querySelectorAll('#daily .error')) e.remove();
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

// The field that an error message of the engine points at.
function faultyField(s, answer) {
  if (answer.set !== undefined) {
    const name = s.sets[answer.set][0];
    return $(`f-${name}`);
  }
  if (answer.error.startsWith('--days')) return $('f-days');
  const m = /^[^:]*:(\d+): column ([A-Za-z0-9_]+)/.exec(answer.error);
  if (m) {
    const row = table.rows[Number(m[1]) - 2];
    if (row) return $(`c-${row[0]}-${m[2]}`);
  }
  return null;
}

// Checks what the engine does not: the scale factors and the page's limit on days.
function checkFields(s) {
  for (const [name, factor] of Object.entries(s.scale))
    if (factor === '' || !Number.isFinite(Number(factor)))
      return [$(`s-${name}`), `scale factor of ${name}: '${factor}' is not a number`];
  if (/^\+?\d+$/.test(s.days) && Number(s.days) > MAX_DAYS)
    return [$('f-days'), `days: at most ${MAX_DAYS} (100 years) in this page`];
  return null;
}

let running = false;
let pending = null;

// Reruns with the fields' settings; a change while a run is under way
// reruns once more after it.
function schedule(since) {
  if (running) {
    pending = pending ?? since;
    return;
  }
  running = true;
  rerun(since).finally(() => {
    running = false;
    if (pending !== null) {
      const next = pending;
      pending = null;
      schedule(next);
    }
  });
}

async function rerun(since) {
  const s = readSettings();
  clearErrors();
  const bad = checkFields(s);
  if (bad) {
    markError(bad[0], bad[1]);
    showStatus(`Not run: ${bad[1]}. The charts show the last good run.`);
    probe.errors++;
    return;
  }
  const answer = await engine.run(request(files, table, s));
  if (!answer.ok) {
    const input = faultyField(s, answer);
    if (input) markError(input, answer.error);
    showStatus(`Not run: ${answer.error}. The charts show the last good run.`);
    probe.errors++;
    return;
  }
  current = { settings: s, answer };
  history.replaceState(null, '', toHash(s));
  draw();
  const ms = performance.now() - since;
  probe.runs++;
  probe.timings.push({ days: answer.days, ms, engineMs: answer.seconds * 1000 });
  if (probe.firstChart === null) probe.firstChart = performance.now();
  showStatus(`${answer.days} days run in ${(answer.seconds * 1000).toFixed(1)} ms and drawn ` +
    `${ms.toFixed(0)} ms after the change.`);
}

function showStatus(text) {
  $('status').textContent = text;
}

function summaryRows(answer) {
  const rows = answer.counts.map((c) => [words(c.name), c.days]);
  rows.push(['shortfall days', answer.shortfallDays]);
  for (const c of answer.shortfalls) rows.push([`shortfall: ${words(c.name)}`, c.days]);
  for (const l of answer.levels) rows.push([`final ${l.name}`, l.value, l.text]);
  return rows;
}

function drawSummary() {
  const rows = summaryRows(current.answer);
  const base = baseline ? summaryRows(baseline.answer) : null;
  const body = $('summary').querySelector('tbody');
  body.replaceChildren(...rows.map(([label, value, text], i) => {
    const b = base ? base[i] : null;
    // Twelve significant digits: the difference, not its rounding noise.
    const diff = b ? Number((value - b[1]).toPrecision(12)) : null;
    return el('tr', {},
      el('th', { scope: 'row', text: label }),
      el('td', { text: text ?? String(value) }),
      el('td', { class: 'baseline', text: b ? (b[2] ?? String(b[1])) : '' }),
      el('td', { class: 'baseline', text: b ? (diff > 0 ? '+' : '') + String(diff) : '' }));
  }));
  $('summary').classList.toggle('hide-baseline', !baseline);
  const a = current.answer;
  $('summary-text').textContent = `${a.days} days of ${description.model} ${description.version}\n${a.summary}`;
  $('command').textContent = commandLine(current.settings);
}

// The x values and, for a baseline of another length, its series to the same length.
function fitted(series, length) {
  if (series.length === length) return series;
  const out = new Array(length).fill(null);
  for (let i = 0; i < Math.min(length, series.length); i++) out[i] = series[i];
  return out;
}

function chartData(panel) {
  const a = current.answer;
  const length = Math.max(a.days, baseline ? baseline.answer.days : 0);
  const x = new Float64Array(length);
  for (let i = 0; i < length; i++) x[i] = i + 1;
  const column = (answer, name) => fitted(answer.series[answer.variables.indexOf(name)], length);
  const data = [x, ...panel.variables.map((name) => column(a, name))];
  if (baseline) data.push(...panel.variables.map((name) => column(baseline.answer, name)));
  return data;
}

function drawCharts() {
  const box = $('charts');
  const width = Math.max(300, box.clientWidth || 600);
  if (charts.length && chartsWithBaseline === !!baseline) {
    plan.output.panels.forEach((panel, i) => charts[i].setData(chartData(panel)));
    return;
  }
  for (const c of charts) c.destroy();
  box.replaceChildren();
  chartsWithBaseline = !!baseline;
  charts = plan.output.panels.map((panel, i) => {
    const titleId = `chart-${i}-title`;
    const figure = el('figure', { 'aria-labelledby': titleId },
      el('figcaption', { id: titleId, text: panel.title }));
    box.append(figure);
    const series = [{ label: 'day' }];
    panel.variables.forEach((name, k) =>
      series.push({ label: name, stroke: COLOURS[k % COLOURS.length], width: 1.5 }));
    if (baseline)
      panel.variables.forEach((name, k) =>
        series.push({ label: `${name} (baseline)`, stroke: COLOURS[k % COLOURS.length], width: 1, dash: [6, 4] }));
    return new window.uPlot({
      width, height: 200, series,
      scales: { x: { time: false } },
      axes: [{ label: 'day' }, { size: 70 }],
      legend: { live: true },
      cursor: { drag: { x: true, y: false } },
    }, chartData(panel), figure);
  });
}

function draw() {
  drawSummary();
  drawCharts();
}

function pin() {
  if (!current) return;
  baseline = current;
  $('unpin').disabled = false;
  showStatus(`Baseline pinned: ${commandLine(baseline.settings)}. Change a control to compare.`);
  draw();
}

function unpin() {
  baseline = null;
  $('unpin').disabled = true;
  showStatus('Baseline cleared.');
  draw();
}

function save(name, text, type) {
  const url = URL.createObjectURL(new Blob([text], { type }));
  const a = el('a', { href: url, download: name });
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 1000);
}

async function downloadCsv() {
  if (!current) return;
  const answer = await engine.run(request(files, table, current.settings, true));
  if (!answer.ok) return showStatus(`Not run: ${answer.error}`);
  save(`tarvello-${current.settings.days}-days.csv`, answer.csv, 'text/csv');
}

function downloadScenario() {
  if (!current) return;
  try {
    save('tarvello-scenario.json', scenarioFile(files, description, current.settings), 'application/json');
    if (editsTable(current.settings) || current.settings.sets.length)
      showStatus('Saved tarvello-scenario.json; it names tarvello-inputs.csv (Download per-day table) beside it.');
  } catch (e) {
    showStatus(e.message);
  }
}

window.addEventListener('resize', () => {
  const width = Math.max(300, $('charts').clientWidth || 600);
  for (const c of charts) c.setSize({ width, height: 200 });
});

try {
  await load();
  buildControls();
  applySettings(fromHash(location.hash));
  schedule(0);
} catch (e) {
  showStatus(`The page cannot start: ${e.message}`);
  throw e;
}

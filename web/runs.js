// The runs: the host's checks of the settings, each refusal tied to its
// field, and the run in the worker; only the latest settings run, and the
// run on screen is drawn.
import { anyFieldRefused, clearErrors, markError, readSettings } from './controls.js';
import { $ } from './dom.js';
import { draw, showStatus } from './results.js';
import { request } from './settings.js';
import { page, probe } from './state.js';

const MAX_DAYS = 36500;

// What is called after each run drawn.
let drawn = () => {};
export function afterEachRun(then) {
  drawn = then;
}

// The host's checks of the settings, each with the field it belongs to: the
// days, every set as --set reads it, every edited cell as the per-day table's
// reader reads it, every scale factor as --scale reads it.
function checksOf(s) {
  const checks = [{ days: s.days }, ...s.sets.map(([name, value]) => ({ set: `${name}=${value}` }))];
  const fieldsOf = ['f-days', ...s.sets.map(([name]) => `f-${name}`)];
  for (const [key, text] of Object.entries(s.cells)) {
    const [day, name] = [key.slice(0, key.indexOf(':')), key.slice(key.indexOf(':') + 1)];
    const line = page.table.rows.findIndex((r) => r[0] === day) + 2;
    checks.push({ value: name, text, what: `${page.scenario.daily}:${line}: column ${name}` });
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
export async function runChecked(s, csv = false) {
  const { checks, fieldsOf } = checksOf(s);
  if (/^\+?\d+$/.test(s.days) && Number(s.days) > MAX_DAYS) {
    const message = `days: at most ${MAX_DAYS} (100 years) in this page`;
    return { message, problems: [['f-days', message]] };
  }
  const reply = await page.worker.ask({ checks, request: request(page.files, page.table, s, csv) });
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

// The fields changed at time `since`: their settings run soon.
export function scheduleRun(since) {
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
export function whenShown(download) {
  whenSettled(() => {
    if (!page.current) return;
    if (anyFieldRefused())
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
  page.current = { settings: s, answer };
  await draw();
  const ms = performance.now() - since;
  probe.runs++;
  probe.timings.push({ days: answer.days, ms, engineMs: answer.seconds * 1000, workerMs: answer.workerMs });
  showStatus(`${answer.days} days run in ${(answer.seconds * 1000).toFixed(1)} ms.`);
  drawn();
}

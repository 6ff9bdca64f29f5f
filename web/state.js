// What the page holds: the texts it loaded and their documents, the channel
// to its run worker, the run on screen and a pinned baseline; and what the
// browser test reads of its progress (window.tarvello).
import { csvTable } from './csv.js';
import { WorkerChannel } from './worker-channel.js';

// What the test reads: when the first chart was drawn, every rerun's time
// from the last change to the redrawn charts, and how many runs were started
// and drawn.
export const probe = { firstChart: null, timings: [], runs: 0, errors: 0, started: 0, superseded: 0 };
window.tarvello = probe;

export const page = {
  worker: null,       // the run worker's channel (worker.js)
  files: null,        // the texts: {description, plan, scenario, inputs}
  description: null,  // the model description
  values: null,       // its values by name (a Map)
  plan: null,
  scenario: null,
  table: null,        // the per-day inputs: {header, rows}
  current: null,      // the last good run: {settings, answer}
  baseline: null,     // a pinned run, as current
  futures: null,      // the last futures run (futures-view.js), shown while their settings are on screen
};

export const constants = () => new Map(Object.entries(page.scenario.constants || {}));
export const notes = () => new Map(Object.entries(page.scenario.notes || {}));
// The per-day table's columns (the values it gives per day).
export const columns = () => page.table.header.slice(1);

// Takes the worker and the texts that boot.js started as the page drew its
// first frame (the worker compiles the program while the texts load); answers
// {ready}, the promise of the engine's readiness: the worker parses the
// description while the page builds its controls.
export async function load() {
  const boot = window.tarvelloBoot;
  page.worker = new WorkerChannel(boot.worker);
  const text = async (name) => {
    const r = await boot.texts.get(name);
    if (!r.ok) throw new Error(`cannot load ${name}: ${r.status}`);
    return r.text();
  };
  const descriptionText = text('TarvelloDemoSite.json');
  const ready = descriptionText.then((d) => page.worker.ask({ init: { description: d } })).then((reply) => {
    probe.engineReady = performance.now();
    if (reply.error) throw new Error(reply.error);
  });
  const [d, p, s, i] = await Promise.all([descriptionText, text('plan.json'), text('scenario.json'),
    text('inputs.csv')]);
  page.files = { description: d, plan: p, scenario: s, inputs: i };
  page.description = JSON.parse(d);
  page.values = new Map(page.description.values.map((v) => [v.name, v]));
  page.plan = JSON.parse(p);
  page.scenario = JSON.parse(s);
  page.table = csvTable(i);
  probe.textsLoaded = performance.now();
  ready.catch(() => {});  // awaited once the controls stand
  return { ready };
}

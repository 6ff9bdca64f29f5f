// The page's engine in a worker, so that no run ever blocks the page: one
// instance of the program for the page's life (see engine.js). Messages are
// handled one after the other, each answered with its id (worker-channel.js):
//   {id, init: {description}} -> {id, ok} or {id, error};
//   {id, checks, request} -> {id, problems} or {id, answer}: the host's checks
//   of the fields, then the run (if a request is given) when none fails;
//   {id, nearest: {name, labels}} -> {id, names}: the names nearest to one
//   that the description lacks.
import './tarvello.js';
import { Engine } from './engine.js';
import { answerRequests, moving } from './worker-channel.js';

let engine = null;
let description = null;
// A run that stopped the program (a trap, an abort) leaves it unusable: the
// next request gets a new instance.
let broken = false;
// The program compiles while the page loads the description.
const compiled = WebAssembly.compileStreaming(fetch('tarvello.wasm'));

async function handle(data) {
  if (data.init) {
    description = data.init.description;
    engine = await Engine.create(globalThis.createTarvello, await compiled, description);
    return { ok: true };
  }
  if (broken) {
    engine = await Engine.create(globalThis.createTarvello, await compiled, description);
    broken = false;
  }
  if (data.nearest) {
    const names = engine.nearest(data.nearest.name, data.nearest.labels);
    if (!Array.isArray(names)) throw new Error(names.error);
    return { names };
  }
  const problems = data.checks.length ? engine.check(data.checks) : [];
  if (!Array.isArray(problems)) throw new Error(problems.error);
  if (problems.some((p) => p !== null) || !data.request) return { problems };
  const started = performance.now();
  const answer = engine.run(data.request);
  answer.workerMs = performance.now() - started;
  // A long run's CSV crosses as bytes that move rather than a text copied
  // into the page.
  if (typeof answer.csv === 'string') {
    answer.csvBytes = new TextEncoder().encode(answer.csv);
    delete answer.csv;
  }
  return moving({ answer },
    answer.series ? answer.series.map((s) => s.buffer) : answer.csvBytes ? [answer.csvBytes.buffer] : []);
}

answerRequests(async (data) => {
  try {
    return await handle(data);
  } catch (e) {
    // The program answers refusals as JSON; anything thrown stopped it.
    broken = engine !== null;
    throw e;
  }
});

// The page's engine in a worker, so that no run ever blocks the page: one
// instance of the program for the page's life (see engine.js). Messages, each
// answered in order with the same id:
//   {id, init: {description}}                  -> {id, ok} or {id, error}
//   {id, checks, request}: the host's checks of the fields, then the run (if
//   a request is given) when none fails                                   -> {id, problems} or {id, answer}
import './tarvello.js';
import { Engine } from './engine.js';

let engine = null;
// The program compiles while the page loads the description.
const compiled = WebAssembly.compileStreaming(fetch('tarvello.wasm'));

self.onmessage = async ({ data }) => {
  const { id } = data;
  try {
    if (data.init) {
      engine = await Engine.create(globalThis.createTarvello, await compiled, data.init.description);
      self.postMessage({ id, ok: true });
      return;
    }
    const problems = data.checks.length ? engine.check(data.checks) : [];
    if (!Array.isArray(problems)) throw new Error(problems.error);
    if (problems.some((p) => p !== null) || !data.request) {
      self.postMessage({ id, problems });
      return;
    }
    const started = performance.now();
    const answer = engine.run(data.request);
    answer.workerMs = performance.now() - started;
    // A long run's CSV crosses as bytes that move rather than a text copied
    // into the page.
    if (typeof answer.csv === 'string') {
      answer.csvBytes = new TextEncoder().encode(answer.csv);
      delete answer.csv;
    }
    const moved = answer.series ? answer.series.map((s) => s.buffer) : answer.csvBytes ? [answer.csvBytes.buffer] : [];
    self.postMessage({ id, answer }, moved);
  } catch (e) {
    self.postMessage({ id, error: e.message });
  }
};

// A worker of the Futures view's pool: one instance of the page's program
// (tarvello.wasm) runs the design in one future after another, each run
// from the state right after the description was parsed (see engine.js).
// Messages, answered with their id (worker-channel.js):
//   {id, init: {description}} -> {id, ok};
//   {id, runs: {base, scales, keep}} -> {id, answers}: the run request
//   `base` once for each list of scale factors of `scales` (NAME=FACTOR, as
//   --scale takes them, after the base's own); each run's headline
//   counts, shortfalls and levels, and the series of the variables of
//   `keep` (one Float64Array each, moved rather than copied); a run the
//   program refuses answers {error} in its place.
import './tarvello.js';
import { Engine } from './engine.js';
import { answerRequests, moving } from './worker-channel.js';

const compiled = WebAssembly.compileStreaming(fetch('tarvello.wasm'));
let description = null;
let engine = null;

answerRequests(async (data) => {
  if (data.init) {
    description = data.init.description;
    engine = await Engine.create(globalThis.createTarvello, await compiled, description);
    return { ok: true };
  }
  if (!data.runs) throw new Error('not a request of the futures worker');
  const { base, scales, keep } = data.runs;
  const answers = [];
  const buffers = [];
  for (const scale of scales) {
    let answer;
    try {
      answer = engine.run({ ...base, scale: [...base.scale, ...scale] });
    } catch (e) {
      // A run that stopped the program leaves it unusable: a new instance
      // serves the next.
      engine = await Engine.create(globalThis.createTarvello, await compiled, description);
      throw e;
    }
    if (!answer.ok) {
      answers.push({ error: answer.error });
      continue;
    }
    const series = keep.map((name) => answer.series[answer.variables.indexOf(name)]);
    buffers.push(...series.map((s) => s.buffer));
    answers.push({ days: answer.days, counts: answer.counts, shortfallDays: answer.shortfallDays,
      shortfalls: answer.shortfalls, levels: answer.levels, series });
  }
  return moving({ answers }, buffers);
});

// A worker of the page's study pool (one per core): one instance of the
// study program (tarvello-study.wasm) evaluates a study's points, each case from the state right after
// the study was read; the first worker of the pool also holds the instance
// that leads the study (never restored). Messages, answered with their id:
//   {id, init: {description}} -> {id, ok};
//   {id, load: request} -> {id, answer}: the study read in the evaluator;
//   {id, evaluate: points} -> {id, evaluations};
//   {id, lead: 'start' | 'next' | 'tell' | 'tables', with} -> {id, answer};
// anything that fails -> {id, error}.
import './tarvello-study.js';
import { Engine, StudyLeader } from './engine.js';

const compiled = WebAssembly.compileStreaming(fetch('tarvello-study.wasm'));
let description = null;
let evaluator = null;
let leader = null;

async function handle(data) {
  const { id } = data;
  try {
    if (data.init) {
      description = data.init.description;
      evaluator = await Engine.create(globalThis.createTarvello, await compiled, description);
      self.postMessage({ id, ok: true });
    } else if (data.load) {
      self.postMessage({ id, answer: evaluator.loadStudy(data.load) });
    } else if (data.evaluate) {
      self.postMessage({ id, evaluations: evaluator.evaluate(data.evaluate) });
    } else if (data.lead) {
      leader ??= new StudyLeader(await Engine.create(globalThis.createTarvello, await compiled, description));
      self.postMessage({ id, answer: leader[data.lead](data.with) });
    }
  } catch (e) {
    self.postMessage({ id, error: e.message });
  }
}

let queue = Promise.resolve();
self.onmessage = ({ data }) => {
  queue = queue.then(() => handle(data));
};

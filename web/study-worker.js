// A worker of the page's study pool (one per core): one instance of the
// study program (tarvello-study.wasm) evaluates a study's points, each case
// from the state right after the study was read; the first worker of the
// pool also holds the instance that leads the study (never restored).
// Messages, answered with their id (worker-channel.js):
//   {id, init: {description}} -> {id, ok};
//   {id, load: request} -> {id, answer}: the study read in the evaluator;
//   {id, evaluate: points, keep?} -> {id, evaluations}, with keep (variable
//   names) each with the case's series of them (see Engine.evaluate);
//   {id, lead: 'start' | 'next' | 'tell' | 'tables', with} -> {id, answer};
// anything that fails -> {id, error}.
import './tarvello-study.js';
import { Engine, StudyLeader } from './engine.js';
import { answerRequests, moving } from './worker-channel.js';

const compiled = WebAssembly.compileStreaming(fetch('tarvello-study.wasm'));
let description = null;
let evaluator = null;
let leader = null;

answerRequests(async (data) => {
  if (data.init) {
    description = data.init.description;
    evaluator = await Engine.create(globalThis.createTarvello, await compiled, description);
    return { ok: true };
  }
  if (data.load) return { answer: evaluator.loadStudy(data.load) };
  if (data.evaluate && data.keep) {
    // The kept series move to the page rather than being copied.
    const evaluations = evaluator.evaluate(data.evaluate, data.keep);
    return moving({ evaluations }, evaluations.flatMap((e) => (e.series || []).map((s) => s.buffer)));
  }
  if (data.evaluate) return { evaluations: evaluator.evaluate(data.evaluate) };
  if (data.lead) {
    leader ??= new StudyLeader(await Engine.create(globalThis.createTarvello, await compiled, description));
    return { answer: leader[data.lead](data.with) };
  }
  throw new Error('not a request of the study worker');
});

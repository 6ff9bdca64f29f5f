// The Study panel's pool of workers (study-worker.js, one per core, at most
// sixteen), started with the first study and kept: the first worker's
// instance leads a study; every worker evaluates its points.
import { WorkerChannel } from './worker-channel.js';

export class StudyPool {
  constructor() {
    this.channels = [];
    // The leader, in the first worker: each call answers the program's JSON
    // (see StudyLeader in engine.js).
    const lead = (step) => (request) => this.channels[0].call({ lead: step, with: request }).then((d) => d.answer);
    this.leader = { start: lead('start'), next: lead('next'), tell: lead('tell'), tables: lead('tables') };
  }

  get size() {
    return this.channels.length;
  }

  // The workers started, each with the model description parsed.
  async open(description) {
    if (this.channels.length) return;
    const count = Math.max(1, Math.min(navigator.hardwareConcurrency || 2, 16));
    for (let i = 0; i < count; i++)
      this.channels.push(new WorkerChannel(new Worker('study-worker.js', { type: 'module' })));
    await Promise.all(this.channels.map((c) => c.call({ init: { description } })));
  }

  // The study read by every worker's evaluator; throws the program's message.
  async load(request) {
    await Promise.all(this.channels.map((c) => c.call({ load: request }).then(({ answer }) => {
      if (!answer.ok) throw new Error(answer.error);
    })));
  }

  // The evaluations of the points, in their order: chunks of them go to
  // whichever worker is free, so that a stop takes effect after the chunks
  // under way (the answer is then null). progress(done) after each chunk.
  evaluate(points, progress, stopped) {
    return new Promise((resolve, reject) => {
      const chunk = Math.max(1, Math.min(16, Math.ceil(points.length / this.channels.length)));
      const out = new Array(points.length);
      let next = 0, busy = 0, done = 0;
      const feed = (channel) => {
        if (stopped() || next >= points.length) {
          if (busy === 0) resolve(stopped() ? null : out);
          return;
        }
        const first = next;
        next = Math.min(points.length, next + chunk);
        busy++;
        channel.call({ evaluate: points.slice(first, next) }).then(({ evaluations }) => {
          busy--;
          evaluations.forEach((e, k) => (out[first + k] = e));
          done += evaluations.length;
          progress(done);
          feed(channel);
        }, reject);
      };
      this.channels.forEach(feed);
    });
  }

  // Stops every worker (a worker whose program stopped cannot serve again:
  // the next study starts a new pool); what they were asked fails.
  close() {
    for (const c of this.channels.splice(0)) c.close('the study was abandoned');
  }
}

// A pool of study workers (study-worker.js, one per core, at most sixteen),
// for the Study panel and the Futures view each, started with the first
// study and kept: the first worker's instance leads a study; every worker
// evaluates its points.
import { startWorkers } from './worker-channel.js';

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
    this.channels = await startWorkers('study-worker.js', 16, description);
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
  // With keep (variable names), each evaluation has the case's series of
  // them; the chunks are then smaller, so that the page hears of progress
  // often and the work spreads evenly.
  evaluate(points, progress, stopped, keep = null) {
    return new Promise((resolve, reject) => {
      const most = keep ? Math.ceil(points.length / this.channels.length / 4) : points.length / this.channels.length;
      const chunk = Math.max(1, Math.min(keep ? 8 : 16, Math.ceil(most)));
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
        channel.call({ evaluate: points.slice(first, next), ...(keep ? { keep } : {}) }).then(({ evaluations }) => {
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

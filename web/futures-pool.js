// The Futures view's pool of workers (futures-worker.js, one per core, at
// most eight), started with the first futures and kept: chunks of the
// futures go to whichever worker is free.
import { WorkerChannel } from './worker-channel.js';

export class FuturesPool {
  constructor() {
    this.channels = [];
  }

  get size() {
    return this.channels.length;
  }

  // The workers started, each with the model description parsed.
  async open(description) {
    if (this.channels.length) return;
    const count = Math.max(1, Math.min(navigator.hardwareConcurrency || 2, 8));
    for (let i = 0; i < count; i++)
      this.channels.push(new WorkerChannel(new Worker('futures-worker.js', { type: 'module' })));
    await Promise.all(this.channels.map((c) => c.call({ init: { description } })));
  }

  // The answers of the run request `base` in each future (a list of
  // NAME=FACTOR scales each), in their order (see futures-worker.js), with
  // the series of the variables of `keep`; progress(done) after each chunk.
  // Stopped (stopped() true), it answers null after the chunks under way.
  run(base, futures, keep, progress, stopped) {
    return new Promise((resolve, reject) => {
      const chunk = Math.max(1, Math.min(8, Math.ceil(futures.length / this.channels.length / 4)));
      const out = new Array(futures.length);
      let next = 0, busy = 0, done = 0, failed = false;
      const feed = (channel) => {
        if (failed) return;
        if (stopped() || next >= futures.length) {
          if (busy === 0) resolve(stopped() ? null : out);
          return;
        }
        const first = next;
        next = Math.min(futures.length, next + chunk);
        busy++;
        channel.call({ runs: { base, scales: futures.slice(first, next), keep } }).then(({ answers }) => {
          busy--;
          answers.forEach((a, k) => (out[first + k] = a));
          done += answers.length;
          progress(done);
          feed(channel);
        }, (e) => {
          failed = true;
          reject(e);
        });
      };
      this.channels.forEach(feed);
    });
  }

  // Stops every worker; what they were asked fails.
  close() {
    for (const c of this.channels.splice(0)) c.close('the futures were abandoned');
  }
}

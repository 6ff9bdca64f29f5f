// The requests between the page and its workers, both ends. The page's end
// (WorkerChannel) numbers each message it sends and settles it with the
// worker's reply of the same number; the worker's end (answerRequests)
// handles the messages one after the other, in the order they came, and
// answers each with its number: the handler's reply, or {error} with the
// message of what it threw.

export class WorkerChannel {
  constructor(worker) {
    this.worker = worker;
    this.sent = 0;
    this.waiting = new Map();
    worker.onmessage = ({ data }) => {
      const pending = this.waiting.get(data.id);
      if (!pending) return;
      this.waiting.delete(data.id);
      pending.resolve(data);
    };
  }

  // The worker's reply, an {error} reply included.
  ask(message) {
    const id = ++this.sent;
    this.worker.postMessage({ id, ...message });
    return new Promise((resolve, reject) => this.waiting.set(id, { resolve, reject }));
  }

  // The worker's reply, or an Error with the message of an {error} reply.
  async call(message) {
    const reply = await this.ask(message);
    if (reply.error !== undefined) throw new Error(reply.error);
    return reply;
  }

  // Stops the worker; each request still waiting fails with `reason`.
  close(reason) {
    this.worker.terminate();
    for (const pending of this.waiting.values()) pending.reject(new Error(reason));
    this.waiting.clear();
  }
}

// A pool's workers: one per core, at most `most`, each running the module
// `script` and started with the model description parsed (its {init}
// request). Answers their channels once every worker is ready.
export async function startWorkers(script, most, description) {
  const count = Math.max(1, Math.min(navigator.hardwareConcurrency || 2, most));
  const channels = Array.from({ length: count }, () => new WorkerChannel(new Worker(script, { type: 'module' })));
  await Promise.all(channels.map((c) => c.call({ init: { description } })));
  return channels;
}

const moved = new WeakMap();

// A reply whose buffers move to the page rather than being copied.
export function moving(reply, buffers) {
  moved.set(reply, buffers);
  return reply;
}

// In a worker: handle(message) answers the reply's fields (or a promise of
// them) for each message the page sends.
export function answerRequests(handle) {
  let queue = Promise.resolve();
  self.onmessage = ({ data }) => {
    queue = queue.then(async () => {
      try {
        const reply = await handle(data);
        self.postMessage({ id: data.id, ...reply }, moved.get(reply) || []);
      } catch (e) {
        self.postMessage({ id: data.id, error: e.message });
      }
    });
  };
}

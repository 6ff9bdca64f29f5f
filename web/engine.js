// The bridge to the WebAssembly program, for the page's worker and for node:
// one instance parses the model description once; right after that its
// memory in use (the static data and the heap up to the break; the stack
// holds nothing live between calls) is saved, and copied back before every
// run, so each run starts from the library's
// load-time state, as a newly loaded library does, without a new instance.

export class Engine {
  // factory: createTarvello from tarvello.js; wasm: the compiled module;
  // description: the model description's text.
  static async create(factory, wasm, description) {
    const m = await factory({
      instantiateWasm: (imports, done) => {
        WebAssembly.instantiate(wasm, imports).then((instance) => done(instance));
        return {};
      },
      print: () => {},
      printErr: () => {},
    });
    const engine = new Engine(m);
    const answer = engine.call('_tds_web_load', description);
    if (!answer.ok) throw new Error(answer.error);
    // The saved state must not hold the text of a call: the arguments are
    // freed before it is taken.
    // A run that traps leaves the stack pointer where it was: it is put back too.
    engine.stack = m.stackSave();
    const low = m._tds_web_stack_low(), high = m._tds_web_stack_high(), end = m._tds_web_memory_end();
    engine.saved = low < high && high <= end
      ? [[0, m.HEAPU8.slice(0, low)], [high, m.HEAPU8.slice(high, end)]]
      : [[0, m.HEAPU8.slice(0, end)]];
    return engine;
  }

  // The bytes copied back before each run.
  savedBytes() {
    return this.saved.reduce((n, [, bytes]) => n + bytes.length, 0);
  }

  constructor(module) {
    this.m = module;
    this.saved = null;
    this.stack = 0;
  }

  // Calls an exported function with a text and answers its JSON text.
  call(name, text) {
    const m = this.m;
    const size = m.lengthBytesUTF8(text) + 1;
    const at = m._malloc(size);
    m.stringToUTF8(text, at, size);
    try {
      return JSON.parse(m.UTF8ToString(m[name](at)));
    } finally {
      m._free(at);
    }
  }

  // Returns the program's memory to its state right after the description
  // was parsed. The memory may have grown since; what lies above the saved
  // break is unused again.
  restore() {
    for (const [at, bytes] of this.saved) this.m.HEAPU8.set(bytes, at);
    this.m.stackRestore(this.stack);
  }

  // The host's message for each check (see tds_web_check), null where the
  // host accepts the value.
  check(checks) {
    return this.call('_tds_web_check', JSON.stringify(checks));
  }

  // request: {plan, scenario, daily?, days (text), set: ["NAME=VALUE"], csv?}.
  // Answers the program's JSON; without csv, `series` holds one Float64Array
  // per variable of `variables`.
  run(request) {
    this.restore();
    const m = this.m;
    // The description was parsed once; a request's own copy is not read again.
    const answer = this.call('_tds_web_run', JSON.stringify({ ...request, description: undefined }));
    if (answer.ok && !request.csv) {
      const columns = answer.variables.length;
      const all = new Float64Array(m.HEAPF64.buffer, m._tds_web_series(), m._tds_web_series_size());
      const days = all.length / columns;
      answer.series = answer.variables.map((_, c) => {
        const column = new Float64Array(days);
        for (let i = 0; i < days; i++) column[i] = all[i * columns + c];
        return column;
      });
    }
    return answer;
  }
}

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
    engine.snapshot();
    engine.pristine = engine.saved;
    return engine;
  }

  // Takes the program's memory as it is now as the state that each run
  // starts from. The saved state must not hold the text of a call: the
  // arguments are freed before it is taken. A run that traps leaves the
  // stack pointer where it was: it is put back too.
  snapshot() {
    const m = this.m;
    this.stack = m.stackSave();
    const low = m._tds_web_stack_low(), high = m._tds_web_stack_high(), end = m._tds_web_memory_end();
    this.saved = low < high && high <= end
      ? [[0, m.HEAPU8.slice(0, low)], [high, m.HEAPU8.slice(high, end)]]
      : [[0, m.HEAPU8.slice(0, end)]];
  }

  // The bytes copied back before each run.
  savedBytes() {
    return this.saved.reduce((n, [, bytes]) => n + bytes.length, 0);
  }

  constructor(module) {
    this.m = module;
    this.saved = null;
    this.pristine = null;
    this.stack = 0;
  }

  // Calls an exported function with a text (or none) and answers its JSON text.
  call(name, text) {
    const m = this.m;
    if (text === undefined) return JSON.parse(m.UTF8ToString(m[name]()));
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

  // The value names nearest to one that the description lacks, closest
  // first, ranked as the host ranks them; labels: {NAME: LABEL} as the page
  // shows them.
  nearest(name, labels = {}) {
    return this.call('_tds_web_nearest', JSON.stringify({ name, labels }));
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
    // The description was parsed once; a request's own copy is not read again.
    const answer = this.call('_tds_web_run', JSON.stringify({ ...request, description: undefined }));
    if (answer.ok && !request.csv) answer.series = this.series(answer.variables.length);
    return answer;
  }

  // A design study's evaluator: reads the study (request: {plan, scenario,
  // daily, study: the study file's text, source}) and takes the state after
  // it as the one each case starts from. Answers the program's JSON.
  loadStudy(request) {
    this.saved = this.pristine;
    this.restore();
    const answer = this.call('_tds_web_study_load', JSON.stringify(request));
    if (answer.ok) this.snapshot();
    return answer;
  }

  // The evaluations of a loaded study's points, each from the saved state.
  // A case that fails is an evaluation; a call the program refuses (no
  // study loaded, a point of the wrong size) throws its message.
  // With keep (variable names), each successful evaluation also has
  // `series`: one Float64Array of the case's days per variable of keep.
  evaluate(points, keep = null) {
    return points.map((point) => {
      this.restore();
      const answer = this.call('_tds_web_study_case', JSON.stringify(keep ? { point, keep } : point));
      if (answer.error !== undefined) throw new Error(answer.error);
      if (keep && answer.ok) answer.series = this.series(keep.length);
      return answer;
    });
  }

  // The last run's series (day after day, `columns` doubles a day), one
  // Float64Array per column.
  series(columns) {
    const m = this.m;
    const all = new Float64Array(m.HEAPF64.buffer, m._tds_web_series(), m._tds_web_series_size());
    const days = all.length / columns;
    return Array.from({ length: columns }, (_, c) => {
      const column = new Float64Array(days);
      for (let i = 0; i < days; i++) column[i] = all[i * columns + c];
      return column;
    });
  }
}

// The instance that leads a study: never restored, it keeps the study's
// state from start to tables. Its calls answer the program's JSON.
export class StudyLeader {
  constructor(engine) {
    this.engine = engine;
  }

  start(request) {
    return this.engine.call('_tds_web_study_start', JSON.stringify(request));
  }

  next() {
    return this.engine.call('_tds_web_study_next');
  }

  tell(evaluations) {
    return this.engine.call('_tds_web_study_tell', JSON.stringify(evaluations));
  }

  tables() {
    return this.engine.call('_tds_web_study_tables');
  }
}


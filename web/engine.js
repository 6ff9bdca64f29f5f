// The bridge to the WebAssembly program, for the page and for node: every
// run gets a fresh instance of the compiled module, so the model starts from
// its load-time state, as a newly loaded library does.

export class Engine {
  // factory: createTarvello from tarvello.js; wasm: the compiled module.
  constructor(factory, wasm) {
    this.factory = factory;
    this.wasm = wasm;
  }

  async instance() {
    return this.factory({
      instantiateWasm: (imports, done) => {
        WebAssembly.instantiate(this.wasm, imports).then((instance) => done(instance));
        return {};
      },
      print: () => {},
      printErr: () => {},
    });
  }

  // request: {description, plan, scenario, daily?, days (text), set: ["NAME=VALUE"], csv?}.
  // Answers the program's JSON; without csv, `series` holds one Float64Array
  // per variable of `variables`.
  async run(request) {
    const m = await this.instance();
    const text = JSON.stringify(request);
    const size = m.lengthBytesUTF8(text) + 1;
    const at = m._malloc(size);
    m.stringToUTF8(text, at, size);
    const answer = JSON.parse(m.UTF8ToString(m._tds_web_run(at)));
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

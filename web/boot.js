// Started before the rest of the page loads: the engine's worker, which
// compiles the program meanwhile, and the texts the page reads, so that
// neither waits for the page's modules. The page takes them from here.
'use strict';
window.tarvelloBoot = {
  worker: new Worker('worker.js', { type: 'module' }),
  texts: new Map(['TarvelloDemoSite.json', 'plan.json', 'scenario.json', 'inputs.csv'].map((name) => {
    const response = fetch(name);
    response.catch(() => {});  // the page reports a failure when it reads it
    return [name, response];
  })),
};

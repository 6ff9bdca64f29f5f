// Starts the page once it has drawn its first frame, so that nothing
// competes with that paint: the engine's worker, which compiles the program
// meanwhile, the texts the page reads, uPlot, and the page's script with its
// modules preloaded, all at once so that none waits for another. A page
// opened behind others draws no frame; a timer starts it then. The page
// takes the worker, the texts and uPlot from here.
'use strict';
(() => {
  let started = false;
  const add = (tag, props) => document.head.appendChild(Object.assign(document.createElement(tag), props));
  const start = () => {
    if (started) return;
    started = true;
    window.tarvelloBoot = {
      worker: new Worker('worker.js', { type: 'module' }),
      texts: new Map(['TarvelloDemoSite.json', 'plan.json', 'scenario.json', 'inputs.csv'].map((name) => {
        const response = fetch(name);
        response.catch(() => {});  // the page reports a failure when it reads it
        return [name, response];
      })),
      uplot: new Promise((loaded, failed) => add('script', { src: 'uPlot.iife.min.js', onload: loaded,
        onerror: () => failed(new Error('cannot load uPlot.iife.min.js')) })),
    };
    window.tarvelloBoot.uplot.catch(() => {});  // as the texts
    // The modules that app.js imports, each named here by the build
    // (page.cmake), all preloaded at once.
    for (const name of [/* the page's modules */])
      add('link', { rel: 'modulepreload', href: name });
    add('script', { type: 'module', src: 'app.js' });
  };
  // After the frame that follows the first, in a task of its own rather than
  // in that frame's.
  requestAnimationFrame(() => requestAnimationFrame(() => setTimeout(start, 0)));
  setTimeout(start, 500);
})();

// The explorer page: its controls are generated from the model description,
// the plan and the scenario; every change reruns the model in a worker
// (worker.js) and redraws the headline figures and the plan's panels. This
// module starts the page's parts in order: the texts, the controls, the
// Results section's buttons, the Futures view and the Study panel, then,
// once the engine and uPlot are ready, the run of the address's settings.
import { setupActions } from './actions.js';
import { changed, followAddress, fromAddress } from './address.js';
import { applyDesign, buildControls, readSettings } from './controls.js';
import { futuresAfterRun, setupFutures } from './futures-view.js';
import { showStatus } from './results.js';
import { afterEachRun } from './runs.js';
import { columns, load, page } from './state.js';
import { setupStudy } from './study-panel.js';

try {
  const { ready } = await load();
  buildControls({ onChange: changed });
  setupActions();
  followAddress();
  const { description, plan, scenario, files } = page;
  const study = setupStudy({ description, plan, scenario, files, columns, readSettings, applyDesign,
    current: () => page.current });
  setupFutures();
  afterEachRun(() => {
    study.ready();
    futuresAfterRun();
  });
  await ready;
  await window.tarvelloBoot.uplot;
  await fromAddress();
} catch (e) {
  showStatus(`The page cannot start: ${e.message}`);
  throw e;
}

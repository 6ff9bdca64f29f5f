// The Results section's buttons: a baseline pinned and cleared (the address
// carries it), and the downloads of the run on screen: its CSV, its
// scenario file and its per-day table.
import { remember } from './address.js';
import { $, save } from './dom.js';
import { draw, showStatus } from './results.js';
import { runChecked, whenShown } from './runs.js';
import { dailyTable, editsTable, scenarioFile } from './settings.js';
import { page } from './state.js';

function pin() {
  if (!page.current) return;
  page.baseline = page.current;
  $('unpin').disabled = false;
  remember();
  showStatus('Baseline pinned; change a control to compare. The address now carries it.');
  draw();
}

function unpin() {
  page.baseline = null;
  $('unpin').disabled = true;
  remember();
  showStatus('Baseline cleared.');
  draw();
}

// The CSV of the run on screen, once the latest change has run.
async function downloadCsv() {
  const reply = await runChecked(page.current.settings, true);
  if (!reply.answer) return showStatus(`Not run: ${reply.message}`);
  save(`tarvello-${page.current.settings.days}-days.csv`, reply.answer.csvBytes, 'text/csv');
}

function downloadScenario() {
  const { current } = page;
  try {
    save('tarvello-scenario.json', scenarioFile(page.files, page.description, current.settings), 'application/json');
    if (editsTable(current.settings) || current.settings.sets.length)
      showStatus('Saved tarvello-scenario.json; it names tarvello-inputs.csv (Download per-day table) beside it.');
  } catch (e) {
    showStatus(e.message);
  }
}

export function setupActions() {
  $('pin').addEventListener('click', pin);
  $('unpin').addEventListener('click', unpin);
  $('download-csv').addEventListener('click', () => whenShown(downloadCsv));
  $('download-scenario').addEventListener('click', () => whenShown(downloadScenario));
  $('download-table').addEventListener('click', () => whenShown(() =>
    save('tarvello-inputs.csv', dailyTable(page.table, page.current.settings), 'text/csv')));
}

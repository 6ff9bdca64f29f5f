// The page's address: its fragment carries the settings, a pinned
// baseline's and the parts of a shared address that could not be applied
// (settings.js writes and reads it); applied when the page opens and when
// it changes, each part that cannot be applied listed in a notice.
import { applySettings, markError, readSettings } from './controls.js';
import { $, el } from './dom.js';
import { runChecked, scheduleRun } from './runs.js';
import { fromHash, toHash } from './settings.js';
import { columns, page } from './state.js';
import { labelsOf } from './view.js';

let kept = [];  // the address's parts that could not be applied: [{part, message}]

// The address of what the page shows: the fields, the baseline, and what
// could not be applied.
function address() {
  return toHash(readSettings(), page.baseline ? page.baseline.settings : null, kept.map((k) => k.part));
}

// Puts what the page shows into its address, without a new history entry.
export function remember() {
  const now = address();
  if (location.hash !== now) history.replaceState(null, '', now);
}

// The fields changed at time `since`: the address follows them at once,
// their run soon.
export function changed(since) {
  remember();
  scheduleRun(since);
}

// Applies the address: its settings to the fields, its baseline run and
// pinned, each part that cannot be applied listed in the notice.
export async function fromAddress() {
  const shape = { values: page.values, columns: new Set(columns()),
    days: new Set(page.table.rows.map((r) => r[0])) };
  const found = fromHash(location.hash, shape);
  kept = found.problems;
  // An unknown name gets the host's own message.
  const unknown = kept.filter((k) => k.set);
  if (unknown.length) {
    const labels = labelsOf(page.scenario, page.plan);
    const reply = await page.worker.ask({ checks: unknown.map((k) => ({ set: k.set, labels })), request: null });
    unknown.forEach((k, i) => (k.message = reply.problems ? reply.problems[i] : reply.error));
  }
  applySettings(found.settings);
  page.baseline = null;
  if (found.baseline) {
    const reply = await runChecked(found.baseline);
    if (reply.answer) page.baseline = { settings: found.baseline, answer: reply.answer };
    else kept.push({ part: toHash(found.baseline).slice(1).split('&').map((p) => `base.${p}`).join('&'),
      message: `the baseline cannot be run: ${reply.message}` });
  }
  $('unpin').disabled = !page.baseline;
  showNotice();
  changed(performance.now());
}

function showNotice() {
  const box = $('notice');
  if (!kept.length) {
    box.replaceChildren();
    box.hidden = true;
    return;
  }
  box.hidden = false;
  box.replaceChildren(el('p', { text: 'Parts of this address cannot be applied; they stay in it until removed:' }),
    el('ul', {}, ...kept.map((k, i) => {
      const button = el('button', { type: 'button', class: 'remove', text: 'Remove',
        'aria-label': `Remove ${k.part} from the address` });
      button.addEventListener('click', () => {
        kept.splice(i, 1);
        showNotice();
        remember();
        $('results-heading').focus();
      });
      return el('li', {}, el('code', { text: k.part }), ` — ${k.message} `, button);
    })));
}

function clearErrors() {
  for (const input of document.querySelectorAll('#controls input[aria-invalid]')) {
    if (input.id === 'f-search') continue;
    input.removeAttribute('aria-invalid');
    $(`${input.id}-error`)?.replaceChildren();
  }
}

// Applies the address again when the user changes it.
export function followAddress() {
  window.addEventListener('hashchange', () => {
    if (location.hash === address()) return;
    fromAddress();
  });
}

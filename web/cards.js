// The headline cards of the run on screen (each against the pinned
// baseline's figure), and the run as tarvello-run gives it: its summary
// and its command line.
import { $, el } from './dom.js';
import { commandLine } from './settings.js';
import { page } from './state.js';
import { figure, headlineFigures } from './view.js';

export function drawCards() {
  const { current, baseline, scenario, plan, description } = page;
  const now = headlineFigures(scenario, plan, current.answer);
  const then = baseline ? new Map(headlineFigures(scenario, plan, baseline.answer).map((c) => [c.figure, c])) : null;
  $('cards').replaceChildren(...now.map((c) => {
    const b = then?.get(c.figure);
    const parts = [el('dt', { text: c.label, ...(c.title ? { title: c.title } : {}) }),
      el('dd', { class: 'figure', text: `${figure(c.value)} ${c.unit || ''}`.trim() })];
    if (b) {
      const diff = c.value - b.value;
      parts.push(el('dd', { class: 'diff', text: `${diff > 0 ? '+' : diff < 0 ? '−' : '±'}${figure(Math.abs(diff))} ` +
        `on the baseline's ${figure(b.value)}` }));
    }
    return el('div', { class: 'card' }, ...parts);
  }));
  const a = current.answer;
  $('summary-text').textContent = `${a.days} days of ${description.model} ${description.version}\n${a.summary}`;
  $('command').textContent = commandLine(current.settings);
}

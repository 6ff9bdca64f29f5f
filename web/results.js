// The Results section's status line, and the run on screen drawn into it:
// its cards at once, then its charts.
import { drawCards } from './cards.js';
import { drawCharts } from './charts.js';
import { $ } from './dom.js';

export function showStatus(text) {
  $('status').textContent = text;
}

// Draws the current run; a newer draw started meanwhile leaves the older one.
let drawing = Promise.resolve();
export function draw() {
  drawCards();
  drawing = drawing.catch(() => {}).then(drawCharts);
  return drawing;
}

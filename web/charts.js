// The charts of the plan's panels (uPlot, their cursors in step): the run
// on screen and the pinned baseline dashed, each with its legend, the values
// under the cursor and its data as a table; a long run drawn as the envelope
// of its days at the chart's width; with futures shown (futures-view.js),
// each variable's median over them dotted and their 10–90 % band shaded.
import { $, el } from './dom.js';
import { shownFutures } from './futures-view.js';
import { page, probe } from './state.js';
import { axisFor, figure, labelOf } from './view.js';

const COLOURS = ['#1a4f8b', '#b3471d', '#2a7d2e', '#7b3294'];

let charts = [];
let chartsKey = '';

const panels = () => page.plan.output?.panels || [];

function chartData(panel) {
  const { current, baseline } = page;
  const a = current.answer;
  const length = Math.max(a.days, baseline ? baseline.answer.days : 0);
  const x = new Float64Array(length);
  for (let i = 0; i < length; i++) x[i] = i + 1;
  const padded = (series) => {
    if (series.length === length) return series;
    const out = new Array(length).fill(null);
    for (let i = 0; i < series.length; i++) out[i] = series[i];
    return out;
  };
  const column = (answer, name) => padded(answer.series[answer.variables.indexOf(name)]);
  const data = [x, ...panel.variables.map((name) => column(a, name))];
  if (baseline) data.push(...panel.variables.map((name) => column(baseline.answer, name)));
  const futures = shownFutures();
  if (futures) {
    for (const name of panel.variables) {
      const b = futures.bands.get(name);
      data.push(padded(b.p10), padded(b.median), padded(b.p90));
    }
  }
  return data;
}

function chartWidth() {
  return Math.max(260, ($('charts').clientWidth || 600) - 4);
}

// What a chart draws of its data: every day where there are at most four
// days to a pixel; beyond, each group of days as its lowest and its highest
// value (a line's envelope at that width). Days within [min, max], the part
// shown when zoomed, are grouped finely enough for the shown width.
function drawn(data, width, min = -Infinity, max = Infinity) {
  const n = data[0].length;
  const groups = Math.max(1, Math.floor(width));
  if (n <= groups * 4) return data;
  const from = Math.max(0, Math.floor(min) - 1), to = Math.min(n, Math.ceil(max));
  const fine = to > from ? Math.max(1, (to - from) / groups / 2) : n;
  const coarse = n / groups / 2;
  const out = data.map(() => []);
  let i = 0;
  while (i < n) {
    const size = i >= from && i < to ? fine : coarse;
    const end = Math.min(n, Math.max(i + 1, Math.round(i + size)));
    if (end - i <= 2) {
      for (let k = i; k < end; k++) data.forEach((column, c) => out[c].push(column[k]));
    } else {
      out[0].push(data[0][i], data[0][end - 1]);
      for (let c = 1; c < data.length; c++) {
        let lo = null, hi = null;
        for (let k = i; k < end; k++) {
          const v = data[c][k];
          if (v === null || Number.isNaN(v)) continue;
          if (lo === null || v < lo) lo = v;
          if (hi === null || v > hi) hi = v;
        }
        out[c].push(lo, hi);
      }
    }
    i = end;
  }
  return out;
}

// Lets the page handle input between two charts' drawing, so that a long
// run's redraw is several short tasks rather than one long one.
const yieldToPage = () => new Promise((resolve) => setTimeout(resolve, 0));

// Draws the charts of the run on screen: the new data into the charts that
// stand when only the data changed, else new charts.
export async function drawCharts() {
  const { scenario, plan } = page;
  const box = $('charts');
  const days = Math.max(page.current.answer.days, page.baseline ? page.baseline.answer.days : 0);
  const axis = axisFor(days);
  const futures = shownFutures();
  const key = `${!!page.baseline}:${days}:${!!futures}`;
  if (charts.length && chartsKey === key) {
    for (const [i, panel] of panels().entries()) {
      if (i > 0) await yieldToPage();
      const chart = charts[i];
      chart.full = chartData(panel);
      chart.fineFor = 'whole';
      chart.setData(drawn(chart.full, chart.bbox.width / devicePixelRatio));
    }
    refreshTables();
    return;
  }
  // The headline figures shown first; each chart then drawn in a task of
  // its own.
  await yieldToPage();
  // The box keeps its height while its charts are drawn anew, one task
  // each, so that what lies below does not move meanwhile.
  box.style.minHeight = `${box.getBoundingClientRect().height}px`;
  for (const c of charts) c.destroy();
  box.replaceChildren();
  chartsKey = key;
  const sync = window.uPlot.sync('tarvello');
  const width = chartWidth();
  charts = [];
  for (const [i, panel] of panels().entries()) {
    if (i > 0) await yieldToPage();
    const titleId = `chart-${i}-title`;
    const unit = panel.unit ? ` (${panel.unit})` : '';
    const legend = el('div', { class: 'legend', role: 'group', 'aria-label': `Series of ${panel.title}` });
    const readout = el('p', { class: 'readout', id: `chart-${i}-readout` });
    const plot = el('div', { class: 'plot', role: 'img', 'aria-label': `Chart of ${panel.title}` +
      `${futures ? ', with the futures\' median and 10–90 % band' : ''}; its data is in the table below it` });
    const tableBox = el('details', { class: 'data' }, el('summary', { text: `${panel.title}: the data as a table` }));
    tableBox.addEventListener('toggle', () => tableBox.open && fillTable(tableBox, panel));
    box.append(el('figure', { 'aria-labelledby': titleId },
      el('figcaption', { id: titleId, text: panel.title + unit }), legend, plot, readout, tableBox));
    const series = [{ label: 'day' }];
    const names = panel.variables.map((name) => labelOf(scenario, plan, name));
    panel.variables.forEach((name, k) =>
      series.push({ label: names[k], stroke: COLOURS[k % COLOURS.length], width: 1.5 }));
    if (page.baseline)
      panel.variables.forEach((name, k) =>
        series.push({ label: `${names[k]} (baseline)`, stroke: COLOURS[k % COLOURS.length], width: 1, dash: [6, 4] }));
    // Each variable's futures: the 10th percentile, the median and the 90th
    // percentile, the band filled between the outer two.
    const bands = [];
    if (futures)
      panel.variables.forEach((name, k) => {
        const colour = COLOURS[k % COLOURS.length];
        const at = series.length;
        series.push({ label: `${names[k]}, futures' 10th percentile`, stroke: 'transparent', width: 0, points: { show: false }, band: k },
          { label: `${names[k]}, futures' median`, stroke: colour, width: 1.5, dash: [2, 3], band: k },
          { label: `${names[k]}, futures' 90th percentile`, stroke: 'transparent', width: 0, points: { show: false }, band: k });
        bands.push({ series: [at + 2, at], fill: `${colour}33` });
      });
    const full = chartData(panel);
    const chart = new window.uPlot({
      width, height: 180, series, bands,
      scales: { x: { time: false } },
      axes: [{ splits: axis.splits, values: axis.values, space: 40 },
        { size: 56, values: (u, ticks) => ticks.map((t) => figure(t)) }],
      legend: { show: false },
      cursor: { sync: { key: sync.key }, drag: { x: true, y: false } },
      hooks: {
        setCursor: [(u) => showReadout(u, readout, axis)],
        // Zoomed in or out: the shown days drawn finely again (new data
        // resets the scales, so the zoom is set again after it).
        setScale: [(u, key) => {
          if (key !== 'x' || !u.full || u.busy) return;
          const { min, max } = u.scales.x;
          const whole = min <= 1 && max >= u.full[0].length;
          if (u.fineFor === (whole ? 'whole' : `${min}:${max}`)) return;
          u.busy = true;
          u.fineFor = whole ? 'whole' : `${min}:${max}`;
          u.setData(drawn(u.full, u.bbox.width / devicePixelRatio, whole ? -Infinity : min, whole ? Infinity : max));
          if (!whole) u.setScale('x', { min, max });
          u.busy = false;
        }],
      },
    }, drawn(full, width), plot);
    chart.full = full;
    chart.fineFor = 'whole';
    // A button per series but the futures' (the Futures view words them),
    // so that the legend keeps its size when they come.
    series.slice(1).forEach((s, k) => {
      if (s.band !== undefined) return;
      const name = panel.variables[k % panel.variables.length];
      const button = el('button', { type: 'button', class: 'series', 'aria-pressed': 'true', title: name },
        el('span', { class: 'swatch', style: `border-color: ${s.stroke}${s.dash ? '; border-top-style: dashed' : ''}` }),
        s.label);
      button.addEventListener('click', () => {
        const show = button.getAttribute('aria-pressed') !== 'true';
        button.setAttribute('aria-pressed', String(show));
        chart.setSeries(k + 1, { show });
      });
      legend.append(button);
    });
    charts.push(chart);
    if (probe.firstChart === null) probe.firstChart = performance.now();
  }
  box.style.minHeight = '';
}

// The values of the day under the cursor, from the whole data.
function showReadout(u, readout, axis) {
  const i = u.cursor.idx;
  if (i === null || i === undefined || !u.full) {
    readout.textContent = '';
    return;
  }
  const day = u.data[0][i];
  const parts = u.series.slice(1).map((s, k) => `${s.label}: ${figure(u.full[k + 1][day - 1])}`);
  readout.textContent = `${axis.date(day)} — ${parts.join('; ')}`;
}

// The data table of a chart: the first day of each month (of each year beyond two years).
function fillTable(box, panel) {
  const { current, baseline, scenario, plan } = page;
  const days = current.answer.days;
  const axis = axisFor(days);
  const data = chartData(panel);
  const futures = shownFutures();
  const head = el('tr', {}, el('th', { scope: 'col', text: 'Day' }),
    ...panel.variables.map((name) => el('th', { scope: 'col', title: name, text: labelOf(scenario, plan, name) })),
    ...(baseline ? panel.variables.map((name) => el('th', { scope: 'col',
      text: `${labelOf(scenario, plan, name)} (baseline)` })) : []),
    ...(futures ? panel.variables.flatMap((name) => ['10th percentile', 'median', '90th percentile'].map((p) =>
      el('th', { scope: 'col', text: `${labelOf(scenario, plan, name)}, futures' ${p}` }))) : []));
  const rows = axis.rows(days).map((day) => el('tr', {}, el('th', { scope: 'row', text: axis.date(day) }),
    ...data.slice(1).map((column) => el('td', { text: figure(column[day - 1]) }))));
  box.querySelector('table')?.remove();
  box.append(el('table', {}, el('caption', { text: `${panel.title}, at the start of each ${axis.kind}` }),
    el('thead', {}, head), el('tbody', {}, ...rows)));
}

function refreshTables() {
  panels().forEach((panel, i) => {
    const box = $('charts').querySelectorAll('details.data')[i];
    if (box?.open) fillTable(box, panel);
  });
}

window.addEventListener('resize', () => {
  for (const c of charts) c.setSize({ width: chartWidth(), height: 180 });
});

// The Study panel's result: μ* bars for an output of a Morris screening or
// the front of an NSGA-II search's first two objectives, the same as a
// table, the designs that a click loads into the controls, and the
// downloads of the study file and its tables.
import { csvRows } from './csv.js';
import { $, el, save } from './dom.js';
import { factorLabel } from './study-form.js';
import { figure, labelOf } from './view.js';

// {scenario, plan, outputs() (the outputs the form offers), applyDesign(values:
// Map name -> text), status(text)}. Answers {show(result)}: result {study
// (the study file), text (its text), files (Map name -> text), summary,
// method}; show() without one shows the last again, for another output.
export function studyResults({ scenario, plan, outputs, applyDesign, status }) {
  let result = null;
  let chart = null;
  let menuFor = null;  // the result whose outputs the menu of the shown output lists

  // The result: μ* bars for the first output (Morris) or the front of the
  // first two objectives (NSGA-II), a table of the same, the designs a
  // click loads, and the downloads.
  function show(shown) {
    if (shown) result = shown;
    $('study-result').hidden = false;
    chart?.destroy();
    chart = null;
    const s = result.study;
    const label = (name) => factorLabel(scenario, plan, name);
    const outLabel = (name) => outputs().find((o) => o.name === name)?.label || name;
    const width = Math.max(260, ($('study').clientWidth || 600) - 20);
    let header, rows, caption, data, opts;
    $('study-shown-box').hidden = s.method !== 'morris';
    if (s.method === 'morris') {
      const body = csvRows(result.files.get('effects.csv')).slice(1);
      const menu = $('study-shown');
      if (menuFor !== result) {
        menu.replaceChildren(...s.outputs.map((o) => el('option', { value: o.name, text: outLabel(o.name) })));
        menuFor = result;
      }
      const first = menu.value;
      const mine = body.filter((r) => r[1] === first);
      caption = `How much each factor moves ${outLabel(first).toLowerCase()}: μ* of the Morris screening`;
      header = ['Factor', 'μ*', 'μ', 'σ'];
      rows = mine.map((r) => [label(r[0]), figure(Number(r[3])), figure(Number(r[2])), figure(Number(r[4]))]);
      const xs = mine.map((_, i) => i + 1), ys = mine.map((r) => Number(r[3]));
      data = [xs, ys];
      opts = { series: [{ label: 'factor' }, { label: 'μ*', fill: '#1a4f8b', stroke: '#1a4f8b',
        paths: window.uPlot.paths.bars({ size: [0.6, 40] }), points: { show: false } }],
      scales: { x: { time: false, range: [0.4, xs.length + 0.6] } },
      axes: [{ values: (u, ticks) => ticks.map((t) => (Number.isInteger(t) && mine[t - 1] ? shortLabel(label(mine[t - 1][0])) : '')),
        splits: () => xs, size: 60 }, { size: 56, values: (u, ticks) => ticks.map((t) => figure(t)) }] };
      designs(bestRuns(first), `The screening’s five runs with the fewest ${outLabel(first).toLowerCase()}; load one into the controls:`);
    } else {
      const [head, ...body] = csvRows(result.files.get('pareto.csv'));
      const [a, b] = s.nsga2.objectives.map((o) => o.output);
      const ia = head.indexOf(a), ib = head.indexOf(b);
      const sorted = body.slice().sort((p, q) => Number(p[ia]) - Number(q[ia]));
      caption = `The Pareto front: ${outLabel(a).toLowerCase()} against ${outLabel(b).toLowerCase()}`;
      header = [outLabel(a), outLabel(b), 'Knee'];
      rows = sorted.map((r) => [figure(Number(r[ia])), figure(Number(r[ib])), r[head.length - 1] === '1' ? 'yes' : '']);
      data = [sorted.map((r) => Number(r[ia])), sorted.map((r) => Number(r[ib]))];
      opts = { series: [{ label: outLabel(a) }, { label: outLabel(b), stroke: '#b3471d', paths: () => null,
        points: { show: true, size: 8, fill: '#b3471d' } }],
      scales: { x: { time: false } },
      axes: [{ label: outLabel(a), values: (u, ticks) => ticks.map((t) => figure(t)) },
        { label: outLabel(b), size: 60, values: (u, ticks) => ticks.map((t) => figure(t)) }] };
      designs({ head, rows: sorted }, 'The front’s designs; load one into the controls (or click a point of the chart):');
    }
    $('study-chart-title').textContent = caption;
    $('study-chart').setAttribute('aria-label', `${caption}; its data is in the table below it`);
    const box = $('study-table-box');
    box.querySelector('table')?.remove();
    box.append(el('table', {}, el('caption', { text: caption }),
      el('thead', {}, el('tr', {}, ...header.map((h) => el('th', { scope: 'col', text: h })))),
      el('tbody', {}, ...rows.map((r) => el('tr', {}, el('th', { scope: 'row', text: r[0] }),
        ...r.slice(1).map((c) => el('td', { text: c })))))));
    chart = new window.uPlot({ width, height: 220, legend: { show: false }, cursor: { drag: { x: false, y: false } },
      ...opts }, data, $('study-chart'));
    if (s.method === 'nsga2') {
      chart.over.addEventListener('click', () => {
        const i = chart.cursor.idx;
        if (i !== null && i !== undefined) load(result.designs.head, result.designs.rows[i]);
      });
      $('study-chart-help').textContent = 'Click a point to load its design.';
    } else $('study-chart-help').textContent = '';
    downloads();
  }

  const shortLabel = (text) => (text.length > 14 ? `${text.slice(0, 13)}…` : text);

  // The five runs of the screening with the smallest first output.
  function bestRuns(first) {
    const samples = csvRows(result.files.get('samples.csv'));
    const results = csvRows(result.files.get('results.csv'));
    const at = results[0].indexOf(first);
    const order = results.slice(1).map((r, i) => [i, r]).filter(([, r]) => r[1] === 'ok')
      .sort((p, q) => Number(p[1][at]) - Number(q[1][at]) || p[0] - q[0]).slice(0, 5);
    const head = [...samples[0], first];
    return { head, rows: order.map(([i, r]) => [...samples[i + 1], r[at]]) };
  }

  // The table of designs, each with a button that loads it.
  function designs({ head, rows }, text) {
    result.designs = { head, rows };
    $('study-designs-text').textContent = text;
    const factorCols = result.study.factors.map((f) => head.indexOf(f.name));
    const outCols = result.study.outputs.map((o) => head.indexOf(o.name)).filter((i) => i >= 0);
    const names = (i) => head[i];
    const label = (name) => (name.startsWith('scale:') ? factorLabel(scenario, plan, name)
      : outputs().find((o) => o.name === name)?.label || labelOf(scenario, plan, name));
    $('study-designs').replaceChildren(
      el('thead', {}, el('tr', {}, el('th', { scope: 'col', text: 'Design' }),
        ...[...factorCols, ...outCols].map((i) => el('th', { scope: 'col', title: names(i), text: label(names(i)) })),
        el('td', {}))),
      el('tbody', {}, ...rows.map((r) => {
        const button = el('button', { type: 'button', class: 'load', text: 'Load', 'aria-label': `Load design ${r[0]}` });
        button.addEventListener('click', () => load(head, r));
        return el('tr', {}, el('th', { scope: 'row', text: r[0] }),
          ...[...factorCols, ...outCols].map((i) => el('td', { title: r[i], text: figure(Number(r[i])) })), el('td', {}, button));
      })));
  }

  // A design's factor values, as the study's table writes them, into the
  // controls (and so into the address).
  function load(head, row) {
    const values = new Map();
    for (const f of result.study.factors) values.set(f.name, row[head.indexOf(f.name)]);
    applyDesign(values);
    status(`Design ${row[0]} loaded into the controls and the address.`);
  }

  function downloads() {
    const box = $('study-downloads');
    const study = el('button', { type: 'button', id: 'study-download-file', text: 'Download the study file' });
    study.addEventListener('click', () => save('tarvello-study.json', result.text, 'application/json'));
    box.replaceChildren(study, ...[...result.files.keys()].map((name) => {
      const b = el('button', { type: 'button', 'data-file': name, text: `Download ${name}` });
      b.addEventListener('click', () => save(name, result.files.get(name), name.endsWith('.csv') ? 'text/csv' : 'text/plain'));
      return b;
    }), el('p', { text: 'tarvello-run --study tarvello-study.json --out DIR gives the same tables.' }));
  }


  $('study-shown').addEventListener('change', () => show());
  return { show };
}

// The page's Study panel: a Morris screening or an NSGA-II search over the
// settings of the controls, run on a pool of workers (study-worker.js, one
// per core) beside the page's own worker, so that neither the page nor its
// reruns wait for it. The study is a study file as tarvello-run --study
// takes it; its tables are the program's (study.js drives it).
import { csvRows } from './csv.js';
import { $, el, save } from './dom.js';
import { runStudy } from './study.js';
import { figure, labelOf } from './view.js';


// The study's outputs offered: the run's headline figures as the study file
// names them ("figure"), each with a column name of its own in results.csv.
function figureOutputs(plan, scenario, answer) {
  const counts = new Map((plan.summary?.counts || []).map((c) => [c.name, c]));
  const shortfalls = new Map((plan.summary?.shortfalls || []).map((c) => [c.name, c]));
  const plain = (entry, name) => entry?.label || name.replace(/_/g, ' ');
  return [
    ...answer.counts.map((c) => ({ figure: c.name, name: c.name.endsWith('_days') ? c.name.slice(0, -5) : `${c.name}_count`,
      label: plain(counts.get(c.name), c.name) })),
    { figure: 'shortfall_days', name: 'any_shortfall_days', label: 'Days with any shortfall' },
    ...answer.shortfalls.map((c) => ({ figure: c.name, name: `${c.name}_days`,
      label: `Short: ${plain(shortfalls.get(c.name), c.name)}` })),
    ...answer.levels.map((l) => ({ figure: l.name, name: `final_${l.name}`,
      label: `Final ${labelOf(scenario, plan, l.name).toLowerCase()}` })),
  ];
}

// ctx: {description, plan, scenario, files, table, columns(), current(),
// readSettings(), applyDesign(values: Map name -> text), status(text)}.
export function setupStudy(ctx) {
  const { description, plan, scenario } = ctx;
  const kinds = new Map(description.values.map((v) => [v.name, v.kind]));
  const workers = [];
  let asked = 0;
  const waiting = new Map();
  let running = null;  // {stopped}
  let result = null;   // {study (its text), name, files, summary, factors, outputs}
  let chart = null;
  let menuFor = null;  // the result whose outputs the menu of the shown output lists
  let outputs = [];

  // The pool, started with the first study and kept.
  function pool() {
    if (workers.length) return Promise.resolve(workers);
    const count = Math.max(1, Math.min(navigator.hardwareConcurrency || 2, 16));
    const ready = [];
    for (let i = 0; i < count; i++) {
      const w = new Worker('study-worker.js', { type: 'module' });
      w.onmessage = ({ data }) => {
        const pending = waiting.get(data.id);
        if (!pending) return;
        waiting.delete(data.id);
        if (data.error !== undefined) pending.reject(new Error(data.error));
        else pending.resolve(data);
      };
      workers.push(w);
      ready.push(send(w, { init: { description: ctx.files.description } }));
    }
    return Promise.all(ready).then(() => workers);
  }
  function send(worker, message) {
    const id = ++asked;
    worker.postMessage({ id, ...message });
    return new Promise((resolve, reject) => waiting.set(id, { resolve, reject }));
  }
  // The leader lives in the first worker.
  const leader = {
    start: (request) => send(workers[0], { lead: 'start', with: request }).then((d) => d.answer),
    next: () => send(workers[0], { lead: 'next' }).then((d) => d.answer),
    tell: (evaluations) => send(workers[0], { lead: 'tell', with: evaluations }).then((d) => d.answer),
    tables: () => send(workers[0], { lead: 'tables' }).then((d) => d.answer),
  };

  // The factors' rows: each constant of the scenario (its range where the
  // scenario gives one), each value set by name, each per-day column's scale.
  function factorRows() {
    const settings = ctx.readSettings();
    const sets = new Map(settings.sets);
    const rows = [];
    const bounds = (name, value) => {
      const range = new Map(Object.entries(scenario.labels || {})).get(name) || {};
      const x = Number(value);
      if (range.min !== undefined && range.max !== undefined) return [range.min, range.max];
      if (range.min !== undefined) return [range.min, x > range.min ? 2 * x - range.min : range.min + 1];
      return x === 0 ? [0, 1] : [Math.min(x / 2, 1.5 * x), Math.max(x / 2, 1.5 * x)];
    };
    for (const [name, value] of Object.entries(scenario.constants || {})) {
      if (kinds.get(name) === 'text') continue;
      rows.push({ name, label: labelOf(scenario, plan, name), value: sets.get(name) ?? String(value),
        bounds: bounds(name, sets.get(name) ?? value) });
    }
    for (const [name, value] of settings.sets)
      if (!(name in (scenario.constants || {})) && kinds.get(name) !== 'text')
        rows.push({ name, label: labelOf(scenario, plan, name), value, bounds: bounds(name, value) });
    for (const name of ctx.columns())
      if (kinds.get(name) === 'double')
        rows.push({ name: `scale:${name}`, label: `Scale of ${labelOf(scenario, plan, name).toLowerCase()}`,
          value: settings.scale[name] ?? '1', bounds: [0.5, 1.5] });
    return rows;
  }

  function buildForm() {
    const rows = factorRows();
    const t = $('study-factors');
    t.replaceChildren(el('thead', {}, el('tr', {}, ...['Vary', 'Setting', 'Low', 'High'].map((h) => el('th', { scope: 'col', text: h })))),
      el('tbody', {}, ...rows.map((r, i) => {
        const id = `st-f${i}`;
        return el('tr', { 'data-name': r.name },
          el('td', {}, el('input', { type: 'checkbox', id, name: `vary:${r.name}`, ...(i < 3 || r.name.startsWith('scale:qttEnergy') ? { checked: '' } : {}) })),
          el('th', { scope: 'row' }, el('label', { for: id, title: r.name, text: r.label })),
          el('td', {}, el('input', { name: `low:${r.name}`, value: String(r.bounds[0]), inputmode: 'decimal',
            'aria-label': `Low bound of ${r.label}` })),
          el('td', {}, el('input', { name: `high:${r.name}`, value: String(r.bounds[1]), inputmode: 'decimal',
            'aria-label': `High bound of ${r.label}` })));
      })));
    outputs = ctx.current() ? figureOutputs(plan, scenario, ctx.current().answer) : [];
    const o = $('study-outputs');
    o.replaceChildren(
      el('thead', {}, el('tr', {}, ...['Study', 'Figure', 'Goal (NSGA-II)'].map((h) => el('th', { scope: 'col', text: h })))),
      el('tbody', {}, ...outputs.map((out, i) => {
        const id = `st-o${i}`;
        const goal = el('select', { name: `goal:${out.name}`, 'aria-label': `Goal for ${out.label}` },
          el('option', { value: 'minimise', text: 'minimise' }), el('option', { value: 'maximise', text: 'maximise' }),
          el('option', { value: '', text: 'no goal' }));
        if (!['grid_energy', 'crop_water'].includes(out.figure)) goal.value = '';
        return el('tr', { 'data-name': out.name },
          el('td', {}, el('input', { type: 'checkbox', id, name: `study:${out.name}`,
            ...(['shortfall_days', 'crop_water', 'grid_energy'].includes(out.figure) ? { checked: '' } : {}) })),
          el('th', { scope: 'row' }, el('label', { for: id, title: out.figure, text: out.label })),
          el('td', {}, goal));
      })));
    const constraint = $('st-constraint');
    constraint.replaceChildren(el('option', { value: '', text: 'none' }),
      ...outputs.filter((out) => answerHasShortfall(out)).map((out) =>
        el('option', { value: out.name, text: `no ${out.label.replace(/^Short: /, '')} shortfall days` })));
  }
  const answerHasShortfall = (out) => out.name.endsWith('_days') && out.name !== 'any_shortfall_days' &&
    ctx.current().answer.shortfalls.some((s) => s.name === out.figure);

  // The study file of the panel's choices, or throws what is missing.
  function studyFile() {
    const method = document.querySelector('#study-form input[name="method"]:checked').value;
    const whole = (id, least) => {
      const text = $(id).value.trim();
      if (!/^\d+$/.test(text) || Number(text) < least) throw new Error(`${$(id).labels[0].textContent}: a whole number from ${least}`);
      return Number(text);
    };
    const settings = ctx.readSettings();
    if (!/^\d+$/.test(settings.days)) throw new Error('the days to run are not a whole number');
    const study = { description: 'A design study from the explorer page.', method, days: Number(settings.days),
      seed: whole('st-seed', 0), factors: [], outputs: [] };
    const varied = new Set();
    for (const tr of $('study-factors').querySelectorAll('tbody tr')) {
      const name = tr.dataset.name;
      if (!tr.querySelector('input[type="checkbox"]').checked) continue;
      const [low, high] = [...tr.querySelectorAll('input:not([type])')].map((i) => Number(i.value.trim()));
      if (!Number.isFinite(low) || !Number.isFinite(high) || !(low < high))
        throw new Error(`${tr.querySelector('label').textContent}: the low bound must be a number below the high one`);
      const int = kinds.get(name) === 'int';
      study.factors.push({ name, low: int ? Math.ceil(low) : low, high: int ? Math.floor(high) : high });
      varied.add(name);
    }
    if (!study.factors.length) throw new Error('choose at least one factor');
    // The page's other settings are fixed for every case.
    const set = {}, scale = {};
    for (const [name, value] of settings.sets) {
      if (varied.has(name)) continue;
      const kind = kinds.get(name);
      if (kind === 'text') set[name] = value;
      else if (Number.isFinite(Number(value)) && value.trim() !== '') set[name] = Number(value);
      else throw new Error(`${name}=${value} cannot be written into a study file`);
    }
    for (const [name, factor] of Object.entries(settings.scale))
      if (!varied.has(`scale:${name}`) && Number(factor) !== 1) scale[name] = Number(factor);
    if (Object.keys(set).length) study.set = set;
    if (Object.keys(scale).length) study.scale = scale;
    const goals = [];
    for (const tr of $('study-outputs').querySelectorAll('tbody tr')) {
      const out = outputs.find((o) => o.name === tr.dataset.name);
      const goal = method === 'nsga2' ? tr.querySelector('select').value : '';
      const chosen = tr.querySelector('input').checked;
      const constrained = method === 'nsga2' && $('st-constraint').value === out.name;
      if (chosen || constrained || goal) study.outputs.push({ name: out.name, figure: out.figure });
      if (goal) goals.push({ output: out.name, goal });
    }
    if (!study.outputs.length) throw new Error('choose at least one output');
    if (method === 'morris') {
      study.morris = { trajectories: whole('st-trajectories', 2), levels: whole('st-levels', 2) };
    } else {
      if (goals.length < 2) throw new Error('NSGA-II needs two outputs with a goal');
      study.nsga2 = { population: whole('st-population', 4), generations: whole('st-generations', 1), objectives: goals };
      if ($('st-constraint').value) study.nsga2.constraints = [{ output: $('st-constraint').value, max: 0 }];
    }
    return study;
  }

  function status(text) {
    $('study-status').textContent = text;
  }

  async function run() {
    if (running) return;
    let study;
    try {
      study = studyFile();
    } catch (e) {
      status(`Not started: ${e.message}.`);
      return;
    }
    const text = `${JSON.stringify(study, null, 2)}\n`;
    const request = { plan: ctx.files.plan, scenario: ctx.files.scenario, daily: ctx.files.inputs, study: text,
      source: 'tarvello-study.json' };
    const me = { stopped: false, started: performance.now() };
    running = me;
    $('study-run').disabled = true;
    $('study-stop').disabled = false;
    const bar = $('study-progress');
    bar.value = 0;
    status('Starting the study’s workers…');
    try {
      await pool();
      const begun = await leader.start(request);
      if (!begun.ok) throw new Error(begun.error);
      await Promise.all(workers.map((w) => send(w, { load: request }).then(({ answer }) => {
        if (!answer.ok) throw new Error(answer.error);
      })));
      bar.max = begun.total;
      // Chunks of points to whichever worker is free, so that a stop takes
      // effect after the chunks under way.
      const evaluate = (points, progress) => new Promise((resolve, reject) => {
        const chunk = Math.max(1, Math.min(16, Math.ceil(points.length / workers.length)));
        const out = new Array(points.length);
        let next = 0, busy = 0, done = 0;
        const feed = (w) => {
          if (me.stopped || next >= points.length) {
            if (busy === 0) resolve(me.stopped ? null : out);
            return;
          }
          const first = next;
          next = Math.min(points.length, next + chunk);
          busy++;
          send(workers[w], { evaluate: points.slice(first, next) }).then(({ evaluations }) => {
            busy--;
            evaluations.forEach((e, k) => (out[first + k] = e));
            done += evaluations.length;
            progress(done);
            feed(w);
          }, reject);
        };
        workers.forEach((_, w) => feed(w));
      });
      const tables = await runStudy(leader, evaluate, {
        progress: (done, phase) => {
          if (me.stopped) return;
          bar.value = done;
          status(`${phase}: ${done} of ${begun.total} runs`);
        },
        stopped: () => me.stopped,
      });
      if (!tables) {
        status(`Stopped after ${bar.value} of ${begun.total} runs; nothing of it is kept.`);
        return;
      }
      const seconds = (performance.now() - me.started) / 1000;
      bar.value = bar.max;
      window.tarvello.study = { ms: performance.now() - me.started, cases: begun.total, workers: workers.length };
      result = { study, text, files: new Map(tables.files), summary: tables.summary, method: study.method };
      const cells = Object.keys(ctx.readSettings().cells).length
        ? ' It ran the scenario’s own per-day table: cells edited on the page are not part of a study.' : '';
      status(`${begun.total} runs in ${seconds.toFixed(1)} s on ${workers.length} workers; ${tables.summary}.${cells}`);
      show();
    } catch (e) {
      status(`The study cannot run: ${e.message}`);
      // A worker whose program stopped (a trap) cannot serve again: the
      // next study starts a new pool.
      for (const w of workers.splice(0)) w.terminate();
      for (const pending of waiting.values()) pending.reject(new Error('the study was abandoned'));
      waiting.clear();
    } finally {
      running = null;
      $('study-run').disabled = false;
      $('study-stop').disabled = true;
    }
  }

  function stop() {
    if (!running) return;
    running.stopped = true;
    $('study-stop').disabled = true;
    status('Stopping after the runs under way…');
  }

  // The result: μ* bars for the first output (Morris) or the front of the
  // first two objectives (NSGA-II), a table of the same, the designs a
  // click loads, and the downloads.
  function show() {
    $('study-result').hidden = false;
    chart?.destroy();
    chart = null;
    const s = result.study;
    const label = (name) => {
      const factor = name.startsWith('scale:') ? name.slice(6) : name;
      const plain = labelOf(scenario, plan, factor);
      return name.startsWith('scale:') ? `Scale of ${plain.toLowerCase()}` : plain;
    };
    const outLabel = (name) => outputs.find((o) => o.name === name)?.label || name;
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
    const label = (name) => (name.startsWith('scale:') ? `Scale of ${labelOf(scenario, plan, name.slice(6)).toLowerCase()}`
      : outputs.find((o) => o.name === name)?.label || labelOf(scenario, plan, name));
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
    ctx.applyDesign(values);
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

  for (const radio of document.querySelectorAll('#study-form input[name="method"]'))
    radio.addEventListener('change', () => {
      const nsga = radio.value === 'nsga2' && radio.checked;
      if (!radio.checked) return;
      $('morris-options').hidden = nsga;
      $('nsga2-options').hidden = !nsga;
    });
  $('study-form').addEventListener('submit', (e) => {
    e.preventDefault();
    run();
  });
  $('study-stop').addEventListener('click', stop);
  $('study-shown').addEventListener('change', show);
  // The panel's fields, from the controls as they are when the first run is
  // shown.
  let built = false;
  return {
    ready() {
      if (built || !ctx.current()) return;
      buildForm();
      built = true;
    },
  };
}

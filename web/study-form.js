// The Study panel's form: the factors (each constant of the scenario, each
// value set by name, each per-day column's scale, between bounds), the
// outputs (the run's headline figures) with their goals, the method and its
// options; and the study file that its choices make, as tarvello-run --study
// reads it.
import { $, el } from './dom.js';
import { headlineFigures, labelOf } from './view.js';

// A factor's label: a value's own, or "Scale of ..." for the scale factor of
// a per-day column ("scale:NAME").
export function factorLabel(scenario, plan, name) {
  return name.startsWith('scale:') ? `Scale of ${labelOf(scenario, plan, name.slice(6)).toLowerCase()}`
    : labelOf(scenario, plan, name);
}

// The study's outputs offered: the run's headline figures as the study file
// names them ("figure"), each with a column name of its own in results.csv.
export function figureOutputs(plan, scenario, answer) {
  const columnOf = { count: (f) => (f.endsWith('_days') ? f.slice(0, -5) : `${f}_count`),
    'any-shortfall': () => 'any_shortfall_days', shortfall: (f) => `${f}_days`, level: (f) => `final_${f}` };
  return headlineFigures(scenario, plan, answer).map(({ kind, figure, label }) =>
    ({ figure, name: columnOf[kind](figure), label, kind }));
}

// The page's settings but those varied (names, a per-day column's scale as
// "scale:NAME"), as a study file fixes them for every case: {set, scale},
// each left out when empty; throws for a value no study file can hold.
// kinds: Map name -> kind.
export function fixedSettings(settings, kinds, varied) {
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
  return { ...(Object.keys(set).length ? { set } : {}), ...(Object.keys(scale).length ? { scale } : {}) };
}

// ctx: {description, plan, scenario, columns(), current(), readSettings()}.
// Answers {build(), file(), outputs()}: build() fills the form from the
// controls as they are, file() answers the study file of its choices or
// throws what is missing, outputs() the outputs offered.
export function studyForm(ctx) {
  const { description, plan, scenario } = ctx;
  const kinds = new Map(description.values.map((v) => [v.name, v.kind]));
  let outputs = [];

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
      rows.push({ name, label: factorLabel(scenario, plan, name), value: sets.get(name) ?? String(value),
        bounds: bounds(name, sets.get(name) ?? value) });
    }
    for (const [name, value] of settings.sets)
      if (!(name in (scenario.constants || {})) && kinds.get(name) !== 'text')
        rows.push({ name, label: factorLabel(scenario, plan, name), value, bounds: bounds(name, value) });
    for (const name of ctx.columns())
      if (kinds.get(name) === 'double')
        rows.push({ name: `scale:${name}`, label: factorLabel(scenario, plan, `scale:${name}`),
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
      ...outputs.filter((out) => out.kind === 'shortfall').map((out) =>
        el('option', { value: out.name, text: `no ${out.label.replace(/^Short: /, '')} shortfall days` })));
  }

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
    Object.assign(study, fixedSettings(settings, kinds, varied));
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

  for (const radio of document.querySelectorAll('#study-form input[name="method"]'))
    radio.addEventListener('change', () => {
      const nsga = radio.value === 'nsga2' && radio.checked;
      if (!radio.checked) return;
      $('morris-options').hidden = nsga;
      $('nsga2-options').hidden = !nsga;
    });
  return { build: buildForm, file: studyFile, outputs: () => outputs };
}

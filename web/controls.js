// The Settings form: its fields, generated from the model description, the
// plan and the scenario (the scenario's constants, any value set by name,
// the per-day table and its scale factors), its presets and resets; the
// settings it holds, read and put back; and the host's messages marked at
// the fields they concern.
import { $, el } from './dom.js';
import { showStatus } from './results.js';
import { emptySettings } from './settings.js';
import { columns, constants, notes, page } from './state.js';
import { labelOf, labelsOf, unitOf } from './view.js';

// What a change of the fields calls, with the time of the change.
let changed = () => {};

// A labelled field named by the qualified name of what it sets, with its
// help, its range and a reset to the scenario's value.
function field(id, name, value, { help, reset, extra = [] } = {}) {
  const { scenario, plan } = page;
  const error = el('span', { class: 'error', id: `${id}-error` });
  const input = el('input', { id, name, value, autocomplete: 'off', spellcheck: 'false', inputmode: 'decimal',
    title: name });
  const described = [`${id}-error`];
  const unit = unitOf(scenario, plan, name);
  const parts = [el('label', { for: id, text: labelOf(scenario, plan, name) + (unit ? ` (${unit})` : '') }),
    input];
  const range = (scenario.labels?.[name] || {});
  const bounds = range.min !== undefined && range.max !== undefined ? `Range ${range.min} to ${range.max}.`
    : range.min !== undefined ? `At least ${range.min}.` : range.max !== undefined ? `At most ${range.max}.` : '';
  const hints = [help, bounds].filter(Boolean).join(' ');
  if (hints) {
    parts.push(el('span', { class: 'help', id: `${id}-help`, text: hints }));
    described.push(`${id}-help`);
  }
  if (reset !== undefined) {
    const button = el('button', { type: 'button', class: 'reset', text: 'Reset',
      'aria-label': `Reset ${labelOf(scenario, plan, name)} to ${reset}` });
    button.addEventListener('click', () => {
      input.value = reset;
      changed(performance.now());
    });
    parts.push(button);
  }
  input.setAttribute('aria-describedby', described.join(' '));
  return el('div', { class: 'field' }, ...parts, ...extra, error);
}

function initialText(name) {
  const v = page.values.get(name);
  if (!v || v.initial === null || v.initial === undefined) return v && v.kind === 'text' ? '' : '0';
  return String(v.initial);
}

// Builds the form; onChange(time) is called for every change of its fields.
export function buildControls({ onChange }) {
  const { scenario, plan, table, description } = page;
  changed = onChange;
  $('scenario-text').textContent = scenario.description || '';
  $('daily-text').textContent = notes().get(scenario.daily) || '';

  const box = $('constants');
  for (const [name, value] of constants())
    box.append(field(`f-${name}`, name, String(value), { help: notes().get(name), reset: String(value) }));

  const presets = Object.entries(scenario.presets || {});
  // The presets' line stands from the start (a scenario without presets
  // hides it), so that the fields below it do not move.
  $('presets').hidden = !presets.length;
  if (presets.length) {
    const menu = $('preset');
    for (const [name] of presets) menu.append(el('option', { value: name, text: name }));
    $('apply-preset').addEventListener('click', () => {
      const chosen = new Map(presets).get(menu.value);
      if (!chosen) return;
      resetAll();
      for (const [name, value] of Object.entries(chosen.constants || {}))
        if ($(`f-${name}`)) $(`f-${name}`).value = String(value);
        else addValue(name, String(value));
      for (const [name, factor] of Object.entries(chosen.scale || {}))
        if ($(`s-${name}`)) $(`s-${name}`).value = String(factor);
      showStatus(chosen.description || `Preset ${menu.value} applied.`);
      changed(performance.now());
    });
  }

  const t = $('daily');
  t.append(el('caption', { text: 'Per-day input table' }));
  const head = el('thead');
  head.append(el('tr', {}, el('th', { scope: 'col', text: 'Day' }),
    ...columns().map((name) => el('th', { scope: 'col', title: name, text: labelOf(scenario, plan, name) }))));
  head.append(el('tr', {}, el('th', { scope: 'row', text: 'Scale factor' }),
    ...columns().map((name) => el('td', {}, el('input', {
      id: `s-${name}`, name: `scale:${name}`, value: '1', inputmode: 'decimal', autocomplete: 'off',
      'aria-label': `Scale factor of ${labelOf(scenario, plan, name)}`,
    })))));
  t.append(head);
  const body = el('tbody');
  for (const row of table.rows)
    body.append(el('tr', {}, el('th', { scope: 'row', text: row[0] }),
      ...columns().map((name, c) => el('td', {}, el('input', {
        id: `c-${row[0]}-${name}`, name: `${name}@${row[0]}`, value: row[c + 1], inputmode: 'decimal',
        autocomplete: 'off', 'aria-label': `${labelOf(scenario, plan, name)} from day ${row[0]}`,
        'data-original': row[c + 1],
      })))));
  t.append(body);

  // The thousand names the search suggests are listed once it is first
  // used, not while the page starts.
  $('f-search').addEventListener('focus', () =>
    $('value-names').append(...description.values.map((v) => el('option', { value: v.name }))), { once: true });
  $('add-value').addEventListener('click', () => addValue($('f-search').value.trim()));
  $('f-search').addEventListener('keydown', (e) => {
    if (e.key === 'Enter') {
      e.preventDefault();
      addValue($('f-search').value.trim());
    }
  });
  $('controls').addEventListener('submit', (e) => e.preventDefault());
  $('controls').addEventListener('input', (e) => {
    if (e.target.id !== 'f-search' && e.target.id !== 'preset') changed(e.timeStamp);
  });
  $('reset-all').addEventListener('click', () => {
    resetAll();
    changed(performance.now());
  });
}

// The scenario's own values everywhere.
function resetAll() {
  applySettings(emptySettings());
}

// A field for any value of the description, set after the scenario.
function addValue(name, value) {
  const search = $('f-search');
  const error = $('f-search-error');
  if (!page.values.has(name)) {
    search.setAttribute('aria-invalid', 'true');
    error.textContent = name ? `no value is named ${name}` : 'type a qualified name';
    // The names the host would offer, added when the worker answers, unless
    // the box has changed since.
    if (name) page.worker.ask({ nearest: { name, labels: labelsOf(page.scenario, page.plan) } }).then((reply) => {
      if (reply.names?.length && search.value.trim() === name && error.textContent === `no value is named ${name}`)
        error.textContent = `no value is named ${name} (nearest: ${reply.names.join(', ')})`;
    });
    return null;
  }
  search.removeAttribute('aria-invalid');
  error.textContent = '';
  const id = `f-${name}`;
  if ($(id)) {
    if (value !== undefined) $(id).value = value;
    else $(id).focus();
    return $(id);
  }
  const v = page.values.get(name);
  const remove = el('button', { type: 'button', class: 'remove', text: 'Remove', 'aria-label': `Remove ${name}` });
  const f = field(id, name, value ?? initialText(name), { help: `${name}: ${v.kind}, ${v.category} of ${v.process}`,
    extra: [remove] });
  f.dataset.extra = 'true';
  remove.addEventListener('click', () => {
    f.remove();
    search.focus();
    changed(performance.now());
  });
  $('extra').append(f);
  if (value === undefined) {
    search.value = '';
    $(id).focus();
    changed(performance.now());
  }
  return $(id);
}

// The settings that the fields hold now.
export function readSettings() {
  const s = emptySettings();
  s.days = $('f-days').value.trim();
  for (const [name, value] of constants()) {
    const text = $(`f-${name}`).value;
    if (text !== String(value)) s.sets.push([name, text]);
  }
  for (const f of $('extra').querySelectorAll('input')) s.sets.push([f.name, f.value]);
  for (const name of columns()) {
    const factor = $(`s-${name}`).value.trim();
    if (factor !== '1') s.scale[name] = factor;
  }
  for (const input of $('daily').querySelectorAll('tbody input'))
    if (input.value !== input.dataset.original) {
      const [name, day] = input.name.split('@');
      s.cells[`${day}:${name}`] = input.value;
    }
  return s;
}

// Puts settings into the fields.
export function applySettings(s) {
  $('f-days').value = s.days;
  for (const f of [...$('extra').children]) f.remove();
  const sets = new Map(s.sets);
  for (const [name, value] of constants()) $(`f-${name}`).value = sets.has(name) ? sets.get(name) : String(value);
  for (const [name, value] of s.sets) if (!constants().has(name)) addValue(name, value);
  for (const name of columns()) $(`s-${name}`).value = s.scale[name] ?? '1';
  for (const input of $('daily').querySelectorAll('tbody input')) {
    const [name, day] = input.name.split('@');
    const key = `${day}:${name}`;
    input.value = key in s.cells ? s.cells[key] : input.dataset.original;
  }
}

// A design of a study into the fields: its factors' values, a scale factor
// for "scale:NAME".
export function applyDesign(design) {
  for (const [name, text] of design) {
    if (name.startsWith('scale:')) $(`s-${name.slice(6)}`).value = text;
    else if ($(`f-${name}`)) $(`f-${name}`).value = text;
    else addValue(name, text);
  }
  changed(performance.now());
}

// Whether a field holds a value that the host refused.
export const anyFieldRefused = () => !!document.querySelector('#controls input[aria-invalid="true"]:not(#f-search)');

export function clearErrors() {
  for (const input of document.querySelectorAll('#controls input[aria-invalid]')) {
    if (input.id === 'f-search') continue;
    input.removeAttribute('aria-invalid');
    $(`${input.id}-error`)?.replaceChildren();
  }
}

// Marks the field at fault with the message.
export function markError(input, message) {
  input.setAttribute('aria-invalid', 'true');
  let error = $(`${input.id}-error`);
  if (!error) {
    error = el('span', { class: 'error', id: `${input.id}-error` });
    input.after(error);
    input.setAttribute('aria-describedby', error.id);
  }
  error.textContent = message;
}

// The page's settings and what they become: the run request, the address
// (#days=730&set=NAME=VALUE&scale=NAME=FACTOR&cell=DAY:NAME=VALUE&base.days=...), the
// per-day table and the scenario file. Shared by the page and the tests.
import { csvLine } from './csv.js';

// Empty settings: the default year.
// scale and cells are keyed by names from the address: objects without a
// prototype, so that no name (toString, __proto__) reaches an inherited one.
export function emptySettings() {
  return { days: '365', sets: [], scale: Object.create(null), cells: Object.create(null) };
}

// The per-day table (as csvTable() reads it) with the edits of the settings:
// a cell's own text where it was edited. A column that a set fixes is left
// out, as --set leaves it. Scales are not applied here: the engine applies
// them (--scale), so the page and the command line multiply alike.
export function dailyTable(table, settings) {
  const fixed = new Set(settings.sets.map(([name]) => name));
  const keep = table.header.map((name, c) => c === 0 || !fixed.has(name));
  const rows = table.rows.map((row) =>
    row.map((text, c) => {
      if (c === 0) return text;
      const key = `${row[0]}:${table.header[c]}`;
      return key in settings.cells ? settings.cells[key] : text;
    }),
  );
  const pick = (fields) => csvLine(fields.filter((_, c) => keep[c]));
  return [pick(table.header), ...rows.map(pick)].join('\n') + '\n';
}

// Whether the settings change the per-day table's cells.
export function editsTable(settings) {
  return Object.keys(settings.cells).length > 0;
}

// The scales that change anything, as --scale takes them: NAME=FACTOR.
export function scales(settings) {
  return Object.entries(settings.scale)
    .filter(([, factor]) => Number(factor) !== 1)
    .map(([name, factor]) => `${name}=${factor}`);
}

// The engine's request for these settings.
export function request(files, table, settings, csv = false) {
  const r = {
    description: files.description,
    plan: files.plan,
    scenario: files.scenario,
    days: settings.days,
    set: settings.sets.map(([name, value]) => `${name}=${value}`),
    scale: scales(settings),
    csv,
  };
  if (editsTable(settings)) r.daily = dailyTable(table, settings);
  else r.daily = files.inputs;
  return r;
}

// The address's fragment: the settings, the pinned baseline's under "base."
// (base.days=N&base.set=...), then the parts that could not be applied, as
// they came, so that nothing of a shared address is lost until the user
// removes it.
export function toHash(settings, baseline = null, kept = []) {
  const e = encodeURIComponent;
  const parts = [];
  const add = (prefix, s) => {
    parts.push(`${prefix}days=${e(s.days)}`);
    for (const [name, value] of s.sets) parts.push(`${prefix}set=${e(name)}=${e(value)}`);
    for (const [name, factor] of Object.entries(s.scale))
      if (Number(factor) !== 1) parts.push(`${prefix}scale=${e(name)}=${e(factor)}`);
    for (const [key, value] of Object.entries(s.cells)) parts.push(`${prefix}cell=${e(key)}=${e(value)}`);
  };
  add('', settings);
  if (baseline) add('base.', baseline);
  parts.push(...kept);
  return '#' + parts.join('&');
}

function decode(text) {
  try {
    return decodeURIComponent(text);
  } catch {
    return null;
  }
}

// The settings of an address. shape: {values: the description's values by
// name (a Map), columns: the per-day columns' names (a Set), days: the per-day
// table's days as texts (a Set)}. Answers {settings, baseline (null when the
// address pins none), problems: [{part, message, set?}]}: each part that
// cannot be applied, as it stands in the address, with the reason; `set` is
// the NAME=VALUE of an unknown name, for the host's own message.
export function fromHash(hash, shape) {
  const found = { '': emptySettings(), 'base.': null };
  const problems = [];
  for (const part of hash.replace(/^#/, '').split('&')) {
    if (part === '') continue;
    const refuse = (message, extra = {}) => problems.push({ part, message, ...extra });
    const eq = part.indexOf('=');
    const rawKey = eq < 0 ? part : part.slice(0, eq);
    const prefix = rawKey.startsWith('base.') ? 'base.' : '';
    const key = rawKey.slice(prefix.length);
    if (!['days', 'set', 'scale', 'cell'].includes(key) || eq < 0) {
      refuse(`not a setting of this page (days=, set=, scale=, cell=, each also after base.)`);
      continue;
    }
    const rest = part.slice(eq + 1);
    const s = (found[prefix] ??= emptySettings());
    if (key === 'days') {
      const days = decode(rest);
      if (days === null) refuse('malformed percent-escape');
      else s.days = days;
      continue;
    }
    const at = rest.indexOf('=');
    if (at < 0) {
      refuse(`expected ${key}=${key === 'cell' ? 'DAY:NAME' : 'NAME'}=VALUE`);
      continue;
    }
    const name = decode(rest.slice(0, at));
    const value = decode(rest.slice(at + 1));
    if (name === null || value === null) {
      refuse('malformed percent-escape');
      continue;
    }
    if (key === 'set') {
      if (!shape.values.has(name)) refuse(null, { set: `${name}=${value}` });
      else s.sets = [...s.sets.filter(([n]) => n !== name), [name, value]];
    } else if (key === 'scale') {
      if (!shape.columns.has(name)) refuse(`no per-day column is named ${name}`);
      else s.scale[name] = value;
    } else {
      const colon = name.indexOf(':');
      const day = name.slice(0, colon), column = name.slice(colon + 1);
      if (colon < 0) refuse('expected cell=DAY:NAME=VALUE');
      else if (!shape.columns.has(column)) refuse(`no per-day column is named ${column}`);
      else if (!shape.days.has(day)) refuse(`the per-day table has no row for day ${day}`);
      else s.cells[name] = value;
    }
  }
  return { settings: found[''], baseline: found['base.'], problems };
}

// The command line that writes the same CSV as the page's Download CSV.
export function commandLine(settings) {
  const quote = (t) => (/^[A-Za-z0-9_.=+\-]+$/.test(t) ? t : `'${t.replace(/'/g, "'\\''")}'`);
  const args = ['tarvello-run', '--days', settings.days];
  for (const [name, value] of settings.sets) args.push('--set', quote(`${name}=${value}`));
  for (const scale of scales(settings)) args.push('--scale', quote(scale));
  if (editsTable(settings)) args.push('--input', 'tarvello-inputs.csv');
  args.push('--out', '-');
  return args.join(' ');
}

// A scenario file that tarvello-run --scenario reads back to the same run
// (with the command line's --scale options: a scenario holds no scales):
// the sets become constants (a set of a per-day column takes that column
// out of the table, which dailyTable() does), the table is tarvello-inputs.csv.
// Throws an Error for a value that JSON cannot hold (inf, nan).
export function scenarioFile(files, description, settings) {
  const doc = JSON.parse(files.scenario);
  doc.constants = { ...(doc.constants || {}) };
  const kinds = new Map(description.values.map((v) => [v.name, v.kind]));
  for (const [name, text] of settings.sets) {
    const kind = kinds.get(name);
    if (kind === 'text') doc.constants[name] = text;
    else {
      const value = Number(text);
      if (!Number.isFinite(value)) throw new Error(`${name}=${text} cannot be written in a scenario file`);
      doc.constants[name] = value;
    }
  }
  doc.daily = 'tarvello-inputs.csv';
  return JSON.stringify(doc, null, 2) + '\n';
}

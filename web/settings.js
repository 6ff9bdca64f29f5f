// The page's settings and what they become: the run request, the address
// (#days=730&set=NAME=VALUE&scale=NAME=FACTOR&cell=DAY:NAME=VALUE), the
// per-day table and the scenario file. Shared by the page and the tests.

// A CSV table without quoted fields (the per-day inputs): header and rows of texts.
export function parseTable(text) {
  const lines = text.split(/\r?\n/).filter((line) => line !== '');
  return { header: lines[0].split(','), rows: lines.slice(1).map((line) => line.split(',')) };
}

// Empty settings: the default year.
export function emptySettings() {
  return { days: '365', sets: [], scale: {}, cells: {} };
}

// The per-day table with the edits of the settings: a cell's own text where
// it was edited. A column that a set fixes is left out, as --set leaves it.
// Scales are not applied here: the engine applies them (--scale), so the page
// and the command line multiply alike.
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
  const pick = (fields) => fields.filter((_, c) => keep[c]).join(',');
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

// The address's fragment for the settings, and back.
export function toHash(settings) {
  const e = encodeURIComponent;
  const parts = [`days=${e(settings.days)}`];
  for (const [name, value] of settings.sets) parts.push(`set=${e(name)}=${e(value)}`);
  for (const [name, factor] of Object.entries(settings.scale))
    if (Number(factor) !== 1) parts.push(`scale=${e(name)}=${e(factor)}`);
  for (const [key, value] of Object.entries(settings.cells)) parts.push(`cell=${e(key)}=${e(value)}`);
  return '#' + parts.join('&');
}

export function fromHash(hash) {
  const s = emptySettings();
  for (const part of hash.replace(/^#/, '').split('&')) {
    if (part === '') continue;
    const eq = part.indexOf('=');
    const key = eq < 0 ? part : part.slice(0, eq);
    const rest = eq < 0 ? '' : part.slice(eq + 1);
    const split = () => {
      const at = rest.indexOf('=');
      return at < 0 ? null : [decodeURIComponent(rest.slice(0, at)), decodeURIComponent(rest.slice(at + 1))];
    };
    if (key === 'days') s.days = decodeURIComponent(rest);
    else if (key === 'set' && split()) {
      const [name, value] = split();
      s.sets = s.sets.filter(([n]) => n !== name);
      s.sets.push([name, value]);
    } else if (key === 'scale' && split()) s.scale[split()[0]] = split()[1];
    else if (key === 'cell' && split()) s.cells[split()[0]] = split()[1];
  }
  return s;
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

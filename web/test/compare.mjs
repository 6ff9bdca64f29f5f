// The page's numbers are the native ones: runs the WebAssembly program under
// node for a handful of settings and compares its CSV with tarvello-run's,
// byte for byte, and its summary and error messages with the host's. All the
// cases run in one instance, returned to its load-time state before each run,
// and the first run is repeated at the end bit for bit.
// Usage: node web/test/compare.mjs SITE_DIR TARVELLO_RUN
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { Engine } from '../engine.js';
import { csvTable } from '../csv.js';
import { dailyTable, editsTable, emptySettings, request, scales } from '../settings.js';
import { labelsOf } from '../view.js';

const [site, native] = process.argv.slice(2);
if (!site || !native) {
  console.error('usage: node compare.mjs SITE_DIR TARVELLO_RUN');
  process.exit(2);
}
const read = (name) => readFileSync(join(site, name), 'utf8');
const files = {
  description: read('TarvelloDemoSite.json'),
  plan: read('plan.json'),
  scenario: read('scenario.json'),
  inputs: read('inputs.csv'),
};
const table = csvTable(files.inputs);
const engine = await Engine.create(createRequire(import.meta.url)(join(process.cwd(), site, 'tarvello.js')),
  await WebAssembly.compile(readFileSync(join(site, 'tarvello.wasm'))), files.description);
const scratch = mkdtempSync(join(tmpdir(), 'tarvello-compare-'));

const settings = (change) => ({ ...emptySettings(), ...change });
const cases = [
  ['the default year', settings({})],
  ['a changed constant', settings({ sets: [['percentReuse_B1_Water_P1_WasteWater', '0.8']] })],
  ['a changed per-day column and cell', settings({
    scale: { qttWater_B1_Water_P1_CleanWater: '0.7' },
    cells: { '182:qttEnergy_B1_Energy_P1_Energy': '3.3' },
  })],
  ['scaled per-day columns', settings({
    scale: { qttEnergy_B1_Energy_P1_Energy: '1.37', dayliWaterNeeded_B1_Food_P1_Crop: '0.1' },
  })],
  ['a scale that is not a number', settings({ scale: { qttEnergy_B1_Energy_P1_Energy: '0x10' } })],
  ['a scale of a value that is no per-day column', settings({
    scale: { percentReuse_B1_Water_P1_WasteWater: '2' },
  })],
  ['ten years', settings({ days: '3650' })],
  ['a hundred years with an int, a per-day column and a text set', settings({
    days: '36500',
    sets: [['fertilizerLevel_B1_Food_P1_Crop', '35'], ['dayliWaterNeeded_B1_Food_P1_Crop', '7.25'],
      ['current_year_B1_Environment_P1_Environment', '-3'],
      ['epw_file_B1_Environment_P1_Environment', 'a "quoted", text']],
  })],
  ['a name part for a name', settings({ sets: [['percentReuse', '0.5']] })],
  ['a label for a name', settings({ sets: [['Share of waste water reused', '0.5']] })],
  ['a word for a number', settings({ sets: [['percentReuse_B1_Water_P1_WasteWater', 'half']] })],
  ['1.5 for an int', settings({ sets: [['current_year_B1_Environment_P1_Environment', '1.5']] })],
  // Doubles as --set reads them, accepted or refused as natively.
  ...['+0.25', '-0', '.5', '5.', '1e-3', 'nan', '-inf', 'Infinity', '4.9e-324', ' 0.5', '0.5 ', '0x10', '++1', '1e',
    '1e999', '-1e999', '1e-999', ''].map((text) =>
    [`the double '${text}'`, settings({ days: '30', sets: [['percentReuse_B1_Water_P1_WasteWater', text]] })]),
];

let failed = 0;
let firstCsv = null;
// The linked-in table holds exactly the library's exports: as many as the
// tests' own list names (every one that the description names is bound at
// each run, so none is missing).
const expected = readFileSync(new URL('../../tests/data/expected_exports.txt', import.meta.url), 'utf8')
  .split('\n').filter((line) => line.trim() !== '' && !line.startsWith('#')).length;
const linked = engine.m._tds_web_exports();
if (linked !== expected) {
  console.log(`FAIL the program links ${linked} exports, the library has ${expected}`);
  failed++;
} else console.log(`ok   the program links the library's ${linked} exports`);
for (const [what, s] of cases) {
  const args = ['--days', s.days];
  for (const [name, value] of s.sets) args.push('--set', `${name}=${value}`);
  for (const scale of scales(s)) args.push('--scale', scale);
  if (editsTable(s)) {
    writeFileSync(join(scratch, 'inputs.csv'), dailyTable(table, s));
    args.push('--input', join(scratch, 'inputs.csv'));
  }
  const host = spawnSync(native, [...args, '--out', '-'], { encoding: 'buffer', maxBuffer: 1 << 28 });
  const started = performance.now();
  const answer = engine.run(request(files, table, s, true));
  const ms = performance.now() - started;
  const problems = [];
  if (host.status !== 0) {
    const message = host.stderr.toString().trim().replace(/^tarvello-run: /, '');
    if (answer.ok) problems.push(`the host failed (${message}), the page ran`);
    else if (answer.error !== message) problems.push(`messages differ: host "${message}", page "${answer.error}"`);
  } else if (!answer.ok) {
    problems.push(`the page failed: ${answer.error}`);
  } else {
    const ours = Buffer.from(answer.csv, 'utf8');
    if (!ours.equals(host.stdout)) {
      const a = host.stdout.toString().split('\n'), b = answer.csv.split('\n');
      const line = a.findIndex((l, i) => l !== b[i]);
      problems.push(`CSV differs at line ${line + 1}: host "${a[line]}", page "${b[line]}"`);
    }
    const summary = host.stderr.toString().split('\n').slice(1).join('\n');
    if (summary !== answer.summary) problems.push(`summaries differ:\n${summary}\n---\n${answer.summary}`);
  }
  failed += problems.length > 0;
  console.log(`${problems.length ? 'FAIL' : 'ok  '} ${what} (${host.stdout.length} bytes, ${ms.toFixed(0)} ms in wasm)`);
  for (const p of problems) console.log(`     ${p}`);
  firstCsv ??= answer.csv;
}
// After every other case, the first run again in the same instance: the same
// bytes, or the restore left some state behind.
{
  const again = engine.run(request(files, table, cases[0][1], true));
  const same = again.ok && again.csv === firstCsv;
  failed += !same;
  console.log(`${same ? 'ok  ' : 'FAIL'} the first run repeated in the same instance, bit for bit`);
  // What a run costs beyond the model's days: the restore, the request, the
  // plan and scenario read; a one-day run is nearly all of it.
  const started = performance.now();
  for (let i = 0; i < 20; i++) engine.run(request(files, table, settings({ days: '1' })));
  console.log(`     a one-day run takes ${((performance.now() - started) / 20).toFixed(1)} ms; ` +
    `${(engine.savedBytes() / 1024).toFixed(0)} kB restored before each run`);
}
// The per-day table with every field in quotes reads as the plain one; a
// cell that holds quotes and a comma is written in quotes and reads back as
// itself, its row as wide as the header.
{
  const quote = (line) => line.split(',').map((f) => `"${f.replace(/"/g, '""')}"`).join(',');
  const quoted = csvTable(files.inputs.split('\n').map((line) => (line ? quote(line) : line)).join('\n'));
  const text = 'a "b", c';
  const written = csvTable(dailyTable(table, settings({ cells: { [`${table.rows[1][0]}:${table.header[1]}`]: text } })));
  const same = JSON.stringify(quoted) === JSON.stringify(table) && written.rows[1][1] === text &&
    written.rows[1].length === table.header.length;
  failed += !same;
  console.log(`${same ? 'ok  ' : 'FAIL'} the per-day table read and written with quoted fields`);
}
// The search box's nearest names, with the labels the page shows: the
// host's for --set.
for (const typed of ['waterTank', 'qttenergy', 'Share of waste water reused', 'wterTank_B1_Food_P1_Crop']) {
  const host = spawnSync(native, ['--set', `${typed}=1`], { encoding: 'utf8' });
  const offered = host.stderr.trim().split(' (nearest: ')[1]?.slice(0, -1);
  const ours = engine.nearest(typed, labelsOf(JSON.parse(files.scenario), JSON.parse(files.plan)));
  const same = Array.isArray(ours) && ours.join(', ') === offered;
  failed += !same;
  console.log(`${same ? 'ok  ' : 'FAIL'} the names nearest to '${typed}' are the host's`);
  if (!same) console.log(`     host: ${offered}\n     page: ${JSON.stringify(ours)}`);
}
rmSync(scratch, { recursive: true, force: true });
if (failed) {
  console.log(`${failed} of ${cases.length} cases differ from tarvello-run`);
  process.exit(1);
}
console.log(`all ${cases.length} cases match tarvello-run byte for byte`);

// The page's design studies are the command line's: runs the example study
// files (small) and variants of them through the WebAssembly study program
// under node, led by one instance and evaluated in another, and compares every
// table with `tarvello-run --study`'s files byte for byte, and a bad study's
// message with the host's.
// Usage: node web/test/study-compare.mjs SITE_DIR TARVELLO_RUN DOCS_DIR
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { Engine, StudyLeader } from '../engine.js';
import { runStudy } from '../study.js';

const [site, native, docs] = process.argv.slice(2);
if (!site || !native || !docs) {
  console.error('usage: node study-compare.mjs SITE_DIR TARVELLO_RUN DOCS_DIR');
  process.exit(2);
}
const read = (name) => readFileSync(join(site, name), 'utf8');
const files = { plan: read('plan.json'), scenario: read('scenario.json'), daily: read('inputs.csv') };
const factory = createRequire(import.meta.url)(join(process.cwd(), site, 'tarvello-study.js'));
const wasm = await WebAssembly.compile(readFileSync(join(site, 'tarvello-study.wasm')));
const description = read('TarvelloDemoSite.json');
const leader = new StudyLeader(await Engine.create(factory, wasm, description));
const evaluator = await Engine.create(factory, wasm, description);
const scratch = mkdtempSync(join(tmpdir(), 'tarvello-study-compare-'));

// Small enough to run in seconds, large enough to exercise every part (as
// the command line's own checks run them).
const SMALL = { morris: { trajectories: 3 }, sobol: { n: 8, resamples: 50 }, lhs: { samples: 12, best: 3 },
  nsga2: { population: 8, generations: 3 } };
const small = (study, change = {}) => {
  const s = { ...structuredClone(study), ...change };
  s[s.method] = { ...(s[s.method] || {}), ...SMALL[s.method] };
  if (s.futures?.count) s.futures.count = Math.min(s.futures.count, 10);
  return s;
};
// The examples, but those that name files beside them (a designs or a
// futures file, recorded years): the page's program reads no files.
const examples = readdirSync(join(docs, 'studies')).filter((n) => n.endsWith('.json')).sort()
  .map((name) => [name, JSON.parse(readFileSync(join(docs, 'studies', name), 'utf8'))])
  .filter(([name, study]) => {
    const names = /"[^"]*\.csv"/.test(JSON.stringify(study));
    if (names) console.log(`skip ${name} (it names files beside it, which the page cannot read)`);
    return !names;
  });
const morris = new Map(examples).get('morris-shortfalls.json');
// A robust study without levers: one design, 20 futures of three per-day
// columns, with settings fixed and thresholds that some futures miss.
const ONE_DESIGN = {
  method: 'robust', days: 365, seed: 5,
  uncertainties: ['qttEnergy_B1_Energy_P1_Energy', 'dayliWaterNeeded_B1_Food_P1_Crop', 'qttWater_B1_Water_P1_CleanWater']
    .map((name) => ({ name: `scale:${name}`, low: 0.8, high: 1.2 })),
  futures: { sample: 'lhs', count: 20 },
  outputs: [{ name: 'crop_water_days', figure: 'crop_water' }, { name: 'any_shortfall_days', figure: 'shortfall_days' }],
  set: { percentReuse_B1_Water_P1_WasteWater: 0.6 },
  robust: { thresholds: [{ output: 'crop_water_days', max: 45 }] },
};
const studies = [
  ...examples.map(([name, study]) => [name, small(study)]),
  ['an lhs study of ten-day runs', small({ ...morris, method: 'lhs', days: 10, morris: undefined,
    lhs: { objective: { output: 'any_shortfall_days', goal: 'minimise' } } })],
  ['a morris study with fixed values and scales', small({ ...morris, factors: morris.factors.slice(0, 4),
    set: { current_year_B1_Environment_P1_Environment: -3, epw_file_B1_Environment_P1_Environment: 'a "quoted", text' },
    scale: { qttEnergy_B1_Energy_P1_Energy: 1.37 } })],
  ['a robust study of one design, the plan as set, as the Futures view writes it', ONE_DESIGN],
  ['the same without thresholds', { ...ONE_DESIGN, robust: undefined }],
];
const bad = [
  ['a study of one design given samples', { ...ONE_DESIGN, robust: { ...ONE_DESIGN.robust, samples: 3 } }],
  ['an unknown factor', small({ ...morris, factors: [{ name: 'percentReuse_B1_Water', low: 0, high: 1 }] })],
  ['bounds reversed', small({ ...morris, factors: [{ name: 'percentReuse_B1_Water_P1_WasteWater', low: 2, high: 1 }] })],
  ['a study that is no JSON', '{"method": "morris",'],
];

let failed = 0, compared = 0;
const report = (ok, what, problems = []) => {
  failed += !ok;
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  for (const p of problems) console.log(`     ${p}`);
};
const source = (i) => `study${i}.json`;
let i = 0;
for (const [what, study] of [...studies, ...bad]) {
  const text = typeof study === 'string' ? study : JSON.stringify(study);
  const name = source(++i);
  writeFileSync(join(scratch, name), text);
  const host = spawnSync(resolve(native), ['--quiet', '--study', name, '--out', `out${i}`, '--jobs', '1'],
    { cwd: scratch, encoding: 'utf8' });
  const request = { ...files, study: text, source: name };
  const started = performance.now();
  const begun = leader.start(request);
  let tables = null, error = null;
  try {
    if (!begun.ok) throw new Error(begun.error);
    if (!evaluator.loadStudy(request).ok) throw new Error('the evaluator cannot read the study');
    tables = await runStudy(leader, (points) => evaluator.evaluate(points));
  } catch (e) {
    error = e.message;
  }
  const ms = performance.now() - started;
  const problems = [];
  const refused = i > studies.length;
  if ((host.status !== 0) !== refused) problems.push(`the host ${refused ? 'ran' : 'failed'}: ${host.stderr.trim()}`);
  if (host.status !== 0) {
    const message = host.stderr.trim().replace(/^tarvello-run: /, '');
    if (error === null) problems.push(`the host failed (${message}), the page ran`);
    else if (error !== message) problems.push(`messages differ: host "${message}", page "${error}"`);
  } else if (error !== null) {
    problems.push(`the page failed: ${error}`);
  } else {
    const theirs = readdirSync(join(scratch, `out${i}`)).filter((n) => n.endsWith('.csv') || n === 'optim.out').sort();
    const ours = tables.files.map(([n]) => n).sort();
    if (theirs.join() !== ours.join()) problems.push(`files differ: host ${theirs.join(' ')}, page ${ours.join(' ')}`);
    for (const [file, text] of tables.files) {
      if (!theirs.includes(file)) continue;
      compared++;
      const expected = readFileSync(join(scratch, `out${i}`, file));
      if (!Buffer.from(text, 'utf8').equals(expected)) {
        const a = expected.toString().split('\n'), b = text.split('\n');
        const line = a.findIndex((l, k) => l !== b[k]);
        problems.push(`${file} differs at line ${line + 1}: host "${a[line]}", page "${b[line]}"`);
      }
    }
  }
  report(problems.length === 0, `${what} (${ms.toFixed(0)} ms in wasm${tables ? `; ${tables.summary}` : ''})`, problems);
}
rmSync(scratch, { recursive: true, force: true });
if (failed) {
  console.log(`${failed} of ${i} studies differ from tarvello-run --study`);
  process.exit(1);
}
console.log(`all ${i} studies match tarvello-run --study: ${compared} tables byte for byte, ${bad.length} messages`);

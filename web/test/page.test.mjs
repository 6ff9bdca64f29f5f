// The page in a real headless Chromium. A visitor's path: the default year
// drawn, a constant changed in its field giving the host's summary, the
// downloaded CSV equal to tarvello-run's bytes (and the downloaded scenario
// read back by it to the same run), a baseline pinned by keyboard and shared
// by its address, a bad value marked with the host's message while the last
// run stays. Then addresses with parts that cannot be applied, cells and
// scale factors refused as the host refuses them, the phone layout, the
// keyboard's reach, and a burst of typing superseded with the download
// matching the screen; a design study from the panel against the command
// line's, stopped, and a design of it loaded; the futures of the design on
// screen: the study file they ran, downloaded, gives tarvello-run's tables,
// their bands and spreads NumPy's percentiles of the command line's sweep of
// them, with thresholds and where the design misses them in words. No console errors, no axe-core violations at either
// size. It reports the page's speed and keeps screenshots.
// Environment: TDS_SITE (the built site), TDS_HOST (tarvello-run), TDS_OUT
// (where the screenshot and the measurements go), CHROMIUM (the browser).
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { createRequire } from 'node:module';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { chromium } from 'playwright-core';
import { serve } from '../serve.mjs';

const site = process.env.TDS_SITE;
const host = process.env.TDS_HOST;
const out = process.env.TDS_OUT;
const executablePath = process.env.CHROMIUM || '/usr/lib/chromium/chromium';
assert.ok(site && host && out, 'set TDS_SITE, TDS_HOST and TDS_OUT');
mkdirSync(out, { recursive: true });

const REUSE = 'percentReuse_B1_Water_P1_WasteWater';
const YEAR = 'current_year_B1_Environment_P1_Environment';

// tarvello-run's CSV, its summary (after the line with the time) and its message.
function tarvelloRun(args, cwd = undefined) {
  const r = spawnSync(host, [...args, '--out', '-'], { encoding: 'buffer', maxBuffer: 1 << 28, cwd });
  const err = r.stderr.toString();
  return { status: r.status, csv: r.stdout, summary: err.split('\n').slice(1).join('\n'),
    message: err.trim().replace(/^tarvello-run: /, '') };
}

let server, browser, address;
before(async () => {
  server = await serve(site, 0);
  address = `http://127.0.0.1:${server.address().port}/`;
  browser = await chromium.launch({
    executablePath,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
});
after(async () => {
  await browser?.close();
  server?.close();
});

// A page that records console errors, the bytes of every response and,
// from its start, its cumulative layout shift: the sum of the layout shifts
// the browser reports, but those that follow the user's input.
async function open(url, options = { viewport: { width: 1366, height: 768 } }) {
  const page = await browser.newPage(options);
  await page.addInitScript(() => {
    window.layoutShift = 0;
    new PerformanceObserver((list) => {
      for (const e of list.getEntries()) if (!e.hadRecentInput) window.layoutShift += e.value;
    }).observe({ type: 'layout-shift', buffered: true });
  });
  const problems = [];
  const bodies = [];
  page.on('console', (m) => m.type() === 'error' && problems.push(m.text()));
  page.on('pageerror', (e) => problems.push(e.message));
  page.on('requestfinished', (r) => bodies.push(r.sizes().then((s) => s.responseBodySize, () => 0)));
  await page.goto(url);
  await page.waitForFunction(() => window.tarvello && window.tarvello.runs > 0, null, { timeout: 20000 });
  return { page, problems, bodies };
}

// Does something that reruns the page and waits until the run (or its
// refusal) is done.
async function rerun(page, action) {
  const before = await page.evaluate(() => window.tarvello.runs + window.tarvello.errors);
  await action();
  await page.waitForFunction((n) => window.tarvello.runs + window.tarvello.errors > n, before, { timeout: 20000 });
}

const summaryText = (page) =>
  page.$eval('#summary-text', (e) => e.textContent.split('\n').slice(1).join('\n'));

async function axeViolations(page) {
  await page.addScriptTag({ path: createRequire(import.meta.url).resolve('axe-core/axe.min.js') });
  const axe = await page.evaluate(() =>
    window.axe.run(document, { runOnly: { type: 'tag', values: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa'] } }));
  return axe.violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target).join(' ')}`);
}
const measured = {};

test('a visitor explores, compares, shares and downloads the year', async () => {
  const { page, problems, bodies } = await open(address);
  measured.firstChartMs = await page.evaluate(() => window.tarvello.firstChart);
  const plan = JSON.parse(readFileSync(join(site, 'plan.json'), 'utf8'));
  assert.equal(await page.locator('#charts figure canvas').count(), plan.output.panels.length);
  assert.deepEqual(await page.$$eval('#charts figcaption', (f) => f.map((e) => e.textContent)),
    plan.output.panels.map((p) => p.title + (p.unit ? ` (${p.unit})` : '')));
  assert.equal(await summaryText(page), tarvelloRun([]).summary);
  // What crosses the wire: the server sends the precompressed files.
  measured.transferBytes = (await Promise.all(bodies)).reduce((n, b) => n + b, 0);
  assert.ok(measured.transferBytes <= 400 * 1024, `transfer ${measured.transferBytes} bytes`);

  // Accessibility of the page as it first stands.
  assert.deepEqual(await axeViolations(page), []);
  assert.equal(await page.locator('#controls input:not([id])').count(), 0);

  // A constant changed in its field: the host's summary and its CSV bytes.
  const reuse = page.locator(`input[name="${REUSE}"]`);
  await rerun(page, () => reuse.fill('0.8'));
  const changed = tarvelloRun(['--days', '365', '--set', `${REUSE}=0.8`]);
  assert.equal(await summaryText(page), changed.summary);
  assert.equal(await page.textContent('#command'), `tarvello-run --days 365 --set ${REUSE}=0.8 --out -`);
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download-csv')]);
  assert.ok(readFileSync(await download.path()).equals(changed.csv), 'the downloaded CSV is the host\'s');

  // One year, changed a few times: from the change to the redrawn charts.
  for (const v of ['0.6', '0.7', '0.75', '0.8']) await rerun(page, () => reuse.fill(v));
  const year = (await page.evaluate(() => window.tarvello.timings)).slice(-4).map((t) => t.ms);
  measured.oneYearMs = year.sort((a, b) => a - b)[year.length >> 1];
  // A rerun's cost in the worker beyond the run itself (restore, request, plan
  // and scenario read), from one-year runs.
  const fixed = (await page.evaluate(() => window.tarvello.timings)).slice(-4).map((t) => t.workerMs - t.engineMs);
  measured.rerunFixedMs = fixed.sort((a, b) => a - b)[fixed.length >> 1];

  // Pinned by keyboard, then two years against it.
  await page.focus('#pin');
  await page.keyboard.press('Enter');
  await rerun(page, () => page.fill('input[name="days"]', '730'));
  const twoYears = tarvelloRun(['--days', '730', '--set', `${REUSE}=0.8`]);
  assert.equal(await summaryText(page), twoYears.summary);
  const irrigated = await page.$$eval('#cards .card:first-child dd', (c) => c.map((e) => e.textContent));
  const now = parseInt(irrigated[0], 10), then = Number(/baseline's (\d+)$/.exec(irrigated[1])[1]);
  assert.ok(now > then && irrigated[1].startsWith(`+${now - then} `), `headline with its baseline: ${irrigated}`);
  assert.match(page.url(), /&base\.days=365&base\.set=percentReuse/);
  assert.ok((await page.textContent('#charts')).includes('(baseline)'));

  // A name typed as the page labels it: refused, with the host's nearest names.
  const label = 'Share of waste water reused';
  await page.fill('#f-search', label);
  await page.click('#add-value');
  await page.waitForFunction(() => document.getElementById('f-search-error').textContent.includes('(nearest: '));
  const offered = tarvelloRun(['--set', `${label}=1`]).message.split(' (nearest: ')[1];
  assert.equal(await page.textContent('#f-search-error'), `no value is named ${label} (nearest: ${offered}`);
  assert.equal(await page.getAttribute('#f-search', 'aria-invalid'), 'true');

  // A value by name from the search; a bad int, then a word for a number:
  // each marked at its field with the host's message; the last run stays.
  await page.fill('#f-search', YEAR);
  await rerun(page, () => page.click('#add-value'));
  const shown = await summaryText(page);
  for (const [name, text] of [[YEAR, '1.5'], [REUSE, 'half']]) {
    await rerun(page, () => page.fill(`input[name="${name}"]`, text));
    const field = page.locator(`input[name="${name}"]`);
    assert.equal(await field.getAttribute('aria-invalid'), 'true');
    const expected = tarvelloRun(['--days', '730', '--set', `${name}=${text}`]);
    assert.equal(expected.status, 2);
    assert.equal(await page.textContent(`#${await field.getAttribute('id')}-error`), expected.message);
    assert.equal(await summaryText(page), shown);
    await rerun(page, () => field.fill(name === YEAR ? '2015' : '0.8'));
    assert.equal(await field.getAttribute('aria-invalid'), null);
  }

  // A per-day column scaled and one cell changed, shared by its address.
  await rerun(page, () => page.fill('input[name="scale:qttWater_B1_Water_P1_CleanWater"]', '0.9'));
  await rerun(page, () => page.fill('input[name="qttEnergy_B1_Energy_P1_Energy@182"]', '9.5'));
  const shared = page.url();
  assert.match(shared, /#days=730&set=.*&scale=qttWater_B1_Water_P1_CleanWater=0\.9&cell=182%3AqttEnergy.*&base\.days=365/);
  assert.match(await page.textContent('#command'), / --scale qttWater_B1_Water_P1_CleanWater=0\.9 --input tarvello-inputs\.csv --out -$/);
  await page.evaluate(() => window.scrollTo(0, 0));
  await page.screenshot({ path: join(out, 'screenshot.png') });
  const second = await open(shared);
  assert.equal(await summaryText(second.page), await summaryText(page));
  assert.deepEqual(await second.page.$$eval('#cards dd', (c) => c.map((e) => e.textContent)),
    await page.$$eval('#cards dd', (c) => c.map((e) => e.textContent)), 'the shared address carries the baseline');
  for (const name of [REUSE, YEAR, 'days', 'scale:qttWater_B1_Water_P1_CleanWater', 'qttEnergy_B1_Energy_P1_Energy@182'])
    assert.equal(await second.page.inputValue(`input[name="${name}"]`), await page.inputValue(`input[name="${name}"]`));
  const [table] = await Promise.all([second.page.waitForEvent('download'), second.page.click('#download-table')]);
  const [csv] = await Promise.all([second.page.waitForEvent('download'), second.page.click('#download-csv')]);
  const tableFile = join(out, 'tarvello-inputs.csv');
  await table.saveAs(tableFile);
  const scale = ['--scale', 'qttWater_B1_Water_P1_CleanWater=0.9'];
  const scaled = tarvelloRun(['--days', '730', '--set', `${REUSE}=0.8`, '--set', `${YEAR}=2015`, ...scale, '--input', tableFile]);
  assert.ok(readFileSync(await csv.path()).equals(scaled.csv), 'the shared view\'s CSV is the host\'s');
  const [scenario] = await Promise.all([second.page.waitForEvent('download'), second.page.click('#download-scenario')]);
  await scenario.saveAs(join(out, 'tarvello-scenario.json'));
  assert.ok(tarvelloRun(['--days', '730', '--scenario', join(out, 'tarvello-scenario.json'), ...scale]).csv.equals(scaled.csv),
    'the downloaded scenario reads back to the same run');

  // A hundred years.
  await rerun(page, () => page.fill('input[name="days"]', '36500'));
  measured.hundredYearsMs = (await page.evaluate(() => window.tarvello.timings)).at(-1).ms;
  assert.equal((await page.evaluate(() => window.tarvello.timings)).at(-1).days, 36500);

  // A burst of typing at a hundred years: runs superseded, no long task
  // measured, the last value drawn, and a download asked for at once waits
  // for it.
  await page.evaluate(() => {
    window.longTasks = [];
    new PerformanceObserver((l) => window.longTasks.push(...l.getEntries().map((e) => e.duration)))
      .observe({ type: 'longtask' });
  });
  const started = await page.evaluate(() => window.tarvello.started);
  await reuse.fill('');
  await reuse.pressSequentially('0.123456789012345678901234567890123456789', { delay: 5 });
  const [burst] = await Promise.all([page.waitForEvent('download'), page.click('#download-csv')]);
  const typed = tarvelloRun(['--days', '36500', '--set', `${REUSE}=0.123456789012345678901234567890123456789`,
    '--set', `${YEAR}=2015`, ...scale, '--input', tableFile]);
  assert.ok(readFileSync(await burst.path()).equals(typed.csv), 'the download waits for the latest change');
  assert.equal(await summaryText(page), typed.summary);
  measured.runsForFortyKeys = (await page.evaluate(() => window.tarvello.started)) - started;
  assert.ok(measured.runsForFortyKeys < 20, `${measured.runsForFortyKeys} runs for 41 keystrokes`);
  measured.longestTaskWhileTypingMs = Math.max(0, ...await page.evaluate(() => window.longTasks));

  assert.deepEqual([...problems, ...second.problems], []);
});

test('an address keeps and reports what it cannot apply; cells and factors are read as the host reads them', async () => {
  const bad = ['set=toString=1', 'set=__proto__=2', 'set=nosuch_value=3', 'cell=999:qttEnergy_B1_Energy_P1_Energy=3',
    'cell=32:toString=1', 'scale=qttWater_B1_Water_P1_CleanWater=%E0%A4%A', 'colour=red'];
  const { page, problems } = await open(`${address}#days=365&set=${REUSE}=0.7&${bad.join('&')}`);
  assert.equal(await page.inputValue(`input[name="${REUSE}"]`), '0.7');
  const notice = page.locator('[role="alert"]');
  const items = await notice.locator('li').allTextContents();
  assert.equal(items.length, bad.length, items.join('\n'));
  bad.forEach((part, i) => assert.ok(items[i].startsWith(part), `${items[i]} reports ${part}`));
  const unknown = tarvelloRun(['--set', 'nosuch_value=3']);
  assert.ok(items[2].includes(unknown.message), `${items[2]} has the host's message ${unknown.message}`);
  assert.ok(page.url().endsWith(bad.join('&')), `the address keeps them: ${page.url()}`);
  await rerun(page, () => page.fill(`input[name="${REUSE}"]`, '0.6'));
  assert.ok(page.url().endsWith(bad.join('&')), 'and still after a change');
  assert.deepEqual(await axeViolations(page), [], 'with the notice shown');
  await notice.getByRole('button', { name: `Remove ${bad[0]} from the address` }).click();
  assert.ok(!page.url().includes(bad[0]), 'until removed');

  // A decimal comma and a hex number in cells, an underflow and a hex scale
  // factor: each refused at its field with the host's message.
  const scratch = mkdtempSync(join(tmpdir(), 'tarvello-page-'));
  const cases = [['qttEnergy_B1_Energy_P1_Energy@32', '1,5'], ['qttWater_B1_Water_P1_CleanWater@60', '0x10'],
    ['scale:qttEnergy_B1_Energy_P1_Energy', '1e-400'], ['scale:qttWater_B1_Water_P1_CleanWater', '0x10']];
  for (const [name, text] of cases) {
    const field = page.locator(`input[name="${name}"]`);
    await rerun(page, () => field.fill(text));
    assert.equal(await field.getAttribute('aria-invalid'), 'true', name);
    const message = await page.textContent(`#${await field.getAttribute('id')}-error`);
    assert.ok((await field.getAttribute('aria-describedby')).includes(`${await field.getAttribute('id')}-error`));
    if (name.includes('@')) {
      // The host reading the same cell from the per-day table.
      const [column, day] = name.split('@');
      const lines = readFileSync(join(site, 'inputs.csv'), 'utf8').split('\n');
      const header = lines[0].split(',');
      const at = lines.findIndex((l) => l.startsWith(`${day},`));
      const cells = lines[at].split(',');
      cells[header.indexOf(column)] = `"${text}"`;
      lines[at] = cells.join(',');
      writeFileSync(join(scratch, 'inputs.csv'), lines.join('\n'));
      assert.equal(message, tarvelloRun(['--input', 'inputs.csv'], scratch).message);
    } else {
      assert.equal(message, tarvelloRun(['--scale', `${name.slice('scale:'.length)}=${text}`]).message);
    }
    await rerun(page, () => field.fill(name.startsWith('scale') ? '1' : '5'));
  }
  assert.deepEqual(problems, []);
});

test('the page holds still while it fills in, on a desktop and on a phone', async () => {
  const sizes = {
    desktop: { viewport: { width: 1350, height: 940 } },
    phone: { viewport: { width: 412, height: 823 }, isMobile: true, hasTouch: true, deviceScaleFactor: 1.75 },
  };
  measured.layoutShift = {};
  for (const [name, options] of Object.entries(sizes)) {
    const { page, problems } = await open(address, options);
    // Filled in: the first run's figures and charts drawn; two frames more
    // for the browser to report the last of its shifts.
    await page.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));
    measured.layoutShift[name] = await page.evaluate(() => window.layoutShift);
    assert.ok(measured.layoutShift[name] < 0.1, `${name}: cumulative layout shift ${measured.layoutShift[name]}`);
    assert.deepEqual(problems, []);
    await page.close();
  }
});

test('a phone and a keyboard reach everything', async () => {
  const { page, problems } = await open(address, { viewport: { width: 390, height: 844 } });
  assert.ok(await page.evaluate(() => document.documentElement.scrollWidth) <= 390, 'no sideways scrolling');
  const top = (selector) => page.$eval(selector, (e) => e.getBoundingClientRect().top);
  assert.ok(await top('#charts') < await top('#daily'), 'the results come before the per-day table');
  assert.deepEqual(await axeViolations(page), []);
  await page.screenshot({ path: join(out, 'screenshot-phone.png') });

  // From the top of the page: the skip link, then pin, downloads and legends.
  const reached = new Map();
  for (let i = 1; i <= 40 && reached.size < 3; i++) {
    await page.keyboard.press('Tab');
    const id = await page.evaluate(() => document.activeElement.id || document.activeElement.className);
    for (const want of ['pin', 'download-csv', 'series']) if (id === want && !reached.has(want)) reached.set(want, i);
  }
  assert.deepEqual([...reached.keys()].sort(), ['download-csv', 'pin', 'series']);
  await page.keyboard.press('Enter');
  assert.equal(await page.evaluate(() => document.activeElement.getAttribute('aria-pressed')), 'false');
  measured.tabsToPin = reached.get('pin');

  // Each chart's data as a table: a row for each month of the year.
  await page.locator('#charts details.data summary').first().click();
  await page.waitForSelector('#charts details.data table');
  const rows = await page.$$eval('#charts details.data table tbody tr', (r) => r.map((e) => e.textContent));
  assert.equal(rows.length, 12);
  assert.match(rows[0], /^1 Jan/);

  // A preset, a constant's reset and the reset of everything, each in the
  // address; no download while a field cannot run.
  await page.selectOption('#preset', 'A dry year');
  await rerun(page, () => page.click('#apply-preset'));
  assert.match(page.url(), /#days=365&scale=qttWater_B1_Water_P1_CleanWater=0\.67$/);
  const reuse = page.locator(`input[name="${REUSE}"]`);
  await rerun(page, () => reuse.fill('2x'));
  await page.click('#download-csv');
  assert.match(await page.textContent('#status'), /^Not downloaded/);
  await rerun(page, () => page.getByRole('button', { name: /^Reset Share of waste water reused/ }).click());
  assert.equal(await reuse.inputValue(), '0.5');
  await rerun(page, () => page.click('#reset-all'));
  assert.equal(new URL(page.url()).hash, '#days=365');
  assert.deepEqual(problems, []);
});

test('a design study runs beside the page, gives the command line\'s tables, stops, and loads a design', async () => {
  const { page, problems } = await open(address);
  const panel = page.locator('#study');
  const runStudy = async () => {
    await panel.getByRole('button', { name: 'Run study' }).click();
    await page.waitForFunction(() => /runs in .* s on/.test(document.getElementById('study-status').textContent),
      null, { timeout: 60000 });
  };
  // A small Morris screening of the panel's default factors and outputs.
  await page.fill('#st-trajectories', '3');
  await page.fill('#st-seed', '11');
  await runStudy();
  const scratch = mkdtempSync(join(tmpdir(), 'tarvello-study-'));
  const saved = async (selector, name) => {
    const [d] = await Promise.all([page.waitForEvent('download'), page.click(selector)]);
    await d.saveAs(join(scratch, name));
    return readFileSync(join(scratch, name));
  };
  await saved('#study-download-file', 'study.json');
  const r = spawnSync(host, ['--quiet', '--study', 'study.json', '--out', 'cli'], { cwd: scratch, encoding: 'utf8' });
  assert.equal(r.status, 0, r.stderr);
  for (const name of ['effects.csv', 'results.csv', 'samples.csv'])
    assert.ok((await saved(`#study-downloads [data-file="${name}"]`, name)).equals(readFileSync(join(scratch, 'cli', name))),
      `the page's ${name} is tarvello-run --study's`);
  assert.equal(await page.locator('#study-chart canvas').count(), 1);
  assert.deepEqual(await axeViolations(page), [], 'with a study shown');
  await panel.screenshot({ path: join(out, 'screenshot-study.png') });

  // A design of the screening loaded by keyboard: into its fields and the address.
  const load = page.locator('#study-designs button').first();
  const row = await page.locator('#study-designs tbody tr').first().locator('td').allTextContents();
  const factor = JSON.parse(readFileSync(join(scratch, 'study.json'), 'utf8')).factors.find((f) => !f.name.startsWith('scale:'));
  const samples = readFileSync(join(scratch, 'cli', 'samples.csv'), 'utf8').split('\n').map((l) => l.split(','));
  const design = await load.getAttribute('aria-label');
  const sample = samples.find((l) => l[0] === design.split(' ').at(-1));
  const value = sample[samples[0].indexOf(factor.name)];
  await load.focus();
  await rerun(page, () => page.keyboard.press('Enter'));
  assert.equal(await page.inputValue(`input[name="${factor.name}"]`), value, `${design}: ${row}`);
  assert.ok(page.url().includes(`set=${factor.name}=${encodeURIComponent(value)}`), page.url());

  // A long study stopped: the page stays usable and the panel ready again.
  await page.fill('#st-trajectories', '400');
  await panel.getByRole('button', { name: 'Run study' }).click();
  await page.waitForFunction(() => document.getElementById('study-progress').value > 0, null, { timeout: 20000 });
  await rerun(page, () => page.fill(`input[name="${REUSE}"]`, '0.65'));
  await panel.getByRole('button', { name: 'Stop' }).click();
  await page.waitForFunction(() => document.getElementById('study-status').textContent.startsWith('Stopped'), null,
    { timeout: 10000 });
  assert.ok(await page.evaluate(() => document.getElementById('study-progress').value < 400 * 5));
  assert.equal(await panel.getByRole('button', { name: 'Run study' }).isEnabled(), true);

  // The screening of ten factors by twenty trajectories (220 one-year runs).
  await page.locator('#study-factors input[type="checkbox"]').evaluateAll((boxes) =>
    boxes.forEach((b, i) => (b.checked = i < 10)));
  await page.fill('#st-trajectories', '20');
  await runStudy();
  measured.study = await page.evaluate(() => window.tarvello.study);
  assert.equal(measured.study.cases, 220);
  assert.deepEqual(problems, []);
});

// NumPy's percentiles (its default, linear method) of the sweep's results:
// each figure's 10th, 50th and 90th percentiles, lowest and highest over the
// cases of summary.csv, and one variable's per-day percentiles over the
// cases' daily files.
const NUMPY_SPREADS = `
import csv, json, sys
import numpy as np
folder, figures, variable = sys.argv[1], sys.argv[2].split(','), sys.argv[3]
rows = list(csv.DictReader(open(folder + '/summary.csv')))
spreads = {}
for f in figures:
    v = np.array([float(r[f]) for r in rows])
    spreads[f] = {'p10': float(np.percentile(v, 10)), 'median': float(np.percentile(v, 50)),
                  'p90': float(np.percentile(v, 90)), 'low': float(v.min()), 'high': float(v.max())}
days = np.array([[float(r[variable]) for r in csv.DictReader(open(folder + '/' + row['case'] + '.csv'))]
                 for row in rows])
band = {k: [float(x) for x in np.percentile(days, p, axis=0)] for k, p in (('p10', 10), ('median', 50), ('p90', 90))}
print(json.dumps({'spreads': spreads, 'band': band, 'values': {f: [float(r[f]) for r in rows] for f in figures}}))
`;

test('the futures of the design on screen: the study file it ran gives tarvello-run\'s tables, its bands NumPy\'s',
  async () => {
  const { page, problems } = await open(address);
  await page.evaluate(() => {
    window.longTasks = [];
    new PerformanceObserver((l) => window.longTasks.push(...l.getEntries().map((e) => e.duration)))
      .observe({ type: 'longtask' });
  });
  // A count out of range is refused at its field, nothing run.
  await page.fill('#fu-count', '40000');
  await page.getByRole('button', { name: 'Run futures' }).click();
  assert.equal(await page.textContent('#futures-status'),
    'Not run: Futures: a whole number from 2 to 1000, not “40000”.');
  assert.equal(await page.getAttribute('#fu-count', 'aria-invalid'), 'true');
  await page.fill('#fu-count', '40');
  await page.fill('#fu-seed', '7');
  await page.getByRole('button', { name: 'Run futures' }).click();
  await page.waitForFunction(() => /futures run in/.test(document.getElementById('futures-status').textContent),
    null, { timeout: 60000 });
  const probed = () => page.evaluate(() => {
    const f = window.tarvello.futures;
    return { ...f, band: { name: f.band.name, p10: Array.from(f.band.p10), median: Array.from(f.band.median),
      p90: Array.from(f.band.p90) } };
  });
  const futures = await probed();
  measured.fortyFuturesMs = futures.drawnMs;
  assert.equal(futures.count, 40);
  // The downloaded study file is the one the page ran; tarvello-run --study
  // of it writes the page's tables byte for byte.
  const scratch = mkdtempSync(join(tmpdir(), 'tarvello-futures-'));
  const sameTables = async (what) => {
    const shown = await probed();
    const [d] = await Promise.all([page.waitForEvent('download'), page.click('#futures-download')]);
    assert.equal(d.suggestedFilename(), 'futures-study.json');
    const text = readFileSync(await d.path(), 'utf8');
    assert.equal(text, shown.study, `${what}: the downloaded study file is the one run`);
    writeFileSync(join(scratch, 'futures-study.json'), text);
    const r = spawnSync(host, ['--quiet', '--study', 'futures-study.json', '--out', what, '--jobs', '2'],
      { cwd: scratch, encoding: 'utf8' });
    assert.equal(r.status, 0, r.stderr);
    for (const name of ['robustness.csv', 'results.csv', 'prim_trajectory.csv', 'boxes.csv'])
      assert.equal(shown.files[name], readFileSync(join(scratch, what, name), 'utf8'), `${what}: ${name}`);
    return shown;
  };
  await sameTables('no-thresholds');
  // The same futures through tarvello-run --sweep: a case per future with
  // its scale factors as the study drew them (results.csv).
  const results = readFileSync(join(scratch, 'no-thresholds', 'results.csv'), 'utf8').trim().split('\n')
    .map((l) => l.split(','));
  const scaled = results[0].map((h, i) => [h, i]).filter(([h]) => h.startsWith('scale:'));
  const lines = [['case', ...scaled.map(([h]) => h)].join(',')];
  for (const row of results.slice(1)) lines.push([row[results[0].indexOf('future')], ...scaled.map(([, i]) => row[i])]
    .join(','));
  writeFileSync(join(scratch, 'cases.csv'), lines.join('\n') + '\n');
  const sweep = spawnSync(host, ['--quiet', '--sweep', 'cases.csv', '--daily', '--out', 'out'], { cwd: scratch,
    encoding: 'utf8' });
  assert.equal(sweep.status, 0, sweep.stderr);
  const figures = Object.keys(futures.spreads);
  const py = spawnSync('/usr/bin/python3', ['-c', NUMPY_SPREADS, join(scratch, 'out'), figures.join(','),
    futures.band.name], { encoding: 'utf8', maxBuffer: 1 << 26 });
  assert.equal(py.status, 0, py.stderr);
  const numpy = JSON.parse(py.stdout);
  assert.deepEqual(futures.spreads, numpy.spreads, 'each figure\'s spread');
  assert.deepEqual({ p10: futures.band.p10, median: futures.band.median, p90: futures.band.p90 }, numpy.band,
    `${futures.band.name} day by day`);
  // The bands are drawn on every chart, and its data table has their columns.
  const plan = JSON.parse(readFileSync(join(site, 'plan.json'), 'utf8'));
  const withBands = '#charts .plot[aria-label*="futures\' median and 10–90 % band"]';
  assert.equal(await page.locator(withBands).count(), plan.output.panels.length);
  await page.locator('#charts figure').first().screenshot({ path: join(out, 'screenshot-futures-chart.png') });
  await page.locator('#charts details.data summary').first().click();
  assert.equal(await page.locator('#charts details.data th', { hasText: 'futures\' median' }).count(),
    plan.output.panels[0].variables.length);

  // Thresholds: the share of futures meeting them, as counted from the
  // sweep, and where the design misses them in words; the study file then
  // holds them, and tarvello-run's tables (scenario discovery too) are the
  // page's.
  const pick = async (figure, kind, value) => {
    const row = page.locator(`#futures-figures tr[data-figure="${figure}"]`);
    await row.locator('select').selectOption(kind);
    await row.locator('input').fill(String(value));
  };
  assert.match(await page.textContent('#futures-share'), /^Set a threshold/);
  const [a, b] = figures.filter((f) => numpy.spreads[f].low < numpy.spreads[f].high);
  const limitA = numpy.spreads[a].median, limitB = numpy.spreads[b].p10;
  await pick(a, 'max', limitA);
  await pick(b, 'min', limitB);
  const met = numpy.values[a].filter((v, i) => v <= limitA && numpy.values[b][i] >= limitB).length;
  assert.ok(met > 0 && met < 40, `${met} of 40 meet both`);
  await page.waitForFunction((m) => document.getElementById('futures-share').textContent.startsWith(`${m} of 40 futures (`) &&
    JSON.parse(window.tarvello.futures.study).robust?.thresholds.length === 2, met, { timeout: 10000 });
  const shown = await sameTables('thresholds');
  assert.match(await page.textContent('#futures-box'),
    /^Where it misses: the design misses its thresholds in \d+ % of futures; \d+ % of those lie where /);
  assert.ok(shown.summary.includes((await page.textContent('#futures-box')).slice('Where it misses: the design'.length, -1)),
    'the box in words is the study\'s summary');

  assert.deepEqual(await axeViolations(page), [], 'with futures shown');
  await page.locator('#futures').screenshot({ path: join(out, 'screenshot-futures.png') });
  measured.futuresLayoutShift = await page.evaluate(() => window.layoutShift);
  assert.ok(measured.futuresLayoutShift < 0.1, `cumulative layout shift ${measured.futuresLayoutShift}`);

  // Other settings: the futures are no longer shown.
  await rerun(page, () => page.fill(`input[name="${REUSE}"]`, '0.7'));
  assert.match(await page.textContent('#futures-status'), /run for earlier settings/);
  assert.equal(await page.locator(withBands).count(), 0);

  // The default count: 200 futures, timed from the request to the drawn
  // charts, with the longest task of the page meanwhile.
  await page.fill('#fu-count', '200');
  await page.evaluate(() => (window.longTasks = []));
  await page.getByRole('button', { name: 'Run futures' }).click();
  await page.waitForFunction(() => window.tarvello.futures.count === 200 &&
    /futures run in/.test(document.getElementById('futures-status').textContent), null, { timeout: 60000 });
  measured.twoHundredFutures = await page.evaluate(() => ({ ms: window.tarvello.futures.drawnMs,
    workers: window.tarvello.futures.workers }));
  measured.longestTaskWithFuturesMs = Math.max(0, ...await page.evaluate(() => window.longTasks));
  assert.deepEqual(problems, []);
});

after(() => {
  writeFileSync(join(out, 'page-measurements.json'), JSON.stringify(measured, null, 2) + '\n');
  console.log(`page: ${JSON.stringify(measured)}; screenshots in ${out}`);
});

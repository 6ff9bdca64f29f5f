// A visitor's path through the page in a real headless Chromium: the default
// year drawn, a constant changed in its field giving the host's summary, the
// downloaded CSV equal to tarvello-run's bytes (and the downloaded scenario
// read back by it to the same run), a baseline pinned and
// compared, a bad value marked with the host's message while the last run
// stays, a shared address reproducing the view, no console errors, no
// axe-core violations. It reports the page's speed and transfer size and
// keeps a screenshot.
// Environment: TDS_SITE (the built site), TDS_HOST (tarvello-run), TDS_OUT
// (where the screenshot and the measurements go), CHROMIUM (the browser).
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { gzipSync } from 'node:zlib';
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
function tarvelloRun(args) {
  const r = spawnSync(host, [...args, '--out', '-'], { encoding: 'buffer', maxBuffer: 1 << 28 });
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

// A page that records console errors and the bytes of every response.
async function open(url) {
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  const problems = [];
  const bodies = [];
  page.on('console', (m) => m.type() === 'error' && problems.push(m.text()));
  page.on('pageerror', (e) => problems.push(e.message));
  page.on('response', (r) => bodies.push(r.body().catch(() => Buffer.alloc(0))));
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

test('a visitor explores, compares, shares and downloads the year', async () => {
  const { page, problems, bodies } = await open(address);
  const measured = {};
  measured.firstChartMs = await page.evaluate(() => window.tarvello.firstChart);
  const plan = JSON.parse(readFileSync(join(site, 'plan.json'), 'utf8'));
  assert.equal(await page.locator('#charts figure canvas').count(), plan.output.panels.length);
  assert.deepEqual(await page.$$eval('#charts figcaption', (f) => f.map((e) => e.textContent)),
    plan.output.panels.map((p) => p.title));
  assert.equal(await summaryText(page), tarvelloRun([]).summary);
  measured.transferGzipBytes = (await Promise.all(bodies)).reduce((n, b) => n + gzipSync(b).length, 0);
  assert.ok(measured.transferGzipBytes <= 600 * 1024, `transfer ${measured.transferGzipBytes} bytes gzipped`);

  // Accessibility of the page as it first stands.
  await page.addScriptTag({ path: createRequire(import.meta.url).resolve('axe-core/axe.min.js') });
  const axe = await page.evaluate(() =>
    window.axe.run(document, { runOnly: { type: 'tag', values: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa'] } }));
  assert.deepEqual(axe.violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target).join(' ')}`), []);
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

  // Pinned by keyboard, then two years against it.
  await page.focus('#pin');
  await page.keyboard.press('Enter');
  await rerun(page, () => page.fill('input[name="days"]', '730'));
  const twoYears = tarvelloRun(['--days', '730', '--set', `${REUSE}=0.8`]);
  assert.equal(await summaryText(page), twoYears.summary);
  const irrigated = await page.$$eval('#summary tbody tr:first-child td', (c) => c.map((e) => e.textContent));
  const now = Number(irrigated[0]), then = Number(irrigated[1]);
  assert.ok(now > then && irrigated[2] === `+${now - then}`, `summary with its baseline: ${irrigated}`);
  assert.ok(await page.locator('#summary th.baseline').first().isVisible());
  assert.ok((await page.textContent('#charts')).includes('waterTank_B1_Water_P1_CleanWater (baseline)'));

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
  assert.match(shared, /#days=730&set=.*&scale=qttWater_B1_Water_P1_CleanWater=0\.9&cell=182%3AqttEnergy/);
  assert.match(await page.textContent('#command'), / --scale qttWater_B1_Water_P1_CleanWater=0\.9 --input tarvello-inputs\.csv --out -$/);
  await page.setViewportSize({ width: 1280, height: 1300 });
  await page.evaluate(() => window.scrollTo(0, 0));
  await page.screenshot({ path: join(out, 'screenshot.png') });
  const second = await open(shared);
  assert.equal(await summaryText(second.page), await summaryText(page));
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

  assert.deepEqual([...problems, ...second.problems], []);
  writeFileSync(join(out, 'page-measurements.json'), JSON.stringify(measured, null, 2) + '\n');
  console.log(`page: first chart ${measured.firstChartMs.toFixed(0)} ms after load; change to redrawn charts ` +
    `${measured.oneYearMs.toFixed(0)} ms for one year, ${measured.hundredYearsMs.toFixed(0)} ms for 100 years; ` +
    `transfer ${(measured.transferGzipBytes / 1024).toFixed(0)} kB gzipped; screenshot ${join(out, 'screenshot.png')}`);
});

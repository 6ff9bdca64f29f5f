// The page's Study panel: a Morris screening or an NSGA-II search over the
// settings of the controls, run on a pool of workers (study-pool.js, one
// per core) beside the page's own worker, so that neither the page nor its
// reruns wait for it. The study is a study file as tarvello-run --study
// takes it (study-form.js); its tables are the program's (study.js drives
// it), shown by study-results.js.
import { $ } from './dom.js';
import { runStudy } from './study.js';
import { studyForm } from './study-form.js';
import { StudyPool } from './study-pool.js';
import { studyResults } from './study-results.js';

// ctx: {description, plan, scenario, files, columns(), current(),
// readSettings(), applyDesign(values: Map name -> text)}.
export function setupStudy(ctx) {
  const pool = new StudyPool();
  const form = studyForm(ctx);
  let running = null;  // {stopped, started}

  function status(text) {
    $('study-status').textContent = text;
  }

  const results = studyResults({ scenario: ctx.scenario, plan: ctx.plan, outputs: form.outputs,
    applyDesign: ctx.applyDesign, status });

  async function run() {
    if (running) return;
    let study;
    try {
      study = form.file();
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
      await pool.open(ctx.files.description);
      const begun = await pool.leader.start(request);
      if (!begun.ok) throw new Error(begun.error);
      await pool.load(request);
      bar.max = begun.total;
      const evaluate = (points, progress) => pool.evaluate(points, progress, () => me.stopped);
      const tables = await runStudy(pool.leader, evaluate, {
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
      window.tarvello.study = { ms: performance.now() - me.started, cases: begun.total, workers: pool.size };
      const cells = Object.keys(ctx.readSettings().cells).length
        ? ' It ran the scenario’s own per-day table: cells edited on the page are not part of a study.' : '';
      status(`${begun.total} runs in ${seconds.toFixed(1)} s on ${pool.size} workers; ${tables.summary}.${cells}`);
      results.show({ study, text, files: new Map(tables.files), summary: tables.summary, method: study.method });
    } catch (e) {
      status(`The study cannot run: ${e.message}`);
      // A worker whose program stopped (a trap) cannot serve again: the
      // next study starts a new pool.
      pool.close();
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

  $('study-form').addEventListener('submit', (e) => {
    e.preventDefault();
    run();
  });
  $('study-stop').addEventListener('click', stop);
  // The panel's fields, from the controls as they are when the first run is
  // shown.
  let built = false;
  return {
    ready() {
      if (built || !ctx.current()) return;
      form.build();
      built = true;
    },
  };
}

'use strict';
// What every section process shares: the two add-ons from the build
// directory, the stand-in answering at once without recording calls, and the
// way figures go back to the runner (over the IPC channel; stdout belongs to
// the add-on's console lines).
const { fork } = require('node:child_process');
const path = require('node:path');
const { median } = require('./measure');

const ROOT = path.resolve(__dirname, '..', '..');
const RELEASE_DIR = path.join(path.resolve(ROOT, process.env.VARN_BUILD_DIR || 'build'), 'Release');

function loadAddons() {
  const { VarnKtPlugin } = require(path.join(RELEASE_DIR, 'VarnKtPlugin.node'));
  const baselines = require(path.join(RELEASE_DIR, 'bench_baselines.node'));
  baselines.answerAtOnce();
  return { VarnKtPlugin, baselines };
}

// One figure: `addon` and `baseline` are the per-repetition samples; the
// ratio is the median of the per-repetition ratios add-on / baseline.
function figure(fields, addon, baseline) {
  const ratios = addon.map((value, i) => value / baseline[i]);
  return {
    ...fields,
    addon: median(addon),
    baseline: median(baseline),
    ratio: median(ratios),
    samples: { addon, baseline },
  };
}

// Sends the figures to the runner, then ends the process: the add-on keeps
// the event loop alive, so the process never ends on its own.
function run(section) {
  section().then(
    (figures) => process.send({ figures }, () => process.exit(0)),
    (err) => process.send({ error: String((err && err.stack) || err) }, () => process.exit(1)),
  );
}

// Runs `script` with `args` in a process of its own (same working directory
// and environment) and resolves with the `result` it sends back; a probe
// answers through `answer`.
function forkProbe(script, args) {
  return new Promise((resolve, reject) => {
    const child = fork(script, args, {
      execArgv: ['--expose-gc'],
      stdio: ['ignore', 'ignore', 'inherit', 'ipc'],
    });
    let reply = null;
    child.on('message', (message) => {
      reply = message;
    });
    child.on('error', reject);
    // 'close', not 'exit': the last message may still be on its way at exit.
    child.on('close', (code, signal) => {
      if (reply && reply.result) resolve(reply.result);
      else {
        const why = reply ? reply.error : 'no answer';
        reject(new Error(`${path.basename(script)} ${args.join(' ')} (${signal || code}): ${why}`));
      }
    });
  });
}

// The probe's side of forkProbe: sends what `main` resolves with, or its
// failure, then ends the process.
function answer(main) {
  main().then(
    (result) => process.send({ result }, () => process.exit(0)),
    (err) => process.send({ error: String((err && err.stack) || err) }, () => process.exit(1)),
  );
}

module.exports = { loadAddons, figure, run, forkProbe, answer };

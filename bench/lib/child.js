'use strict';
// What every section process shares: the two add-ons from the build
// directory, the stand-in answering at once without recording calls, and the
// way figures go back to the runner (over the IPC channel; stdout belongs to
// the add-on's console lines).
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

module.exports = { loadAddons, figure, run };

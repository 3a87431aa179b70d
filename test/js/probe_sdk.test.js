'use strict';
// Another libqcf, built only from the SDK's declarations (test/probe_sdk), in
// place of the stand-in: every call of the add-on must reach it. The probe
// notes the name of each call it receives in the file PROBE_QCF_LOG.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { preload } = require('../helpers/preload');
const { STEPS } = require('../probe_sdk/steps');

const ROOT = path.resolve(__dirname, '..', '..');
const BUILD_DIR = path.resolve(ROOT, process.env.VARN_BUILD_DIR || 'build');
const PROBE_DIR = path.join(BUILD_DIR, 'probe_sdk');
const PROBE_LIB = path.join(PROBE_DIR, 'libqcf.so');

// The results of test/probe_sdk/steps.js run with `env`, only the probe loaded and named.
function runProbe(env) {
  const cwd = fs.mkdtempSync(path.join(os.tmpdir(), 'varn-probe-'));
  try {
    const logPath = path.join(cwd, 'probe_calls.txt');
    fs.writeFileSync(logPath, '');
    const child = spawnSync(process.execPath, [path.join(ROOT, 'test', 'probe_sdk', 'steps.js')], { cwd, encoding: 'utf8', timeout: 120000,
      env: { ...process.env, ...env, VARN_PACKAGE_ROOT: ROOT, PROBE_QCF_LOG: logPath, PROBE_LIB, STANDIN_LIB: path.join(BUILD_DIR, 'Release', 'libqcf.so') } });
    assert.equal(child.status, 0, `child failed: ${child.stderr}`);
    const results = JSON.parse(fs.readFileSync(path.join(cwd, 'result.json'), 'utf8'));
    assert.deepEqual([results.loaded, results.sdk], [{ probe: true, standin: false }, { simulator: false, path: PROBE_LIB }]);
    return results;
  } finally {
    fs.rmSync(cwd, { recursive: true, force: true });
  }
}

const skip = process.platform !== 'linux' ? 'LD_PRELOAD and LD_LIBRARY_PATH are Linux loader features' : false;

// LD_LIBRARY_PATH comes before the libqcf beside the add-on only as its RUNPATH is not an RPATH.
test('with LD_PRELOAD or LD_LIBRARY_PATH, another libqcf receives every call the add-on makes, and its answers come back', { skip }, () => {
  assert.ok(fs.existsSync(PROBE_LIB), `${PROBE_LIB} is missing`);
  for (const env of [{ LD_PRELOAD: preload(PROBE_LIB) }, { LD_LIBRARY_PATH: PROBE_DIR, LD_PRELOAD: preload() }]) {
    const results = runProbe(env);
    // What each method answered (or threw) and the SDK calls it made.
    assert.deepEqual(STEPS.map(([method]) => [method, results[method]]), STEPS.map(([method, , calls, value]) => [method, { value, calls }]));
  }
});

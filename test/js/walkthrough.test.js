'use strict';
// The walkthrough (npm run demo) as a user runs it: a whole session against
// the simulator that exits 0, and a failing step that exits 1 and names it.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const path = require('node:path');
const sdk = require('../helpers/sdk');

sdk.tempCwd();
const WALKTHROUGH = path.join(sdk.ROOT, 'examples', 'walkthrough.js');

function run(args, env = {}) {
  return spawnSync(process.execPath, args, {
    encoding: 'utf8',
    env: { ...process.env, ...env },
    timeout: 60000,
  });
}

// The walkthrough's working directory, as it prints it.
function workDirOf(stdout) {
  return /^Working directory: (.*)$/m.exec(stdout)?.[1];
}

test('a whole session runs, step by step, and exits 0', () => {
  const child = run([WALKTHROUGH]);
  assert.equal(child.status, 0, `stdout:\n${child.stdout}\nstderr:\n${child.stderr}`);
  const steps = [...child.stdout.matchAll(/^\[\d+\] (\w+)/gm)].map((match) => match[1]);
  assert.deepEqual(steps, [
    'preActivate', 'setLogCallback', 'setEventCallback', 'init', 'auth_pubkey',
    'getSPMKeyInfo', 'fillKey', 'getSPMKeyInfo', 'createGroup',
    'applyKeyWithGroupID', 'applyKeyWithGroupID', 'applyKeyWithGroupID',
    'reFillKey', 'getSPMKeyInfo', 'reportSPMWithSignPubkey', 'finish',
  ]);
  for (const expected of [
    '【预激活】成功！', // the add-on's own console lines are kept
    '【签名公钥上报】上报成功',
    'sdk log | ', // lines through the log callback
    'x onCaptureMessage', // events
    'both instances hold the same',
    'the other process holds the same group key',
    'totalKeySize: 0 -> 64 (+64', // counters move with the fill
    'Walkthrough complete: every step succeeded.',
  ]) {
    assert.ok(child.stdout.includes(expected), `missing "${expected}" in:\n${child.stdout}`);
  }
  assert.equal(child.stderr, '');
  const workDir = workDirOf(child.stdout);
  assert.ok(workDir, 'the working directory is shown');
  assert.equal(require('node:fs').existsSync(workDir), false, 'removed without --keep');
});

test('a failing step ends the walkthrough with exit 1 and names the step', () => {
  // The stand-in is scripted in the same process before the walkthrough runs.
  const script = `
    require(${JSON.stringify(require.resolve('../helpers/sdk'))})
      .script('QCF_CreateGroup', { code: ${sdk.CODES.INTERNAL_ERROR} });
    require(${JSON.stringify(WALKTHROUGH)});`;
  const child = run(['-e', script]);
  assert.equal(child.status, 1, child.stdout);
  assert.match(child.stderr, /Walkthrough failed at step \d+\. createGroup\(.*\): createGroup answered code \d+: /);
  assert.ok(!child.stdout.includes('Walkthrough complete'));
});

test('an add-on that is not built is reported, not thrown', () => {
  const child = run([WALKTHROUGH], { VARN_BUILD_DIR: path.join(sdk.ROOT, 'no-such-build') });
  assert.equal(child.status, 1);
  assert.match(child.stderr, /Walkthrough failed: the add-on cannot be loaded: The VarnKtPlugin add-on has not been built/);
});

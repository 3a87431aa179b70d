'use strict';
// The walkthrough (npm run demo) as a user runs it.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const sdk = require('../helpers/sdk');
const { runScenario } = require('../helpers/scenario');

sdk.tempCwd();
const WALKTHROUGH = path.join(sdk.ROOT, 'examples', 'walkthrough.js');

test('a whole session runs, step by step, exits 0 and removes its directory', () => {
  const child = spawnSync(process.execPath, [WALKTHROUGH], { encoding: 'utf8', timeout: 60000 });
  assert.equal(child.status, 0, `stdout:\n${child.stdout}\nstderr:\n${child.stderr}`);
  assert.equal(child.stderr, '');
  assert.deepEqual([...child.stdout.matchAll(/^\[\d+\] (\w+)/gm)].map((match) => match[1]).join(' '),
    'preActivate setLogCallback setEventCallback init auth_pubkey getSPMKeyInfo fillKey getSPMKeyInfo createGroup ' +
    'applyKeyWithGroupID applyKeyWithGroupID applyKeyWithGroupID reFillKey getSPMKeyInfo reportSPMWithSignPubkey finish');
  // The add-on's own console lines, the log callback, events, a second process and counters.
  for (const expected of ['【预激活】成功！', 'sdk log | ', 'x onCaptureMessage', 'the other process holds the same group key',
    'totalKeySize: 0 -> 64 (+64', 'Walkthrough complete: every step succeeded.']) {
    assert.ok(child.stdout.includes(expected), `missing "${expected}" in:\n${child.stdout}`);
  }
  const workDir = /^Working directory: (.*)$/m.exec(child.stdout)?.[1];
  assert.ok(workDir && !fs.existsSync(workDir), 'removed without --keep');
});

test('a failing step ends the walkthrough with exit 1 and names the step', () => {
  const child = runScenario('walkthrough', 'failingStep', { timeout: 60000 });
  assert.equal(child.status, 1, child.stdout.toString());
  assert.match(child.stderr, /Walkthrough failed at step \d+\. createGroup\(.*\): createGroup answered code \d+: /);
  assert.ok(!child.stdout.includes('Walkthrough complete'));
});

'use strict';
// The walkthrough (npm run demo) as a user runs it, in test/scenarios/walkthrough.js.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const sdk = require('../helpers/sdk');
const { runScenario } = require('../helpers/scenario');

test('a whole session runs step by step, exits 0 and removes its directory; a failing step ends it with exit 1 and names the step', () => {
  const child = runScenario('walkthrough', 'run', { timeout: 60000 });
  const stdout = child.stdout.toString();
  assert.deepEqual([child.status, child.stderr], [0, ''], stdout);
  assert.deepEqual([...stdout.matchAll(/^\[\d+\] (\w+)/gm)].map((match) => match[1]).join(' '),
    'preActivate setLogCallback setEventCallback init auth_pubkey getSPMKeyInfo fillKey getSPMKeyInfo createGroup ' +
    'applyKeyWithGroupID applyKeyWithGroupID applyKeyWithGroupID reFillKey getSPMKeyInfo reportSPMWithSignPubkey finish');
  // The add-on's own console lines, the log callback, events, a second process and counters.
  assert.deepEqual(['【预激活】成功！', 'sdk log | ', 'x onCaptureMessage', 'the other process holds the same group key',
    'totalKeySize: 0 -> 64 (+64', 'Walkthrough complete: every step succeeded.'].filter((line) => !stdout.includes(line)), [], stdout);
  const workDir = /^Working directory: (.*)$/m.exec(stdout)?.[1];
  assert.ok(workDir && !fs.existsSync(workDir), 'removed without --keep');

  const failing = runScenario('walkthrough', 'run', { args: [sdk.CODES.INTERNAL_ERROR], timeout: 60000 });
  assert.equal(failing.status, 1, failing.stdout.toString());
  assert.match(failing.stderr, /Walkthrough failed at step \d+\. createGroup\(.*\): createGroup answered code \d+: /);
  assert.ok(!failing.stdout.includes('Walkthrough complete'));
});

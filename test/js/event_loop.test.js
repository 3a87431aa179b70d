'use strict';
// The add-on in a Node service: SDK calls off the JavaScript thread on
// request, deliveries that yield to the loop, a process that ends when the
// add-on has no work, and SDK lines at exit or under the SDK's own locks.
// Each case runs a scenario of test/scenarios/event_loop.js in a process of
// its own, in both modes where the mode matters.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const sdk = require('../helpers/sdk');
const { preload } = require('../helpers/preload');
const { runScenario: runLoopScenario } = require('../helpers/scenario');

const FIXTURE = path.join(sdk.BUILD_DIR, 'fixtures', 'libvarn_sdk_locks_and_exit.so');
const MODES = [{ mode: 'default', env: { VARN_SDK_THREAD: '0' } }, { mode: 'SDK thread', env: { VARN_SDK_THREAD: '1' } }];
const linuxOnly = process.platform !== 'linux' || !fs.existsSync(FIXTURE);
// Timings and resident memory under Wine say little about Windows itself.
const notUnderWine = process.platform === 'win32' && 'timing and memory are measured natively';

const runScenario = (name, options) => runLoopScenario('event_loop', name, options);

for (const { mode, env } of MODES) {
  test(`${mode}: every method reaches the SDK with the same calls and records and gives the same results`, () => {
    const { value, stderr } = runScenario('everyMethod', { env });
    assert.ok(value, stderr);
    const reference = runScenario('everyMethod', { env: MODES[0].env }).value;
    assert.equal(value.sdkThread, mode !== 'default');
    assert.deepEqual(value.results, reference.results);
    assert.deepEqual(value.calls, reference.calls);
    assert.deepEqual(value.lines, reference.lines);
    // One thread besides the JavaScript thread's own: the SDK thread.
    assert.deepEqual([value.threads, value.otherThreads], mode === 'default' ? [['js'], 1] : [['other'], 1]);
    if (mode !== 'default') {
      assert.deepEqual(value.order, ['init', 'auth', 'reFillKey', 'getSPMKeyInfo', 'createGroup', 'reportSPMWithSignPubkey']);
    }
  });

  test(`${mode}: a slow SDK call stalls the event loop only in the default mode`, { skip: notUnderWine }, () => {
    const { value, stderr } = runScenario('loopTicks', { env });
    assert.ok(value, stderr);
    assert.equal(value.code, 0);
    if (mode === 'default') {
      assert.equal(value.ticks, 0);
    } else {
      assert.ok(value.ticks >= 5, `a 10 ms timer fired ${value.ticks} times in 300 ms`);
    }
  });

  test(`${mode}: a log callback that calls finish from a line logged under the SDK's lock does not deadlock`,
    { skip: linuxOnly }, () => {
      const { value, status, signal, stderr } = runScenario('lockedLog', { env: { ...env, LD_PRELOAD: preload(FIXTURE) }, timeout: 10000 });
      assert.deepEqual([status, signal], [0, null], stderr);
      assert.deepEqual(value, { seen: ["logged under the SDK's lock", 'finish 0'], code: 0 });
    });
}

test('the process ends by itself when the add-on has no work, and not while a session is open', () => {
  const idle = runScenario('idle', { timeout: 10000 });
  assert.deepEqual([idle.status, idle.value], [0, { hello: 'abc world' }], idle.stderr);
  const finished = runScenario('finished', { timeout: 10000 });
  assert.deepEqual([finished.status, finished.value], [0, { events: 1000, lines: 0 }], finished.stderr);
  const open = runScenario('sessionOpen', { timeout: 1500 });
  assert.equal(open.signal, 'SIGTERM', 'still running when the time was up');
});

test('lines queued at process.exit are delivered', () => {
  const queued = runScenario('exitWhileQueued');
  assert.deepEqual([queued.status, queued.value], [3, { events: 1000, lines: 1000 }], queued.stderr);
});

test('an SDK thread logging without pause does not starve timers', { skip: notUnderWine }, () => {
  const storm = runScenario('starved', { timeout: 20000 });
  assert.equal(storm.status, 7, `the exit timer ran (${storm.signal || storm.stderr})`);
});

test('an SDK line logged from atexit while a callback is registered keeps the exit code and reaches log.txt',
  { skip: linuxOnly }, () => {
    const { status, signal, stderr, log } = runScenario('logAtExit', { env: { LD_PRELOAD: preload(FIXTURE), VARN_LOG_AT_EXIT: '1' } });
    assert.deepEqual([status, signal], [5, null], stderr);
    assert.match(log, / - logged at exit\n/);
  });

test('SDK lines to a thousand instances without handlers cost them no memory', { skip: notUnderWine }, () => {
  const { value, stderr } = runScenario('fanOut', { nodeArgs: ['--expose-gc'], timeout: 60000 });
  assert.ok(value, stderr);
  assert.equal(value.delivered, 20000);
  assert.ok(value.growthMB < 100, `resident memory grew by ${value.growthMB.toFixed(1)} MB`);
});

'use strict';
// The benchmark's baselines (bench_baselines.node) must do what they stand
// for, or its ratios mean nothing: the same SDK call and the same result as
// the add-on's method, a promise settled on a later turn, deliveries with the
// add-on's arguments, records in log.txt's format.
const { test, beforeEach } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const sdk = require('../helpers/sdk');
const { openSession } = require('../helpers/session');
const { VarnKtPlugin } = require('../..');

const BASELINES = path.join(sdk.BUILD_DIR, 'Release', 'bench_baselines.node');
const built = fs.existsSync(BASELINES);
const baselines = built ? require(BASELINES) : null;
const skip = built ? false : 'bench_baselines.node is not built (VARN_BUILD_BENCH=OFF or a vendor SDK)';

sdk.tempCwd();
const plugin = new VarnKtPlugin();

beforeEach(() => sdk.reset());

const fillParams = (softkeyPath) => ({
  serverAddr: '192.0.2.10', port: 18000, serverType: 2, userTokenHandle: 'handle', overWriteFlag: 1,
  fillkeyItem: { appName: 'app', keyLen: 32, softkeyPath },
});

const cases = [
  ['hello', ['abc']],
  ['setCustomConfig', ['key', '值']],
  ['reFillKeySync', ['x', 2, 3]], // without a login: the SDK's code and text
  ['fillKeySync', [fillParams('keys/a.key')]],
];

for (const [method, args] of cases) {
  test(`${method}: the baseline makes the same SDK calls and answers the same`, { skip }, () => {
    const expected = plugin[method](...args);
    const expectedCalls = sdk.calls().map(({ name, args: a }) => [name, a]);
    sdk.reset();
    assert.deepEqual(baselines[method](...args), expected);
    assert.deepEqual(sdk.calls().map(({ name, args: a }) => [name, a]), expectedCalls);
  });
}

test('reFillKeySync after a login: both succeed with the same token', { skip }, async () => {
  // The baseline logs in again: a scripted token keeps the add-on's valid.
  sdk.script('QCF_Auth', { token: 'tok-bench', times: -1 });
  await openSession(plugin);
  assert.equal(baselines.login(), 0);
  const [baseline, addon] = [baselines.reFillKeySync('x', 1, 2), plugin.reFillKeySync('x', 1, 2)];
  plugin.finish();
  assert.deepEqual([baseline, addon.code], [addon, 0]);
  assert.deepEqual(sdk.callsOf('QCF_ReFillKey').map((call) => call.args[0]), ['tok-bench', 'tok-bench']);
});

test('floorCall and workerCall settle with undefined on a later turn', { skip }, async () => {
  for (const call of [baselines.floorCall, baselines.workerCall]) {
    let settled = false;
    const promise = call().finally(() => { settled = true; });
    await Promise.resolve();
    assert.equal(settled, false);
    assert.equal(await promise, undefined);
  }
});

// The calls of a handler (its `this` and arguments) once there are `count`.
function collect(count) {
  const seen = [];
  let handler;
  const arrived = new Promise((resolve) => {
    handler = function handler(...args) {
      if (seen.push([this, ...args]) === count) resolve(seen);
    };
  });
  return { handler, arrived };
}

test('tsfnDeliver and raiseErrors call the handler as the add-on does, once per message', { skip }, async () => {
  const cases = [
    // [count, how the baseline is called, one expected call]
    [6, (h) => baselines.tsfnDeliver(h, 3, 2, '消息', -5, false), [undefined, -5, '消息']],
    [4, (h) => baselines.tsfnDeliver(h, 1, 4, 'line', undefined, true), [undefined, 'line']],
    [8, (h) => {
      baselines.registerErrorHandler(h);
      baselines.raiseErrors(4, 2, 'spm', 7, false);
    }, [undefined, 7, 'spm']],
  ];
  for (const [count, deliver, call] of cases) {
    const { handler, arrived } = collect(count);
    deliver(handler);
    assert.deepEqual(await arrived, Array(count).fill(call));
  }
  baselines.registerErrorHandler(null);
});

test('writeLogRecords appends one time-stamped record per call', { skip }, () => {
  fs.rmSync('log.txt', { force: true });
  baselines.writeLogRecords('bench line', 3);
  const lines = fs.readFileSync('log.txt', 'utf8').split(/\r?\n/);
  assert.equal(lines.pop(), '');
  assert.equal(lines.length, 3);
  for (const line of lines) assert.match(line, /^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d - bench line$/);
});

test('setDelay makes the SDK calls that reach the key server take that long', { skip }, () => {
  baselines.setDelay(30);
  const start = process.hrtime.bigint();
  plugin.reFillKeySync('x', 1, 2);
  assert.ok(Number(process.hrtime.bigint() - start) >= 30e6);
});

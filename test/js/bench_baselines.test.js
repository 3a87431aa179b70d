'use strict';
// The benchmark's baselines (bench_baselines.node) must do what they stand
// for, or its ratios mean nothing.
const { test, beforeEach } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const sdk = require('../helpers/sdk');
const { VarnKtPlugin } = require('../..');

const BASELINES = path.join(sdk.BUILD_DIR, 'Release', 'bench_baselines.node');
const baselines = fs.existsSync(BASELINES) ? require(BASELINES) : null;
const skip = baselines ? false : 'bench_baselines.node is not built (VARN_BUILD_BENCH=OFF or a vendor SDK)';

sdk.tempCwd();
const plugin = new VarnKtPlugin();

beforeEach(() => sdk.reset());

// What a call answers and the SDK calls it makes, from a fresh simulator.
const run = (call) => { sdk.reset(); return [call(), sdk.calls().map(({ name, args }) => [name, args])]; };

test('the baselines make the same SDK calls and answer the same as the add-on', { skip }, () => {
  const fill = { serverAddr: '192.0.2.10', port: 18000, serverType: 2, userTokenHandle: 'handle', overWriteFlag: 1,
    fillkeyItem: { appName: 'app', keyLen: 32, softkeyPath: 'keys/a.key' } };
  // reFillKeySync without a login: the SDK's code and text.
  for (const [method, args] of [['hello', ['abc']], ['setCustomConfig', ['key', '值']], ['reFillKeySync', ['x', 2, 3]], ['fillKeySync', [fill]]]) {
    assert.deepEqual(run(() => baselines[method](...args)), run(() => plugin[method](...args)), method);
  }
});

// Logins and refills scripted: a session would need preActivate, whose console
// line must stay out of this process's standard output, the test runner's.
test('reFillKeySync after a login: both succeed with the same token', { skip }, async () => {
  sdk.script('QCF_Auth', { token: 'tok-bench', times: 2 });
  sdk.script('QCF_ReFillKey', { code: 0, times: 2 });
  await plugin.auth();
  const [login, baseline, addon] = [baselines.login(), baselines.reFillKeySync('x', 1, 2), plugin.reFillKeySync('x', 1, 2)];
  plugin.finish();
  const tokens = sdk.callsOf('QCF_ReFillKey').map((call) => call.args[0]);
  assert.deepEqual([login, baseline, addon.code, tokens], [0, addon, 0, ['tok-bench', 'tok-bench']]);
});

test('floorCall and workerCall settle with undefined on a later turn', { skip }, async () => {
  for (const call of [baselines.floorCall, baselines.workerCall]) {
    let settled = false;
    const promise = call().finally(() => { settled = true; });
    await Promise.resolve();
    assert.deepEqual([settled, await promise], [false, undefined]);
  }
});

test('tsfnDeliver and raiseErrors call the handler as the add-on does, once per message', { skip }, async () => {
  const cases = [
    // [count, how the baseline is called, one expected call]
    [6, (h) => baselines.tsfnDeliver(h, 3, 2, '消息', -5, false), [undefined, -5, '消息']],
    [4, (h) => baselines.tsfnDeliver(h, 1, 4, 'line', undefined, true), [undefined, 'line']],
    [8, (h) => { baselines.registerErrorHandler(h); baselines.raiseErrors(4, 2, 'spm', 7, false); }, [undefined, 7, 'spm']],
  ];
  for (const [count, deliver, call] of cases) {
    const seen = [];
    // The calls of the handler: its `this` and arguments.
    await new Promise((resolve) => deliver(function handler(...args) { if (seen.push([this, ...args]) === count) resolve(); }));
    assert.deepEqual(seen, Array(count).fill(call));
  }
  baselines.registerErrorHandler(null);
});

test('writeLogRecords appends one time-stamped record per call; setDelay slows the SDK calls that reach the key server', { skip }, () => {
  fs.rmSync('log.txt', { force: true });
  baselines.writeLogRecords('bench line', 3);
  assert.match(fs.readFileSync('log.txt', 'utf8'), /^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d - bench line\r?\n){3}$/);
  baselines.setDelay(30);
  const start = process.hrtime.bigint();
  plugin.reFillKeySync('x', 1, 2);
  assert.ok(Number(process.hrtime.bigint() - start) >= 30e6);
});

'use strict';
// setEventCallback: "onCaptureError" / "onCaptureMessage" in every live instance; then SDK threads at their worst,
// in scenarios of sdk_lines.js: nothing crashes (the sanitizer run replays this file under ASan).
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const sdk = require('../helpers/sdk');
const { runScenario, runValue } = require('../helpers/scenario');

sdk.tempCwd();
const { VarnKtPlugin } = require(sdk.ROOT);
const plugin = new VarnKtPlugin();
plugin.preActivate('keys'); // installs the SDK handlers that raise the events
test.after(() => plugin.finish()); // an open SDK session keeps the process alive
test.beforeEach(() => { sdk.reset(); sdk.tempCwd(); });

// The simulator's own lines ("QCF_Custom: ok") are skipped.
const isCallLine = (message) => /^QCF_\w+: /.test(message);
const emitDuringCall = (emit) => { sdk.script('QCF_Custom', { emit }); plugin.setCustomConfig('emit', 'now'); };
const log = (message) => ({ kind: 'log', message });
// A backlog takes several turns of the loop: wait until `count()` has stood still for a few.
const queuedEventsDone = async (count = () => 0) => {
  for (let last = -1, still = 0; still < 3; last = count()) {
    await new Promise((resolve) => setImmediate(resolve));
    still = count() === last ? still + 1 : 0;
  }
};

test('a registration returns 12 and logs two records; a refusal changes nothing; the next replaces it, even from inside', async () => {
  const [target, calls] = [new VarnKtPlugin(), []];
  const logged = () => fs.readFileSync('log.txt', 'utf8').split(/\r?\n/).slice(0, -1).map((line) => line.slice(22));
  const second = (m) => isCallLine(m) || calls.push(['second', m]);
  const first = (m) => isCallLine(m) || (calls.push(['first', m]) && target.setEventCallback('onCaptureMessage', second));
  for (const name of ['事件 ü', 'onCaptureMessage']) { // a name never raised, then a real one
    assert.equal(target.setEventCallback(name, first, 'ignored'), 12);
    assert.deepEqual(logged().slice(-2), [name, 'pEngine->m_eventHandler->addEventHandler']);
  }
  const records = logged().length;
  for (const args of [['onCaptureMessage', 'not a function'], [5, second]]) assert.throws(() => target.setEventCallback(...args));
  assert.equal(logged().length, records, 'refusals log nothing');
  emitDuringCall([log('one'), log('two')]);
  await queuedEventsDone();
  assert.deepEqual(calls, [['first', 'one'], ['second', 'two']]);
});

test('every live instance gets every event, from any thread, each thread\'s in the order raised', async () => {
  const instances = [[], []];
  for (const [seen, target] of instances.map((seen) => [seen, new VarnKtPlugin()])) {
    target.setEventCallback('onCaptureError', (code, message) => seen.push(['error', code, message]));
    target.setEventCallback('onCaptureMessage', (message) => isCallLine(message) || seen.push(['message', message]));
  }
  for (const message of ['t0', 't1', 't2', 't3']) sdk.emitAsync({ message, count: 2500 });
  sdk.emitAsync({ kind: 'exception', value: -5, message: 'x', threads: 2, count: 500 });
  // 2000 events in 50 calls, every third from a thread of the stand-in's own.
  const raised = Array.from({ length: 2000 }, (_, i) =>
    ({ ...(i % 4 === 1 ? { kind: 'exception', value: -i, message: `e${i}` } : log(`m${i}`)), ownThread: i % 3 === 0 }));
  for (let i = 0; i < raised.length; i += 40) emitDuringCall(raised.slice(i, i + 40));
  const expected = raised.map(({ kind, value, message }) => (kind === 'log' ? ['message', message] : ['error', value, message]));
  assert.deepEqual(instances[0], [], 'events arrive on a later turn, not inside a call');
  sdk.joinThreads();
  await queuedEventsDone(() => instances[0].length + instances[1].length);
  // Without the flood's events (a mangled one would stay in): the finishUnderThreads test below counts them per holder.
  for (const seen of instances) assert.deepEqual(seen.filter(([, ...event]) => !/^(t\d|-5:x)$/.test(event.join(':'))), expected);
});

test('an instance collected after removing its handler is skipped safely and takes no log callback along', () => {
  assert.deepEqual(runValue('sdk_lines', 'collectedListener', { nodeArgs: ['--expose-gc'] }),
    { removed: [false, true, false], collected: true, logging: true, seen: ['queued', 'probe'] });
});

test('handlers called from many SDK threads during finish, callback changes and collection: every line logged, every event to every holder once', () => {
  // Each holder gets each message logged: 8001 + 8000 + 3 * 67.
  assert.deepEqual(runValue('sdk_lines', 'finishUnderThreads', { nodeArgs: ['--expose-gc'] }), { linesDelivered: true,
    counts: { line: 8001, fault: 8000, finishing: 67, finishFault: 67, finished: 67 }, eventsPerHolder: Array(4).fill(16202) });
});

test('a storm of 100,000 log lines from SDK threads: all logged, all delivered, or none after finish', () => {
  const seen = process.env.VARN_SDK_THREAD === '1' ? 50000 : 50001;
  assert.deepEqual(runValue('sdk_lines', 'storm'),
    { perThread: { 'storm 0': 25000, 'storm 1': 25000, 'storm 2': 25000, 'storm 3': 25000 }, seen, logged: 200000 });
});

test('process.exit with calls in flight, jobs queued and SDK threads calling the handlers exits with the requested code', () => {
  for (const [from, code] of [['main', 7], ['callback', 9], ['promise', 11]]) {
    const { status, signal, stderr } = runScenario('sdk_lines', 'exitUnderLoad', { args: [from], timeout: 60000 });
    assert.deepEqual([status, signal], [code, null], `from ${from}: ${stderr}`);
  }
});

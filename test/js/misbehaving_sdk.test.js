'use strict';
// SDK threads at their worst: nothing crashes (the sanitizer run replays
// this file under ASan). Odd outputs are in the keys tests.
const test = require('node:test');
const assert = require('node:assert/strict');
const { runValue, runScenario } = require('../helpers/scenario');

test('handlers called from many SDK threads during finish, callback changes and collection: every line logged, every event to every holder once', () => {
  const value = runValue('sdk_lines', 'finishUnderThreads', { nodeArgs: ['--expose-gc'] });
  assert.deepEqual(value, { counts: { line: 8001, fault: 8000, finishing: 67, finishFault: 67, finished: 67 },
    linesDelivered: true, eventsPerHolder: value.messages, messages: value.messages });
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


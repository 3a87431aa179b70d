'use strict';
// An SDK at its worst, through the stand-in's control interface. The results
// hold; nothing crashes (the sanitizer run replays this file under ASan).
const test = require('node:test');
const assert = require('node:assert/strict');
const sdk = require('../helpers/sdk');
const { runValue, runScenario } = require('../helpers/scenario');

sdk.tempCwd();
const plugin = new (require(sdk.ROOT).VarnKtPlugin)();

test('outputs without a NUL, null texts and odd export lengths give bounded, well-defined results', async (t) => {
  const filled = (size) => Buffer.alloc(size, 0x41);
  const group = () => plugin.createGroup('g', 32, 'n');
  const apply = () => plugin.applyKeyWithGroupID('g', 'a');
  const exported = (size, number) => [['QCF_ExportKey', { bytes: Buffer.alloc(size, 0xab), number }]];
  const cases = [ // [name, scripts, call, expected (a subset of the result)]
    ['SPM record all text, no NUL', [['QCF_GetSPMKeyInfo', { bytes: filled(396) }]],
      () => plugin.getSPMKeyInfo('a', 'b'), { keyTag: 'A'.repeat(128), keySource: 'A'.repeat(256), code: 0 }],
    ['group id filling its 64 bytes', [['QCF_CreateGroup', { bytes: filled(64) }]], group, { groupId: 'A'.repeat(64), code: 0 }],
    ['a failure whose text is null', [['QCF_CreateGroup', { code: 9, bytes: filled(64) }], ['QCF_ErrMessage', { text: null }]],
      group, { code: 9, message: '' }],
    ['export length 300', exported(300, 300), apply, { code: -1, message: 'The exported key is too long(at most 256 bytes)!', groupKey: '' }],
    ['export length 256', exported(256, 256), apply, { code: 0, groupKey: 'AB'.repeat(256) }],
    ['export length 0', exported(256, 0), apply, { code: 0, groupKey: '' }],
    ['export length -5', exported(256, -5), apply, { code: 0, groupKey: '' }],
  ];
  for (const [name, scripts, call, expected] of cases) {
    await t.test(name, async () => {
      sdk.reset();
      for (const [fn, options] of scripts) sdk.script(fn, options);
      const result = await call();
      assert.deepEqual(Object.fromEntries(Object.keys(expected).map((key) => [key, result[key]])), expected);
    });
  }
});

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


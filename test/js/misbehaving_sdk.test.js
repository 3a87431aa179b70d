'use strict';
// An SDK at its worst, through the stand-in's control interface. The results
// hold; nothing crashes (the sanitizer run replays this file under ASan).
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const sdk = require('../helpers/sdk');
const { runChild } = require('../helpers/session_child');

sdk.tempCwd();
const { VarnKtPlugin } = require(sdk.ROOT);
const plugin = new VarnKtPlugin();

test('outputs without a NUL, null texts and odd export lengths give bounded, specified results', async (t) => {
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
    ['a null token with code 0', [['QCF_Auth', { token: null, number: 60 }]], () => plugin.auth(), { token: '', code: 0 }],
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

// The child's own threads and those of the SDK overlap with finish, with
// replacements of the log callback and with instances being collected.
test('handlers called from many SDK threads during finish, callback changes and collection', () => {
  const { value } = runChild(`
    plugin.preActivate('keys');
    const delivered = { lines: 0, events: 0 };
    const count = () => { delivered.lines += 1; };
    const holders = Array.from({ length: 4 }, () => new VarnKtPlugin());
    for (const holder of holders) {
      holder.setEventCallback('onCaptureMessage', () => { delivered.events += 1; });
      holder.setEventCallback('onCaptureError', () => { delivered.events += 1; throw new Error('handler'); });
    }
    for (let i = 0; i < 4; i++) { // 8 SDK threads, not waited for
      sdk.emitAsync({ kind: 'log', message: 'line ' + i, threads: 1, count: 2000 });
      sdk.emitAsync({ kind: 'exception', value: i, message: 'fault ' + i, threads: 1, count: 2000 });
    }
    // finish itself logs from an SDK thread while it runs.
    sdk.script('QCF_Finish', { times: -1, emit: [{ kind: 'log', message: 'finishing', ownThread: true },
      { kind: 'exception', value: 1, message: 'finish fault', ownThread: true }] });
    for (let round = 0; round < 200; round++) {
      // Registered on short-lived instances: each collection releases it.
      new VarnKtPlugin().setLogCallback(count);
      if (round % 3 === 0) plugin.finish();
      if (round % 5 === 0) global.gc();
      await new Promise((resolve) => setImmediate(resolve));
    }
    sdk.joinThreads();
    plugin.setLogCallback(count);
    // One more line, with a callback surely in force.
    sdk.emitAsync({ kind: 'log', message: 'line 0', count: 1, wait: true });
    for (let i = 0; i < 20; i++) await new Promise((resolve) => setImmediate(resolve));
    const logged = logLines();
    const kinds = { line: /^line \\d$/, fault: /^fault \\d$/, finishing: /^finishing$/, finishFault: /^finish fault$/, finished: /^QCF_Finish: / };
    const counts = Object.fromEntries(Object.entries(kinds).map(([k, re]) => [k, logged.filter((l) => re.test(l)).length]));
    // Every SDK message since the holders exist, as an event to each of them.
    const messages = Object.values(counts).reduce((a, b) => a + b, 0);
    return { counts, linesDelivered: delivered.lines > 0, eventsPerHolder: delivered.events / holders.length, messages };`, { nodeArgs: ['--expose-gc'] });
  // Every line reached the log file, whatever happened to the callback, and
  // every holder got every message as an event, exactly once.
  assert.deepEqual(value, { counts: { line: 8001, fault: 8000, finishing: 67, finishFault: 67, finished: 67 },
    linesDelivered: true, eventsPerHolder: value.messages, messages: value.messages });
});

test('a storm of 100,000 log lines from SDK threads: all logged, all delivered, or none after finish', () => {
  const { value } = runChild(`
    plugin.preActivate('keys');
    const storm = async (callback) => {
      plugin.setLogCallback(callback);
      for (let i = 0; i < 4; i++) sdk.emitAsync({ message: 'storm ' + i, threads: 1, count: 25000 });
      sdk.joinThreads();
      for (let i = 0; i < 50; i++) await new Promise((resolve) => setImmediate(resolve));
    };
    const perThread = {};
    await storm((line) => { if (line.startsWith('storm ')) perThread[line] = (perThread[line] || 0) + 1; });
    let seen = 0;
    // The second storm's callback finishes the SDK half-way: deliveries
    // already queued then find no callback (finish's own line still reaches
    // the callback that is running, unless it comes from the SDK thread).
    await storm(() => { seen += 1; if (seen === 50000) plugin.finish(); });
    const logged = logLines().filter((l) => l.startsWith('storm ')).length;
    return { perThread, seen, logged };`);
  const seen = process.env.VARN_SDK_THREAD === '1' ? 50000 : 50001;
  assert.deepEqual(value, { perThread: { 'storm 0': 25000, 'storm 1': 25000, 'storm 2': 25000, 'storm 3': 25000 }, seen, logged: 200000 });
});

// process.exit() while calls are in flight, jobs queued and SDK threads
// still calling the handlers: the requested code, no crash.
test('process.exit under load exits with the requested code', async (t) => {
  for (const [name, ending, code] of [
    ['from the main script', 'process.exit(7);', 7],
    ['from the log callback', "plugin.setLogCallback(() => process.exit(9)); sdk.emitAsync({ message: 'bye', threads: 2, count: 1000 });", 9],
    ['from a settling promise', 'plugin.getSPMKeyInfo("a", "b").then(() => process.exit(11));', 11],
  ]) {
    await t.test(name, () => {
      const child = spawnSync(process.execPath, ['-e', `
        const sdk = require(${JSON.stringify(require.resolve('../helpers/sdk'))});
        sdk.tempCwd();
        const { VarnKtPlugin } = require(sdk.ROOT);
        const plugin = new VarnKtPlugin();
        plugin.preActivate('keys');
        plugin.setLogCallback(() => {});
        Array.from({ length: 3 }, () => new VarnKtPlugin()).forEach((p) => p.setEventCallback('onCaptureMessage', () => {}));
        const params = { serverAddr: 's', port: 1, serverType: 1, userTokenHandle: 't', overWriteFlag: 1, fillkeyItem: { appName: 'a', keyLen: 16, softkeyPath: 'soft.key' } };
        for (let i = 0; i < 3000; i++) { plugin.fillKey(params); plugin.getSPMKeyInfo('a', 'b'); }
        sdk.emitAsync({ kind: 'log', message: 'busy', threads: 4, count: 20000 });
        sdk.emitAsync({ kind: 'exception', message: 'busy', threads: 2, count: 20000 });
        ${ending}`], { encoding: 'utf8', timeout: 60000 });
      assert.equal(child.signal, null, child.stderr);
      assert.equal(child.status, code, child.stderr);
    });
  }
});

// An open SDK session keeps the process alive: end it.
require('node:test').after(() => plugin.finish());

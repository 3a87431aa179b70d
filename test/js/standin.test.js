'use strict';
// The stand-in libqcf and its control interface, driven through
// qcf_control.node alone: what the tests of the add-on rely on.
const assert = require('node:assert/strict');
const { beforeEach, test } = require('node:test');
const { Worker } = require('node:worker_threads');
const path = require('node:path');
const sdk = require('../helpers/sdk');
const { runChild } = require('../helpers/session_child');

const { direct, CODES, DEFAULTS } = sdk;
const pick = (object, keys) => Object.fromEntries(keys.map((key) => [key, object[key]]));

beforeEach(() => {
  sdk.reset(true);
  direct.clearHandled();
});

test('recording: arguments in call order and on the calling thread, records whole as on entry', () => {
  const [item, server, user, csp] = [Buffer.alloc(332, 0x5a), Buffer.alloc(112, 1), Buffer.alloc(100, 2), Buffer.alloc(80, 3)];
  const rows = [
    // [function, arguments, as recorded when not the same]
    ['QCF_Custom', ['键', null]],
    ['QCF_SetLogHandler', [true]],
    ['QCF_SetExceptionHandler', [false]],
    ['QCF_Init', [server, user, csp]],
    ['QCF_FillKey_WithPubkey', ['host', 4294967295, 2, '', item, 7]],
    ['QCF_CreateGroup', ['g', 1, -1, 't'], ['g', 1, -1, 't', Buffer.alloc(64)]],
    ['QCF_ExportKey', [null], [false, true, true]],
  ];
  for (const [name, args] of rows) direct[name](...args);
  assert.deepEqual(sdk.calls().map((c) => [c.name, c.args, c.thread]), rows.map(([name, args, recorded = args]) => [name, recorded, sdk.threadId()]));
  assert.deepEqual(sdk.callsRaw()[0].args[0], Buffer.from('键'));
});

test('scripts: a queue per function used up by `times`, negative never runs out; codes keep 32 bits', () => {
  sdk.script('QCF_Init', { code: 5, times: 2 });
  sdk.script('QCF_Init', { code: -7 });
  sdk.script('QCF_PreActivate', { code: 3, times: -1 });
  sdk.script('QCF_Finish', { code: 0x80000001 });
  const init = () => direct.QCF_Init(Buffer.alloc(112), Buffer.alloc(100), Buffer.alloc(80)).code;
  assert.deepEqual([init(), direct.QCF_Finish().code, init(), init(), init()], [5, -0x7fffffff, 5, -7, 0]);
  assert.deepEqual([1, 2, 3].map(() => direct.QCF_PreActivate().code), [3, 3, 3]);
  for (const bad of [['QCF_Nope', {}], ['QCF_Finish', { code: 1, emit: [{ kind: 'loud' }] }], ['QCF_Finish', { bytes: 5 }]]) {
    assert.throws(() => sdk.script(...bad), TypeError);
  }
  assert.equal(direct.QCF_Finish().code, 0, 'a refused script queues nothing');
  sdk.reset();
  assert.equal(direct.QCF_PreActivate().code, 0);
});

test('scripted outputs, never written past their buffers', () => {
  const cases = [
    // [function, script, arguments, expected properties of its result]
    ['QCF_Auth', { code: 12 }, [], { code: 12, token: DEFAULTS.token, validSeconds: 3600 }],
    ['QCF_GetSPMKeyInfo', { bytes: Buffer.alloc(128, 0x41) }, [Buffer.alloc(80)], { code: 0, info: Buffer.alloc(396).fill(0x41, 0, 128) }],
    ['QCF_GetSPMKeyInfo', { bytes: Buffer.alloc(500, 0x42) }, [Buffer.alloc(80)], { info: Buffer.alloc(396, 0x42), overrun: false }],
    ['QCF_CreateGroup', { bytes: 'x'.repeat(70), code: 4 }, ['a', 1, -1, 'b'], { code: 4, groupId: Buffer.alloc(64, 'x'), overrun: false }],
    ['QCF_ExportKey', { bytes: Buffer.alloc(300, 0xab), number: 300 }, [null], { keyLen: 300, key: Buffer.alloc(256, 0xab), overrun: false }],
    ['QCF_ApplyKeyWithGroupID', { nullHandle: true }, ['a', 'b'], { code: 0, handle: 0n }],
  ];
  for (const [name, script, args, expected] of cases) {
    sdk.script(name, script);
    assert.deepEqual(pick(direct[name](...args), Object.keys(expected)), expected, name);
  }
  sdk.script('QCF_ErrMessage', { text: '失败' });
  sdk.script('QCF_ErrMessage', { text: null });
  assert.deepEqual([1, 1, 1].map(direct.QCF_ErrMessage), ['失败', null, sdk.errorText(1)]);
});

test('handler calls: inside a call, in order, on the calling thread or an own joined thread; from emitAsync threads', () => {
  direct.QCF_SetLogHandler(true);
  direct.QCF_SetExceptionHandler(true);
  sdk.script('QCF_PreActivate', {
    emit: [{ kind: 'log', message: 'first' }, { kind: 'exception', value: 42, message: 'second', ownThread: true }, { kind: 'log', message: null }],
  });
  direct.QCF_PreActivate();
  assert.deepEqual(direct.handled().map((h) => [h.kind, h.value, h.message, h.thread === sdk.threadId()]), [
    ['log', 0, 'first', true],
    ['exception', 42, 'second', false],
    ['log', 0, null, true],
    ['log', 0, 'QCF_PreActivate: ok', true],
  ]);
  direct.clearHandled();
  sdk.emitAsync({ message: 'm', threads: 3, count: 4, wait: true });
  const threads = new Set(direct.handled().map((h) => h.thread));
  assert.deepEqual([direct.handled().length, threads.size, threads.has(sdk.threadId())], [12, 3, false]);
  // Without waiting, joinThreads waits; without a handler nothing arrives.
  direct.QCF_SetLogHandler(false);
  direct.clearHandled();
  sdk.emitAsync({ kind: 'exception', value: 3, message: 'x', threads: 2 });
  sdk.emitAsync({ kind: 'log', message: 'dropped', threads: 2 });
  sdk.joinThreads();
  assert.deepEqual(direct.handled().map((h) => [h.kind, h.message]), [['exception', 'x'], ['exception', 'x']]);
});

test('error texts: one of its own for each code, as errorText gives it', () => {
  const texts = Object.values(CODES).map((c) => direct.QCF_ErrMessage(c));
  assert.equal(new Set(texts).size, texts.length);
  assert.ok(texts.every((t) => !t.startsWith('unknown error code')));
  assert.deepEqual(texts, Object.values(CODES).map(sdk.errorText));
  assert.equal(direct.QCF_ErrMessage(-3), 'unknown error code -3');
});

test('a null pointer is answered with INVALID_ARGUMENT, in the simulator too, and even when outputs are scripted', () => {
  const [server, user, csp, item] = [112, 100, 80, 332].map((size) => Buffer.alloc(size));
  const calls = [
    ['QCF_Custom', 'k', null], ['QCF_SetKeyFilePath', null], ['QCF_Init', server, null, csp], ['QCF_Auth', false],
    ['QCF_Auth_pubkey_WithInfo', null, user], ['QCF_FillKey_WithPubkey', 'h', 1, 1, 't', item, null],
    ['QCF_GetSPMKeyInfo', csp, false], ['QCF_CreateGroup', 'a', 1, null, 'b', null], ['QCF_ApplyKeyWithGroupID', 'a', 'b', false],
    ['QCF_ExportKey', 1n, false], ['QCF_ReportSPMWithSignPubkey', null, 'b', 1],
  ];
  for (const simulate of [false, true]) {
    sdk.reset({ simulate });
    for (const [name, ...args] of calls) {
      sdk.script(name, { bytes: 'x', number: 1 });
      assert.equal(direct[name](...args).code, CODES.INVALID_ARGUMENT, name);
    }
  }
});

const DELAYED = ['QCF_PreActivate', 'QCF_Init', 'QCF_Auth', 'QCF_Auth_pubkey_WithInfo', 'QCF_FillKey_WithPubkey', 'QCF_ReFillKey',
  'QCF_GetSPMKeyInfo', 'QCF_CreateGroup', 'QCF_ApplyKeyWithGroupID', 'QCF_ExportKey', 'QCF_ReportSPMWithSignPubkey', 'QCF_Finish'];
const PROMPT = ['QCF_Custom', 'QCF_SetKeyFilePath', 'QCF_SetLogHandler', 'QCF_SetExceptionHandler', 'QCF_ErrMessage', 'QCF_GetSDKVersion'];
const took = (call) => { const start = performance.now(); const result = call(); return [performance.now() - start, result]; };

test('a slow SDK: the calls that reach the key server or change the session wait, recorded and scripted as ever', () => {
  const DELAY = 60;
  for (const simulate of [false, true]) {
    sdk.reset({ simulate });
    sdk.setDelay(DELAY);
    for (const name of [...DELAYED, ...PROMPT]) {
      const [ms] = took(() => direct[name]());
      assert.ok(DELAYED.includes(name) ? ms >= DELAY : ms < DELAY, `${name} took ${ms} ms`);
    }
    assert.deepEqual(sdk.names(), [...DELAYED, ...PROMPT]);
  }
  direct.QCF_SetLogHandler(true);
  direct.clearHandled();
  sdk.script('QCF_Finish', { code: 7, emit: [{ message: 'scripted' }] });
  assert.deepEqual([direct.QCF_Finish().code, direct.handled()[0].message, sdk.names().at(-1)], [7, 'scripted', 'QCF_Finish']);
  assert.throws(() => sdk.setDelay(-1), TypeError);
  sdk.reset();
  assert.ok(took(() => direct.QCF_Finish())[0] < DELAY, 'reset returns to no delay');
});

test('a slow SDK: delayed calls on two threads wait side by side', async () => {
  const DELAY = 300;
  sdk.setDelay(DELAY);
  const control = path.join(sdk.BUILD_DIR, 'Release', 'qcf_control.node');
  const worker = new Worker(`const { parentPort } = require('node:worker_threads');
    const { direct } = require(${JSON.stringify(control)});
    parentPort.on('message', () => parentPort.postMessage(direct.QCF_Finish().code));
    parentPort.postMessage('ready');`, { eval: true });
  const reply = () => new Promise((resolve) => worker.once('message', resolve));
  await reply();
  const start = performance.now();
  const done = reply();
  worker.postMessage('go');
  direct.QCF_Finish();
  assert.equal(await done, 0);
  assert.ok(performance.now() - start < 2 * DELAY, 'the second call did not wait behind the first');
  await worker.terminate();
});

test('a slow SDK from QCF_STANDIN_DELAY_MS, for the add-on\'s calls in a process of its own', () => {
  for (const [value, delay] of [['60', 60], ['60ms', 0], ['-60', 0]]) {
    const [setter, refill, finish] = runChild(`sdk.reset();
      const took = (call) => { const start = performance.now(); call(); return performance.now() - start; };
      return [took(() => plugin.setCustomConfig('k', 'v')), took(() => plugin.reFillKeySync('t', 1, 1)), took(() => plugin.finish())];`,
    { env: { QCF_STANDIN_DELAY_MS: value } }).value;
    assert.ok(setter < 60 && (delay ? refill >= delay && finish >= delay : refill < 60 && finish < 60), `${value}: ${[setter, refill, finish]}`);
  }
});

test("the package's standin module leaves the simulator as it is; reset() keeps it unless asked for the permissive mode", () => {
  const { spawnSync } = require('node:child_process');
  const child = spawnSync(process.execPath, ['-e', `
    const standin = require(${JSON.stringify(require('node:path').join(sdk.ROOT, 'standin'))});
    const modes = [standin.simulating()];
    standin.reset({ simulate: false });
    modes.push(standin.simulating());
    standin.reset();
    modes.push(standin.simulating());
    console.log(JSON.stringify(modes));
    process.exit(0);`], { encoding: 'utf8', timeout: 30000 });
  assert.equal(child.status, 0, child.stderr);
  assert.deepEqual(JSON.parse(child.stdout), [true, false, true]);
});

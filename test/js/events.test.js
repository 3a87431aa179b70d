'use strict';
// setEventCallback and the events "onCaptureError" / "onCaptureMessage" that
// SDK exceptions and log lines raise in every live instance: registration,
// argument faults, delivery on a later turn, order across threads, handlers
// that throw, and an instance collected while its deliveries are queued.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const sdk = require('../helpers/sdk');

sdk.tempCwd();
const { VarnKtPlugin } = require(sdk.ROOT);
const plugin = new VarnKtPlugin();
// Installs the SDK handlers that raise the events.
plugin.preActivate('keys');

// The stand-in logs every call it serves ("QCF_Custom: ok"); the tests look
// only at the lines they script.
const isCallLine = (message) => /^QCF_\w+: /.test(message);

// Registers recording handlers for both events on `target`.
function record(target = new VarnKtPlugin()) {
  const seen = [];
  target.setEventCallback('onCaptureError', (code, message) => {
    seen.push(['error', code, message]);
  });
  target.setEventCallback('onCaptureMessage', (message) => {
    if (!isCallLine(message)) seen.push(['message', message]);
  });
  return seen;
}

// Makes the SDK emit `emit` from within one synchronous SDK call.
function emitDuringCall(emit) {
  sdk.script('QCF_Custom', { emit });
  plugin.setCustomConfig('emit', 'now');
}

// Lets the event loop run until the jobs queued so far have run.
function queuedEventsDone() {
  return new Promise((resolve) => setImmediate(() => setImmediate(resolve)));
}

function logMessages() {
  if (!fs.existsSync('log.txt')) return [];
  return fs
    .readFileSync('log.txt', 'utf8')
    .split(/\r?\n/)
    .filter(Boolean)
    .map((line) => line.replace(/^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} - /, ''));
}

test.beforeEach(() => {
  sdk.reset();
  sdk.tempCwd();
});

test('a registration returns 12 and logs the name, then the registry call', () => {
  const target = new VarnKtPlugin();
  for (const name of ['onCaptureMessage', '事件 ü', '']) {
    const before = logMessages().length;
    assert.equal(target.setEventCallback(name, () => {}, 'ignored'), 12);
    assert.deepEqual(logMessages().slice(before), [
      name,
      'pEngine->m_eventHandler->addEventHandler',
    ]);
  }
});

test('argument faults throw and leave the registry as it was', async () => {
  const target = new VarnKtPlugin();
  const seen = [];
  target.setEventCallback('onCaptureMessage', (m) => {
    if (!isCallLine(m)) seen.push(m);
  });
  const first = 'The first argument is wrong(string expected)!';
  const second = 'The second argument is wrong(function expected)!';
  const faults = [
    [[], first],
    [[5, () => {}], first],
    [[new String('onCaptureMessage'), () => {}], first],
    [['onCaptureMessage'], second],
    [['onCaptureMessage', 'not a function'], second],
    [['onCaptureMessage', {}], second],
  ];
  const before = logMessages().length;
  for (const [args, message] of faults) {
    assert.throws(() => target.setEventCallback(...args), { message }, String(args));
  }
  assert.deepEqual(logMessages().slice(before), [], 'no records for faults');
  assert.throws(() => VarnKtPlugin.prototype.setEventCallback.call({}, 'x', () => {}));

  emitDuringCall([{ kind: 'log', message: 'still the first handler' }]);
  await queuedEventsDone();
  assert.deepEqual(seen, ['still the first handler']);
});

test('a second registration replaces the first, even from inside the first', async () => {
  const target = new VarnKtPlugin();
  const calls = [];
  const second = (m) => calls.push(['second', m]);
  target.setEventCallback('onCaptureMessage', (m) => {
    if (isCallLine(m)) return;
    calls.push(['first', m]);
    // Replaces the handler that is running; its entry is released now.
    target.setEventCallback('onCaptureMessage', second);
  });
  emitDuringCall([
    { kind: 'log', message: 'one' },
    { kind: 'log', message: 'two' },
  ]);
  await queuedEventsDone();
  assert.deepEqual(
    calls.filter(([, m]) => !isCallLine(m)),
    [
      ['first', 'one'],
      ['second', 'two'],
    ],
  );
});

test('handlers get (code, message) or (message) with this undefined', async () => {
  const target = new VarnKtPlugin();
  const seen = [];
  target.setEventCallback('onCaptureError', function (...args) {
    seen.push({ self: this, args });
  });
  target.setEventCallback('onCaptureMessage', function (...args) {
    if (!isCallLine(args[0])) seen.push({ self: this, args });
  });
  emitDuringCall([
    { kind: 'exception', value: -5, message: 'spm not found' },
    { kind: 'exception', value: 2147483647, message: '' },
    { kind: 'exception', value: -2147483648, message: '密钥错误 ü' },
    { kind: 'exception', value: 7, message: null },
    { kind: 'log', message: '日志 line' },
    { kind: 'log', message: null },
  ]);
  await queuedEventsDone();
  assert.deepEqual(seen, [
    { self: undefined, args: [-5, 'spm not found'] },
    { self: undefined, args: [2147483647, ''] },
    { self: undefined, args: [-2147483648, '密钥错误 ü'] },
    { self: undefined, args: [7, ''] },
    { self: undefined, args: ['日志 line'] },
    { self: undefined, args: [''] },
  ]);
});

test('a handler under any other name is stored but never called', async () => {
  const target = new VarnKtPlugin();
  const called = [];
  for (const name of ['oncapturemessage', 'onCaptureError ', 'onCaptureLog', '']) {
    target.setEventCallback(name, () => called.push(name));
  }
  const seen = record(target);
  emitDuringCall([
    { kind: 'log', message: 'm' },
    { kind: 'exception', value: 1, message: 'e' },
  ]);
  await queuedEventsDone();
  assert.deepEqual(called, []);
  assert.deepEqual(seen, [
    ['message', 'm'],
    ['error', 1, 'e'],
  ]);
});

test('a handler that throws does not stop the next delivery', async () => {
  const target = new VarnKtPlugin();
  const seen = [];
  const uncaught = [];
  const onUncaught = (err) => uncaught.push(err);
  process.on('uncaughtException', onUncaught);
  try {
    target.setEventCallback('onCaptureMessage', (m) => {
      if (isCallLine(m)) return;
      seen.push(m);
      if (m === 'throw an Error') throw new Error('from the handler');
      if (m === 'throw a string') throw 'a string';
    });
    target.setEventCallback('onCaptureError', () => {
      throw new TypeError('from the error handler');
    });
    emitDuringCall([
      { kind: 'log', message: 'throw an Error' },
      { kind: 'exception', value: -5, message: 'x' },
      { kind: 'log', message: 'throw a string' },
      { kind: 'log', message: 'after' },
    ]);
    await queuedEventsDone();
    // Nothing is left pending: a plain call into JavaScript still works.
    assert.equal(target.hello('still'), 'still world');
  } finally {
    process.off('uncaughtException', onUncaught);
  }
  assert.deepEqual(seen, ['throw an Error', 'throw a string', 'after']);
  assert.deepEqual(uncaught, []);
});

test('promise reactions of a handler run before the next delivery', async () => {
  const target = new VarnKtPlugin();
  const steps = [];
  target.setEventCallback('onCaptureMessage', (m) => {
    if (isCallLine(m)) return;
    steps.push(m);
    Promise.resolve().then(() => steps.push(`${m} reaction`));
  });
  emitDuringCall([
    { kind: 'log', message: 'a' },
    { kind: 'log', message: 'b' },
  ]);
  await queuedEventsDone();
  assert.deepEqual(steps, ['a', 'a reaction', 'b', 'b reaction']);
});

test('every live instance gets every event, in the order the SDK raised them', async () => {
  const first = record();
  const second = record();
  // The SDK's own threads (ownThread) and the calling thread take turns
  // while the JavaScript thread is inside the SDK call.
  const emit = [];
  const expected = [];
  for (let i = 0; i < 2000; i++) {
    const ownThread = i % 3 === 0;
    if (i % 4 === 1) {
      emit.push({ kind: 'exception', value: -i, message: `e${i}`, ownThread });
      expected.push(['error', -i, `e${i}`]);
    } else {
      emit.push({ kind: 'log', message: `m${i}`, ownThread });
      expected.push(['message', `m${i}`]);
    }
  }
  emitDuringCall(emit);
  assert.deepEqual(first, [], 'events arrive on a later turn, not inside the call');
  await queuedEventsDone();
  assert.deepEqual(first, expected);
  assert.deepEqual(second, expected);
});

test('thousands of events from several SDK threads all arrive', async () => {
  const instances = [record(), record()];
  const perThread = 2500;
  const threads = ['t0', 't1', 't2', 't3'];
  for (const message of threads) {
    sdk.emitAsync({ kind: 'log', message, threads: 1, count: perThread });
  }
  sdk.emitAsync({ kind: 'exception', value: -5, message: 'x', threads: 2, count: 500 });
  // Meanwhile the JavaScript thread raises its own, numbered, in SDK calls.
  const own = [];
  for (let i = 0; i < 50; i++) {
    emitDuringCall([{ kind: 'log', message: `js${i}` }]);
    own.push(`js${i}`);
  }
  sdk.joinThreads();
  await queuedEventsDone();

  for (const seen of instances) {
    const counts = {};
    for (const [kind, a, b] of seen) {
      const key = kind === 'error' ? `${a}:${b}` : a.startsWith('js') ? 'js' : a;
      counts[key] = (counts[key] || 0) + 1;
    }
    assert.deepEqual(counts, {
      t0: perThread,
      t1: perThread,
      t2: perThread,
      t3: perThread,
      '-5:x': 1000,
      js: 50,
    });
    const jsOrder = seen.filter(([, m]) => typeof m === 'string' && m.startsWith('js'));
    assert.deepEqual(jsOrder.map(([, m]) => m), own);
  }
});

// The child: `doomed` never gets handlers, so nothing keeps it alive. An
// asynchronous call's completion makes the SDK log while `doomed` exists, so a
// delivery for it is queued; the completion's promise reaction drops `doomed`
// and collects it, and the native instance is destroyed before the queued
// deliveries run. A new instance created right then may take over the freed
// memory; it must see only what is raised after it exists.
const COLLECTED_CHILD = `
'use strict';
const sdk = require(process.argv[1]);
sdk.tempCwd();
const { VarnKtPlugin } = require(sdk.ROOT);
let doomed = new VarnKtPlugin();
const keeper = new VarnKtPlugin();
keeper.preActivate('keys');
let logLines = 0;
keeper.setLogCallback(() => { logLines++; });
// Destroying any instance ends the log callback: a way to see it happened.
function destroyed() {
  const before = logLines;
  sdk.script('QCF_Custom', { emit: [{ kind: 'log', message: 'probe' }] });
  keeper.setCustomConfig('probe', '1');
  return logLines === before;
}
sdk.script('QCF_GetSPMKeyInfo', { emit: [{ kind: 'log', message: 'queued' }] });
keeper.getSPMKeyInfo('a', 'b').then(() => {
  doomed = null;
  global.gc();
  setImmediate(() => {
    const collected = destroyed();
    const seen = [];
    const late = new VarnKtPlugin();
    late.setEventCallback('onCaptureMessage', (m) => seen.push(m));
    sdk.script('QCF_Custom', { emit: [{ kind: 'log', message: 'after' }] });
    late.setCustomConfig('after', '1');
    setImmediate(() => setImmediate(() => {
      console.log('RESULT ' + JSON.stringify({ collected, seen }));
      process.exit(0);
    }));
  });
});
`;

test('an instance collected while its deliveries are queued is skipped safely', () => {
  const runs = 5;
  for (let run = 0; run < runs; run++) {
    const child = spawnSync(
      process.execPath,
      ['--expose-gc', '-e', COLLECTED_CHILD, require.resolve('../helpers/sdk')],
      { encoding: 'utf8', env: process.env, timeout: 30000 },
    );
    assert.equal(child.status, 0, `child ended ${child.status}/${child.signal}: ${child.stderr}`);
    const line = child.stdout.split('\n').find((l) => l.startsWith('RESULT '));
    const result = JSON.parse(line.slice('RESULT '.length));
    assert.equal(result.collected, true, 'the instance was destroyed before the deliveries ran');
    assert.deepEqual(
      result.seen.filter((m) => !isCallLine(m)),
      ['after'],
    );
  }
});

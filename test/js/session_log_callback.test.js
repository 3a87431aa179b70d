'use strict';
// setLogCallback and the SDK's log lines: synchronous delivery within SDK
// calls, delivery through the dispatcher from SDK threads, replacement and
// release of the registration, callbacks that throw or re-enter. The SDK
// handlers are installed by preActivate, which prints, so every case runs in
// a child process.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const sdk = require('../helpers/sdk');
const { runChild } = require('../helpers/session_child');

sdk.tempCwd();

// In every child: handlers installed, a clean stand-in, a recording callback
// factory, and waiting for turns of the event loop.
const PRELUDE = `
  plugin.preActivate('k.key');
  sdk.reset();
  const recorder = (into) => function (message) { 'use strict'; into.push(message); };
  const turns = (n = 3) => new Promise((resolve) => {
    const step = (left) => (left === 0 ? resolve() : setImmediate(step, left - 1));
    step(n);
  });
  const until = async (condition) => {
    for (let i = 0; i < 2000 && !condition(); i++) await new Promise((r) => setTimeout(r, 1));
  };
  let uncaught = 0;
  process.on('uncaughtException', () => { uncaught++; });
`;
const child = (body, options) => runChild(PRELUDE + body, options).value;

test('lines logged within an SDK call reach the callback before the call returns, with this undefined', () => {
  const value = child(`
    const seen = [];
    plugin.setLogCallback(function (message) {
      'use strict';
      seen.push({ message, thisValue: String(this), lastCall: sdk.names().at(-1) });
    });
    sdk.script('QCF_Init', { emit: [{ kind: 'log', message: 'first' }, { kind: 'log', message: 'zweite Zeile, 第二行' }] });
    const result = await plugin.init(1, 'u', 'd');
    return { seen, result, log: logLines() };`);
  assert.deepEqual(value.seen, [
    { message: 'first', thisValue: 'undefined', lastCall: 'QCF_Init' },
    { message: 'zweite Zeile, 第二行', thisValue: 'undefined', lastCall: 'QCF_Init' },
    { message: 'QCF_Init: ok', thisValue: 'undefined', lastCall: 'QCF_Init' },
  ]);
  assert.equal(value.result.code, 0);
  assert.deepEqual(value.log.slice(-3), ['first', 'zweite Zeile, 第二行', 'QCF_Init: ok']);
});

test('the last registration wins; a refused one leaves it in force', () => {
  const value = child(`
    const a = []; const b = [];
    plugin.setLogCallback(recorder(a));
    const other = new VarnKtPlugin();
    const returned = other.setLogCallback(recorder(b));
    let thrown;
    try { plugin.setLogCallback('not a function'); } catch (err) { thrown = err.message; }
    await plugin.auth();
    return { a, b, returned, thrown };`);
  assert.deepEqual(value, {
    a: [], b: ['QCF_Auth: ok'], returned: 0,
    thrown: 'The first argument is wrong(function excepted)!',
  });
});

test('finish releases the callback after QCF_Finish; lines then go to the log file only', () => {
  const value = child(`
    const a = []; const b = [];
    plugin.setLogCallback(recorder(a));
    plugin.finish();
    await plugin.auth();
    const afterFinish = [...a];
    plugin.setLogCallback(recorder(b));
    await plugin.auth();
    return { afterFinish, b, log: logLines() };`);
  assert.deepEqual(value.afterFinish, ['QCF_Finish: ok']);
  assert.deepEqual(value.b, ['QCF_Auth: ok']);
  assert.deepEqual(value.log.slice(-3), ['QCF_Finish: ok', 'QCF_Auth: ok', 'QCF_Auth: ok']);
});

test('collecting any instance releases the callback; the registering one is kept alive by it', () => {
  const value = child(`
    const seen = [];
    let registering = new VarnKtPlugin();
    registering.setLogCallback(recorder(seen));
    const registeringRef = new WeakRef(registering);
    registering = null;
    const collect = async () => { for (let i = 0; i < 5; i++) { global.gc(); await turns(); } };
    await collect();
    const keptAlive = registeringRef.deref() !== undefined;
    await plugin.auth();

    let bystander = new VarnKtPlugin();
    const bystanderRef = new WeakRef(bystander);
    bystander = null;
    await collect();
    const collected = bystanderRef.deref() === undefined;
    await plugin.auth();
    return { keptAlive, collected, seen, log: logLines().slice(-2) };`, { nodeArgs: ['--expose-gc'] });
  assert.deepEqual(value, {
    keptAlive: true,
    collected: true,
    seen: ['QCF_Auth: ok'],
    log: ['QCF_Auth: ok', 'QCF_Auth: ok'],
  });
});

test('a callback that throws disturbs neither the SDK call nor later lines', () => {
  const value = child(`
    let calls = 0;
    plugin.setLogCallback(() => { calls++; throw new Error('callback failed'); });
    sdk.script('QCF_Init', { emit: [1, 2, 3].map((n) => ({ kind: 'log', message: 'line ' + n })) });
    const result = await plugin.init(1, 'u', 'd');
    sdk.emitAsync({ message: 'from a thread', threads: 2, count: 2, wait: true });
    await until(() => calls === 8);
    await turns();
    return { result, calls, uncaught, log: logLines().slice(-8) };`);
  assert.deepEqual(value, {
    result: { code: 0, message: 'initialization successful' },
    calls: 8,
    uncaught: 0,
    log: ['line 1', 'line 2', 'line 3', 'QCF_Init: ok', ...Array(4).fill('from a thread')],
  });
});

test('lines logged on SDK threads arrive later, on the JavaScript thread, through the dispatcher', () => {
  const value = child(`
    const seen = [];
    plugin.setLogCallback(recorder(seen));
    const threadLines = ['t1', 't2', 't3'].map((message) => ({ kind: 'log', message, ownThread: true }));
    sdk.script('QCF_Auth', { emit: [...threadLines, { kind: 'log', message: 'on the JS thread' }] });
    await plugin.auth();
    const duringCall = [...seen];
    await until(() => seen.length === 5);

    seen.length = 0;
    sdk.emitAsync({ message: 'busy', threads: 4, count: 25, wait: true });
    const rightAfterEmit = seen.length;
    await until(() => seen.length === 100);
    await turns();
    return { duringCall, rightAfterEmit, delivered: seen.length };`);
  // Only the line of the JavaScript thread arrives within the SDK call.
  assert.deepEqual(value.duringCall, ['on the JS thread', 'QCF_Auth: ok']);
  assert.equal(value.rightAfterEmit, 0);
  assert.equal(value.delivered, 100);
});

test('thread lines keep their order and go to whatever callback is registered when they are delivered', () => {
  const value = child(`
    const a = []; const b = []; const c = [];
    plugin.setLogCallback(recorder(a));
    sdk.script('QCF_Auth', { emit: ['t1', 't2', 't3'].map((message) => ({ kind: 'log', message, ownThread: true })) });
    await plugin.auth();
    plugin.setLogCallback(recorder(b));   // before the dispatcher has run
    await until(() => b.length === 3);

    sdk.emitAsync({ message: 'dropped', wait: true });
    plugin.finish();                       // nothing registered when it runs
    await turns(10);
    plugin.setLogCallback(recorder(c));
    await turns(10);
    return { a, b, c, log: logLines().filter((line) => line === 'dropped') };`);
  assert.deepEqual(value.a, ['QCF_Auth: ok']);
  assert.deepEqual(value.b, ['t1', 't2', 't3', 'QCF_Finish: ok']);
  assert.deepEqual(value.c, [], 'lines are not kept for a later registration');
  assert.deepEqual(value.log, ['dropped']);
});

test('a callback may call finish or setLogCallback; the change counts from the next line', () => {
  const value = child(`
    const lines = (...messages) => ({ emit: messages.map((message) => ({ kind: 'log', message })) });
    const a = []; const b = [];

    plugin.setLogCallback(function (message) {
      a.push(message);
      if (message === 'switch') plugin.setLogCallback(recorder(b));
    });
    sdk.script('QCF_Auth', lines('before', 'switch', 'after'));
    await plugin.auth();

    const c = [];
    plugin.setLogCallback(function (message) {
      c.push(message);
      if (message === 'stop') {
        plugin.finish();
        global.gc();   // nothing the running callback needs may go
        c.push('still running');
      }
    });
    sdk.script('QCF_Auth', lines('one', 'stop', 'not delivered'));
    const result = await plugin.auth();

    const d = [];
    plugin.setLogCallback(function (message) {
      d.push(message);
      if (message === 'nested') plugin.reFillKeySync('a', 1, 2);   // an SDK call inside the callback
    });
    sdk.script('QCF_Auth', lines('nested'));
    sdk.script('QCF_ReFillKey', { code: 0, ...lines('inner') });
    await plugin.auth();
    return { a, b, c, d, code: result.code, uncaught };`, { nodeArgs: ['--expose-gc'] });
  assert.deepEqual(value.a, ['before', 'switch']);
  assert.deepEqual(value.b, ['after', 'QCF_Auth: ok']);
  // finish's own line still reaches the callback that is running.
  assert.deepEqual(value.c, ['one', 'stop', 'QCF_Finish: ok', 'still running']);
  assert.deepEqual(value.d, ['nested', 'inner', 'QCF_ReFillKey: ok', 'QCF_Auth: ok']);
  assert.equal(value.code, 0);
  assert.equal(value.uncaught, 0);
});

test('SDK exceptions and null messages are logged; exceptions never reach the callback', () => {
  const value = child(`
    const seen = [];
    plugin.setLogCallback(recorder(seen));
    sdk.script('QCF_Auth', { emit: [
      { kind: 'exception', value: 7, message: 'sdk exception' },
      { kind: 'exception', value: 8, message: null },
      { kind: 'log', message: null },
      { kind: 'exception', value: 9, message: 'on a thread', ownThread: true },
    ] });
    await plugin.auth();
    await turns(10);
    return { seen, log: logLines() };`);
  assert.deepEqual(value.seen, ['', 'QCF_Auth: ok']);
  assert.deepEqual(value.log.slice(-5), ['sdk exception', '', '', 'on a thread', 'QCF_Auth: ok']);
});

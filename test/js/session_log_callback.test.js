'use strict';
// setLogCallback. preActivate installs the SDK handlers and prints: children.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const sdk = require('../helpers/sdk');
const { runChild } = require('../helpers/session_child');

sdk.tempCwd();

const PRELUDE = `
  plugin.preActivate('k.key');
  sdk.reset();
  // Every callback throws after it records: that must disturb nothing (an
  // exception reaching the process would end the child).
  const recorder = (into) => (message) => { into.push(message); throw new Error('callback failed'); };
  const lines = (...messages) => ({ emit: messages.map((message) => ({ kind: 'log', message })) });
  const turns = async (n = 3) => { for (let i = 0; i < n; i++) await new Promise((r) => setImmediate(r)); };
`;
const child = (body, options) => runChild(PRELUDE + body, options).value;

test('lines logged within an SDK call reach the callback before the call returns; exceptions are only logged', () => {
  const value = child(`
    const seen = [];
    plugin.setLogCallback(function (m) { 'use strict'; seen.push([m, String(this), sdk.names().at(-1)]); throw m; });
    sdk.script('QCF_Init', { emit: [{ kind: 'log', message: '第二行' }, { kind: 'log', message: null },
      { kind: 'exception', value: 7, message: 'sdk exception' }, { kind: 'exception', value: 8, message: null }] });
    const result = await plugin.init(1, 'u', 'd');
    await turns();
    return { seen, result, log: logLines().slice(-5) };`);
  assert.deepEqual(value, {
    seen: ['第二行', '', 'QCF_Init: ok'].map((m) => [m, 'undefined', 'QCF_Init']),
    result: { code: 0, message: 'initialization successful' },
    log: ['第二行', '', 'sdk exception', '', 'QCF_Init: ok'],
  });
});

test('finish releases the callback, collecting a bystander does not; the last registration wins; a refused one changes nothing', () => {
  const value = child(`
    const a = []; const b = []; const c = [];
    const collect = async () => { for (let i = 0; i < 5; i++) { global.gc(); await turns(); } };
    const registering = new WeakRef(new VarnKtPlugin());
    registering.deref().setLogCallback(recorder(c));
    await collect();
    const kept = registering.deref() !== undefined; // by its callback
    await plugin.auth();
    const bystander = new WeakRef(new VarnKtPlugin());
    await collect();
    await plugin.auth();
    plugin.setLogCallback(recorder(a));
    const returned = new VarnKtPlugin().setLogCallback(recorder(b));
    try { plugin.setLogCallback('not a function'); } catch {}
    await plugin.auth();
    plugin.finish();
    await plugin.auth(); // to the log file only
    const log = logLines().slice(-3);
    return { a, b, c, returned, log, kept, collected: bystander.deref() === undefined };`, { nodeArgs: ['--expose-gc'] });
  assert.deepEqual(value, {
    a: [], b: ['QCF_Auth: ok', 'QCF_Finish: ok'], c: ['QCF_Auth: ok', 'QCF_Auth: ok'], returned: 0,
    log: ['QCF_Auth: ok', 'QCF_Finish: ok', 'QCF_Auth: ok'], kept: true, collected: true,
  });
});

test('lines of SDK threads arrive later through the dispatcher, in order, to the callback registered then', () => {
  const value = child(`
    const a = []; const b = [];
    plugin.setLogCallback(recorder(a));
    sdk.script('QCF_Auth', { emit: [...['t1', 't2', 't3'].map((message) => ({ kind: 'log', message, ownThread: true })),
      { kind: 'log', message: 'on the JS thread' }] });
    await plugin.auth();
    plugin.setLogCallback(recorder(b)); // before the dispatcher has run
    await turns();
    sdk.emitAsync({ message: 'dropped', wait: true });
    plugin.finish(); // nothing registered when it is delivered
    await turns(10);
    return { a, b, dropped: logLines().filter((l) => l === 'dropped') };`);
  assert.deepEqual(value, {
    a: ['on the JS thread', 'QCF_Auth: ok'], b: ['t1', 't2', 't3', 'QCF_Finish: ok'], dropped: ['dropped'],
  });
});

test('a callback may call finish, setLogCallback or the SDK; the change counts from the next line', () => {
  const value = child(`
    const a = []; const b = []; const c = []; const d = [];
    plugin.setLogCallback((m) => { a.push(m); if (m === 'switch') plugin.setLogCallback(recorder(b)); });
    sdk.script('QCF_Auth', lines('before', 'switch', 'after'));
    await plugin.auth();
    plugin.setLogCallback((m) => {
      c.push(m);
      if (m === 'stop') { plugin.finish(); global.gc(); c.push('still running'); } // nothing it needs may go
    });
    sdk.script('QCF_Auth', lines('one', 'stop', 'not delivered'));
    const { code } = await plugin.auth();
    plugin.setLogCallback((m) => { d.push(m); if (m === 'nested') plugin.reFillKeySync('a', 1, 2); });
    sdk.script('QCF_Auth', lines('nested'));
    sdk.script('QCF_ReFillKey', { code: 0, ...lines('inner') });
    await plugin.auth();
    return { a, b, c, d, code };`, { nodeArgs: ['--expose-gc'] });
  assert.deepEqual(value, {
    a: ['before', 'switch'], b: ['after', 'QCF_Auth: ok'],
    c: ['one', 'stop', 'QCF_Finish: ok', 'still running'], // finish's own line reaches the running callback
    d: ['nested', 'inner', 'QCF_ReFillKey: ok', 'QCF_Auth: ok'], code: 0,
  });
});

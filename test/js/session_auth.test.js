'use strict';
// preActivate, init, auth, auth_pubkey and finish (argument faults:
// catalogue.test.js): SDK calls, results, login records, the token the refills
// send, console lines, and the promise-and-worker frame of the promise methods.
const test = require('node:test');
const assert = require('node:assert/strict');
const asyncHooks = require('node:async_hooks');
const fs = require('node:fs');
const path = require('node:path');
const sdk = require('../helpers/sdk');
const { runScenario } = require('../helpers/scenario');
const { preload } = require('../helpers/preload');

sdk.tempCwd();
const plugin = new (require(sdk.ROOT).VarnKtPlugin)();
// Pre-activated once, before any test: its console line then comes before the
// test runner's first message on the same standard output, where it cannot
// land inside one (the console lines themselves are checked in scenarios).
plugin.preActivate('k.key');
test.after(() => plugin.finish()); // an open SDK session keeps the process alive
test.beforeEach(() => sdk.clearCalls());
// With the SDK thread, calls go there instead of to a worker.
const SDK_THREAD = process.env.VARN_SDK_THREAD === '1';

const DEFAULTS = ('logLevel=1 curlConnectTimeout=30 keyTemporaryCapacity=256 logDumpMaxCount=3 curlTryConnectTimeout=2 '
  + 'curlTryConnectPeriod=30 autoChooseSPM=true logFileCapacity=1 ignoreSpmInitFail=true').split(' ').map((s) => s.split('='));

// The defaults and the key file path follow QCF_PreActivate whatever it returned.
const sequence = (dir, keyType, failedWith) => [
  ['QCF_SetExceptionHandler', [true]], ['QCF_SetLogHandler', [true]],
  ['QCF_Custom', dir ? ['logDir', dir] : ['userDataDir', 'log/']], ['QCF_Custom', ['UkeyType', keyType]],
  ['QCF_PreActivate', []], ...DEFAULTS.map((pair) => ['QCF_Custom', pair]), ['QCF_SetKeyFilePath', ['k.key']],
  ...(failedWith === undefined ? [] : [['QCF_ErrMessage', [failedWith]]]),
];
const OK = '【预激活】成功！\n';

// [arguments, script, SDK calls, console output, result]
const PRE_CASES = [
  [['k.key'], {}, sequence(undefined, '6'), OK, 0],
  [['k.key', 'logs', '3'], {}, sequence('logs', '3'), `cc_logPath: logs\n${OK}`, 0],
  [['k.key', 'logs', 3, 'extra'], {}, sequence('logs', '6'), `cc_logPath: logs\n${OK}`, 0], // not a string, extra: ignored
  [['k.key'], { code: -1 }, sequence(undefined, '6', -1), `【预激活】执行失败：0XFFFFFFFF(${sdk.errorText(-1)})\n`, -1],
  [['k.key'], { code: -2, text: null }, sequence(undefined, '6', -2), '【预激活】执行失败：0XFFFFFFFE()\n', -2],
];

test('preActivate: SDK calls in order, console lines and the returned code', () => {
  const { stdout, value, stderr } = runScenario('session', 'preActivate', { args: PRE_CASES.map(([args, script]) => [args, script]) });
  assert.deepEqual([value, stdout.toString('utf8'), stderr],
    [PRE_CASES.map(([, , calls, , code]) => ({ code, calls })), PRE_CASES.map((c) => c[3]).join(''), '']);
});

test('preActivate converts both paths to the ANSI code page, not the key type', {
  skip: process.platform === 'win32' && 'the code page is the system one on Windows',
}, () => {
  const { stdout, value, stderr } = runScenario('session', 'preActivateAnsi', { env: { VARN_ANSI_CODEPAGE: 'GBK' } });
  const hex = (text) => Buffer.from(text).toString('hex');
  const logDir = 'c8d5d6be'; // 日志 in GBK, as 密钥 is c3dcd4bf
  assert.deepEqual([value, stdout.toString('hex')], [{ settings: [[hex('logDir'), logDir], [hex('UkeyType'), hex('类型')]],
    path: `c3dcd4bf${hex('.key')}` }, hex('cc_logPath: ') + logDir + hex(`\n${OK}`)], stderr);
});

// The login records as [first, second, third, host, port]; a field's text up
// to its NUL, all of it when the NUL is missing.
const field = (record, start, width) => record.subarray(start, start + width).toString().replace(/\0[^]*$/, '');
const records = (server, user) => [user.readUInt32LE(0), field(user, 4, 64), field(user, 68, 32), field(server, 64, 32), server.readUInt16LE(96)];
const TOP_BIT = 0x80000001 | 0;
// [login script, QCF_ErrMessage script, [token, tokenValidSeconds, code, message]]
const CASES = [
  [undefined, undefined, ['tok-*', 3600, 0, 'succ']],
  [{ token: null, number: 60 }, undefined, ['', 60, 0, 'succ']],
  [{ token: 'tok', number: 2 ** 31 + 5 }, undefined, ['tok', 2 ** 31 + 5, 0, 'succ']],
  [{ code: -3, token: 'left', number: 9 }, undefined, ['', 0, -3, sdk.errorText(-3)]],
  [{ code: TOP_BIT, token: 'left' }, undefined, ['', 0, TOP_BIT, sdk.errorText(TOP_BIT)]],
  [{ code: 4 }, { text: null }, ['', 0, 4, '']],
];

// Only a failed auth_pubkey prints; a failed auth, init or finish does not.
test('auth, auth_pubkey and a failed init: result objects, and the console line of a failed auth_pubkey', () => {
  const { stdout, value, status, stderr } = runScenario('session', 'logins', { args: CASES.map(([login, text]) => [login, text]) });
  const expected = CASES.map(([, , [token, tokenValidSeconds, code, message]]) => ({ token, tokenValidSeconds, code, message }));
  // As JSON, to compare the key order too; the simulator's tokens are random.
  const init = { code: -3, message: sdk.errorText(-3) };
  assert.equal(JSON.stringify([status, value]).replace(/tok-[0-9A-F]{32}/gi, 'tok-*'),
    JSON.stringify([0, [...expected, ...expected, init, -3, { ...init, message: '' }]]), stderr);
  // %#X shows the code's 32 bits unsigned; the parentheses are full-width.
  assert.equal(stdout.toString('utf8'), [`${OK}【认证】入网测试失败，返回：0XFFFFFFFD（${sdk.errorText(-3)}）`,
    `【认证】入网测试失败，返回：0X80000001（${sdk.errorText(TOP_BIT)}）`, '【认证】入网测试失败，返回：0X4（）\n'].join('\n'));
});

test('init and auth_pubkey hand the login records to the SDK, init after setting useInputCspInfo', async () => {
  // [arguments, records as the SDK receives them]
  for (const [args, expected] of [
    [[7, 'user', 'dept'], [7, 'user', 'dept', 'keyserver.varnkt.local', 18000]],
    [[NaN, 'user', 'dept', 'kms.example.org', 443, 'extra'], [0, 'user', 'dept', 'kms.example.org', 443]],
    [[-1, 'u', 'd', 'h', 70000], [4294967295, 'u', 'd', 'h', 4464]], // ports keep their low 16 bits
    [[2.7, 'a'.repeat(100), 't'.repeat(31), 'h'.repeat(31)], [2, 'a'.repeat(63), 't'.repeat(31), 'h'.repeat(31), 18000]],
  ]) {
    sdk.clearCalls();
    assert.deepEqual(await plugin.init(...args), { code: 0, message: 'initialization successful' });
    assert.equal((await plugin.auth_pubkey(...args)).code, 0);
    const [custom, init, login] = sdk.calls();
    assert.deepEqual([sdk.names(), custom.args, init.args[2].subarray(16, 25).toString('latin1'), login.args.slice(2)],
      [['QCF_Custom', 'QCF_Init', 'QCF_Auth_pubkey_WithInfo'], ['useInputCspInfo', 'true'], '40615237\0', [true, true]]);
    for (const call of [init, login]) assert.deepEqual(records(...call.args), expected, `${call.name} ${args}`);
  }
});

// Each refill method after a login of its own; the token is read when the call runs.
test('refills send the numbers and the session token: the login\'s, null after finish (even a failed one), what a failed login left', async () => {
  const fault = (code) => ({ code, message: sdk.errorText(code) });
  for (const [name, login, args] of [['reFillKey', 'QCF_Auth', []], ['reFillKeySync', 'QCF_Auth_pubkey_WithInfo', [1, 'u', 'd']]]) {
    sdk.clearCalls();
    await plugin.init(1, 'u', 'd');
    sdk.script(login, { token: 'session-token' }); // the session takes a scripted token as its own
    await plugin[login === 'QCF_Auth' ? 'auth' : 'auth_pubkey'](...args);
    const results = [await plugin[name]('ignored text', 2, 3, 'extra'), await plugin[name]('', 2 ** 31, 1.9)];
    ['QCF_ReFillKey', 'QCF_ErrMessage'].forEach((script, i) => sdk.script(script, [{ code: -7 }, { text: null }][i]));
    results.push(await plugin[name]('', 2, 3));
    const beforeFinish = plugin[name]('', 1, 1);
    plugin.finish();
    await beforeFinish;
    results.push(await plugin[name]('', 2, 3));
    await plugin.init(1, 'u', 'd');
    sdk.script('QCF_Auth', { code: -3, token: 'left-by-sdk' });
    await plugin.auth('ignored', 1);
    await plugin[name]('', 4, 4);
    sdk.script('QCF_Finish', { code: -2 });
    assert.equal(plugin.finish(), -2);
    await plugin[name]('', 5, 5);
    assert.deepEqual(results, [{ code: 0, message: '重新填充密钥成功' }, fault(sdk.CODES.REFILL_AMOUNT_INVALID), { code: -7, message: '' },
      fault(sdk.CODES.NOT_INITIALISED)], name);
    // With the SDK thread, calls reach the SDK in call order: a reFillKey before the finish called after it.
    const atFinish = name === 'reFillKey' && !SDK_THREAD ? null : 'session-token';
    assert.deepEqual(sdk.callsOf('QCF_ReFillKey').map((call) => call.args), [['session-token', 2, 3], ['session-token', 2147483648, 1],
      ['session-token', 2, 3], [atFinish, 1, 1], [null, 2, 3], ['left-by-sdk', 4, 4], [null, 5, 5]], name);
  }
});

const VALID = { init: [1, 'u', 'd'], auth: [], auth_pubkey: [1, 'u', 'd'] };
// The thread each SDK call is made on: event_loop.test.js.
test('init, auth and auth_pubkey settle on a later turn, make no SDK call before they return, and carry their resource names', async () => {
  const types = [];
  const hook = asyncHooks.createHook({ init(id, type) { types.push(type); } }).enable();
  for (const [method, args] of Object.entries(VALID)) {
    sdk.clearCalls();
    const promise = plugin[method](...args);
    let settled = false;
    promise.then(() => (settled = true), () => (settled = true));
    for (let i = 0; i < 5; i++) await Promise.resolve();
    assert.equal(settled, false, `${method} settles on a later turn`);
    if (!SDK_THREAD) assert.deepEqual(sdk.calls(), [], `${method} makes no SDK call before it returns`);
    assert.equal((await promise).code, 0);
  }
  hook.disable();
  assert.deepEqual(types.filter((type) => ['KT_Init', 'Auth', 'AuthPubkey'].includes(type)),
    SDK_THREAD ? [] : ['KT_Init', 'Auth', 'AuthPubkey']);
});

const SHIM = path.join(sdk.BUILD_DIR, 'fixtures', 'libvarn_fail_thread_start.so');
test('without a worker thread the job is handed over from the JavaScript thread', {
  skip: (!fs.existsSync(SHIM) && 'the thread-start shim is built on Linux only') || (SDK_THREAD && 'no worker threads with the SDK thread'),
}, () => {
  const { value, status, stderr } = runScenario('session', 'noWorkerThread', { env: { LD_PRELOAD: preload(SHIM) } });
  assert.deepEqual([status, stderr.match(/fail_thread_start: refused/g)?.length, value],
    [0, 3, Object.keys(VALID).map((method) => ({ method, callsAtReturn: 0, code: 0 }))], stderr);
});

'use strict';
// init, auth, auth_pubkey and finish: results, login records, the setting
// before QCF_Init, token state, console lines. The argument faults of init and
// auth_pubkey are in catalogue.test.js.
const test = require('node:test');
const assert = require('node:assert/strict');
const sdk = require('../helpers/sdk');
const { runScenario } = require('../helpers/scenario');

sdk.tempCwd();
const plugin = new (require(sdk.ROOT).VarnKtPlugin)();
test.after(() => plugin.finish()); // an open SDK session keeps the process alive
test.beforeEach(() => { sdk.reset(); plugin.preActivate('k.key'); });

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
test('auth and auth_pubkey: result objects, and the console line of a failed auth_pubkey', () => {
  const { stdout, value, status, stderr } = runScenario('session', 'logins', { args: CASES.map(([login, text]) => [login, text]) });
  assert.equal(status, 0, stderr);
  const expected = CASES.map(([, , [token, tokenValidSeconds, code, message]]) => ({ token, tokenValidSeconds, code, message }));
  // As JSON, to compare the key order too; the simulator's tokens are random.
  assert.equal(JSON.stringify(value).replace(/tok-[0-9A-F]{32}/gi, 'tok-*'), JSON.stringify([...expected, ...expected]));
  // %#X shows the code's 32 bits unsigned; the parentheses are full-width.
  assert.equal(stdout.toString('utf8'), ['【预激活】成功！', `【认证】入网测试失败，返回：0XFFFFFFFD（${sdk.errorText(-3)}）`,
    `【认证】入网测试失败，返回：0X80000001（${sdk.errorText(TOP_BIT)}）`, '【认证】入网测试失败，返回：0X4（）', ''].join('\n'));
});

test('auth_pubkey logs in with the login records; the token is the last login\'s, or what a failed one left', async () => {
  assert.equal((await plugin.init(1, 'u', 'd')).code, 0);
  const { token, code } = await plugin.auth_pubkey(1.9, 'a'.repeat(100), 'dept', 'kms.example.org', 65537);
  assert.equal(code, 0);
  const [server, user, ...outs] = sdk.callsOf('QCF_Auth_pubkey_WithInfo')[0].args;
  assert.deepEqual([...records(server, user), outs], [1, 'a'.repeat(63), 'dept', 'kms.example.org', 1, [true, true]]);
  assert.equal(plugin.reFillKeySync('a', 1, 2).code, 0);
  sdk.script('QCF_Auth', { code: -3, token: 'left-by-sdk' });
  assert.equal((await plugin.auth('ignored', 1)).token, '');
  plugin.reFillKeySync('a', 1, 2);
  // A scripted token becoming the session's: keys_spm.test.js.
  assert.deepEqual(sdk.callsOf('QCF_ReFillKey').map((call) => call.args.slice(0, 2)), [[token, 1], ['left-by-sdk', 1]]);
});

test('init: the login records reach QCF_Init, each after useInputCspInfo', async () => {
  // [arguments, records as QCF_Init receives them]
  for (const [args, expected] of [
    [[7, 'user', 'dept'], [7, 'user', 'dept', 'keyserver.varnkt.local', 18000]],
    [[7, 'user', 'dept', 'kms.example.org', 443], [7, 'user', 'dept', 'kms.example.org', 443]],
    [[-1, 'u', 'd', 'h', 70000], [4294967295, 'u', 'd', 'h', 4464]], // ports keep their low 16 bits
    [[2.7, 'a'.repeat(100), 't'.repeat(31), 'h'.repeat(31)], [2, 'a'.repeat(63), 't'.repeat(31), 'h'.repeat(31), 18000]],
  ]) {
    const before = sdk.calls().length;
    assert.deepEqual(await plugin.init(...args), { code: 0, message: 'initialization successful' });
    const calls = sdk.calls().slice(before);
    const [custom, { args: [server, user, csp] }] = calls;
    assert.deepEqual([...calls.map((call) => call.name), ...custom.args], ['QCF_Custom', 'QCF_Init', 'useInputCspInfo', 'true']);
    assert.deepEqual(records(server, user), expected, String(args));
    assert.equal(csp.subarray(16, 25).toString('latin1'), '40615237\0');
  }
});

test('init resolves with the SDK code and text when QCF_Init fails; finish forgets the token, even when it fails', async () => {
  sdk.script('QCF_Init', { code: -3 });
  assert.deepEqual(await plugin.init(1, 'u', 'd'), { code: -3, message: sdk.errorText(-3) });
  ['QCF_Init', 'QCF_ErrMessage'].forEach((name, i) => sdk.script(name, [{ code: 5 }, { text: null }][i]));
  assert.deepEqual(await plugin.init(1, 'u', 'd'), { code: 5, message: '' });
  // finish forgetting the token after a success: keys_spm.test.js.
  await plugin.init(1, 'u', 'd');
  await plugin.auth_pubkey(1, 'u', 'd');
  sdk.script('QCF_Finish', { code: -2 });
  assert.equal(plugin.finish(), -2);
  plugin.reFillKeySync('a', 1, 2);
  assert.deepEqual(sdk.callsOf('QCF_ReFillKey').map((call) => call.args[0]), [null]);
});

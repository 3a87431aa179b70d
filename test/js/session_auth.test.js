'use strict';
// auth and auth_pubkey: results, records, token state, console lines.
const test = require('node:test');
const assert = require('node:assert/strict');
const sdk = require('../helpers/sdk');
const { openSession } = require('../helpers/session');
const { runScenario } = require('../helpers/scenario');

sdk.tempCwd();
const plugin = new (require(sdk.ROOT).VarnKtPlugin)();
test.after(() => plugin.finish()); // an open SDK session keeps the process alive

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
  sdk.reset();
  const { token } = await openSession(plugin, { login: () => plugin.auth_pubkey(1.9, 'a'.repeat(100), 'dept', 'kms.example.org', 65537) });
  const [server, user, ...outs] = sdk.callsOf('QCF_Auth_pubkey_WithInfo')[0].args;
  const text = (record, start) => record.subarray(start, record.indexOf(0, start)).toString();
  assert.deepEqual([text(server, 64), server.readUInt16LE(96), user.readUInt32LE(0), text(user, 4), text(user, 68), outs],
    ['kms.example.org', 1, 1, 'a'.repeat(63), 'dept', [true, true]]);
  assert.equal(plugin.reFillKeySync('a', 1, 2).code, 0);
  sdk.script('QCF_Auth', { code: -3, token: 'left-by-sdk' });
  assert.equal((await plugin.auth('ignored', 1)).token, '');
  plugin.reFillKeySync('a', 1, 2);
  sdk.script('QCF_Auth', { token: 'fresh' });
  await plugin.auth();
  assert.equal(plugin.reFillKeySync('a', 1, 2).code, 0, 'the scripted token is the session\'s');
  assert.deepEqual(sdk.callsOf('QCF_ReFillKey').map((call) => call.args.slice(0, 2)), [[token, 1], ['left-by-sdk', 1], ['fresh', 1]]);
});

'use strict';
// auth and auth_pubkey: results, records, token state, console lines.
const { test, beforeEach } = require('node:test');
const assert = require('node:assert/strict');
const sdk = require('../helpers/sdk');
const { runChild } = require('../helpers/session_child');

sdk.tempCwd();
const { VarnKtPlugin } = require(sdk.ROOT);
const plugin = new VarnKtPlugin();

beforeEach(() => sdk.reset());

const result = (token, tokenValidSeconds, code, message) => ({ token, tokenValidSeconds, code, message });
const TOP_BIT = 0x80000001 | 0;
// [login script, QCF_ErrMessage script, expected result]
const CASES = [
  [undefined, undefined, result(sdk.DEFAULTS.token, sdk.DEFAULTS.validSeconds, 0, 'succ')],
  [{ token: null, number: 60 }, undefined, result('', 60, 0, 'succ')],
  [{ token: 'tok', number: 2 ** 31 + 5 }, undefined, result('tok', 2 ** 31 + 5, 0, 'succ')],
  [{ code: -3, token: 'left', number: 9 }, undefined, result('', 0, -3, sdk.errorText(-3))],
  [{ code: TOP_BIT, token: 'left' }, undefined, result('', 0, TOP_BIT, sdk.errorText(TOP_BIT))],
  [{ code: 4 }, { text: null }, result('', 0, 4, '')],
];

// Only a failed auth_pubkey prints; a failed auth, init or finish does not.
test('auth and auth_pubkey: result objects, and the console line of a failed auth_pubkey', () => {
  const { stdout, value } = runChild(`
    const results = [];
    for (const [method, sdkName, args] of [['auth', 'QCF_Auth', []], ['auth_pubkey', 'QCF_Auth_pubkey_WithInfo', [1, 'u', 'd']]]) {
      for (const [login, text] of ${JSON.stringify(CASES)}) {
        sdk.reset();
        if (login) sdk.script(sdkName, login);
        if (text) sdk.script('QCF_ErrMessage', text);
        const result = await plugin[method](...args);
        results.push([Object.keys(result), result]);
      }
    }
    ['QCF_Init', 'QCF_Finish'].forEach((name) => sdk.script(name, { code: -3 }));
    await plugin.init(1, 'u', 'd'); plugin.finish();
    return results;`);
  const expected = CASES.map(([, , res]) => [['token', 'tokenValidSeconds', 'code', 'message'], res]);
  assert.deepEqual(value, [...expected, ...expected]);
  // %#X shows the code's 32 bits unsigned; the parentheses are full-width.
  assert.equal(stdout.toString('utf8'), [
    `【认证】入网测试失败，返回：0XFFFFFFFD（${sdk.errorText(-3)}）\n`,
    `【认证】入网测试失败，返回：0X80000001（${sdk.errorText(TOP_BIT)}）\n`,
    '【认证】入网测试失败，返回：0X4（）\n',
  ].join(''));
});

test('auth_pubkey logs in with the login records; the token is the last login\'s, or what a failed one left', async () => {
  await plugin.auth_pubkey(1.9, 'a'.repeat(100), 'dept', 'kms.example.org', 65537);
  const [server, user, ...outs] = sdk.calls()[0].args;
  const text = (record, start) => record.subarray(start, record.indexOf(0, start)).toString();
  assert.deepEqual([text(server, 64), server.readUInt16LE(96), user.readUInt32LE(0), text(user, 4), text(user, 68), outs],
    ['kms.example.org', 1, 1, 'a'.repeat(63), 'dept', [true, true]]);
  sdk.script('QCF_Auth', { code: -3, token: 'left-by-sdk' });
  assert.equal((await plugin.auth('ignored', 1)).token, '');
  plugin.reFillKeySync('a', 1, 2);
  sdk.script('QCF_Auth', { token: 'fresh' });
  await plugin.auth();
  plugin.reFillKeySync('a', 1, 2);
  assert.deepEqual(sdk.calls().slice(1).map((call) => [call.name, ...call.args.slice(0, 2)]), [
    ['QCF_Auth', true, true], ['QCF_ErrMessage', -3], ['QCF_ReFillKey', 'left-by-sdk', 1],
    ['QCF_Auth', true, true], ['QCF_ReFillKey', 'fresh', 1]]);
});

// An open SDK session keeps the process alive: end it.
require('node:test').after(() => plugin.finish());

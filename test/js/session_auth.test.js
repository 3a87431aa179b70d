'use strict';
// auth and auth_pubkey: the token state, the result object, the records
// auth_pubkey sends, and the console line of a failed auth_pubkey.
const { test, beforeEach } = require('node:test');
const assert = require('node:assert/strict');
const sdk = require('../helpers/sdk');
const { runChild } = require('../helpers/session_child');

sdk.tempCwd();
const { VarnKtPlugin } = require(sdk.ROOT);
const plugin = new VarnKtPlugin();

beforeEach(() => sdk.reset());

const authResult = (token, tokenValidSeconds, code, message) => ({ token, tokenValidSeconds, code, message });
const OK = authResult(sdk.DEFAULTS.token, sdk.DEFAULTS.validSeconds, 0, 'succ');

// [label, SDK script of the login, expected result]
const RESULT_CASES = [
  ['success', undefined, OK],
  ['a null token with code 0 reads as ""', { token: null, number: 60 }, authResult('', 60, 0, 'succ')],
  ['a lifetime of 2^31 s or more stays positive', { token: 'tok', number: 2 ** 31 + 5 }, authResult('tok', 2 ** 31 + 5, 0, 'succ')],
  ['failure: no token, no lifetime, the SDK text', { code: -3, token: 'left', number: 9 }, authResult('', 0, -3, sdk.errorText(-3))],
  ['failure with a code whose top bit is set', { code: 0x80000001 | 0, token: 'left' }, authResult('', 0, -2147483647, sdk.errorText(0x80000001 | 0))],
];

const LOGINS = [
  ['auth', 'QCF_Auth', []],
  ['auth_pubkey', 'QCF_Auth_pubkey_WithInfo', [1, 'u', 'd']],
];

// A failed auth_pubkey prints a console line, so the logins run in a child;
// its standard output holds the lines of all of them.
test('auth and auth_pubkey: result objects, and the console line of a failed auth_pubkey', () => {
  const scripts = [...RESULT_CASES.map(([, script]) => ({ login: script })), { login: { code: 4 }, text: null }];
  const { stdout, value } = runChild(`
    const results = [];
    for (const [method, sdkName, args] of ${JSON.stringify(LOGINS)}) {
      for (const script of ${JSON.stringify(scripts)}) {
        sdk.reset();
        if (script.login) sdk.script(sdkName, script.login);
        if ('text' in script) sdk.script('QCF_ErrMessage', { text: script.text });
        const result = await plugin[method](...args);
        results.push([Object.keys(result), result]);
      }
    }
    return results;`);

  const expected = [...RESULT_CASES.map(([, , result]) => result), authResult('', 0, 4, '')];
  const labels = [...RESULT_CASES.map(([label]) => label), 'an error text the SDK does not give reads as ""'];
  LOGINS.forEach(([method], m) => {
    expected.forEach((result, i) => {
      const [keys, actual] = value[m * expected.length + i];
      assert.deepEqual(keys, ['token', 'tokenValidSeconds', 'code', 'message']);
      assert.deepEqual(actual, result, `${method}: ${labels[i]}`);
    });
  });
  // %#X shows the code's 32 bits unsigned; the parentheses are full-width.
  assert.equal(stdout.toString('utf8'), [
    `【认证】入网测试失败，返回：0XFFFFFFFD（${sdk.errorText(-3)}）\n`,
    `【认证】入网测试失败，返回：0X80000001（${sdk.errorText(-2147483647)}）\n`,
    '【认证】入网测试失败，返回：0X4（）\n',
  ].join(''));
});

test('auth ignores its arguments and passes the token state', async () => {
  await plugin.auth('x', 1, {});
  await plugin.auth();
  assert.deepEqual(sdk.calls().map(({ name, args }) => [name, args]), [
    ['QCF_Auth', [true, true]],
    ['QCF_Auth', [true, true]],
  ]);
});

test('auth_pubkey writes the login records as init does and logs in with them', async () => {
  await plugin.auth_pubkey(1.9, 'a'.repeat(100), 'dept', 'kms.example.org', 65537);
  await plugin.auth_pubkey(-1, 'u', 'd');
  assert.deepEqual(sdk.names(), ['QCF_Auth_pubkey_WithInfo', 'QCF_Auth_pubkey_WithInfo']);

  const sent = sdk.callsOf('QCF_Auth_pubkey_WithInfo').map(({ args: [server, user, token, seconds] }) => ({
    host: server.subarray(64, server.indexOf(0, 64)).toString(),
    port: server.readUInt16LE(96),
    first: user.readUInt32LE(0),
    second: user.subarray(4, user.indexOf(0, 4)).toString(),
    third: user.subarray(68, user.indexOf(0, 68)).toString(),
    outs: [token, seconds],
  }));
  assert.deepEqual(sent, [
    { host: 'kms.example.org', port: 1, first: 1, second: 'a'.repeat(63), third: 'dept', outs: [true, true] },
    { host: 'keyserver.varnkt.local', port: 18000, first: 4294967295, second: 'u', third: 'd', outs: [true, true] },
  ]);
});

test('the token is the one of the last login; a failed login keeps what the SDK left', async () => {
  await plugin.auth_pubkey(1, 'u', 'd');
  sdk.script('QCF_Auth', { code: -3, token: 'left-by-sdk' });
  assert.equal((await plugin.auth()).token, '');
  plugin.reFillKeySync('a', 1, 2);
  sdk.script('QCF_Auth', { token: 'fresh' });
  await plugin.auth();
  plugin.reFillKeySync('a', 1, 2);
  assert.deepEqual(sdk.callsOf('QCF_ReFillKey').map((call) => call.args[0]), ['left-by-sdk', 'fresh']);
});

test('auth, init and finish print nothing, failed or not', () => {
  const { stdout } = runChild(`
    sdk.script('QCF_Auth', { code: -3 });
    await plugin.auth();
    sdk.script('QCF_Init', { code: -3 });
    await plugin.init(1, 'u', 'd');
    sdk.script('QCF_Finish', { code: -3 });
    plugin.finish();`);
  assert.equal(stdout.length, 0);
});

'use strict';
// init and finish: the login records, the setting before QCF_Init, results.
const test = require('node:test');
const assert = require('node:assert/strict');
const sdk = require('../helpers/sdk');

sdk.tempCwd();
const { VarnKtPlugin } = require(sdk.ROOT);
const plugin = new VarnKtPlugin();
test.beforeEach(() => { sdk.reset(); plugin.preActivate('k.key'); });

// A field's text up to its NUL; all of it when the NUL is missing.
const field = (record, start, width) => record.subarray(start, start + width).toString().replace(/\0[^]*$/, '');

// [arguments, [first, second, third, host, port] as QCF_Init receives them]
const INIT_CASES = [
  [[7, 'user', 'dept'], [7, 'user', 'dept', 'keyserver.varnkt.local', 18000]],
  [[7, 'user', 'dept', 'kms.example.org', 443], [7, 'user', 'dept', 'kms.example.org', 443]],
  [[-1, 'u', 'd', 'h', 70000], [4294967295, 'u', 'd', 'h', 4464]], // ports keep their low 16 bits
  [[2.7, 'a'.repeat(100), 't'.repeat(31), 'h'.repeat(31)], [2, 'a'.repeat(63), 't'.repeat(31), 'h'.repeat(31), 18000]],
];

test('init: the login records reach QCF_Init, each after useInputCspInfo', async () => {
  for (const [args, expected] of INIT_CASES) {
    const before = sdk.calls().length;
    assert.deepEqual(await plugin.init(...args), { code: 0, message: 'initialization successful' });
    const calls = sdk.calls().slice(before);
    const [custom, { args: [server, user, csp] }] = calls;
    assert.deepEqual([...calls.map((call) => call.name), ...custom.args], ['QCF_Custom', 'QCF_Init', 'useInputCspInfo', 'true']);
    assert.deepEqual([user.readUInt32LE(0), field(user, 4, 64), field(user, 68, 32),
      field(server, 64, 32), server.readUInt16LE(96)], expected, String(args));
    assert.equal(csp.subarray(16, 25).toString('latin1'), '40615237\0');
  }
});

test('texts too long for their fields, counted in bytes, are refused before any SDK call', async () => {
  const third = 'The third argument is too long(at most 31 bytes)!';
  const fourth = 'The fourth argument is too long(at most 31 bytes)!';
  for (const method of ['init', 'auth_pubkey']) {
    for (const [args, message] of [[['t'.repeat(32)], third], [['密'.repeat(11)], third], [['t', 'h'.repeat(32)], fourth]]) {
      await assert.rejects(plugin[method](1, 'u', ...args), (err) => assert.deepEqual(err, { code: -1, message }) ?? true);
    }
  }
  assert.deepEqual(sdk.names().filter((name) => /Init|Auth/.test(name)), []);
});

test('init resolves with the SDK code and text when QCF_Init fails; finish forgets the token, even when it fails', async () => {
  sdk.script('QCF_Init', { code: -3 });
  assert.deepEqual(await plugin.init(1, 'u', 'd'), { code: -3, message: sdk.errorText(-3) });
  sdk.script('QCF_Init', { code: 5 });
  sdk.script('QCF_ErrMessage', { text: null });
  assert.deepEqual(await plugin.init(1, 'u', 'd'), { code: 5, message: '' });
  const tokens = [];
  for (const finishCode of [0, -2]) {
    await plugin.init(1, 'u', 'd');
    tokens.push((await plugin.auth_pubkey(1, 'u', 'd')).token, null);
    assert.equal(plugin.reFillKeySync('a', 1, 2).code, 0);
    sdk.script('QCF_Finish', { code: finishCode });
    assert.equal(plugin.finish(), finishCode);
    plugin.reFillKeySync('a', 1, 2);
  }
  assert.deepEqual(sdk.callsOf('QCF_ReFillKey').map((call) => call.args[0]), tokens);
});

// An open SDK session keeps the process alive: end it.
test.after(() => plugin.finish());

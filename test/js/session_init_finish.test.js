'use strict';
// init and finish: the login records, the setting before QCF_Init, results.
// Their argument faults are in session_frame.test.js.
const test = require('node:test');
const assert = require('node:assert/strict');
const sdk = require('../helpers/sdk');

sdk.tempCwd();
const plugin = new (require(sdk.ROOT).VarnKtPlugin)();
test.after(() => plugin.finish()); // an open SDK session keeps the process alive
test.beforeEach(() => { sdk.reset(); plugin.preActivate('k.key'); });

// A field's text up to its NUL; all of it when the NUL is missing.
const field = (record, start, width) => record.subarray(start, start + width).toString().replace(/\0[^]*$/, '');

test('init: the login records reach QCF_Init, each after useInputCspInfo', async () => {
  // [arguments, [first, second, third, host, port] as QCF_Init receives them]
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
    assert.deepEqual([user.readUInt32LE(0), field(user, 4, 64), field(user, 68, 32),
      field(server, 64, 32), server.readUInt16LE(96)], expected, String(args));
    assert.equal(csp.subarray(16, 25).toString('latin1'), '40615237\0');
  }
});

test('init resolves with the SDK code and text when QCF_Init fails; finish forgets the token, even when it fails', async () => {
  sdk.script('QCF_Init', { code: -3 });
  assert.deepEqual(await plugin.init(1, 'u', 'd'), { code: -3, message: sdk.errorText(-3) });
  ['QCF_Init', 'QCF_ErrMessage'].forEach((name, i) => sdk.script(name, [{ code: 5 }, { text: null }][i]));
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

'use strict';
// reFillKey and reFillKeySync: the stored login token, read when the SDK is
// called, and the two numbers.
const { test, beforeEach } = require('node:test');
const assert = require('node:assert/strict');
const sdk = require('../helpers/sdk');
const { VarnKtPlugin } = require('../..');

sdk.tempCwd();
const plugin = new VarnKtPlugin();

beforeEach(() => {
  plugin.finish(); // forget any token a previous test left
  sdk.reset();
});

for (const [name, call] of [
  ['reFillKey', (...args) => plugin.reFillKey(...args)],
  ['reFillKeySync', async (...args) => plugin.reFillKeySync(...args)],
]) {
  test(`${name}: the login token, or null without a login, and the numbers reach the SDK`, async () => {
    sdk.script('QCF_Auth', { token: 'session-token' });
    await plugin.auth();
    // The first argument is only type-checked; extra arguments are ignored.
    assert.deepEqual(await call('ignored text', 2 ** 31, 1.9, 'extra'), { code: 0, message: '重新填充密钥成功' });

    plugin.finish();
    const code = sdk.CODES.NOT_LOGGED_IN;
    assert.deepEqual(await call('', 2, 3), { code, message: sdk.errorText(code) });
    assert.deepEqual(sdk.callsOf('QCF_ReFillKey').map((c) => c.args), [['session-token', 2147483648, 1], [null, 2, 3]]);

    sdk.script('QCF_ReFillKey', { code: -7 });
    sdk.script('QCF_ErrMessage', { text: null });
    assert.deepEqual(await call('', 2, 3), { code: -7, message: '' });
  });
}

// With the SDK thread, calls reach the SDK in call order: the refill before
// the finish called after it.
test('reFillKey reads the token when its SDK call runs', async () => {
  sdk.script('QCF_Auth', { token: 'first-login' });
  await plugin.auth();
  const beforeFinish = plugin.reFillKey('', 1, 1);
  plugin.finish();
  await beforeFinish;

  sdk.script('QCF_Auth', { token: 'second-login' });
  await plugin.auth();
  await plugin.reFillKey('', 2, 2);
  const first = process.env.VARN_SDK_THREAD === '1' ? 'first-login' : null;
  assert.deepEqual(sdk.callsOf('QCF_ReFillKey').map((call) => call.args[0]), [first, 'second-login']);
});

// An open SDK session keeps the process alive: end it.
require('node:test').after(() => plugin.finish());

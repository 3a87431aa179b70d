'use strict';
// reFillKey and reFillKeySync: the stored login token, read when the SDK is
// called, and the two numbers.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const sdk = require('../helpers/sdk');
const { runValue } = require('../helpers/scenario');
const { VarnKtPlugin } = require('../..');

const fault = (code) => ({ code, message: sdk.errorText(code) });

test('the login token, or null after finish, and the numbers reach the SDK; the token is read when the call runs', () => {
  const value = runValue('keys', 'refill');
  for (const name of ['reFillKey', 'reFillKeySync']) {
    // The first argument is only type-checked; extra arguments are ignored.
    assert.deepEqual(value[name], {
      results: [{ code: 0, message: '重新填充密钥成功' }, fault(sdk.CODES.REFILL_AMOUNT_INVALID), fault(sdk.CODES.NOT_INITIALISED)],
      sent: [['session-token', 2, 3], ['session-token', 2147483648, 1], [null, 2, 3]],
    }, name);
  }
  // With the SDK thread, calls reach the SDK in call order: the refill before
  // the finish called after it.
  assert.deepEqual(value.tokens, [process.env.VARN_SDK_THREAD === '1' ? 'first-login' : null, 'second-login']);
});

test('an SDK failure without a text', async () => {
  sdk.tempCwd();
  const plugin = new VarnKtPlugin();
  for (const call of [() => plugin.reFillKey('', 2, 3), async () => plugin.reFillKeySync('', 2, 3)]) {
    sdk.script('QCF_ReFillKey', { code: -7 });
    sdk.script('QCF_ErrMessage', { text: null });
    assert.deepEqual(await call(), { code: -7, message: '' });
  }
});

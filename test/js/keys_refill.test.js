'use strict';
// reFillKey and reFillKeySync: the stored login token, read when the SDK is
// called, and the two numbers.
const { test, beforeEach } = require('node:test');
const assert = require('node:assert/strict');
const sdk = require('../helpers/sdk');
const { VarnKtPlugin } = require('../..');

sdk.tempCwd();
const plugin = new VarnKtPlugin();
const SUCCESS = '重新填充密钥成功';

beforeEach(() => {
  plugin.finish(); // forget any token a previous test left
  sdk.reset();
});

// Both flavours as one promise-returning call.
const flavours = {
  reFillKey: (...args) => plugin.reFillKey(...args),
  reFillKeySync: async (...args) => plugin.reFillKeySync(...args),
};

test('argument faults: reFillKey rejects, reFillKeySync throws an Error', async () => {
  const faults = [
    [['', 1], 'The argument count less(obejct expected)!'],
    [[1, 1, 1], 'The first argument is wrong(string expected)!'],
    [['', '1', 1], 'The second argument is wrong(number expected)!'],
    [['', 1, undefined], 'The third argument is wrong(number expected)!'],
  ];
  for (const [args, message] of faults) {
    await assert.rejects(plugin.reFillKey(...args), (err) => {
      assert.deepEqual(err, { code: -1, message });
      return true;
    });
    assert.throws(() => plugin.reFillKeySync(...args), (err) => {
      assert.equal(err.constructor, Error);
      assert.equal(err.message, message);
      assert.equal('code' in err, false);
      return true;
    });
  }
  assert.deepEqual(sdk.calls(), []);
});

for (const [name, call] of Object.entries(flavours)) {
  test(`${name}: the login token and the numbers reach the SDK`, async () => {
    sdk.script('QCF_Auth', { token: 'session-token' });
    await plugin.auth();
    // The first argument is only type-checked; extra arguments are ignored.
    const result = await call('ignored text', -1, 1.9, 'extra');
    assert.deepEqual(result, { code: 0, message: SUCCESS });
    assert.deepEqual(sdk.callsOf('QCF_ReFillKey')[0].args, ['session-token', 4294967295, 1]);
  });

  test(`${name}: without a login the SDK gets a null token and its failure resolves`, async () => {
    const result = await call('', 2, 3);
    const code = sdk.CODES.NOT_LOGGED_IN;
    assert.deepEqual(result, { code, message: sdk.errorText(code) });
    assert.deepEqual(sdk.callsOf('QCF_ReFillKey')[0].args, [null, 2, 3]);

    sdk.script('QCF_ReFillKey', { code: -7 });
    sdk.script('QCF_ErrMessage', { text: null });
    assert.deepEqual(await call('', 2, 3), { code: -7, message: '' });
  });
}

test('reFillKey reads the token when its completion runs', async () => {
  sdk.script('QCF_Auth', { token: 'first-login' });
  await plugin.auth();
  const beforeFinish = plugin.reFillKey('', 1, 1);
  plugin.finish();
  await beforeFinish;

  sdk.script('QCF_Auth', { token: 'second-login' });
  await plugin.auth();
  await plugin.reFillKey('', 2, 2);

  const tokens = sdk.callsOf('QCF_ReFillKey').map((call) => call.args[0]);
  assert.deepEqual(tokens, [null, 'second-login']);
});

'use strict';
// createGroup and applyKeyWithGroupID: the group id buffer and the cell, the
// log records, and the exported key as hexadecimal text.
const { test, beforeEach } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const { EOL } = require('node:os');
const sdk = require('../helpers/sdk');
const { VarnKtPlugin } = require('../..');

sdk.tempCwd();
const plugin = new VarnKtPlugin();

beforeEach(() => {
  sdk.reset();
  fs.rmSync('log.txt', { force: true });
});

function logMessages() {
  if (!fs.existsSync('log.txt')) return [];
  return fs
    .readFileSync('log.txt', 'utf8')
    .split(EOL)
    .filter(Boolean)
    .map((line) => line.replace(/^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d - /, ''));
}

test('argument faults reject; nothing is logged or sent', async () => {
  const faults = [
    ['createGroup', ['a', 1], 'The argument count less(obejct expected)!'],
    ['createGroup', [1, 1, 'c'], 'The first argument is wrong(string expected)!'],
    ['createGroup', ['a', '1', 'c'], 'The second argument is wrong(number expected)!'],
    ['createGroup', ['a', 1, 3], 'The third argument is wrong(string expected)!'],
    ['applyKeyWithGroupID', ['a'], 'The argument count less(obejct expected)!'],
    ['applyKeyWithGroupID', [null, 'b'], 'The first argument is wrong(string expected)!'],
    ['applyKeyWithGroupID', ['a', 2], 'The second argument is wrong(string expected)!'],
  ];
  for (const [method, args, message] of faults) {
    await assert.rejects(plugin[method](...args), (err) => {
      assert.deepEqual(err, { code: -1, message });
      return true;
    });
  }
  assert.deepEqual(sdk.calls(), []);
  assert.deepEqual(logMessages(), []);
});

test('createGroup: what reaches the SDK, the result and the two log records', async () => {
  for (const [second, sent] of [
    [2 ** 32 + 1, 1],
    [-1, 4294967295],
    [7.9, 7],
  ]) {
    sdk.reset();
    fs.rmSync('log.txt', { force: true });
    const result = await plugin.createGroup('组 first', second, 'third', 'extra');
    assert.deepEqual(Object.entries(result), [
      ['code', 0],
      ['message', 'succ'],
      ['groupId', `${sdk.DEFAULTS.groupIdPrefix}0001`],
    ]);
    // The cell holds -1 and the id buffer is zeroed when the SDK is called.
    assert.deepEqual(sdk.calls()[0].args, ['组 first', sent, -1, 'third', Buffer.alloc(64)]);
    assert.deepEqual(logMessages(), ['组 first', 'CreateGroupId']);
  }
});

test('createGroup: the id is read within 64 bytes; a failure still resolves and logs', async () => {
  const id = 'g'.repeat(64); // no NUL anywhere in the buffer
  sdk.script('QCF_CreateGroup', { bytes: id });
  assert.equal((await plugin.createGroup('a', 1, 'c')).groupId, id);

  sdk.script('QCF_CreateGroup', { code: -9, bytes: Buffer.alloc(0) });
  sdk.script('QCF_ErrMessage', { text: 'group refused' });
  assert.deepEqual(await plugin.createGroup('b', 1, 'c'), {
    code: -9,
    message: 'group refused',
    groupId: '',
  });
  assert.deepEqual(logMessages(), ['a', 'CreateGroupId', 'b', 'CreateGroupId']);
});

test('applyKeyWithGroupID: the key as upper-case hexadecimal text', async () => {
  const all = Buffer.from(Array.from({ length: 256 }, (_, i) => i));
  const tooLong = { code: -1, message: 'The exported key is too long(at most 256 bytes)!', groupKey: '' };
  const cases = [
    [{ bytes: Buffer.from([0x0a, 0xff, 0x00]) }, { code: 0, message: 'succ', groupKey: '0AFF00' }],
    [{ bytes: Buffer.from([0x0a, 0xff, 0x00]), number: 0 }, { code: 0, message: 'succ', groupKey: '' }],
    [{ bytes: all, number: -5 }, { code: 0, message: 'succ', groupKey: '' }],
    [{ bytes: all, number: 256 }, { code: 0, message: 'succ', groupKey: all.toString('hex').toUpperCase() }],
    [{ bytes: all, number: 257 }, tooLong],
    [{ bytes: all, number: 300 }, tooLong],
    [{ code: 0x7b, bytes: all, number: 3 }, { code: 0x7b, message: 'export refused', groupKey: '' }],
  ];
  for (const [exported, expected] of cases) {
    sdk.reset();
    sdk.script('QCF_ExportKey', exported);
    sdk.script('QCF_ErrMessage', { text: 'export refused' });
    const result = await plugin.applyKeyWithGroupID('a', 'b');
    assert.deepEqual(Object.entries(result), Object.entries(expected), JSON.stringify(exported));
  }
  assert.deepEqual(logMessages(), []);
});

test('applyKeyWithGroupID: the handle goes from apply to export, whatever apply returned', async () => {
  const { groupId } = await plugin.createGroup('a', 1, 'c');
  const before = sdk.calls().length; // a reset would forget the group
  const result = await plugin.applyKeyWithGroupID(groupId, 'second');
  assert.equal(result.code, 0);
  assert.match(result.groupKey, new RegExp(`^[0-9A-F]{${2 * sdk.DEFAULTS.keyLength}}$`));
  assert.deepEqual(
    sdk.calls().slice(before).map((call) => [call.name, call.args]),
    [
      ['QCF_ApplyKeyWithGroupID', [groupId, 'second', true]],
      ['QCF_ExportKey', [true, true, true]],
    ],
  );

  // A failed apply is not checked: the export gets the null handle and fails.
  sdk.reset();
  sdk.script('QCF_ApplyKeyWithGroupID', { code: -3, nullHandle: true });
  const failed = await plugin.applyKeyWithGroupID('x', 'y');
  const code = sdk.CODES.INVALID_KEY_HANDLE;
  assert.deepEqual(failed, { code, message: sdk.errorText(code), groupKey: '' });
  assert.deepEqual(sdk.callsOf('QCF_ExportKey')[0].args, [false, true, true]);

  sdk.script('QCF_ExportKey', { code: 4 });
  sdk.script('QCF_ErrMessage', { text: null });
  assert.deepEqual(await plugin.applyKeyWithGroupID('x', 'y'), { code: 4, message: '', groupKey: '' });
});

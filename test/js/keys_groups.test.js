'use strict';
// createGroup and applyKeyWithGroupID: the group id buffer and the cell, the
// log records, and the exported key as hexadecimal text.
const { test, beforeEach, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const sdk = require('../helpers/sdk');
const { addonLog } = require('../scenarios/keys');
const { VarnKtPlugin } = require('../..');

sdk.tempCwd();
const plugin = new VarnKtPlugin();
// Pre-activated once, before any test, as it prints; an open session keeps the process alive.
plugin.preActivate('k.key');
after(() => plugin.finish());
beforeEach(() => {
  sdk.clearCalls();
  fs.rmSync('log.txt', { force: true });
});

test('in a session: the simulator\'s group, and its key through the handle apply hands to export', async () => {
  const codes = [await plugin.init(1, 'u', 'd'), await plugin.auth(), await plugin.reFillKey('', 4, 256)].map((r) => r.code);
  const created = Object.entries(await plugin.createGroup('组 first', -Infinity, 'third', 'extra'));
  const { groupId } = Object.fromEntries(created);
  const applied = Object.entries(await plugin.applyKeyWithGroupID(groupId, 'second'));
  assert.deepEqual([codes, created, applied], [[0, 0, 0], [['code', 0], ['message', 'succ'], ['groupId', groupId]],
    [['code', 0], ['message', 'succ'], ['groupKey', applied[2][1]]]]);
  assert.match(`${groupId} ${applied[2][1]}`, /^GRP-[0-9A-F]{16} [0-9A-F]{64}$/); // the default 32-byte group key
  // The cell holds -1 and the id buffer is zeroed when the SDK is called.
  assert.deepEqual(sdk.calls().filter((call) => /^QCF_(CreateGroup|ApplyKeyWithGroupID|ExportKey)$/.test(call.name))
    .map((call) => [call.name, call.args]), [['QCF_CreateGroup', ['组 first', 0, -1, 'third', Buffer.alloc(64)]],
    ['QCF_ApplyKeyWithGroupID', [groupId, 'second', true]], ['QCF_ExportKey', [true, true, true]]]);
});

test('createGroup: the id is read within 64 bytes; a failure still resolves and logs', async () => {
  const id = 'g'.repeat(64); // no NUL anywhere in the buffer
  sdk.script('QCF_CreateGroup', { bytes: id });
  sdk.script('QCF_CreateGroup', { code: -9, bytes: Buffer.alloc(0) });
  sdk.script('QCF_ErrMessage', { text: 'group refused' });
  assert.deepEqual([await plugin.createGroup('组 a', 1, 'c'), await plugin.createGroup('b', 1, 'c')],
    [{ code: 0, message: 'succ', groupId: id }, { code: -9, message: 'group refused', groupId: '' }]);
  assert.deepEqual(addonLog(), ['组 a', 'CreateGroupId', 'b', 'CreateGroupId']);
});

test('applyKeyWithGroupID: a failed apply is not checked; the key as upper-case hexadecimal text, at most 256 bytes', async () => {
  // The export gets the failed apply's null handle; what it answers is the result.
  sdk.script('QCF_ApplyKeyWithGroupID', { code: -3, nullHandle: true, times: 6 });
  const all = Buffer.from(Array.from({ length: 256 }, (_, i) => i));
  const key = Buffer.from([0x0a, 0xff, 0x00]);
  const ok = (groupKey) => ({ code: 0, message: 'succ', groupKey });
  for (const [exported, expected] of [
    [{ bytes: key }, ok('0AFF00')],
    [{ bytes: key, number: 0 }, ok('')],
    [{ bytes: all, number: -5 }, ok('')],
    [{ bytes: all, number: 256 }, ok(all.toString('hex').toUpperCase())],
    [{ bytes: all, number: 257 }, { code: -1, message: 'The exported key is too long(at most 256 bytes)!', groupKey: '' }],
    [{ code: 0x7b, bytes: all, number: 3 }, { code: 0x7b, message: 'export refused', groupKey: '' }],
  ]) {
    sdk.script('QCF_ExportKey', exported);
    if (exported.code) sdk.script('QCF_ErrMessage', { text: 'export refused' });
    const result = Object.entries(await plugin.applyKeyWithGroupID('a', 'b', 'extra'));
    assert.deepEqual(result, Object.entries(expected), `${exported.number} of ${exported.bytes.length} bytes`);
  }
  assert.deepEqual([sdk.callsOf('QCF_ExportKey').map((call) => call.args), addonLog()], [Array(6).fill([false, true, true]), []]);
});

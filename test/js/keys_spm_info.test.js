'use strict';
// getSPMKeyInfo: the query record, the output record read within its fields,
// and the console line of a failure (too long texts: catalogue.test.js).
const { test, beforeEach } = require('node:test');
const assert = require('node:assert/strict');
const sdk = require('../helpers/sdk');
const { runScenario } = require('../helpers/scenario');
const { VarnKtPlugin } = require('../..');

sdk.tempCwd();
const plugin = new VarnKtPlugin();

beforeEach(() => sdk.reset());

// An output record: texts as given (no NUL added), counters little-endian.
function infoRecord({ keyTag = '', keySource = '', counters = [0, 0, 0] }) {
  const record = Buffer.alloc(396);
  Buffer.from(keyTag).copy(record, 0);
  Buffer.from(keySource).copy(record, 128);
  counters.forEach((value, i) => record.writeUInt32LE(value, 384 + 4 * i));
  return record;
}

test('the query record carries both texts, up to their full widths, in zeroed fields', async () => {
  sdk.script('QCF_GetSPMKeyInfo', { code: 0 });
  await plugin.getSPMKeyInfo('密钥标识六', 's'.repeat(63), 'ignored'); // 15 and 63 bytes
  const query = Buffer.from(`密钥标识六\0${'s'.repeat(63)}\0`); // fields of 16 and 64 bytes
  assert.deepEqual(sdk.calls().map((call) => [call.name, call.args]), [['QCF_GetSPMKeyInfo', [query, true]]]);
});

test('success: seven properties in order, texts read within their fields, counters unsigned', async () => {
  const keyTag = 't'.repeat(128); // fills its field, no NUL
  const keySource = 's'.repeat(256);
  sdk.script('QCF_GetSPMKeyInfo', { bytes: infoRecord({ keyTag, keySource, counters: [0xffffffff, 0x80000000, 7] }) });
  assert.deepEqual(Object.entries(await plugin.getSPMKeyInfo('a', 'b')), [
    ['keyTag', keyTag], ['keySource', keySource], ['totalKeySize', 4294967295], ['usedKeySize', 2147483648],
    ['keyBasePostion', 7], ['code', 0], ['message', 'Get SPM key info successful'],
  ]);
});

test('in a session the simulator\'s record; a failure resolves with the code, the SDK text and the record as left, and prints one line', () => {
  const partial = infoRecord({ keyTag: 'partial' }).toString('hex');
  const { status, stderr, stdout, value } = runScenario('keys', 'spmInfo', { args: [partial] });
  assert.equal(status, 0, stderr);
  const empty = { keyTag: '', keySource: '', totalKeySize: 0, usedKeySize: 0, keyBasePostion: 0 };
  assert.match(value[0].keyTag, /^SPM-[0-9A-F]{8}$/);
  assert.deepEqual(value, [
    { ...empty, keyTag: value[0].keyTag, keySource: 'none', code: 0, message: 'Get SPM key info successful' },
    { ...empty, keyTag: 'partial', code: -1, message: '模块不存在' },
    { ...empty, code: 0x2a, message: '' },
  ]);
  assert.equal(stdout.toString(), '【预激活】成功！\n【密钥信息】获取失败，返回：0XFFFFFFFF（模块不存在）\n【密钥信息】获取失败，返回：0X2A（）\n');
});

'use strict';
// reportSPMWithSignPubkey and getSPMKeyInfo (their argument faults:
// catalogue.test.js; the refills: session_auth.test.js, with the token they send).
const { test, beforeEach } = require('node:test');
const assert = require('node:assert/strict');
const sdk = require('../helpers/sdk');
const { runScenario } = require('../helpers/scenario');
const { VarnKtPlugin } = require('../..');

sdk.tempCwd();
const plugin = new VarnKtPlugin();
beforeEach(() => sdk.reset());

// A getSPMKeyInfo output record: texts as given (no NUL added), counters little-endian.
function infoRecord({ keyTag = '', keySource = '', counters = [0, 0, 0] }) {
  const record = Buffer.alloc(396);
  Buffer.from(keyTag).copy(record, 0);
  Buffer.from(keySource).copy(record, 128);
  counters.forEach((value, i) => record.writeUInt32LE(value, 384 + 4 * i));
  return record;
}

test('getSPMKeyInfo: the query texts up to their full widths in zeroed fields; seven properties in order, texts read within their fields, counters unsigned', async () => {
  const keyTag = 't'.repeat(128); // fills its field, no NUL
  const keySource = 's'.repeat(256);
  sdk.script('QCF_GetSPMKeyInfo', { bytes: infoRecord({ keyTag, keySource, counters: [0xffffffff, 0x80000000, 7] }) });
  assert.deepEqual(Object.entries(await plugin.getSPMKeyInfo('密钥标识六', 's'.repeat(63), 'ignored')), [ // 15 and 63 bytes
    ['keyTag', keyTag], ['keySource', keySource], ['totalKeySize', 4294967295], ['usedKeySize', 2147483648],
    ['keyBasePostion', 7], ['code', 0], ['message', 'Get SPM key info successful'],
  ]);
  const query = Buffer.from(`密钥标识六\0${'s'.repeat(63)}\0`); // fields of 16 and 64 bytes
  assert.deepEqual(sdk.calls().map((call) => [call.name, call.args]), [['QCF_GetSPMKeyInfo', [query, true]]]);
});

test('in a session: reports log four records before the SDK call and send 18000; failures resolve with the SDK text (and the record as left) and print a line', () => {
  const partial = infoRecord({ keyTag: 'partial' }).toString('hex');
  const { status, stderr, stdout, value } = runScenario('keys', 'spm', { args: [partial] });
  const sent = ['a', 'b', 18000];
  const empty = { keyTag: '', keySource: '', totalKeySize: 0, usedKeySize: 0, keyBasePostion: 0 };
  assert.deepEqual([status, value], [0, { report: {
    atReturn: { log: ['签名 a', 'pubkey b', '签名 a', 'pubkey b'], calls: 0 },
    results: [{ code: 0, message: 'succ' }, { code: 0, message: 'succ' }, { code: -5, message: '签名公钥无效' }, { code: 12, message: '' }],
    sent: [['签名 a', 'pubkey b', 18000], sent, sent, sent],
    log: 16,
    errMessageCalls: 2, // one per failure, shared by the line and the result
  }, info: [{ ...empty, keyTag: 'partial', code: -1, message: '模块不存在' }, { ...empty, code: 0x2a, message: '' }] }], stderr);
  // A failed report prints the code and the SDK text unseparated; a successful getSPMKeyInfo prints nothing.
  assert.equal(stdout.toString(), `【预激活】成功！\n${'【签名公钥上报】上报成功\n'.repeat(2)}` +
    '【签名公钥上报】上报失败：返回-5签名公钥无效\n【签名公钥上报】上报失败：返回12\n' +
    '【密钥信息】获取失败，返回：0XFFFFFFFF（模块不存在）\n【密钥信息】获取失败，返回：0X2A（）\n');
});

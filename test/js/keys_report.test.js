'use strict';
// reportSPMWithSignPubkey: four log records before any SDK work, 18000 in
// place of the third argument, and a console line per report, so in a child.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { runScenario } = require('../helpers/scenario');

test('four log records before the SDK call, 18000 sent, failures resolved with the SDK text; a console line for each', () => {
  const { status, stderr, stdout, value } = runScenario('keys', 'report');
  assert.equal(status, 0, stderr);
  const sent = ['a', 'b', 18000];
  assert.deepEqual(value, {
    atReturn: { log: ['签名 a', 'pubkey b', '签名 a', 'pubkey b'], calls: 0 },
    results: [{ code: 0, message: 'succ' }, { code: 0, message: 'succ' }, { code: -5, message: '签名公钥无效' }, { code: 12, message: '' }],
    sent: [['签名 a', 'pubkey b', 18000], sent, sent, sent],
    log: 16,
    errMessageCalls: 2, // one per failure, shared by the line and the result
  });
  // A failure prints the code and the SDK text unseparated.
  assert.equal(stdout.toString(), `【预激活】成功！\n${'【签名公钥上报】上报成功\n'.repeat(2)}` +
    '【签名公钥上报】上报失败：返回-5签名公钥无效\n【签名公钥上报】上报失败：返回12\n');
});

'use strict';
// reportSPMWithSignPubkey: four log records before any SDK work, 18000 in
// place of the third argument, and a console line per report. Every report
// prints, so each test runs in a child.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { runScenario } = require('../helpers/scenario');

const run = (name) => {
  const { status, stderr, stdout, value } = runScenario('keys', name);
  assert.equal(status, 0, stderr);
  return { stdout: stdout.toString(), value };
};

test('four log records before the SDK call, then 18000 whatever the third argument', () => {
  const { stdout, value } = run('report');
  assert.deepEqual(value, {
    atReturn: { log: ['签名 a', 'pubkey b', '签名 a', 'pubkey b'], calls: 0 },
    results: [{ code: 0, message: 'succ' }, { code: 0, message: 'succ' }],
    sent: [['签名 a', 'pubkey b', 18000], ['a', 'b', 18000]],
    log: 8,
  });
  assert.equal(stdout, `【预激活】成功！\n${'【签名公钥上报】上报成功\n'.repeat(2)}`);
});

test('a failure resolves with the SDK text and prints the code and text unseparated', () => {
  const { stdout, value } = run('reportFailures');
  assert.deepEqual(value, {
    results: [{ code: -5, message: '签名公钥无效' }, { code: 12, message: '' }],
    errMessageCalls: 2, // one per failure, shared by the line and the result
  });
  assert.equal(stdout, '【签名公钥上报】上报失败：返回-5签名公钥无效\n【签名公钥上报】上报失败：返回12\n');
});

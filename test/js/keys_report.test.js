'use strict';
// reportSPMWithSignPubkey: four log records before any SDK work, 18000 in
// place of the third argument, and a console line per report. Every report
// prints, so each test runs in a child.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const { runChild } = require('../helpers/session_child');

test('four log records before the SDK call, then 18000 whatever the third argument', () => {
  const { stdout, value } = runChild(`
    const pending = plugin.reportSPMWithSignPubkey('签名 a', 'pubkey b', 5, 'extra');
    // The SDK thread may make the call at any time after the return.
    const atReturn = { log: logLines(), calls: process.env.VARN_SDK_THREAD === '1' ? 0 : sdk.calls().length };
    const results = [await pending, await plugin.reportSPMWithSignPubkey('a', 'b', -1)];
    const sent = sdk.callsOf('QCF_ReportSPMWithSignPubkey').map((call) => call.args);
    return { atReturn, results, sent, log: logLines().length };`);
  assert.deepEqual(value, {
    atReturn: { log: ['签名 a', 'pubkey b', '签名 a', 'pubkey b'], calls: 0 },
    results: [{ code: 0, message: 'succ' }, { code: 0, message: 'succ' }],
    sent: [['签名 a', 'pubkey b', 18000], ['a', 'b', 18000]],
    log: 8,
  });
  assert.equal(stdout.toString(), '【签名公钥上报】上报成功\n'.repeat(2));
});

test('a failure resolves with the SDK text and prints the code and text unseparated', () => {
  const { stdout, value } = runChild(`
    sdk.script('QCF_ReportSPMWithSignPubkey', { code: -5 });
    sdk.script('QCF_ErrMessage', { text: '签名公钥无效' });
    const failed = await plugin.reportSPMWithSignPubkey('a', 'b', 1);
    sdk.script('QCF_ReportSPMWithSignPubkey', { code: 12 });
    sdk.script('QCF_ErrMessage', { text: null });
    const textless = await plugin.reportSPMWithSignPubkey('a', 'b', 1);
    return { failed, textless, errMessageCalls: sdk.callsOf('QCF_ErrMessage').length };`);
  assert.deepEqual(value, {
    failed: { code: -5, message: '签名公钥无效' },
    textless: { code: 12, message: '' },
    errMessageCalls: 2, // one per failure, shared by the line and the result
  });
  assert.equal(stdout.toString(), '【签名公钥上报】上报失败：返回-5签名公钥无效\n【签名公钥上报】上报失败：返回12\n');
});

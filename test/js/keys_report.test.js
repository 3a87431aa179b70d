'use strict';
// reportSPMWithSignPubkey: four log records before any SDK work, 18000 in
// place of the third argument, and a console line per report.
const { test, beforeEach } = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const sdk = require('../helpers/sdk');
const { VarnKtPlugin } = require('../..');

sdk.tempCwd();
const plugin = new VarnKtPlugin();

beforeEach(() => sdk.reset());

// Every report prints a console line, which would corrupt the test runner's
// own channel on stdout, so reports run in a child process. `body` runs with
// `plugin`, `sdk` and `logMessages` in scope; returns its standard output
// and, as JSON, what `body` returns.
function inChild(body) {
  const resultFile = path.resolve('child-result.json');
  const script = `
    const fs = require('node:fs');
    const sdk = require(${JSON.stringify(require.resolve('../helpers/sdk'))});
    const { VarnKtPlugin } = require(${JSON.stringify(sdk.ROOT)});
    sdk.tempCwd();
    const plugin = new VarnKtPlugin();
    const logMessages = () => fs.existsSync('log.txt')
      ? fs.readFileSync('log.txt', 'utf8').split(require('node:os').EOL).filter(Boolean)
          .map((line) => line.replace(/^[-0-9]{10} [:0-9]{8} - /, ''))
      : [];
    (async () => { ${body} })().then((value) => {
      fs.writeFileSync(${JSON.stringify(resultFile)}, JSON.stringify(value));
      process.exit(0);
    }, (err) => { console.error(err); process.exit(1); });`;
  const child = spawnSync(process.execPath, ['-e', script], { encoding: 'utf8' });
  assert.equal(child.status, 0, child.stderr);
  return { stdout: child.stdout, value: JSON.parse(fs.readFileSync(resultFile, 'utf8')) };
}

test('argument faults reject; nothing is logged or sent', async () => {
  const faults = [
    [['a', 'b'], 'The argument count less(obejct expected)!'],
    [[1, 'b', 5], 'The first argument is wrong(string expected)!'],
    [['a', 2, 5], 'The sec argument is wrong(string expected)!'],
    [['a', 'b', 'c'], 'The third argument is wrong(number expected)!'],
  ];
  for (const [args, message] of faults) {
    await assert.rejects(plugin.reportSPMWithSignPubkey(...args), (err) => {
      assert.deepEqual(err, { code: -1, message });
      return true;
    });
  }
  assert.deepEqual(sdk.calls(), []);
  assert.equal(fs.existsSync('log.txt'), false);
});

test('four log records before the SDK call, then 18000 whatever the third argument', () => {
  const { stdout, value } = inChild(`
    const pending = plugin.reportSPMWithSignPubkey('签名 a', 'pubkey b', 5, 'extra');
    const atReturn = { log: logMessages(), calls: sdk.calls().length };
    const results = [await pending];
    for (const third of [0, -1, 2 ** 32 + 7]) {
      results.push(await plugin.reportSPMWithSignPubkey('a', 'b', third));
    }
    const sent = sdk.callsOf('QCF_ReportSPMWithSignPubkey').map((call) => call.args);
    return { atReturn, results, sent, log: logMessages().length };`);
  assert.deepEqual(value.atReturn, {
    log: ['签名 a', 'pubkey b', '签名 a', 'pubkey b'],
    calls: 0,
  });
  assert.deepEqual(value.results, Array(4).fill({ code: 0, message: 'succ' }));
  assert.deepEqual(value.sent, [
    ['签名 a', 'pubkey b', 18000],
    ...Array(3).fill(['a', 'b', 18000]),
  ]);
  assert.equal(value.log, 16);
  assert.equal(stdout, '【签名公钥上报】上报成功\n'.repeat(4));
});

test('a failure resolves with the SDK text and prints the code and text unseparated', () => {
  const { stdout, value } = inChild(`
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
  assert.equal(stdout, '【签名公钥上报】上报失败：返回-5签名公钥无效\n【签名公钥上报】上报失败：返回12\n');
});

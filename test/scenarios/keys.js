'use strict';
// The scenario of keys_spm.test.js, in a process of its own as pre-activation
// and reports print console lines; and the log filter of the keys tests.
const fs = require('node:fs');
const { openSession } = require('../helpers/session');

// The add-on's own records of log.txt here, without time stamps and the simulator's lines.
const addonLog = () => (fs.existsSync('log.txt') ? fs.readFileSync('log.txt', 'utf8').split(/\r?\n/).filter(Boolean)
  .map((line) => line.slice(22)).filter((message) => !/^QCF_\w+: /.test(message)) : []);

module.exports = {
  addonLog, // not a scenario: the tests' own filter
  // In one session: two reports, the first looked at when the method returns,
  // then scripted failures with and without an SDK text; then getSPMKeyInfo
  // once as the simulator answers and twice failing.
  async spm({ plugin, sdk, args: [partial] }) {
    await openSession(plugin);
    const pending = plugin.reportSPMWithSignPubkey('签名 a', 'pubkey b', 5, 'extra');
    // The SDK thread may make the call at any time after the return.
    const atReturn = { log: addonLog(), calls: process.env.VARN_SDK_THREAD === '1' ? 0 : sdk.callsOf('QCF_ReportSPMWithSignPubkey').length };
    const results = [await pending, await plugin.reportSPMWithSignPubkey('a', 'b', -1)];
    for (const [code, text] of [[-5, '签名公钥无效'], [12, null]]) {
      sdk.script('QCF_ReportSPMWithSignPubkey', { code });
      sdk.script('QCF_ErrMessage', { text });
      results.push(await plugin.reportSPMWithSignPubkey('a', 'b', 1));
    }
    const sent = sdk.callsOf('QCF_ReportSPMWithSignPubkey').map((call) => call.args);
    const report = { atReturn, results, sent, log: addonLog().length, errMessageCalls: sdk.callsOf('QCF_ErrMessage').length };
    await plugin.getSPMKeyInfo('a', 'b'); // its values: simulator.test.js
    const info = [];
    // The second writes nothing and has no SDK text for its code.
    for (const [code, bytes, text] of [[-1, Buffer.from(partial, 'hex'), '模块不存在'], [0x2a, Buffer.alloc(0), null]]) {
      sdk.script('QCF_GetSPMKeyInfo', { code, bytes });
      sdk.script('QCF_ErrMessage', { text });
      info.push(await plugin.getSPMKeyInfo('a', 'b'));
    }
    plugin.finish();
    return { report, info };
  },
};

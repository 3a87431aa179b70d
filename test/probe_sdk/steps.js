'use strict';
// Each method of the add-on once, with the SDK functions it is to reach given
// a libqcf that answers 0. Run as a script (by test/js/probe_sdk.test.js,
// without the test helpers, which would load the stand-in's control add-on),
// it calls them and writes to result.json what each answered and which calls
// the probe noted in its log (PROBE_QCF_LOG) meanwhile.
const fs = require('node:fs');

const FILL = { serverAddr: '127.0.0.1', port: 18000, serverType: 1, userTokenHandle: 'handle', overWriteFlag: 0, fillkeyItem: { appName: 'app', keyLen: 32, softkeyPath: 'soft.key' } };
const STEPS = [
  ['preActivate', ['probe.key'], ['QCF_Custom', 'QCF_PreActivate', 'QCF_SetExceptionHandler', 'QCF_SetKeyFilePath', 'QCF_SetLogHandler']],
  ['setKeyFilePath', ['probe.key'], ['QCF_SetKeyFilePath']],
  ['setCustomConfig', ['logLevel', '1'], ['QCF_Custom']],
  ['setLogCallback', ['FN'], []],
  ['setEventCallback', ['onCaptureError', 'FN'], []],
  ['hello', ['abc'], []],
  ['init', [1, 'user', 'name'], ['QCF_Custom', 'QCF_Init']],
  ['auth', [], ['QCF_Auth']],
  ['auth_pubkey', [1, 'user', 'name'], ['QCF_Auth_pubkey_WithInfo']],
  ['fillKey', [FILL], ['QCF_FillKey_WithPubkey']],
  ['fillKeySync', [FILL], ['QCF_FillKey_WithPubkey']],
  ['getSPMKeyInfo', ['tag', 'source'], ['QCF_GetSPMKeyInfo']],
  ['reFillKey', ['token', 1, 2], ['QCF_ReFillKey']],
  ['reFillKeySync', ['token', 1, 2], ['QCF_ReFillKey']],
  ['createGroup', ['group', 1, 'third'], ['QCF_CreateGroup']],
  ['applyKeyWithGroupID', ['group', 'second'], ['QCF_ApplyKeyWithGroupID', 'QCF_ExportKey']],
  ['reportSPMWithSignPubkey', ['first', 'second', 1], ['QCF_ReportSPMWithSignPubkey']],
  ['finish', [], ['QCF_Finish']],
];

async function main() {
  const addon = require(process.env.VARN_PACKAGE_ROOT);
  const plugin = new addon.VarnKtPlugin();
  const results = {};
  for (const [method, args] of STEPS) {
    const noted = () => fs.readFileSync(process.env.PROBE_QCF_LOG, 'utf8');
    const from = noted().length;
    try {
      const value = plugin[method](...args.map((a) => (a === 'FN' ? () => {} : a)));
      results[method] = { value: await Promise.race([value, new Promise((_, reject) => setTimeout(reject, 10000, new Error('not settled')).unref())]) };
    } catch (err) {
      results[method] = { error: String(err && err.message !== undefined ? err.message : JSON.stringify(err)) };
    }
    results[method].calls = [...new Set(noted().slice(from).split('\n').filter(Boolean))].sort();
  }
  const maps = fs.readFileSync('/proc/self/maps', 'utf8');
  results.loaded = { probe: maps.includes(process.env.PROBE_LIB), standin: maps.includes(process.env.STANDIN_LIB) };
  results.sdk = (({ simulator, path }) => ({ simulator, path }))(addon.sdkInfo());
  fs.writeFileSync('result.json', JSON.stringify(results));
  process.exit(0);
}

if (require.main === module) main();
module.exports = { STEPS };

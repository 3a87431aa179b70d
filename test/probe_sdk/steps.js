'use strict';
// Each method of the add-on once, with the SDK functions it is to reach and
// what it answers, given a libqcf that answers 0 (test/probe_sdk/probe_qcf.c).
// Run as a script (by test/js/probe_sdk.test.js, without the test helpers,
// which would load the stand-in's control add-on), it calls them and writes
// to result.json what each answered and which calls the probe noted in its
// log (PROBE_QCF_LOG) meanwhile.
const fs = require('node:fs');

const FILL = { serverAddr: '127.0.0.1', port: 18000, serverType: 1, userTokenHandle: 'handle', overWriteFlag: 0, fillkeyItem: { appName: 'app', keyLen: 32, softkeyPath: 'soft.key' } };
const LOGIN = { token: 'probe-token', tokenValidSeconds: 60, code: 0, message: 'succ' };
const ok = (message, more) => ({ code: 0, message, ...more });
const STEPS = [
  ['preActivate', ['probe.key'], ['QCF_Custom', 'QCF_PreActivate', 'QCF_SetExceptionHandler', 'QCF_SetKeyFilePath', 'QCF_SetLogHandler'], 0],
  ['setKeyFilePath', ['probe.key'], ['QCF_SetKeyFilePath'], 0],
  ['setCustomConfig', ['logLevel', '1'], ['QCF_Custom'], 0],
  ['setLogCallback', ['FN'], [], 0],
  ['setEventCallback', ['onCaptureError', 'FN'], [], 12],
  ['hello', ['abc'], [], 'abc world'],
  ['init', [1, 'user', 'name'], ['QCF_Custom', 'QCF_Init'], ok('initialization successful')],
  ['auth', [], ['QCF_Auth'], LOGIN],
  ['auth_pubkey', [1, 'user', 'name'], ['QCF_Auth_pubkey_WithInfo'], LOGIN],
  ['fillKey', [FILL], ['QCF_FillKey_WithPubkey'], ok('Fill key successful')],
  ['fillKeySync', [FILL], ['QCF_FillKey_WithPubkey'], 0],
  ['getSPMKeyInfo', ['tag', 'source'], ['QCF_GetSPMKeyInfo'], { keyTag: '', keySource: '', totalKeySize: 0, usedKeySize: 0,
    keyBasePostion: 0, ...ok('Get SPM key info successful') }],
  ['reFillKey', ['token', 1, 2], ['QCF_ReFillKey'], ok('重新填充密钥成功')],
  ['reFillKeySync', ['token', 1, 2], ['QCF_ReFillKey'], ok('重新填充密钥成功')],
  ['createGroup', ['group', 1, 'third'], ['QCF_CreateGroup'], ok('succ', { groupId: 'p' })],
  ['applyKeyWithGroupID', ['group', 'second'], ['QCF_ApplyKeyWithGroupID', 'QCF_ExportKey'], ok('succ', { groupKey: 'AB' })],
  ['reportSPMWithSignPubkey', ['first', 'second', 1], ['QCF_ReportSPMWithSignPubkey'], ok('succ')],
  ['finish', [], ['QCF_Finish'], 0],
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

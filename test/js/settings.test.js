'use strict';
// setCustomConfig and setKeyFilePath: the bytes that reach the SDK, the codes
// that come back, and the log record of the key file path. Their argument
// faults, the NUL path among them, are in catalogue.test.js.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const { EOL } = require('node:os');
const sdk = require('../helpers/sdk');
const { runScenario } = require('../helpers/scenario');

sdk.tempCwd();
const { VarnKtPlugin } = require(sdk.ROOT);
const plugin = new VarnKtPlugin();

test('setKeyFilePath logs the path with a local time stamp', () => {
  // A zone eight hours east of UTC, in POSIX form so that no zone data is needed.
  const before = Math.floor(Date.now() / 1000) * 1000;
  const { value, log } = runScenario('session', 'keyFilePathZone', { env: { TZ: 'UTC-8' } });
  const after = Date.now();
  const [, stamp] = /^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d) - zone\.key$/.exec(log.slice(0, -EOL.length)) ?? [];
  const at = Date.parse(`${stamp?.replace(' ', 'T')}+08:00`);
  assert.ok(value === 0 && log.endsWith(EOL) && at >= before && at <= after, `one record in UTC+8: ${JSON.stringify(log)}`);
});

// [code page, method, arguments, scripted code, bytes the SDK receives]. VARN_ANSI_CODEPAGE picks the code page off
// Windows only: there setKeyFilePath uses the system's (test/windows covers it). How each character set converts is
// checked in diagnostics_test.cc. A lone surrogate arrives as U+FFFD, which CP1252 lacks, as it lacks 密.
const SDK_NAME = { setCustomConfig: 'QCF_Custom', setKeyFilePath: 'QCF_SetKeyFilePath' };
const CASES = [
  ['CP1252', 'setCustomConfig', ['日志目录', 'C:\\Müller\\密钥', 5], -2147483648, [Buffer.from('日志目录'), Buffer.from('C:\\Müller\\密钥')]],
  ['CP1252', 'setKeyFilePath', ['C:/Müller/€/密\ud800.key'], 0, [Buffer.from('C:/M\xfcller/\x80/??.key', 'latin1')]],
  [undefined, 'setKeyFilePath', ['D:/密钥/ü\ud800.key', 5], 0x0a000001, [Buffer.from('D:/密钥/ü\ufffd.key')]],
  [undefined, 'setKeyFilePath', [''], sdk.CODES.NO_KEY_FILE, [Buffer.alloc(0)]], // the simulator's refusal
].filter(([, method]) => process.platform !== 'win32' || method !== 'setKeyFilePath');

test('setCustomConfig hands over UTF-8 and logs nothing; setKeyFilePath hands over the code page of each call and logs UTF-8; both return the SDK code', () => {
  const log = () => (fs.existsSync('log.txt') ? fs.readFileSync('log.txt').subarray(22) : null);
  for (const [page, method, args, code, bytes] of CASES) {
    sdk.reset();
    sdk.tempCwd();
    if (page) process.env.VARN_ANSI_CODEPAGE = page; else delete process.env.VARN_ANSI_CODEPAGE;
    if (code && args[0]) sdk.script(SDK_NAME[method], { code });
    // The path logged as UTF-8; no setting logged.
    assert.deepEqual([plugin[method](...args), sdk.callsRaw().map((call) => [call.name, ...call.args]), log()],
      [code, [[SDK_NAME[method], ...bytes]], method === 'setKeyFilePath' ? Buffer.from(`${args[0]}\n`) : null], `${args[0]} in ${page}`);
  }
});

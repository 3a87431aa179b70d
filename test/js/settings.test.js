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
  const before = Date.now();
  const { value, log } = runScenario('session', 'keyFilePathZone', { env: { TZ: 'UTC-8' } });
  const after = Date.now();
  const [, stamp] = /^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d) - zone\.key$/.exec(log.slice(0, -EOL.length)) ?? [];
  assert.ok(value === 0 && stamp && log.endsWith(EOL), `one record with a time stamp: ${JSON.stringify(log)}`);
  const at = Date.parse(`${stamp.replace(' ', 'T')}Z`) - 8 * 3600 * 1000;
  assert.ok(at >= Math.floor(before / 1000) * 1000 && at <= after, `${stamp} is UTC+8 local time`);
});

// [code page, method, arguments, scripted code, bytes the SDK receives]. VARN_ANSI_CODEPAGE picks the code page off
// Windows only: there setKeyFilePath uses the system's (test/windows covers it).
const SDK_NAME = { setCustomConfig: 'QCF_Custom', setKeyFilePath: 'QCF_SetKeyFilePath' };
const CASES = [
  ['CP1252', 'setCustomConfig', ['日志目录', 'C:\\Müller\\密钥', 5], -2147483648, [Buffer.from('日志目录'), Buffer.from('C:\\Müller\\密钥')]],
  [undefined, 'setKeyFilePath', ['D:/密钥/ü.key', 5], 0x0a000001, [Buffer.from('D:/密钥/ü.key')]],
  ['GBK', 'setKeyFilePath', ['D:/密钥/a.key'], 0, [Buffer.from([...Buffer.from('D:/'), 0xc3, 0xdc, 0xd4, 0xbf, ...Buffer.from('/a.key')])]],
  // Characters CP1252 lacks become "?"; a lone surrogate arrives as U+FFFD.
  ['CP1252', 'setKeyFilePath', ['C:/Müller/€/密.key'], 0,
    [Buffer.from([...Buffer.from('C:/M'), 0xfc, ...Buffer.from('ller/'), 0x80, ...Buffer.from('/?.key')])]],
  ['CP1252', 'setKeyFilePath', ['x\ud800y'], 0, [Buffer.from('x?y')]],
  [undefined, 'setKeyFilePath', ['x\ud800y'], 0, [Buffer.from('x\ufffdy')]],
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

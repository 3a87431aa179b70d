'use strict';
// setCustomConfig and setKeyFilePath: the bytes that reach the SDK, the codes
// that come back, and the log record of the key file path. Their argument
// faults, the NUL path among them, are in catalogue.test.js.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const { EOL } = require('node:os');
const sdk = require('../helpers/sdk');
const { runValue } = require('../helpers/scenario');

sdk.tempCwd();
const { VarnKtPlugin } = require(sdk.ROOT);
const plugin = new VarnKtPlugin();

test('setKeyFilePath logs the path with a local time stamp, then hands it to the SDK', () => {
  // A zone eight hours east of UTC, in POSIX form so that no zone data is needed.
  const before = Date.now();
  const log = runValue('session', 'keyFilePathZone', { env: { TZ: 'UTC-8' } });
  const after = Date.now();
  assert.deepEqual(log.calls, [['QCF_SetKeyFilePath', ['zone.key']]]);
  const [, stamp] = /^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d) - zone\.key$/.exec(log.log.slice(0, -EOL.length)) ?? [];
  assert.ok(stamp && log.log.endsWith(EOL), `one record with a time stamp: ${JSON.stringify(log.log)}`);
  const at = Date.parse(`${stamp.replace(' ', 'T')}Z`) - 8 * 3600 * 1000;
  assert.ok(at >= Math.floor(before / 1000) * 1000 && at <= after, `${stamp} is UTC+8 local time`);
});

// VARN_ANSI_CODEPAGE picks the code page off Windows only; test/windows covers Windows.
test('setCustomConfig hands over UTF-8 and logs nothing; setKeyFilePath hands over the code page of each call and logs UTF-8; both return the SDK code',
  () => {
    const sdkName = { setCustomConfig: 'QCF_Custom', setKeyFilePath: 'QCF_SetKeyFilePath' };
    const cases = [
      // [code page, method, arguments, scripted code, bytes the SDK receives]
      ['CP1252', 'setCustomConfig', ['日志目录', 'C:\\Müller\\密钥', 5], -2147483648, [Buffer.from('日志目录'), Buffer.from('C:\\Müller\\密钥')]],
      [undefined, 'setKeyFilePath', ['D:/密钥/ü.key', 5], 0x0a000001, [Buffer.from('D:/密钥/ü.key')]],
      ['GBK', 'setKeyFilePath', ['D:/密钥/a.key'], 0, [Buffer.from([...Buffer.from('D:/'), 0xc3, 0xdc, 0xd4, 0xbf, ...Buffer.from('/a.key')])]],
      // Characters CP1252 lacks become "?"; a lone surrogate arrives as U+FFFD.
      ['CP1252', 'setKeyFilePath', ['C:/Müller/€/密.key'], 0,
        [Buffer.from([...Buffer.from('C:/M'), 0xfc, ...Buffer.from('ller/'), 0x80, ...Buffer.from('/?.key')])]],
      ['CP1252', 'setKeyFilePath', ['x\ud800y'], 0, [Buffer.from('x?y')]],
      [undefined, 'setKeyFilePath', ['x\ud800y'], 0, [Buffer.from('x\ufffdy')]],
      [undefined, 'setKeyFilePath', [''], sdk.CODES.NO_KEY_FILE, [Buffer.alloc(0)]], // the simulator's refusal
    ];
    for (const [page, method, args, code, bytes] of cases) {
      if (process.platform === 'win32' && method === 'setKeyFilePath') continue; // its own ANSI code page there
      sdk.reset();
      sdk.tempCwd();
      if (page) process.env.VARN_ANSI_CODEPAGE = page; else delete process.env.VARN_ANSI_CODEPAGE;
      if (code && args[0]) sdk.script(sdkName[method], { code });
      assert.equal(plugin[method](...args), code, `${args[0]} in ${page}`);
      assert.deepEqual(sdk.callsRaw().map((call) => [call.name, ...call.args]), [[sdkName[method], ...bytes]]);
      const log = fs.existsSync('log.txt') ? fs.readFileSync('log.txt').subarray(22) : null;
      assert.deepEqual(log, method === 'setKeyFilePath' ? Buffer.from(`${args[0]}\n`) : null, 'the path as UTF-8; no setting');
    }
  });

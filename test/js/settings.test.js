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

test.beforeEach(() => {
  sdk.reset();
  sdk.tempCwd();
});

test('setCustomConfig hands key and value to the SDK as UTF-8 bytes, whatever the code page, and logs nothing; both methods return the SDK code unchanged and throw nothing for it', () => {
  process.env.VARN_ANSI_CODEPAGE = 'CP1252';
  assert.equal(plugin.setCustomConfig('logLevel', '1'), 0);
  sdk.script('QCF_Custom', { code: -2147483648 });
  sdk.script('QCF_SetKeyFilePath', { code: 0x0a000001 });
  assert.equal(plugin.setCustomConfig('日志目录', 'C:\\Müller\\密钥'), -2147483648);
  assert.equal(fs.existsSync('log.txt'), false, 'setCustomConfig logs nothing');
  assert.equal(plugin.setKeyFilePath('k.key'), 0x0a000001);
  assert.deepEqual(sdk.callsRaw().map((call) => [call.name, ...call.args]), [
    ['QCF_Custom', Buffer.from('logLevel'), Buffer.from('1')],
    ['QCF_Custom', Buffer.from('日志目录'), Buffer.from('C:\\Müller\\密钥')],
    ['QCF_SetKeyFilePath', Buffer.from('k.key')],
  ]);
});

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
test('setKeyFilePath hands the path over in the ANSI code page, read at each call, and logs it as UTF-8',
  { skip: process.platform === 'win32' && 'Windows converts to its own ANSI code page' }, () => {
    const cases = [
      // [code page, path, bytes the SDK receives]
      [undefined, 'D:/密钥/ü.key', Buffer.from('D:/密钥/ü.key')],
      ['GBK', 'D:/密钥/a.key', Buffer.from([...Buffer.from('D:/'), 0xc3, 0xdc, 0xd4, 0xbf, ...Buffer.from('/a.key')])],
      // Characters CP1252 lacks become "?"; a lone surrogate arrives as U+FFFD.
      ['CP1252', 'C:/Müller/€/密.key', Buffer.from([...Buffer.from('C:/M'), 0xfc, ...Buffer.from('ller/'), 0x80, ...Buffer.from('/?.key')])],
      ['CP1252', 'x\ud800y', Buffer.from('x?y')],
      [undefined, 'x\ud800y', Buffer.from('x\ufffdy')],
      [undefined, '', Buffer.alloc(0)],
    ];
    for (const [page, keyPath, bytes] of cases) {
      sdk.reset();
      sdk.tempCwd();
      if (page) process.env.VARN_ANSI_CODEPAGE = page; else delete process.env.VARN_ANSI_CODEPAGE;
      // The simulator refuses an empty path.
      assert.equal(plugin.setKeyFilePath(keyPath), keyPath ? 0 : sdk.CODES.NO_KEY_FILE);
      assert.deepEqual(sdk.callsRaw().map((call) => [call.name, ...call.args]), [['QCF_SetKeyFilePath', bytes]], `${keyPath} in ${page}`);
      assert.deepEqual(fs.readFileSync('log.txt').subarray(22), Buffer.from(`${keyPath}\n`), 'the log keeps the UTF-8 text');
    }
  });

'use strict';
// setCustomConfig and setKeyFilePath: the bytes that reach the SDK, the codes
// that come back, and the log record of the key file path.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const { EOL } = require('node:os');
const sdk = require('../helpers/sdk');

sdk.tempCwd();
const { VarnKtPlugin } = require(sdk.ROOT);
const plugin = new VarnKtPlugin();

const CODES = [0, 1, -1, 0x0a000001, -2147483648];

// The log records as [time stamp, message] pairs.
function logRecords() {
  if (!fs.existsSync('log.txt')) return [];
  const text = fs.readFileSync('log.txt', 'utf8');
  assert.ok(text.endsWith(EOL), 'each record ends its line');
  return text
    .slice(0, -EOL.length)
    .split(EOL)
    .map((line) => {
      const match = /^(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}) - (.*)$/s.exec(line);
      assert.ok(match, `record "${line}" has a time stamp and " - "`);
      return [match[1], match[2]];
    });
}

function withCodePage(name, body) {
  const saved = process.env.VARN_ANSI_CODEPAGE;
  if (name === undefined) delete process.env.VARN_ANSI_CODEPAGE;
  else process.env.VARN_ANSI_CODEPAGE = name;
  try {
    return body();
  } finally {
    if (saved === undefined) delete process.env.VARN_ANSI_CODEPAGE;
    else process.env.VARN_ANSI_CODEPAGE = saved;
  }
}

test.beforeEach(() => {
  sdk.reset();
  sdk.tempCwd();
});

test('setCustomConfig hands key and value to the SDK as UTF-8 bytes', () => {
  const settings = [
    ['logLevel', '1'],
    ['', ''],
    ['no such key', 'any value'],
    ['日志目录', 'C:\\Müller\\密钥'],
  ];
  withCodePage('CP1252', () => {
    for (const [key, value] of settings) {
      sdk.reset();
      assert.equal(plugin.setCustomConfig(key, value), 0);
      const calls = sdk.callsRaw();
      assert.deepEqual(
        calls.map((call) => call.name),
        ['QCF_Custom'],
      );
      assert.deepEqual(calls[0].args, [Buffer.from(key, 'utf8'), Buffer.from(value, 'utf8')]);
    }
  });
  assert.deepEqual(logRecords(), [], 'setCustomConfig logs nothing');
});

test('both methods return the SDK code unchanged and throw nothing for it', () => {
  for (const code of CODES) {
    sdk.reset();
    sdk.script('QCF_Custom', { code });
    sdk.script('QCF_SetKeyFilePath', { code });
    assert.equal(plugin.setCustomConfig('logLevel', '9'), code);
    assert.equal(plugin.setKeyFilePath('k.key'), code);
    assert.deepEqual(sdk.names(), ['QCF_Custom', 'QCF_SetKeyFilePath'], 'no error text is fetched');
  }
});

test('setKeyFilePath logs the path with a local time stamp, then hands it to the SDK', () => {
  const before = Date.now();
  assert.equal(plugin.setKeyFilePath('/keys/a.key'), 0);
  assert.equal(plugin.setKeyFilePath('/keys/b.key'), 0);
  const after = Date.now();

  const records = logRecords();
  assert.deepEqual(
    records.map(([, message]) => message),
    ['/keys/a.key', '/keys/b.key'],
  );
  for (const [stamp] of records) {
    // Parsed without a zone, the stamp is read as local time.
    const at = new Date(stamp.replace(' ', 'T')).getTime();
    assert.ok(at >= Math.floor(before / 1000) * 1000 && at <= after, `${stamp} is local time now`);
  }
  assert.deepEqual(sdk.calls(), [
    { name: 'QCF_SetKeyFilePath', args: ['/keys/a.key'], thread: sdk.calls()[0].thread },
    { name: 'QCF_SetKeyFilePath', args: ['/keys/b.key'], thread: sdk.calls()[1].thread },
  ]);
});

test('the time stamp is local time, not UTC', () => {
  // A zone eight hours east of UTC, in POSIX form so that no zone data is needed.
  const dir = sdk.tempCwd();
  const script = `
    process.chdir(${JSON.stringify(dir)});
    const { VarnKtPlugin } = require(${JSON.stringify(sdk.ROOT)});
    new VarnKtPlugin().setKeyFilePath('zone.key');
    process.exit(0);`;
  const before = Date.now();
  const child = spawnSync(process.execPath, ['-e', script], { env: { ...process.env, TZ: 'UTC-8' }, encoding: 'utf8' });
  const after = Date.now();
  assert.equal(child.status, 0, child.stderr);
  const [[stamp, message]] = logRecords();
  assert.equal(message, 'zone.key');
  const at = Date.parse(`${stamp.replace(' ', 'T')}Z`) - 8 * 3600 * 1000;
  assert.ok(at >= Math.floor(before / 1000) * 1000 && at <= after, `${stamp} is UTC+8 local time`);
});

// VARN_ANSI_CODEPAGE picks the code page off Windows only; test/windows covers Windows.
const linuxCodePage = { skip: process.platform === 'win32' && 'Windows converts to its own ANSI code page' };

test('setKeyFilePath hands the path over in the ANSI code page and logs it as UTF-8', linuxCodePage, () => {
  const cases = [
    // [code page, path, bytes the SDK receives]
    [undefined, 'D:/密钥/ü.key', Buffer.from('D:/密钥/ü.key', 'utf8')],
    ['GBK', 'D:/密钥/a.key', Buffer.from([...Buffer.from('D:/'), 0xc3, 0xdc, 0xd4, 0xbf, ...Buffer.from('/a.key')])],
    ['CP1252', 'C:/Müller/€/密.key', Buffer.from([...Buffer.from('C:/M'), 0xfc, ...Buffer.from('ller/'), 0x80, ...Buffer.from('/?.key')])],
    // A lone surrogate arrives as U+FFFD, which CP1252 lacks.
    ['CP1252', 'x\ud800y', Buffer.from('x?y')],
    [undefined, 'x\ud800y', Buffer.from('x\ufffdy', 'utf8')],
  ];
  for (const [codePage, keyPath, bytes] of cases) {
    sdk.reset();
    sdk.tempCwd();
    withCodePage(codePage, () => assert.equal(plugin.setKeyFilePath(keyPath), 0));
    const calls = sdk.callsRaw();
    assert.equal(calls.length, 1);
    assert.equal(calls[0].name, 'QCF_SetKeyFilePath');
    assert.deepEqual(calls[0].args, [bytes], `${keyPath} in ${codePage || 'UTF-8'}`);
    assert.deepEqual(
      fs.readFileSync('log.txt').subarray(22),
      Buffer.concat([Buffer.from(keyPath, 'utf8'), Buffer.from('\n')]),
      'the log keeps the UTF-8 text',
    );
  }
});

test('the code page is read again at each call', linuxCodePage, () => {
  const path = 'ü.key';
  const received = [];
  for (const codePage of ['CP1252', undefined, 'CP1252']) {
    sdk.reset();
    withCodePage(codePage, () => plugin.setKeyFilePath(path));
    received.push(sdk.callsRaw()[0].args[0].toString('hex'));
  }
  assert.deepEqual(received, ['fc2e6b6579', 'c3bc2e6b6579', 'fc2e6b6579']);
});

test('an empty path is logged as an empty record and handed over empty', () => {
  assert.equal(plugin.setKeyFilePath(''), 0);
  assert.deepEqual(
    logRecords().map(([, message]) => message),
    [''],
  );
  assert.deepEqual(
    sdk.calls().map(({ name, args }) => [name, args]),
    [['QCF_SetKeyFilePath', ['']]],
  );
});

test('a path with a NUL is refused before anything is logged or sent', () => {
  for (const keyPath of ['a\0b.key', '\0', 'keys/\0']) {
    assert.throws(() => plugin.setKeyFilePath(keyPath), (err) => {
      assert.equal(err.constructor, Error);
      assert.equal(err.message, 'The first argument is wrong(string without NUL expected)!');
      assert.equal('code' in err, false);
      return true;
    });
  }
  assert.deepEqual(sdk.calls(), []);
  assert.equal(fs.existsSync('log.txt'), false);
});

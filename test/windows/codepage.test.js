'use strict';
// Paths handed to the SDK in the Windows ANSI code page: setKeyFilePath,
// preActivate (key file and log directory), fillKey and fillKeySync, while
// log.txt keeps the UTF-8 text. Wine takes the ANSI code page from the Unix
// locale, so npm run test:windows runs this file under LANG=zh_CN.UTF-8 (code
// page 936, GBK) and under LANG=en_US.UTF-8 (code page 1252).
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const sdk = require('../helpers/sdk');

const bytes = (...parts) => Buffer.concat(parts.map((part) => (typeof part === 'string' ? Buffer.from(part, 'latin1') : Buffer.from(part))));

// [path, its bytes in code page 936, in code page 1252]. Characters a code
// page lacks become "?".
const PATHS = [
  ['D:\\密钥\\文件.key', bytes('D:\\', [0xc3, 0xdc, 0xd4, 0xbf], '\\', [0xce, 0xc4, 0xbc, 0xfe], '.key'), bytes('D:\\??\\??.key')],
  ['C:/Données/ß/软件', bytes('C:/Donn', [0xa8, 0xa6], 'es/?/', [0xc8, 0xed, 0xbc, 0xfe]), bytes('C:/Donn', [0xe9], 'es/', [0xdf], '/??')],
  ['plain/ascii.key', bytes('plain/ascii.key'), bytes('plain/ascii.key')],
];
const LOG_DIR = ['E:\\日志', bytes('E:\\', [0xc8, 0xd5, 0xd6, 0xbe]), bytes('E:\\??')];

const CODE_PAGES = { zh_CN: 936, en_US: 1252 };
const codePage = CODE_PAGES[String(process.env.LANG).split('.')[0]];
const column = { 936: 1, 1252: 2 }[codePage];
const skip =
  (process.platform !== 'win32' && 'Windows only (npm run test:windows)') ||
  (!codePage && `LANG=${process.env.LANG} names no code page this file knows`);

sdk.tempCwd();
const { VarnKtPlugin } = require(sdk.ROOT);
const plugin = new VarnKtPlugin();

// Without handlers, so that the stand-in's own log lines stay out of log.txt.
test.beforeEach(() => {
  sdk.reset(true);
  sdk.tempCwd();
});

// The messages of log.txt, each record's line end (CR LF) checked.
function logMessages() {
  const text = fs.readFileSync('log.txt', 'utf8');
  assert.ok(text.endsWith('\r\n'));
  return text
    .slice(0, -2)
    .split('\r\n')
    .map((line) => line.replace(/^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d - /, ''));
}

// The soft key path field of a fill-key item record: 256 bytes from offset 36.
function softkeyPath(record) {
  const field = record.subarray(36, 36 + 256);
  return field.subarray(0, field.indexOf(0));
}

const fillParams = (softkey) => ({
  serverAddr: 'kms.example',
  port: 8443,
  serverType: 2,
  userTokenHandle: 'user-token',
  overWriteFlag: 1,
  fillkeyItem: { appName: 'app', keyLen: 16, softkeyPath: softkey },
});

test(`setKeyFilePath: the SDK gets code page ${codePage}, the log UTF-8`, { skip }, () => {
  for (const entry of PATHS) {
    sdk.reset(true);
    sdk.tempCwd();
    assert.equal(plugin.setKeyFilePath(entry[0]), 0);
    assert.deepEqual(sdk.callsRaw().map((call) => [call.name, call.args]), [['QCF_SetKeyFilePath', [entry[column]]]], entry[0]);
    assert.deepEqual(logMessages(), [entry[0]]);
  }
});

test(`preActivate: key file and log directory in code page ${codePage}, the key type unconverted`, { skip }, () => {
  for (const entry of PATHS) {
    sdk.reset();
    assert.equal(plugin.preActivate(entry[0], LOG_DIR[0], '密'), 0);
    const calls = sdk.callsRaw();
    const custom = (key) => calls.find((call) => call.name === 'QCF_Custom' && call.args[0].toString() === key);
    assert.deepEqual(custom('logDir').args[1], LOG_DIR[column]);
    assert.deepEqual(custom('UkeyType').args[1], Buffer.from('密'));
    const keyFile = calls.filter((call) => call.name === 'QCF_SetKeyFilePath');
    assert.deepEqual(keyFile.map((call) => call.args), [[entry[column]]], entry[0]);
  }
});

test(`fillKey and fillKeySync: the soft key path in code page ${codePage}, the log UTF-8`, { skip }, async () => {
  for (const entry of PATHS) {
    sdk.reset(true);
    sdk.tempCwd();
    assert.equal((await plugin.fillKey(fillParams(entry[0]))).code, 0);
    assert.equal(plugin.fillKeySync(fillParams(entry[0])), 0);
    const records = sdk.callsOf('QCF_FillKey_WithPubkey').map((call) => call.args[4]);
    assert.equal(records.length, 2);
    for (const record of records) assert.deepEqual(softkeyPath(record), entry[column], entry[0]);
    assert.deepEqual(logMessages(), [entry[0], entry[0]]);
  }
});

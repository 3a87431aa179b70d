'use strict';
// Paths reach the SDK in the Windows ANSI code page while log.txt keeps UTF-8. Wine takes the code page from the Unix
// locale: npm run test:windows runs this file under LANG=zh_CN.UTF-8 (936, GBK) and LANG=en_US.UTF-8 (1252).
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const sdk = require('../helpers/sdk');

const bytes = (...parts) => Buffer.concat(parts.map((part) => (typeof part === 'string' ? Buffer.from(part, 'latin1') : Buffer.from(part))));

// [path, its bytes in code page 936, in code page 1252]. Characters a code page lacks become "?".
const PATHS = [
  ['D:\\密钥\\文件.key', bytes('D:\\', [0xc3, 0xdc, 0xd4, 0xbf], '\\', [0xce, 0xc4, 0xbc, 0xfe], '.key'), bytes('D:\\??\\??.key')],
  ['C:/Données/ß/软件', bytes('C:/Donn', [0xa8, 0xa6], 'es/?/', [0xc8, 0xed, 0xbc, 0xfe]), bytes('C:/Donn', [0xe9], 'es/', [0xdf], '/??')],
];
const LOG_DIR = ['E:\\日志', bytes('E:\\', [0xc8, 0xd5, 0xd6, 0xbe]), bytes('E:\\??')];

const codePage = { zh_CN: 936, en_US: 1252 }[String(process.env.LANG).split('.')[0]];
const column = { 936: 1, 1252: 2 }[codePage];
const skip = (process.platform !== 'win32' && 'Windows only (npm run test:windows)') ||
  (!codePage && `LANG=${process.env.LANG} names no code page this file knows`);

sdk.tempCwd();
const { VarnKtPlugin } = require(sdk.ROOT);
const plugin = new VarnKtPlugin();
const argsOf = (name) => sdk.callsRaw().filter((call) => call.name === name).map((call) => call.args);

test(`paths reach the SDK in code page ${codePage}, the log in UTF-8; the key type is not converted`, { skip }, async () => {
  for (const [text, ...columns] of PATHS) {
    const expected = columns[column - 1];
    // Without handlers, so that the stand-in's own log lines stay out of log.txt.
    sdk.reset(true);
    sdk.tempCwd();
    // Without a login: the fills answer in the simulator's place.
    sdk.script('QCF_FillKey_WithPubkey', { code: 0, times: -1 });
    const fill = { serverAddr: 'kms.example', port: 8443, serverType: 2, userTokenHandle: 'user-token', overWriteFlag: 1 };
    fill.fillkeyItem = { appName: 'app', keyLen: 16, softkeyPath: text };
    assert.deepEqual([plugin.setKeyFilePath(text), (await plugin.fillKey(fill)).code, plugin.fillKeySync(fill)], [0, 0, 0]);
    // The soft key path field of a fill-key item record: 256 bytes from offset 36.
    const softkeyPaths = argsOf('QCF_FillKey_WithPubkey').map(([, , , , item]) => item.subarray(36, item.indexOf(0, 36)));
    assert.deepEqual([argsOf('QCF_SetKeyFilePath'), softkeyPaths], [[[expected]], [expected, expected]], text);
    // Three records, each ending in CR LF.
    const records = fs.readFileSync('log.txt', 'utf8').split(/(?<=\r\n)/).map((r) => r.replace(/^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d - /, ''));
    assert.deepEqual(records, Array(3).fill(`${text}\r\n`));

    sdk.reset();
    assert.equal(plugin.preActivate(text, LOG_DIR[0], '密'), 0);
    const custom = Object.fromEntries(argsOf('QCF_Custom').map(([key, value]) => [key.toString(), value]));
    assert.deepEqual([custom.logDir, custom.UkeyType, argsOf('QCF_SetKeyFilePath')],
      [LOG_DIR[column], Buffer.from('密'), [[expected]]], text);
  }
});

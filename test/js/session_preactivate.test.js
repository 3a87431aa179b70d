'use strict';
// preActivate: what reaches the SDK, in which order, what is printed and
// what is returned. Every call prints a console line, so the calls run in
// child processes and the lines are read from their standard output.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const sdk = require('../helpers/sdk');
const { runChild } = require('../helpers/session_child');

sdk.tempCwd();

const DEFAULTS = [
  ['logLevel', '1'],
  ['curlConnectTimeout', '30'],
  ['keyTemporaryCapacity', '256'],
  ['logDumpMaxCount', '3'],
  ['curlTryConnectTimeout', '2'],
  ['curlTryConnectPeriod', '30'],
  ['autoChooseSPM', 'true'],
  ['logFileCapacity', '1'],
  ['ignoreSpmInitFail', 'true'],
];

// The whole sequence of one call: handlers, start-up settings, the SDK's own
// step, the defaults (whatever it returned), the key file path, and the
// error text when it failed.
function sequence({ path, dir, keyType = '6', failedWith }) {
  return [
    ['QCF_SetExceptionHandler', [true]],
    ['QCF_SetLogHandler', [true]],
    dir === undefined ? ['QCF_Custom', ['userDataDir', 'log/']] : ['QCF_Custom', ['logDir', dir]],
    ['QCF_Custom', ['UkeyType', keyType]],
    ['QCF_PreActivate', []],
    ...DEFAULTS.map((pair) => ['QCF_Custom', pair]),
    ['QCF_SetKeyFilePath', [path]],
    ...(failedWith === undefined ? [] : [['QCF_ErrMessage', [failedWith]]]),
  ];
}

const OK_LINE = '【预激活】成功！\n';
const failLine = (hex, text) => `【预激活】执行失败：${hex}(${text})\n`;

// [label, arguments, script of QCF_PreActivate (and QCF_ErrMessage),
//  expected sequence, expected console output, expected result]
const CASES = [
  ['only the key file path: the default user data directory',
    ['k.key'], {}, sequence({ path: 'k.key' }), OK_LINE, 0],
  ['a log directory replaces the user data directory and is printed',
    ['k.key', 'logs'], {}, sequence({ path: 'k.key', dir: 'logs' }), `cc_logPath: logs\n${OK_LINE}`, 0],
  ['a string key type is passed on',
    ['k.key', 'logs', '3'], {}, sequence({ path: 'k.key', dir: 'logs', keyType: '3' }), `cc_logPath: logs\n${OK_LINE}`, 0],
  ['a key type that is not a string is ignored',
    ['k.key', 'logs', 3], {}, sequence({ path: 'k.key', dir: 'logs' }), `cc_logPath: logs\n${OK_LINE}`, 0],
  ['empty texts are passed as they are',
    ['', ''], {}, sequence({ path: '', dir: '' }), `cc_logPath: \n${OK_LINE}`, 0],
  ['a failure still applies every default and the path; %#X of a negative code',
    ['k.key'], { code: -1 }, sequence({ path: 'k.key', failedWith: -1 }),
    failLine('0XFFFFFFFF', sdk.errorText(-1)), -1],
  ['a positive failure code',
    ['k.key'], { code: 0x0a000001 }, sequence({ path: 'k.key', failedWith: 0x0a000001 }),
    failLine('0XA000001', sdk.errorText(0x0a000001)), 0x0a000001],
  ['an error text the SDK does not give prints as empty',
    ['k.key'], { code: -2, nullText: true }, sequence({ path: 'k.key', failedWith: -2 }),
    failLine('0XFFFFFFFE', ''), -2],
];

test('preActivate: SDK calls in order, console lines and the returned code', () => {
  const { stdout, value } = runChild(`
    const results = [];
    for (const [args, script] of ${JSON.stringify(CASES.map((c) => [c[1], c[2]]))}) {
      sdk.reset();
      if (script.code !== undefined) sdk.script('QCF_PreActivate', { code: script.code });
      if (script.nullText) sdk.script('QCF_ErrMessage', { text: null });
      const code = plugin.preActivate(...args);
      results.push({ code, calls: sdk.calls().map((call) => [call.name, call.args]) });
    }
    return results;`);

  CASES.forEach(([label, , , calls, , code], i) => {
    assert.deepEqual(value[i], { code, calls }, label);
  });
  // C stdio keeps the lines of all calls in order until the child exits.
  assert.equal(stdout.toString('utf8'), CASES.map((c) => c[4]).join(''));
});

// VARN_ANSI_CODEPAGE picks the code page outside Windows only.
test('preActivate converts both paths to the ANSI code page, not the key type', {
  skip: process.platform === 'win32' && 'the code page is the system one on Windows',
}, () => {
  const { stdout, value } = runChild(`
    sdk.reset();
    plugin.preActivate('密钥.key', '日志', '类型');
    const hex = (call) => call.args.map((arg) => arg.toString('hex'));
    return {
      settings: sdk.callsRaw().filter((call) => call.name === 'QCF_Custom').map(hex),
      path: hex(sdk.callsRaw().find((call) => call.name === 'QCF_SetKeyFilePath'))[0],
    };`, { env: { VARN_ANSI_CODEPAGE: 'GBK' } });

  const bytes = (hex) => Buffer.from(hex, 'hex');
  const setting = (key) => bytes(value.settings.find(([k]) => bytes(k).toString() === key)[1]);
  const gbk = new TextDecoder('gbk');

  assert.equal(gbk.decode(setting('logDir')), '日志');
  assert.equal(gbk.decode(bytes(value.path)), '密钥.key');
  assert.notDeepEqual(bytes(value.path), Buffer.from('密钥.key'));
  assert.deepEqual(setting('UkeyType'), Buffer.from('类型'));
  assert.deepEqual(stdout, Buffer.concat([
    Buffer.from('cc_logPath: '), setting('logDir'), Buffer.from(`\n${OK_LINE}`),
  ]));
});

'use strict';
// preActivate: SDK calls in order, console lines (so a child) and result.
const { test } = require('node:test');
const assert = require('node:assert/strict');
const sdk = require('../helpers/sdk');
const { runScenario } = require('../helpers/scenario');

const DEFAULTS = ('logLevel=1 curlConnectTimeout=30 keyTemporaryCapacity=256 logDumpMaxCount=3 curlTryConnectTimeout=2 '
  + 'curlTryConnectPeriod=30 autoChooseSPM=true logFileCapacity=1 ignoreSpmInitFail=true').split(' ').map((s) => s.split('='));

// The defaults and the key file path follow QCF_PreActivate whatever it returned.
const sequence = (dir, keyType, failedWith) => [
  ['QCF_SetExceptionHandler', [true]], ['QCF_SetLogHandler', [true]],
  ['QCF_Custom', dir ? ['logDir', dir] : ['userDataDir', 'log/']], ['QCF_Custom', ['UkeyType', keyType]],
  ['QCF_PreActivate', []], ...DEFAULTS.map((pair) => ['QCF_Custom', pair]), ['QCF_SetKeyFilePath', ['k.key']],
  ...(failedWith === undefined ? [] : [['QCF_ErrMessage', [failedWith]]]),
];
const OK = '【预激活】成功！\n';

// [arguments, script, SDK calls, console output, result]
const CASES = [
  [['k.key'], {}, sequence(undefined, '6'), OK, 0],
  [['k.key', 'logs', '3'], {}, sequence('logs', '3'), `cc_logPath: logs\n${OK}`, 0],
  [['k.key', 'logs', 3], {}, sequence('logs', '6'), `cc_logPath: logs\n${OK}`, 0], // not a string: ignored
  [['k.key'], { code: -1 }, sequence(undefined, '6', -1), `【预激活】执行失败：0XFFFFFFFF(${sdk.errorText(-1)})\n`, -1],
  [['k.key'], { code: -2, text: null }, sequence(undefined, '6', -2), '【预激活】执行失败：0XFFFFFFFE()\n', -2],
];

test('preActivate: SDK calls in order, console lines and the returned code', () => {
  const { stdout, value, stderr } = runScenario('session', 'preActivate', { args: CASES.map(([args, script]) => [args, script]) });
  assert.ok(value, stderr);
  CASES.forEach(([args, , calls, , code], i) => assert.deepEqual(value[i], { code, calls }, String(args)));
  assert.deepEqual([stdout.toString('utf8'), stderr], [CASES.map((c) => c[3]).join(''), '']);
});

test('preActivate converts both paths to the ANSI code page, not the key type', {
  skip: process.platform === 'win32' && 'the code page is the system one on Windows',
}, () => {
  const { stdout, value, stderr } = runScenario('session', 'preActivateAnsi', { env: { VARN_ANSI_CODEPAGE: 'GBK' } });
  assert.ok(value, stderr);
  const bytes = (hex) => Buffer.from(hex, 'hex');
  const setting = (key) => bytes(value.settings.find(([k]) => bytes(k).toString() === key)[1]);
  const gbk = new TextDecoder('gbk');
  assert.equal(gbk.decode(setting('logDir')), '日志');
  assert.equal(gbk.decode(bytes(value.path)), '密钥.key');
  assert.deepEqual(setting('UkeyType'), Buffer.from('类型'));
  assert.deepEqual(stdout, Buffer.concat([Buffer.from('cc_logPath: '), setting('logDir'), Buffer.from(`\n${OK}`)]));
});

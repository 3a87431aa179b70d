'use strict';
// fillKey and fillKeySync side by side on the same inputs: what reaches the
// SDK, and what the strict fillKey refuses (the argument faults of both:
// catalogue.test.js).
const { test, beforeEach } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const sdk = require('../helpers/sdk');
const { addonLog } = require('../scenarios/keys');
const { VarnKtPlugin } = require('../..');

sdk.tempCwd();
const plugin = new VarnKtPlugin();
process.env.VARN_ANSI_CODEPAGE = 'GBK'; // paths reach the SDK in the ANSI code page, the log in UTF-8

// Out of a session: the SDK is scripted to accept every fill.
function fresh() {
  sdk.reset();
  fs.rmSync('log.txt', { force: true });
  sdk.script('QCF_FillKey_WithPubkey', { code: 0, times: -1 });
}
beforeEach(fresh);

const item = (change) => ({ appName: 'app', keyLen: 16, softkeyPath: '/keys/soft.key', ...change });
const TOP = { serverAddr: 'kms.example', port: 8443, serverType: 2, userTokenHandle: 'user-token', overWriteFlag: 1 };
const params = (extra = {}) => ({ ...TOP, fillkeyItem: item(), ...extra });
const without = (object, name) => Object.fromEntries(Object.entries(object).filter(([key]) => key !== name));
// The SDK arguments of params() with `changes`, the 332-byte item record built
// independently (two fixed PINs, two 5s), and the path logged.
const sent = ({ appName = 'app', keyLen = 16, path = '/keys/soft.key', ansi = path, ...changes } = {}) => {
  const s = { ...TOP, ...changes };
  const record = Buffer.alloc(332);
  Buffer.from(appName).copy(record, 0, 0, 31);
  record.writeUInt32LE(keyLen, 32);
  Buffer.from(ansi).copy(record, 36, 0, 255);
  for (const at of [292, 312]) { record.write('40615237', at, 'latin1'); record.writeUInt32LE(5, at + 16); }
  return [[s.serverAddr, s.port, s.serverType, s.userTokenHandle, record, s.overWriteFlag], path];
};
// One SDK call and one log record, or none for a refused call.
function expectSent(expected) {
  assert.deepEqual(sdk.calls().map((call) => [call.name, call.args]), expected ? [['QCF_FillKey_WithPubkey', expected[0]]] : []);
  assert.deepEqual(addonLog(), expected ? [expected[1]] : []);
  fresh();
}

// [name, argument, what reaches the SDK, fillKey's refusal]: the strict fillKey
// insists on every property where fillKeySync sends defaults.
const missing = (name) => `Missing '${name}' property`;
const cases = [
  ['all properties', () => params(), sent()],
  ['a function carrying the properties', () => Object.assign(() => {}, params()), sent()],
  ['inherited properties', () => Object.create(params()), sent()],
  ['numbers coerced to unsigned 32 bits, the port a string of digits',
    () => params({ port: '8080', serverType: -1.9, overWriteFlag: 2 ** 32 + 3, fillkeyItem: item({ keyLen: 'x' }) }),
    sent({ port: 8080, serverType: 4294967295, overWriteFlag: 3, keyLen: 0 })],
  ['port -1', () => params({ port: -1 }), sent({ port: 4294967295 })],
  ['texts coerced to strings', () => params({ serverAddr: 42, userTokenHandle: [1, 2] }), sent({ serverAddr: '42', userTokenHandle: '1,2' })],
  ['a property holding undefined counts as present',
    () => params({ port: undefined, userTokenHandle: undefined }), sent({ port: 0, userTokenHandle: 'undefined' })],
  ...['port', 'serverType', 'userTokenHandle', 'overWriteFlag'].map((name) => [`no ${name}`, () => without(params(), name),
    sent({ [name]: name === 'userTokenHandle' ? 'undefined' : 0 }), missing(name)]),
  ...[['appName', { appName: 'undefined' }], ['keyLen', { keyLen: 0 }], ['softkeyPath', { path: 'undefined' }]].map(([name, change]) =>
    [`no fillkeyItem.${name}`, () => params({ fillkeyItem: without(item(), name) }), sent(change), missing(`fillkeyItem.${name}`)]),
  ['a number as fillkeyItem', () => params({ fillkeyItem: 7 }), sent({ appName: 'undefined', keyLen: 0, path: 'undefined' }),
    missing('fillkeyItem.appName')],
  ['a softkeyPath of 255 bytes', () => params({ fillkeyItem: item({ softkeyPath: 'k'.repeat(255) }) }), sent({ path: 'k'.repeat(255) })],
  ['a Chinese softkeyPath', () => params({ fillkeyItem: item({ softkeyPath: '/密钥/软件.key' }) }),
    sent({ path: '/密钥/软件.key', ansi: Buffer.from('2fc3dcd4bf2fc8edbcfe2e6b6579', 'hex') })],
];

for (const [name, arg, expected, rejects] of cases) {
  test(name, async () => {
    if (rejects) await assert.rejects(plugin.fillKey(arg()), (err) => assert.deepEqual(err, { code: -1, message: rejects }) ?? true);
    else assert.deepEqual(await plugin.fillKey(arg()), { code: 0, message: 'Fill key successful' });
    expectSent(!rejects && expected);
    assert.equal(plugin.fillKeySync(arg()), 0);
    expectSent(expected);
  });
}

// Filling in a session, the soft key file and the simulator's refusals: simulator.test.js.
test('failures: fillKey resolves with the SDK code and text, fillKeySync returns the code alone', async () => {
  const code = sdk.CODES.SOFT_KEY_EXISTS;
  sdk.reset();
  sdk.script('QCF_FillKey_WithPubkey', { code, times: 2 });
  assert.deepEqual([await plugin.fillKey(params()), plugin.fillKeySync(params())], [{ code, message: sdk.errorText(code) }, code]);
  assert.deepEqual(sdk.names(), ['QCF_FillKey_WithPubkey', 'QCF_ErrMessage', 'QCF_FillKey_WithPubkey']);
});

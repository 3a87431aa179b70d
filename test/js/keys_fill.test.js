'use strict';
// fillKey and fillKeySync side by side on the same inputs: what reaches the
// SDK, and how each reports what it refuses.
const { test, beforeEach } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const sdk = require('../helpers/sdk');
const { runValue } = require('../helpers/scenario');
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

const refusal = (message) => (err) => assert.deepEqual(err, { code: -1, message }) ?? true;

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

// [name, argument, what reaches the SDK, refusal]: with `sent`, only the
// strict fillKey refuses (it insists on every property); without, both do.
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
  ['a NUL inside softkeyPath', () => params({ fillkeyItem: item({ softkeyPath: 'C:\\a\0.key' }) }), null,
    "Wrong 'fillkeyItem.softkeyPath' property(string without NUL expected)"],
  // The field holds 255 bytes and its NUL; a longer path would be cut and name another file.
  ['a softkeyPath of 255 bytes', () => params({ fillkeyItem: item({ softkeyPath: 'k'.repeat(255) }) }), sent({ path: 'k'.repeat(255) })],
  ['a Chinese softkeyPath', () => params({ fillkeyItem: item({ softkeyPath: '/密钥/软件.key' }) }),
    sent({ path: '/密钥/软件.key', ansi: Buffer.from('2fc3dcd4bf2fc8edbcfe2e6b6579', 'hex') })],
  ['a softkeyPath of 256 bytes', () => params({ fillkeyItem: item({ softkeyPath: 'k'.repeat(256) }) }), null,
    "Wrong 'fillkeyItem.softkeyPath' property(at most 255 bytes expected)"],
];

for (const [name, arg, expected, rejects] of cases) {
  test(name, async () => {
    const promise = plugin.fillKey(arg());
    if (rejects) await assert.rejects(promise, refusal(rejects));
    else assert.deepEqual(await promise, { code: 0, message: 'Fill key successful' });
    expectSent(!rejects && expected);
    if (expected) assert.equal(plugin.fillKeySync(arg()), 0);
    else assert.throws(() => plugin.fillKeySync(arg()), { name: 'TypeError', message: rejects });
    expectSent(expected);
  });
}

test('values that cannot be coerced throw from both methods at once', async () => {
  const boom = new Error('getter failed');
  const throwingGetter = (object) => Object.defineProperty(object, 'serverType', { get() { throw boom; } });
  for (const [arg, expected] of [
    [params({ fillkeyItem: null }), TypeError],
    [params({ fillkeyItem: item({ softkeyPath: Symbol('p') }) }), TypeError],
    [throwingGetter(params()), (e) => e === boom],
  ]) {
    assert.throws(() => plugin.fillKey(arg), expected);
    assert.throws(() => plugin.fillKeySync(arg), expected);
  }
  // fillKey checks that every property is present before it reads any.
  const noPort = throwingGetter(without(params(), 'port'));
  await assert.rejects(plugin.fillKey(noPort), refusal(missing('port')));
  assert.throws(() => plugin.fillKeySync(noPort), (e) => e === boom);
  expectSent(null);
});

test('in a session, both methods fill the soft key file the simulator writes; failures: fillKey resolves with the SDK text, fillKeySync returns the code alone', () => {
  const { results, exists, errMessageCalls } = runValue('keys', 'fill');
  assert.deepEqual(results, [{ code: 0, message: 'Fill key successful' }, true, 0, exists, { code: exists, message: sdk.errorText(exists) }]);
  assert.equal(errMessageCalls, 1, 'for fillKey only');
});

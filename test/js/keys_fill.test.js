'use strict';
// fillKey and fillKeySync side by side on the same inputs: what reaches the
// SDK, and how each reports what it refuses.
const { test, beforeEach } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const { EOL } = require('node:os');
const sdk = require('../helpers/sdk');
const { runValue } = require('../helpers/scenario');
const { VarnKtPlugin } = require('../..');

sdk.tempCwd();
const plugin = new VarnKtPlugin();

// Out of a session: the SDK is scripted to accept every fill.
function fresh() {
  sdk.reset();
  fs.rmSync('log.txt', { force: true });
  sdk.script('QCF_FillKey_WithPubkey', { code: 0, times: -1 });
}
beforeEach(fresh);

const refusal = (message) => (err) => {
  assert.deepEqual(err, { code: -1, message });
  return true;
};
// The add-on's own log records, without the simulator's lines.
const logMessages = () => (fs.existsSync('log.txt')
  ? fs.readFileSync('log.txt', 'utf8').split(EOL).filter(Boolean).map((line) => line.slice(22)).filter((m) => !/^QCF_\w+: /.test(m))
  : []);

// The 332-byte item record, built independently: two fixed PINs, two 5s.
function itemRecord(appName, keyLen, pathBytes) {
  const record = Buffer.alloc(332);
  Buffer.from(appName).copy(record, 0, 0, 31);
  record.writeUInt32LE(keyLen, 32);
  Buffer.from(pathBytes).copy(record, 36, 0, 255);
  for (const at of [292, 312]) {
    record.write('40615237', at, 'latin1');
    record.writeUInt32LE(5, at + 16);
  }
  return record;
}

const item = () => ({ appName: 'app', keyLen: 16, softkeyPath: '/keys/soft.key' });
const TOP = { serverAddr: 'kms.example', port: 8443, serverType: 2, userTokenHandle: 'user-token', overWriteFlag: 1 };
const params = (extra = {}) => ({ ...TOP, fillkeyItem: item(), ...extra });
const without = (object, name) => Object.fromEntries(Object.entries(object).filter(([key]) => key !== name));
// The SDK arguments and log record of params(), with `changes`.
const sent = ({ appName = 'app', keyLen = 16, path = '/keys/soft.key', ...changes } = {}) => {
  const s = { ...TOP, ...changes };
  const args = [s.serverAddr, s.port, s.serverType, s.userTokenHandle, itemRecord(appName, keyLen, path), s.overWriteFlag];
  return { args, log: [path] };
};

// `rejects`: fillKey's refusal, `throws`: fillKeySync's; without one, that
// flavour makes the call `sent`. The strict flavour insists on every property.
const NUL = "Wrong 'fillkeyItem.softkeyPath' property(string without NUL expected)";
const LONG = "Wrong 'fillkeyItem.softkeyPath' property(at most 255 bytes expected)";
const cases = [
  { name: 'all properties', arg: () => params(), sent: sent() },
  { name: 'a function carrying the properties', arg: () => Object.assign(() => {}, params()), sent: sent() },
  { name: 'inherited properties', arg: () => Object.create(params()), sent: sent() },
  { name: 'numbers coerced to unsigned 32 bits, the port a string of digits',
    arg: () => params({ port: '8080', serverType: -1.9, overWriteFlag: 2 ** 32 + 3, fillkeyItem: { ...item(), keyLen: 'x' } }),
    sent: sent({ port: 8080, serverType: 4294967295, overWriteFlag: 3, keyLen: 0 }) },
  { name: 'port -1', arg: () => params({ port: -1 }), sent: sent({ port: 4294967295 }) },
  { name: 'texts coerced to strings', arg: () => params({ serverAddr: 42, userTokenHandle: [1, 2] }), sent: sent({ serverAddr: '42', userTokenHandle: '1,2' }) },
  { name: 'a property holding undefined counts as present',
    arg: () => params({ port: undefined, userTokenHandle: undefined }), sent: sent({ port: 0, userTokenHandle: 'undefined' }) },
  ...['port', 'serverType', 'userTokenHandle', 'overWriteFlag'].map((name) => ({ name: `no ${name}`,
    arg: () => without(params(), name), rejects: `Missing '${name}' property`,
    sent: sent({ [name]: name === 'userTokenHandle' ? 'undefined' : 0 }) })),
  ...[['appName', { appName: 'undefined' }], ['keyLen', { keyLen: 0 }], ['softkeyPath', { path: 'undefined' }]]
    .map(([name, change]) => ({ name: `no fillkeyItem.${name}`, arg: () => params({ fillkeyItem: without(item(), name) }),
      rejects: `Missing 'fillkeyItem.${name}' property`, sent: sent(change) })),
  { name: 'a number as fillkeyItem', arg: () => params({ fillkeyItem: 7 }), rejects: "Missing 'fillkeyItem.appName' property",
    sent: sent({ appName: 'undefined', keyLen: 0, path: 'undefined' }) },
  { name: 'a function without properties', arg: () => () => {}, rejects: "Missing 'serverAddr' property", throws: "Missing 'serverAddr' property" },
  { name: 'a NUL inside softkeyPath', arg: () => params({ fillkeyItem: { ...item(), softkeyPath: 'C:\\a\0.key' } }), rejects: NUL, throws: NUL },
  // The field holds 255 bytes and its NUL; a longer path would be cut and name another file.
  { name: 'a softkeyPath of 255 bytes', arg: () => params({ fillkeyItem: { ...item(), softkeyPath: 'k'.repeat(255) } }),
    sent: sent({ path: 'k'.repeat(255) }) },
  { name: 'a softkeyPath of 256 bytes', arg: () => params({ fillkeyItem: { ...item(), softkeyPath: 'k'.repeat(256) } }),
    rejects: LONG, throws: LONG },
];

function expectOutcome(refused, expected) {
  if (refused) {
    assert.deepEqual(sdk.calls(), []);
    assert.deepEqual(logMessages(), []);
  } else {
    assert.deepEqual(sdk.calls().map((call) => [call.name, call.args]), [['QCF_FillKey_WithPubkey', expected.args]]);
    assert.deepEqual(logMessages(), expected.log);
  }
  fresh();
}

for (const c of cases) {
  test(c.name, async () => {
    const promise = plugin.fillKey(c.arg());
    if (c.rejects) await assert.rejects(promise, refusal(c.rejects));
    else assert.deepEqual(await promise, { code: 0, message: 'Fill key successful' });
    expectOutcome(c.rejects, c.sent);

    if (c.throws) assert.throws(() => plugin.fillKeySync(c.arg()), { name: 'TypeError', message: c.throws });
    else assert.equal(plugin.fillKeySync(c.arg()), 0);
    expectOutcome(c.throws, c.sent);
  });
}

test('values that cannot be coerced throw from both methods at once', async () => {
  const boom = new Error('getter failed');
  const throwingGetter = (object) => Object.defineProperty(object, 'serverType', { get() { throw boom; } });
  for (const [arg, expected] of [
    [params({ fillkeyItem: null }), TypeError],
    [params({ fillkeyItem: { ...item(), softkeyPath: Symbol('p') } }), TypeError],
    [throwingGetter(params()), (e) => e === boom],
  ]) {
    assert.throws(() => plugin.fillKey(arg), expected);
    assert.throws(() => plugin.fillKeySync(arg), expected);
  }
  // fillKey checks that every property is present before it reads any.
  const noPort = throwingGetter(without(params(), 'port'));
  await assert.rejects(plugin.fillKey(noPort), refusal("Missing 'port' property"));
  assert.throws(() => plugin.fillKeySync(noPort), (e) => e === boom);
  expectOutcome(true);
});

test('SDK failures: fillKey resolves with the SDK text, fillKeySync returns the code alone', async () => {
  sdk.reset();
  sdk.script('QCF_FillKey_WithPubkey', { code: -5, times: 2 });
  sdk.script('QCF_ErrMessage', { text: 'fill refused' });
  assert.deepEqual(await plugin.fillKey(params()), { code: -5, message: 'fill refused' });
  assert.equal(plugin.fillKeySync(params()), -5);
  assert.deepEqual(sdk.names(), ['QCF_FillKey_WithPubkey', 'QCF_ErrMessage', 'QCF_FillKey_WithPubkey']);
});

test('in a session, both methods fill the soft key file the simulator writes', () => {
  const { results, exists } = runValue('keys', 'fill');
  assert.deepEqual(results, [{ code: 0, message: 'Fill key successful' }, true, 0, exists]);
});

test('a Chinese soft key path reaches the SDK in the ANSI code page and the log in UTF-8', async (t) => {
  process.env.VARN_ANSI_CODEPAGE = 'GBK'; // the last test of this file
  t.after(() => delete process.env.VARN_ANSI_CODEPAGE);
  const path = '/密钥/软件.key';
  const arg = params({ fillkeyItem: { ...item(), softkeyPath: path } });
  await plugin.fillKey(arg);
  plugin.fillKeySync(arg);
  const gbk = itemRecord('app', 16, Buffer.from('2fc3dcd4bf2fc8edbcfe2e6b6579', 'hex'));
  assert.deepEqual(sdk.callsOf('QCF_FillKey_WithPubkey').map((call) => call.args[4]), [gbk, gbk]);
  assert.deepEqual(logMessages(), [path, path]);
});

'use strict';
// fillKey and fillKeySync: what reaches the SDK, side by side on the same
// inputs, and how each reports what it refuses.
const { test, beforeEach } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const { EOL } = require('node:os');
const sdk = require('../helpers/sdk');
const { VarnKtPlugin } = require('../..');

sdk.tempCwd();
const plugin = new VarnKtPlugin();

beforeEach(() => {
  sdk.reset();
  fs.rmSync('log.txt', { force: true });
});

function logMessages() {
  if (!fs.existsSync('log.txt')) return [];
  return fs
    .readFileSync('log.txt', 'utf8')
    .split(EOL)
    .filter(Boolean)
    .map((line) => line.replace(/^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d - /, ''));
}

// The 332-byte item record as the SDK expects it, built independently.
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
const params = (extra = {}) => ({
  serverAddr: 'kms.example',
  port: 8443,
  serverType: 2,
  userTokenHandle: 'user-token',
  overWriteFlag: 1,
  fillkeyItem: item(),
  ...extra,
});
const without = (object, name) => {
  const copy = { ...object };
  delete copy[name];
  return copy;
};
// The SDK call of params(), with `changes` to its six arguments.
const sent = (changes = {}) => {
  const s = {
    serverAddr: 'kms.example',
    port: 8443,
    serverType: 2,
    userTokenHandle: 'user-token',
    appName: 'app',
    keyLen: 16,
    path: '/keys/soft.key',
    overWriteFlag: 1,
    ...changes,
  };
  return {
    args: [
      s.serverAddr,
      s.port,
      s.serverType,
      s.userTokenHandle,
      itemRecord(s.appName, s.keyLen, s.path),
      s.overWriteFlag,
    ],
    log: [s.path],
  };
};
const withProps = (fn, props) => Object.assign(fn, props);

// `rejects`: fillKey's refusal; `throws`: fillKeySync's; otherwise the
// method makes the call `sent`. The strict and lenient flavours differ only
// in which properties they insist on.
const cases = [
  { name: 'all properties', arg: () => params(), sent: sent() },
  {
    name: 'a function carrying the properties',
    arg: () => withProps(() => {}, params()),
    sent: sent(),
  },
  { name: 'inherited properties', arg: () => Object.create(params()), sent: sent() },
  {
    name: 'numbers coerced to unsigned 32 bits',
    arg: () =>
      params({
        port: '8080',
        serverType: 1.9,
        overWriteFlag: 2 ** 32 + 3,
        fillkeyItem: { ...item(), keyLen: 'x' },
      }),
    sent: sent({ port: 8080, serverType: 1, overWriteFlag: 3, keyLen: 0 }),
  },
  { name: 'port -1', arg: () => params({ port: -1 }), sent: sent({ port: 4294967295 }) },
  {
    name: 'texts coerced to strings',
    arg: () => params({ serverAddr: 42, userTokenHandle: { toString: () => 'tok' } }),
    sent: sent({ serverAddr: '42', userTokenHandle: 'tok' }),
  },
  {
    name: 'a property holding undefined counts as present',
    arg: () => params({ port: undefined, userTokenHandle: undefined }),
    sent: sent({ port: 0, userTokenHandle: 'undefined' }),
  },
  ...['port', 'serverType', 'userTokenHandle', 'overWriteFlag'].map((name) => ({
    name: `no ${name}`,
    arg: () => without(params(), name),
    rejects: `Missing '${name}' property`,
    sent: sent({ [name]: name === 'userTokenHandle' ? 'undefined' : 0 }),
  })),
  {
    name: 'no serverAddr',
    arg: () => without(params(), 'serverAddr'),
    rejects: "Missing 'serverAddr' property",
    throws: "Missing 'serverAddr' property",
  },
  {
    name: 'a function without properties',
    arg: () => () => {},
    rejects: "Missing 'serverAddr' property",
    throws: "Missing 'serverAddr' property",
  },
  {
    name: 'an empty array',
    arg: () => [],
    rejects: "Missing 'serverAddr' property",
    throws: "Missing 'serverAddr' property",
  },
  {
    name: 'a number as fillkeyItem',
    arg: () => params({ fillkeyItem: 7 }),
    rejects: "Missing 'fillkeyItem.appName' property",
    sent: sent({ appName: 'undefined', keyLen: 0, path: 'undefined' }),
  },
  ...[
    ['appName', { appName: 'undefined' }],
    ['keyLen', { keyLen: 0 }],
    ['softkeyPath', { path: 'undefined' }],
  ].map(([name, change]) => ({
    name: `no fillkeyItem.${name}`,
    arg: () => params({ fillkeyItem: without(item(), name) }),
    rejects: `Missing 'fillkeyItem.${name}' property`,
    sent: sent(change),
  })),
  {
    name: 'a NUL inside softkeyPath',
    arg: () => params({ fillkeyItem: { ...item(), softkeyPath: 'C:\\a\0.key' } }),
    rejects: "Wrong 'fillkeyItem.softkeyPath' property(string without NUL expected)",
    throws: "Wrong 'fillkeyItem.softkeyPath' property(string without NUL expected)",
  },
];

function expectSent(expected) {
  assert.deepEqual(sdk.names(), ['QCF_FillKey_WithPubkey']);
  assert.deepEqual(sdk.calls()[0].args, expected.args);
  assert.deepEqual(logMessages(), expected.log);
}

function expectNothingDone() {
  assert.deepEqual(sdk.calls(), []);
  assert.deepEqual(logMessages(), []);
}

for (const c of cases) {
  test(`fillKey: ${c.name}`, async () => {
    const promise = plugin.fillKey(c.arg());
    if (c.rejects) {
      await assert.rejects(promise, (err) => {
        assert.deepEqual(err, { code: -1, message: c.rejects });
        return true;
      });
      expectNothingDone();
    } else {
      assert.deepEqual(await promise, { code: 0, message: 'Fill key successful' });
      expectSent(c.sent);
    }
  });

  test(`fillKeySync: ${c.name}`, () => {
    if (c.throws) {
      assert.throws(() => plugin.fillKeySync(c.arg()), { name: 'TypeError', message: c.throws });
      expectNothingDone();
    } else {
      assert.equal(plugin.fillKeySync(c.arg()), 0);
      expectSent(c.sent);
    }
  });
}

test('argument count and type faults', async () => {
  const faults = [
    [[], 'Expected one argument'],
    [[params(), params()], 'Expected one argument'],
    [['kms.example'], 'Expected an object as the first argument'],
    [[null], 'Expected an object as the first argument'],
    [[5], 'Expected an object as the first argument'],
  ];
  for (const [args, message] of faults) {
    await assert.rejects(plugin.fillKey(...args), (err) => {
      assert.ok(!(err instanceof Error));
      assert.deepEqual(err, { code: -1, message });
      return true;
    });
    assert.throws(() => plugin.fillKeySync(...args), (err) => {
      assert.ok(err instanceof TypeError);
      assert.equal(err.message, message);
      assert.equal('code' in err, false);
      return true;
    });
  }
  expectNothingDone();
});

test('values that cannot be coerced throw from both methods at once', () => {
  const boom = new Error('getter failed');
  const faulty = [
    [params({ fillkeyItem: null }), TypeError],
    [params({ fillkeyItem: undefined }), TypeError],
    [params({ serverAddr: Symbol('s') }), TypeError],
    [params({ port: Symbol('p') }), TypeError],
    [params({ fillkeyItem: { ...item(), softkeyPath: Symbol('p') } }), TypeError],
    [Object.defineProperty(params(), 'serverType', { get() { throw boom; } }), (e) => e === boom],
  ];
  for (const [arg, expected] of faulty) {
    assert.throws(() => plugin.fillKey(arg), expected);
    assert.throws(() => plugin.fillKeySync(arg), expected);
  }
  expectNothingDone();
});

test('properties are checked and read in a fixed order', async () => {
  const trace = [];
  const traced = (target, prefix) =>
    new Proxy(target, {
      has: (t, key) => (trace.push(`has ${prefix}${key}`), key in t),
      get: (t, key) => (trace.push(`get ${prefix}${key}`), t[key]),
    });
  const arg = () => params({ fillkeyItem: traced(item(), 'item.') });
  const top = ['serverAddr', 'port', 'serverType', 'userTokenHandle', 'overWriteFlag', 'fillkeyItem'];
  const nested = ['appName', 'keyLen', 'softkeyPath'];

  await plugin.fillKey(traced(arg(), ''));
  assert.deepEqual(trace.splice(0), [
    ...top.map((k) => `has ${k}`),
    ...top.map((k) => `get ${k}`),
    ...nested.map((k) => `has item.${k}`),
    ...nested.map((k) => `get item.${k}`),
  ]);

  plugin.fillKeySync(traced(arg(), ''));
  assert.deepEqual(trace, [
    'has serverAddr',
    ...top.map((k) => `get ${k}`),
    ...nested.map((k) => `get item.${k}`),
  ]);
});

test('SDK failures: fillKey resolves with the SDK text, fillKeySync returns the code alone', async () => {
  sdk.script('QCF_FillKey_WithPubkey', { code: -5, times: 2 });
  sdk.script('QCF_ErrMessage', { text: 'fill refused' });
  assert.deepEqual(await plugin.fillKey(params()), { code: -5, message: 'fill refused' });
  assert.equal(plugin.fillKeySync(params()), -5);
  assert.deepEqual(sdk.names(), [
    'QCF_FillKey_WithPubkey',
    'QCF_ErrMessage',
    'QCF_FillKey_WithPubkey',
  ]);

  sdk.reset();
  sdk.script('QCF_FillKey_WithPubkey', { code: 0x8000_0001 | 0 });
  sdk.script('QCF_ErrMessage', { text: null });
  assert.deepEqual(await plugin.fillKey(params()), { code: 0x8000_0001 | 0, message: '' });
});

test('a Chinese soft key path reaches the SDK in the ANSI code page and the log in UTF-8', async (t) => {
  const saved = process.env.VARN_ANSI_CODEPAGE;
  process.env.VARN_ANSI_CODEPAGE = 'GBK';
  t.after(() => {
    if (saved === undefined) delete process.env.VARN_ANSI_CODEPAGE;
    else process.env.VARN_ANSI_CODEPAGE = saved;
  });
  const path = '/密钥/软件.key';
  const gbk = Buffer.from('2fc3dcd4bf2fc8edbcfe2e6b6579', 'hex');
  const arg = params({ fillkeyItem: { ...item(), softkeyPath: path } });

  await plugin.fillKey(arg);
  plugin.fillKeySync(arg);
  const records = sdk.callsOf('QCF_FillKey_WithPubkey').map((call) => call.args[4]);
  assert.equal(records.length, 2);
  for (const record of records) assert.deepEqual(record, itemRecord('app', 16, gbk));
  assert.deepEqual(logMessages(), [path, path]);
});

'use strict';
// Loading the add-on: its exports, the class and its prototype, construction,
// hello, the receiver check, and what the module file itself exports and
// links against.
const test = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const sdk = require('../helpers/sdk');

sdk.tempCwd();
const ADDON_PATH = path.join(sdk.BUILD_DIR, 'Release', 'VarnKtPlugin.node');
const addonExports = require(ADDON_PATH);
const { VarnKtPlugin } = require(sdk.ROOT);

// In the order the class defines them.
const METHODS = [
  'preActivate',
  'reportSPMWithSignPubkey',
  'setKeyFilePath',
  'setCustomConfig',
  'init',
  'auth_pubkey',
  'auth',
  'fillKey',
  'fillKeySync',
  'finish',
  'getSPMKeyInfo',
  'reFillKey',
  'reFillKeySync',
  'createGroup',
  'applyKeyWithGroupID',
  'hello',
  'setLogCallback',
  'setEventCallback',
];

// Arguments that pass every check, so that only the receiver is wrong.
const fillParams = {
  serverAddr: '127.0.0.1',
  port: 18000,
  serverType: 1,
  userTokenHandle: 'handle',
  overWriteFlag: 0,
  fillkeyItem: { appName: 'app', keyLen: 32, softkeyPath: 'soft.key' },
};
const VALID_ARGS = {
  preActivate: ['k.key'],
  reportSPMWithSignPubkey: ['a', 'b', 1],
  setKeyFilePath: ['k.key'],
  setCustomConfig: ['logLevel', '1'],
  init: [1, 'a', 'b'],
  auth_pubkey: [1, 'a', 'b'],
  auth: [],
  fillKey: [fillParams],
  fillKeySync: [fillParams],
  finish: [],
  getSPMKeyInfo: ['a', 'b'],
  reFillKey: ['a', 1, 2],
  reFillKeySync: ['a', 1, 2],
  createGroup: ['a', 1, 'b'],
  applyKeyWithGroupID: ['a', 'b'],
  hello: ['abc'],
  setLogCallback: [() => {}],
  setEventCallback: ['onCaptureError', () => {}],
};

test.beforeEach(() => sdk.reset());

test('the module exports the class and nothing else; the package entry re-exports it', () => {
  assert.deepEqual(Object.getOwnPropertyNames(addonExports), ['VarnKtPlugin']);
  assert.equal(typeof addonExports.VarnKtPlugin, 'function');
  assert.equal(addonExports.VarnKtPlugin.name, 'VarnKtPlugin');
  assert.deepEqual(Object.keys(require(sdk.ROOT)), ['VarnKtPlugin']);
  assert.equal(VarnKtPlugin, addonExports.VarnKtPlugin);
});

test('the class cannot be called without new', () => {
  assert.throws(() => VarnKtPlugin(), {
    name: 'TypeError',
    message: "Class constructors cannot be invoked without 'new'",
  });
});

test('construction ignores its arguments and touches neither the SDK nor the instance', () => {
  for (const args of [[], [1, 'x'], [undefined, null, {}, () => {}]]) {
    const plugin = new VarnKtPlugin(...args);
    assert.ok(plugin instanceof VarnKtPlugin);
    assert.equal(Object.getPrototypeOf(plugin), VarnKtPlugin.prototype);
    assert.deepEqual(Reflect.ownKeys(plugin), []);
  }
  assert.deepEqual(sdk.calls(), []);
});

test('the prototype carries the 18 methods in order, read-only, hidden and fixed', () => {
  const names = Object.getOwnPropertyNames(VarnKtPlugin.prototype).filter(
    (name) => name !== 'constructor',
  );
  assert.deepEqual(names, METHODS);
  for (const name of METHODS) {
    const descriptor = Object.getOwnPropertyDescriptor(VarnKtPlugin.prototype, name);
    assert.equal(typeof descriptor.value, 'function', name);
    assert.equal(descriptor.writable, false, name);
    assert.equal(descriptor.enumerable, false, name);
    assert.equal(descriptor.configurable, false, name);
  }
});

test('hello appends " world" to its text', () => {
  const plugin = new VarnKtPlugin();
  for (const [text, expected] of [
    ['abc', 'abc world'],
    ['', ' world'],
    ['密钥 ü', '密钥 ü world'],
  ]) {
    assert.equal(plugin.hello(text), expected);
  }
  assert.equal(plugin.hello('abc', 1, {}), 'abc world', 'extra arguments are ignored');
  assert.deepEqual(sdk.calls(), []);
});

test('hello without a string throws the string read error', () => {
  const plugin = new VarnKtPlugin();
  for (const args of [[], [5], [undefined], [{ toString: () => 'abc' }]]) {
    assert.throws(() => plugin.hello(...args), Error, `hello(${args.length} args)`);
  }
});

test('a receiver that is not a wrapped instance throws before the method runs', () => {
  const receivers = [
    ['plain object', {}],
    ['object with the class prototype', Object.create(VarnKtPlugin.prototype)],
  ];
  for (const [what, receiver] of receivers) {
    for (const name of METHODS) {
      assert.throws(
        () => VarnKtPlugin.prototype[name].apply(receiver, VALID_ARGS[name]),
        Error,
        `${name} on a ${what}`,
      );
    }
  }
  // Nothing reached the SDK, and setKeyFilePath wrote no log record.
  assert.deepEqual(sdk.calls(), []);
  assert.equal(fs.existsSync('log.txt'), false);
});

test('"node -e" with require(".") prints abc world', () => {
  const script =
    "const {VarnKtPlugin}=require('.'); console.log(new VarnKtPlugin().hello('abc')); process.exit(0)";
  const child = spawnSync(process.execPath, ['-e', script], {
    cwd: sdk.ROOT,
    encoding: 'utf8',
    timeout: 30000,
  });
  assert.equal(child.stderr, '');
  assert.equal(child.status, 0);
  assert.equal(child.stdout, 'abc world\n');
});

function tool(name, args) {
  try {
    return execFileSync(name, args, { encoding: 'utf8' });
  } catch (err) {
    if (err.code === 'ENOENT') return null;
    throw err;
  }
}

function configuredSdkDir() {
  const cache = path.join(sdk.BUILD_DIR, 'CMakeCache.txt');
  if (!fs.existsSync(cache)) return '';
  const match = /^QCF_SDK_DIR:[A-Z]+=(.*)$/m.exec(fs.readFileSync(cache, 'utf8'));
  return match ? match[1].trim() : '';
}

const onLinux = process.platform === 'linux';

test('the module file exports exactly its registration entry', { skip: !onLinux }, (t) => {
  const out = tool('nm', ['-D', '--defined-only', ADDON_PATH]);
  if (out === null) return t.skip('nm is not installed');
  const symbols = out
    .split('\n')
    .filter(Boolean)
    .map((line) => line.trim().split(/\s+/).pop());
  assert.deepEqual(symbols, ['_register_VarnKtPlugin_']);
});

test('the module file needs libqcf and finds it through RUNPATH $ORIGIN, not RPATH', { skip: !onLinux }, (t) => {
  const out = tool('readelf', ['-d', ADDON_PATH]);
  if (out === null) return t.skip('readelf is not installed');
  const entries = (tag) =>
    out
      .split('\n')
      .filter((line) => line.includes(`(${tag})`))
      .map((line) => /\[(.*)\]/.exec(line)[1]);
  assert.ok(entries('NEEDED').includes('libqcf.so'), 'links libqcf dynamically');
  assert.deepEqual(entries('RPATH'), [], 'no RPATH tag');
  const runpath = entries('RUNPATH');
  assert.equal(runpath.length, 1, 'one RUNPATH tag');
  const dirs = runpath[0].split(':');
  assert.equal(dirs[0], '$ORIGIN');
  // A vendor SDK build may add the SDK's own lib directory after $ORIGIN; the
  // stand-in build bakes in no absolute path at all.
  if (!configuredSdkDir()) assert.deepEqual(dirs, ['$ORIGIN']);
});

'use strict';
// The add-on's exports, class, prototype, hello and receiver check, what its file exports, and index.d.ts
// against it all (how it finds libqcf: entry.test.js and probe_sdk.test.js load it beside another libqcf).
const test = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const ts = require('typescript');
const sdk = require('../helpers/sdk');
const { runValue } = require('../helpers/scenario');

sdk.tempCwd();
const ADDON_PATH = path.join(sdk.BUILD_DIR, 'Release', 'VarnKtPlugin.node');
const addonExports = require(ADDON_PATH);
const { VarnKtPlugin } = require(sdk.ROOT);

// Every method in the class's order, with arguments that pass every check (extra ones for some: ignored).
const fill = { serverAddr: 'h', port: 1, serverType: 1, userTokenHandle: 't', overWriteFlag: 0,
  fillkeyItem: { appName: 'a', keyLen: 1, softkeyPath: 'k' } };
const VALID_ARGS = {
  preActivate: ['k.key'], reportSPMWithSignPubkey: ['a', 'b', 1], setKeyFilePath: ['k.key'],
  setCustomConfig: ['logLevel', '1'], init: [1, 'a', 'b'], auth_pubkey: [1, 'a', 'b'], auth: [],
  fillKey: [fill], fillKeySync: [fill], finish: ['x'], getSPMKeyInfo: ['a', 'b'], reFillKey: ['a', 1, 2],
  reFillKeySync: ['a', 1, 2], createGroup: ['a', 1, 'b'], applyKeyWithGroupID: ['a', 'b'], hello: ['abc'],
  setLogCallback: [() => {}, 'extra'], setEventCallback: ['onCaptureError', () => {}, 'extra'], removeEventCallback: ['onCaptureError'],
};
const METHODS = Object.keys(VALID_ARGS);

test('the module exports the class alone, re-exported by the entry; new ignores its arguments; 19 fixed hidden methods in order; hello; the receiver check', () => {
  assert.deepEqual([Object.getOwnPropertyNames(addonExports), addonExports.VarnKtPlugin.name, Object.keys(require(sdk.ROOT))],
    [['VarnKtPlugin'], 'VarnKtPlugin', ['VarnKtPlugin', 'configure', 'sdkInfo']]);
  assert.equal(VarnKtPlugin, addonExports.VarnKtPlugin);
  assert.throws(() => VarnKtPlugin(), { name: 'TypeError', message: "Class constructors cannot be invoked without 'new'" });
  const plugin = new VarnKtPlugin(undefined, null, {}, () => {});
  assert.deepEqual([Object.getPrototypeOf(plugin) === VarnKtPlugin.prototype, Reflect.ownKeys(plugin)], [true, []]);
  const descriptors = Object.getOwnPropertyDescriptors(VarnKtPlugin.prototype);
  delete descriptors.constructor;
  assert.deepEqual(Object.entries(descriptors).map(([name, { value, writable, enumerable, configurable }]) =>
    [name, typeof value, writable, enumerable, configurable]), METHODS.map((name) => [name, 'function', false, false, false]));
  // Its argument faults: catalogue.test.js.
  assert.deepEqual([plugin.hello(''), plugin.hello('密钥 ü', 1, {})], [' world', '密钥 ü world']);
  for (const receiver of [{}, Object.create(VarnKtPlugin.prototype)]) {
    for (const name of METHODS) assert.throws(() => VarnKtPlugin.prototype[name].apply(receiver, VALID_ARGS[name]), Error, name);
  }
  assert.deepEqual([sdk.calls(), fs.existsSync('log.txt')], [[], false]);
});

test('the module file exports exactly its registration entry', { skip: process.platform !== 'linux' }, () => {
  const symbols = execFileSync('nm', ['-D', '--defined-only', ADDON_PATH], { encoding: 'utf8' }).trim().split('\n');
  assert.deepEqual(symbols.map((line) => line.trim().split(/\s+/).pop()), ['_register_VarnKtPlugin_']);
});

// Per method: whether it returns a promise, and the type and property names of
// what it returns or resolves with. The add-on prints, so it runs in a child.
test('the declared methods, their promises and their results are those of the add-on', () => {
  const file = path.join(sdk.ROOT, 'index.d.ts');
  const program = ts.createProgram([file], { strict: true, noEmit: true, types: [] });
  const errors = ts.getPreEmitDiagnostics(program).map((d) => ts.flattenDiagnosticMessageText(d.messageText, '\n'));
  assert.deepEqual(errors, [], 'index.d.ts compiles');
  const checker = program.getTypeChecker();
  const source = program.getSourceFile(file);
  const declared = (is, name) => source.statements.find((s) => is(s) && s.name?.text === name);
  const propertiesOf = (type) => checker.getPropertiesOfType(type).map((p) => p.name);
  const methods = {};
  for (const member of declared(ts.isClassDeclaration, 'VarnKtPlugin').members) {
    if (!ts.isMethodDeclaration(member) || member.modifiers?.some((m) => m.kind === ts.SyntaxKind.StaticKeyword)) continue;
    let returned = checker.getReturnTypeOfSignature(checker.getSignatureFromDeclaration(member));
    const promise = returned.symbol?.name === 'Promise';
    if (promise) [returned] = checker.getTypeArguments(returned);
    const keys = returned.flags & ts.TypeFlags.Object ? propertiesOf(returned) : null;
    const entry = { promise, type: keys ? 'object' : checker.typeToString(returned), keys };
    const name = member.name.getText(source);
    // Overloads (setEventCallback) must agree on what they return.
    if (methods[name]) assert.deepEqual(entry, methods[name], `overloads of ${name}`);
    methods[name] = entry;
  }
  const rejection = propertiesOf(checker.getTypeAtLocation(declared(ts.isInterfaceDeclaration, 'ArgumentRejection').name));
  assert.deepEqual(runValue('sdk_lines', 'everyShape', { args: [VALID_ARGS] }), { methods, rejection });
});

'use strict';
// Child of declarations.test.js: calls every method of the prototype once
// with arguments that pass its checks, and writes to the file named by its
// first argument, per method, whether it returned a promise and the type and
// property names of what it returned or resolved with; also the property
// names of a rejection. Console lines of the add-on go to this child's stdout.
const fs = require('node:fs');
const path = require('node:path');
const sdk = require('../../helpers/sdk');

const reportPath = process.argv[2];
const dir = sdk.tempCwd();
const { VarnKtPlugin } = require(sdk.ROOT);
const plugin = new VarnKtPlugin();

const fillParams = {
  serverAddr: 'keyserver.varnkt.local',
  port: 18000,
  serverType: 1,
  userTokenHandle: 'handle',
  overWriteFlag: 1,
  fillkeyItem: { appName: 'app', keyLen: 32, softkeyPath: path.join(dir, 'shape.softkey') },
};

// Arguments that pass every check; the SDK's answer does not change a shape.
const ARGUMENTS = {
  preActivate: [path.join(dir, 'keys.dat')],
  reportSPMWithSignPubkey: ['spm', 'pubkey', 18000],
  setKeyFilePath: [path.join(dir, 'keys.dat')],
  setCustomConfig: ['logLevel', '1'],
  init: [1, 'user', 'app'],
  auth_pubkey: [1, 'user', 'app'],
  auth: [],
  fillKey: [fillParams],
  fillKeySync: [fillParams],
  finish: [],
  getSPMKeyInfo: ['app', 'demo'],
  reFillKey: ['', 1, 1],
  reFillKeySync: ['', 1, 1],
  createGroup: ['app', 32, 'group'],
  applyKeyWithGroupID: ['no-such-group', 'app'],
  hello: ['abc'],
  setLogCallback: [() => {}],
  setEventCallback: ['onCaptureMessage', () => {}],
};

function shape(value) {
  if (typeof value !== 'object' || value === null) return { type: typeof value, keys: null };
  return { type: 'object', keys: Object.keys(value) };
}

(async () => {
  const report = { methods: {}, rejection: null };
  for (const name of Object.getOwnPropertyNames(VarnKtPlugin.prototype)) {
    if (name === 'constructor') continue;
    if (!(name in ARGUMENTS)) throw new Error(`no arguments known for ${name}`);
    const returned = plugin[name](...ARGUMENTS[name]);
    const promise = returned instanceof Promise;
    report.methods[name] = { promise, ...shape(promise ? await returned : returned) };
  }
  report.rejection = await plugin.fillKey().then(
    () => null,
    (rejection) => shape(rejection).keys,
  );
  fs.writeFileSync(reportPath, JSON.stringify(report));
  process.exit(0);
})().catch((err) => {
  console.error(err);
  process.exit(1);
});

'use strict';
// Child of catalogue.test.js: makes calls that pass every argument check and
// writes what each returned, resolved, threw or rejected to the file named by
// its first argument. Console lines of the add-on go to this child's stdout.
const fs = require('node:fs');
const sdk = require('../../helpers/sdk');

const reportPath = process.argv[2];
sdk.tempCwd();
const { VarnKtPlugin } = require(sdk.ROOT);

const fn = () => {};
const fillParams = () => ({
  serverAddr: '127.0.0.1',
  port: 18000,
  serverType: 1,
  userTokenHandle: 'handle',
  overWriteFlag: 0,
  fillkeyItem: { appName: 'app', keyLen: 32, softkeyPath: 'soft.key' },
});

// [method, arguments, label of the arguments]
const CALLS = [
  ['preActivate', ['k.key'], "'k.key'"],
  ['preActivate', ['k.key', 'logs', 6, 'extra'], "'k.key', 'logs', 6 (ignored), extra"],
  ['reportSPMWithSignPubkey', ['a', 'b', 1, 'extra', {}], "'a', 'b', 1, extras"],
  ['setKeyFilePath', ['k.key', 5], "'k.key', extra"],
  ['setCustomConfig', ['logLevel', '1', 5], "'logLevel', '1', extra"],
  ['init', [1, 'a', 'b'], '3 of 5'],
  ['init', [1, 'a', 'b', 'host'], '4 of 5'],
  ['init', [1, 'a', 'b', 'host', 80, 'extra'], '5 of 5, extra'],
  ['auth_pubkey', [1, 'a', 'b'], '3 of 5'],
  ['auth_pubkey', [NaN, 'a', 'b', 'host', 80, 'extra'], 'NaN is a number, 5 of 5, extra'],
  ['auth', ['x', 1], 'ignored arguments'],
  ['fillKey', [Object.assign(() => {}, fillParams())], 'a function carrying the properties'],
  ['fillKeySync', [Object.assign([], fillParams())], 'an array carrying the properties'],
  ['fillKeySync', [{ serverAddr: '127.0.0.1', fillkeyItem: {} }], 'serverAddr and an empty fillkeyItem'],
  ['getSPMKeyInfo', ['a', 'b', 'extra'], "'a', 'b', extra"],
  ['reFillKey', ['a', 1, 2, 'extra'], "'a', 1, 2, extra"],
  ['reFillKeySync', ['a', 1, 2, 'extra'], "'a', 1, 2, extra"],
  ['createGroup', ['a', 1, 'b', 'extra'], "'a', 1, 'b', extra"],
  ['applyKeyWithGroupID', ['a', 'b', 'extra'], "'a', 'b', extra"],
  ['hello', ['abc', 1], "'abc', extra"],
  ['setLogCallback', [fn, 'extra'], 'fn, extra'],
  ['setEventCallback', ['onCaptureError', fn, 'extra'], "'onCaptureError', fn, extra"],
  ['finish', ['x', 1], 'ignored arguments'],
];

function settleWithin(promise, ms) {
  let timer;
  const timeout = new Promise((_, reject) => {
    timer = setTimeout(() => reject(new Error(`not settled within ${ms} ms`)), ms);
  });
  return Promise.race([promise, timeout]).finally(() => clearTimeout(timer));
}

async function main() {
  const plugin = new VarnKtPlugin();
  const report = [];
  for (const [method, args, label] of CALLS) {
    const row = { call: `${method}(${label})` };
    try {
      let value = plugin[method](...args);
      if (value instanceof Promise) value = await settleWithin(value, 10000);
      row.type = typeof value;
      row.value = value;
    } catch (err) {
      row.error = err && err.message !== undefined ? String(err.message) : JSON.stringify(err);
    }
    report.push(row);
  }
  fs.writeFileSync(reportPath, JSON.stringify(report));
}

main().then(
  () => process.exit(0),
  (err) => {
    console.error(err);
    process.exit(1);
  },
);

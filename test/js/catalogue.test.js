'use strict';
// The argument checks of every method, row by row: a wrong argument is a
// thrown Error (TypeError in fillKeySync) or a promise already rejected with
// {code: -1, message}, and nothing reaches the SDK (fillKey's missing
// properties, which fillKeySync sends as defaults: keys_fill.test.js). Extra
// arguments are ignored: each method's own tests pass some.
const test = require('node:test');
const assert = require('node:assert/strict');
const sdk = require('../helpers/sdk');
const { inspect } = require('node:util');
const { addonLog } = require('../scenarios/keys');

sdk.tempCwd();
const { VarnKtPlugin } = require(sdk.ROOT);

const COUNT = 'The argument count less(obejct expected)!';
const wrong = (nth, what) => `The ${nth} argument is wrong(${what})!`;
const [S1, N1, S2, N2, S3, N3] = ['first', 'second', 'third'].flatMap((nth) =>
  ['string', 'number'].map((type) => wrong(nth, `${type} expected`)));
const SEC = wrong('sec', 'string expected');
const long = (nth, bytes) => `The ${nth} argument is too long(at most ${bytes} bytes)!`;
const fn = () => {};
const missing = (property) => `Missing '${property}' property`;
const fillParams = (...without) => Object.fromEntries(Object.entries({ serverAddr: undefined, port: 1, serverType: 1,
  userTokenHandle: 't', overWriteFlag: 0, fillkeyItem: {} }).filter(([name]) => !without.includes(name)));
const [ONE, OBJECT] = ['Expected one argument', 'Expected an object as the first argument'];
const fillRows = [[[], ONE], [[{}, {}], ONE], [[fillParams(), undefined], ONE], [['params'], OBJECT], [[null], OBJECT],
  [[undefined], OBJECT], ...[{}, [], fn].map((arg) => [[arg], missing('serverAddr')])];
const fullFill = (item) => ({ ...fillParams(), fillkeyItem: { appName: 'a', keyLen: 1, softkeyPath: 'k', ...item } });
// The path field holds 255 bytes and its NUL; a longer path would be cut and name another file.
const pathRows = [[[fullFill({ softkeyPath: 'C:\\a\0.key' })], "Wrong 'fillkeyItem.softkeyPath' property(string without NUL expected)"],
  [[fullFill({ softkeyPath: 'k'.repeat(256) })], "Wrong 'fillkeyItem.softkeyPath' property(at most 255 bytes expected)"]];
// Values that cannot be read as their types throw from both fill methods at once; a getter's own error passes through.
const unreadable = [[[{ ...fillParams(), fillkeyItem: null }], 'Cannot convert undefined or null to object'],
  [[fullFill({ softkeyPath: Symbol('p') })], 'Cannot convert a Symbol value to a string']];
class GetterFault extends Error {}
const faulty = (object) => Object.defineProperty(object, 'serverType', { get() { throw new GetterFault('getter failed'); } });
const reFillRows = [[[], COUNT], [['a', 1], COUNT], [[1, 1, 1], S1], [['a', '1', 1], N2], [['a', 1, undefined], N3]];
const loginRows = [
  [[], COUNT], [[1, 'a'], COUNT], [['1', 'a', 'b'], N1], [[1, 2, 'b'], S2], [[1, 'a', 3], S3],
  // Optional arguments present as undefined are wrong.
  [[1, 'a', 'b', undefined], wrong('fourth', 'string expected')],
  [[1, 'a', 'b', 'h', '80'], wrong('fifth', 'number expected')],
  // Texts too long for their fields, counted in bytes.
  [[1, 'a', 't'.repeat(32)], long('third', 31)], [[1, 'a', '密'.repeat(11)], long('third', 31)],
  [[1, 'a', 't', 'h'.repeat(32)], long('fourth', 31)],
];

// [method, how it refuses, [arguments, message]...]; preActivate installs
// its two SDK handlers before it checks anything.
const CATALOGUE = [
  ['preActivate', 'Error', [[], COUNT], [[5], S1], [[undefined], S1], [['k', undefined], SEC],
    [['k', 7, '6'], SEC], [['k\0.key'], wrong('first', 'string without NUL expected')],
    [['k', 'log\0dir'], wrong('sec', 'string without NUL expected')]],
  ['reportSPMWithSignPubkey', 'reject', [[], COUNT], [['a', 'b'], COUNT], [[1, 'b', 1], S1],
    [['a', 2, 1], SEC], [['a', 'b', '1'], N3], [['a', 'b', undefined], N3]],
  ['setKeyFilePath', 'Error', [[], COUNT], [[5], S1], [[{ toString: () => 'k' }], S1],
    [['k\0.key'], wrong('first', 'string without NUL expected')]],
  ['setCustomConfig', 'Error', [[], COUNT], [['logLevel'], COUNT], [[1, '1'], S1],
    [['logLevel', 1], S2], [['logLevel', null], S2]],
  ['init', 'reject', ...loginRows],
  ['auth_pubkey', 'reject', ...loginRows],
  // Only the strict fillKey insists on the rest, in order; a property holding
  // undefined is present; it checks them all before it reads any.
  ['fillKey', 'reject', ...fillRows, ...pathRows, [[fillParams('fillkeyItem')], missing('fillkeyItem')],
    [[fillParams('port', 'serverType')], missing('port')], [[faulty(fillParams('port'))], missing('port')]],
  ['fillKey', 'TypeError', ...unreadable], ['fillKey', 'GetterFault', [[faulty(fullFill())], 'getter failed']],
  ['fillKeySync', 'TypeError', ...fillRows, ...pathRows, ...unreadable],
  ['fillKeySync', 'GetterFault', ...[fullFill(), fillParams('port')].map((arg) => [[faulty(arg)], 'getter failed'])],
  ['getSPMKeyInfo', 'reject', [['a'], COUNT], [[1, 'b'], S1], [['a', undefined], S2],
    // Texts longer than their query fields (15 and 63 bytes before the NUL).
    [['f'.repeat(16), 'b'], long('first', 15)], [['密钥标识六个', 'b'], long('first', 15)],
    [['密钥标识六', 'b'.repeat(64)], long('second', 63)]],
  ['reFillKey', 'reject', ...reFillRows],
  ['reFillKeySync', 'Error', ...reFillRows],
  ['createGroup', 'reject', [['a', 1], COUNT], [[1, 1, 'b'], S1], [['a', '1', 'b'], N2], [['a', 1, 2], S3]],
  ['applyKeyWithGroupID', 'reject', [['a'], COUNT], [[1, 'b'], S1], [['a', null], S2]],
  // No check of its own: reading a string throws.
  ['hello', 'TypeError', ...[[], [5], [{ toString: () => 'abc' }]].map((args) => [args, 'A string was expected'])],
  ['setLogCallback', 'Error', [[], COUNT], [['callback'], wrong('first', 'function excepted')],
    [[undefined], wrong('first', 'function excepted')]],
  // No count check: a missing first argument fails its type check.
  ['setEventCallback', 'Error', [[], S1], [[5, fn], S1], [['onCaptureError'], wrong('second', 'function expected')],
    [['onCaptureError', 'handler'], wrong('second', 'function expected')]],
];
const ROWS = CATALOGUE.flatMap(([method, how, ...rows]) => rows.map(([args, message]) => ({ method, args, how, message })));

test('every argument fault is reported as its row says, and no SDK call is made', async (t) => {
  const plugin = new VarnKtPlugin();
  for (const { method, args, how, message } of ROWS) {
    const label = args.map((a) => inspect(a, { breakLength: Infinity, maxStringLength: 40 })).join(', ');
    await t.test(`${method}(${label}) -> ${message}`, async () => {
      sdk.reset();
      if (how === 'reject') {
        // Already rejected when the method returned: its reaction runs
        // before a microtask queued after it.
        let state = 'pending';
        plugin[method](...args).then(() => (state = 'resolved'), (reason) => (state = reason));
        await Promise.resolve();
        assert.deepEqual([Object.getPrototypeOf(state), Object.entries(state)], [Object.prototype, [['code', -1], ['message', message]]]);
      } else {
        assert.throws(() => plugin[method](...args), (err) =>
          assert.deepEqual([err.constructor.name, err.message, 'code' in err], [how, message, false]) ?? true);
      }
      await new Promise(setImmediate);
      const handlers = method === 'preActivate' ? ['QCF_SetExceptionHandler', 'QCF_SetLogHandler'] : [];
      assert.deepEqual(sdk.names(), handlers);
    });
  }
  assert.deepEqual(addonLog(), [], 'nothing was logged');
});

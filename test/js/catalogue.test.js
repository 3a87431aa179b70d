'use strict';
// The argument checks of every method, row by row: a wrong argument is a
// thrown Error (TypeError in fillKeySync) or a promise already rejected with
// {code: -1, message}, and nothing reaches the SDK. Then the rules around
// them: optional arguments, extra arguments, objects and unsigned reads.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const sdk = require('../helpers/sdk');

sdk.tempCwd();
const { VarnKtPlugin } = require(sdk.ROOT);

const COUNT = 'The argument count less(obejct expected)!';
const FIRST_STRING = 'The first argument is wrong(string expected)!';
const FIRST_NUMBER = 'The first argument is wrong(number expected)!';
const FIRST_FUNCTION = 'The first argument is wrong(function excepted)!';
const SEC_STRING = 'The sec argument is wrong(string expected)!';
const SECOND_STRING = 'The second argument is wrong(string expected)!';
const SECOND_NUMBER = 'The second argument is wrong(number expected)!';
const SECOND_FUNCTION = 'The second argument is wrong(function expected)!';
const THIRD_STRING = 'The third argument is wrong(string expected)!';
const THIRD_NUMBER = 'The third argument is wrong(number expected)!';
const FOURTH_STRING = 'The fourth argument is wrong(string expected)!';
const FIFTH_NUMBER = 'The fifth argument is wrong(number expected)!';
const ONE_ARGUMENT = 'Expected one argument';
const AN_OBJECT = 'Expected an object as the first argument';
const missing = (property) => `Missing '${property}' property`;
// Paths that would reach the SDK cut at an embedded NUL are refused.
const FIRST_PATH_NUL = 'The first argument is wrong(string without NUL expected)!';
const SEC_PATH_NUL = 'The sec argument is wrong(string without NUL expected)!';
const SOFTKEY_PATH_NUL = "Wrong 'fillkeyItem.softkeyPath' property(string without NUL expected)";

// preActivate installs its two SDK handlers before it checks anything.
const HANDLERS_INSTALLED = ['QCF_SetExceptionHandler', 'QCF_SetLogHandler'];

const fn = () => {};

function fillParams({ without = [], item = {}, itemWithout = [], ...overrides } = {}) {
  const fillkeyItem = { appName: 'app', keyLen: 32, softkeyPath: 'soft.key', ...item };
  for (const name of itemWithout) delete fillkeyItem[name];
  const params = {
    serverAddr: '127.0.0.1',
    port: 18000,
    serverType: 1,
    userTokenHandle: 'handle',
    overWriteFlag: 0,
    fillkeyItem,
    ...overrides,
  };
  for (const name of without) delete params[name];
  return params;
}

// Row kinds: thrown Error, thrown TypeError, rejected promise.
const error = (message) => ({ kind: 'Error', message });
const typeError = (message) => ({ kind: 'TypeError', message });
const rejects = (message) => ({ kind: 'reject', message });

// [method, arguments, outcome, SDK calls the method makes anyway]
const ROWS = [
  ['preActivate', [], error(COUNT), HANDLERS_INSTALLED],
  ['preActivate', [5], error(FIRST_STRING), HANDLERS_INSTALLED],
  ['preActivate', [undefined], error(FIRST_STRING), HANDLERS_INSTALLED],
  ['preActivate', ['k.key', undefined], error(SEC_STRING), HANDLERS_INSTALLED],
  ['preActivate', ['k.key', 7, '6'], error(SEC_STRING), HANDLERS_INSTALLED],
  ['preActivate', ['k\0.key'], error(FIRST_PATH_NUL), HANDLERS_INSTALLED],
  ['preActivate', ['k.key', 'log\0dir'], error(SEC_PATH_NUL), HANDLERS_INSTALLED],

  ['reportSPMWithSignPubkey', [], rejects(COUNT)],
  ['reportSPMWithSignPubkey', ['a', 'b'], rejects(COUNT)],
  ['reportSPMWithSignPubkey', [1, 'b', 1], rejects(FIRST_STRING)],
  ['reportSPMWithSignPubkey', ['a', 2, 1], rejects(SEC_STRING)],
  ['reportSPMWithSignPubkey', ['a', 'b', '1'], rejects(THIRD_NUMBER)],
  ['reportSPMWithSignPubkey', ['a', 'b', undefined], rejects(THIRD_NUMBER)],

  ['setKeyFilePath', [], error(COUNT)],
  ['setKeyFilePath', [5], error(FIRST_STRING)],
  ['setKeyFilePath', [undefined], error(FIRST_STRING)],
  ['setKeyFilePath', [{ toString: () => 'k.key' }], error(FIRST_STRING)],
  ['setKeyFilePath', ['k\0.key'], error(FIRST_PATH_NUL)],

  ['setCustomConfig', [], error(COUNT)],
  ['setCustomConfig', ['logLevel'], error(COUNT)],
  ['setCustomConfig', [1, '1'], error(FIRST_STRING)],
  ['setCustomConfig', [undefined, undefined], error(FIRST_STRING)],
  ['setCustomConfig', ['logLevel', 1], error(SECOND_STRING)],
  ['setCustomConfig', ['logLevel', null], error(SECOND_STRING)],

  ...['init', 'auth_pubkey'].flatMap((method) => [
    [method, [], rejects(COUNT)],
    [method, [1, 'a'], rejects(COUNT)],
    [method, ['1', 'a', 'b'], rejects(FIRST_NUMBER)],
    [method, [undefined, 'a', 'b'], rejects(FIRST_NUMBER)],
    [method, [1, 2, 'b'], rejects(SECOND_STRING)],
    [method, [1, 'a', 3], rejects(THIRD_STRING)],
    [method, [1, 'a', 'b', undefined], rejects(FOURTH_STRING)],
    [method, [1, 'a', 'b', 5], rejects(FOURTH_STRING)],
    [method, [1, 'a', 'b', undefined, 'x'], rejects(FOURTH_STRING)],
    [method, [1, 'a', 'b', 'host', undefined], rejects(FIFTH_NUMBER)],
    [method, [1, 'a', 'b', 'host', '80'], rejects(FIFTH_NUMBER)],
  ]),

  ['fillKey', [], rejects(ONE_ARGUMENT)],
  ['fillKey', [{}, {}], rejects(ONE_ARGUMENT)],
  ['fillKey', [fillParams(), undefined], rejects(ONE_ARGUMENT)],
  ['fillKey', ['params'], rejects(AN_OBJECT)],
  ['fillKey', [null], rejects(AN_OBJECT)],
  ['fillKey', [undefined], rejects(AN_OBJECT)],
  ['fillKey', [5], rejects(AN_OBJECT)],
  ['fillKey', [{}], rejects(missing('serverAddr'))],
  ['fillKey', [fn], rejects(missing('serverAddr'))],
  ['fillKey', [[]], rejects(missing('serverAddr'))],
  ['fillKey', [fillParams({ without: ['serverAddr'] })], rejects(missing('serverAddr'))],
  ['fillKey', [fillParams({ without: ['port', 'serverType'] })], rejects(missing('port'))],
  ['fillKey', [fillParams({ without: ['serverType'] })], rejects(missing('serverType'))],
  ['fillKey', [fillParams({ without: ['userTokenHandle'] })], rejects(missing('userTokenHandle'))],
  ['fillKey', [fillParams({ without: ['overWriteFlag'] })], rejects(missing('overWriteFlag'))],
  ['fillKey', [fillParams({ without: ['fillkeyItem'] })], rejects(missing('fillkeyItem'))],
  // A property holding undefined, or an inherited one, is present.
  ['fillKey', [fillParams({ serverAddr: undefined, without: ['port'] })], rejects(missing('port'))],
  ['fillKey', [Object.create({ serverAddr: 'x' })], rejects(missing('port'))],
  ['fillKey', [fillParams({ itemWithout: ['appName', 'keyLen'] })], rejects(missing('fillkeyItem.appName'))],
  ['fillKey', [fillParams({ itemWithout: ['keyLen'] })], rejects(missing('fillkeyItem.keyLen'))],
  ['fillKey', [fillParams({ itemWithout: ['softkeyPath'] })], rejects(missing('fillkeyItem.softkeyPath'))],
  // A primitive fillkeyItem is coerced to an object without the properties.
  ['fillKey', [fillParams({ fillkeyItem: 5 })], rejects(missing('fillkeyItem.appName'))],
  ['fillKey', [fillParams({ item: { softkeyPath: 'soft\0.key' } })], rejects(SOFTKEY_PATH_NUL)],

  ['fillKeySync', [], typeError(ONE_ARGUMENT)],
  ['fillKeySync', [{}, {}], typeError(ONE_ARGUMENT)],
  ['fillKeySync', ['params'], typeError(AN_OBJECT)],
  ['fillKeySync', [null], typeError(AN_OBJECT)],
  ['fillKeySync', [{}], typeError(missing('serverAddr'))],
  ['fillKeySync', [[]], typeError(missing('serverAddr'))],
  ['fillKeySync', [fn], typeError(missing('serverAddr'))],
  ['fillKeySync', [fillParams({ item: { softkeyPath: 'soft\0.key' } })], typeError(SOFTKEY_PATH_NUL)],

  ['getSPMKeyInfo', [], rejects(COUNT)],
  ['getSPMKeyInfo', ['a'], rejects(COUNT)],
  ['getSPMKeyInfo', [1, 'b'], rejects(FIRST_STRING)],
  ['getSPMKeyInfo', ['a', 2], rejects(SECOND_STRING)],
  ['getSPMKeyInfo', ['a', undefined], rejects(SECOND_STRING)],

  ...[
    ['reFillKey', rejects],
    ['reFillKeySync', error],
  ].flatMap(([method, outcome]) => [
    [method, [], outcome(COUNT)],
    [method, ['a', 1], outcome(COUNT)],
    [method, [1, 1, 1], outcome(FIRST_STRING)],
    [method, ['a', '1', 1], outcome(SECOND_NUMBER)],
    [method, ['a', 1, '1'], outcome(THIRD_NUMBER)],
    [method, ['a', 1, undefined], outcome(THIRD_NUMBER)],
  ]),

  ['createGroup', [], rejects(COUNT)],
  ['createGroup', ['a', 1], rejects(COUNT)],
  ['createGroup', [1, 1, 'b'], rejects(FIRST_STRING)],
  ['createGroup', ['a', '1', 'b'], rejects(SECOND_NUMBER)],
  ['createGroup', ['a', 1, 2], rejects(THIRD_STRING)],

  ['applyKeyWithGroupID', [], rejects(COUNT)],
  ['applyKeyWithGroupID', ['a'], rejects(COUNT)],
  ['applyKeyWithGroupID', [1, 'b'], rejects(FIRST_STRING)],
  ['applyKeyWithGroupID', ['a', null], rejects(SECOND_STRING)],

  ['setLogCallback', [], error(COUNT)],
  ['setLogCallback', ['callback'], error(FIRST_FUNCTION)],
  ['setLogCallback', [{}], error(FIRST_FUNCTION)],
  ['setLogCallback', [undefined], error(FIRST_FUNCTION)],

  // No count check: a missing first argument fails its type check.
  ['setEventCallback', [], error(FIRST_STRING)],
  ['setEventCallback', [5, fn], error(FIRST_STRING)],
  ['setEventCallback', ['onCaptureError'], error(SECOND_FUNCTION)],
  ['setEventCallback', ['onCaptureError', 'handler'], error(SECOND_FUNCTION)],
];

// Settles synchronously observable: the promise was already settled when
// the method returned iff its reaction runs before a microtask queued after.
async function stateRightAfterReturn(promise) {
  let state = { pending: true };
  promise.then(
    (value) => (state = { resolved: value }),
    (reason) => (state = { rejected: reason }),
  );
  await Promise.resolve();
  return state;
}

const nextTurn = () => new Promise((resolve) => setImmediate(resolve));

function describeArgs(args) {
  return args
    .map((arg) => (typeof arg === 'function' ? 'fn' : arg === undefined ? 'undefined' : JSON.stringify(arg)))
    .join(', ');
}

test.beforeEach(() => sdk.reset());

test('every argument fault is reported as its row says, and no SDK call is made', async (t) => {
  const plugin = new VarnKtPlugin();
  for (const [method, args, outcome, sdkCalls = []] of ROWS) {
    await t.test(`${method}(${describeArgs(args)}) -> ${outcome.message}`, async () => {
      sdk.reset();
      if (outcome.kind === 'reject') {
        const promise = plugin[method](...args);
        assert.ok(promise instanceof Promise);
        const state = await stateRightAfterReturn(promise);
        assert.ok('rejected' in state, `already rejected, got ${JSON.stringify(state)}`);
        const reason = state.rejected;
        assert.equal(reason instanceof Error, false);
        assert.equal(Object.getPrototypeOf(reason), Object.prototype);
        assert.deepEqual(Object.keys(reason), ['code', 'message']);
        assert.deepEqual(reason, { code: -1, message: outcome.message });
      } else {
        let thrown;
        assert.throws(() => plugin[method](...args), (err) => {
          thrown = err;
          return true;
        });
        assert.ok(thrown instanceof Error);
        assert.equal(thrown.constructor.name, outcome.kind);
        assert.equal(thrown.message, outcome.message);
        assert.equal('code' in thrown, false, 'no code property');
      }
      await nextTurn();
      assert.deepEqual(sdk.names(), sdkCalls);
    });
  }
  assert.equal(fs.existsSync('log.txt'), false, 'nothing was logged');
});

// Calls that pass every check, with optional arguments left out, extra ones
// added, and functions or arrays where an object is expected, must not be
// refused for their arguments. Some of them print console lines, which would
// corrupt the test runner's own output, so they run in a child process.
test('calls with all required arguments are not refused, whatever follows them', async (t) => {
  const reportPath = path.join(process.cwd(), 'passing.json');
  const child = spawnSync(process.execPath, [path.join(__dirname, 'children', 'passing_calls.js'), reportPath], {
    encoding: 'utf8',
    timeout: 60000,
  });
  assert.equal(child.status, 0, child.stderr);
  const report = JSON.parse(fs.readFileSync(reportPath, 'utf8'));
  assert.ok(report.length > 20);
  const refusals = new Set(ROWS.map(([, , outcome]) => outcome.message));
  for (const row of report) {
    await t.test(row.call, () => {
      assert.equal(row.error, undefined, `threw or rejected: ${row.error}`);
      assert.ok(['number', 'string', 'object'].includes(row.type), row.type);
      if (row.type === 'object') {
        assert.equal(typeof row.value.code, 'number');
        assert.equal(refusals.has(row.value.message), false, row.value.message);
      }
    });
  }
});

test('numbers are read as unsigned 32-bit', () => {
  const plugin = new VarnKtPlugin();
  const cases = [
    [1.9, 1],
    [-1, 4294967295],
    [-1.9, 4294967295],
    [NaN, 0],
    [Infinity, 0],
    [-Infinity, 0],
    [2 ** 32 + 5, 5],
    [2 ** 31, 2147483648],
  ];
  for (const [value, read] of cases) {
    sdk.reset();
    plugin.reFillKeySync('token', value, value);
    const calls = sdk.callsOf('QCF_ReFillKey');
    assert.equal(calls.length, 1, `one SDK call for ${value}`);
    assert.deepEqual(calls[0].args.slice(1), [read, read], `${value} reads as ${read}`);
  }
});

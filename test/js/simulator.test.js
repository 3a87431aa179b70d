'use strict';
// The simulator driven through the add-on: each case runs a scenario of
// test/scenarios/simulator.js in a process of its own.
const assert = require('node:assert/strict');
const { test } = require('node:test');
const sdk = require('../helpers/sdk');
const { runValue } = require('../helpers/scenario');

const { CODES } = sdk;
const SERVER = 'keyserver.varnkt.local:18000';
const inSimulator = (name, args) => runValue('simulator', name, { args });

test('order of use: calls out of order are refused with codes of their own', () => {
  const cases = [
    // [label, steps before (each answering 0 unless codes are given), the step, its code]
    ['init before pre-activation', [['setKeyFilePath', 'keys.store']], 'init', CODES.NOT_ACTIVATED],
    ['auth_pubkey before init', ['preActivate'], 'login', CODES.NOT_INITIALISED],
    ['fillKey before a login', ['preActivate', 'init'], 'fill', CODES.NOT_LOGGED_IN],
    ['reFillKey after finish', ['preActivate', 'init', 'login', 'finish'], 'refill', CODES.NOT_INITIALISED],
    ['init again after finish', ['preActivate', 'init', 'login', 'finish'], 'init', 0],
    ['a whole session', ['preActivate', 'init', 'auth', 'refill', 'spmInfo', 'createGroup', 'report'], 'finish', 0],
    ['init with port 65536, 0 in 16 bits', ['preActivate'], ['init', 1, 'u', 'd', 'host', 65536], CODES.BAD_SERVER],
    ['auth_pubkey to port 0', ['preActivate', 'init'], ['auth_pubkey', 1, 'u', 'd', 'host', 0], CODES.BAD_SERVER],
    ['init after an empty key file path', ['preActivate', ['setKeyFilePath', '']], 'init', CODES.NO_KEY_FILE, [0, CODES.NO_KEY_FILE]],
  ];
  const seen = inSimulator('orderOfUse', cases);
  assert.deepEqual(seen, cases.map(([label, before, , code, codesBefore = before.map(() => 0)]) => [label, [...codesBefore, code]]));
});

test('a refill takes the current login, within its lifetime', () => {
  // Which tokens the simulator takes: test/cpp/standin_test.cc.
  assert.deepEqual(inSimulator('tokens'), [0, [true], 3600, 0, Array(4).fill(CODES.TOKEN_EXPIRED)]);
});

test('filling: refusals with codes of their own leave no file and no count behind; a soft key file holds keyLen fresh bytes', () => {
  const refusals = [
    [{ item: { keyLen: 0 } }, CODES.KEY_LEN_ZERO],
    [{ item: { keyLen: 257 } }, CODES.KEY_LEN_TOO_LARGE],
    [{ item: { softkeyPath: 'missing/soft.key' } }, CODES.SOFT_KEY_DIR_MISSING],
    [{ item: { softkeyPath: 'a-directory' } }, CODES.SOFT_KEY_PATH_INVALID],
    [{ item: { softkeyPath: '' } }, CODES.SOFT_KEY_PATH_INVALID],
    [{ item: { softkeyPath: 'taken.key' } }, CODES.SOFT_KEY_EXISTS],
    [{ serverAddr: '' }, CODES.BAD_SERVER],
    [{ port: 0 }, CODES.BAD_SERVER],
  ];
  const seen = inSimulator('filling', refusals);
  assert.deepEqual(seen.refused, refusals.map(([, code]) => [code, code]));
  assert.deepEqual([...seen.left, seen.codes], ['mine', ['a-directory', 'keys.store', 'keys.store.lock', 'log.txt', 'taken.key'], 0, [0, 0, 0]]);
  const [one, two, replaced] = [['demo-app', 48], ['my%20app%20%25', 48], ['demo-app', 300]].map(([app, length], i) => {
    const bytes = Buffer.from(seen.files[i], 'base64');
    const head = `QCF-STANDIN-SOFTKEY 1\napp ${app}\nserver kms.example:9000\nlength ${length}\n\n`;
    assert.equal(bytes.subarray(0, head.length).toString('latin1'), head);
    assert.equal(bytes.length, head.length + length);
    return bytes.subarray(head.length);
  });
  assert.notDeepEqual(one, two);
  assert.notDeepEqual(replaced.subarray(0, 48), one);
});

test('the security module: counters move with fills, refills and group keys; tag and source are reported', () => {
  const unchanged = [SERVER, [194, 72, 164]];
  const moves = [
    // [method, arguments, its code, then getSPMKeyInfo's source and [total, used, base]]
    ['fillKey', { item: { keyLen: 64 } }, 0, ['127.0.0.1:18000', [64, 0, 0]]],
    ['fillKey', { serverAddr: 'kms.example', port: 9000, overWriteFlag: 1, item: { keyLen: 100 } }, 0, ['kms.example:9000', [164, 0, 64]]],
    ['reFillKey', ['', 3, 10], 0, [SERVER, [194, 0, 164]]],
    ['createGroup', ['g', 40, 'n'], 0, [SERVER, [194, 40, 164]]],
    ['createGroup', ['g', 0, 'n'], 0, unchanged],
    ['createGroup', ['g', 200, 'n'], CODES.SPM_EXHAUSTED, unchanged],
    ['createGroup', ['g', 257, 'n'], CODES.KEY_LEN_TOO_LARGE, unchanged],
    ['reFillKey', ['', 0, 10], CODES.REFILL_AMOUNT_INVALID, unchanged],
    ['reFillKey', ['', 1, 257], CODES.KEY_LEN_TOO_LARGE, unchanged],
  ];
  const seen = inSimulator('counters', moves);
  const [[tag, ...start], ...rest] = seen;
  assert.match(tag, /^SPM-[0-9A-F]{8}$/);
  assert.deepEqual(start, ['none', [0, 0, 0]]);
  assert.deepEqual(rest, moves.map(([, , code, state]) => [code, tag, ...state]));
});

test('group ids are unique; every instance, and later sessions, get the same key', () => {
  const seen = inSimulator('groups');
  const [keyA, sameA, keyB, laterA] = seen.keys;
  assert.notEqual(seen.ids[0], seen.ids[1]);
  assert.match(seen.ids[0], /^GRP-[0-9A-F]{16}$/);
  assert.match(keyA, /^[0-9A-F]{64}$/);
  assert.match(keyB, /^[0-9A-F]{32}$/);
  assert.deepEqual([sameA, laterA], [keyA, keyA]);
});

test('a damaged key file is refused, reported to the exception handler and kept', () => {
  const seen = inSimulator('damagedKeyFile');
  assert.deepEqual(seen, [...Array(4).fill([CODES.KEY_STORE_UNREADABLE, true, true]), CODES.KEY_STORE_UNWRITABLE]);
});

test('a scripted code answers in the simulator\'s place and changes nothing', () => {
  const seen = inSimulator('scriptedCode');
  assert.deepEqual(seen, [{ code: -7, message: sdk.errorText(-7), groupId: '' }, { code: 0, message: 'Fill key successful' }, false, 64, 0]);
});

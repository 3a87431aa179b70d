'use strict';
// init and finish: the login records as the SDK receives them, the settings
// around QCF_Init, the results, and what finish clears.
const { test, beforeEach } = require('node:test');
const assert = require('node:assert/strict');
const sdk = require('../helpers/sdk');

sdk.tempCwd();
const { VarnKtPlugin } = require(sdk.ROOT);
const plugin = new VarnKtPlugin();

beforeEach(() => sdk.reset());

const DEFAULT_HOST = 'keyserver.varnkt.local';
const THIRD_TOO_LONG = 'The third argument is too long(at most 31 bytes)!';
const FOURTH_TOO_LONG = 'The fourth argument is too long(at most 31 bytes)!';

// A NUL-terminated field of a record: its bytes up to the NUL, which must lie
// inside the field.
function field(record, start, width) {
  const nul = record.indexOf(0, start);
  assert.ok(nul >= start && nul < start + width, `field at ${start} is not terminated`);
  return record.subarray(start, nul);
}

// The login fields of the records QCF_Init received last.
function sentLogin() {
  const [server, user, csp] = sdk.callsOf('QCF_Init').at(-1).args;
  assert.deepEqual([server.length, user.length, csp.length], [112, 100, 80]);
  return {
    first: user.readUInt32LE(0),
    second: field(user, 4, 64),
    third: field(user, 68, 32).toString(),
    host: field(server, 64, 32).toString(),
    port: server.readUInt16LE(96),
    pin: csp.subarray(16, 25).toString('latin1'),
    untouched: Buffer.concat([server.subarray(0, 64), server.subarray(98), csp.subarray(0, 16), csp.subarray(25)]),
  };
}

const login = (first, second, third, host = DEFAULT_HOST, port = 18000) => ({
  first, second: Buffer.from(second), third, host, port,
  pin: '40615237\0', untouched: Buffer.alloc(64 + 14 + 16 + 55),
});

const host31 = 'h'.repeat(27) + '.org';
// [label, arguments, fields the SDK receives]
const INIT_CASES = [
  ['three arguments: default host and port', [7, 'user', 'dept'], login(7, 'user', 'dept')],
  ['a host, default port', [7, 'user', 'dept', 'kms.example.org'], login(7, 'user', 'dept', 'kms.example.org')],
  ['host and port', [7, 'user', 'dept', 'kms.example.org', 443], login(7, 'user', 'dept', 'kms.example.org', 443)],
  ['a port above 65535 keeps its low 16 bits', [7, 'u', 'd', 'h', 70000], login(7, 'u', 'd', 'h', 4464)],
  ['port 65536 is 0', [7, 'u', 'd', 'h', 65536], login(7, 'u', 'd', 'h', 0)],
  ['port -1 is 65535', [7, 'u', 'd', 'h', -1], login(7, 'u', 'd', 'h', 65535)],
  ['first argument -1', [-1, 'u', 'd'], login(4294967295, 'u', 'd')],
  ['first argument 2.7', [2.7, 'u', 'd'], login(2, 'u', 'd')],
  ['first argument 2^32 + 5', [2 ** 32 + 5, 'u', 'd'], login(5, 'u', 'd')],
  ['a second argument of 100 bytes is cut to 63', [1, 'a'.repeat(100), 'd'], login(1, 'a'.repeat(63), 'd')],
  ['the cut counts bytes, even inside a character', [1, 'é'.repeat(40), 'd'],
    { ...login(1, '', 'd'), second: Buffer.from('é'.repeat(40)).subarray(0, 63) }],
  ['31-byte host and third argument fit', [1, 'u', 't'.repeat(31), host31], login(1, 'u', 't'.repeat(31), host31)],
  ['empty texts', [0, '', '', ''], login(0, '', '', '')],
];

test('init: the login records reach QCF_Init byte for byte', async (t) => {
  for (const [label, args, expected] of INIT_CASES) {
    await t.test(label, async () => {
      sdk.reset();
      assert.deepEqual(await plugin.init(...args), { code: 0, message: 'initialization successful' });
      assert.deepEqual(sdk.names(), ['QCF_Custom', 'QCF_Init']);
      assert.deepEqual(sdk.calls()[0].args, ['useInputCspInfo', 'true']);
      assert.deepEqual(sentLogin(), expected);
    });
  }
});

test('init: useInputCspInfo before every QCF_Init, each with its own values', async () => {
  const results = await Promise.all([plugin.init(1, 'first', 'a'), plugin.init(2, 'second', 'b')]);
  assert.deepEqual(results, [0, 0].map((code) => ({ code, message: 'initialization successful' })));
  assert.deepEqual(sdk.names(), ['QCF_Custom', 'QCF_Init', 'QCF_Custom', 'QCF_Init']);
  const firsts = sdk.callsOf('QCF_Init').map((call) => call.args[1].readUInt32LE(0));
  assert.deepEqual(firsts.sort(), [1, 2]);
});

test('init and auth_pubkey refuse texts too long for their fields, before any SDK call', async () => {
  const cases = [
    [[1, 'u', 't'.repeat(32)], THIRD_TOO_LONG],
    [[1, 'u', '密'.repeat(11)], THIRD_TOO_LONG], // 33 bytes in 11 characters
    [[1, 'u', 't', 'h'.repeat(32)], FOURTH_TOO_LONG],
    [[1, 'u', 't'.repeat(40), 'h'.repeat(40), 80], THIRD_TOO_LONG],
  ];
  for (const method of ['init', 'auth_pubkey']) {
    for (const [args, message] of cases) {
      await assert.rejects(plugin[method](...args), (err) => {
        assert.deepEqual(err, { code: -1, message });
        return true;
      }, `${method} ${message}`);
    }
  }
  assert.deepEqual(sdk.calls(), []);
});

test('a refused call leaves the records as they were; only the fields are ever written', async () => {
  await plugin.init(1, 'x'.repeat(63), 't'.repeat(31), 'h'.repeat(31));
  await assert.rejects(plugin.init(9, 'y'.repeat(60), 'u'.repeat(20), 'k'.repeat(32)));
  await assert.rejects(plugin.auth_pubkey(9, 'y'.repeat(60), 'u'.repeat(32)));
  await plugin.init(2, 'ab', 'c', 'd');

  const [server, user] = sdk.callsOf('QCF_Init').at(-1).args;
  // Past each new text's NUL lie the bytes of the first call, not the refused ones.
  assert.equal(user.subarray(4, 68).toString('latin1'), `ab\0${'x'.repeat(60)}\0`);
  assert.equal(user.subarray(68, 100).toString('latin1'), `c\0${'t'.repeat(29)}\0`);
  assert.equal(server.subarray(64, 96).toString('latin1'), `d\0${'h'.repeat(29)}\0`);
});

test('init resolves with the SDK code and text when QCF_Init fails', async () => {
  sdk.script('QCF_Init', { code: -3 });
  assert.deepEqual(await plugin.init(1, 'u', 'd'), { code: -3, message: sdk.errorText(-3) });
  sdk.script('QCF_Init', { code: 5 });
  sdk.script('QCF_ErrMessage', { text: null });
  assert.deepEqual(await plugin.init(1, 'u', 'd'), { code: 5, message: '' });
  assert.deepEqual(sdk.names(), ['QCF_Custom', 'QCF_Init', 'QCF_ErrMessage', 'QCF_Custom', 'QCF_Init', 'QCF_ErrMessage']);
});

test('finish returns the QCF_Finish code and forgets the token, even when it fails', async () => {
  assert.equal(plugin.finish('ignored'), 0);
  for (const finishCode of [0, -2]) {
    await plugin.auth_pubkey(1, 'u', 'd');
    plugin.reFillKeySync('a', 1, 2);
    sdk.script('QCF_Finish', { code: finishCode });
    assert.equal(plugin.finish(), finishCode);
    plugin.reFillKeySync('a', 1, 2);
  }
  const tokens = sdk.callsOf('QCF_ReFillKey').map((call) => call.args[0]);
  assert.equal(typeof tokens[0], 'string');
  assert.deepEqual(tokens.map((token) => token === null), [false, true, false, true]);
});

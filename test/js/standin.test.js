'use strict';
// The stand-in libqcf and its control interface, driven through
// qcf_control.node alone.
const assert = require('node:assert/strict');
const { beforeEach, describe, test } = require('node:test');
const sdk = require('../helpers/sdk');

const { direct, CODES, DEFAULTS } = sdk;

function text(buffer) {
  const end = buffer.indexOf(0);
  return buffer.subarray(0, end < 0 ? buffer.length : end).toString('utf8');
}

function logMessages() {
  return direct.handled().map((h) => h.message);
}

beforeEach(() => {
  sdk.reset(true);
  direct.clearHandled();
});

describe('recording', () => {
  test('texts, numbers, records, null pointers and handles, in call order', () => {
    const item = Buffer.alloc(332, 0x5a);
    direct.QCF_Custom('键', null);
    direct.QCF_SetLogHandler(true);
    direct.QCF_SetExceptionHandler(false);
    direct.QCF_FillKey_WithPubkey('host', 4294967295, 2, '', item, 7);
    direct.QCF_CreateGroup('g', 1, -1, 't');
    direct.QCF_ReportSPMWithSignPubkey('a', 'b', -2);
    direct.QCF_ExportKey(null);

    const calls = sdk.calls();
    assert.deepEqual(
      calls.map((c) => [c.name, c.args]),
      [
        ['QCF_Custom', ['键', null]],
        ['QCF_SetLogHandler', [true]],
        ['QCF_SetExceptionHandler', [false]],
        ['QCF_FillKey_WithPubkey', ['host', 4294967295, 2, '', item, 7]],
        ['QCF_CreateGroup', ['g', 1, -1, 't', Buffer.alloc(64)]],
        ['QCF_ReportSPMWithSignPubkey', ['a', 'b', -2]],
        ['QCF_ExportKey', [false, true, true]],
      ],
    );
    assert.ok(calls.every((c) => c.thread === sdk.threadId()));
    assert.deepEqual(sdk.callsRaw()[0].args[0], Buffer.from('键'));
  });

  test('records are taken whole, as they were on entry', () => {
    const server = Buffer.alloc(112);
    server.write('kms.example', 64);
    server.writeUInt16LE(18000, 96);
    const user = Buffer.alloc(100, 1);
    const csp = Buffer.alloc(80, 2);
    direct.QCF_Init(server, user, csp);
    direct.QCF_GetSPMKeyInfo(Buffer.alloc(80, 3));
    assert.deepEqual(sdk.callsOf('QCF_Init')[0].args, [server, user, csp]);
    assert.deepEqual(sdk.callsOf('QCF_GetSPMKeyInfo')[0].args, [Buffer.alloc(80, 3), true]);
  });

  test('names() can leave out QCF_ErrMessage; reset forgets calls', () => {
    direct.QCF_Finish();
    direct.QCF_ErrMessage(1);
    assert.deepEqual(sdk.names(), ['QCF_Finish', 'QCF_ErrMessage']);
    assert.deepEqual(sdk.names({ skipErrMessage: true }), ['QCF_Finish']);
    sdk.reset();
    assert.deepEqual(sdk.names(), []);
  });
});

describe('scripts', () => {
  test('queue per function, used up by `times`; negative times never run out', () => {
    sdk.script('QCF_Init', { code: 5, times: 2 });
    sdk.script('QCF_Init', { code: -7 });
    sdk.script('QCF_PreActivate', { code: 3, times: -1 });
    const init = () => direct.QCF_Init(Buffer.alloc(112), Buffer.alloc(100), Buffer.alloc(80)).code;
    assert.deepEqual([init(), direct.QCF_Finish().code, init(), init(), init()], [5, 0, 5, -7, 0]);
    assert.deepEqual([1, 2, 3].map(() => direct.QCF_PreActivate().code), [3, 3, 3]);
    sdk.reset();
    assert.equal(direct.QCF_PreActivate().code, 0);
  });

  test('a code above 2^31 arrives as the same 32 bits', () => {
    sdk.script('QCF_Finish', { code: 0x80000001 });
    assert.equal(direct.QCF_Finish().code, -0x7fffffff);
  });

  const outputCases = [
    {
      name: 'login token and validity',
      script: ['QCF_Auth', { token: 'tok-A', number: 2 ** 31 }],
      call: () => direct.QCF_Auth(),
      expect: (r) => assert.deepEqual(r, { code: 0, token: 'tok-A', validSeconds: 2 ** 31 }),
    },
    {
      name: 'null token',
      script: ['QCF_Auth_pubkey_WithInfo', { token: null, code: 9 }],
      call: () => direct.QCF_Auth_pubkey_WithInfo(Buffer.alloc(112), Buffer.alloc(100)),
      expect: (r) => assert.deepEqual(r, { code: 9, token: null, validSeconds: 3600 }),
    },
    {
      name: 'SPM record bytes, no NUL added, nothing else written',
      script: ['QCF_GetSPMKeyInfo', { bytes: Buffer.alloc(128, 0x41) }],
      call: () => direct.QCF_GetSPMKeyInfo(Buffer.alloc(80)),
      expect: (r) => {
        assert.equal(r.code, 0);
        assert.deepEqual(r.info.subarray(0, 128), Buffer.alloc(128, 0x41));
        assert.deepEqual(r.info.subarray(128), Buffer.alloc(396 - 128));
      },
    },
    {
      name: 'SPM record longer than the record is cut at 396 bytes',
      script: ['QCF_GetSPMKeyInfo', { bytes: Buffer.alloc(500, 0x42) }],
      call: () => direct.QCF_GetSPMKeyInfo(Buffer.alloc(80)),
      expect: (r) => assert.equal(r.overrun, false),
    },
    {
      name: 'group id as given, cut at 64 bytes',
      script: ['QCF_CreateGroup', { bytes: 'x'.repeat(70), code: 4 }],
      call: () => direct.QCF_CreateGroup('a', 1, -1, 'b'),
      expect: (r) => {
        assert.deepEqual([r.code, r.groupId.toString(), r.overrun], [4, 'x'.repeat(64), false]);
      },
    },
    {
      name: 'key bytes with a length above the buffer',
      script: ['QCF_ExportKey', { bytes: Buffer.alloc(300, 0xab), number: 300 }],
      call: () => direct.QCF_ExportKey(null),
      expect: (r) => {
        assert.deepEqual([r.code, r.keyLen, r.overrun], [0, 300, false]);
        assert.deepEqual(r.key, Buffer.alloc(256, 0xab));
      },
    },
    {
      name: 'key bytes with a negative length',
      script: ['QCF_ExportKey', { bytes: Buffer.from([0x0a, 0xff, 0x00]), number: -5 }],
      call: () => direct.QCF_ExportKey(null),
      expect: (r) => {
        assert.deepEqual([r.code, r.keyLen], [0, -5]);
        assert.deepEqual(r.key.subarray(0, 4), Buffer.from([0x0a, 0xff, 0x00, 0x00]));
      },
    },
    {
      name: 'null key handle',
      script: ['QCF_ApplyKeyWithGroupID', { nullHandle: true }],
      call: () => direct.QCF_ApplyKeyWithGroupID('a', 'b'),
      expect: (r) => assert.deepEqual(r, { code: 0, handle: 0n }),
    },
    {
      name: 'error text, and null',
      script: ['QCF_ErrMessage', { text: '失败', times: 1 }],
      call: () => {
        sdk.script('QCF_ErrMessage', { text: null });
        return [direct.QCF_ErrMessage(1), direct.QCF_ErrMessage(1), direct.QCF_ErrMessage(1)];
      },
      expect: (r) => assert.deepEqual(r, ['失败', null, sdk.errorText(1)]),
    },
  ];
  for (const { name, script, call, expect } of outputCases) {
    test(`scripted output: ${name}`, () => {
      sdk.script(...script);
      expect(call());
    });
  }

  test('a code without outputs keeps the default outputs', () => {
    sdk.script('QCF_Auth', { code: 12 });
    assert.deepEqual(direct.QCF_Auth(), { code: 12, token: DEFAULTS.token, validSeconds: 3600 });
  });

  test('bad options are refused before anything is queued', () => {
    assert.throws(() => sdk.script('QCF_Nope', {}), TypeError);
    assert.throws(() => sdk.script('QCF_Finish', { code: 1, emit: [{ kind: 'loud' }] }), TypeError);
    assert.throws(() => sdk.script('QCF_Finish', { bytes: 5 }), TypeError);
    assert.equal(direct.QCF_Finish().code, 0);
  });
});

describe('handler calls', () => {
  test('inside a call, in order, on the calling thread or an own joined thread', () => {
    direct.QCF_SetLogHandler(true);
    direct.QCF_SetExceptionHandler(true);
    sdk.script('QCF_PreActivate', {
      emit: [
        { kind: 'log', message: 'first' },
        { kind: 'exception', value: 42, message: 'second', ownThread: true },
        { kind: 'log', message: null },
      ],
    });
    direct.QCF_PreActivate();
    const me = sdk.threadId();
    const handled = direct.handled();
    assert.deepEqual(
      handled.map((h) => [h.kind, h.value, h.message, h.thread === me]),
      [
        ['log', 0, 'first', true],
        ['exception', 42, 'second', false],
        ['log', 0, null, true],
        ['log', 0, 'QCF_PreActivate: ok', true],
      ],
    );
  });

  test('emitAsync calls from N threads of its own, `count` times each', () => {
    direct.QCF_SetLogHandler(true);
    sdk.emitAsync({ message: 'm', threads: 3, count: 4, wait: true });
    const handled = direct.handled();
    assert.equal(handled.length, 12);
    const threads = new Set(handled.map((h) => h.thread));
    assert.equal(threads.size, 3);
    assert.ok(!threads.has(sdk.threadId()));
  });

  test('without waiting, joinThreads waits; without a handler nothing arrives', () => {
    direct.QCF_SetExceptionHandler(true);
    sdk.emitAsync({ kind: 'exception', value: 3, message: 'x', threads: 2 });
    sdk.emitAsync({ kind: 'log', message: 'dropped', threads: 2 });
    sdk.joinThreads();
    assert.deepEqual(logMessages(), ['x', 'x']);
  });
});

describe('default answers', () => {
  test('a login token authorises refills until QCF_Finish; the next login gets a new one', () => {
    const first = direct.QCF_Auth();
    assert.deepEqual(first, { code: 0, token: DEFAULTS.token, validSeconds: DEFAULTS.validSeconds });
    assert.equal(direct.QCF_ReFillKey(first.token, 1, 2).code, 0);
    assert.equal(direct.QCF_ReFillKey(null, 1, 2).code, CODES.NOT_LOGGED_IN);
    direct.QCF_Finish();
    assert.equal(direct.QCF_ReFillKey(first.token, 1, 2).code, CODES.TOKEN_INVALID);
    const second = direct.QCF_Auth();
    assert.equal(second.token, 'standin-token-0002');
    assert.equal(direct.QCF_ReFillKey(second.token, 1, 2).code, 0);
  });

  test('a scripted token becomes the session token', () => {
    sdk.script('QCF_Auth', { token: 'tok-B' });
    direct.QCF_Auth();
    assert.equal(direct.QCF_ReFillKey('tok-B', 0, 0).code, 0);
    assert.equal(direct.QCF_ReFillKey(DEFAULTS.token, 0, 0).code, CODES.TOKEN_INVALID);
  });

  test('groups hand out handles whose keys export; unknown ones fail with own codes', () => {
    const a = direct.QCF_CreateGroup('app', 1, -1, 'x');
    const b = direct.QCF_CreateGroup('app', 1, -1, 'x');
    const idA = text(a.groupId);
    assert.deepEqual([a.code, idA, text(b.groupId)], [0, `${DEFAULTS.groupIdPrefix}0001`, `${DEFAULTS.groupIdPrefix}0002`]);

    const applied = direct.QCF_ApplyKeyWithGroupID('app', idA);
    assert.equal(applied.code, 0);
    assert.notEqual(applied.handle, 0n);
    const key = direct.QCF_ExportKey(applied.handle);
    assert.deepEqual([key.code, key.keyLen], [0, DEFAULTS.keyLength]);
    assert.deepEqual(direct.QCF_ExportKey(direct.QCF_ApplyKeyWithGroupID(idA, 'app').handle).key, key.key);

    assert.deepEqual(direct.QCF_ApplyKeyWithGroupID('app', 'nope'), { code: CODES.UNKNOWN_GROUP, handle: 0n });
    assert.equal(direct.QCF_ExportKey(null).code, CODES.INVALID_KEY_HANDLE);
    assert.equal(direct.QCF_ExportKey(0xdeadbeefn).code, CODES.INVALID_KEY_HANDLE);
  });

  test('SPM key information, version and error texts', () => {
    const { code, info } = direct.QCF_GetSPMKeyInfo(Buffer.alloc(80));
    assert.equal(code, 0);
    assert.deepEqual(
      {
        keyTag: text(info.subarray(0, 128)),
        keySource: text(info.subarray(128, 384)),
        totalKeySize: info.readUInt32LE(384),
        usedKeySize: info.readUInt32LE(388),
        keyBasePostion: info.readUInt32LE(392),
      },
      DEFAULTS.spm,
    );
    assert.equal(direct.QCF_GetSDKVersion(), DEFAULTS.version);
    const texts = Object.values(CODES).map((c) => direct.QCF_ErrMessage(c));
    assert.equal(new Set(texts).size, texts.length);
    assert.ok(texts.every((t) => !t.startsWith('unknown error code')));
    assert.equal(direct.QCF_ErrMessage(-3), 'unknown error code -3');
    assert.deepEqual(texts, Object.values(CODES).map(sdk.errorText));
  });

  const nullCases = [
    ['QCF_Custom', () => direct.QCF_Custom('k', null)],
    ['QCF_SetKeyFilePath', () => direct.QCF_SetKeyFilePath(null)],
    ['QCF_Init', () => direct.QCF_Init(Buffer.alloc(112), null, Buffer.alloc(80))],
    ['QCF_Auth', () => direct.QCF_Auth(false)],
    ['QCF_Auth_pubkey_WithInfo', () => direct.QCF_Auth_pubkey_WithInfo(null, Buffer.alloc(100))],
    ['QCF_FillKey_WithPubkey', () => direct.QCF_FillKey_WithPubkey('h', 1, 1, 't', Buffer.alloc(332), null)],
    ['QCF_GetSPMKeyInfo', () => direct.QCF_GetSPMKeyInfo(Buffer.alloc(80), false)],
    ['QCF_CreateGroup', () => direct.QCF_CreateGroup('a', 1, null, 'b', null)],
    ['QCF_ApplyKeyWithGroupID', () => direct.QCF_ApplyKeyWithGroupID('a', 'b', false)],
    ['QCF_ExportKey', () => direct.QCF_ExportKey(1n, false)],
    ['QCF_ReportSPMWithSignPubkey', () => direct.QCF_ReportSPMWithSignPubkey(null, 'b', 1)],
  ];
  for (const [name, call] of nullCases) {
    test(`${name} answers a null pointer with INVALID_ARGUMENT, even when outputs are scripted`, () => {
      sdk.script(name, { bytes: 'x', number: 1 });
      assert.equal(call().code, CODES.INVALID_ARGUMENT);
    });
  }
});

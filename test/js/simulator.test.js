'use strict';
// The stand-in in simulator mode, driven through the add-on as an application
// drives it: order of use, refusals with their codes, soft key files, the
// security module's counters, groups, log lines and faults of its own.
//
// The add-on prints console lines, so each scenario runs in a child process
// (inSimulator) and hands back what it saw; the assertions are made here.
const assert = require('node:assert/strict');
const { describe, test } = require('node:test');
const sdk = require('../helpers/sdk');
const { runChild } = require('../helpers/session_child');

const { CODES } = sdk;
const SESSION = require.resolve('../helpers/simulator');
const DEFAULT_SERVER = 'keyserver.varnkt.local:18000';

// Runs `scenario(sim, env, ...args)` in a child on a fresh simulator session
// (helpers/simulator.js) in a fresh directory; env holds plugin, sdk,
// VarnKtPlugin, fs, path and logLines. Returns what the scenario returns.
function inSimulator(scenario, ...args) {
  return runChild(`
    const sim = require(${JSON.stringify(SESSION)})(plugin, sdk, process.cwd());
    const env = { plugin, sdk, VarnKtPlugin, fs, path: require('node:path'), logLines };
    return (${scenario})(sim, env, ...${JSON.stringify(args)});`).value;
}

describe('order of use', () => {
  test('calls out of order are refused with codes of their own', () => {
    const cases = [
      // [label, steps before, the step, its code, codes of the steps before (0s)]
      ['init before pre-activation', [['setKeyFilePath', '$keyFile']], 'init', CODES.NOT_ACTIVATED],
      ['auth before init', ['preActivate'], 'auth', CODES.NOT_INITIALISED],
      ['auth_pubkey before init', ['preActivate'], 'login', CODES.NOT_INITIALISED],
      ['getSPMKeyInfo before init', ['preActivate'], 'spmInfo', CODES.NOT_INITIALISED],
      ['finish before init', ['preActivate'], 'finish', CODES.NOT_INITIALISED],
      ['fillKey before a login', ['preActivate', 'init'], 'fill', CODES.NOT_LOGGED_IN],
      ['reFillKey before a login', ['preActivate', 'init'], 'refill', CODES.NOT_LOGGED_IN],
      ['createGroup before a login', ['preActivate', 'init'], 'createGroup', CODES.NOT_LOGGED_IN],
      ['report before a login', ['preActivate', 'init'], 'report', CODES.NOT_LOGGED_IN],
      ['reFillKey after finish', ['preActivate', 'init', 'login', 'finish'], 'refill', CODES.NOT_INITIALISED],
      ['init again after finish', ['preActivate', 'init', 'login', 'finish'], 'init', 0],
      ['a whole session', ['preActivate', 'init', 'auth', 'refill', 'spmInfo', 'createGroup', 'report'], 'finish', 0],
      ['init with an empty host', ['preActivate'], ['init', 1, 'u', 'd', '', 18000], CODES.BAD_SERVER],
      ['init with port 0', ['preActivate'], ['init', 1, 'u', 'd', 'host', 0], CODES.BAD_SERVER],
      ['init with port 65536, 0 in 16 bits', ['preActivate'], ['init', 1, 'u', 'd', 'host', 65536], CODES.BAD_SERVER],
      ['auth_pubkey to port 0', ['preActivate', 'init'], ['auth_pubkey', 1, 'u', 'd', 'host', 0], CODES.BAD_SERVER],
      ['init after an empty key file path', ['preActivate', ['setKeyFilePath', '']], 'init', CODES.NO_KEY_FILE, [0, CODES.NO_KEY_FILE]],
    ];
    const seen = inSimulator(async (sim, env, rows) => {
      const out = [];
      for (const [label, before, step] of rows) {
        sim.restart();
        out.push([label, await sim.codes(...before, step)]);
      }
      return out;
    }, cases);
    assert.deepEqual(
      seen,
      cases.map(([label, before, , code, codesBefore = before.map(() => 0)]) => [label, [...codesBefore, code]]),
    );
  });

  test('a refill takes only the current login, within its lifetime', () => {
    const seen = inSimulator(async (sim, { plugin, sdk }) => {
      await sim.loggedIn();
      const { token: first } = await plugin.auth();
      const second = await plugin.auth();
      const codes = {
        formerToken: sdk.direct.QCF_ReFillKey(first, 1, 32).code,
        nullToken: sdk.direct.QCF_ReFillKey(null, 1, 32).code,
        currentToken: sdk.direct.QCF_ReFillKey(second.token, 1, 32).code,
        throughTheAddOn: sim.codeOf(plugin.reFillKeySync('', 1, 32)),
      };
      plugin.setCustomConfig('tokenValidSeconds', '0');
      const lapsed = await plugin.auth();
      return {
        ...codes,
        lifetime: [second.tokenValidSeconds, lapsed.tokenValidSeconds],
        lapsed: await sim.codes('refill', 'createGroup', 'fill', 'report'),
      };
    });
    assert.deepEqual(seen, {
      formerToken: CODES.TOKEN_INVALID,
      nullToken: CODES.NOT_LOGGED_IN,
      currentToken: 0,
      throughTheAddOn: 0,
      lifetime: [3600, 0],
      lapsed: Array(4).fill(CODES.TOKEN_EXPIRED),
    });
  });
});

describe('filling', () => {
  test('refusals, each with its own code, leave no file and no count behind', () => {
    const cases = [
      [{ item: { keyLen: 0 } }, CODES.KEY_LEN_ZERO],
      [{ item: { keyLen: 257 } }, CODES.KEY_LEN_TOO_LARGE],
      [{ item: { softkeyPath: '$dir/missing/soft.key' } }, CODES.SOFT_KEY_DIR_MISSING],
      [{ item: { softkeyPath: '$dir/a-directory' } }, CODES.SOFT_KEY_PATH_INVALID],
      [{ item: { softkeyPath: '' } }, CODES.SOFT_KEY_PATH_INVALID],
      [{ item: { softkeyPath: '$dir/taken.key' } }, CODES.SOFT_KEY_EXISTS],
      [{ serverAddr: '' }, CODES.BAD_SERVER],
      [{ port: 0 }, CODES.BAD_SERVER],
    ];
    const seen = inSimulator(async (sim, { plugin, sdk, fs }, rows) => {
      await sim.loggedIn();
      fs.writeFileSync(sim.file('taken.key'), 'mine');
      fs.mkdirSync(sim.file('a-directory'));
      const codes = [];
      for (const [params] of rows) {
        const path = params.item && params.item.softkeyPath;
        if (path) params.item.softkeyPath = path.replace('$dir/', sim.dir + '/');
        codes.push([sim.codeOf(await plugin.fillKey(sim.fillParams(params))), plugin.fillKeySync(sim.fillParams(params))]);
      }
      // The add-on always sends the default PIN; a direct call sends another.
      const item = Buffer.alloc(332);
      item.write('app', 0);
      item.writeUInt32LE(32, 32);
      item.write(sim.file('soft.key'), 36);
      item.write('40615237', 292);
      item.write('12345678', 312);
      return {
        codes,
        wrongPin: sdk.direct.QCF_FillKey_WithPubkey('127.0.0.1', 18000, 1, 'h', item, 0).code,
        taken: fs.readFileSync(sim.file('taken.key'), 'utf8'),
        files: fs.readdirSync(sim.dir).filter((name) => name !== 'log.txt').sort(),
        total: (await plugin.getSPMKeyInfo('spm', 'query')).totalKeySize,
      };
    }, cases);
    assert.deepEqual(seen, {
      codes: cases.map(([, code]) => [code, code]),
      wrongPin: CODES.WRONG_PIN,
      taken: 'mine',
      files: ['a-directory', 'keys.store', 'keys.store.lock', 'taken.key'],
      total: 0,
    });
  });

  test('a soft key file names its application and holds keyLen fresh bytes', () => {
    const files = inSimulator(async (sim, { plugin, fs }) => {
      await sim.loggedIn();
      const fill = (name, appName, keyLen, overWriteFlag = 0) =>
        plugin.fillKey(sim.fillParams({ serverAddr: 'kms.example', port: 9000, overWriteFlag, item: { appName, keyLen, softkeyPath: sim.file(name) } }));
      const read = (name) => fs.readFileSync(sim.file(name)).toString('base64');
      const codes = [await fill('one.key', 'demo-app', 48), await fill('two.key', 'my app %', 48)].map(sim.codeOf);
      const before = [read('one.key'), read('two.key')];
      plugin.setCustomConfig('keyTemporaryCapacity', '512');
      codes.push(sim.codeOf(await fill('one.key', 'demo-app', 300, 1)));
      return { codes, files: [...before, read('one.key')] };
    });
    assert.deepEqual(files.codes, [0, 0, 0]);
    const [one, two, replaced] = files.files.map((file, i) => {
      const [app, length] = [['demo-app', 48], ['my%20app%20%25', 48], ['demo-app', 300]][i];
      const bytes = Buffer.from(file, 'base64');
      const head = `QCF-STANDIN-SOFTKEY 1\napp ${app}\nserver kms.example:9000\nlength ${length}\n\n`;
      assert.equal(bytes.subarray(0, head.length).toString('latin1'), head);
      assert.equal(bytes.length, head.length + length);
      return bytes.subarray(head.length);
    });
    assert.notDeepEqual(one, two);
    assert.notDeepEqual(replaced.subarray(0, 48), one);
  });
});

describe('the security module', () => {
  test('counters move with fills, refills and group keys; tag and source are reported', () => {
    const after = (source, counts) => ({ source, counts });
    const moves = [
      // [step, its code, what getSPMKeyInfo reports then: source, [total, used, base]]
      [['fillKey', { item: { keyLen: 64 } }], 0, after('127.0.0.1:18000', [64, 0, 0])],
      [['fillKey', { serverAddr: 'kms.example', port: 9000, item: { keyLen: 100, softkeyPath: 'b.key' } }], 0, after('kms.example:9000', [164, 0, 64])],
      [['reFillKey', '', 3, 10], 0, after(DEFAULT_SERVER, [194, 0, 164])],
      [['createGroup', 'g', 40, 'n'], 0, after(DEFAULT_SERVER, [194, 40, 164])],
      [['createGroup', 'g', 0, 'n'], 0, after(DEFAULT_SERVER, [194, 72, 164])],
      [['createGroup', 'g', 200, 'n'], CODES.SPM_EXHAUSTED, after(DEFAULT_SERVER, [194, 72, 164])],
      [['createGroup', 'g', 257, 'n'], CODES.KEY_LEN_TOO_LARGE, after(DEFAULT_SERVER, [194, 72, 164])],
      [['reFillKey', '', 0, 10], CODES.REFILL_AMOUNT_INVALID, after(DEFAULT_SERVER, [194, 72, 164])],
      [['reFillKey', '', 1025, 10], CODES.REFILL_AMOUNT_INVALID, after(DEFAULT_SERVER, [194, 72, 164])],
      [['reFillKey', '', 1, 0], CODES.REFILL_AMOUNT_INVALID, after(DEFAULT_SERVER, [194, 72, 164])],
      [['reFillKey', '', 1, 257], CODES.KEY_LEN_TOO_LARGE, after(DEFAULT_SERVER, [194, 72, 164])],
    ];
    const seen = inSimulator(async (sim, { plugin }, rows) => {
      await sim.loggedIn();
      const report = async () => {
        const info = await plugin.getSPMKeyInfo('spm', 'query');
        return { tag: info.keyTag, source: info.keySource, counts: [info.totalKeySize, info.usedKeySize, info.keyBasePostion] };
      };
      const out = [await report()];
      for (const [[method, ...args]] of rows) {
        if (method === 'fillKey') {
          const { item = {} } = args[0];
          if (item.softkeyPath) item.softkeyPath = sim.file(item.softkeyPath);
          args[0] = sim.fillParams(args[0]);
        }
        out.push({ code: sim.codeOf(await plugin[method](...args)), ...(await report()) });
      }
      return out;
    }, moves);
    const [start, ...rest] = seen;
    assert.match(start.tag, /^SPM-[0-9A-F]{8}$/);
    assert.deepEqual(start, { tag: start.tag, source: 'none', counts: [0, 0, 0] });
    assert.deepEqual(rest, moves.map(([, code, state]) => ({ code, tag: start.tag, ...state })));
  });

  test('group ids are unique; every instance, and later sessions, get the same key', () => {
    const seen = inSimulator(async (sim, { plugin, VarnKtPlugin }) => {
      await sim.loggedIn();
      plugin.reFillKeySync('', 2, 256);
      const a = await plugin.createGroup('group', 0, 'note');
      const b = await plugin.createGroup('group', 16, 'note');
      const keys = [
        await plugin.applyKeyWithGroupID(a.groupId, 'me'),
        await new VarnKtPlugin().applyKeyWithGroupID(a.groupId, 'other'),
        await new VarnKtPlugin().applyKeyWithGroupID('me', b.groupId),
      ].map((r) => r.groupKey);
      await sim.codes('finish', 'init', 'login');
      keys.push((await plugin.applyKeyWithGroupID(a.groupId, 'me')).groupKey);
      return { ids: [a.groupId, b.groupId], keys, unknown: await plugin.applyKeyWithGroupID('GRP-unknown', 'me') };
    });
    assert.notEqual(seen.ids[0], seen.ids[1]);
    assert.match(seen.ids[0], /^GRP-[0-9A-F]{16}$/);
    const [keyA, sameA, keyB, laterA] = seen.keys;
    assert.match(keyA, /^[0-9A-F]{64}$/);
    assert.match(keyB, /^[0-9A-F]{32}$/);
    assert.deepEqual([sameA, laterA], [keyA, keyA]);
    assert.deepEqual(seen.unknown, { code: CODES.INVALID_KEY_HANDLE, message: sdk.errorText(CODES.INVALID_KEY_HANDLE), groupKey: '' });
  });
});

describe('log lines and faults', () => {
  test('one log line per call while "logLevel" is 1; none at 0; text look-ups too at 2', () => {
    const seen = inSimulator(async (sim, { plugin }) => {
      const lines = [];
      plugin.setLogCallback((line) => lines.push(line));
      await sim.loggedIn();
      const out = { session: lines.slice(), keyFile: sim.keyFile };
      for (const level of ['0', '1', '2']) {
        plugin.setCustomConfig('logLevel', level);
        lines.length = 0;
        sim.codeOf(plugin.reFillKeySync('', 0, 1));
        out[level] = lines.slice();
      }
      return out;
    });
    const failed = `QCF_ReFillKey: error 0x0A000037: ${sdk.errorText(CODES.REFILL_AMOUNT_INVALID)}`;
    assert.deepEqual(seen.session.slice(-4), [
      `QCF_SetKeyFilePath: ok (${seen.keyFile})`,
      'QCF_Custom: ok (useInputCspInfo=true)',
      `QCF_Init: ok (server ${DEFAULT_SERVER}, key file ${seen.keyFile})`,
      `QCF_Auth_pubkey_WithInfo: ok (logged in to ${DEFAULT_SERVER}, token valid for 3600 s)`,
    ]);
    assert.deepEqual([seen[0], seen[1], seen[2]], [[], [failed], [failed, `QCF_ErrMessage: ok (${CODES.REFILL_AMOUNT_INVALID})`]]);
  });

  test('a damaged key file is refused, reported to the exception handler and kept', () => {
    const seen = inSimulator(async (sim, { plugin, fs }) => {
      await sim.loggedIn();
      plugin.reFillKeySync('', 1, 32);
      const good = fs.readFileSync(sim.keyFile);
      const damages = {
        'not a key store': Buffer.from('hello\n'),
        'cut short': good.subarray(0, good.length - 3),
        'a changed byte': Buffer.from(good.toString('latin1').replace('counters 32', 'counters 99'), 'latin1'),
        'bytes after the end': Buffer.concat([good, Buffer.from('group X 00  \n')]),
      };
      const out = {};
      for (const [label, bytes] of Object.entries(damages)) {
        fs.writeFileSync(sim.keyFile, bytes);
        fs.rmSync('log.txt', { force: true });
        out[label] = {
          code: sim.codeOf(await plugin.getSPMKeyInfo('spm', 'query')),
          kept: fs.readFileSync(sim.keyFile).equals(bytes),
          reported: /QCF_GetSPMKeyInfo: key file .* is damaged/.test(fs.readFileSync('log.txt', 'utf8')),
        };
      }
      plugin.setKeyFilePath(sim.file('missing/keys.store'));
      out.unwritable = sim.codeOf(await plugin.init(1, 'user', 'device'));
      return out;
    });
    const damaged = { code: CODES.KEY_STORE_UNREADABLE, kept: true, reported: true };
    assert.deepEqual(seen, {
      'not a key store': damaged,
      'cut short': damaged,
      'a changed byte': damaged,
      'bytes after the end': damaged,
      unwritable: CODES.KEY_STORE_UNWRITABLE,
    });
  });

  test('a scripted code answers in the simulator\'s place and changes nothing', () => {
    const seen = inSimulator(async (sim, { plugin, sdk }) => {
      await sim.loggedIn();
      plugin.reFillKeySync('', 1, 64);
      sdk.script('QCF_CreateGroup', { code: -7 });
      sdk.script('QCF_FillKey_WithPubkey', { code: 0 });
      return {
        group: await plugin.createGroup('group', 0, 'note'),
        fill: await plugin.fillKey(sim.fillParams()),
        softKeyWritten: require('node:fs').existsSync(sim.file('soft.key')),
        info: await plugin.getSPMKeyInfo('spm', 'query'),
      };
    });
    assert.deepEqual(seen.group, { code: -7, message: sdk.errorText(-7), groupId: '' });
    assert.deepEqual(seen.fill, { code: 0, message: 'Fill key successful' });
    assert.equal(seen.softKeyWritten, false);
    assert.deepEqual([seen.info.totalKeySize, seen.info.usedKeySize], [64, 0]);
  });

  test('whatever it is handed, it answers with a code', () => {
    const codes = inSimulator(async (sim, { sdk }) => {
      await sim.loggedIn();
      const { direct } = sdk;
      const unterminated = (size) => Buffer.alloc(size, 0x41);
      return [
        direct.QCF_Init(null, null, null),
        direct.QCF_Init(unterminated(112), unterminated(100), unterminated(80)),
        direct.QCF_Auth(false),
        direct.QCF_FillKey_WithPubkey('a', 1, 1, 'h', unterminated(332), 0),
        direct.QCF_FillKey_WithPubkey(null, 1, 1, null, null, null),
        direct.QCF_GetSPMKeyInfo(unterminated(80), false),
        direct.QCF_CreateGroup(null, 1, null, null, null),
        direct.QCF_ApplyKeyWithGroupID(null, null, false),
        direct.QCF_ApplyKeyWithGroupID(null, null),
        direct.QCF_ExportKey(0xdeadbeefn),
        direct.QCF_ExportKey(null, false),
        direct.QCF_ReportSPMWithSignPubkey('', null, 1),
        direct.QCF_Custom(null, 'v'),
        direct.QCF_ReFillKey('tok', 4294967295, 4294967295),
      ].map((r) => r.code);
    });
    assert.deepEqual(codes, [
      CODES.INVALID_ARGUMENT,
      CODES.WRONG_PIN, // a 32-byte host without a NUL is taken whole
      CODES.INVALID_ARGUMENT,
      CODES.WRONG_PIN,
      CODES.INVALID_ARGUMENT,
      CODES.INVALID_ARGUMENT,
      CODES.INVALID_ARGUMENT,
      CODES.INVALID_ARGUMENT,
      CODES.UNKNOWN_GROUP,
      CODES.INVALID_KEY_HANDLE,
      CODES.INVALID_ARGUMENT,
      CODES.INVALID_ARGUMENT,
      CODES.INVALID_ARGUMENT,
      CODES.TOKEN_INVALID,
    ]);
  });
});

'use strict';
// The stand-in in simulator mode, driven through the add-on. The add-on prints
// console lines, so each scenario runs in a child process.
const assert = require('node:assert/strict');
const { test } = require('node:test');
const sdk = require('../helpers/sdk');
const { runChild } = require('../helpers/session_child');

const { CODES } = sdk;
const SERVER = 'keyserver.varnkt.local:18000';

// A fresh simulator session in the child's fresh directory, the current one.
function simulatorSession(plugin, sdk) {
  const assert = require('node:assert/strict');
  // A code; a failure's message must be the simulator's text for it.
  const codeOf = (result) => {
    if (typeof result === 'number') return result;
    if (result.code !== 0) assert.equal(result.message, sdk.errorText(result.code));
    return result.code;
  };
  const fillParams = ({ item = {}, ...top } = {}) => ({
    serverAddr: '127.0.0.1', port: 18000, serverType: 1, userTokenHandle: 'handle', overWriteFlag: 0, ...top,
    fillkeyItem: { appName: 'app', keyLen: 32, softkeyPath: 'soft.key', ...item },
  });
  const STEPS = {
    preActivate: ['preActivate', 'keys.store'], init: ['init', 1, 'user', 'device'], login: ['auth_pubkey', 1, 'user', 'device'],
    auth: ['auth'], finish: ['finish'], fill: ['fillKey', fillParams()], refill: ['reFillKeySync', '', 1, 32],
    spmInfo: ['getSPMKeyInfo', 'spm', 'query'], createGroup: ['createGroup', 'group', 0, 'note'],
    report: ['reportSPMWithSignPubkey', 'spm', 'public key', 0],
  };
  // Each step: a name of STEPS or [method, ...arguments].
  const codes = async (...steps) => {
    const out = [];
    for (const step of steps) {
      const [method, ...args] = typeof step === 'string' ? STEPS[step] : step;
      out.push(codeOf(await plugin[method](...args)));
    }
    return out;
  };
  const loggedIn = async () => assert.deepEqual(await codes('preActivate', 'init', 'login'), [0, 0, 0]);
  const restart = () => sdk.reset({ simulate: true });
  restart();
  return { codeOf, fillParams, codes, loggedIn, restart };
}

// Runs `scenario(sim, env, ...args)` in a child; returns what it returns.
function inSimulator(scenario, ...args) {
  return runChild(`
    const sim = (${simulatorSession})(plugin, sdk);
    return (${scenario})(sim, { plugin, sdk, VarnKtPlugin, fs }, ...${JSON.stringify(args)});`).value;
}

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
  const seen = inSimulator(async (sim, env, rows) => {
    const out = [];
    for (const [label, before, step] of rows) {
      sim.restart();
      out.push([label, await sim.codes(...before, step)]);
    }
    return out;
  }, cases);
  assert.deepEqual(seen, cases.map(([label, before, , code, codesBefore = before.map(() => 0)]) => [label, [...codesBefore, code]]));
});

test('a refill takes only the current login, within its lifetime', () => {
  const seen = inSimulator(async (sim, { plugin, sdk }) => {
    await sim.loggedIn();
    const { token: first } = await plugin.auth();
    const second = await plugin.auth();
    const codes = [first, null, second.token].map((token) => sdk.direct.QCF_ReFillKey(token, 1, 32).code);
    codes.push(sim.codeOf(plugin.reFillKeySync('', 1, 32)));
    plugin.setCustomConfig('tokenValidSeconds', '0');
    const lapsed = await plugin.auth();
    return [codes, second.tokenValidSeconds, lapsed.tokenValidSeconds, await sim.codes('refill', 'createGroup', 'fill', 'report')];
  });
  assert.deepEqual(seen, [[CODES.TOKEN_INVALID, CODES.NOT_LOGGED_IN, 0, 0], 3600, 0, Array(4).fill(CODES.TOKEN_EXPIRED)]);
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
  const seen = inSimulator(async (sim, { plugin, fs }, rows) => {
    await sim.loggedIn();
    fs.writeFileSync('taken.key', 'mine');
    fs.mkdirSync('a-directory');
    const refused = [];
    for (const [params] of rows) refused.push([sim.codeOf(await plugin.fillKey(sim.fillParams(params))), plugin.fillKeySync(sim.fillParams(params))]);
    const left = [fs.readFileSync('taken.key', 'utf8'), fs.readdirSync('.').sort(), (await plugin.getSPMKeyInfo('spm', 'query')).totalKeySize];
    const fill = (name, appName, keyLen, overWriteFlag = 0) => plugin.fillKey(sim.fillParams({
      serverAddr: 'kms.example', port: 9000, overWriteFlag, item: { appName, keyLen, softkeyPath: name },
    })).then(sim.codeOf);
    const read = (name) => fs.readFileSync(name).toString('base64');
    const codes = [await fill('one.key', 'demo-app', 48), await fill('two.key', 'my app %', 48)];
    const files = [read('one.key'), read('two.key')];
    plugin.setCustomConfig('keyTemporaryCapacity', '512');
    codes.push(await fill('one.key', 'demo-app', 300, 1));
    return { refused, left, codes, files: [...files, read('one.key')] };
  }, refusals);
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
  const seen = inSimulator(async (sim, { plugin }, rows) => {
    await sim.loggedIn();
    const report = () => plugin.getSPMKeyInfo('spm', 'query').then((i) => [i.keyTag, i.keySource, [i.totalKeySize, i.usedKeySize, i.keyBasePostion]]);
    const out = [await report()];
    for (const [method, args] of rows) {
      out.push([sim.codeOf(await plugin[method](...(method === 'fillKey' ? [sim.fillParams(args)] : args))), ...(await report())]);
    }
    return out;
  }, moves);
  const [[tag, ...start], ...rest] = seen;
  assert.match(tag, /^SPM-[0-9A-F]{8}$/);
  assert.deepEqual(start, ['none', [0, 0, 0]]);
  assert.deepEqual(rest, moves.map(([, , code, state]) => [code, tag, ...state]));
});

test('group ids are unique; every instance, and later sessions, get the same key', () => {
  const seen = inSimulator(async (sim, { plugin, VarnKtPlugin }) => {
    await sim.loggedIn();
    plugin.reFillKeySync('', 2, 256);
    const [a, b] = [(await plugin.createGroup('group', 0, 'note')).groupId, (await plugin.createGroup('group', 16, 'note')).groupId];
    const other = new VarnKtPlugin();
    const keys = [await plugin.applyKeyWithGroupID(a, 'me'), await other.applyKeyWithGroupID(a, 'other'), await other.applyKeyWithGroupID('me', b)];
    await sim.codes('finish', 'init', 'login');
    keys.push(await plugin.applyKeyWithGroupID(a, 'me'));
    return { ids: [a, b], keys: keys.map((r) => r.groupKey) };
  });
  const [keyA, sameA, keyB, laterA] = seen.keys;
  assert.notEqual(seen.ids[0], seen.ids[1]);
  assert.match(seen.ids[0], /^GRP-[0-9A-F]{16}$/);
  assert.match(keyA, /^[0-9A-F]{64}$/);
  assert.match(keyB, /^[0-9A-F]{32}$/);
  assert.deepEqual([sameA, laterA], [keyA, keyA]);
});

test('a damaged key file is refused, reported to the exception handler and kept', () => {
  const seen = inSimulator(async (sim, { plugin, fs }) => {
    await sim.loggedIn();
    plugin.reFillKeySync('', 1, 32);
    const good = fs.readFileSync('keys.store', 'latin1');
    const out = [];
    for (const damaged of ['hello\n', good.slice(0, -3), good.replace('counters 32', 'counters 99'), `${good}group X 00  \n`]) {
      fs.writeFileSync('keys.store', damaged, 'latin1');
      fs.rmSync('log.txt', { force: true });
      const code = sim.codeOf(await plugin.getSPMKeyInfo('spm', 'query'));
      const reported = /QCF_GetSPMKeyInfo: key file .* is damaged/.test(fs.readFileSync('log.txt', 'utf8'));
      out.push([code, fs.readFileSync('keys.store', 'latin1') === damaged, reported]);
    }
    plugin.setKeyFilePath('missing/keys.store');
    return [...out, sim.codeOf(await plugin.init(1, 'user', 'device'))];
  });
  assert.deepEqual(seen, [...Array(4).fill([CODES.KEY_STORE_UNREADABLE, true, true]), CODES.KEY_STORE_UNWRITABLE]);
});

test('a scripted code answers in the simulator\'s place and changes nothing', () => {
  const seen = inSimulator(async (sim, { plugin, sdk, fs }) => {
    await sim.loggedIn();
    plugin.reFillKeySync('', 1, 64);
    sdk.script('QCF_CreateGroup', { code: -7 });
    sdk.script('QCF_FillKey_WithPubkey', { code: 0 });
    const group = await plugin.createGroup('group', 0, 'note');
    const fill = await plugin.fillKey(sim.fillParams());
    const info = await plugin.getSPMKeyInfo('spm', 'query');
    return [group, fill, fs.existsSync('soft.key'), info.totalKeySize, info.usedKeySize];
  });
  assert.deepEqual(seen, [{ code: -7, message: sdk.errorText(-7), groupId: '' }, { code: 0, message: 'Fill key successful' }, false, 64, 0]);
});

test('records without a NUL are taken whole, and null texts name no group', () => {
  // Null pointers: standin.test.js.
  const codes = inSimulator(async (sim, { sdk: { direct } }) => {
    await sim.loggedIn();
    const unterminated = (size) => Buffer.alloc(size, 0x41); // a host filling its 32 bytes, a wrong PIN
    const init = direct.QCF_Init(unterminated(112), unterminated(100), unterminated(80));
    return [init, direct.QCF_FillKey_WithPubkey('a', 1, 1, 'h', unterminated(332), 0), direct.QCF_ApplyKeyWithGroupID(null, null)].map((r) => r.code);
  });
  assert.deepEqual(codes, [CODES.WRONG_PIN, CODES.WRONG_PIN, CODES.UNKNOWN_GROUP]);
});

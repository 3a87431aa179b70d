'use strict';
// Another libqcf, built only from the SDK's declarations (test/probe_sdk),
// put in place of the stand-in: every call of the add-on must reach it. The
// probe notes the name of each call it receives in the file PROBE_QCF_LOG.
//
// This exercises every method that reaches the SDK, the asynchronous ones
// through their completions, so it fails while any of them is still a stub.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { preload } = require('../helpers/preload');

const ROOT = path.resolve(__dirname, '..', '..');
const BUILD_DIR = path.resolve(ROOT, process.env.VARN_BUILD_DIR || 'build');
const PROBE_DIR = path.join(BUILD_DIR, 'probe_sdk');
const PROBE_LIB = path.join(PROBE_DIR, 'libqcf.so');
const STANDIN_LIB = path.join(BUILD_DIR, 'Release', 'libqcf.so');

const dirs = [];
process.on('exit', () => {
  for (const dir of dirs) fs.rmSync(dir, { recursive: true, force: true });
});

// The SDK functions each call is to reach, given a libqcf that answers 0.
const EXPECTED = {
  preActivate: [
    'QCF_SetExceptionHandler',
    'QCF_SetLogHandler',
    'QCF_Custom',
    'QCF_PreActivate',
    'QCF_SetKeyFilePath',
  ],
  setKeyFilePath: ['QCF_SetKeyFilePath'],
  setCustomConfig: ['QCF_Custom'],
  setLogCallback: [],
  setEventCallback: [],
  hello: [],
  init: ['QCF_Custom', 'QCF_Init'],
  auth: ['QCF_Auth'],
  auth_pubkey: ['QCF_Auth_pubkey_WithInfo'],
  fillKey: ['QCF_FillKey_WithPubkey'],
  fillKeySync: ['QCF_FillKey_WithPubkey'],
  getSPMKeyInfo: ['QCF_GetSPMKeyInfo'],
  reFillKey: ['QCF_ReFillKey'],
  reFillKeySync: ['QCF_ReFillKey'],
  createGroup: ['QCF_CreateGroup'],
  applyKeyWithGroupID: ['QCF_ApplyKeyWithGroupID', 'QCF_ExportKey'],
  reportSPMWithSignPubkey: ['QCF_ReportSPMWithSignPubkey'],
  finish: ['QCF_Finish'],
};

// Runs in the child: each method once, in a plausible order, each preceded
// by a marker line in the probe's log; the results go to result.json.
const CHILD = `
const fs = require('node:fs');
const { VarnKtPlugin } = require(process.env.VARN_PACKAGE_ROOT);
const log = process.env.PROBE_QCF_LOG;
const plugin = new VarnKtPlugin();
const fillParams = {
  serverAddr: '127.0.0.1', port: 18000, serverType: 1, userTokenHandle: 'handle',
  overWriteFlag: 0, fillkeyItem: { appName: 'app', keyLen: 32, softkeyPath: 'soft.key' },
};
const steps = [
  ['preActivate', ['probe.key']],
  ['setKeyFilePath', ['probe.key']],
  ['setCustomConfig', ['logLevel', '1']],
  ['setLogCallback', [() => {}]],
  ['setEventCallback', ['onCaptureError', () => {}]],
  ['hello', ['abc']],
  ['init', [1, 'user', 'name']],
  ['auth', []],
  ['auth_pubkey', [1, 'user', 'name']],
  ['fillKey', [fillParams]],
  ['fillKeySync', [fillParams]],
  ['getSPMKeyInfo', ['tag', 'source']],
  ['reFillKey', ['token', 1, 2]],
  ['reFillKeySync', ['token', 1, 2]],
  ['createGroup', ['group', 1, 'third']],
  ['applyKeyWithGroupID', ['group', 'second']],
  ['reportSPMWithSignPubkey', ['first', 'second', 1]],
  ['finish', []],
];
const within = (promise) => Promise.race([promise,
  new Promise((_, reject) => setTimeout(() => reject(new Error('not settled')), 10000).unref())]);
(async () => {
  const results = {};
  for (const [method, args] of steps) {
    fs.appendFileSync(log, '== ' + method + '\\n');
    try {
      let value = plugin[method](...args);
      if (value instanceof Promise) value = await within(value);
      results[method] = { value };
    } catch (err) {
      results[method] = { error: String(err && err.message !== undefined ? err.message : JSON.stringify(err)) };
    }
  }
  const maps = fs.readFileSync('/proc/self/maps', 'utf8');
  results.loaded = { probe: maps.includes(process.env.PROBE_LIB), standin: maps.includes(process.env.STANDIN_LIB) };
  fs.writeFileSync('result.json', JSON.stringify(results));
  process.exit(0);
})();
`;

// Runs CHILD with `env` and returns [calls per method, results].
function runChild(env) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'varn-probe-'));
  dirs.push(dir);
  const logPath = path.join(dir, 'probe_calls.txt');
  fs.writeFileSync(logPath, '');
  const child = spawnSync(process.execPath, ['-e', CHILD], {
    cwd: dir,
    env: {
      ...process.env,
      ...env,
      VARN_PACKAGE_ROOT: ROOT,
      PROBE_QCF_LOG: logPath,
      PROBE_LIB,
      STANDIN_LIB,
    },
    encoding: 'utf8',
    timeout: 120000,
  });
  assert.equal(child.status, 0, `child failed: ${child.stderr}`);
  const perMethod = {};
  let current = null;
  for (const line of fs.readFileSync(logPath, 'utf8').split('\n').filter(Boolean)) {
    if (line.startsWith('== ')) {
      current = line.slice(3);
      perMethod[current] = [];
    } else {
      assert.ok(current, `${line} before any method`);
      perMethod[current].push(line);
    }
  }
  const results = JSON.parse(fs.readFileSync(path.join(dir, 'result.json'), 'utf8'));
  return [perMethod, results];
}

const distinctSorted = (names) => [...new Set(names)].sort();

const usable = process.platform === 'linux' && fs.existsSync(PROBE_LIB);
const skip = process.platform !== 'linux' ? 'LD_PRELOAD is a Linux loader feature' : false;

test('the probe libqcf is built', { skip }, () => {
  assert.ok(fs.existsSync(PROBE_LIB), `${PROBE_LIB} is missing`);
});

test('with LD_PRELOAD, another libqcf receives every call the add-on makes', { skip: skip || !usable }, async (t) => {
  const [perMethod, results] = runChild({ LD_PRELOAD: preload(PROBE_LIB) });
  assert.deepEqual(results.loaded, { probe: true, standin: false }, 'only the probe is loaded');

  for (const [method, expected] of Object.entries(EXPECTED)) {
    await t.test(method, () => {
      assert.equal(results[method].error, undefined, `${method} failed: ${results[method].error}`);
      assert.deepEqual(distinctSorted(perMethod[method]), [...expected].sort());
    });
  }

  await t.test("the probe's answers come back", () => {
    assert.equal(results.preActivate.value, 0);
    assert.deepEqual(results.init.value, { code: 0, message: 'initialization successful' });
    for (const login of ['auth', 'auth_pubkey']) {
      assert.deepEqual(results[login].value, { token: 'probe-token', tokenValidSeconds: 60, code: 0, message: 'succ' });
    }
    assert.deepEqual(results.createGroup.value, { code: 0, message: 'succ', groupId: 'p' });
    assert.deepEqual(results.applyKeyWithGroupID.value, { code: 0, message: 'succ', groupKey: 'AB' });
    assert.equal(results.fillKeySync.value, 0);
    assert.equal(results.finish.value, 0);
  });
});

test('LD_LIBRARY_PATH also replaces the libqcf beside the add-on (RUNPATH, not RPATH)', { skip: skip || !usable }, () => {
  const [perMethod, results] = runChild({ LD_LIBRARY_PATH: PROBE_DIR, LD_PRELOAD: preload() });
  assert.deepEqual(results.loaded, { probe: true, standin: false });
  assert.deepEqual(perMethod.setCustomConfig, ['QCF_Custom']);
});

#!/usr/bin/env node
// @ts-check
// A whole key session, step by step: `npm run demo`.
//
// Runs against the libqcf the add-on was built with: the simulator that the
// package builds by default, or the vendor SDK when it was built with
// QCF_SDK_DIR (then the session needs a reachable key server). Everything the
// session writes (log.txt, the key file, the soft key) goes to a fresh
// temporary directory, removed at the end unless --keep is given. One step
// starts this script again as another process on the same key file.
//
// Exits 0 when every step worked, 1 with a message naming the step otherwise.
'use strict';
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

/** @typedef {import('..').VarnKtPlugin} VarnKtPlugin */

const keep = process.argv.includes('--keep');
const STEP_TIMEOUT_MS = 30000;

// Written at once, like the add-on's own console lines, so that the two stay
// in order.
function say(text = '') {
  process.stdout.write(`${text}\n`);
}

/** @param {unknown} value @returns {string} */
function show(value) {
  if (typeof value === 'string') return JSON.stringify(value);
  if (typeof value !== 'object' || value === null) return String(value);
  const entries = Object.entries(value).map(([key, item]) => `${key}: ${show(item)}`);
  return `{ ${entries.join(', ')} }`;
}

class StepFailure extends Error {}

/** @param {boolean} condition @param {string} message */
function expect(condition, message) {
  if (!condition) throw new StepFailure(message);
}

/** @param {{code: number, message: string}} result @param {string} what */
function expectSuccess(result, what) {
  expect(result.code === 0, `${what} answered code ${result.code}: ${result.message}`);
}

// Events come through the event loop: give them a few turns to arrive, so
// that they are shown under the step that raised them.
function settle() {
  return new Promise((resolve) => setTimeout(resolve, 20));
}

/** @template T @param {Promise<T>} promise @returns {Promise<T>} */
function withTimeout(promise) {
  /** @type {NodeJS.Timeout | undefined} */
  let timer;
  const timeout = new Promise((_, reject) => {
    timer = setTimeout(
      () => reject(new StepFailure(`no answer within ${STEP_TIMEOUT_MS} ms`)),
      STEP_TIMEOUT_MS,
    );
  });
  return Promise.race([promise, timeout]).finally(() => clearTimeout(timer));
}

const events = { messages: 0, errors: 0 };
let stepNumber = 0;
let currentStep = '';

/**
 * Runs one step: prints its title, the call's result, and the events that
 * arrived meanwhile; `check` throws a StepFailure when the result is wrong.
 * @template T
 * @param {string} title
 * @param {() => T | Promise<T>} call
 * @param {(result: Awaited<T>) => void} [check]
 * @returns {Promise<Awaited<T>>}
 */
async function step(title, call, check) {
  stepNumber += 1;
  currentStep = `${stepNumber}. ${title}`;
  say();
  say(`[${stepNumber}] ${title}`);
  const before = { ...events };
  const result = await withTimeout(Promise.resolve(call()));
  say(`    result: ${show(result)}`);
  if (check) check(result);
  await settle();
  const messages = events.messages - before.messages;
  const errors = events.errors - before.errors;
  if (messages > 0) say(`    events: ${messages} x onCaptureMessage`);
  if (errors > 0) say(`    events: ${errors} x onCaptureError`);
  return result;
}

function loadPlugin() {
  try {
    return require('..').VarnKtPlugin;
  } catch (err) {
    throw new StepFailure(`the add-on cannot be loaded: ${err instanceof Error ? err.message : err}`);
  }
}

/** @param {string} dir */
function listFiles(dir) {
  for (const name of fs.readdirSync(dir).sort()) {
    const stat = fs.statSync(path.join(dir, name));
    say(`    ${name}${stat.isDirectory() ? '/' : ` (${stat.size} bytes)`}`);
  }
}

/**
 * @param {import('..').SpmKeyInfoResult} before
 * @param {import('..').SpmKeyInfoResult} after
 */
function showCounters(before, after) {
  for (const counter of /** @type {const} */ (['totalKeySize', 'usedKeySize', 'keyBasePostion'])) {
    const change = after[counter] - before[counter];
    say(`    ${counter}: ${before[counter]} -> ${after[counter]} (${change >= 0 ? '+' : ''}${change} since the start)`);
  }
}

const OTHER_PROCESS = '--other-process';
const RESULT_MARK = 'other-process result: ';

/**
 * Runs this script as another process that opens the same key file, logs in
 * and applies for the group's key; resolves with its result.
 * @param {string} workDir @param {string} keyFile @param {string} groupId @param {string} appName
 * @returns {import('..').ApplyKeyResult}
 */
function applyKeyInOtherProcess(workDir, keyFile, groupId, appName) {
  const cwd = path.join(workDir, 'other-process');
  fs.mkdirSync(cwd);
  const child = spawnSync(process.execPath, [__filename, OTHER_PROCESS, keyFile, groupId, appName], {
    cwd,
    encoding: 'utf8',
    timeout: STEP_TIMEOUT_MS,
  });
  const line = (child.stdout || '').split('\n').find((text) => text.startsWith(RESULT_MARK));
  if (child.status !== 0 || !line) {
    throw new StepFailure(`the other process failed (exit ${child.status}): ${child.stderr || child.stdout}`);
  }
  return JSON.parse(line.slice(RESULT_MARK.length));
}

// The other process: its own SDK session on the key file it is given.
async function otherProcess() {
  const [keyFile, groupId, appName] = process.argv.slice(process.argv.indexOf(OTHER_PROCESS) + 1);
  const plugin = new (loadPlugin())();
  const code = plugin.preActivate(keyFile);
  expect(code === 0, `preActivate returned ${code}`);
  expectSuccess(await plugin.init(1, 'other-user', 'other-app'), 'init');
  expectSuccess(await plugin.auth_pubkey(1, 'other-user', 'other-app'), 'auth_pubkey');
  const result = await plugin.applyKeyWithGroupID(groupId, appName);
  plugin.finish();
  say(`${RESULT_MARK}${JSON.stringify(result)}`);
}

/** @param {string} workDir */
async function session(workDir) {
  const VarnKtPlugin = loadPlugin();
  const plugin = new VarnKtPlugin();
  const keyFile = path.join(workDir, 'keystore.dat');
  const logDir = path.join(workDir, 'sdk-logs');
  const softkeyPath = path.join(workDir, 'walkthrough.softkey');
  const appName = 'walkthrough';

  say(`Working directory: ${workDir}`);

  await step(`preActivate(keyFile, logDir)  key file ${path.basename(keyFile)}`, () =>
    plugin.preActivate(keyFile, logDir),
  (code) => expect(code === 0, `preActivate returned ${code}`));

  await step('setLogCallback(line => ...)  SDK log lines are shown as "sdk log |"', () =>
    plugin.setLogCallback((line) => say(`    sdk log | ${line}`)));

  await step('setEventCallback("onCaptureMessage" | "onCaptureError", handler)', () => ({
    onCaptureMessage: plugin.setEventCallback('onCaptureMessage', () => {
      events.messages += 1;
    }),
    onCaptureError: plugin.setEventCallback('onCaptureError', (code, message) => {
      events.errors += 1;
      say(`    onCaptureError | ${code} ${message}`);
    }),
  }));

  await step('init(1, "demo-user", "demo-app")  default host and port 18000', () =>
    plugin.init(1, 'demo-user', 'demo-app'),
  (result) => expectSuccess(result, 'init'));

  const login = await step('auth_pubkey(1, "demo-user", "demo-app")', () =>
    plugin.auth_pubkey(1, 'demo-user', 'demo-app'),
  (result) => {
    expectSuccess(result, 'auth_pubkey');
    expect(result.token !== '', 'auth_pubkey gave no token');
  });

  const infoBefore = await step(`getSPMKeyInfo("${appName}", "demo")  before filling`, () =>
    plugin.getSPMKeyInfo(appName, 'demo'),
  (result) => expectSuccess(result, 'getSPMKeyInfo'));

  await step(`fillKey({... fillkeyItem: {appName: "${appName}", keyLen: 64, softkeyPath}})`, () =>
    plugin.fillKey({
      serverAddr: 'keyserver.varnkt.local',
      port: 18000,
      serverType: 1,
      userTokenHandle: login.token,
      overWriteFlag: 0,
      fillkeyItem: { appName, keyLen: 64, softkeyPath },
    }),
  (result) => {
    expectSuccess(result, 'fillKey');
    if (fs.existsSync(softkeyPath)) {
      say(`    soft key: ${path.basename(softkeyPath)} (${fs.statSync(softkeyPath).size} bytes)`);
    }
  });

  await step(`getSPMKeyInfo("${appName}", "demo")  after filling`, () =>
    plugin.getSPMKeyInfo(appName, 'demo'),
  (result) => {
    expectSuccess(result, 'getSPMKeyInfo');
    showCounters(infoBefore, result);
  });

  const group = await step(`createGroup("${appName}", 32, "demo group")`, () =>
    plugin.createGroup(appName, 32, 'demo group'),
  (result) => {
    expectSuccess(result, 'createGroup');
    expect(result.groupId !== '', 'createGroup gave no group id');
  });

  const first = await step(`applyKeyWithGroupID("${group.groupId}", "${appName}")  first instance`, () =>
    plugin.applyKeyWithGroupID(group.groupId, appName),
  (result) => expectSuccess(result, 'applyKeyWithGroupID'));

  const other = new VarnKtPlugin();
  await step(`applyKeyWithGroupID("${group.groupId}", "${appName}")  a second instance`, () =>
    other.applyKeyWithGroupID(group.groupId, appName),
  (result) => {
    expectSuccess(result, 'applyKeyWithGroupID');
    expect(result.groupKey !== '', 'the group key is empty');
    expect(result.groupKey === first.groupKey, 'the two instances got different group keys');
    say(`    both instances hold the same ${result.groupKey.length / 2}-byte group key`);
  });

  await step('applyKeyWithGroupID in another process that shares the key file', () =>
    applyKeyInOtherProcess(workDir, keyFile, group.groupId, appName),
  (result) => {
    expectSuccess(result, 'applyKeyWithGroupID in the other process');
    expect(result.groupKey === first.groupKey, 'the other process got a different group key');
    say('    the other process holds the same group key');
  });

  await step('reFillKey("", 1, 64)  with the token of the login', () =>
    plugin.reFillKey('', 1, 64),
  (result) => expectSuccess(result, 'reFillKey'));

  await step(`getSPMKeyInfo("${appName}", "demo")  after the group and the refill`, () =>
    plugin.getSPMKeyInfo(appName, 'demo'),
  (result) => {
    expectSuccess(result, 'getSPMKeyInfo');
    showCounters(infoBefore, result);
  });

  await step('reportSPMWithSignPubkey("spm-0001", "demo-sign-public-key", 18000)', () =>
    plugin.reportSPMWithSignPubkey('spm-0001', 'demo-sign-public-key', 18000),
  (result) => expectSuccess(result, 'reportSPMWithSignPubkey'));

  await step('finish()', () => plugin.finish(),
    (code) => expect(code === 0, `finish returned ${code}`));

  say();
  say(`Files of the session in ${workDir}:`);
  listFiles(workDir);
}

async function main() {
  // A reader that goes away (`npm run demo | head`) is not a failure.
  process.stdout.on('error', () => process.exit(0));
  if (process.argv.includes(OTHER_PROCESS)) {
    await otherProcess().then(
      () => process.exit(0),
      (err) => {
        process.stderr.write(`${err instanceof Error ? err.message : show(err)}\n`);
        process.exit(1);
      },
    );
  }
  const workDir = fs.mkdtempSync(path.join(os.tmpdir(), 'varnkt-walkthrough-'));
  const startDir = process.cwd();
  // log.txt and the SDK's files land in the working directory.
  process.chdir(workDir);
  let status = 0;
  try {
    await session(workDir);
    say();
    say('Walkthrough complete: every step succeeded.');
  } catch (err) {
    status = 1;
    const reason = err instanceof StepFailure ? err.message : (err instanceof Error && err.stack) || show(err);
    process.stderr.write(`\nWalkthrough failed${currentStep ? ` at step ${currentStep}` : ''}: ${reason}\n`);
  } finally {
    process.chdir(startDir);
    if (keep) {
      say(`Kept ${workDir}`);
    } else {
      fs.rmSync(workDir, { recursive: true, force: true });
    }
  }
  // The module keeps the event loop alive: an application ends explicitly.
  process.exit(status);
}

main();

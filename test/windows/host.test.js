'use strict';
// The add-on in the Windows build of Node.js: the DLL import, the log file in text mode, the
// promise frame's worker thread, SDK threads reaching JavaScript, finish, and exit.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const sdk = require('../helpers/sdk');
const { runScenario } = require('../helpers/scenario');

const skip = process.platform !== 'win32' && 'Windows only (npm run test:windows)';
sdk.tempCwd();
const { VarnKtPlugin } = require(sdk.ROOT);
const plugin = new VarnKtPlugin();
// Pre-activated once, before any test, so that its console line comes before the test runner's first
// message on the same standard output; it installs the SDK handlers that write the log and raise the events.
if (!skip) plugin.preActivate('keys');

// The stand-in logs every call it serves ("QCF_Custom: ok").
const isCallLine = (message) => /^QCF_\w+: /.test(message);
const release = (name) => path.join(sdk.BUILD_DIR, 'Release', name);
const records = (dir = '.') => fs.readFileSync(path.join(dir, 'log.txt'), 'utf8').split('\r\n').slice(0, -1);
// Lets the event loop run until the dispatcher jobs queued so far have run.
const queuedJobsDone = () => new Promise((resolve) => setImmediate(() => setImmediate(resolve)));

test.beforeEach(() => {
  sdk.clearCalls();
  sdk.tempCwd();
});

test('the add-on imports libqcf.dll from its own folder, wherever that is, and needs no other DLL there', { skip }, () => {
  const dir = path.join(sdk.tempCwd(), '插件 folder');
  fs.mkdirSync(dir);
  fs.copyFileSync(release('VarnKtPlugin.node'), path.join(dir, 'VarnKtPlugin.node'));
  const load = () => spawnSync(process.execPath, ['-e', `
    try { console.log(new (require(process.argv[1]).VarnKtPlugin)().hello('abc')); } catch (err) { console.log(err.code); }
    process.exit(0);`, path.join(dir, 'VarnKtPlugin.node')], { cwd: sdk.ROOT, encoding: 'utf8', timeout: 60000 });
  assert.deepEqual([load().stdout], ['ERR_DLOPEN_FAILED\n'], 'the loader needs libqcf.dll');
  fs.copyFileSync(release('libqcf.dll'), path.join(dir, 'libqcf.dll'));
  const loaded = load();
  assert.equal(loaded.stdout, 'abc world\n', loaded.stderr);
});

test('log records are UTF-8 in text mode: every line feed becomes CR LF', { skip }, () => {
  sdk.script('QCF_Custom', { emit: [{ kind: 'log', message: '日志 one\ntwo' }, { kind: 'exception', value: 3, message: 'crlf\r\n' }] });
  plugin.setCustomConfig('k', 'v');
  const messages = fs.readFileSync('log.txt', 'utf8').split(/(?=^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d - )/m).map((record) => record.slice(22));
  assert.deepEqual(messages.filter((message) => !isCallLine(message)), ['日志 one\r\ntwo\r\n', 'crlf\r\r\n\r\n']);
});

test('init and auth_pubkey: the worker thread hands the SDK calls to the JavaScript thread', { skip }, async () => {
  assert.deepEqual(await plugin.init(7, '用户', 'dept'), { code: 0, message: 'initialization successful' });
  const auth = await plugin.auth_pubkey(7, '用户', 'dept', 'kms.example', 443);
  assert.deepEqual([auth.code, /^tok-[0-9a-f]{32}$/i.test(auth.token), auth.tokenValidSeconds], [0, true, 3600]);
  const calls = sdk.calls().filter((call) => /^QCF_(Init|Auth)/.test(call.name));
  assert.deepEqual(calls.map((call) => [call.name, call.thread]), [['QCF_Init', sdk.threadId()], ['QCF_Auth_pubkey_WithInfo', sdk.threadId()]]);
  // The login records carry the UTF-8 user name, unconverted.
  assert.deepEqual(calls[1].args[1].subarray(4, 10), Buffer.from('用户'));
});

test('log lines and exceptions from SDK threads reach the callback and the events on the JavaScript thread', { skip }, async () => {
  const seen = { lines: [], messages: [], errors: [] };
  const jsThread = sdk.threadId();
  const collect = (list) => (...args) => {
    assert.equal(sdk.threadId(), jsThread);
    if (!isCallLine(String(args[0]))) list.push(args.length > 1 ? args : args[0]);
  };
  plugin.setLogCallback(collect(seen.lines));
  plugin.setEventCallback('onCaptureMessage', collect(seen.messages));
  plugin.setEventCallback('onCaptureError', collect(seen.errors));
  sdk.emitAsync({ kind: 'log', message: '线程 line', threads: 3, count: 20, wait: true });
  sdk.emitAsync({ kind: 'exception', value: -7, message: 'thread fault', threads: 2, count: 5, wait: true });
  await queuedJobsDone();
  const [lines, errors] = [Array(60).fill('线程 line'), Array(10).fill([-7, 'thread fault'])];
  assert.deepEqual(seen, { lines, messages: lines, errors });
  const count = (message) => records().filter((record) => record.endsWith(` - ${message}`)).length;
  assert.deepEqual([count('线程 line'), count('thread fault')], [60, 10]);
});

test('finish: the SDK call, then no token for refills and no log callback', { skip }, async () => {
  assert.deepEqual([(await plugin.init(1, 'u', 'd')).code, (await plugin.auth_pubkey(1, 'u', 'd')).code], [0, 0]);
  const lines = [];
  plugin.setLogCallback((line) => isCallLine(line) || lines.push(line));
  assert.equal(plugin.finish(), 0);
  plugin.reFillKeySync('app', 1, 2);
  sdk.emitAsync({ kind: 'log', message: 'after finish', wait: true });
  await queuedJobsDone();
  assert.ok(sdk.names().includes('QCF_Finish'));
  assert.deepEqual(sdk.callsOf('QCF_ReFillKey').map((call) => call.args[0]), [null], 'the token is gone');
  assert.deepEqual(lines, []);
});

test('exit: process.exit ends the process with its code, console lines flushed, queued lines delivered first', { skip }, () => {
  // Deliveries and the exit code: test/js/event_loop.test.js, which this suite runs too.
  const { status, signal, stdout, log } = runScenario('event_loop', 'ending', { args: ['exit'] });
  assert.deepEqual([signal, status], [null, 3]);
  assert.ok(stdout.includes(Buffer.from('【预激活】成功！\n')), stdout.toString());
  assert.equal(log.split('\r\n').filter((record) => record.endsWith(' - queued')).length, 1000);
});

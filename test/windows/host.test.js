'use strict';
// The add-on in the Windows build of Node.js: what the module files export and
// import, the log file in text mode, the promise frame's worker thread, SDK
// threads reaching JavaScript through the dispatcher, finish, and exit.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const sdk = require('../helpers/sdk');
const { readPeImage } = require('./pe_image');

const onWindows = process.platform === 'win32';
const skip = !onWindows && 'Windows only (npm run test:windows)';

sdk.tempCwd();
const { VarnKtPlugin } = require(sdk.ROOT);
const plugin = new VarnKtPlugin();
// Installs the SDK handlers that write the log and raise the events.
plugin.preActivate('keys');

// The stand-in logs every call it serves ("QCF_Custom: ok").
const isCallLine = (message) => /^QCF_\w+: /.test(message);
const release = (name) => path.join(sdk.BUILD_DIR, 'Release', name);
// GCC's runtime is linked in statically; these DLLs are not shipped.
const GCC_RUNTIME = ['libstdc++-6.dll', 'libgcc_s_seh-1.dll', 'libwinpthread-1.dll'];

// Lets the event loop run until the dispatcher jobs queued so far have run.
const queuedJobsDone = () => new Promise((resolve) => setImmediate(() => setImmediate(resolve)));

test.beforeEach(() => {
  sdk.reset();
  sdk.tempCwd();
});

test('the module files: one export, libqcf.dll and node.exe imported, no GCC runtime DLL', { skip }, () => {
  const addon = readPeImage(release('VarnKtPlugin.node'));
  assert.deepEqual(addon.exports, ['_register_VarnKtPlugin_']);
  const qcfFunctions = addon.imports.get('libqcf.dll');
  assert.ok(qcfFunctions, 'imports libqcf.dll');
  assert.ok(qcfFunctions.includes('QCF_Init') && qcfFunctions.includes('QCF_ExportKey'));
  assert.ok(qcfFunctions.every((name) => name.startsWith('QCF_')), 'never the control interface');
  const hostFunctions = addon.imports.get('node.exe');
  for (const name of ['napi_module_register', 'napi_create_threadsafe_function', 'uv_default_loop', 'uv_async_init', 'uv_async_send', 'uv_close']) {
    assert.ok(hostFunctions.includes(name), `${name} from node.exe`);
  }
  for (const file of ['VarnKtPlugin.node', 'libqcf.dll', 'qcf_control.node']) {
    const dlls = [...readPeImage(release(file)).imports.keys()];
    for (const runtime of GCC_RUNTIME) assert.ok(!dlls.includes(runtime), `${file} needs ${runtime}`);
  }
});

test('the add-on loads libqcf.dll from its own folder, wherever that is, and not without it', { skip }, () => {
  const dir = path.join(sdk.tempCwd(), '插件 folder');
  fs.mkdirSync(dir);
  fs.copyFileSync(release('VarnKtPlugin.node'), path.join(dir, 'VarnKtPlugin.node'));
  const load = () =>
    spawnSync(process.execPath, ['-e', `
      try {
        console.log(new (require(process.argv[1]).VarnKtPlugin)().hello('abc'));
      } catch (err) {
        console.log(err.code);
      }
      process.exit(0);`, path.join(dir, 'VarnKtPlugin.node')], { cwd: sdk.ROOT, encoding: 'utf8', timeout: 60000 });

  const without = load();
  assert.equal(without.status, 0, without.stderr);
  assert.equal(without.stdout, 'ERR_DLOPEN_FAILED\n', 'the loader needs libqcf.dll');
  fs.copyFileSync(release('libqcf.dll'), path.join(dir, 'libqcf.dll'));
  const withDll = load();
  assert.equal(withDll.status, 0, withDll.stderr);
  assert.equal(withDll.stdout, 'abc world\n');
});

test('log records are UTF-8 in text mode: every line feed becomes CR LF', { skip }, () => {
  sdk.script('QCF_Custom', {
    emit: [
      { kind: 'log', message: '日志 one\ntwo' },
      { kind: 'exception', value: 3, message: 'crlf\r\n' },
    ],
  });
  plugin.setCustomConfig('k', 'v');
  const text = fs.readFileSync('log.txt').toString('utf8');
  const records = text.split(/(?=^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d - )/m);
  assert.deepEqual(
    records.map((record) => record.slice(22)).filter((message) => !isCallLine(message)),
    ['日志 one\r\ntwo\r\n', 'crlf\r\r\n\r\n'],
  );
});

test('init and auth_pubkey: the worker thread hands the SDK calls to the JavaScript thread', { skip }, async () => {
  assert.deepEqual(await plugin.init(7, '用户', 'dept'), { code: 0, message: 'initialization successful' });
  const auth = await plugin.auth_pubkey(7, '用户', 'dept', 'kms.example', 443);
  assert.equal(auth.code, 0);
  assert.equal(auth.token, sdk.DEFAULTS.token);
  assert.equal(auth.tokenValidSeconds, sdk.DEFAULTS.validSeconds);
  const sdkCalls = sdk.calls().filter((call) => call.name !== 'QCF_Custom');
  assert.deepEqual(sdkCalls.map((call) => call.name), ['QCF_Init', 'QCF_Auth_pubkey_WithInfo']);
  for (const call of sdkCalls) assert.equal(call.thread, sdk.threadId(), `${call.name} on the JavaScript thread`);
  // The login records carry the UTF-8 user name, unconverted.
  const user = sdkCalls[1].args[1];
  assert.deepEqual(user.subarray(4, 4 + 6), Buffer.from('用户'));
});

test('log lines and exceptions from SDK threads reach the callback and the events on the JavaScript thread', { skip }, async () => {
  const seen = { lines: [], messages: [], errors: [] };
  const jsThread = sdk.threadId();
  const onJsThread = () => assert.equal(sdk.threadId(), jsThread);
  plugin.setLogCallback((line) => {
    onJsThread();
    if (!isCallLine(line)) seen.lines.push(line);
  });
  plugin.setEventCallback('onCaptureMessage', (message) => {
    onJsThread();
    if (!isCallLine(message)) seen.messages.push(message);
  });
  plugin.setEventCallback('onCaptureError', (code, message) => {
    onJsThread();
    seen.errors.push([code, message]);
  });
  sdk.emitAsync({ kind: 'log', message: '线程 line', threads: 3, count: 20, wait: true });
  sdk.emitAsync({ kind: 'exception', value: -7, message: 'thread fault', threads: 2, count: 5, wait: true });
  await queuedJobsDone();

  assert.deepEqual(seen.lines, Array(60).fill('线程 line'));
  assert.deepEqual(seen.messages, Array(60).fill('线程 line'));
  assert.deepEqual(seen.errors, Array(10).fill([-7, 'thread fault']));
  const records = fs.readFileSync('log.txt', 'utf8').split('\r\n').slice(0, -1);
  assert.equal(records.filter((record) => record.endsWith(' - 线程 line')).length, 60);
  assert.equal(records.filter((record) => record.endsWith(' - thread fault')).length, 10);
});

test('finish: the SDK call, then no token for refills and no log callback', { skip }, async () => {
  await plugin.auth_pubkey(1, 'u', 'd');
  const lines = [];
  plugin.setLogCallback((line) => {
    if (!isCallLine(line)) lines.push(line);
  });
  assert.equal(plugin.finish(), 0);
  plugin.reFillKeySync('app', 1, 2);
  sdk.emitAsync({ kind: 'log', message: 'after finish', wait: true });
  await queuedJobsDone();

  const refill = sdk.callsOf('QCF_ReFillKey');
  assert.equal(refill.length, 1);
  assert.equal(refill[0].args[0], null, 'the token is gone');
  assert.ok(sdk.names().includes('QCF_Finish'));
  assert.deepEqual(lines, []);
});

test('exit: process.exit ends the process with its code, console lines flushed, queued jobs dropped', { skip }, () => {
  const dir = sdk.tempCwd();
  const script = `
    const sdk = require(${JSON.stringify(require.resolve('../helpers/sdk'))});
    process.chdir(${JSON.stringify(dir)});
    const { VarnKtPlugin } = require(sdk.ROOT);
    const plugin = new VarnKtPlugin();
    plugin.preActivate('keys');
    plugin.setLogCallback(() => require('node:fs').appendFileSync('delivered.txt', 'x'));
    sdk.emitAsync({ kind: 'log', message: 'queued', threads: 2, count: 50, wait: true });
    process.exit(5);`;
  const child = spawnSync(process.execPath, ['-e', script], { timeout: 60000 });
  assert.equal(child.signal, null);
  assert.equal(child.status, 5, child.stderr.toString());
  assert.equal(child.stderr.toString(), '');
  assert.ok(child.stdout.includes(Buffer.from('【预激活】成功！\n')), child.stdout.toString());
  const records = fs.readFileSync(path.join(dir, 'log.txt'), 'utf8').split('\r\n').slice(0, -1);
  assert.equal(records.filter((record) => record.endsWith(' - queued')).length, 100);
  assert.equal(fs.existsSync(path.join(dir, 'delivered.txt')), false, 'no queued delivery ran');
});

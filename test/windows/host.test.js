'use strict';
// The add-on in the Windows build of Node.js: the DLL import, the log file in text mode, the user name in the login
// record. test/js runs here too, with the promise methods' threads and results, SDK threads reaching JavaScript,
// finish and exit (the event_loop, session_auth, events and keys_spm tests).
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const sdk = require('../helpers/sdk');

const skip = process.platform !== 'win32' && 'Windows only (npm run test:windows)';
sdk.tempCwd();
const { VarnKtPlugin } = require(sdk.ROOT);
const plugin = new VarnKtPlugin();
// Pre-activated before any test, so that its console line precedes the test runner's own output on the same standard
// output; it installs the SDK handlers that write the log and raise the events.
if (!skip) plugin.preActivate('keys');

test.beforeEach(() => { sdk.clearCalls(); sdk.tempCwd(); });

test('the add-on imports libqcf.dll from its own folder, wherever that is, and needs no other DLL there', { skip }, () => {
  const dir = path.join(sdk.tempCwd(), '插件 folder');
  fs.mkdirSync(dir);
  fs.copyFileSync(path.join(sdk.BUILD_DIR, 'Release', 'VarnKtPlugin.node'), path.join(dir, 'VarnKtPlugin.node'));
  const load = () => spawnSync(process.execPath, ['-e', `
    try { console.log(new (require(process.argv[1]).VarnKtPlugin)().hello('abc')); } catch (err) { console.log(err.code); }
    process.exit(0);`, path.join(dir, 'VarnKtPlugin.node')], { cwd: sdk.ROOT, encoding: 'utf8', timeout: 60000 });
  assert.deepEqual([load().stdout], ['ERR_DLOPEN_FAILED\n'], 'the loader needs libqcf.dll');
  fs.copyFileSync(path.join(sdk.BUILD_DIR, 'Release', 'libqcf.dll'), path.join(dir, 'libqcf.dll'));
  const loaded = load();
  assert.equal(loaded.stdout, 'abc world\n', loaded.stderr);
});

test('log records are UTF-8 in text mode: every line feed becomes CR LF', { skip }, () => {
  sdk.script('QCF_Custom', { emit: [{ kind: 'log', message: '日志 one\ntwo' }, { kind: 'exception', value: 3, message: 'crlf\r\n' }] });
  plugin.setCustomConfig('k', 'v');
  const messages = fs.readFileSync('log.txt', 'utf8').split(/(?=^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d - )/m).map((record) => record.slice(22));
  // Without the stand-in's own line ("QCF_Custom: ok").
  assert.deepEqual(messages.filter((message) => !/^QCF_\w+: /.test(message)), ['日志 one\r\ntwo\r\n', 'crlf\r\r\n\r\n']);
});

test('init and auth_pubkey: the login record carries the UTF-8 user name, unconverted', { skip }, async () => {
  const codes = [(await plugin.init(7, '用户', 'dept')).code, (await plugin.auth_pubkey(7, '用户', 'dept', 'kms.example', 443)).code];
  assert.deepEqual([codes, sdk.callsOf('QCF_Auth_pubkey_WithInfo')[0].args[1].subarray(4, 10)], [[0, 0], Buffer.from('用户')]);
});

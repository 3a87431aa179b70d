'use strict';
// Loading the package (index.js) from prepared directories and from a worker
// thread, each load in a child process of its own.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { preload } = require('../helpers/preload');
const { runValue } = require('../helpers/scenario');

const ROOT = path.resolve(__dirname, '..', '..');
const BUILD_DIR = path.resolve(ROOT, process.env.VARN_BUILD_DIR || 'build');

const addon = path.join(BUILD_DIR, 'Release', 'VarnKtPlugin.node');
const standin = path.join(BUILD_DIR, 'Release', 'libqcf.so');
const onLinux = process.platform === 'linux';

// Loads in a child the package at `pkg(dir)` with `files` (path -> source
// file, directory to link, or contents) laid out in a fresh directory `dir`
// and `env(dir)` in its environment: { dir, real (its real path), ...what it got }.
function loadPackage(files, env = (dir) => ({ VARN_BUILD_DIR: dir }), pkg = () => ROOT) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'varn-entry-'));
  try {
    for (const [name, source] of Object.entries(files)) {
      const target = path.join(dir, name);
      fs.mkdirSync(path.dirname(target), { recursive: true });
      if (Buffer.isBuffer(source)) fs.writeFileSync(target, source);
      else if (fs.statSync(source).isDirectory()) fs.symlinkSync(source, target);
      else fs.copyFileSync(source, target);
    }
    return { dir, real: fs.realpathSync(dir), ...runValue('loading', 'loadPackage', { args: [pkg(dir)], env: { LD_LIBRARY_PATH: '', LD_PRELOAD: preload(), ...env(dir) } }) };
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

// [case, files, skip, what the Error must say (texts or patterns, given the build directory)]
for (const [name, files, skip, says] of [
  ['without a built add-on the entry throws an Error that says how to build it', {}, false,
    (dir) => [/has not been built/, /npm install/, path.join(dir, 'Release', 'VarnKtPlugin.node')]],
  ['an add-on that exists but cannot load is reported as it is, not as unbuilt', { 'Release/VarnKtPlugin.node': Buffer.from('not a shared object') },
    false, () => ['VarnKtPlugin.node']],
  ['the add-on needs libqcf beside it', { 'Release/VarnKtPlugin.node': addon }, !onLinux || !fs.existsSync(standin), () => [/libqcf\.so/]],
]) {
  test(name, { skip }, () => {
    const { dir, isError, message } = loadPackage(files);
    const unsaid = says(dir).filter((text) => (typeof text === 'string' ? !message.includes(text) : !text.test(message)));
    assert.deepEqual([isError, unsaid, /has not been built/.test(message)], [true, [], Object.keys(files).length === 0], message);
  });
}

// Which add-on a copy of the package loads from its own directory, given the
// add-on files it holds (each with libqcf beside it), and which libqcf it names.
const PREBUILT = path.join('prebuilds', 'linux-x64', 'VarnKtPlugin.node.napi.glibc.node');
const BUILT = path.join('build', 'Release', 'VarnKtPlugin.node');
const PACKAGE = Object.fromEntries(['index.js', 'package.json', 'lib/load.js', 'lib/sdk-info.js', 'node_modules'].map((f) => [f, path.join(ROOT, f)]));
for (const [name, holds, env, expected] of [
  ['a package with only prebuilt binaries loads the prebuilt add-on', [PREBUILT], {}, PREBUILT],
  ['a build from source wins over the prebuilt add-on', [PREBUILT, BUILT], {}, BUILT],
  ['VARN_BUILD_DIR names the only build looked at', [PREBUILT], { VARN_BUILD_DIR: 'elsewhere' }, /VARN_BUILD_DIR is set, so no prebuilt add-on is used/],
]) {
  test(name, { skip: !onLinux || !fs.existsSync(standin) }, () => {
    const files = { ...PACKAGE };
    for (const file of holds) Object.assign(files, { [file]: addon, [path.join(path.dirname(file), 'libqcf.so')]: standin });
    const { dir, real, sdk, message } = loadPackage(files, () => ({ VARN_BUILD_DIR: '', ...env }), (d) => d);
    if (expected instanceof RegExp) return assert.match(message, expected);
    assert.deepEqual(sdk, { simulator: true, addon: path.join(dir, expected), path: path.join(real, path.dirname(expected), 'libqcf.so') });
  });
}

const NOT_MAIN_THREAD = 'VarnKtPlugin can only be loaded on the main thread: it delivers SDK events '
  + 'through the main event loop, so it cannot be used from a worker thread';
const WORKING = { hello: 'abc world', initCode: 0, logged: true };
const failed = (message) => ({ isError: true, message });
const DETACHED = 'VarnKtPlugin cannot deliver SDK events: its dispatcher is not attached to the main event loop '
  + '(was the module first loaded on a worker thread?)';

// The entry refuses a worker before the add-on file is opened; a worker loading
// the file gets an Error from its initialisation; while a worker that loaded it
// first runs on, the main thread is told the events have no loop to go to.
for (const [what, file, mainFirst, holds] of [['the entry', 'ROOT', false, false],
  ['the add-on file, loaded on the main thread first', 'ADDON', true, false],
  ['the add-on file, loaded by the worker first', 'ADDON', false, false],
  ['the add-on file first and running on', 'ADDON', false, true]]) {
  test(`a worker thread loading ${what} gets a clear Error; the main thread ${holds ? 'gets an Error, not a crash' : 'still works'}`, () => {
    assert.deepEqual(runValue('loading', 'workerLoads', { args: [file, mainFirst, holds, addon], timeout: 60000 }), {
      before: mainFirst ? WORKING : null,
      held: holds ? NOT_MAIN_THREAD : null,
      worker: holds ? { exitCode: 0, error: null } : { exitCode: 1, error: failed(NOT_MAIN_THREAD) },
      after: holds ? failed(DETACHED) : WORKING,
    });
  });
}

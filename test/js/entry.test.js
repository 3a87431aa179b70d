'use strict';
// The package entry (index.js) in child processes whose VARN_BUILD_DIR points
// at a prepared directory: no add-on, a broken one, one without libqcf, and
// one moved away from the build tree together with its libqcf.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { preload } = require('../helpers/preload');

const ROOT = path.resolve(__dirname, '..', '..');
const BUILD_DIR = path.resolve(ROOT, process.env.VARN_BUILD_DIR || 'build');

const dirs = [];
process.on('exit', () => {
  for (const dir of dirs) fs.rmSync(dir, { recursive: true, force: true });
});

// A build directory with the given files (name -> source path or contents)
// in its Release folder.
function buildDirWith(files) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'varn-entry-'));
  dirs.push(dir);
  fs.mkdirSync(path.join(dir, 'Release'));
  for (const [name, source] of Object.entries(files)) {
    const target = path.join(dir, 'Release', name);
    if (Buffer.isBuffer(source)) fs.writeFileSync(target, source);
    else fs.copyFileSync(source, target);
  }
  return dir;
}

// Loads the package in a child and reports what it got. The child runs in
// its build directory, so nothing it might log lands in the repository.
function loadPackage(buildDir) {
  const script = `
    let report;
    try {
      const mod = require(${JSON.stringify(ROOT)});
      report = { keys: Object.keys(mod), hello: new mod.VarnKtPlugin().hello('abc') };
    } catch (err) {
      report = { isError: err instanceof Error, message: String(err && err.message) };
    }
    require('node:fs').writeFileSync('report.json', JSON.stringify(report));
    process.exit(0);`;
  const child = spawnSync(process.execPath, ['-e', script], {
    cwd: buildDir,
    env: { ...process.env, VARN_BUILD_DIR: buildDir, LD_LIBRARY_PATH: '', LD_PRELOAD: preload() },
    encoding: 'utf8',
    timeout: 30000,
  });
  assert.equal(child.status, 0, child.stderr);
  return JSON.parse(fs.readFileSync(path.join(buildDir, 'report.json'), 'utf8'));
}

const addon = path.join(BUILD_DIR, 'Release', 'VarnKtPlugin.node');
const standin = path.join(BUILD_DIR, 'Release', 'libqcf.so');
const onLinux = process.platform === 'linux';

test('without a built add-on the entry throws an Error that says how to build it', () => {
  const dir = buildDirWith({});
  const report = loadPackage(dir);
  assert.equal(report.isError, true);
  assert.match(report.message, /has not been built/);
  assert.match(report.message, /npm install/);
  assert.ok(report.message.includes(path.join(dir, 'Release', 'VarnKtPlugin.node')), report.message);
});

test('an add-on that exists but cannot load is reported as it is, not as unbuilt', () => {
  const dir = buildDirWith({ 'VarnKtPlugin.node': Buffer.from('not a shared object') });
  const report = loadPackage(dir);
  assert.equal(report.isError, true);
  assert.doesNotMatch(report.message, /has not been built/);
  assert.ok(report.message.includes('VarnKtPlugin.node'), report.message);
});

test('the add-on needs libqcf beside it', { skip: !onLinux || !fs.existsSync(standin) }, () => {
  const report = loadPackage(buildDirWith({ 'VarnKtPlugin.node': addon }));
  assert.equal(report.isError, true);
  assert.match(report.message, /libqcf\.so/);
  assert.doesNotMatch(report.message, /has not been built/);
});

test('moved with its libqcf, the add-on loads from anywhere', { skip: !fs.existsSync(standin) }, () => {
  const report = loadPackage(buildDirWith({ 'VarnKtPlugin.node': addon, 'libqcf.so': standin }));
  assert.deepEqual(report, { keys: ['VarnKtPlugin'], hello: 'abc world' });
});

'use strict';
// The package as a user gets it (npm run test:package, after npm run prebuild): packed, installed into empty projects
// with only node and npm on the PATH, loaded, and used. The installed projects stay in build/package/ (the Windows
// suite runs the one in build/package/app under Wine).
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');

const ROOT = path.resolve(__dirname, '..', '..');
const BUILD_DIR = path.resolve(ROOT, process.env.VARN_BUILD_DIR || 'build');
const WORK = path.join(ROOT, 'build', 'package');
const PROBE_LIB = path.join(BUILD_DIR, 'probe_sdk', 'libqcf.so');
const NPM = fs.realpathSync(spawnSync('sh', ['-c', 'command -v npm'], { encoding: 'utf8' }).stdout.trim());

// Only node, npm and the shell npm runs scripts with: the PATH of a machine without CMake or a compiler.
const BIN = path.join(WORK, 'bin');
const BARE_PATH = { PATH: BIN };

function sh(cmd, args, { cwd = WORK, env = {}, base = process.env, timeout = 300000 } = {}) {
  const result = spawnSync(cmd, args, { cwd, env: { ...base, ...env }, encoding: 'utf8', timeout });
  assert.equal(result.status, 0, `${cmd} ${args.join(' ')}:\n${result.stdout}\n${result.stderr}`);
  return result.stdout;
}

// Installs the tarball into a new project `name`, whose package.json lets the package's install script run (npm 11
// runs none it was not told to), by an npm that sees none of the npm settings this test runs under; reports the time.
function install(t, name, args, { env = BARE_PATH, npmrc = '' } = {}) {
  const app = path.join(WORK, name);
  fs.mkdirSync(app);
  const project = { name, version: '1.0.0', private: true, allowScripts: { varnktplugin: true } };
  fs.writeFileSync(path.join(app, 'package.json'), JSON.stringify(project));
  if (npmrc) fs.writeFileSync(path.join(app, '.npmrc'), npmrc);
  const clean = Object.fromEntries(Object.entries(process.env).filter(([key]) => !/^npm_/i.test(key)));
  const started = process.hrtime.bigint();
  const output = sh(path.join(BIN, 'npm'), ['install', '--no-audit', '--no-fund', ...args, tarball], { cwd: app, env, base: clean });
  t.diagnostic(`npm install ${args.join(' ')}: ${(Number(process.hrtime.bigint() - started) / 1e9).toFixed(1)} s`);
  return { app, output };
}

// Runs a script in a project's directory: its last statement's value, which node -p prints, read back as JSON.
const inApp = (app, code, env = {}) =>
  JSON.parse(sh(process.execPath, ['-p', code], { cwd: app, env: { ...BARE_PATH, ...env } }));

let tarball;
let packedFiles;

test.before(() => {
  assert.ok(fs.existsSync(path.join(ROOT, 'prebuilds', 'linux-x64')), 'no prebuilt binaries: run "npm run prebuild" first');
  fs.rmSync(WORK, { recursive: true, force: true });
  fs.mkdirSync(BIN, { recursive: true });
  for (const [name, target] of [['node', process.execPath], ['npm', NPM], ['sh', '/bin/sh']]) fs.symlinkSync(target, path.join(BIN, name));
  const [packed] = JSON.parse(sh(NPM, ['pack', '--json', '--pack-destination', WORK], { cwd: ROOT }));
  tarball = path.join(WORK, packed.filename);
  packedFiles = packed.files.map((file) => file.path);
});

test('the tarball holds the loader, types, prebuilt binaries and sources, not the tests, benchmark or CI', () => {
  assert.deepEqual(['index.js', 'index.d.ts', 'lib/load.js', 'lib/sdk-info.js', 'standin/index.js', 'README.md',
    'examples/walkthrough.js', 'scripts/build.js', 'scripts/install.js', 'CMakeLists.txt', 'cmake/mingw-w64-x86_64.cmake',
    'addons/clib/qcf/qcf.h', 'qcf_standin/CMakeLists.txt', 'prebuilds/linux-x64/VarnKtPlugin.node.napi.glibc.node',
    'prebuilds/linux-x64/libqcf.so', 'prebuilds/linux-x64/qcf_control.node'].filter((file) => !packedFiles.includes(file)), [], 'missing');
  assert.deepEqual(packedFiles.filter((file) => /^(test|bench|\.ci|build[^/]*)\/|^scripts\/(test|prebuild)/.test(file)), [], 'unwanted');
});

test('with --ignore-scripts and no compiler: the prebuilt add-on loads, reports the simulator, and the walkthrough passes', (t) => {
  const { app } = install(t, 'app', ['--ignore-scripts']);
  const pkg = path.join(app, 'node_modules', 'varnktplugin');
  const prebuilds = path.join(pkg, 'prebuilds', 'linux-x64');
  assert.deepEqual(inApp(app, "JSON.stringify(require('varnktplugin').sdkInfo())"),
    { simulator: true, path: path.join(prebuilds, 'libqcf.so'), addon: path.join(prebuilds, 'VarnKtPlugin.node.napi.glibc.node') });
  const walk = sh(process.execPath, [path.join(pkg, 'examples', 'walkthrough.js')], { cwd: app, env: BARE_PATH });
  assert.match(walk, /Walkthrough complete: every step succeeded\./);
  // The simulator's helper, as the README offers it, sees the add-on's calls.
  assert.deepEqual(inApp(app, `const sdk = require('varnktplugin/standin');
    new (require('varnktplugin').VarnKtPlugin)().setCustomConfig('logLevel', '1');
    JSON.stringify(sdk.names())`), ['QCF_Custom']);
});

test("with install scripts and no compiler: nothing is built, and the README's first example runs as written", (t) => {
  const { app, output } = install(t, 'app-scripts', ['--foreground-scripts']);
  assert.match(output, /using the prebuilt add-on prebuilds\/linux-x64\/VarnKtPlugin\.node\.napi\.glibc\.node/);
  assert.ok(!fs.existsSync(path.join(app, 'node_modules', 'varnktplugin', 'build')));
  const readme = fs.readFileSync(path.join(ROOT, 'README.md'), 'utf8');
  fs.writeFileSync(path.join(app, 'app.js'), /\n## Adding VarnKtPlugin to your app\n[\s\S]*?```js\n([\s\S]*?)```/.exec(readme)[1]);
  for (const run of [1, 2]) assert.match(sh(process.execPath, ['app.js'], { cwd: app, env: BARE_PATH }), /group key: [0-9A-F]{64}\n/, `run ${run}`);
});

test('LD_LIBRARY_PATH puts another libqcf under the prebuilt add-on, and the report names it', { skip: !fs.existsSync(PROBE_LIB) && `${PROBE_LIB} is missing` }, () => {
  const app = path.join(WORK, 'app');
  const calls = path.join(WORK, 'probe_calls.txt');
  const env = { LD_LIBRARY_PATH: path.dirname(PROBE_LIB), PROBE_QCF_LOG: calls };
  const report = inApp(app, `const m = require('varnktplugin');
    JSON.stringify({ code: new m.VarnKtPlugin().setCustomConfig('logLevel', '1'), ...m.sdkInfo() })`, env);
  assert.deepEqual([{ ...report, addon: path.basename(report.addon) }, fs.readFileSync(calls, 'utf8')],
    [{ simulator: false, path: PROBE_LIB, addon: 'VarnKtPlugin.node.napi.glibc.node', code: 0 }, 'QCF_Custom\n']);
});

test("npm's qcf_sdk_dir builds the add-on alone from source against that SDK, and it wins over the prebuilt one", { skip: !fs.existsSync(PROBE_LIB) && `${PROBE_LIB} is missing` }, (t) => {
  const sdk = path.join(WORK, 'vendor-sdk');
  fs.mkdirSync(path.join(sdk, 'lib'), { recursive: true });
  fs.copyFileSync(PROBE_LIB, path.join(sdk, 'lib', 'libqcf.so'));
  const { app, output } = install(t, 'app-vendor', ['--foreground-scripts'], { env: {}, npmrc: 'qcf_sdk_dir=../vendor-sdk\n' });
  assert.match(output, /building from source \(the vendor SDK in ..\/vendor-sdk\)/);
  const release = path.join(app, 'node_modules', 'varnktplugin', 'build', 'Release');
  assert.deepEqual(fs.readdirSync(release).filter((name) => /\.(node|so)$/.test(name)), ['VarnKtPlugin.node']);
  assert.ok(!fs.existsSync(path.join(release, '..', 'test')), 'no tests are built');
  assert.deepEqual(inApp(app, "JSON.stringify(require('varnktplugin').sdkInfo())"),
    { simulator: false, path: path.join(sdk, 'lib', 'libqcf.so'), addon: path.join(release, 'VarnKtPlugin.node') });
});

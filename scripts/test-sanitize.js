#!/usr/bin/env node
// Sanitizer run. Two instrumented builds, each in a directory of its own:
//
//   build-asan  everything with AddressSanitizer + UndefinedBehaviorSanitizer,
//               compiled with clang, whose shared runtime holds both (so both
//               honour log_path). Its C++ tests run as they are; the whole
//               JavaScript suite runs against its add-on with that runtime
//               preloaded into Node (Node itself is not instrumented).
//   build-tsan  only the C++ tests, with ThreadSanitizer (gcc).
//
// Every report fails the run. Reports are written to files (log_path) and
// read back here, so nothing is lost when a test captures a child's stderr.
//
// Leaks: LeakSanitizer sees Node's and V8's own unreleased blocks too (V8
// keeps pointers in its heap, which LSan does not scan). No suppression list
// is used, because a suppression matches any frame of a stack and could hide
// a leak of ours. Instead every leak record is kept and judged by the module
// that allocated the block: the innermost frame of the allocation stack
// outside the sanitizer runtime and the C and C++ runtime libraries. A block
// allocated by a module built here (the add-on, the stand-in, the control
// add-on, the C++ tests) is ours and fails the run; one allocated by Node or
// V8, even on behalf of a call of ours, belongs to the host's collector and is
// counted and ignored (growth of such memory is the soak's business). A
// canary module built with the tree leaks on purpose first, so the run proves
// that a leak of ours gets through that filter.
//
// Arguments: --skip-build, --asan-only, --tsan-only, and test files to run
// instead of the whole JavaScript suite. Missing compilers and sanitizer
// runtimes are installed with apt-get when running as root.
'use strict';
const { spawnSync, execFileSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { jsTestFiles, sdkThreadFiles } = require('./test-suites');

const root = path.resolve(__dirname, '..');
const asanDir = path.join(root, 'build-asan');
const tsanDir = path.join(root, 'build-tsan');

const argv = process.argv.slice(2);
const flag = (name) => argv.includes(name);
const testFiles = argv.filter((arg) => !arg.startsWith('--'));

function log(line) {
  process.stdout.write(`[sanitize] ${line}\n`);
}

function fail(message) {
  process.stderr.write(`[sanitize] FAILED: ${message}\n`);
  process.exit(1);
}

function run(cmd, args, options = {}) {
  const result = spawnSync(cmd, args, { stdio: 'inherit', cwd: root, ...options });
  if (result.error) throw result.error;
  return result;
}

// ---------------------------------------------------------------- runtimes

function compilerFile(compiler, name) {
  try {
    return execFileSync(compiler, [`-print-file-name=${name}`], { encoding: 'utf8' }).trim();
  } catch {
    return '';
  }
}

function aptInstall(packages) {
  if (typeof process.getuid !== 'function' || process.getuid() !== 0) {
    fail(`missing; install the Debian packages ${packages.join(' ')}`);
  }
  log(`installing ${packages.join(' ')}`);
  const env = { ...process.env, DEBIAN_FRONTEND: 'noninteractive' };
  const install = () => run('apt-get', ['install', '-y', '--no-install-recommends', ...packages], { env }).status;
  if (install() !== 0) {
    run('apt-get', ['update'], { env });
    if (install() !== 0) fail(`apt-get could not install ${packages.join(' ')}`);
  }
}

// The runtime library `name` of `compiler`, installing `packages()` once if
// the compiler or the library is missing.
function runtime(compiler, name, packages) {
  const present = (file) => path.isAbsolute(file) && fs.existsSync(file);
  let file = compilerFile(compiler, name);
  if (!present(file)) {
    aptInstall(packages());
    file = compilerFile(compiler, name);
  }
  if (!present(file)) fail(`${name} of ${compiler} not found after installing`);
  return fs.realpathSync(file);
}

function clangAsanRuntime() {
  const arch = process.arch === 'arm64' ? 'aarch64' : 'x86_64';
  return runtime('clang++', `libclang_rt.asan-${arch}.so`, () => {
    let major = '';
    try {
      major = execFileSync('clang++', ['-dumpversion'], { encoding: 'utf8' }).trim().split('.')[0];
    } catch {
      return ['clang', 'libclang-rt-dev'];
    }
    return [`libclang-rt-${major}-dev`];
  });
}

function gccTsanRuntime() {
  return runtime('gcc', 'libtsan.so', () => {
    const major = execFileSync('gcc', ['-dumpversion'], { encoding: 'utf8' }).trim().split('.')[0];
    return [`libgcc-${major}-dev`];
  });
}

// ------------------------------------------------------------------ builds

// Warnings are the plain build's business; here they must not stop the run.
function build(dir, cmakeArgs, targets) {
  const env = {
    ...process.env,
    VARN_BUILD_DIR: dir,
    VARN_CMAKE_ARGS: `${process.env.VARN_CMAKE_ARGS || ''} ${cmakeArgs} -DVARN_WARNINGS_AS_ERRORS=OFF`,
  };
  if (targets) env.VARN_BUILD_TARGETS = targets.join(' ');
  if (run(process.execPath, [path.join(root, 'scripts', 'build.js')], { env }).status !== 0) {
    fail(`build of ${path.relative(root, dir)}`);
  }
}

function cppTestTargets() {
  return fs.readdirSync(path.join(root, 'test', 'cpp'))
    .filter((name) => name.endsWith('_test.cc'))
    .map((name) => name.slice(0, -3));
}

// ---------------------------------------------------------------- reports

// One process's report file: errors (anything but leaks) and leak records.
function parseReport(text) {
  const errors = [];
  const leaks = [];
  const blocks = text.split(/\n(?==================)/);
  for (const block of blocks) {
    if (!block.trim()) continue;
    if (/ERROR: LeakSanitizer: detected memory leaks/.test(block)) {
      const records = block.split(/\n(?=(?:Direct|Indirect) leak of )/).slice(1);
      for (const record of records) leaks.push(record.replace(/\nSUMMARY:[^\n]*\n?/, '\n').trim());
      continue;
    }
    if (/ERROR: |runtime error:|WARNING: .*Sanitizer|Sanitizer:/.test(block)) errors.push(block.trim());
  }
  return { errors, leaks };
}

// Libraries that allocate for whoever calls them.
const NEUTRAL_MODULE = /\/(libclang_rt\.[^/]*|libasan[^/]*|libubsan[^/]*|libstdc\+\+[^/]*|libc\.so[^/]*|libc-[^/]*|libm\.so[^/]*|libgcc_s[^/]*|libpthread[^/]*|ld-linux[^/]*)$/;

// The module of each frame, innermost first (the last "(module+0xoffset)"
// of the line, which the stack_trace_format below always prints).
function frameModules(record) {
  return record.split('\n')
    .filter((line) => /^\s*#\d+ /.test(line))
    .map((line) => {
      const all = [...line.matchAll(/\(([^()\s]+)\+0x[0-9a-f]+\)/gi)];
      return all.length ? all[all.length - 1][1] : '';
    });
}

// A record is ours when the module that allocated it was built in `buildDir`.
function isOurs(record, buildDir) {
  const allocator = frameModules(record).find((module) => module && !NEUTRAL_MODULE.test(module));
  return Boolean(allocator && allocator.startsWith(buildDir + path.sep));
}

function readReports(logDir, buildDir) {
  const summary = { files: 0, errors: [], ours: [], hostLeaks: 0 };
  if (!fs.existsSync(logDir)) return summary;
  for (const name of fs.readdirSync(logDir).sort()) {
    const file = path.join(logDir, name);
    const text = fs.readFileSync(file, 'utf8');
    summary.files += 1;
    const { errors, leaks } = parseReport(text);
    for (const error of errors) summary.errors.push(`${name}:\n${error}`);
    for (const leak of leaks) {
      if (isOurs(leak, buildDir)) summary.ours.push(`${name}:\n${leak}`);
      else summary.hostLeaks += 1;
    }
  }
  return summary;
}

function freshDir(dir) {
  fs.rmSync(dir, { recursive: true, force: true });
  fs.mkdirSync(dir, { recursive: true });
}

// ------------------------------------------------------ ASan + UBSan stage

function sanitizerEnv(preload, logDir) {
  const common = [
    `log_path=${path.join(logDir, 'report')}`,
    'abort_on_error=1',
    'halt_on_error=1',
    'print_stacktrace=1',
    'stack_trace_format="#%n %p %F %L (%m+%o)"',
  ];
  return {
    ...process.env,
    VARN_BUILD_DIR: asanDir,
    VARN_SANITIZED: '1',
    LD_PRELOAD: preload.join(' '),
    // Tests that set LD_PRELOAD for a child keep this in front of theirs.
    VARN_SANITIZER_PRELOAD: preload.join(' '),
    // exitcode=0: leaks do not change a process's exit code (tests check
    // exit codes of their children); they are judged from the report files.
    // Every other report aborts the process.
    ASAN_OPTIONS: [
      ...common,
      'detect_leaks=1',
      'exitcode=0',
      'verify_asan_link_order=0',
      'malloc_context_size=64',
      'check_initialization_order=1',
      'strict_init_order=1',
      'detect_stack_use_after_return=1',
      // The runtime's __tls_get_addr interceptor (LLVM 16 and older) takes a
      // dynamic TLS block that happens to start 16 bytes into a page for a
      // pre-2.25 glibc header and reads the words before it: the leak
      // check's tracer then dies with signal 11 at exit, in whichever
      // processes the memory layout puts a block there. Our modules keep no
      // pointers in thread-local storage, so nothing is lost by not tracking it.
      'intercept_tls_get_addr=0',
    ].join(':'),
    LSAN_OPTIONS: 'exitcode=0:report_objects=0',
    UBSAN_OPTIONS: common.join(':'),
  };
}

function runCanary(env, logDir) {
  const canary = path.join(asanDir, 'Release', 'sanitizer_canary.node');
  if (!fs.existsSync(canary)) fail(`${canary} was not built`);
  const expectations = [
    ['leak', (s) => s.ours.length >= 2 && s.errors.length === 0, 'two leaks of ours'],
    ['overflow', (s) => s.errors.some((e) => e.includes('heap-buffer-overflow')), 'a heap-buffer-overflow'],
    ['signedOverflow', (s) => s.errors.some((e) => e.includes('signed integer overflow')), 'a signed integer overflow'],
  ];
  for (const [fn, check, what] of expectations) {
    freshDir(logDir);
    const script = `require(${JSON.stringify(canary)}).${fn}(); process.exit(0);`;
    const result = spawnSync(process.execPath, ['-e', script], { env, cwd: root, encoding: 'utf8' });
    const summary = readReports(logDir, asanDir);
    if (!check(summary)) {
      fail(`the canary's ${fn}() should have produced ${what}; got ${summary.errors.length} errors, ` +
        `${summary.ours.length} leaks of ours (exit ${result.status}, signal ${result.signal})\n${result.stderr}`);
    }
  }
  log('canary: a leak, a heap overflow and a signed overflow in our module are all reported');
}

function asanStage(skipBuild) {
  const preload = [clangAsanRuntime()];
  if (!skipBuild) {
    build(asanDir, '-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVARN_SANITIZE=address,undefined');
  }

  const logDir = path.join(asanDir, 'sanitizer-logs');
  const env = sanitizerEnv(preload, logDir);
  runCanary(env, logDir);

  freshDir(logDir);
  let ok = true;
  if (!testFiles.length) {
    log('C++ tests (instrumented executables)');
    const ctestEnv = { ...env, LD_PRELOAD: '' };
    ok = run('ctest', ['--test-dir', asanDir, '--output-on-failure', '-C', 'Release'], { env: ctestEnv }).status === 0;
  }

  const jsTests = testFiles.length ? testFiles : jsTestFiles();
  log(`JavaScript suite (${jsTests.length} files) against ${path.relative(root, asanDir)} with ${preload.map((p) => path.basename(p)).join(', ')} preloaded`);
  const suite = run(process.execPath, ['--test', '--test-force-exit', '--test-concurrency=1', ...jsTests], { env });
  ok = suite.status === 0 && ok;
  const threaded = sdkThreadFiles(jsTests);
  if (threaded.length) {
    log(`again with the SDK thread (${threaded.length} files)`);
    const again = run(process.execPath, ['--test', '--test-force-exit', '--test-concurrency=1', ...threaded],
      { env: { ...env, VARN_SDK_THREAD: '1' } });
    ok = again.status === 0 && ok;
  }

  const summary = readReports(logDir, asanDir);
  log(`${summary.files} report files; ${summary.errors.length} errors, ${summary.ours.length} leaks of ours, ` +
    `${summary.hostLeaks} leak records of the host alone (ignored)`);
  for (const text of [...summary.errors, ...summary.ours]) process.stderr.write(`\n${text}\n`);
  if (summary.errors.length || summary.ours.length) fail('sanitizer reports (above)');
  if (!ok) fail('tests failed under the sanitizers');
}

// ------------------------------------------------------------- TSan stage

function tsanStage(skipBuild) {
  gccTsanRuntime();
  if (!skipBuild) {
    build(tsanDir, '-DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DVARN_SANITIZE=thread', cppTestTargets());
  }
  const logDir = path.join(tsanDir, 'sanitizer-logs');
  freshDir(logDir);
  const env = {
    ...process.env,
    TSAN_OPTIONS: `halt_on_error=1:second_deadlock_stack=1:log_path=${path.join(logDir, 'report')}`,
  };
  log('C++ tests under ThreadSanitizer');
  const ok = run('ctest', ['--test-dir', tsanDir, '--output-on-failure', '-C', 'Release'], { env }).status === 0;
  const summary = readReports(logDir, tsanDir);
  for (const text of summary.errors) process.stderr.write(`\n${text}\n`);
  if (summary.errors.length) fail('ThreadSanitizer reports (above)');
  if (!ok) fail('C++ tests failed under ThreadSanitizer');
  log('ThreadSanitizer: no reports');
}

const started = Date.now();
const skipBuild = flag('--skip-build');
if (!flag('--tsan-only')) asanStage(skipBuild);
if (!flag('--asan-only') && !testFiles.length) tsanStage(skipBuild);
log(`passed in ${Math.round((Date.now() - started) / 1000)} s`);

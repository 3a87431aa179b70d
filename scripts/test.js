#!/usr/bin/env node
// Runs every test: the C++ units through CTest, the type-check of the
// TypeScript declarations, then the JavaScript suite with node's built-in
// runner. Exits non-zero on any failure. --js-only runs the JavaScript suite
// alone, under the Node.js that runs this script.
'use strict';
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { jsTestFiles, sdkThreadFiles } = require('./test-suites');

const root = path.resolve(__dirname, '..');
const buildDir = path.resolve(root, process.env.VARN_BUILD_DIR || 'build');

function run(cmd, args, options = {}) {
  const result = spawnSync(cmd, args, { stdio: 'inherit', cwd: root, ...options });
  if (result.error) throw result.error;
  return result.status === 0;
}

const jsTests = jsTestFiles();

// index.d.ts against a typed session and the walkthrough (test/types), and
// the scenario modules with the test helpers (test/scenarios).
function typeCheck() {
  const tsc = path.join(root, 'node_modules', 'typescript', 'bin', 'tsc');
  if (!fs.existsSync(tsc)) {
    console.error('TypeScript is not installed: run "npm install" (it is a dev dependency).');
    return false;
  }
  // The declarations (strict), then the scenario modules and test helpers.
  return ['types', 'scenarios'].every((project) => run(process.execPath, [tsc, '--noEmit', '-p', path.join('test', project)]));
}

const jsOnly = process.argv.includes('--js-only');
let ok = jsOnly || run('ctest', ['--test-dir', buildDir, '--output-on-failure', '-C', 'Release']);
ok = (jsOnly || typeCheck()) && ok;
ok = run(process.execPath, ['--test', ...jsTests]) && ok;
// The same tests again in the other mode, with every SDK call on the SDK thread.
ok = run(process.execPath, ['--test', ...sdkThreadFiles(jsTests)], { env: { ...process.env, VARN_SDK_THREAD: '1' } }) && ok;
process.exit(ok ? 0 : 1);

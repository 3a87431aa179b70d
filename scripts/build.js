#!/usr/bin/env node
// Configures and builds the add-on, the stand-in SDK and the C++ tests with
// CMake. Node's own headers come from the installed Node, node-addon-api from
// node_modules; nothing is downloaded. The tests and the benchmark module are
// built only where their sources are (a checkout, not the installed package).
//
// The vendor SDK: QCF_SDK_DIR in the environment, or else npm's configuration
// qcf_sdk_dir (.npmrc, --qcf-sdk-dir); a relative path is taken from the
// directory npm was started in. QCF_SDK_DIR set but empty builds the stand-in
// whatever npm's configuration says.
'use strict';
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const root = path.resolve(__dirname, '..');
const buildDir = path.resolve(root, process.env.VARN_BUILD_DIR || 'build');

function nodeIncludeDir() {
  const candidates = [
    path.resolve(path.dirname(process.execPath), '..', 'include', 'node'),
    '/usr/include/node',
    '/usr/local/include/node',
  ];
  const found = candidates.find((dir) => fs.existsSync(path.join(dir, 'node_api.h')));
  if (!found) {
    throw new Error(`Node.js headers not found (looked in ${candidates.join(', ')})`);
  }
  return found;
}

function addonApiDir() {
  return path.dirname(require.resolve('node-addon-api/package.json', { paths: [root] }));
}

function sdkDir() {
  const dir = 'QCF_SDK_DIR' in process.env ? process.env.QCF_SDK_DIR : process.env.npm_config_qcf_sdk_dir;
  return dir ? path.resolve(process.env.INIT_CWD || process.cwd(), dir) : '';
}

function run(args) {
  execFileSync('cmake', args, { stdio: 'inherit', cwd: root });
}

try {
  const extra = (process.env.VARN_CMAKE_ARGS || '').split(/\s+/).filter(Boolean);
  const configure = ['-S', root, '-B', buildDir, '-DCMAKE_BUILD_TYPE=Release', `-DNODE_ADDON_API_DIR=${addonApiDir()}`];
  // Node's headers can also be named in VARN_CMAKE_ARGS (Windows releases of
  // Node.js have none beside node.exe).
  if (!extra.some((arg) => arg.startsWith('-DNODE_INCLUDE_DIR='))) configure.push(`-DNODE_INCLUDE_DIR=${nodeIncludeDir()}`);
  if (sdkDir()) configure.push(`-DQCF_SDK_DIR=${sdkDir()}`);
  if (process.env.CI) configure.push('-DVARN_WARNINGS_AS_ERRORS=ON');
  configure.push(...extra);
  run(configure);
  // One job per processor (a bare --parallel lets make start every job at once).
  const jobs = process.env.CMAKE_BUILD_PARALLEL_LEVEL || String(os.availableParallelism());
  const build = ['--build', buildDir, '--config', 'Release', '--parallel', jobs];
  // VARN_BUILD_TARGETS: build only these targets (space-separated).
  const targets = (process.env.VARN_BUILD_TARGETS || '').split(/\s+/).filter(Boolean);
  if (targets.length) build.push('--target', ...targets);
  run(build);
} catch (err) {
  console.error(`Build failed: ${err.message}`);
  process.exit(1);
}

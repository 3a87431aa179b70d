#!/usr/bin/env node
// Configures and builds the add-on, the stand-in SDK and the C++ tests with
// CMake. Node's own headers come from the installed Node, node-addon-api from
// node_modules; nothing is downloaded.
'use strict';
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
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

function run(args) {
  execFileSync('cmake', args, { stdio: 'inherit', cwd: root });
}

const configure = [
  '-S', root, '-B', buildDir,
  '-DCMAKE_BUILD_TYPE=Release',
  `-DNODE_INCLUDE_DIR=${nodeIncludeDir()}`,
  `-DNODE_ADDON_API_DIR=${addonApiDir()}`,
];
if (process.env.QCF_SDK_DIR) configure.push(`-DQCF_SDK_DIR=${path.resolve(process.env.QCF_SDK_DIR)}`);
if (process.env.CI) configure.push('-DVARN_WARNINGS_AS_ERRORS=ON');
if (process.env.VARN_CMAKE_ARGS) configure.push(...process.env.VARN_CMAKE_ARGS.split(/\s+/).filter(Boolean));

try {
  run(configure);
  const build = ['--build', buildDir, '--config', 'Release', '--parallel'];
  // VARN_BUILD_TARGETS: build only these targets (space-separated).
  const targets = (process.env.VARN_BUILD_TARGETS || '').split(/\s+/).filter(Boolean);
  if (targets.length) build.push('--target', ...targets);
  run(build);
} catch (err) {
  console.error(`Build failed: ${err.message}`);
  process.exit(1);
}

#!/usr/bin/env node
// npm run prebuild: the prebuilt binaries that the package ships, each
// platform's add-on with the simulated libqcf and the simulator's control
// add-on beside it:
//   prebuilds/linux-x64/  from the build in build/ (VARN_BUILD_DIR), made or
//                         brought up to date here, against the simulator
//   prebuilds/win32-x64/  from the MinGW-w64 cross-build in build-win/
//                         (VARN_WIN_BUILD_DIR), as npm run test:windows makes it
// Arguments: the platforms to make (linux-x64, win32-x64); default both.
//
// The add-on's name carries node-gyp-build's tags (napi: any Node.js with
// Node-API 8; glibc: not for musl), which also make node-gyp-build pick it
// over qcf_control.node.
//
// The package has no "build" script: npm would run this one before it as its
// "pre" script. A build from source is npm run build:source.
'use strict';
const fs = require('node:fs');
const path = require('node:path');
const { ROOT, step, run, which } = require('./lib/tools');
const { crossBuild } = require('./lib/cross-build');

const TARGETS = 'VarnKtPlugin qcf qcf_control';

function linuxBuild() {
  const buildDir = path.resolve(ROOT, process.env.VARN_BUILD_DIR || 'build');
  step(`building the add-on and the simulator in ${path.relative(ROOT, buildDir) || buildDir}`);
  // The simulator and no sanitizer, whatever the directory held before.
  const env = { ...process.env, QCF_SDK_DIR: '', VARN_BUILD_TARGETS: TARGETS };
  env.VARN_CMAKE_ARGS = `-DQCF_SDK_DIR= -DVARN_SANITIZE= ${env.VARN_CMAKE_ARGS || ''}`;
  run(process.execPath, [path.join(ROOT, 'scripts', 'build.js')], { env });
  return path.join(buildDir, 'Release');
}

const PLATFORMS = {
  'linux-x64': {
    build: linuxBuild,
    strip: 'strip',
    files: { 'VarnKtPlugin.node': 'VarnKtPlugin.node.napi.glibc.node', 'libqcf.so': 'libqcf.so', 'qcf_control.node': 'qcf_control.node' },
  },
  'win32-x64': {
    build: () => crossBuild(),
    strip: 'x86_64-w64-mingw32-strip',
    files: { 'VarnKtPlugin.node': 'VarnKtPlugin.node.napi.node', 'libqcf.dll': 'libqcf.dll', 'qcf_control.node': 'qcf_control.node' },
  },
};

function main() {
  const chosen = process.argv.slice(2);
  for (const name of chosen) if (!PLATFORMS[name]) throw new Error(`unknown platform ${name}`);
  if (process.platform !== 'linux') throw new Error('the prebuilt binaries are made on Linux');
  for (const name of chosen.length ? chosen : Object.keys(PLATFORMS)) {
    const { build, files, strip } = PLATFORMS[name];
    const from = build();
    const to = path.join(ROOT, 'prebuilds', name);
    fs.rmSync(to, { recursive: true, force: true });
    fs.mkdirSync(to, { recursive: true });
    for (const [source, target] of Object.entries(files)) fs.copyFileSync(path.join(from, source), path.join(to, target));
    // Symbols only a debugger reads; the dynamic symbols and exports stay.
    if (which(strip)) run(strip, ['--strip-unneeded', ...Object.values(files).map((file) => path.join(to, file))]);
    step(`prebuilds/${name}: ${Object.values(files).join(', ')}`);
  }
}

try {
  main();
} catch (err) {
  console.error(`prebuild: ${err.message}`);
  process.exit(1);
}

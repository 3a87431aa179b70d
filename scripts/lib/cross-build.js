'use strict';
// The Windows build on Linux: the add-on, the stand-in libqcf.dll with its
// import library and qcf_control.node, cross-compiled with MinGW-w64
// (cmake/mingw-w64-x86_64.cmake). Used by the Windows tests and by the
// prebuilt binaries.
const fs = require('node:fs');
const path = require('node:path');
const { ROOT, step, run, which, npmPath, aptInstall } = require('./tools');

const TARGETS = 'VarnKtPlugin qcf qcf_control';
const WIN_BUILD_DIR = path.resolve(ROOT, process.env.VARN_WIN_BUILD_DIR || 'build-win');

// Debian packages of the cross-build that are missing, as [tool, package].
function missingMingwPackages() {
  return [
    ['x86_64-w64-mingw32-g++-posix', 'g++-mingw-w64-x86-64-posix'],
    ['x86_64-w64-mingw32-gcc-posix', 'gcc-mingw-w64-x86-64-posix'],
    ['x86_64-w64-mingw32-dlltool', 'binutils-mingw-w64-x86-64'],
    ['cmake', 'cmake'],
    ['make', 'make'],
  ]
    .filter(([tool]) => !which(tool))
    .map(([, pkg]) => pkg);
}

// node-api-headers' .def files make node.exe's import library.
function ensureNodeApiHeaders() {
  if (fs.existsSync(path.join(ROOT, 'node_modules', 'node-api-headers', 'def', 'node_api.def'))) return;
  step('installing the npm dependencies (node-api-headers)');
  run(npmPath(), ['install', '--ignore-scripts', '--no-audit', '--no-fund']);
}

// Builds into `buildDir`/Release; VARN_WIN_CMAKE_ARGS adds CMake arguments.
function crossBuild(buildDir = WIN_BUILD_DIR) {
  aptInstall(missingMingwPackages());
  ensureNodeApiHeaders();
  step(`cross-building into ${path.relative(ROOT, buildDir) || buildDir}`);
  // Relative, so that a path with blanks survives build.js's split.
  const cmakeArgs = [
    '-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake',
    '-DVARN_BUILD_TESTS=OFF',
    '-DVARN_BUILD_BENCH=OFF',
    process.env.VARN_WIN_CMAKE_ARGS || '',
  ].join(' ');
  run(process.execPath, [path.join(ROOT, 'scripts', 'build.js')], {
    env: {
      ...process.env,
      VARN_BUILD_DIR: buildDir,
      VARN_CMAKE_ARGS: cmakeArgs,
      VARN_BUILD_TARGETS: TARGETS,
      QCF_SDK_DIR: '',
    },
  });
  return path.join(buildDir, 'Release');
}

module.exports = { WIN_BUILD_DIR, missingMingwPackages, crossBuild };

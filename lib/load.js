'use strict';
// Finds the native add-on, in this order:
//   1. VARN_BUILD_DIR set: <VARN_BUILD_DIR>/Release/VarnKtPlugin.node, and
//      nothing else (a developer's explicit choice of build).
//   2. build/Release/VarnKtPlugin.node in the package: a build from source
//      (a repository checkout after "npm install", or an install that was
//      asked to build, for example against the vendor SDK).
//   3. The prebuilt add-on for this platform in prebuilds/<platform>-<arch>/,
//      as node-gyp-build picks it.
// The simulator's control add-on (qcf_control.node) and libqcf sit beside
// whichever add-on is found.
const fs = require('node:fs');
const path = require('node:path');

const ROOT = path.resolve(__dirname, '..');
const ADDON = 'VarnKtPlugin.node';

// The prebuilt add-on is named VarnKtPlugin.node.napi[.glibc].node, so that
// node-gyp-build prefers it over the control add-on beside it. node-gyp-build
// looks at build/ first (unless PREBUILDS_ONLY is set), where this loader has
// already looked for the add-on by its name: only a find in prebuilds/ counts.
function prebuiltAddon() {
  let found;
  try {
    found = require('node-gyp-build').path(ROOT);
  } catch {
    return null;
  }
  const inPrebuilds = path.dirname(path.dirname(found)).endsWith(`${path.sep}prebuilds`);
  return inPrebuilds && path.basename(found).startsWith('VarnKtPlugin.') ? found : null;
}

// { file, source }: the add-on's path and where it came from ('build' or
// 'prebuild'); file is where the add-on was looked for when nothing fits.
function locate() {
  if (process.env.VARN_BUILD_DIR) {
    return { file: path.join(path.resolve(ROOT, process.env.VARN_BUILD_DIR), 'Release', ADDON), source: 'build' };
  }
  const built = path.join(ROOT, 'build', 'Release', ADDON);
  if (fs.existsSync(built)) return { file: built, source: 'build' };
  const prebuilt = prebuiltAddon();
  return prebuilt ? { file: prebuilt, source: 'prebuild' } : { file: built, source: 'build' };
}

let located = null;
function addonLocation() {
  if (!located) located = locate();
  return located;
}

function loadAddon() {
  const { file } = addonLocation();
  try {
    return require(file);
  } catch (err) {
    if (err && err.code === 'MODULE_NOT_FOUND' && String(err.message).includes(file)) {
      const why = process.env.VARN_BUILD_DIR
        ? 'VARN_BUILD_DIR is set, so no prebuilt add-on is used'
        : `no prebuilt add-on fits ${process.platform}-${process.arch}`;
      throw new Error(
        `The VarnKtPlugin add-on has not been built (${file} is missing; ${why}). ` +
          'Build it with "npm install" or "npm run build:source" in the package directory.',
      );
    }
    throw err;
  }
}

module.exports = { ROOT, addonLocation, loadAddon, prebuiltAddon };
